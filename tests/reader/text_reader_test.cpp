// The text reader: display formats, font heights, one record per line of a
// text, data links and the warnings of every way a text can fail to read.
#include "reader_fixture.h"

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

// A text object; `extra` adds keys after the properties (objects, failures).
std::string TextJson(const std::string& name, const std::string& properties,
                     const std::string& extra = "", const std::string& cls = "Text") {
  return R"({"class": ")" + cls + R"(", "name": ")" + name + R"(", "properties": {)" +
         properties + "}" + extra + "}";
}

// The usual properties of a text of `lines` lines.
std::string TextProperties(int lines, int per_line, const std::string& caption,
                           int font = 12, double top = 100.0) {
  return StringF(R"("VerticalPosition": %.1f, "Height": 30.0, "FontSize": %d, )"
                 R"("NumberOfLines": %d, "MaxCharactersPerLine": %d, "Caption": ")",
                 top, font, lines, per_line) +
         caption + "\"";
}

class TextReaderTest : public ReaderTest {
 protected:
  // Calls the text reader once on `name`, as the walk does for a new object.
  int ReadOnce(const std::string& name, std::string* record) {
    reader.set_repeat_counter(0);
    log.ClearPending();
    return ReadText(&reader, Object(name).get(), record);
  }
};

TEST_F(TextReaderTest, OneLineTextIsOneRecordWithFontHeight) {
  LoadObjects("[" + TextJson("T1", TextProperties(1, 20, "Hello")) + "]");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record("T1(Text)"),
            "\tName\tT1\tClassName\tText\tFullyQualifiedName\tPic1.T1\tVerticalPosition\t100\t"
            "Height\t16\tFontSize\t12\tNumberOfLines\t1\tMaxCharactersPerLine\t20\t"
            "Caption\tHello\t\trotateOffsetX\t0\trotateOffsetY\t0\tformat\t#\t");
  EXPECT_EQ(Record(kObjectSequence), "\tT1(Text)\t");
  EXPECT_EQ(connections.connections, std::vector<std::string>{"T1"});
  EXPECT_EQ(Log(), "");
}

TEST_F(TextReaderTest, FontHeightFollowsTheScreenResolution) {
  const std::string picture = R"({"pixelsPerUnit": [1.0, 2.0], "objects": [)" +
                              TextJson("T1", TextProperties(1, 20, "A")) + "]}";
  reader.set_screen_dpi(120);
  Load(picture);
  Walk();
  EXPECT_EQ(Value("T1(Text)", "Height"), "20");
  // Without a screen the text's own height is taken, in pixels.
  reader.set_screen_dpi(0);
  Load(picture);
  Walk();
  EXPECT_EQ(Value("T1(Text)", "Height"), "60");
}

TEST_F(TextReaderTest, ThreeLinesGiveThreeRecordsLastLineFirst) {
  // The top is converted to pixels: 50 units at 2 pixels a unit is 100.
  Load(R"({"pixelsPerUnit": [1.0, 2.0], "objects": [)" +
       TextJson("T1", TextProperties(3, 20, R"(one\rtwo\rthree)", 12, 50.0)) + "]}");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record(kObjectSequence), "\tT1l0(Text)\tT1l1(Text)\tT1l2(Text)\t");
  EXPECT_EQ(Record("T1(Text)"), "<missing>");
  const char* captions[] = {"three", "two", "one"};
  const char* tops[] = {"138", "119", "100"};
  for (int k = 0; k < 3; ++k) {
    const std::string key = StringF("T1l%d(Text)", k);
    EXPECT_EQ(Value(key, "Name"), StringF("T1l%d", k));
    EXPECT_EQ(Value(key, "Caption"), captions[k]);
    EXPECT_EQ(Value(key, "VerticalPosition"), tops[k]);
    EXPECT_EQ(Value(key, "Height"), "16");
    EXPECT_EQ(Value(key, "format"), "#");
  }
  // The animations of the text are read once, not once per line.
  EXPECT_EQ(connections.connections, std::vector<std::string>{"T1"});
}

