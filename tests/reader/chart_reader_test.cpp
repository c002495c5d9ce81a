// Charts: pens, limits, grid and label colours, axes, transparency, the
// hand-over of every pen, and each failure's warning.
#include "reader_fixture.h"

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

constexpr char kAxes[] = R"("TimeAxisNumLabels": 5, "TimeAxisNumTicks": 2,
                            "ValueAxisNumLabels": 5, "ValueAxisNumTicks": 3)";

// A chart with a red pen of width 1 (limits 100 and 0) and a blue pen of
// width 2 (limits 50 and -5). `chart_keys` and `pen_keys` (each ending with
// ", " when given) are added to the chart and to its first pen.
std::string Chart(const std::string& chart_keys = "", const std::string& pen_keys = "",
                  const std::string& transparent = "0") {
  return R"({"class": "Chart", "name": "Chart1", )" + chart_keys +
         R"("properties": {"ForegroundColor": 1, "Transparent": )" + transparent + ", " + kAxes +
         R"(},
      "valueGridColor": 128, "timeGridColor": 32768,
      "pens": [
        {"class": "Pen", "name": "Pen1", )" +
         pen_keys + R"("properties": {"PenLineColor": 255, "PenLineWidth": 1,
                                       "HiLimit": 100, "LoLimit": 0}},
        {"class": "Pen", "name": "Pen2", "properties": {"PenLineColor": 16711680,
                                       "PenLineWidth": 2, "HiLimit": 50.0, "LoLimit": -5}}]})";
}

constexpr char kPensText[] =
    "pens\t((0xff0000 1)(0x0000ff 2))\tHiLimit\t  100.0\tLoLimit\t    0.0\t"
    "majorValueDivColor\t128\tminorValueDivColor\t128\tminorTimeDivColor\t32768\t"
    "majorTimeDivColor\t32768\ttimeLabelColor\t0xff0000\tvalueLabelColor\t0xff0000\t";
constexpr char kAxesText[] =
    "timeDivsPerLabel\t1\tmajorTimeDivs\t5\tvalueDivsPerLabel\t1\tmajorValueDivs\t4\t";

class ChartReaderTest : public ReaderTest {
 protected:
  int Read(const std::string& chart, std::string* record) {
    LoadObjects("[" + chart + "]");
    log.ClearPending();
    connections.pens.clear();
    return ReadChart(&reader, Object("Chart1").get(), record);
  }
  // A queued warning as the log writes it: level 1 or level 0.
  std::string Warning(int level, const std::string& text) const {
    return Text(level == 1 ? 80 : 81) + text;
  }
};

TEST_F(ChartReaderTest, TwoPensWithPenOnesLimitsAndColours) {
  std::string record;
  ASSERT_EQ(Read(Chart(), &record), 0);
  EXPECT_EQ(
      record.substr(record.size() - std::string(kPensText).size() - std::string(kAxesText).size()),
      std::string(kPensText) + kAxesText);
  PropertyMap properties;
  ParseRecord(record, &properties);
  EXPECT_EQ(*properties.Find("ForegroundColor"), "1");  // not transparent
  // Every pen is handed over with pen 1's limits and its own index.
  EXPECT_EQ(connections.pens, (std::vector<std::string>{
                                  "Pen1\tHiOutValue\t  100.0\tLoOutValue\t    0.0\tPenIndex\t0",
                                  "Pen2\tHiOutValue\t  100.0\tLoOutValue\t    0.0\tPenIndex\t1"}));
  EXPECT_TRUE(log.pending().empty());
}

TEST_F(ChartReaderTest, AChartWithoutPensHasAnEmptyPenList) {
  std::string record;
  LoadObjects(R"([{"class": "Chart", "name": "Chart1", "properties": {"Transparent": false, )" +
              std::string(kAxes) + "}}]");
  ASSERT_EQ(ReadChart(&reader, Object("Chart1").get(), &record), 0);
  const std::string tail = std::string("pens\t()\t") + kAxesText;
  EXPECT_EQ(record.substr(record.size() - tail.size()), tail);
  EXPECT_TRUE(connections.pens.empty());
}

