// Behaviours of the animation reader that go beyond the plain reading of a
// record and are kept on purpose: records whose values came back empty,
// names that would break the page, texts whose line count is unknown,
// objects that refuse the dispatch interface, and shared tables whose
// document cannot be searched.
#include <gtest/gtest.h>

#include "animation/animation_reader.h"
#include "driver/settings.h"
#include "hmi/document.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class KeptChoicesTest : public ::testing::Test {
 protected:
  KeptChoicesTest() {
    log.StartLog("Pic1.Log", "Pic1", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
    banner = ReadFile(dir.File("Pic1.Log"));
    reader.PrepareClassTable();
    reader.set_process_state(&state);
    reader.set_registry(&registry);
    reader.set_host(&host);
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.path());
  }
  // Loads the picture Pic1 holding `objects` (a JSON array); the objects are
  // walked only when `walk` is true.
  void Load(const std::string& objects, bool walk = true) {
    document = hmi::MakeCom<standin::Document>();
    ASSERT_EQ(document->LoadText(R"({"name": "Pic1", "objects": )" + objects + "}", "/p/Pic1.grf"),
              hmi::S_OK)
        << document->load_error();
    ASSERT_EQ(reader.ReadPictureProperties(document->Dispatch().get()), hmi::S_OK);
    // The walk's result is that of the last item read; the records are
    // what is checked.
    if (walk) reader.ReadObjects(reader.top_collection(), "");
  }
  hmi::ComPtr<hmi::IHmiObject> Find(const std::string& name) {
    hmi::ComPtr<hmi::IHmiObject> object;
    EXPECT_EQ(document->Object()->ObjectByName(name, &object), hmi::S_OK) << name;
    return object;
  }
  std::string Sequence() {
    const std::string* sequence = reader.picture_map()->Find(kAnimationSequence);
    return sequence != nullptr ? *sequence : "<none>";
  }
  std::string Record(const std::string& key) {
    const std::string* record = reader.picture_map()->Find(key);
    return record != nullptr ? *record : "<no record>";
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

// An empty value cannot stand in a record: the record parser would drop it
// and pair every later key with the wrong value. The values that the prefix
// of an animation record is built from are therefore written as one blank
// when the HMI hands them over empty.
TEST_F(KeptChoicesTest, EmptyValuesInARecordPrefixAreWrittenAsOneBlank) {
  // The parent block: category and class (an empty name is "_").
  Load(R"([{"class": "", "name": "", "category": "", "fullName": "Owner"}])", false);
  std::string parent;
  ASSERT_TRUE(animations.AppendParentInfo(&reader, nullptr, Find("Owner").get(), &parent));
  EXPECT_EQ(parent,
            "\tParentCategory\t \tParentName\t_\tParentUniformScale\t0\tParentClassName\t ");

  struct Case {
    const char* what;
    std::string objects;
    const char* key;
    std::vector<std::pair<const char*, const char*>> values;  // read back from the record
  };
  const Case cases[] = {
      // A variable's animation read before any shape connection has no
      // parent shape.
      {"variable before any shape",
       R"([{"class": "Variable", "name": "V", "connections": [{"property": "CurrentValue",
           "source": "DS.N.T.F_CV", "objects": [{"class": "Lookup", "name": "L",
           "properties": {"Source": "DS.N.T.F_CV"}, "lookup": {"levels": [{"in": 1, "out": 2}]}}]}]}])",
       "L(Lookup)",
       {{"ParentShape", " "}, {"IsGroupScale", "0"}, {"ParentProperty", "CurrentValue"}}},
      // A connection of no property and no source.
      {"data item",
       R"([{"class": "Rect", "name": "R", "connections": [{"property": "",
           "objects": [{"class": "DataItem", "name": "D"}]}]}])",
       "COPCDataItem-1(COPCDataItem)",
       {{"ClassName", "COpcDataItem"},
        {"PropertyName", " "},
        {"FullyQualifiedSource", " "},
        {"ParentFullName", "Pic1.R"},
        {"ParentShape", "Rect"},
        {"IsGroupScale", "0"}}},
      {"system value",
       R"([{"class": "Rect", "name": "R", "connections": [{"property": "",
           "objects": [{"class": "GlobalSysInfo", "name": "Clock"}]}]}])",
       "Clock0(GlobalSysInfo)",
       {{"PropertyName", " "},
        {"FullyQualifiedSource", " "},
        {"Name", "Clock0"},
        {"ParentProperty", " "},
        {"ParentClassName", "Rect"},
        {"ParentShape", "Rect"}}},
      {"lookup",
       R"([{"class": "Rect", "name": "R", "connections": [{"property": "", "source": "DS.N.T.F_CV",
           "objects": [{"class": "Lookup", "name": "L", "properties": {"Source": "DS.N.T.F_CV"},
           "lookup": {"levels": [{"in": 1, "out": 2}]}}]}]}])",
       "L(Lookup)",
       {{"PropertyName", " "}, {"ParentProperty", " "}, {"SourceDataType", "5"}, {"Count", "1"}}},
      {"linear",
       R"([{"class": "Rect", "name": "R", "connections": [{"property": "",
           "objects": [{"class": "Linear", "name": "M",
           "properties": {"LoOutValue": 0.0, "HiOutValue": 10.0}}]}]}])",
       "M(Linear)",
       {{"PropertyName", " "}, {"ParentProperty", " "}, {"HiOutValue", "10"}}},
      {"format",
       R"([{"class": "Rect", "name": "R", "connections": [{"property": "",
           "objects": [{"class": "Format", "name": "F"}]}]}])",
       "F(Format)",
       {{"PropertyName", " "}, {"ParentProperty", " "}, {"ParentShape", "Rect"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    *reader.picture_map() = PictureMap();
    state = ProcessState();
    Load(c.objects);
    for (const auto& [key, value] : c.values) {
      EXPECT_EQ(Value(c.key, key), value) << key << " in " << Record(c.key);
    }
  }
}

