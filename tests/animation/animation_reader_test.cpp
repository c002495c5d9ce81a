// The animation reader: which connections become records, their names, the
// blocks every record carries, and the per-kind readers.
#include "animation/animation_reader.h"

#include <gtest/gtest.h>

#include "driver/settings.h"
#include "hmi/document.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class AnimationTest : public ::testing::Test {
 protected:
  AnimationTest() {
    log.StartLog("Pic1.Log", "Pic1", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
    banner = ReadFile(dir.File("Pic1.Log"));
    reader.PrepareClassTable();
    reader.set_process_state(&state);
    reader.set_registry(&registry);
    reader.set_host(&host);
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.path());
  }
  void Load(const std::string& objects, const std::string& extra = "") {
    document = hmi::MakeCom<standin::Document>();
    ASSERT_EQ(document->LoadText(R"({"name": "Pic1", )" + extra + R"("objects": )" + objects +
                                     "}",
                                 "/p/Pic1.grf"),
              hmi::S_OK)
        << document->load_error();
    ASSERT_EQ(reader.ReadPictureProperties(document->Dispatch().get()), hmi::S_OK);
    ASSERT_EQ(reader.ReadObjects(reader.top_collection(), ""), 0);
  }
  std::string Sequence() const {
    const std::string* sequence =
        const_cast<PictureReader&>(reader).picture_map()->Find(kAnimationSequence);
    return sequence != nullptr ? *sequence : "<none>";
  }
  std::string Value(const std::string& key, const std::string& property) {
    const std::string* record = reader.picture_map()->Find(key);
    if (record == nullptr) return "<no record>";
    PropertyMap properties;
    ParseRecord(*record, &properties);
    const std::string* value = properties.Find(property);
    return value != nullptr ? *value : "<missing>";
  }
  std::string Log() const { return ReadFile(dir.File("Pic1.Log")).substr(banner.size()); }
  std::string Text(int id) const { return env.Text(id); }

  TestServices env;
  TempDir dir;
  ConversionLog log{&env.services};
  AnimationReader animations;
  PictureReader reader{&log, &animations};
  ProcessState state;
  MemoryRegistry registry;
  standin::StandInHost host;
  hmi::ComPtr<standin::Document> document;
  std::string banner;
};

// A shape with one connection of `property` to the `sources` (JSON array).
std::string Shape(const std::string& class_name, const std::string& name,
                  const std::string& property, const std::string& sources,
                  const std::string& properties = "{}") {
  return R"({"class": ")" + class_name + R"(", "name": ")" + name +
         R"(", "properties": )" + properties + R"(, "connections": [{"property": ")" + property +
         R"(", "source": "DS.N.T.F_CV", "objects": )" + sources + "}]}";
}

TEST_F(AnimationTest, ObjectsWithoutConnectionsGiveNoRecord) {
  Load(R"([{"class": "Rect", "name": "R"}])");
  EXPECT_EQ(Sequence(), "<none>");
  EXPECT_EQ(Log(), "");
}

TEST_F(AnimationTest, DataItemsAreNumberedAndCarryTheScaleBlockOnlyForSizes) {
  Load("[" +
       Shape("Rect", "R", "Width", R"([{"class": "DataItem", "name": "A"},
                                      {"class": "DataItem", "name": "B"}])",
             R"({"Width": 10.0})") +
       "," + Shape("Rect", "S", "ForegroundColor", R"([{"class": "DataItem", "name": "C"}])") +
       "]",
       R"("pixelsPerUnit": [2.0, 1.0], )");
  EXPECT_EQ(Sequence(), "\tCOPCDataItem-1(COPCDataItem)\tCOPCDataItem-2(COPCDataItem)\t");
  EXPECT_EQ(*reader.picture_map()->Find("COPCDataItem-1(COPCDataItem)"),
            "ClassName\tCOpcDataItem\tPropertyName\tWidth\tFullyQualifiedSource\tDS.N.T.F_CV\t"
            "ParentFullName\tPic1.R\tinMin\t-32768\tinMax\t32767\toutMin\t-65536\t\toutMax\t"
            "65534\t\tParentShape\tRect\tIsGroupScale\t0");
  EXPECT_EQ(Value("COPCDataItem-2(COPCDataItem)", "inMin"), "<missing>");
  EXPECT_EQ(state.data_items, 3);
}

