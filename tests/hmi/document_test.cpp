// The stand-in document: defaults, property lists and values, full names,
// parents, connections, lookups by name and what each kind of object answers.
#include <gtest/gtest.h>

#include <map>

#include "hmi/document.h"
#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

// One object per kind of relation: a shape with animations and data items,
// nested groups (one with its own full name), a chart with pens, a variable.
constexpr char kPlant[] = R"({
  "name": "Plant",
  "objects": [
    {"class": "Rect", "name": "Rect1",
     "properties": {"HorizontalPosition": 10, "VerticalPosition": 20, "Width": 100.0,
                    "Height": 40.0, "ForegroundColor": 255},
     "connections": [
       {"property": "ForegroundColor", "source": "DS.N.T.F_CV",
        "objects": [{"class": "Lookup", "name": "Lookup1", "properties": {"Source": "DS.N.T.F_CV"}}]},
       {"property": "Width", "source": "Fix.N.T.F_CV", "fullSource": "Fix.NODE1.T.F_CV",
        "objects": [{"class": "DataItem", "name": "Item1"}, {"class": "DataItem", "name": "Item2"}]}]},
    {"class": "Group", "name": "Group1", "objects": [
       {"class": "Oval", "name": "Oval1"},
       {"class": "Group", "name": "Inner", "fullName": "Plant.Custom",
        "objects": [{"class": "Line", "name": "Line1"}]}]},
    {"class": "Chart", "name": "Chart1", "valueGridColor": 1, "timeGridColor": 2,
     "pens": [{"class": "Pen", "name": "PenA",
               "properties": {"PenLineColor": 255, "PenLineWidth": 2, "HiLimit": 100, "LoLimit": -5.5}},
              {"class": "Pen", "name": "PenB"}]},
    {"class": "Variable", "name": "Var1"}
  ]})";

// A document holding one object with the given JSON form.
std::string WithObject(const std::string& object) {
  return R"({"name": "Pic", "objects": [)" + object + "]}";
}

TEST(DocumentTest, PictureDefaults) {
  ComPtr<Document> document = LoadOk("{}", "/pictures/Plant.Area.grf");
  ComPtr<IHmiPicture> picture = document->Picture();
  std::string name;
  double width = 0, height = 0;
  int32_t color = 0;
  ASSERT_EQ(picture->Name(&name), S_OK);
  ASSERT_EQ(picture->Width(&width), S_OK);
  ASSERT_EQ(picture->Height(&height), S_OK);
  ASSERT_EQ(picture->BackgroundColor(&color), S_OK);
  EXPECT_EQ(name, "Plant.Area");  // only the last extension is cut
  EXPECT_EQ(width, 100.0);
  EXPECT_EQ(height, 75.0);
  EXPECT_EQ(color, 16777215);
  ComPtr<IDispatch> objects;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(picture->ContainedObjects(&objects), S_OK);
  ASSERT_EQ(objects.As(&collection), S_OK);
  int32_t count = -1;
  ASSERT_EQ(collection->Count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST(DocumentTest, LogicalToPixelRoundsHalvesAwayFromZero) {
  ComPtr<Document> document = LoadOk(R"({"pixelsPerUnit": [2.0, 0.5], "width": 8.5})");
  struct Case {
    double x, y;
    int32_t px, py;
  };
  const Case cases[] = {{1.25, 3.0, 3, 2}, {-1.25, -3.0, -3, -2}, {0.2, 0.9, 0, 0}, {0, 0, 0, 0}};
  for (const Case& c : cases) {
    int32_t px = 99, py = 99;
    ASSERT_EQ(document->LogicalToPixel(c.x, c.y, &px, &py), S_OK);
    EXPECT_EQ(px, c.px) << c.x;
    EXPECT_EQ(py, c.py) << c.y;
  }
  int32_t px = 0, py = 0;
  EXPECT_EQ(document->LogicalToPixel(3e9, 0, &px, &py), DISP_E_OVERFLOW);
}

TEST(DocumentTest, PropertyListOrder) {
  struct Case {
    const char* object;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {R"({"class": "Rect", "name": "X"})", {"Name", "ClassName", "FullyQualifiedName"}},
      {R"({"class": "Rect", "name": "X", "properties": {"Width": 1, "Height": 2}})",
       {"Name", "ClassName", "FullyQualifiedName", "Width", "Height"}},
      {R"({"class": "Rect", "name": "X", "properties": {"Width": 1, "ClassName": "Y", "Height": 2}})",
       {"Name", "FullyQualifiedName", "Width", "ClassName", "Height"}},
      {R"({"class": "Rect", "name": "X", "properties": {"FullyQualifiedName": "F", "Name": "N"}})",
       {"ClassName", "FullyQualifiedName", "Name"}},
      {R"({"class": "Bitmap", "name": "X", "properties": {"Visible": true}})",
       {"Name", "ClassName", "FullyQualifiedName", "Visible", "CurrentImage",
        "SecondaryImageDisplayed"}},
      {R"({"class": "Bitmap", "name": "X",
           "properties": {"SecondaryImageDisplayed": {"i2": -1}, "Width": 5}})",
       {"Name", "ClassName", "FullyQualifiedName", "SecondaryImageDisplayed", "Width",
        "CurrentImage"}},
  };
  for (const Case& c : cases) {
    ComPtr<Document> document = LoadOk(WithObject(c.object));
    ComPtr<IHmiObject> object = Find(document, "Pic.X");
    ASSERT_TRUE(object);
    EXPECT_EQ(PropertyNamesOf(object), c.names) << c.object;
  }
}

