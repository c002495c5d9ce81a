// Embedded controls: alarm summaries (by ProgID or by class identifier) with
// their column order and alarm text link, command buttons, and controls the
// converter does not know.
#include "reader_fixture.h"

#include "hmi/standin_host.h"
#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

class ControlReaderTest : public ReaderTest {
 protected:
  ControlReaderTest() { reader.set_host(&host); }

  // One embedded control "Ole1" with `keys` (ending with ", " when given).
  void LoadControl(const std::string& prog_id, const std::string& keys = "") {
    LoadObjects(R"([{"class": "OleObject", "name": "Ole1", )" + keys + R"("properties":
        {"Caption": "Alarms", "Enabled": 1}, "progId": ")" +
                prog_id + R"("}])");
  }
  void LoadAlarmSummary(const std::string& headings) {
    LoadControl(hmi::kAlarmSummaryProgId, R"("columnHeadings": ")" + headings + R"(", )");
  }
  std::string Unsupported() const { return services().Text(61, {"OleObject", "Ole1"}) + Text(62); }
  const Services& services() const { return env.services; }

  standin::StandInHost host;
};

TEST_F(ControlReaderTest, AnAlarmSummaryGetsItsOrderAndAnAlarmTextLink) {
  LoadAlarmSummary("Time;Tag;Time In;");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Ole1(AlarmSummary)", "ClassName"), "AlarmSummary");
  EXPECT_EQ(Value("Ole1(AlarmSummary)", "Caption"), "Alarms");
  EXPECT_EQ(Value("Ole1(AlarmSummary)", "order"), "( 1 3)");
  EXPECT_EQ(Record("Ole1(AlarmTextLink)"),
            "FullyQualifiedName\tPic1.Ole1\tName\tOle1\tClassName\tAlarmTextLink\tSource\t"
            "ALARMHISTORY.A_CV");
  const std::string* sequence = reader.picture_map()->Find(kAnimationSequence);
  ASSERT_NE(sequence, nullptr);
  EXPECT_NE(sequence->find("Ole1(AlarmTextLink)"), std::string::npos);
  const std::string* objects = reader.picture_map()->Find(kObjectSequence);
  ASSERT_NE(objects, nullptr);
  EXPECT_NE(objects->find("Ole1(AlarmSummary)"), std::string::npos);
  EXPECT_EQ(Log(), "");
}

TEST_F(ControlReaderTest, ColumnOrder) {
  const struct {
    const char* headings;
    const char* order;
  } rows[] = {
      {"Time;Tag;Time In;", "( 1 3)"},
      {"Date;Time;", "( 0 1)"},
      {"Node;Date;Date In;", "( 2 0)"},
      {"Status;Area;Priority;Value;Units;Description;", "( 4 5 6 7 8 9)"},
      {"TIME IN;date in;NODE;", "( 1 0 2)"},  // any case
      {"Bogus;Tag;", "( 3)"},                 // an unknown heading adds nothing
      {"Time;Tag", "( 1)"},                   // text after the last ";" adds nothing
      {";Time;", "()"},                       // a leading ";" ends the list
      {"", "()"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.headings);
    LoadAlarmSummary(row.headings);
    EXPECT_EQ(Walk(), 0);
    EXPECT_EQ(Value("Ole1(AlarmSummary)", "order"), row.order);
  }
}

TEST_F(ControlReaderTest, MapColumnHeadingGivesTheCanonicalHeading) {
  const struct {
    const char* heading;
    int found;
    const char* canonical;
    long column;
  } rows[] = {{"Time In", 1, "TIME", 1}, {"date", 1, "DATE", 0},        {"Node", 1, "NODE", 2},
              {"Tag", 1, "TAG", 3},      {"Description", 1, "DESC", 9}, {"Tags", 0, "Tags", -7}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.heading);
    std::string heading = row.heading;
    long column = -7;
    EXPECT_EQ(MapColumnHeading(&reader, &heading, &column), row.found);
    EXPECT_EQ(heading, row.canonical);
    EXPECT_EQ(column, row.column);
  }
}