TEST_F(AnimationTest, SystemValuesAreNumberedAcrossPictures) {
  const std::string clock = R"([{"class": "GlobalSysInfo", "name": "Clock"}])";
  Load("[" + Shape("Text", "T1", "Caption", clock) + "," + Shape("Text", "T2", "Caption", clock) +
       "]");
  EXPECT_EQ(Sequence(), "\tClock0(GlobalSysInfo)\tClock1(GlobalSysInfo)\t");
  EXPECT_EQ(Value("Clock0(GlobalSysInfo)", "FullyQualifiedName"), "Pic1.T1.Caption");
  EXPECT_EQ(Value("Clock0(GlobalSysInfo)", "ParentClassName"), "Text");
  PictureReader second(&log, &animations);
  second.set_process_state(&state);
  second.PrepareClassTable();
  ASSERT_EQ(second.ReadPictureProperties(document->Dispatch().get()), hmi::S_OK);
  second.ReadObjects(second.top_collection(), "");
  EXPECT_NE(second.picture_map()->Find("Clock2(GlobalSysInfo)"), nullptr);
}

TEST_F(AnimationTest, AGroupPositionIsRelativeForItsFirstAnimationOnly) {
  const std::string two = R"([{"class": "GlobalSysInfo", "name": "A"},
                              {"class": "GlobalSysInfo", "name": "B"}])";
  Load(R"([{"class": "Group", "name": "G", "properties": {"HorizontalPosition": 30.0},
            "objects": [{"class": "Rect", "name": "R"}],
            "connections": [{"property": "HorizontalPosition", "objects": )" +
       two + "}]}]");
  EXPECT_EQ(Value("A0(GlobalSysInfo)", "IsGroupScale"), "1");
  EXPECT_EQ(Value("A0(GlobalSysInfo)", "ParentShapeDefVal"), "30");
  EXPECT_EQ(Value("B1(GlobalSysInfo)", "IsGroupScale"), "0");
  EXPECT_EQ(Value("B1(GlobalSysInfo)", "ParentShapeDefVal"), "<missing>");
}

TEST_F(AnimationTest, InputsOfAnimationsAreReadWithTheirAnimationOnly) {
  Load("[" + Shape("Rect", "R", "ForegroundColor", R"([{"class": "Lookup", "name": "L",
      "properties": {"Source": "DS.N.T.F_CV"},
      "lookup": {"levels": [{"in": 1, "out": 255}]},
      "connections": [{"property": "InputValue", "objects": [
          {"class": "Linear", "name": "In", "properties": {"LoOutValue": 0, "HiOutValue": 1}}]},
        {"property": "ToggleRate", "objects": [{"class": "Format", "name": "F"}]}]}])") +
       "]");
  EXPECT_EQ(Sequence(), "\tL(Lookup)\tF(Format)\t");
}

TEST_F(AnimationTest, LookupRecords) {
  Load("[" + Shape("Rect", "R", "Width", R"([{"class": "Lookup", "name": "L",
      "properties": {"Source": "DS.N.T.F_CV", "DefaultOutputValue": 4.0},
      "lookup": {"exactMatch": false, "sourceDataType": 5, "levels": [
          {"in": 1.5, "in2": 0.5, "out": 10.0},
          {"in": 2.0, "in2": 3.0, "out": 20.0, "toggle": 30.0}]}}])",
             R"({"Width": 50.0})") +
       "]",
       R"("pixelsPerUnit": [2.0, 2.0], )");
  const std::string record = *reader.picture_map()->Find("L(Lookup)");
  const std::string tail = record.substr(record.find("\tPropertyName"));
  EXPECT_EQ(tail,
            "\tPropertyName\tWidth\tSourceDataType\t5\tOutputToggles\t0\tParentProperty\tWidth"
            "\tCount\t2\tExactMatch\t0\t"
            "\tLvl1.in1\t0.5\tLvl1.in2\t1.499\tLvl1.out1\t20\tLvl1.out2\t0"
            "\tLvl2.in1\t2\tLvl2.in2\t3\tLvl2.out1\t40\tLvl2.out2\t60"
            "\tParentShape\tRect\tIsGroupScale\t0");
  EXPECT_EQ(Value("L(Lookup)", "DefaultOutputValue"), "8") << "converted like the outputs";
}

TEST_F(AnimationTest, LookupToleranceAndStatusTexts) {
  Load("[" + Shape("Rect", "R", "ForegroundColor", R"([{"class": "Lookup", "name": "L",
      "properties": {"Source": "DS.N.T.F_CV"},
      "lookup": {"exactMatch": true, "tolerance": 0.5, "levels": [{"in": 4, "out": 255}]}}])") +
       "," + Shape("Rect", "S", "ForegroundColor", R"([{"class": "Lookup", "name": "M",
      "properties": {"Source": "DS.N.T.A_CUALM  "},
      "lookup": {"sourceDataType": 8, "levels": [{"in": "ok ", "out": 255}, {"in": "HIHI", "out": 0}]}}])") +
       "]");
  EXPECT_EQ(Value("L(Lookup)", "ExactMatch"), "0") << "a tolerance makes a range";
  EXPECT_EQ(Value("L(Lookup)", "Lvl1.in1"), "3.5");
  EXPECT_EQ(Value("L(Lookup)", "Lvl1.in2"), "4.5");
  EXPECT_EQ(Value("M(Lookup)", "Lvl1.in1"), "\"OK  \"");
  EXPECT_EQ(Value("M(Lookup)", "Lvl2.in1"), "\"HIHI\"");
  EXPECT_EQ(Value("M(Lookup)", "ExactMatch"), "-1");
}