TEST(DocumentTest, ListedKeysKeepTheirOwnValue) {
  ComPtr<Document> document =
      LoadOk(WithObject(R"({"class": "Rect", "name": "R", "properties": {"ClassName": "X"}})"));
  ComPtr<IHmiObject> object = Find(document, "R");
  Variant value;
  ASSERT_EQ(object->PropertyValue("ClassName", &value), S_OK);
  EXPECT_EQ(Describe(value), "BSTR:X");
  ASSERT_EQ(object->PropertyValue("Name", &value), S_OK);
  EXPECT_EQ(Describe(value), "BSTR:R");
  ASSERT_EQ(object->PropertyValue("FullyQualifiedName", &value), S_OK);
  EXPECT_EQ(Describe(value), "BSTR:Pic.R");
  std::string class_name;
  ASSERT_EQ(object->ClassName(&class_name), S_OK);
  EXPECT_EQ(class_name, "Rect");
  // Only the object's own settable state changes; fixed keys and unknown
  // properties do not.
  EXPECT_EQ(object->SetPropertyValue("Name", Variant::Bstr("Other")), E_ACCESSDENIED);
  EXPECT_EQ(object->SetPropertyValue("Missing", Variant::I4(1)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object->PropertyValue("Missing", &value), DISP_E_MEMBERNOTFOUND);
}

// A property is found by its name whatever order the names are asked in:
// the listed order (the quick way), backwards, repeated, skipping some,
// names of no property and defaults in between.
TEST(DocumentTest, PropertiesAreFoundInAnyOrder) {
  ComPtr<Document> document = LoadOk(WithObject(
      R"({"class": "Rect", "name": "R", "properties": {"A": 1, "B": "two", "C": 3.5,
          "Width": 4, "AB": 5, "Name": "Own"}})"));
  ComPtr<IHmiObject> object = Find(document, "Pic.R");
  ASSERT_TRUE(object);
  const std::map<std::string, std::string> expected = {
      {"ClassName", "BSTR:Rect"}, {"FullyQualifiedName", "BSTR:Pic.R"},
      {"A", "I4:1"},              {"B", "BSTR:two"},
      {"C", "R8:3.5"},            {"Width", "I4:4"},
      {"AB", "I4:5"},             {"Name", "BSTR:Own"},
      {"UniformScale", "BOOL:0"}, {"EdgeStyle", "I4:0"},
      {"Missing", ""},            {"a", ""},
      {"", ""},                   {"two", ""},
  };
  const std::vector<std::vector<std::string>> orders = {
      {"ClassName", "FullyQualifiedName", "A", "B", "C", "Width", "AB", "Name"},
      {"Name", "AB", "Width", "C", "B", "A", "FullyQualifiedName", "ClassName"},
      {"A", "A", "B", "B", "Name", "Name", "ClassName"},
      {"A", "C", "AB", "B", "Width", "Name", "A"},
      {"A", "Missing", "B", "UniformScale", "C", "a", "Width", "", "AB", "two", "Name"},
      {"Name", "ClassName", "EdgeStyle", "FullyQualifiedName", "A"},
  };
  for (const std::vector<std::string>& order : orders) {
    for (const std::string& name : order) {
      Variant value;
      const HRESULT hr = object->PropertyValue(name, &value);
      const std::string& want = expected.at(name);
      if (want.empty()) {
        EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND) << name;
      } else {
        ASSERT_EQ(hr, S_OK) << name;
        EXPECT_EQ(Describe(value), want) << name;
      }
    }
  }
}

TEST(DocumentTest, JsonValuesBecomeVariants) {
  struct Case {
    const char* json;
    const char* expected;
  };
  const Case cases[] = {
      {"3", "I4:3"},
      {"-2.5", "R8:-2.5"},
      {"1e2", "R8:100"},
      {"\"txt\"", "BSTR:txt"},
      {"true", "BOOL:-1"},
      {"false", "BOOL:0"},
      {"null", "EMPTY"},
      {R"({"i2": -7})", "I2:-7"},
      {R"({"i4": 9})", "I4:9"},
      {R"({"ui1": 200})", "UI1:200"},
      {R"({"r4": 0.5})", "R4:0.5"},
      {R"({"r8": 2})", "R8:2"},
      {R"({"bool": true})", "BOOL:-1"},
      {R"({"str": "x"})", "BSTR:x"},
      {"\"Caf\\u00e9 \\u20ac\"", "BSTR:Caf\xE9 ?"},
  };
  for (const Case& c : cases) {
    ComPtr<Document> document = LoadOk(WithObject(
        std::string(R"({"class": "Rect", "name": "R", "properties": {"P": )") + c.json + "}}"));
    ComPtr<IHmiObject> object = Find(document, "R");
    ASSERT_TRUE(object) << c.json;
    Variant value;
    ASSERT_EQ(object->PropertyValue("P", &value), S_OK) << c.json;
    EXPECT_EQ(Describe(value), c.expected) << c.json;
  }
}

