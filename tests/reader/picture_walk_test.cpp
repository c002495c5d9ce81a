// The picture walk: order, groups, unsupported classes, variables, cancel
// and the failures of items, objects and groups.
#include "reader_fixture.h"

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

std::string Rect(const std::string& name, const std::string& extra = "") {
  return R"({"class": "Rect", "name": ")" + name + R"(")" + extra + "}";
}

TEST_F(ReaderTest, EmptyPictureLeavesNoSequenceAndNoGroups) {
  LoadObjects("[]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(reader.picture_map()->Find(kObjectSequence), nullptr);
  EXPECT_TRUE(reader.group_map()->empty());
  EXPECT_EQ(*reader.picture_map()->Find(kObjectList), "\tPROPERTIES(QEV_PIC)\t");
}

TEST_F(ReaderTest, ObjectsAreStoredAndListedInDrawingOrder) {
  LoadObjects("[" + Rect("B") + R"(, {"class": "Oval", "name": "A"}, )" +
              R"({"class": "Line", "name": "C", "properties": {"EdgeStyle": 0}}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tB(Rect)\tA(Oval)\tC(Line)\t");
  EXPECT_EQ(*reader.picture_map()->Find(kObjectList),
            "\tPROPERTIES(QEV_PIC)\tB(Rect)\tA(Oval)\tC(Line)\t");
  EXPECT_EQ(connections.connections, (std::vector<std::string>{"B", "A", "C"}));
  EXPECT_EQ(Log(), "");
}

TEST_F(ReaderTest, GroupInsideGroupListsMembersUnderTheirKeys) {
  LoadObjects(R"([{"class": "Group", "name": "G1", "objects": [)" + Rect("R1") +
              R"(, {"class": "Group", "name": "G2", "objects": [{"class": "Oval", "name": "O1"}]}]},
                 )" + Rect("R2") + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tG1(Group)\tR2(Rect)\t");
  std::string groups;
  for (const auto& entry : *reader.group_map()) groups += entry.first + "=" + entry.second + ";";
  EXPECT_EQ(groups, "#G1=R1(Rect)\t#G2\t;#G2=O1(Oval)\t;");
  // Members are stored before their group.
  EXPECT_EQ(*reader.picture_map()->Find(kObjectList),
            "\tPROPERTIES(QEV_PIC)\tR1(Rect)\tO1(Oval)\tG2(Group)\tG1(Group)\tR2(Rect)\t");
  EXPECT_EQ(Value("G2(Group)", "ClassName"), "Group");
  EXPECT_EQ(connections.connections, (std::vector<std::string>{"R1", "O1", "G2", "G1", "R2"}));
}

TEST_F(ReaderTest, TextOfThreeLinesGivesThreeRecordsAndOneAnimationRead) {
  LoadObjects(R"([{"class": "Group", "name": "G", "objects": [{"class": "Text", "name": "T",
      "properties": {"Caption": "one\rtwo\rthree", "NumberOfLines": 3,
                     "MaxCharactersPerLine": 20, "FontSize": 12, "VerticalPosition": 100.0,
                     "HorizontalPosition": 5.0}}]}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.group_map()->Find("#G"), "Tl0(Text)\tTl1(Text)\tTl2(Text)\t");
  EXPECT_EQ(Value("Tl0(Text)", "Caption"), "three");
  EXPECT_EQ(Value("Tl0(Text)", "VerticalPosition"), "138");
  EXPECT_EQ(Value("Tl1(Text)", "VerticalPosition"), "119");
  EXPECT_EQ(Value("Tl2(Text)", "VerticalPosition"), "100");
  EXPECT_EQ(Value("Tl2(Text)", "Caption"), "one");
  EXPECT_EQ(Value("Tl2(Text)", "Height"), "16");
  EXPECT_EQ(connections.connections, (std::vector<std::string>{"T", "G"}));
}

TEST_F(ReaderTest, UnsupportedClassesAreReportedAndLeaveNothing) {
  LoadObjects(R"([{"class": "OleObject", "name": "Ole1", "progId": "Some.Control.1"},
                  {"class": "Gauge", "name": "Gauge1"}, )" + Rect("R") + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tR(Rect)\t");
  EXPECT_EQ(Record("Ole1(OleObject)"), "<missing>");
  EXPECT_EQ(connections.connections, (std::vector<std::string>{"R"}));
  const std::string prefix = Text(82);
  EXPECT_EQ(Log(), prefix + FormatText(Text(61), {"OleObject", "Ole1"}) + Text(62) + "\r\n" +
                       prefix + FormatText(Text(61), {"Gauge", "Gauge1"}) + Text(62) + "\r\n");
}