TEST_F(AnimationTest, AnimationsOfATextOfSeveralLinesHaveOneRecordPerLine) {
  const std::string text = R"({"NumberOfLines": 3, "MaxCharactersPerLine": 10, "FontSize": 10,
      "Caption": "a\rb\rc", "VerticalPosition": 100.0})";
  Load("[" + Shape("Text", "T", "ForegroundColor", R"([{"class": "Lookup", "name": "N",
      "properties": {"Source": "DS.N.T.F_CV"}, "lookup": {"levels": [{"in": 1, "out": 255}]}}])",
             text) +
       "," + Shape("Text", "U", "VerticalPosition", R"([{"class": "Linear", "name": "M",
      "properties": {"LoOutValue": 0.0, "HiOutValue": 10.0}}])", text) + "]");
  EXPECT_EQ(Sequence(), "\tPic1.Tl2.N(Lookup)\tPic1.Tl1.N(Lookup)\tPic1.Tl0.N(Lookup)"
                        "\tPic1.Ul2.M(Linear)\tPic1.Ul1.M(Linear)\tPic1.Ul0.M(Linear)\t");
  EXPECT_EQ(Value("Pic1.Tl2.N(Lookup)", "Name"), "N2");
  EXPECT_EQ(Value("Pic1.Tl1.N(Lookup)", "Name"), "N21");
  EXPECT_EQ(Value("Pic1.Tl0.N(Lookup)", "Name"), "N210");
  EXPECT_EQ(Value("Pic1.Tl0.N(Lookup)", "FullyQualifiedName"), "Pic1.Tl0.N");
  // The Linear of each line moves by (lines - line - 1) x font size x 0.12.
  EXPECT_EQ(Value("Pic1.Ul2.M(Linear)", "LoOutValue"), "0");
  EXPECT_EQ(Value("Pic1.Ul1.M(Linear)", "LoOutValue"), "1");
  EXPECT_EQ(Value("Pic1.Ul0.M(Linear)", "HiOutValue"), "12");
  EXPECT_EQ(Value("Pic1.Ul0.M(Linear)", "Name"), "M210");
}

TEST_F(AnimationTest, LinearOutputLimitsInTheTargetsUnitsWithTheOffset) {
  Load("[" + Shape("Rect", "R", "HorizontalPosition", R"([{"class": "Linear", "name": "M",
      "properties": {"LoInValue": 0, "HiInValue": 100, "LoOutValue": 10.0, "HiOutValue": 110.0},
      "linear": {"offset": 1}}])",
                   R"({"HorizontalPosition": 5.0})") +
       "]",
       R"("pixelsPerUnit": [2.0, 2.0], )");
  EXPECT_EQ(Value("M(Linear)", "LoOutValue"), "30");
  EXPECT_EQ(Value("M(Linear)", "HiOutValue"), "230");
  EXPECT_EQ(Value("M(Linear)", "PropertyName"), "HorizontalPosition");
  EXPECT_EQ(Value("M(Linear)", "ParentClassName"), "Rect");
}

TEST_F(AnimationTest, AUniformlyScaledShapeGetsACompanionForItsOtherAxis) {
  Load("[" + Shape("Rect", "R", "Width", R"([{"class": "Linear", "name": "M",
      "fullName": "Pic1.R.M", "properties": {"LoOutValue": 10.0, "HiOutValue": 40.0}}])",
                   R"({"Width": 20.0, "Height": 10.0, "UniformScale": true})") +
       "]");
  EXPECT_EQ(Sequence(), "\tM(Linear)\tM-1(Linear)\t");
  EXPECT_EQ(Value("M-1(Linear)", "PropertyName"), "VerticalScalePercentage");
  EXPECT_EQ(Value("M-1(Linear)", "ParentProperty"), "VerticalScalePercentage");
  EXPECT_EQ(Value("M-1(Linear)", "FullyQualifiedName"), "Pic1.R.M-1");
  EXPECT_EQ(Value("M-1(Linear)", "LoOutValue"), "50");
  EXPECT_EQ(Value("M-1(Linear)", "HiOutValue"), "200");
  EXPECT_EQ(state.companions, 2);
}