TEST(DocumentTest, TypedGettersReadNamedProperties) {
  struct Case {
    const char* json;  // the value of FontSize and VerticalPosition, or null to leave them out
    HRESULT int_result;
    int32_t int_value;
    HRESULT real_result;
    double real_value;
  };
  const Case cases[] = {
      {"12", S_OK, 12, S_OK, 12.0},
      {"12.5", S_OK, 13, S_OK, 12.5},
      {"-2.5", S_OK, -3, S_OK, -2.5},
      {"\"14\"", S_OK, 14, S_OK, 14.0},
      {"\" 9.4 \"", S_OK, 9, S_OK, 9.4},
      {R"({"r4": 1.5})", S_OK, 2, S_OK, 1.5},
      {"true", DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH, 0},
      {"\"big\"", DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH, 0},
      {"null", DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH, 0},
      {"3e10", DISP_E_OVERFLOW, 0, S_OK, 3e10},
      {nullptr, DISP_E_MEMBERNOTFOUND, 0, DISP_E_MEMBERNOTFOUND, 0},
  };
  for (const Case& c : cases) {
    std::string properties = c.json ? std::string(R"({"FontSize": )") + c.json +
                                          R"(, "VerticalPosition": )" + c.json + "}"
                                    : "{}";
    ComPtr<Document> document =
        LoadOk(WithObject(R"({"class": "Text", "name": "T", "properties": )" + properties + "}"));
    ComPtr<IHmiText> text = FindAs<IHmiText>(document, "T");
    ASSERT_TRUE(text);
    int32_t size = -1;
    double y = -1;
    const char* label = c.json ? c.json : "(missing)";
    EXPECT_EQ(text->FontSize(&size), c.int_result) << label;
    EXPECT_EQ(text->VerticalPosition(&y), c.real_result) << label;
    if (c.int_result == S_OK) {
      EXPECT_EQ(size, c.int_value) << label;
    }
    if (c.real_result == S_OK) {
      EXPECT_DOUBLE_EQ(y, c.real_value) << label;
    }
  }
}

TEST(DocumentTest, ShapesAnswerUniformScaleAndEdgeStyleByDefault) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Rect", "name": "R"},
      {"class": "Line", "name": "L", "properties": {"EdgeStyle": 5, "UniformScale": true}},
      {"class": "Variable", "name": "V",
       "connections": [{"property": "CurrentValue", "objects": [{"class": "Lookup", "name": "K"}]}]},
      {"class": "Chart", "name": "C", "pens": [{"class": "Pen", "name": "P"}]}]})");
  struct Case {
    const char* object;
    const char* property;
    const char* expected;  // null: the call fails
  };
  const Case cases[] = {
      {"R", "UniformScale", "BOOL:0"},  {"R", "EdgeStyle", "I4:0"},
      {"L", "UniformScale", "BOOL:-1"}, {"L", "EdgeStyle", "I4:5"},
      {"V", "UniformScale", nullptr},   {"K", "EdgeStyle", nullptr},
      {"P", "UniformScale", nullptr},
  };
  for (const Case& c : cases) {
    Variant value;
    HRESULT hr = Find(document, c.object)->PropertyValue(c.property, &value);
    if (c.expected) {
      ASSERT_EQ(hr, S_OK) << c.object << " " << c.property;
      EXPECT_EQ(Describe(value), c.expected) << c.object << " " << c.property;
    } else {
      EXPECT_TRUE(Failed(hr)) << c.object << " " << c.property;
    }
  }
  // The defaults do not enter the property list.
  EXPECT_EQ(PropertyNamesOf(Find(document, "R")),
            (std::vector<std::string>{"Name", "ClassName", "FullyQualifiedName"}));
}

TEST(DocumentTest, FullNamesCategoriesAndParents) {
  ComPtr<Document> document = LoadOk(kPlant);
  struct Case {
    const char* name;
    const char* full_name;
    const char* category;
    const char* parent;
  };
  const Case cases[] = {
      {"Rect1", "Plant.Rect1", "Shape", "Plant"},
      {"Lookup1", "Plant.Rect1.Lookup1", "Animation", "Rect1"},
      {"Item2", "Plant.Rect1.Item2", "Shape", "Rect1"},
      {"Group1", "Plant.Group1", "Shape", "Plant"},
      {"Oval1", "Plant.Group1.Oval1", "Shape", "Group1"},
      {"Inner", "Plant.Custom", "Shape", "Group1"},
      {"Line1", "Plant.Custom.Line1", "Shape", "Inner"},
      {"PenB", "Plant.Chart1.PenB", "Shape", "Chart1"},
      {"Var1", "Plant.Var1", "Support", "Plant"},
  };
  for (const Case& c : cases) {
    ComPtr<IHmiObject> object = Find(document, c.name);
    ASSERT_TRUE(object) << c.name;
    std::string full_name, category, parent_name;
    ASSERT_EQ(object->FullyQualifiedName(&full_name), S_OK);
    ASSERT_EQ(object->Category(&category), S_OK);
    ComPtr<IHmiObject> parent;
    ASSERT_EQ(object->Parent(&parent), S_OK) << c.name;
    ASSERT_EQ(parent->Name(&parent_name), S_OK);
    EXPECT_EQ(full_name, c.full_name) << c.name;
    EXPECT_EQ(category, c.category) << c.name;
    EXPECT_EQ(parent_name, c.parent) << c.name;
  }
  ComPtr<IHmiObject> parent;
  EXPECT_TRUE(Failed(document->Object()->Parent(&parent)));
}

