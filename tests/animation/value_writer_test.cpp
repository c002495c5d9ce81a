// Formats, system values and data items on the page: plain links, and scale
// stages in front of positions and sizes.
#include "animation/animation_writers.h"
#include "driver/dialogs.h"
#include "emitter_fixture.h"
#include "platform/dialog.h"
#include "platform/format.h"

namespace quillon {
namespace {

constexpr char kSource1[] = "Source1.NODE1:T1.F_CV";

// The scale block that the reader gives a position or size.
const std::vector<Change> kScaleBlock = {
    {"inMin", "-32768"}, {"inMax", "32767"}, {"outMin", "-32768.0"}, {"outMax", "32767.0"}};

std::string FormatRecord(const std::string& name, const std::string& property,
                         std::vector<Change> changes = {}) {
  return RecordText(AnimationPairs("Format", name, property), changes);
}

std::string Stage(int number) {
  return StringF(
      "\t\t(TAVScale-%d TAVScale\r\n\t(properties\r\n\t(inMin -32768)\r\n"
      "\t(inMax 32767)\r\n\t(outMin -32768.0)\r\n\t(outMax 32767.0)))\r\n",
      number);
}

std::string StageLinks(int number, const std::string& target) {
  return StringF("\t(TAVScale-%d.in %s)\r\n\t(%s TAVScale-%d.outFloat)\r\n", number, kSource1,
                 target.c_str(), number);
}

TEST_F(AnimationPageTest, FormatLinksTheSourceToTheProperty) {
  AddAnimation("Format", "F",
               FormatRecord("F", "Caption",
                            {{"ParentClassName", "Text"}, {"FullyQualifiedName", "Pic1.Text1.F"}}));
  // A Format driving another animation feeds that animation's object.
  AddAnimation(
      "Format", "G",
      FormatRecord(
          "G", "HiOutValue",
          {{"ParentCategory", "Animation"}, {"ParentName", "Lin"}, {"ParentClassName", "Linear"}}));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), "");
  EXPECT_EQ(Links(), StringF("\t(Text1.text %s)\r\n\t(Lin1.outMax %s)\r\n", kSource1, kSource1));
}

TEST_F(AnimationPageTest, ScaleStagesAreNumberedAcrossPictures) {
  std::vector<Change> width = kScaleBlock;
  AddAnimation("Format", "F", FormatRecord("F", "Width", width));
  AddAnimation("Format", "G", FormatRecord("G", "Width", width));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), Stage(1) + Stage(2));
  EXPECT_EQ(Links(), StageLinks(1, "Rect1.width") + StageLinks(2, "Rect1.width"));

  ResetPicture();
  AddAnimation("Format", "F", FormatRecord("F", "Width", width));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), Stage(3));
}

TEST_F(AnimationPageTest, ClockValuesLinkTheOwnerOfTheirFullName) {
  env.ui.QueueDialog([](Dialog* d) {
    EXPECT_EQ(d->Text(kNodeExplanation), "Pic1.Group1.Text1.Caption");
    d->UserTypes(kNodeName, "node1");
    d->UserClicks(kControlOk);
  });
  AddAnimation("GlobalSysInfo", "Clock0",
               RecordText({{"PropertyName", "Caption"},
                           {"FullyQualifiedSource", "System.CurrentTime"},
                           {"FullyQualifiedName", "Pic1.Group1.Text1.Caption"},
                           {"Name", "Clock0"},
                           {"ClassName", "GlobalSysInfo"},
                           {"ParentProperty", "Caption"},
                           {"ParentShape", "Text"},
                           {"IsGroupScale", "0"}}));
  // A plain value is checked against its target's class.
  AddAnimation("GlobalSysInfo", "Value1",
               RecordText({{"PropertyName", "HorizontalFillPercentage"},
                           {"FullyQualifiedSource", "DS.NODE1.T1.F_CV"},
                           {"FullyQualifiedName", "Pic1.Rect1.HorizontalFillPercentage"},
                           {"Name", "Value1"},
                           {"ClassName", "GlobalSysInfo"},
                           {"ParentClassName", "Rect"},
                           {"ParentProperty", "HorizontalFillPercentage"},
                           {"ParentShape", "Rect"},
                           {"IsGroupScale", "0"}}));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Links(), StringF("\t(Group1.Text1.text Source1.NODE1:SYSTEM.A_NTIME)\r\n"
                             "\t(Rect1.fillPercentHoriz %s)\r\n",
                             kSource1));
}

TEST_F(AnimationPageTest, DataItemsLinkTheirParentDirectlyOrThroughAStage) {
  auto data_item = [](const std::string& property, std::vector<Change> changes) {
    Pairs pairs = {{"ClassName", "COpcDataItem"},
                   {"PropertyName", property},
                   {"FullyQualifiedSource", "DS.NODE1.T1.F_CV"},
                   {"ParentFullName", "Pic1.Rect1"},
                   {"ParentShape", "Rect"},
                   {"IsGroupScale", "0"}};
    return RecordText(pairs, changes);
  };
  AddAnimation("COPCDataItem", "COPCDataItem-1", data_item("HorizontalFillPercentage", {}));
  AddAnimation("COPCDataItem", "COPCDataItem-2", data_item("Width", kScaleBlock));
  EXPECT_EQ(WritePage(), 1);
  // Every value emitter takes a stage number, scaled or not.
  EXPECT_EQ(Animations(), Stage(2));
  EXPECT_EQ(Links(),
            StringF("\t(Rect1.fillPercentHoriz %s)\r\n", kSource1) + StageLinks(2, "Rect1.width"));
}

}  // namespace
}  // namespace quillon