TEST_F(TextReaderTest, LineTopsFollowTheRoundedLineHeight) {
  struct Row {
    int font, lines;
    double top;
    const char* height;
    std::vector<std::string> tops;  // of records l0, l1, ...
  };
  const Row rows[] = {
      {12, 3, 100.0, "16", {"138", "119", "100"}},  // line height 19.2
      {10, 3, 0.0, "13", {"33", "17", "1"}},        // 15.6 rounds up to 16.6
      {11, 2, 10.0, "15", {"28", "10"}},            // 14.67 pixels round to 15
  };
  std::string objects;
  for (size_t i = 0; i < std::size(rows); ++i) {
    objects += (i ? "," : "") + TextJson(StringF("T%zu", i),
                                         TextProperties(rows[i].lines, 20, R"(a\rb\rc)",
                                                        rows[i].font, rows[i].top));
  }
  LoadObjects("[" + objects + "]");
  Walk();
  for (size_t i = 0; i < std::size(rows); ++i) {
    for (size_t k = 0; k < rows[i].tops.size(); ++k) {
      const std::string key = StringF("T%zul%zu(Text)", i, k);
      SCOPED_TRACE(key);
      EXPECT_EQ(Value(key, "VerticalPosition"), rows[i].tops[k]);
      EXPECT_EQ(Value(key, "Height"), rows[i].height);
    }
  }
}

TEST_F(TextReaderTest, CaptionSplitsAtCarriageReturnsAndLineWidth) {
  struct Row {
    const char* caption;  // JSON text
    int lines, per_line;
    std::vector<std::string> captions;  // of records l0, l1, ...
  };
  const Row rows[] = {
      {R"(AB\rCD)", 2, 20, {"CD", "AB"}},
      {"ABCDEF", 2, 3, {"DEF", "ABC"}},
      {"AB", 2, 20, {"\r", "AB"}},  // an empty line is one carriage return
      {R"(A\r\rB)", 3, 20, {"B", "\r", "A"}},
      {R"(AB\rCDEF)", 3, 3, {"EF", "CD", "AB"}},  // the return takes a column
  };
  std::string objects;
  for (size_t i = 0; i < std::size(rows); ++i) {
    objects += (i ? "," : "") + TextJson(StringF("T%zu", i),
                                         TextProperties(rows[i].lines, rows[i].per_line,
                                                        rows[i].caption));
  }
  LoadObjects("[" + objects + "]");
  Walk();
  for (size_t i = 0; i < std::size(rows); ++i) {
    for (size_t k = 0; k < rows[i].captions.size(); ++k) {
      const std::string key = StringF("T%zul%zu(Text)", i, k);
      SCOPED_TRACE(key);
      EXPECT_EQ(Value(key, "Caption"), rows[i].captions[k]);
    }
  }
}

TEST_F(TextReaderTest, DataLinkFormats) {
  const std::string source =
      R"(, "objects": [{"class": "DataItem", "name": "S", )"
      R"("dataLinkSource": {"format": "%5.2f", "dataEntry": 1}}])";
  const std::string refusing =
      R"(, "objects": [{"class": "DataItem", "name": "S", "refuse": ["DataLinkSource"]}])";
  LoadObjects("[" + TextJson("D1", TextProperties(1, 10, "0"), source, "DataLink") + "," +
              TextJson("D2", TextProperties(1, 10, "0"), refusing, "DataLink") + "," +
              TextJson("D3", TextProperties(1, 10, "0"), "", "DataLink") + "," +
              TextJson("D4", TextProperties(2, 10, "0"), refusing, "DataLink") + "]");
  std::string record;
  EXPECT_EQ(ReadOnce("D1", &record), 0);
  EXPECT_NE(record.find("\tformat\t###.##\tDataEntry\t1\t"), std::string::npos) << record;
  // No source offers the data-link interface: a plain format, read with warnings.
  EXPECT_EQ(ReadOnce("D2", &record), kReadWithWarnings);
  EXPECT_NE(record.find("\tformat\t#\t"), std::string::npos) << record;
  EXPECT_EQ(record.find("DataEntry"), std::string::npos) << record;
  // Without any source: no format at all, and no warning.
  EXPECT_EQ(ReadOnce("D3", &record), 0);
  EXPECT_EQ(record.find("format"), std::string::npos) << record;
  // A text of several lines is not marked for the missing source.
  EXPECT_EQ(ReadOnce("D4", &record), 0);
  EXPECT_NE(record.find("\tformat\t#\t"), std::string::npos) << record;
  EXPECT_TRUE(log.pending().empty());

  Walk();
  EXPECT_EQ(Value("D1(DataLink)", "DataEntry"), "1");
  EXPECT_EQ(Value("D2(DataLink)", "format"), "#");
  EXPECT_EQ(Value("D4l0(DataLink)", "format"), "#");
  EXPECT_EQ(Value("D4l1(DataLink)", "format"), "#");
}

