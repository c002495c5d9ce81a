// The shape emitters' per-class rules and the alarm text link.
#include "writer/shape_emitters.h"

#include "platform/format.h"
#include "writer_fixture.h"

namespace quillon {
namespace {

class EmitterTest : public WriterTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(writer.Init(base(), 1, 1, nullptr, nullptr, 0, nullptr), 1);
    writer.Indent();
  }
  // Emits `record` (key TAB value ...) of `class_name` as WriteObject does.
  int Emit(Emitter emitter, const std::string& class_name, const std::string& pairs) {
    PropertyMap record;
    ParseRecord(pairs, &record);
    SelectExclusions(class_name, writer.exclusions());
    int result = emitter(&writer, record);
    EXPECT_EQ(writer.indent_level(), 1) << "an emitter returns at the level it found";
    return result;
  }
  PageWriter writer{&env.services};
};

TEST_F(EmitterTest, EmptyRecordWritesNothingAndCountsAsWritten) {
  EXPECT_EQ(Emit(EmitRectangle, "Rect", ""), 1);
  EXPECT_EQ(Jdf(), "");
}

TEST_F(EmitterTest, RecordWithoutNameQueuesTheLine) {
  EXPECT_EQ(Emit(EmitEllipse, "Oval", "\tWidth\t3\t"), 0);
  EXPECT_EQ(Jdf(), "");
  EXPECT_EQ(writer.log()->pending(), (std::vector<std::string>{Text(80) + "Name"}));
}

TEST_F(EmitterTest, ChartAxisLabelsAndExclusions) {
  EXPECT_EQ(Emit(EmitRealTime, "Chart",
                 "\tName\tChart1\tShowTimeAxis\t0\tShowValueAxis\t1\tHorizontalScaleDirection\t1"
                 "\tDuration\t60\tHiLimit\t100.0\t"),
            1);
  EXPECT_EQ(Jdf(), Lines({"\t(Chart1 TAVRealTime", "\t\t(properties", "\t\t\t(labelVert none)",
                          "\t\t\t(span 60)", "\t\t\t(maxValue 100.0)", "\t\t)", "\t)", ""}));
}

TEST_F(EmitterTest, TextWritesItsForegroundAsTextColor) {
  EXPECT_EQ(Emit(EmitText, "Text",
                 "\tName\tText1\tForegroundColor\t255\tFontSize\t12\tEdgeColor\t1\t"
                 "format\t###\tCaption\tHi\t"),
            1);
  EXPECT_EQ(Jdf(), Lines({"\t(Text1 TAVText", "\t\t(properties", "\t\t\t(textColor 0xff0000)",
                          "\t\t\t(text \"Hi\")", "\t\t)", "\t)", ""}));
}

TEST_F(EmitterTest, ButtonEnabledBecomesDisable) {
  struct Case {
    const char* enabled;
    const char* line;
  };
  for (const Case& c : {Case{"0", "(disable 1)"}, Case{"1", "(disable 0)"},
                        Case{"-1", "(disable 0)"}}) {
    std::remove(writer.jdf_path().c_str());
    EXPECT_EQ(Emit(EmitButton, "CommandButton",
                   std::string("\tName\tB1\tEnabled\t") + c.enabled + "\tBackColor\t0\t"),
              1);
    EXPECT_EQ(Jdf(), Lines({"\t(B1 TAVButton", "\t\t(properties", std::string("\t\t\t") + c.line,
                            "\t\t)", "\t)", ""}))
        << c.enabled;
  }
}

TEST_F(EmitterTest, BitmapNamesItsImageFile) {
  EXPECT_EQ(Emit(EmitImage, "Bitmap",
                 "\tName\tBitmap1\tFullyQualifiedName\tPic1.Bitmap1\tCurrentImage\t2\t"
                 "SecondaryImageDisplayed\t0\tFileExt\t.JPG\tWidth\t40\t"),
            1);
  EXPECT_EQ(Jdf(), Lines({"\t(Bitmap1 TAVImage", "\t\t(properties", "\t\t\t(width 40)",
                          "\t\t\t(file Pic1_Bitmap1_P2.JPG)", "\t\t)", "\t)", ""}));
  std::remove(writer.jdf_path().c_str());
  EXPECT_EQ(Emit(EmitImage, "Bitmap",
                 "\tName\tB\tFullyQualifiedName\tPic1.G.B\tCurrentImage\t1\t"
                 "SecondaryImageDisplayed\t-1\tFileExt\t.BMP\t"),
            1);
  EXPECT_NE(Jdf().find("\t\t\t(file Pic1_G_B_S1.BMP)\r\n"), std::string::npos);
}

