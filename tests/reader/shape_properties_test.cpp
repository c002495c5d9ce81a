// The generic property reading: values as text, pixel and angle
// conversions, rotation offsets, the edge rules and their failures.
#include "reader_fixture.h"

#include <cmath>

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

using hmi::Variant;

TEST(FormatValueTest, EveryTypeAsText) {
  auto array = hmi::MakeStringArray({"a"});
  struct Case {
    Variant value;
    float offset;
    const char* text;
  };
  const Case cases[] = {
      {Variant::I2(5), 1.7f, "6"},
      {Variant::I4(-7), 0.0f, "-7"},
      {Variant::I4(100), -2.9f, "98"},
      {Variant::R4(1.5f), 0.25f, "1.75"},
      {Variant::R8(0.1), 0.0f, "0.1"},
      {Variant::R8(1e20), 0.0f, "1e+20"},
      {Variant::Bstr("Pump\t1"), 0.0f, "Pump 1"},
      {Variant::Bstr(""), 0.0f, " "},
      {Variant::Bool(true), 0.0f, "-1"},
      {Variant::Bool(false), 0.0f, "0"},
      {Variant::UI1(65), 0.0f, "A"},
      {Variant::UI1(0), 0.0f, " "},
      {Variant(), 0.0f, " "},
      {array, 0.0f, " "},
  };
  for (const Case& c : cases) {
    std::string text = "stale";
    EXPECT_EQ(FormatValue(c.value, c.offset, &text), 1);
    EXPECT_EQ(text, c.text) << c.value.vt();
  }
}

TEST(MulDivTest, RoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(12, 96, 72), 16);
  EXPECT_EQ(MulDiv(10, 96, 72), 13);   // 13.33
  EXPECT_EQ(MulDiv(3, 3, 2), 5);       // 4.5
  EXPECT_EQ(MulDiv(-3, 3, 2), -5);     // -4.5
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST_F(ReaderTest, PositionsAndSizesBecomePixelsAndValuesText) {
  Load(R"({"name": "Pic1", "pixelsPerUnit": [2.0, 0.5], "objects": [{"class": "Rect",
      "name": "R", "properties": {"HorizontalPosition": 10.25, "VerticalPosition": 7.0,
      "Width": 3.0, "Height": 9.0, "Visible": true, "Filled": false, "ForegroundColor": 255,
      "Caption": "x", "Ratio": 0.5, "Broken": 1}, "fail": ["Broken"]}]})");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record("R(Rect)"),
            "\tName\tR\tClassName\tRect\tFullyQualifiedName\tPic1.R\tHorizontalPosition\t21\t"
            "VerticalPosition\t4\tWidth\t6\tHeight\t5\tVisible\t-1\tFilled\t0\t"
            "ForegroundColor\t255\tCaption\tx\tRatio\t0.5\tBroken\t \t\t"
            "rotateOffsetX\t0\trotateOffsetY\t0\t");
}

TEST_F(ReaderTest, RotationAnglesUseTheObjectsOwnUnit) {
  LoadObjects(R"([{"class": "Rect", "name": "Rad", "angleUnit": 1,
                   "properties": {"RotationAngle": 1.5}},
                  {"class": "Rect", "name": "Deg", "properties": {"RotationAngle": 30.7}},
                  {"class": "Rect", "name": "Neg", "properties": {"RotationAngle": -45.9}}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Rad(Rect)", "RotationAngle"), "-57");
  EXPECT_EQ(Value("Deg(Rect)", "RotationAngle"), "-30");
  EXPECT_EQ(Value("Neg(Rect)", "RotationAngle"), "45");
  EXPECT_EQ(reader.angle_unit(), kDegrees);
}