TEST_F(TextReaderTest, FailuresQueueTheirWarnings) {
  struct Row {
    const char* name;
    std::string json;
    int dpi;
    int result;
    std::string warning;
  };
  const std::string three = TextProperties(3, 20, R"(a\rb\rc)");
  const Row rows[] = {
      {"NoText", TextJson("NoText", three, R"(, "refuse": ["Text"])"), 96, kReadWithWarnings,
       Text(81) + Text(20)},
      {"NoWidth", TextJson("NoWidth", R"("NumberOfLines": 1)"), 96, kReadWithWarnings,
       Text(80) + "MaxCharactersPerLine"},
      {"NoLines", TextJson("NoLines", R"("MaxCharactersPerLine": 5)"), 96, kReadWithWarnings,
       Text(80) + "NumberOfLines"},
      {"NoClass", TextJson("NoClass", three, R"(, "fail": ["ClassName"])"), 96, -1,
       Text(81) + Text(21)},
      {"NoFormat",
       TextJson("NoFormat", three,
                R"(, "objects": [{"class": "DataItem", "name": "S", "fail": ["DataLinkFormat"]}])",
                "DataLink"),
       96, kReadWithWarnings, Text(81) + Text(22)},
      // Failures while making a line record.
      {"NoCaption", TextJson("NoCaption", three, R"(, "fail": ["Caption"])"), 96,
       kReadWithWarnings, Text(80) + "Caption"},
      {"NoTop", TextJson("NoTop", three, R"(, "fail": ["VerticalPosition"])"), 96,
       kReadWithWarnings, Text(80) + "VerticalPosition"},
      {"NoFont", TextJson("NoFont", three, R"(, "fail": ["FontSize"])"), 96, kReadWithWarnings,
       Text(80) + "FontSize"},
      {"NoName", TextJson("NoName", three, R"(, "fail": ["Name"])"), 96, kReadWithWarnings,
       Text(80) + "Name"},
      {"NoScreen", TextJson("NoScreen", three), 0, kReadWithWarnings, Text(80) + "GetDC"},
  };
  std::string objects;
  for (const Row& row : rows) objects += (objects.empty() ? "" : ",") + row.json;
  LoadObjects("[" + objects + "]");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    reader.set_screen_dpi(row.dpi);
    std::string record;
    EXPECT_EQ(ReadOnce(row.name, &record), row.result);
    EXPECT_EQ(log.pending(), std::vector<std::string>{row.warning});
    // A text that gives up asks for no further line.
    EXPECT_EQ(reader.repeat_counter(), 0);
  }
}

TEST_F(TextReaderTest, LineRecordThatGivesUpEndsTheRepetition) {
  LoadObjects("[" +
              TextJson("T1", TextProperties(3, 20, R"(a\rb\rc)"), R"(, "fail": ["Caption"])") +
              "]");
  EXPECT_EQ(Walk(), 0);
  // The record read so far is kept under the object's own name, once.
  EXPECT_EQ(Record(kObjectSequence), "\tT1(Text)\t");
  EXPECT_EQ(Record("T1l0(Text)"), "<missing>");
  EXPECT_EQ(Log(), env.services.Text(83, {"Text", "T1"}) + Text(80) + "Caption\r\n");
  EXPECT_EQ(connections.connections, std::vector<std::string>{"T1"});
}

}  // namespace
}  // namespace quillon