TEST(DocumentTest, ConnectionsOfAnObject) {
  ComPtr<Document> document = LoadOk(kPlant);
  ComPtr<IHmiObject> rect = Find(document, "Rect1");
  int32_t count = 0;
  ASSERT_EQ(rect->ConnectionCount(&count), S_OK);
  ASSERT_EQ(count, 2);

  HmiConnection first, second;
  ASSERT_EQ(rect->ConnectionInfo(1, &first), S_OK);
  ASSERT_EQ(rect->ConnectionInfo(2, &second), S_OK);
  EXPECT_EQ(first.property, "ForegroundColor");
  EXPECT_EQ(first.source, "DS.N.T.F_CV");
  EXPECT_EQ(first.full_source, "DS.N.T.F_CV");  // defaults to the source
  EXPECT_EQ(second.full_source, "Fix.NODE1.T.F_CV");
  ASSERT_EQ(second.objects.vt(), VT_ARRAY | VT_DISPATCH);
  std::vector<std::string> classes;
  for (int32_t i = 0; i < static_cast<int32_t>(second.objects.array()->size()); ++i) {
    Variant element;
    ASSERT_EQ(second.objects.array()->GetElement(i, &element), S_OK);
    ComPtr<IHmiObject> source;
    ASSERT_EQ(element.dispatch().As(&source), S_OK);
    std::string name;
    source->Name(&name);
    classes.push_back(name);
  }
  EXPECT_EQ(classes, (std::vector<std::string>{"Item1", "Item2"}));
  HmiConnection none;
  EXPECT_EQ(rect->ConnectionInfo(0, &none), DISP_E_BADINDEX);
  EXPECT_EQ(rect->ConnectionInfo(3, &none), DISP_E_BADINDEX);

  int16_t connected = 1;
  int32_t index = -1, sources = -1;
  ASSERT_EQ(rect->IsConnected("Width", &connected, &index, &sources), S_OK);
  EXPECT_EQ(connected, VARIANT_TRUE);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(sources, 2);
  ASSERT_EQ(rect->IsConnected("Height", &connected, &index, &sources), S_OK);
  EXPECT_EQ(connected, VARIANT_FALSE);
  ASSERT_EQ(rect->IsConnected("width", &connected, &index, &sources), S_OK);
  EXPECT_EQ(connected, VARIANT_FALSE);  // property names are exact
}

TEST(DocumentTest, ObjectByNameSearchesTheWholeTreeWithoutCase) {
  ComPtr<Document> document = LoadOk(kPlant);
  struct Case {
    const char* asked;
    const char* found;  // null: not found
  };
  const Case cases[] = {
      {"rect1", "Rect1"},
      {"PLANT.GROUP1.OVAL1", "Oval1"},
      {"Plant.Custom.Line1", "Line1"},
      {"plant.custom", "Inner"},
      {"item2", "Item2"},
      {"Plant.Rect1.Lookup1", "Lookup1"},
      {"Plant.Chart1.PenA", "PenA"},
      {"Plant.Group1.Inner", nullptr},
      {"Nothing", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    ComPtr<IHmiObject> object;
    HRESULT hr = document->Object()->ObjectByName(c.asked, &object);
    if (!c.found) {
      EXPECT_TRUE(Failed(hr)) << c.asked;
      EXPECT_FALSE(object) << c.asked;
      continue;
    }
    ASSERT_EQ(hr, S_OK) << c.asked;
    std::string name;
    object->Name(&name);
    EXPECT_EQ(name, c.found) << c.asked;
  }
  // Below a group only its own members are searched.
  ComPtr<IHmiObject> found;
  EXPECT_EQ(Find(document, "Group1")->ObjectByName("Line1", &found), S_OK);
  EXPECT_TRUE(Failed(Find(document, "Group1")->ObjectByName("Rect1", &found)));
}

TEST(DocumentTest, TextsArriveInLatin1) {
  ComPtr<Document> document = LoadOk(
      R"({"name": "Anlage", "objects": [{"class": "Text", "name": "P\u00fcmpe\u20ac",
          "properties": {"H\u00f6he": "Gr\u00fc\u00dfe \ud83d\ude00"}}]})");
  ComPtr<IHmiObject> object = Find(document, "anlage.P\xDCMPE?");
  ASSERT_TRUE(object);
  std::string name;
  object->Name(&name);
  EXPECT_EQ(name, "P\xFCmpe?");
  EXPECT_EQ(PropertyNamesOf(object).back(), "H\xF6he");
  Variant value;
  ASSERT_EQ(object->PropertyValue("H\xF6he", &value), S_OK);
  EXPECT_EQ(value.bstr(),
            "Gr\xFC\xDF"
            "e ?");
}