TEST_F(ReaderTest, VariablesGoToTheAnimationReaderAndOtherCategoriesAreSkipped) {
  LoadObjects(R"([{"class": "Variable", "name": "V1"},
                  {"class": "Lookup", "name": "L1"}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(connections.variables, (std::vector<std::string>{"V1/Support"}));
  EXPECT_TRUE(connections.connections.empty());
  EXPECT_EQ(reader.picture_map()->Find(kObjectSequence), nullptr);
  LoadObjects(R"([{"class": "Variable", "name": "V2"}])");
  EXPECT_EQ(Walk(), 1) << "a variable last";
}

TEST_F(ReaderTest, CancelDuringThePumpStopsBeforeTheNextItem) {
  LoadObjects("[" + Rect("R1") + "," + Rect("R2") + "," + Rect("R3") + "]");
  env.progress.ShowProgress();
  env.ui.PlayEventAt(2, UiEvent::kCancel);
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tR1(Rect)\t");
  EXPECT_EQ(Log(), Text(82) + Text(104) + "\r\n");
  EXPECT_EQ(env.ui.statuses.at(0), "Reading objects for conversion...");
}

TEST_F(ReaderTest, AFailingItemGivesUpOnlyItselfEvenWhenLast) {
  Load(R"({"name": "Pic1", "fail": ["Item:1", "Item:3"], "objects": [)" + Rect("R1") + "," +
       Rect("R2") + "," + Rect("R3") + "]}");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tR2(Rect)\t");
  const std::string line = Text(82) + Text(8) + "\r\n";
  EXPECT_EQ(Log(), line + line);
}

TEST_F(ReaderTest, ItemsRefusingTheObjectInterfaceAreReachedByName) {
  LoadObjects("[" + Rect("R1", R"(, "refuse": ["Object"])") + "," +
              Rect("R2", R"(, "refuse": ["Object"], "fail": ["GetQevComponentDispatch"])") +
              "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tR1(Rect)\t");
  EXPECT_EQ(Log(), Text(82) + Text(8) + "\r\n");
}

TEST_F(ReaderTest, ObjectIdentityFailuresDropTheObject) {
  struct Case {
    const char* fail;
    int message;
  };
  for (const Case& c : {Case{"ClassName", 10}, Case{"Category", 11}, Case{"Name", 12}}) {
    PictureMap empty;
    *reader.picture_map() = empty;
    const std::string before = Log();
    LoadObjects("[" + Rect("R", std::string(R"(, "fail": [")") + c.fail + "\"]") + "]");
    EXPECT_EQ(Walk(), 0) << c.fail;
    EXPECT_EQ(reader.picture_map()->Find(kObjectSequence), nullptr) << c.fail;
    EXPECT_EQ(Log().substr(before.size()), Text(82) + Text(c.message) + "\r\n") << c.fail;
    EXPECT_TRUE(connections.connections.empty()) << c.fail;
  }
}

TEST_F(ReaderTest, GroupFailuresKeepTheGroupAndTheRestOfThePicture) {
  struct Case {
    const char* group_extra;
    int message;
  };
  const Case cases[] = {
      {R"("fail": ["ContainedObjects"])", 18},
      {R"("refuse": ["Collection"])", 19},
      {R"("fail": ["Count"])", 7},
  };
  for (const Case& c : cases) {
    *reader.picture_map() = PictureMap();
    *reader.group_map() = GroupMap();
    const std::string before = Log();
    LoadObjects(R"([{"class": "Group", "name": "G", )" + std::string(c.group_extra) +
                R"(, "objects": [)" + Rect("Inner") + "]}," + Rect("After") + "]");
    EXPECT_EQ(Walk(), 0) << c.group_extra;
    EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tG(Group)\tAfter(Rect)\t")
        << c.group_extra;
    EXPECT_EQ(Record("Inner(Rect)"), "<missing>");
    EXPECT_EQ(Log().substr(before.size()), Text(82) + Text(c.message) + "\r\n") << c.group_extra;
  }
}

TEST_F(ReaderTest, MissingCollectionAndFailingCountFailTheWalk) {
  EXPECT_EQ(reader.ReadObjects(nullptr, ""), kReadWithWarnings);
  EXPECT_EQ(Log(), Text(82) + Text(91) + "\r\n");
  Load(R"({"name": "Pic1", "fail": ["Count"], "objects": []})");
  EXPECT_LT(Walk(), 0);
}

TEST_F(ReaderTest, GroupsDeeperThanTheLimitAreLeftOutAndTheRestConverts) {
  std::string objects = Rect("Bottom");
  for (int level = 70; level >= 1; --level) {
    objects = R"({"class": "Group", "name": "G)" + std::to_string(level) + R"(", "objects": [)" +
              objects + "]}";
  }
  LoadObjects("[" + objects + "," + Rect("After") + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence), "\tG1(Group)\tAfter(Rect)\t");
  EXPECT_NE(Record("G64(Group)"), "<missing>");
  EXPECT_EQ(Record("G65(Group)"), "<missing>");
  EXPECT_EQ(Record("Bottom(Rect)"), "<missing>");
  EXPECT_EQ(reader.group_map()->Find("#G64"), nullptr) << "the refused group is not a member";
  EXPECT_NE(Log().find("G65"), std::string::npos);
}

TEST_F(ReaderTest, TabsInValuesBecomeBlanksAndNamesKeepToTheGrammarOfThePage) {
  LoadObjects(R"([{"class": "Rect", "name": "A\tB", "properties": {"Note": "x\ty"}},
                  {"class": "Oval", "name": "P (1) \"x\"\r\n"},
                  {"class": "Line", "name": ""}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(*reader.picture_map()->Find(kObjectSequence),
            "\tA_B(Rect)\tP__1___x___(Oval)\t_(Line)\t");
  EXPECT_EQ(Value("A_B(Rect)", "Note"), "x y");
  EXPECT_EQ(Value("A_B(Rect)", "FullyQualifiedName"), "Pic1.A_B");
}

TEST_F(ReaderTest, ReleasePictureReferencesLetsThePictureGo) {
  LoadObjects("[" + Rect("R") + "]");
  ASSERT_NE(reader.top_collection(), nullptr);
  reader.ReleasePictureReferences();
  EXPECT_EQ(reader.top_collection(), nullptr);
  EXPECT_EQ(reader.picture(), nullptr);
  EXPECT_LT(Walk(), 0);
}

}  // namespace
}  // namespace quillon