// A blank, parenthesis, quote, apostrophe, TAB, CR or LF in a name would
// break the page, where names stand unquoted: each becomes "_", and an empty
// name is "_". Values keep their characters (a TAB becomes a blank).
TEST_F(KeptChoicesTest, NamesAreMadeSafeForThePage) {
  struct Case {
    const char* name;
    const char* safe;
  };
  const Case cases[] = {
      {"a b", "a_b"},       {"(x)", "_x_"},           {"\"q\"", "_q_"},
      {"it's", "it_s"},     {"a\tb", "a_b"},          {"a\r\nb", "a__b"},
      {"", "_"},            {" ", "_"},               {"Pic1.R-2", "Pic1.R-2"},
      {"P\xFCmpe", "P\xFCmpe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameText(c.name), c.safe) << c.name;
  }
  EXPECT_EQ(RecordText("a b(\"c\")\td"), "a b(\"c\") d");

  // The names an animation record takes from the HMI: its own name and full
  // name, its parent's name, a system value's name and a data item's parent.
  Load(R"json([{"class": "Rect", "name": "R 1", "connections": [
      {"property": "ForegroundColor", "source": "DS.N.T.F_CV", "objects": [
        {"class": "Lookup", "name": "L(1)", "fullName": "Pic1.R 1.L'1",
         "properties": {"Source": "DS.N.T.F_CV"}, "lookup": {"levels": [{"in": 1, "out": 2}]}},
        {"class": "GlobalSysInfo", "name": "Clock \"A\""}]},
      {"property": "Width", "source": "DS.N.T.F_CV",
       "objects": [{"class": "DataItem", "name": "D"}]}]}])json");
  EXPECT_EQ(Sequence(),
            "\tL_1_(Lookup)\tClock__A_0(GlobalSysInfo)\tCOPCDataItem-1(COPCDataItem)\t");
  EXPECT_EQ(Value("L_1_(Lookup)", "Name"), "L_1_");
  EXPECT_EQ(Value("L_1_(Lookup)", "FullyQualifiedName"), "Pic1.R_1.L_1");
  EXPECT_EQ(Value("L_1_(Lookup)", "ParentName"), "R_1");
  EXPECT_EQ(Value("Clock__A_0(GlobalSysInfo)", "FullyQualifiedName"), "Pic1.R_1.ForegroundColor");
  EXPECT_EQ(Value("COPCDataItem-1(COPCDataItem)", "ParentFullName"), "Pic1.R_1");
}