TEST(DocumentTest, EachKindAnswersItsInterfaces) {
  const InterfaceId kChecked[] = {
      InterfaceId::kHmiGeometry,
      InterfaceId::kHmiText,
      InterfaceId::kHmiDataLinkSource,
      InterfaceId::kHmiPolygon,
      InterfaceId::kHmiPolyline,
      InterfaceId::kHmiArc,
      InterfaceId::kHmiPie,
      InterfaceId::kHmiBitmap,
      InterfaceId::kHmiChart,
      InterfaceId::kHmiPen,
      InterfaceId::kHmiOleControl,
      InterfaceId::kHmiLookup,
      InterfaceId::kHmiLinear,
      InterfaceId::kHmiFormat,
      InterfaceId::kHmiGlobalSysInfo,
      InterfaceId::kHmiPicture,
      InterfaceId::kHmiObjectCollection,
  };
  struct Case {
    const char* name;
    std::vector<InterfaceId> offered;
  };
  using I = InterfaceId;
  const Case cases[] = {
      {"Rect", {I::kHmiGeometry}},
      {"Text", {I::kHmiGeometry, I::kHmiText}},
      {"DataLink", {I::kHmiGeometry, I::kHmiText}},
      {"Source", {I::kHmiGeometry, I::kHmiDataLinkSource}},
      {"Polygon", {I::kHmiGeometry, I::kHmiPolygon}},
      {"PolyLine", {I::kHmiGeometry, I::kHmiPolyline}},
      {"Arc", {I::kHmiGeometry, I::kHmiArc}},
      {"Pie", {I::kHmiGeometry, I::kHmiPie}},
      {"Bitmap", {I::kHmiGeometry, I::kHmiBitmap}},
      {"Chart", {I::kHmiGeometry, I::kHmiChart}},
      {"Pen", {I::kHmiPen}},
      {"OleObject", {I::kHmiGeometry, I::kHmiOleControl}},
      {"Lookup", {I::kHmiLookup}},
      {"Linear", {I::kHmiLinear}},
      {"Format", {I::kHmiFormat}},
      {"GlobalSysInfo", {I::kHmiGlobalSysInfo}},
      {"Variable", {}},
  };
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Rect", "name": "Rect"}, {"class": "Text", "name": "Text"},
      {"class": "DataLink", "name": "DataLink", "objects": [{"class": "DataItem", "name": "Source"}]},
      {"class": "Polygon", "name": "Polygon"}, {"class": "PolyLine", "name": "PolyLine"},
      {"class": "Arc", "name": "Arc"}, {"class": "Pie", "name": "Pie"},
      {"class": "Bitmap", "name": "Bitmap"},
      {"class": "Chart", "name": "Chart", "pens": [{"class": "Pen", "name": "Pen"}]},
      {"class": "OleObject", "name": "OleObject"},
      {"class": "Variable", "name": "Variable", "connections": [{"property": "CurrentValue",
        "objects": [{"class": "Lookup", "name": "Lookup"}, {"class": "Linear", "name": "Linear"},
                    {"class": "Format", "name": "Format"},
                    {"class": "GlobalSysInfo", "name": "GlobalSysInfo"}]}]}]})");
  for (const Case& c : cases) {
    ComPtr<IHmiObject> object = Find(document, c.name);
    ASSERT_TRUE(object) << c.name;
    for (InterfaceId iid : kChecked) {
      void* raw = nullptr;
      HRESULT hr = object->QueryInterface(iid, &raw);
      bool expected = std::find(c.offered.begin(), c.offered.end(), iid) != c.offered.end();
      EXPECT_EQ(Succeeded(hr), expected) << c.name << " interface " << static_cast<int>(iid);
      if (raw) static_cast<IUnknown*>(static_cast<IDispatch*>(raw))->Release();
    }
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(object.As(&dispatch), S_OK) << c.name;
  }
}

TEST(DocumentTest, GeometryDefaultsToTheCentreOfTheBox) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Rect", "name": "Box", "properties":
        {"HorizontalPosition": 10, "VerticalPosition": 20, "Width": 100.0, "Height": 40, "EdgeWidth": 2.5}},
      {"class": "Rect", "name": "TextBox", "properties":
        {"HorizontalPosition": 10, "VerticalPosition": 20, "Width": "100", "Height": 40}},
      {"class": "Oval", "name": "Given", "rotationPoint": [1, 2], "centerPoint": [3.5, 4],
       "angleUnit": 1}]})");
  struct Case {
    const char* name;
    double rotation[2];
    double centre[2];
    int32_t unit;
  };
  const Case cases[] = {
      {"Box", {60, 40}, {60, 40}, 0},
      {"TextBox", {0, 0}, {0, 0}, 0},
      {"Given", {1, 2}, {3.5, 4}, 1},
  };
  for (const Case& c : cases) {
    ComPtr<IHmiGeometry> geometry = FindAs<IHmiGeometry>(document, c.name);
    ASSERT_TRUE(geometry);
    ComPtr<IHmiPoint> rotation, centre;
    ASSERT_EQ(geometry->RotationPoint(&rotation), S_OK);
    ASSERT_EQ(geometry->CenterPoint(&centre), S_OK);
    double values[4];
    ASSERT_EQ(rotation->X(&values[0]), S_OK);
    ASSERT_EQ(rotation->Y(&values[1]), S_OK);
    ASSERT_EQ(centre->X(&values[2]), S_OK);
    ASSERT_EQ(centre->Y(&values[3]), S_OK);
    EXPECT_EQ(values[0], c.rotation[0]) << c.name;
    EXPECT_EQ(values[1], c.rotation[1]) << c.name;
    EXPECT_EQ(values[2], c.centre[0]) << c.name;
    EXPECT_EQ(values[3], c.centre[1]) << c.name;
    int32_t unit = -1;
    ASSERT_EQ(geometry->AngleUnit(&unit), S_OK);
    EXPECT_EQ(unit, c.unit) << c.name;
  }
  double edge = 0;
  ASSERT_EQ(FindAs<IHmiGeometry>(document, "Box")->EdgeWidth(&edge), S_OK);
  EXPECT_EQ(edge, 2.5);
  EXPECT_EQ(FindAs<IHmiGeometry>(document, "Given")->EdgeWidth(&edge), DISP_E_MEMBERNOTFOUND);
}

