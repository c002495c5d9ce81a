// Lookup tables on the page: maps, gaps, toggles and blinks, image lookups,
// and the targets their links reach.
#include "animation/animation_writers.h"
#include "emitter_fixture.h"
#include "platform/text_file.h"

namespace quillon {
namespace {

constexpr char kSource1[] = "Source1.NODE1:T1.F_CV";
constexpr char kSource2[] = "Source1.NODE1:T2.F_CV";

std::string MapObject(const std::string& name, const std::string& map_class,
                      const std::string& default_value, const std::string& entries) {
  return "\t(" + name + " " + map_class + "\r\n\t\t(properties\r\n\t\t\t(default " + default_value +
         ")\r\n\t\t\t(map(" + entries + "))))\r\n";
}

std::string Link(const std::string& target, const std::string& source) {
  return "\t(" + target + " " + source + ")\r\n";
}

TEST_F(AnimationPageTest, ExactTableIsOneMapWithItsTwoLinks) {
  AddAnimation("Lookup", "L", RecordText(LookupPairs()));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), MapObject("L1", "TAVMap", "0x000000", "(1 0xff0000)(2 0x00ff00)"));
  EXPECT_EQ(Links(), Link("L1.in", kSource1) + Link("Rect1.fgColor", "L1.out"));
}

TEST_F(AnimationPageTest, RangeTablesShowTheDefaultInTheirGaps) {
  struct Case {
    const char* type;
    const char* first_upper;
    const char* second_lower;
    const char* entries;
  };
  const Case cases[] = {
      {"3", "10", "20", "(0 50)(10 0)(20 80)(30 0)"},
      {"3", "10", "10", "(0 50)(10 80)(30 0)"},
      // A 16-bit integer source is compared as integers, as a 32-bit one
      // is: a value between two ranges shows the default, not the lower
      // range's output.
      {"2", "10", "20", "(0 50)(10 0)(20 80)(30 0)"},
      {"5", "10", "10.0", "(0 50)(10.0 80)(30 0)"},
      {"4", "0.5", "0.50000001", "(0 50)(0.50000001 80)(30 0)"},  // equal in single precision
      {"8", "10", "10.0", "(0 50)(10 0)(10.0 80)(30 0)"},
      {"11", "10", "20", "(0 50)(20 80)(30 0)"},  // other types are never compared
  };
  for (const Case& c : cases) {
    ResetPicture();
    AddAnimation("Lookup", "L",
                 RecordText(LookupPairs(), {{"PropertyName", "HorizontalFillPercentage"},
                                            {"ParentProperty", "HorizontalFillPercentage"},
                                            {"SourceDataType", c.type},
                                            {"ExactMatch", "0"},
                                            {"Lvl1.in1", "0"},
                                            {"Lvl1.in2", c.first_upper},
                                            {"Lvl1.out1", "50"},
                                            {"Lvl2.in1", c.second_lower},
                                            {"Lvl2.in2", "30"},
                                            {"Lvl2.out1", "80"}}));
    EXPECT_EQ(WritePage(), 1);
    EXPECT_EQ(Animations(), MapObject("L1", "TAVThreshold", "0", c.entries)) << c.type;
  }
}

TEST_F(AnimationPageTest, BothTogglesBlinkTwiceAndDriveTheTargetFromN4) {
  AddAnimation("Lookup", "N",
               RecordText(LookupPairs("N"), {{"OutputToggles", "1"}, {"GlobalOutputToggle", "1"}}));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), MapObject("N5", "TAVMap", "0x000000", "(1 0xff0000)(2 0x00ff00)") +
                              MapObject("N2", "TAVMap", "0x000000", "(1 0x000000)(2 0x0000ff)") +
                              MapObject("N3", "TAVMap", "0", "(1 0)(2 1)") +
                              "\t(N1 TAVBlink\r\n\t\t(properties\r\n\t\t\t(rate 500)))\r\n"
                              "\t(N4 TAVBlink\r\n\t\t(properties\r\n\t\t\t(OnValue 0xffffff)\r\n"
                              "\t\t\t(rate 500)))\r\n");
  EXPECT_EQ(Links(), Link("N5.in", kSource1) + Link("N2.in", kSource1) + Link("N3.in", kSource1) +
                         Link("N1.in", "N3.out") + Link("N4.in", kSource2) +
                         Link("N4.OffValue", "N1.out") + Link("N1.OffValue", "N5.out") +
                         Link("N1.OnValue", "N2.out") + Link("Rect1.fgColor", "N4.out"));
}

TEST_F(AnimationPageTest, GlobalToggleAloneBlinksN1BetweenItsValueAndTheMap) {
  AddAnimation("Lookup", "N", RecordText(LookupPairs("N"), {{"GlobalOutputToggle", "1"}}));
  EXPECT_EQ(WritePage(), 1);
  const std::string animations = Animations();
  const std::string blink =
      "\t(N1 TAVBlink\r\n\t\t(properties\r\n\t\t\t(OnValue 0xffffff)\r\n\t\t\t(rate 500)))\r\n";
  ASSERT_GE(animations.size(), blink.size());
  EXPECT_EQ(animations.substr(animations.size() - blink.size()), blink);
  EXPECT_EQ(Links(), Link("N5.in", kSource1) + Link("N2.in", kSource1) + Link("N1.in", kSource2) +
                         Link("N1.OffValue", "N5.out") + Link("Rect1.fgColor", "N1.out"));
}