TEST_F(ReaderTest, RotationOffsetsAreThePointsDifferenceInPixels) {
  Load(R"({"name": "Pic1", "pixelsPerUnit": [2.0, 3.0], "objects": [{"class": "Oval",
      "name": "O", "rotationPoint": [15.0, 5.0], "centerPoint": [10.0, 10.0]},
      {"class": "Oval", "name": "X", "fail": ["CenterPoint.y"]},
      {"class": "Oval", "name": "Y", "fail": ["RotationPoint"]},
      {"class": "Oval", "name": "Z", "refuse": ["Geometry"]}]})");
  EXPECT_EQ(Walk(), 0);
  const std::string o = Record("O(Oval)");
  EXPECT_EQ(o.substr(o.find("\t\trotate")), "\t\trotateOffsetX\t10\trotateOffsetY\t-15\t");
  const std::string x = Record("X(Oval)");
  EXPECT_EQ(x.substr(x.size() - 8), "Pic1.X\t\t") << "an empty offsets text after its TAB";
  EXPECT_EQ(Record("Y(Oval)").find("rotate"), std::string::npos);
  EXPECT_EQ(Record("Z(Oval)").find("rotate"), std::string::npos);
  // The failed centre read is written under X's own heading.
  EXPECT_TRUE(log.pending().empty());
  EXPECT_EQ(Log(), FormatText(Text(83), {"Oval", "X"}) + Text(80) + "CenterY\r\n");
}

TEST_F(ReaderTest, ThinEdgesAreDroppedAndInvisibleEdgesHidden) {
  LoadObjects(R"([{"class": "Rect", "name": "Thin", "properties": {"EdgeWidth": 3.0}},
                  {"class": "Rect", "name": "Thick", "properties": {"EdgeWidth": 4.0}},
                  {"class": "Line", "name": "Hidden", "properties": {"EdgeStyle": 5}},
                  {"class": "Line", "name": "Shown", "properties": {"EdgeStyle": 1,
                   "Visible": true}},
                  {"class": "Line", "name": "Style", "properties": {"EdgeStyle": 5,
                   "Visible": true}}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Thin(Rect)", "EdgeWidth"), "0");
  EXPECT_EQ(Value("Thick(Rect)", "EdgeWidth"), "4");
  EXPECT_EQ(Value("Hidden(Line)", "Visible"), "0");
  EXPECT_EQ(Value("Shown(Line)", "Visible"), "-1");
  EXPECT_EQ(Value("Style(Line)", "Visible"), "0");
}

TEST_F(ReaderTest, AnUnreadableEdgeStyleDropsTheLineWithItsWarning) {
  LoadObjects(R"([{"class": "Line", "name": "L", "fail": ["EdgeStyle"]}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record("L(Line)"), "<missing>");
  EXPECT_EQ(Log(), FormatText(Text(83), {"Line", "L"}) + Text(80) + "visibility\r\n");
  EXPECT_EQ(connections.connections, (std::vector<std::string>{"L"})) << "animations still read";
}

TEST_F(ReaderTest, UnreadablePropertyNamesDropTheObject) {
  LoadObjects(R"([{"class": "Button", "name": "B", "fail": ["PropertyNames"]}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record("B(Button)"), "<missing>");
  EXPECT_EQ(Log(), FormatText(Text(83), {"Button", "B"}) + Text(81) + Text(13) + "\r\n");
}

TEST_F(ReaderTest, PixelConversionFailureIsReported) {
  Load(R"({"name": "Pic1", "fail": ["LogicalToPixel"], "objects": [{"class": "Rect",
      "name": "R", "properties": {"Width": 5.0}}]})");
  const std::string before = Log();
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("R(Rect)", "Width"), "0");
  EXPECT_NE(Log().substr(before.size()).find(Text(82) + Text(93) + "\r\n"), std::string::npos);
}