TEST(DocumentTest, PolygonPointsAndArcPoints) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Polygon", "name": "Poly", "points": [[0, 0], [10.5, -3]]},
      {"class": "Arc", "name": "Arc", "properties": {"StartX": 0, "StartY": -10, "CenterX": 10,
        "CenterY": 0, "EndX": 0, "EndY": "10"}}]})");
  ComPtr<IHmiPolygon> polygon = FindAs<IHmiPolygon>(document, "Poly");
  int32_t count = 0;
  ASSERT_EQ(polygon->NumberOfPoints(&count), S_OK);
  EXPECT_EQ(count, 2);
  ComPtr<IHmiPoint> point;
  ASSERT_EQ(polygon->Point(1, &point), S_OK);
  double x = 0, y = 0;
  point->X(&x);
  point->Y(&y);
  EXPECT_EQ(x, 10.5);
  EXPECT_EQ(y, -3.0);
  EXPECT_EQ(polygon->Point(2, &point), DISP_E_BADINDEX);
  EXPECT_EQ(polygon->Point(-1, &point), DISP_E_BADINDEX);

  ComPtr<IHmiArc> arc = FindAs<IHmiArc>(document, "Arc");
  double values[6];
  ASSERT_EQ(arc->StartX(&values[0]), S_OK);
  ASSERT_EQ(arc->StartY(&values[1]), S_OK);
  ASSERT_EQ(arc->CenterX(&values[2]), S_OK);
  ASSERT_EQ(arc->CenterY(&values[3]), S_OK);
  ASSERT_EQ(arc->EndX(&values[4]), S_OK);
  ASSERT_EQ(arc->EndY(&values[5]), S_OK);
  EXPECT_EQ(std::vector<double>(values, values + 6), (std::vector<double>{0, -10, 10, 0, 0, 10}));
}

TEST(DocumentTest, BitmapImageStateAndSelection) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Bitmap", "name": "Bmp", "images": [
        {"primary": "img/pump_on.png", "secondary": {"rgb": 255, "width": 4, "height": 3}},
        {"primary": "/abs/off.png"}]},
      {"class": "Bitmap", "name": "Counted", "properties": {"ImageCount": 5}}]})",
                                     "/pictures/Plant.grf");
  ComPtr<IHmiBitmap> bitmap = FindAs<IHmiBitmap>(document, "Bmp");
  Node* node = document->root()->FindByName("Bmp");
  int32_t count = 0;
  ASSERT_EQ(bitmap->ImageCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  int16_t current = 0, secondary = 1;
  ASSERT_EQ(bitmap->CurrentImage(&current), S_OK);
  ASSERT_EQ(bitmap->SecondaryImageDisplayed(&secondary), S_OK);
  EXPECT_EQ(current, 1);
  EXPECT_EQ(secondary, 0);
  ASSERT_NE(node->ShownImage(), nullptr);
  EXPECT_EQ(node->ShownImage()->path, "/pictures/img/pump_on.png");

  ASSERT_EQ(bitmap->SetSecondaryImageDisplayed(-1), S_OK);
  ASSERT_EQ(bitmap->SecondaryImageDisplayed(&secondary), S_OK);
  EXPECT_EQ(secondary, -1);
  ASSERT_EQ(node->ShownImage()->kind, Image::Kind::kPlain);
  EXPECT_EQ(node->ShownImage()->width, 4);
  ASSERT_EQ(bitmap->SetCurrentImage(2), S_OK);
  EXPECT_EQ(node->ShownImage(), nullptr);  // image 2 has no secondary state
  ASSERT_EQ(bitmap->SetSecondaryImageDisplayed(0), S_OK);
  EXPECT_EQ(node->ShownImage()->path, "/abs/off.png");
  Variant value;
  ASSERT_EQ(Find(document, "Bmp")->PropertyValue("CurrentImage", &value), S_OK);
  EXPECT_EQ(Describe(value), "I2:2");

  ASSERT_EQ(FindAs<IHmiBitmap>(document, "Counted")->ImageCount(&count), S_OK);
  EXPECT_EQ(count, 5);

  // Copying needs a selected bitmap; an image file that cannot be read
  // leaves the clipboard without an image.
  Clipboard clipboard;
  clipboard.SetImage(PlainImage(0, 1, 1));
  document->set_clipboard(&clipboard);
  ComPtr<IHmiPictureWindow> window;
  ASSERT_EQ(document->Picture().As(&window), S_OK);
  EXPECT_EQ(window->CopyToClipboard(), E_FAIL);
  EXPECT_TRUE(clipboard.HasImage());
  ASSERT_EQ(bitmap->SetSelected(-1), S_OK);
  EXPECT_EQ(document->selected(), node);
  EXPECT_EQ(window->CopyToClipboard(), S_OK);
  EXPECT_FALSE(clipboard.HasImage());
  ASSERT_EQ(bitmap->SetSelected(0), S_OK);
  EXPECT_EQ(document->selected(), nullptr);
}