TEST_F(AnimationPageTest, TargetsOfVariablesPensAndGroups) {
  struct Case {
    std::vector<Change> changes;
    const char* objects_start;  // what the page holds before the map
    const char* last_links;
  };
  const Case cases[] = {
      // A variable is driven through an expression from the first object of
      // the chain, even when both toggles blink.
      {{{"ParentClassName", "Variable"},
        {"ParentName", "Var1"},
        {"PropertyName", "CurrentValue"},
        {"OutputToggles", "1"},
        {"GlobalOutputToggle", "1"}},
       "\t\t(Var1 TAVExpression\r\n\t\t(properties\r\n\t\t\t(expression \"$0\"))\r\n\t)\r\n",
       "\t(Var1.expval[0] L1.out)\r\n"},
      {{{"ParentClassName", "Pen"},
        {"PropertyName", "PenLineWidth"},
        {"ParentPenIndex", "1"},
        {"ParentFullName", "Pic1.Chart1.Pen1"}},
       "",
       "\t(Chart1.pens[0][1] L1.out)\r\n"},
      // A group's colour colours its texts too.
      {{{"ParentClassName", "Group"},
        {"ParentName", "Group1"},
        {"ParentShape", "Group"},
        {"FullyQualifiedName", "Pic1.Group1.L"}},
       "",
       "\t(Group1.fgColor L1.out)\r\n\t(Group1.textColor L1.out)\r\n"},
      {{{"ParentCategory", "Animation"}, {"ParentName", "Lin"}, {"PropertyName", "HiOutValue"}},
       "",
       "\t(Lin1.outMax L1.out)\r\n"},
  };
  for (const Case& c : cases) {
    ResetPicture();
    AddAnimation("Lookup", "L", RecordText(LookupPairs(), c.changes));
    EXPECT_EQ(WritePage(), 1);
    const std::string objects = c.objects_start;
    EXPECT_EQ(Animations().substr(0, objects.size()), objects);
    const std::string links = Links(), last = c.last_links;
    ASSERT_GE(links.size(), last.size()) << last;
    EXPECT_EQ(links.substr(links.size() - last.size()), last);
  }
}

TEST_F(AnimationPageTest, ImageLookupNamesTheBitmapsImageFiles) {
  ASSERT_TRUE(WriteTextFile(dir.File("Pic1_Bitmap1_P1.JPG"), "", WriteMode::kTruncate).ok());
  const std::vector<Change> image = {{"PropertyName", "CurrentImage"},
                                     {"ParentProperty", "CurrentImage"},
                                     {"ParentClassName", "Bitmap"},
                                     {"ParentName", "Bitmap1"},
                                     {"FullyQualifiedName", "Pic1.Bitmap1.L"},
                                     {"ParentImageCount", "2"},
                                     {"SecondaryImageDisplayed", "0"},
                                     {"DefaultOutputValue", "1"},
                                     {"OutputToggles", "1"},
                                     {"Lvl1.out1", "1"},
                                     {"Lvl2.out1", "2"},
                                     {"Lvl2.out2", "1"}};
  AddAnimation("Lookup", "L", RecordText(LookupPairs(), image));
  EXPECT_EQ(WritePage(), 1);
  const std::string file = "Pic1_Bitmap1_P1.JPG";
  // Image 2 has no file. Level 1 has no toggle image: its blank toggle
  // output stays blank, so its flag is 0 and it does not blink between its
  // image and no image.
  EXPECT_EQ(Animations(), MapObject("L5", "TAVMap", file, "(1 " + file + ")(2 0)") +
                              MapObject("L2", "TAVMap", file, "(1 0)(2 " + file + ")") +
                              MapObject("L3", "TAVMap", "0", "(1 0)(2 1)") +
                              "\t(L1 TAVBlink\r\n\t\t(properties\r\n\t\t\t(rate 500)))\r\n");
  const std::string links = Links(), last = Link("Bitmap1.file", "L1.out");
  EXPECT_EQ(links.substr(links.size() - last.size()), last);

  // The secondary images have no files; a bitmap without images is left out.
  ResetPicture();
  AddAnimation("Lookup", "L",
               RecordText(LookupPairs(), {{"PropertyName", "CurrentImage"},
                                          {"ParentClassName", "Bitmap"},
                                          {"FullyQualifiedName", "Pic1.Bitmap1.L"},
                                          {"ParentImageCount", "2"},
                                          {"SecondaryImageDisplayed", "-1"},
                                          {"DefaultOutputValue", "1"},
                                          {"Lvl1.out1", "1"}}));
  AddAnimation("Lookup", "M",
               RecordText(LookupPairs("M"), {{"PropertyName", "CurrentImage"},
                                             {"ParentClassName", "Bitmap"},
                                             {"ParentImageCount", "0"},
                                             {"SecondaryImageDisplayed", "0"}}));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), MapObject("L1", "TAVMap", "0", "(1 0)(2 0)"));
}

TEST_F(AnimationPageTest, UntranslatableLookupKeepsItsObjectsWithoutLinks) {
  AddAnimation("Lookup", "L", RecordText(LookupPairs(), {{"Source", "Nowhere.T1.F_CV"}}));
  EXPECT_EQ(WritePage(), 1);
  EXPECT_EQ(Animations(), MapObject("L1", "TAVMap", "0x000000", "(1 0xff0000)(2 0x00ff00)"));
  EXPECT_EQ(Links(), "");
  // The reason stands under the lookup's own heading.
  EXPECT_NE(Log().find(env.services.Text(83, {"Lookup", "L"}) + Text(80) + "ForegroundColor" +
                       Text(45) + "\r\n"),
            std::string::npos)
      << Log();
}

}  // namespace
}  // namespace quillon
