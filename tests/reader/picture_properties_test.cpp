// Binding to the picture: the page's own record and the failures that stop
// the binding; and the format and data-entry pairs of data links.
#include "reader_fixture.h"

#include "platform/format.h"

namespace quillon {
namespace {

class PicturePropertiesTest : public ReaderTest {
 protected:
  // Loads the picture document `json` and binds the reader to it.
  hmi::HRESULT Bind(const std::string& json) {
    document = hmi::MakeCom<standin::Document>();
    EXPECT_EQ(document->LoadText(json, "/pictures/Pic1.grf"), hmi::S_OK)
        << document->load_error();
    return reader.ReadPictureProperties(document->Dispatch().get());
  }
};

TEST_F(PicturePropertiesTest, RecordHoldsSizeInPixelsColourAndUpdateRate) {
  reader.set_update_rate(5);
  EXPECT_EQ(Bind(R"({"width": 800, "height": 600, "backgroundColor": 12632256,
                     "pixelsPerUnit": [2.0, 0.5]})"),
            hmi::S_OK);
  EXPECT_EQ(Record(kPictureProperties),
            "\tHeight\t300\tWidth\t1600\tBackgroundColor\t0xc0c0c0\tUpdateRate\t5");
  EXPECT_EQ(reader.background_color(), 12632256);
  EXPECT_NE(reader.top_collection(), nullptr);
  EXPECT_EQ(Log(), "");
}

TEST_F(PicturePropertiesTest, BackgroundColourIsWrittenRedGreenBlue) {
  const struct {
    int32_t color;
    const char* text;
  } rows[] = {{12632256, "0xc0c0c0"}, {0x030201, "0x010203"}, {255, "0xff0000"},
              {0, "0x000000"}};
  for (const auto& row : rows) {
    ASSERT_EQ(Bind(StringF(R"({"backgroundColor": %d})", row.color)), hmi::S_OK);
    EXPECT_EQ(Value(kPictureProperties, "BackgroundColor"), row.text) << row.color;
  }
}

TEST_F(PicturePropertiesTest, UnreadableBackgroundIsWhiteAndLogged) {
  EXPECT_EQ(Bind(R"({"backgroundColor": 255, "fail": ["BackgroundColor"]})"), hmi::S_OK);
  EXPECT_EQ(Value(kPictureProperties, "BackgroundColor"), "0xffffff");
  EXPECT_EQ(reader.background_color(), 0xFFFFFF);
  EXPECT_NE(Log().find(Text(92) + "\r\n"), std::string::npos) << Log();
}

TEST_F(PicturePropertiesTest, UnreadableSizeKeepsTheStartingSize) {
  EXPECT_EQ(Bind(R"({"width": 800, "height": 600, "pixelsPerUnit": [2.0, 2.0],
                     "fail": ["Height", "Width"]})"),
            hmi::S_OK);
  EXPECT_EQ(Value(kPictureProperties, "Height"), "150");
  EXPECT_EQ(Value(kPictureProperties, "Width"), "200");
}

TEST_F(PicturePropertiesTest, BindingFailuresStoreNothingAndReleaseThePicture) {
  const struct {
    const char* failure;
    hmi::HRESULT result;
    int message;
  } rows[] = {
      {R"("refuse": ["Picture"])", hmi::E_NOINTERFACE, 25},
      {R"("fail": ["ContainedObjects"])", hmi::E_FAIL, 8},
      {R"("refuse": ["Collection"])", hmi::E_NOINTERFACE, 26},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failure);
    const std::string before = Log();
    EXPECT_EQ(Bind(std::string("{") + row.failure + "}"), row.result);
    EXPECT_NE(Log().substr(before.size()).find(Text(row.message)), std::string::npos) << Log();
    EXPECT_EQ(Record(kPictureProperties), "<missing>");
    EXPECT_EQ(reader.picture(), nullptr);
    EXPECT_EQ(reader.top_collection(), nullptr);
  }
}

TEST_F(PicturePropertiesTest, DataEntryOfTheFirstSourceThatOffersIt) {
  const std::string refusing =
      R"({"class": "DataItem", "name": "R", "refuse": ["DataLinkSource"]})";
  const std::string fixed =
      R"({"class": "DataItem", "name": "F", "dataLinkSource": {"format": "%5.2f", "dataEntry": 1}})";
  const struct {
    std::string json;  // the data link's keys after its name
    long per_line, lines;
    int result;
    const char* text;
  } rows[] = {
      {"", 10, 1, 0, ""},
      {R"("objects": [)" + refusing + "]", 10, 1, kReadWithWarnings, ""},
      {R"("objects": [)" + fixed + "]", 10, 1, 0, "format\t###.##\tDataEntry\t1\t"},
      {R"("objects": [)" + refusing + "," +
           R"({"class": "DataItem", "name": "S", "dataLinkSource": {"format": "%s"}}])",
       4, 2, 0, "format\t########\tDataEntry\t0\t"},
      {R"("objects": [{"class": "DataItem", "name": "T", )"
       R"("dataLinkSource": {"format": "x\ty", "dataEntry": 2}}])",
       10, 1, 0, "format\t#x y\tDataEntry\t2\t"},
      {R"("objects": [{"class": "DataItem", "name": "U", "fail": ["DataLinkFormat"]}])", 10, 1,
       hmi::E_FAIL, ""},
      {R"("objects": [{"class": "DataItem", "name": "V", "fail": ["DataEntry"], )"
       R"("dataLinkSource": {"format": "%5.2f"}}])",
       10, 1, hmi::E_FAIL, "format\t###.##\t"},
      {R"("fail": ["Item:1"], "objects": [)" + fixed + "]", 10, 1, hmi::E_FAIL, ""},
      {R"("fail": ["Count"], "objects": [)" + fixed + "]", 10, 1, hmi::E_FAIL, ""},
      {R"("fail": ["ContainedObjects"], "objects": [)" + fixed + "]", 10, 1, hmi::E_FAIL, ""},
      {R"("refuse": ["Collection"], "objects": [)" + fixed + "]", 10, 1, hmi::E_NOINTERFACE, ""},
  };
  std::string objects;
  for (size_t i = 0; i < std::size(rows); ++i) {
    objects += StringF(R"(%s{"class": "DataLink", "name": "D%zu")", i ? "," : "", i) +
               (rows[i].json.empty() ? "" : ", " + rows[i].json) + "}";
  }
  ASSERT_EQ(Bind(R"({"objects": [)" + objects + "]}"), hmi::S_OK);
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(StringF("D%zu", i));
    std::string text = "stale";
    EXPECT_EQ(reader.ReadDataEntry(Object(StringF("D%zu", i)).get(), &text, rows[i].per_line,
                                   rows[i].lines),
              rows[i].result);
    EXPECT_EQ(text, rows[i].text);
  }
  // The data entry writes nothing of its own into the log.
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(log.pending().empty());
}

}  // namespace
}  // namespace quillon