TEST(DocumentTest, ChartPens) {
  ComPtr<Document> document = LoadOk(kPlant);
  ComPtr<IHmiChart> chart = FindAs<IHmiChart>(document, "Chart1");
  int32_t value_grid = 0, time_grid = 0;
  ASSERT_EQ(chart->ValueGridColor(&value_grid), S_OK);
  ASSERT_EQ(chart->TimeGridColor(&time_grid), S_OK);
  EXPECT_EQ(value_grid, 1);
  EXPECT_EQ(time_grid, 2);
  ComPtr<IDispatch> pens;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(chart->Pens(&pens), S_OK);
  ASSERT_EQ(pens.As(&collection), S_OK);
  int32_t count = 0;
  ASSERT_EQ(collection->Count(&count), S_OK);
  EXPECT_EQ(count, 2);

  ComPtr<IDispatch> item;
  ComPtr<IHmiPen> pen;
  ASSERT_EQ(collection->Item(Variant::I4(2), &item), S_OK);
  ASSERT_EQ(item.As(&pen), S_OK);
  int32_t index = 0;
  std::string full_name;
  ASSERT_EQ(pen->PenIndex(&index), S_OK);
  ASSERT_EQ(pen->FullName(&full_name), S_OK);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(full_name, "Plant.Chart1.PenB");
  int32_t color = 0;
  EXPECT_EQ(pen->PenLineColor(&color), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(collection->Item(Variant::I4(3), &item), DISP_E_BADINDEX);
  EXPECT_EQ(collection->Item(Variant::I4(0), &item), DISP_E_BADINDEX);

  ComPtr<IHmiPen> first = FindAs<IHmiPen>(document, "PenA");
  int32_t width = 0;
  double hi = 0, lo = 0;
  ASSERT_EQ(first->PenLineColor(&color), S_OK);
  ASSERT_EQ(first->PenLineWidth(&width), S_OK);
  ASSERT_EQ(first->HiLimit(&hi), S_OK);
  ASSERT_EQ(first->LoLimit(&lo), S_OK);
  EXPECT_EQ(color, 255);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(hi, 100.0);
  EXPECT_EQ(lo, -5.5);

  // A chart whose document does not give the grid colours fails to answer them.
  ComPtr<Document> bare = LoadOk(WithObject(R"({"class": "Chart", "name": "C"})"));
  EXPECT_TRUE(Failed(FindAs<IHmiChart>(bare, "C")->ValueGridColor(&value_grid)));
}

TEST(DocumentTest, LateBoundMethods) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "OleObject", "name": "Alarms", "progId": "HmiAlarmSummary.Control.1",
       "columnHeadings": "Time;Tag;"},
      {"class": "OleObject", "name": "Button", "progId": "Forms.CommandButton.1"}]})");
  ComPtr<IHmiObject> alarms = Find(document, "Alarms");
  std::string prog_id;
  ASSERT_EQ(FindAs<IHmiOleControl>(document, "Alarms")->ProgID(&prog_id), S_OK);
  EXPECT_EQ(prog_id, "HmiAlarmSummary.Control.1");

  DISPID headings_id = 0;
  ASSERT_EQ(alarms->GetIDsOfNames("getcolheadings", kLocaleSystemDefault, &headings_id), S_OK);
  Variant headings;
  std::vector<Variant> args = {Variant::ByRef(VT_BSTR, &headings)};
  ASSERT_EQ(alarms->Invoke(headings_id, kLocaleSystemDefault, DISPATCH_METHOD, args, nullptr),
            S_OK);
  EXPECT_EQ(Describe(headings), "BSTR:Time;Tag;");
  EXPECT_EQ(alarms->Invoke(headings_id, kLocaleSystemDefault, DISPATCH_PROPERTYGET, args, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(alarms->Invoke(headings_id, kLocaleSystemDefault, DISPATCH_METHOD, {}, nullptr),
            DISP_E_BADPARAMCOUNT);
  Variant wrong;
  EXPECT_EQ(alarms->Invoke(headings_id, kLocaleSystemDefault, DISPATCH_METHOD,
                           {Variant::ByRef(VT_DISPATCH, &wrong)}, nullptr),
            DISP_E_TYPEMISMATCH);

  DISPID none = 0;
  EXPECT_EQ(Find(document, "Button")->GetIDsOfNames("GetColHeadings", kLocaleSystemDefault, &none),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(alarms->GetIDsOfNames("Nothing", kLocaleSystemDefault, &none), DISP_E_UNKNOWNNAME);
}

TEST(DocumentTest, ComponentDispatchStandsInForARefusedObject) {
  ComPtr<Document> document =
      LoadOk(WithObject(R"({"class": "Rect", "name": "Hidden", "refuse": ["Object"]})"));
  ComPtr<IDispatch> objects, item;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(document->ContainedObjects(&objects), S_OK);
  ASSERT_EQ(objects.As(&collection), S_OK);
  ASSERT_EQ(collection->Item(Variant::I4(1), &item), S_OK);
  ComPtr<IHmiObject> refused;
  EXPECT_EQ(item.As(&refused), E_NOINTERFACE);

  DISPID id = 0;
  ASSERT_EQ(item->GetIDsOfNames("GetQevComponentDispatch", kLocaleSystemDefault, &id), S_OK);
  Variant component;
  ASSERT_EQ(item->Invoke(id, kLocaleSystemDefault, DISPATCH_METHOD,
                         {Variant::ByRef(VT_DISPATCH, &component)}, nullptr),
            S_OK);
  ASSERT_EQ(component.vt(), VT_DISPATCH);
  ComPtr<IHmiObject> object = DispatchAs<IHmiObject>(component.dispatch());
  std::string name;
  ASSERT_EQ(object->Name(&name), S_OK);
  EXPECT_EQ(name, "Hidden");
}

TEST(DocumentTest, AnimationObjects) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Variable", "name": "V", "connections": [{"property": "CurrentValue", "objects": [
        {"class": "Lookup", "name": "Plain"},
        {"class": "Lookup", "name": "Full", "properties": {"Source": "DS.N.T.F_CV"},
         "lookup": {"levels": [{"in": 1, "out": "Red"},
                               {"in": {"r4": 2.5}, "in2": 5, "out": 255, "toggle": 0}],
                    "outputToggles": 1, "exactMatch": false, "tolerance": 0.5,
                    "sourceDataType": 4, "sharedTable": "Tables.Lookup1"}},
        {"class": "Linear", "name": "Lin", "linear": {"offset": 1, "sourceDataType": 3}},
        {"class": "Linear", "name": "LinDefault"},
        {"class": "Format", "name": "Fmt", "formatAnimation": {"sourceDataType": 8}}]}]}]})");
  struct LookupCase {
    const char* name;
    int32_t levels;
    int16_t toggles;
    int16_t exact;
    float tolerance;
    int32_t type;
    const char* shared;
  };
  const LookupCase lookups[] = {
      {"Plain", 0, 0, VARIANT_TRUE, 0.0f, 5, ""},
      {"Full", 2, 1, VARIANT_FALSE, 0.5f, 4, "Tables.Lookup1"},
  };
  for (const LookupCase& c : lookups) {
    ComPtr<IHmiLookup> lookup = FindAs<IHmiLookup>(document, c.name);
    ASSERT_TRUE(lookup);
    int32_t levels = -1, type = -1;
    int16_t toggles = -1, exact = 1;
    float tolerance = -1;
    std::string shared = "?";
    ASSERT_EQ(lookup->LevelCount(&levels), S_OK);
    ASSERT_EQ(lookup->OutputToggles(&toggles), S_OK);
    ASSERT_EQ(lookup->ExactMatch(&exact), S_OK);
    ASSERT_EQ(lookup->Tolerance(&tolerance), S_OK);
    ASSERT_EQ(lookup->SourceDataType(&type), S_OK);
    ASSERT_EQ(lookup->SharedTable(&shared), S_OK);
    EXPECT_EQ(levels, c.levels) << c.name;
    EXPECT_EQ(toggles, c.toggles) << c.name;
    EXPECT_EQ(exact, c.exact) << c.name;
    EXPECT_EQ(tolerance, c.tolerance) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(shared, c.shared) << c.name;
  }
  ComPtr<IHmiLookup> full = FindAs<IHmiLookup>(document, "Full");
  Variant in, out, in2, toggle;
  ASSERT_EQ(full->Level(1, &in, &out, &in2, &toggle), S_OK);
  EXPECT_EQ(Describe(in) + " " + Describe(out) + " " + Describe(in2) + " " + Describe(toggle),
            "I4:1 BSTR:Red EMPTY EMPTY");
  ASSERT_EQ(full->Level(2, &in, &out, &in2, &toggle), S_OK);
  EXPECT_EQ(Describe(in) + " " + Describe(out) + " " + Describe(in2) + " " + Describe(toggle),
            "R4:2.5 I4:255 I4:5 I4:0");
  EXPECT_EQ(full->Level(3, &in, &out, &in2, &toggle), DISP_E_BADINDEX);
  std::string source;
  ASSERT_EQ(full->Source(&source), S_OK);
  EXPECT_EQ(source, "DS.N.T.F_CV");

  int32_t offset = -1, type = -1;
  ASSERT_EQ(FindAs<IHmiLinear>(document, "Lin")->Offset(&offset), S_OK);
  ASSERT_EQ(FindAs<IHmiLinear>(document, "Lin")->SourceDataType(&type), S_OK);
  EXPECT_EQ(offset, 1);
  EXPECT_EQ(type, 3);
  ASSERT_EQ(FindAs<IHmiLinear>(document, "LinDefault")->Offset(&offset), S_OK);
  ASSERT_EQ(FindAs<IHmiLinear>(document, "LinDefault")->SourceDataType(&type), S_OK);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(type, 5);
  ASSERT_EQ(FindAs<IHmiFormat>(document, "Fmt")->SourceDataType(&type), S_OK);
  EXPECT_EQ(type, 8);
}

TEST(DocumentTest, DataLinkSources) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "DataLink", "name": "DL", "objects": [
        {"class": "DataItem", "name": "S1", "dataLinkSource": {"format": "%5.2f", "dataEntry": 2}},
        {"class": "DataItem", "name": "S2"}]},
      {"class": "DataItem", "name": "Loose"}]})");
  struct Case {
    const char* name;
    const char* format;
    int16_t entry;
  };
  for (const Case& c : {Case{"S1", "%5.2f", 2}, Case{"S2", "", 0}}) {
    ComPtr<IHmiDataLinkSource> source = FindAs<IHmiDataLinkSource>(document, c.name);
    ASSERT_TRUE(source);
    std::string format = "?";
    int16_t entry = -1;
    ASSERT_EQ(source->Format(&format), S_OK);
    ASSERT_EQ(source->DataEntry(&entry), S_OK);
    EXPECT_EQ(format, c.format);
    EXPECT_EQ(entry, c.entry);
  }
  ComPtr<IHmiDataLinkSource> none;
  EXPECT_EQ(Find(document, "Loose").As(&none), E_NOINTERFACE);
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
