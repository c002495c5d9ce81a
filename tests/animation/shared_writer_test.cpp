// What the animation emitters share (target checks, group-relative values)
// and how each emitter leaves out an animation it cannot write.
#include <cstdio>

#include "animation/animation_writers.h"
#include "emitter_fixture.h"

namespace quillon {
namespace {

class AnimationSupportTest : public AnimationPageTest {
 protected:
  void SetUp() override { ASSERT_EQ(writer.Init(base(), 1, 1, nullptr, nullptr, 0, nullptr), 1); }
  PageWriter writer{&env.services};
};

TEST_F(AnimationSupportTest, TargetsTheViewerCanAnimate) {
  struct Case {
    const char* class_name;
    const char* hmi;
    const char* viewer;
    int supported;
  };
  const Case cases[] = {
      {"Rect", "HorizontalScalePercentage", "widthPercent", 1},  // excluded, yet animated
      {"Rect", "Width", "width", 1},
      {"Arc", "StartX", "x0", 0},
      {"Pie", "Caption", "y1", 0},
      {"Line", "Width", "width", 1},  // excluded from a line's own lines
      {"Line", "BackgroundColor", "bgColor", 0},
      {"Bitmap", "CurrentImage", "file", 1},
      {"Text", "FontSize", "fontSize", 0},
      {"Variable", "CurrentValue", "out", 1},
  };
  for (const Case& c : cases) {
    writer.log()->ClearPending();
    EXPECT_EQ(CheckAnimTarget(&writer, c.class_name, c.hmi, c.viewer), c.supported)
        << c.class_name << " " << c.hmi;
    const std::vector<std::string> queued =
        c.supported ? std::vector<std::string>{} : std::vector<std::string>{Text(80) + c.hmi};
    EXPECT_EQ(writer.log()->pending(), queued);
  }
}

TEST_F(AnimationSupportTest, ValuesInsideAGroupAreRelativeToIt) {
  struct Case {
    std::vector<Change> group;
    int kind;
    const char* value;
    int result;
    const char* converted;
  };
  const Case cases[] = {
      {{{"IsGroupScale", "0"}}, kColor, "255", 1, "0xff0000"},
      {{}, kPlain, "150", 1, "150"},  // a record without the group block
      {{{"IsGroupScale", "1"}, {"ParentShapeDefVal", "100"}}, kPlain, "150", 1, "50.000000"},
      {{{"IsGroupScale", "1"}, {"ParentShapeDefVal", "12.5"}}, kPlain, "10", 1, "-2.500000"},
      {{{"IsGroupScale", "1"}}, kPlain, "150", 0, "150"},
  };
  for (const Case& c : cases) {
    PropertyMap record;
    ParseRecord(RecordText({}, c.group), &record);
    std::string value = c.value;
    EXPECT_EQ(ConvertAnimValue(&writer, record, c.kind, &value), c.result);
    EXPECT_EQ(value, c.converted);
  }
  EXPECT_EQ(
      writer.log()->pending(),
      (std::vector<std::string>{Text(80) + "Group's Position - (Fatal error in getting the "
                                           "property 'ParentShapeDefVal' from the list\r\n"}));
}

std::string Fatal(const std::string& context, const std::string& key) {
  return context + " - (Fatal error in getting the property '" + key + "' from the list\r\n";
}

TEST_F(AnimationPageTest, AnimationsThatCannotBeWrittenAreLeftOutWithTheirReason) {
  struct Case {
    const char* kind;
    const char* name;
    const char* class_name;
    std::string record;
    std::string reason;
  };
  const std::string untranslatable = "Nowhere.T1.F_CV";
  const Case cases[] = {
      {"Lookup", "L", "Lookup", RecordText(LookupPairs(), {{"Count", nullptr}}),
       Fatal("ForegroundColor", "Count")},
      {"Lookup", "L", "Lookup",
       RecordText(LookupPairs(), {{"ParentClassName", "Arc"}, {"PropertyName", "StartX"}}),
       "StartX"},
      {"Lookup", "L", "Lookup", RecordText(LookupPairs(), {{"ParentShape", nullptr}}),
       Fatal("ForeGroundColor", "ParentShape")},
      {"Lookup", "L", "Lookup",
       RecordText(LookupPairs(), {{"ParentClassName", "Pen"}, {"PropertyName", "PenLineColor"}}),
       Fatal("PenLineColor", "ParentPenIndex")},
      {"Linear", "N", "Linear", RecordText(LinearPairs(), {{"Source", untranslatable.c_str()}}),
       "HorizontalPosition" + Text(45)},
      {"Linear", "N", "Linear", RecordText(LinearPairs(), {{"HiOutValue", nullptr}}),
       Fatal("HorizontalPosition", "HiOutValue")},
      {"Linear", "N", "Linear", RecordText(LinearPairs(), {{"PropertyName", "ForegroundColor"}}),
       "ForegroundColor" + Text(55)},
      {"Linear", "N", "Linear", RecordText(LinearPairs(), {{"IsGroupScale", "1"}}),
       Fatal("Group's Position", "ParentShapeDefVal")},
      {"Format", "F", "Format",
       RecordText(AnimationPairs("Format", "F", "Caption"), {{"Source", untranslatable.c_str()}}),
       "Caption" + Text(45)},
      {"Format", "F", "Format", RecordText(AnimationPairs("Format", "F", "Width")),
       Fatal("Width", "inMin")},
      {"GlobalSysInfo", "Value1", "GlobalSysInfo",
       RecordText({{"PropertyName", "Caption"},
                   {"FullyQualifiedSource", "DS.NODE1.T1.F_CV"},
                   {"FullyQualifiedName", "Pic1.Text1.Caption"},
                   {"Name", "Value1"},
                   {"ClassName", "GlobalSysInfo"}}),
       Fatal("Caption", "ParentClassName")},
      {"COPCDataItem", "COPCDataItem-1", "COpcDataItem",
       RecordText({{"ClassName", "COpcDataItem"},
                   {"PropertyName", "Caption"},
                   {"FullyQualifiedSource", "DS.NODE1.T1.F_CV"}}),
       Fatal("Caption", "ParentFullName")},
      {"Pen", "P", "Pen", RecordText(PenPairs(), {{"Source", untranslatable.c_str()}}),
       env.services.Text(90, {"P", "C"}) + Text(45)},
      {"Pen", "P", "Pen", RecordText(PenPairs(), {{"PenIndex", nullptr}}),
       Fatal("Pen", "PenIndex")},
  };
  for (const Case& c : cases) {
    ResetPicture();
    std::remove(dir.File("Pic1.Log").c_str());
    AddAnimation(c.kind, c.name, c.record);
    EXPECT_EQ(WritePage(), 1);
    EXPECT_EQ(Animations(), "") << c.reason;
    EXPECT_EQ(Links(), "") << c.reason;
    const std::string logged =
        env.services.Text(83, {c.class_name, c.name}) + Text(80) + c.reason + "\r\n";
    EXPECT_NE(Log().find(logged), std::string::npos) << Log();
  }
}

}  // namespace
}  // namespace quillon