// Whether a companion is made is read from the record's last
// ParentUniformScale pair (the parent's), also when the animation lists a
// property of that name itself, and whatever else in the record reads -1.
TEST_F(AnimationTest, OnlyAUniformParentGivesACompanionWhateverTheAnimationLists) {
  const struct {
    const char* parent;     // the shape's properties
    const char* animation;  // the linear's own properties besides its limits
    bool companion;
  } cases[] = {
      {R"({"Width": 20.0, "UniformScale": true})", "", true},
      {R"({"Width": 20.0, "UniformScale": true})", R"("ParentUniformScale": 0, )", true},
      {R"({"Width": 20.0, "UniformScale": false})", R"("ParentUniformScale": -1, )", false},
      {R"({"Width": 20.0, "UniformScale": false})", R"("Other": -1, "X": true, )", false},
      {R"({"Width": 20.0})", R"("ParentUniformScale": true, )", false},
  };
  int companions = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.parent) + " " + c.animation);
    reader.picture_map()->clear();
    Load("[" + Shape("Rect", "R", "Width", std::string(R"([{"class": "Linear", "name": "M",
        "properties": {)") + c.animation + R"("LoOutValue": 10.0, "HiOutValue": 40.0}}])",
                     c.parent) +
         "]");
    if (c.companion) {
      ++companions;
      EXPECT_EQ(Sequence(), "\tM(Linear)\tM-" + std::to_string(companions) + "(Linear)\t");
    } else {
      EXPECT_EQ(Sequence(), "\tM(Linear)\t");
    }
  }
}

TEST_F(AnimationTest, ASharedTableComesFromItsDocument) {
  ASSERT_TRUE(WriteTextFile(dir.File("Tables.qvg"), R"({"name": "Tables", "objects": [
      {"class": "Lookup", "name": "Colors", "lookup": {"levels": [{"in": 7, "out": 255}]}},
      {"class": "Rect", "name": "NotATable"}]})",
                            WriteMode::kTruncate)
                  .ok());
  Load("[" + Shape("Rect", "R", "ForegroundColor", R"([{"class": "Lookup", "name": "L",
      "properties": {"Source": "DS.N.T.F_CV"}, "lookup": {"sharedTable": "Tables.Colors"}},
      {"class": "Lookup", "name": "Bad", "lookup": {"sharedTable": "Tables.NotATable"}},
      {"class": "Lookup", "name": "Gone", "lookup": {"sharedTable": "Tables.Missing"}}])") +
       "]");
  EXPECT_EQ(Value("L(Lookup)", "Lvl1.in1"), "7");
  EXPECT_EQ(Value("L(Lookup)", "Count"), "1");
  EXPECT_EQ(Sequence(), "\tL(Lookup)\t");
  const std::string heading = FormatText(Text(83), {"Rect", "R"});
  EXPECT_EQ(Log(), heading + Text(80) + "ForegroundColor" + Text(40) + "\r\n" + heading +
                       Text(80) + "ForegroundColor" + Text(41) + "\r\n");
}

TEST_F(AnimationTest, FailuresAreReportedUnderTheObject) {
  struct Case {
    std::string source;  // one source object
    std::string text;    // what the log says after the heading
  };
  const Case cases[] = {
      {R"({"class": "Lookup", "name": "X", "refuse": ["Lookup"]})", "ForegroundColor" + Text(63)},
      {R"({"class": "Linear", "name": "X", "refuse": ["Linear"]})", "ForegroundColor" + Text(64)},
      {R"({"class": "Format", "name": "X", "refuse": ["Format"]})", "ForegroundColor" + Text(65)},
      {R"({"class": "GlobalSysInfo", "name": "X", "refuse": ["GlobalSysInfo"]})",
       "ForegroundColor" + Text(66)},
      {R"({"class": "Lookup", "name": "X", "fail": ["LevelCount"]})", "ForegroundColor" + Text(84)},
      {R"({"class": "Linear", "name": "X", "fail": ["Offset"]})", "ForegroundColor" + Text(84)},
  };
  for (const Case& c : cases) {
    const std::string before = Log();
    *reader.picture_map() = PictureMap();
    Load("[" + Shape("Rect", "R", "ForegroundColor", "[" + c.source + "]") + "]");
    EXPECT_EQ(Log().substr(before.size()),
              FormatText(Text(83), {"Rect", "R"}) + Text(80) + c.text + "\r\n")
        << c.source;
    EXPECT_EQ(Sequence(), "<none>") << c.source;
  }
}

TEST_F(AnimationTest, UnreadableConnectionListsAreLogged) {
  Load(R"([{"class": "Rect", "name": "R", "fail": ["ConnectionInfo:1"],
            "connections": [{"property": "Width", "objects": []}]},
           {"class": "Rect", "name": "S", "fail": ["FullyQualifiedName"],
            "connections": [{"property": "Width", "objects": []}]}])");
  EXPECT_EQ(Log(), Text(81) + Text(88) + "\r\n" + Text(81) + Text(87) + "\r\n");
}

}  // namespace
}  // namespace quillon