TEST_F(ChartReaderTest, ATransparentChartTakesThePictureBackground) {
  Load(R"({"name": "Pic1", "backgroundColor": 12632256, "objects": [)" + Chart("", "", "true") +
       "]}");
  std::string record;
  ASSERT_EQ(ReadChart(&reader, Object("Chart1").get(), &record), 0);
  PropertyMap properties;
  ParseRecord(record, &properties);
  EXPECT_EQ(*properties.Find("ForegroundColor"), "12632256");
  // A key the chart does not list is added.
  EXPECT_EQ(*properties.Find("BackgroundColor"), "12632256");
}

TEST_F(ChartReaderTest, UnreadableGridColoursAreDarkGrey) {
  std::string record;
  ASSERT_EQ(Read(Chart(R"("fail": ["ValueGridColor", "TimeGridColor"], )"), &record), 0);
  EXPECT_NE(record.find("majorValueDivColor\t35723\tminorValueDivColor\t35723\t"
                        "minorTimeDivColor\t35723\tmajorTimeDivColor\t35723\t"),
            std::string::npos);
  EXPECT_TRUE(log.pending().empty());
}

TEST_F(ChartReaderTest, FailuresLeaveOutTheirTextWithAWarning) {
  struct Row {
    std::string chart_keys, pen_keys;
    int level;
    std::string warning;
    bool pens, axes;
  };
  const Row rows[] = {
      {R"("refuse": ["Chart"], )", "", 0, Text(27), false, false},
      {R"("fail": ["Pens"], )", "", 1, "Pens", false, false},
      {R"("refuse": ["Collection"], )", "", 0, Text(28), false, false},
      {R"("fail": ["Count"], )", "", 0, Text(29), false, false},
      {R"("fail": ["Item:2"], )", "", 0, Text(30), false, false},
      {"", R"("refuse": ["Pen"], )", 0, Text(31), false, false},
      {"", R"("fail": ["PenLineColor"], )", 1, "PenLineColor", false, false},
      {"", R"("fail": ["PenLineWidth"], )", 1, "PenLineWidth", false, false},
      {"", R"("fail": ["HiLimit"], )", 1, "HiLimit", false, false},
      {"", R"("fail": ["LoLimit"], )", 1, "LoLimit", false, false},
      {R"("fail": ["TimeAxisNumTicks"], )", "", 1, "TimeAxisNumTicks", true, false},
      {R"("fail": ["ValueAxisNumLabels"], )", "", 1, "ValueAxisNumLabels", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.warning);
    std::string record;
    EXPECT_EQ(Read(Chart(row.chart_keys, row.pen_keys), &record), 0);
    EXPECT_EQ(log.pending(), std::vector<std::string>{Warning(row.level, row.warning)});
    EXPECT_EQ(record.find("pens\t") != std::string::npos, row.pens);
    EXPECT_EQ(record.find("HiLimit\t") != std::string::npos, row.pens);
    EXPECT_EQ(record.find("timeDivsPerLabel") != std::string::npos, row.axes);
  }
}

TEST_F(ChartReaderTest, AnUnreadableTransparencyFailsTheChart) {
  LoadObjects("[" + Chart(R"("fail": ["Transparent"], )") + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record("Chart1(Chart)"), "<missing>");
  const std::string log_text = Log();
  EXPECT_NE(log_text.find(Warning(1, "Transparency")), std::string::npos);
}

TEST_F(ChartReaderTest, TheWalkStoresTheChart) {
  LoadObjects("[" + Chart() + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Chart1(Chart)", "pens"), "((0xff0000 1)(0x0000ff 2))");
  EXPECT_EQ(Value("Chart1(Chart)", "majorValueDivs"), "4");
  EXPECT_EQ(Value("Chart1(Chart)", "majorTimeDivs"), "5");
  EXPECT_EQ(Value("Chart1(Chart)", "valueLabelColor"), "0xff0000");
  EXPECT_EQ(connections.pens.size(), 2u);
}

}  // namespace
}  // namespace quillon