// A text whose line count cannot be read still gets its animation: the
// Lookup, Format or Linear record is registered once, as for a text of one
// line, and the failed read is reported.
TEST_F(KeptChoicesTest, ATextWhoseLineCountCannotBeReadRegistersItsAnimationOnce) {
  struct Case {
    const char* property;
    const char* animation;  // one source object
    const char* key;
  };
  const Case cases[] = {
      {"ForegroundColor",
       R"({"class": "Lookup", "name": "N", "properties": {"Source": "DS.N.T.F_CV"},
           "lookup": {"levels": [{"in": 1, "out": 255}]}})",
       "N(Lookup)"},
      {"Caption", R"({"class": "Format", "name": "F"})", "F(Format)"},
      {"VerticalPosition",
       R"({"class": "Linear", "name": "M", "properties": {"LoOutValue": 0.0, "HiOutValue": 10.0}})",
       "M(Linear)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    *reader.picture_map() = PictureMap();
    const std::string before = Log();
    Load(R"([{"class": "Text", "name": "T", "fail": ["NumberOfLines"], "properties": {
        "NumberOfLines": 3, "MaxCharactersPerLine": 10, "FontSize": 10, "Caption": "a\rb\rc",
        "VerticalPosition": 100.0}, "connections": [{"property": ")" +
             std::string(c.property) + R"(", "source": "DS.N.T.F_CV", "objects": [)" +
             c.animation + "]}]}]",
         false);
    // The text's own reader stops at the same failure; its connections are
    // read here as the walk reads them for a text it could read.
    animations.ReadConnections(&reader, Find("T").get());
    EXPECT_EQ(Sequence(), "\t" + std::string(c.key) + "\t");
    const std::string name = std::string(c.key).substr(0, 1);
    EXPECT_EQ(Value(c.key, "Name"), name);
    EXPECT_EQ(Value(c.key, "FullyQualifiedName"), "Pic1.T." + name);
    log.FlushObject("Text", "T");
    EXPECT_EQ(Log().substr(before.size()),
              FormatText(Text(83), {"Text", "T"}) + Text(80) + "NumberOfLines\r\n");
  }
}

// The walk takes an item of a collection as it is handed out, even when the
// object refuses the dispatch interface, and reads it through its object
// interface.
TEST_F(KeptChoicesTest, AnItemThatRefusesTheDispatchInterfaceIsStillRead) {
  Load(R"([{"class": "Rect", "name": "R", "refuse": ["Dispatch"]},
           {"class": "Rect", "name": "S"}])");
  EXPECT_NE(Record("R(Rect)"), "<no record>");
  EXPECT_NE(Record("S(Rect)"), "<no record>");
  EXPECT_EQ(Log(), "");
}

// A shared table whose document cannot be searched by name is not found:
// the Lookup is reported and left out.
TEST_F(KeptChoicesTest, ASharedTableDocumentFailingTheLookupByNameIsReportedAsNotFound) {
  ASSERT_TRUE(WriteTextFile(dir.File("Tables.qvg"), R"({"name": "Tables",
      "fail": ["ObjectByName"], "objects": [
      {"class": "Lookup", "name": "Colors", "lookup": {"levels": [{"in": 7, "out": 255}]}}]})",
                            WriteMode::kTruncate)
                  .ok());
  Load(R"([{"class": "Rect", "name": "R", "connections": [{"property": "ForegroundColor",
      "source": "DS.N.T.F_CV", "objects": [{"class": "Lookup", "name": "L",
      "properties": {"Source": "DS.N.T.F_CV"}, "lookup": {"sharedTable": "Tables.Colors"}}]}]}])");
  EXPECT_EQ(Sequence(), "<none>");
  EXPECT_EQ(Log(), FormatText(Text(83), {"Rect", "R"}) + Text(80) + "ForegroundColor" +
                       Text(41) + "\r\n");
}

}  // namespace
}  // namespace quillon