// An object whose property list is not what the HMI promises.
class OddNames : public hmi::IHmiObject {
 public:
  explicit OddNames(Variant names) : names_(std::move(names)) {}
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override { return --references_; }
  hmi::HRESULT QueryInterface(hmi::InterfaceId, void**) override { return hmi::E_NOINTERFACE; }
  hmi::HRESULT GetIDsOfNames(const std::string&, hmi::LCID, hmi::DISPID*) override {
    return hmi::DISP_E_UNKNOWNNAME;
  }
  hmi::HRESULT Invoke(hmi::DISPID, hmi::LCID, uint16_t, const std::vector<Variant>&,
                      Variant*) override {
    return hmi::E_NOTIMPL;
  }
  hmi::HRESULT Name(std::string*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT ClassName(std::string*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT Category(std::string*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT FullyQualifiedName(std::string*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT ContainedObjects(hmi::ComPtr<hmi::IDispatch>*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT ObjectByName(const std::string&, hmi::ComPtr<hmi::IHmiObject>*) override {
    return hmi::E_NOTIMPL;
  }
  hmi::HRESULT PropertyNames(Variant* names) override {
    *names = names_;
    return hmi::S_OK;
  }
  hmi::HRESULT PropertyValue(const std::string&, Variant* value) override {
    *value = Variant::I4(1);
    return hmi::S_OK;
  }
  hmi::HRESULT SetPropertyValue(const std::string&, const Variant&) override {
    return hmi::E_NOTIMPL;
  }
  hmi::HRESULT ConnectionCount(int32_t*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT ConnectionInfo(int32_t, hmi::HmiConnection*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT Parent(hmi::ComPtr<hmi::IHmiObject>*) override { return hmi::E_NOTIMPL; }
  hmi::HRESULT IsConnected(const std::string&, int16_t*, int32_t*, int32_t*) override {
    return hmi::E_NOTIMPL;
  }

 private:
  Variant names_;
  uint32_t references_ = 1;
};

TEST_F(ReaderTest, PropertyListsThatAreNotTextsReadNoProperty) {
  LoadObjects("[]");
  auto not_texts = std::make_shared<hmi::SafeArray>(
      hmi::VT_I4, 0, std::vector<Variant>{Variant::I4(1)});
  auto bad_element = std::make_shared<hmi::SafeArray>(
      hmi::VT_BSTR, 3, std::vector<Variant>{Variant::Bstr("A"), Variant::I4(2)});
  struct Case {
    Variant names;
    std::string message;
  };
  const Case cases[] = {
      {Variant::I4(4), Text(14)},
      {Variant::Array(not_texts), Text(14)},
      {Variant::Array(bad_element), FormatText(Text(17), {"4"})},
  };
  for (const Case& c : cases) {
    OddNames object(c.names);
    std::string record;
    const std::string before = Log();
    EXPECT_EQ(reader.ReadProperties(&object, &record), hmi::S_OK);
    EXPECT_EQ(record, "\t");
    EXPECT_EQ(Log().substr(before.size()), Text(82) + c.message + "\r\n");
  }
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(AppendValueTest, AppendsWhatFormatValueGivesAndLeavesTheRestAlone) {
  const Variant values[] = {
      Variant::I2(-5),        Variant::I4(2147483647), Variant::R4(-0.0f),
      Variant::R4(1.5f),      Variant::R8(1e-7),       Variant::Bstr("a\tb\tc"),
      Variant::Bstr("\t"),    Variant::Bstr(""),       Variant::Bool(true),
      Variant::UI1('\t'),     Variant::UI1(0),         Variant::UI1('z'),
      Variant(),              hmi::MakeStringArray({"x"}),
  };
  const float offsets[] = {0.0f, 0.5f, -2.25f};
  for (const Variant& value : values) {
    for (float offset : offsets) {
      SCOPED_TRACE(std::to_string(value.vt()) + " " + std::to_string(offset));
      std::string formatted;
      FormatValue(value, offset, &formatted);
      // A record already holding a TAB keeps it: only the value is made safe.
      std::string record = "\tName\t";
      AppendValue(value, offset, &record);
      EXPECT_EQ(record, "\tName\t" + formatted);
    }
  }
}

// Reals are written as "%g" writes them, whole numbers (written the quick
// way) and the rest alike, at every edge of the quick way.
TEST(AppendValueTest, RealsAreWrittenAsPrintfGWritesThem) {
  const double reals[] = {0.0,       -0.0,      1.0,       -1.0,     88.0,      785.5,
                          0.5,       -0.5,      1e-5,      123456.0, 999999.0,  -999999.0,
                          999999.5,  1e6,       -1e6,      1000001.0, 1e15,     -1e15,
                          1e20,      4.25e-300, 2147483648.0, -2147483649.0, 1e-320,
                          std::nan(""), HUGE_VAL, -HUGE_VAL};
  // The offset is added first (-0 + 0 is 0); -0 itself stays "-0".
  for (double real : reals) {
    for (float offset : {0.0f, -0.0f}) {
      std::string text;
      AppendValue(Variant::R8(real), offset, &text);
      EXPECT_EQ(text, StringF("%g", real + offset)) << real;
      text.clear();
      AppendValue(Variant::R4(static_cast<float>(real)), offset, &text);
      EXPECT_EQ(text, StringF("%g", static_cast<double>(static_cast<float>(real) + offset)))
          << real;
    }
  }
  // With an offset, and booleans, which are numbers too.
  for (int i = -3000; i <= 3000; ++i) {
    const double real = i * 0.25;
    std::string text;
    AppendValue(Variant::R8(real), 0.5f, &text);
    ASSERT_EQ(text, StringF("%g", real + 0.5f)) << real;
  }
  std::string text;
  AppendValue(Variant::Bool(true), 0.25f, &text);
  EXPECT_EQ(text, "-0.75");
}

// Every byte value: the ten that would break a name of the page become
// "_", every other one stays.
TEST(NameTextTest, OnlyTheUnsafeCharactersBecomeUnderscores) {
  const std::string unsafe(" ()\"'\t\r\n\0#", 10);
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const std::string name = std::string("a") + c + "b";
    const bool replaced = unsafe.find(c) != std::string::npos;
    EXPECT_EQ(NameText(name), replaced ? "a_b" : name) << byte;
  }
}

// The properties converted to pixels or whole degrees, told apart by name
// alone (whole, case and all).
TEST(SpecialKindOfTest, OnlyThePositionSizeAndAngleNames) {
  const int none = 0, horizontal = 1, vertical = 2, angle = 3;
  const struct {
    const char* name;
    int kind;
  } cases[] = {
      {"Width", horizontal},         {"HorizontalPosition", horizontal},
      {"StartX", horizontal},        {"EndX", horizontal},
      {"Height", vertical},          {"VerticalPosition", vertical},
      {"StartY", vertical},          {"EndY", vertical},
      {"RotationAngle", angle},      {"width", none},
      {"WIDTH", none},               {"Width ", none},
      {" Width", none},              {"Widt", none},
      {"EndZ", none},                {"EndXY", none},
      {"StartZ", none},              {"Heigth", none},
      {"VerticalPositio", none},     {"HorizontalPositionX", none},
      {"RotationAngles", none},      {"LineWidth", none},
      {"", none},                    {"Caption", none},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PictureReader::SpecialKindOf(c.name), c.kind) << c.name;
    EXPECT_EQ(PictureReader::SpecialKindOf(std::string(c.name)), c.kind) << c.name;
  }
}

TEST_F(ReaderTest, NameListsAreReadPerArrayAndNeverMixed) {
  LoadObjects("[]");
  const Variant first = hmi::MakeStringArray({"Name", "Width", "Odd\tName"});
  const Variant second = hmi::MakeStringArray({"Height", "FullyQualifiedName", "Label"});
  OddNames a(first), b(second), c(first);
  // The fake answers 1 for every value and names no object: pixels of 1
  // (the picture's scale is 1), names as the page writes them.
  const std::string record_a = "\tName\t1\tWidth\t1\tOdd Name\t1\t";
  const std::string record_b = "\tHeight\t1\tFullyQualifiedName\t1\tLabel\t1\t";
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::string record;
    EXPECT_EQ(reader.ReadProperties(&a, &record), hmi::S_OK);
    EXPECT_EQ(record, record_a);
    EXPECT_EQ(reader.ReadProperties(&b, &record), hmi::S_OK);
    EXPECT_EQ(record, record_b);
    EXPECT_EQ(reader.ReadProperties(&c, &record), hmi::S_OK) << "another object, same array";
    EXPECT_EQ(record, record_a);
  }
  // A list that cannot be read is reported every time it is met.
  auto bad = std::make_shared<hmi::SafeArray>(
      hmi::VT_BSTR, 0, std::vector<Variant>{Variant::Bstr("A"), Variant::I4(2)});
  OddNames broken((Variant::Array(bad)));
  for (int round = 0; round < 2; ++round) {
    const std::string before = Log();
    std::string record;
    reader.ReadProperties(&broken, &record);
    EXPECT_EQ(record, "\t");
    EXPECT_NE(Log().size(), before.size()) << "reported again";
  }
  // Many different lists: the reader keeps only some, and reads each right.
  std::vector<Variant> lists;
  for (int i = 0; i < 600; ++i) lists.push_back(hmi::MakeStringArray({"P" + std::to_string(i)}));
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < lists.size(); i += 3) {
      OddNames object(lists[i]);
      std::string record;
      reader.ReadProperties(&object, &record);
      ASSERT_EQ(record, "\tP" + std::to_string(i) + "\t1\t") << i;
    }
  }
}

}  // namespace
}  // namespace quillon