TEST_F(ControlReaderTest, AControlIsRecognisedByItsClassIdentifier) {
  host.RegisterProgId("Plant.Alarms.2", hmi::kAlarmSummaryClassId);
  host.RegisterProgId("Plant.Button", "{d7053240-ce69-11cd-a777-00dd01143c57}");
  LoadObjects(R"([
      {"class": "OleObject", "name": "Sum", "progId": "Plant.Alarms.2", "columnHeadings": "Tag;"},
      {"class": "OleObject", "name": "Btn", "progId": "plant.button"}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Sum(AlarmSummary)", "order"), "( 3)");
  EXPECT_EQ(Value("Btn(CommandButton)", "ClassName"), "CommandButton");
}

TEST_F(ControlReaderTest, ACommandButtonKeepsItsProperties) {
  LoadControl(hmi::kCommandButtonProgId);
  EXPECT_EQ(Walk(), 0);
  const std::string key = "Ole1(CommandButton)";
  EXPECT_EQ(Value(key, "ClassName"), "CommandButton");
  EXPECT_EQ(Value(key, "Caption"), "Alarms");
  EXPECT_EQ(Value(key, "Enabled"), "1");
  EXPECT_EQ(Value(key, "FullyQualifiedName"), "Pic1.Ole1");
  EXPECT_EQ(Record("Ole1(AlarmTextLink)"), "<missing>");
}

TEST_F(ControlReaderTest, UnknownControlsStayUnsupported) {
  const struct {
    const char* what;
    std::string prog_id, keys, log;
  } rows[] = {
      {"unknown ProgID", "Other.Control.1", "", ""},
      {"ProgID fails", hmi::kAlarmSummaryProgId, R"("fail": ["ProgID"], )", Text(91)},
      {"no control interface", hmi::kAlarmSummaryProgId, R"("refuse": ["OleControl"], )", Text(91)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string before = Log();
    LoadControl(row.prog_id, row.keys);
    EXPECT_EQ(Walk(), 0);
    EXPECT_EQ(Record("Ole1(OleObject)"), "<missing>");
    EXPECT_EQ(Record("Ole1(AlarmSummary)"), "<missing>");
    const std::string added = Log().substr(before.size());
    EXPECT_NE(added.find(Unsupported()), std::string::npos) << added;
    EXPECT_NE(added.find(row.log), std::string::npos) << added;
  }
}

TEST_F(ControlReaderTest, HeadingsThatCannotBeObtainedDropTheSummaryButNotItsLink) {
  const struct {
    const char* what;
    std::string keys;
  } rows[] = {{"no such method", ""},
              {"the call fails", R"("columnHeadings": "Tag;", "fail": ["GetColHeadings"], )"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    reader.picture_map()->clear();
    const std::string before = Log();
    LoadControl(hmi::kAlarmSummaryProgId, row.keys);
    EXPECT_EQ(Walk(), 0);
    EXPECT_EQ(Record("Ole1(AlarmSummary)"), "<missing>");
    EXPECT_NE(Record("Ole1(AlarmTextLink)"), "<missing>");
    EXPECT_NE(Log().substr(before.size()).find(Text(8)), std::string::npos);
  }
}

TEST_F(ControlReaderTest, AnAlarmTextLinkNeedsBothNames) {
  EXPECT_EQ(AddAlarmTextLink(&reader, "\tFullyQualifiedName\tPic1.Sum\t"), kReadWithWarnings);
  EXPECT_EQ(AddAlarmTextLink(&reader, "\tName\tSum\t"), kReadWithWarnings);
  EXPECT_EQ(reader.picture_map()->Find("Sum(AlarmTextLink)"), nullptr);
  EXPECT_NE(Log().find(services().Text(61, {"AlarmTextLink", "Pic1.Sum"}) + Text(62)),
            std::string::npos);
  EXPECT_EQ(AddAlarmTextLink(&reader, "\tName\tSum\tFullyQualifiedName\tPic1.Sum\t"), 1);
  EXPECT_NE(reader.picture_map()->Find("Sum(AlarmTextLink)"), nullptr);
}

TEST_F(ControlReaderTest, ASummaryWhosePropertiesCannotBeReadIsNotStored) {
  const std::string base = R"("fail": ["PropertyNames"], )";
  LoadControl(hmi::kAlarmSummaryProgId, base + R"("columnHeadings": "Tag;", )");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(reader.picture_map()->Find("(AlarmSummary)"), nullptr);
  EXPECT_EQ(Record("Ole1(AlarmSummary)"), "<missing>");
}

}  // namespace
}  // namespace quillon