TEST_F(EmitterTest, BitmapWithoutItsImageKeysIsClosedAndReported) {
  EXPECT_EQ(Emit(EmitImage, "Bitmap",
                 "\tName\tBitmap1\tFullyQualifiedName\tPic1.Bitmap1\tCurrentImage\t2\t"
                 "SecondaryImageDisplayed\t0\t"),
            0);
  EXPECT_EQ(Jdf(), Lines({"\t(Bitmap1 TAVImage", "\t\t(properties", "\t\t)", "\t)", ""}));
  EXPECT_EQ(writer.log()->pending(),
            (std::vector<std::string>{
                Text(80) + " - (Fatal error in getting the property 'FileExt' from the list\r\n"}));
}

TEST_F(EmitterTest, AlarmDisplayEndsWithItsFixedLines) {
  EXPECT_EQ(Emit(EmitAlarmDisplay, "AlarmSummary",
                 "\tName\tAlarm1\tBackgroundColor\t255\tHorizontalScaleDirection\t1\t"),
            1);
  EXPECT_EQ(Jdf(), Lines({"\t(Alarm1 TAVAlarmDisplay", "\t\t(properties",
                          "\t\t\t(bgColor 0xff0000)", "\t\t\t(lines 10)",
                          "\t\t\t(bgColor 0x000000)", "\t\t\t(headerColor 0x000000)",
                          "\t\t\t(textColor 0xffffff)", "\t\t\t(requireField 4)",
                          "\t\t\t(columns ((DATE 9)(TIME 9)(NODE 9)(TAG 11)(STATUS 8)(AREA 16)"
                          "(PRIORITY 7)(VALUE 11)(UNITS 0)(DESC 41)))",
                          "\t\t)", "\t)", ""}));
}

TEST_F(EmitterTest, ArcAndPieShareTheirRules) {
  const std::string pairs =
      "\tName\tA\tStartX\t1\tstartAngle\t90\tarcLength\t-180\tBackgroundColor\t0\t";
  EXPECT_EQ(Emit(EmitArc, "Arc", pairs), 1);
  const std::string arc = Jdf();
  std::remove(writer.jdf_path().c_str());
  EXPECT_EQ(Emit(EmitPie, "Pie", pairs), 1);
  EXPECT_EQ(Jdf(), arc);
  EXPECT_EQ(arc, Lines({"\t(A TAVArc", "\t\t(properties", "\t\t\t(startAngle 90)",
                        "\t\t\t(arcLength -180)", "\t\t)", "\t)", ""}));
}

TEST_F(EmitterTest, AlarmTextLinkAddsALinkOnly) {
  EXPECT_EQ(Emit(EmitAlarmTextLink, "AlarmTextLink",
                 "Name\tL1\tFullyQualifiedName\tPic1.Grp.Text1.L1\tSource\tN1.T1.A_DESC"),
            1);
  EXPECT_EQ(Jdf(), "");
  EXPECT_EQ(*writer.picture_map()->Find(kLinks), "\t(Grp.Text1.text Source1.N1.T1.A_DESC)");
}

TEST_F(EmitterTest, AlarmTextLinkWithoutSourceIsReported) {
  EXPECT_EQ(Emit(EmitAlarmTextLink, "AlarmTextLink", "Name\tL1\tFullyQualifiedName\tP.T.L1"), 0);
  EXPECT_EQ(writer.picture_map()->Find(kLinks), nullptr);
  const std::string text = FormatText(Text(61), {"AlarmTextLink", "L1"}) + Text(62);
  EXPECT_EQ(Log(), ToCrLf(Text(79)) + Text(81) + text + "\r\n");
}

}  // namespace
}  // namespace quillon
