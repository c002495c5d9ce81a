// Failure injection: refused interfaces and failing operations, on objects
// and on the document.
#include <functional>

#include <gtest/gtest.h>

#include "hmi/document.h"
#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

using Call = std::function<HRESULT(const ComPtr<IHmiObject>&)>;

template <class T>
ComPtr<T> As(const ComPtr<IHmiObject>& object) {
  ComPtr<T> typed;
  EXPECT_EQ(object.As(&typed), S_OK);
  return typed;
}

// The document holding `object` with FAIL replaced by the failure list.
std::string WithFailures(std::string object, const std::string& failures) {
  size_t at = object.find("FAIL");
  object.replace(at, 4, "\"fail\": [" + failures + "]");
  return R"({"name": "Pic", "objects": [)" + object + "]}";
}

TEST(FailureTest, ListedOperationsFail) {
  struct Case {
    const char* operation;
    const char* object;  // the object X (or the object holding X), with FAIL in it
    Call call;
  };
  constexpr char kRect[] = R"({"class": "Rect", "name": "X", "properties": {"Width": 1}, FAIL,
      "connections": [{"property": "Width", "objects": [{"class": "DataItem", "name": "D"}]}]})";
  constexpr char kPolygon[] = R"({"class": "Polygon", "name": "X", "points": [[1, 2]], FAIL})";
  constexpr char kChart[] =
      R"({"class": "Chart", "name": "X", "valueGridColor": 1, "timeGridColor": 2, FAIL})";
  constexpr char kPen[] = R"({"class": "Chart", "name": "C", "pens": [
      {"class": "Pen", "name": "X", "properties": {"PenLineColor": 1}, FAIL}]})";
  constexpr char kOle[] =
      R"({"class": "OleObject", "name": "X", "progId": "P", "columnHeadings": "A;", FAIL})";
  constexpr char kBitmap[] = R"({"class": "Bitmap", "name": "X", FAIL})";
  constexpr char kLookup[] = R"({"class": "Variable", "name": "V", "connections": [
      {"property": "CurrentValue", "objects": [
        {"class": "Lookup", "name": "X", "lookup": {"levels": [{"in": 1}]}, FAIL}]}]})";
  constexpr char kLinear[] = R"({"class": "Variable", "name": "V", "connections": [
      {"property": "CurrentValue", "objects": [{"class": "Linear", "name": "X", FAIL}]}]})";
  constexpr char kSource[] = R"({"class": "DataLink", "name": "DL", "objects": [
      {"class": "DataItem", "name": "X", "dataLinkSource": {}, FAIL}]})";

  auto invoke = [](const char* method, hmi::VARTYPE out_type) {
    return [method, out_type](const ComPtr<IHmiObject>& o) {
      DISPID id = 0;
      HRESULT hr = o->GetIDsOfNames(method, kLocaleSystemDefault, &id);
      if (Failed(hr)) return hr;
      Variant out;
      return o->Invoke(id, kLocaleSystemDefault, DISPATCH_METHOD, {Variant::ByRef(out_type, &out)},
                       nullptr);
    };
  };
  std::string s;
  int32_t n = 0;
  int16_t k = 0;
  double d = 0;
  float f = 0;
  Variant v, v2, v3, v4;
  ComPtr<IDispatch> dispatch;
  ComPtr<IHmiObject> object;
  ComPtr<IHmiPoint> point;
  HmiConnection connection;

  const Case cases[] = {
      {"Name", kRect, [&](auto& o) { return o->Name(&s); }},
      {"ClassName", kRect, [&](auto& o) { return o->ClassName(&s); }},
      {"Category", kRect, [&](auto& o) { return o->Category(&s); }},
      {"FullyQualifiedName", kRect, [&](auto& o) { return o->FullyQualifiedName(&s); }},
      {"ContainedObjects", kRect, [&](auto& o) { return o->ContainedObjects(&dispatch); }},
      {"PropertyNames", kRect, [&](auto& o) { return o->PropertyNames(&v); }},
      {"Width", kRect, [&](auto& o) { return o->PropertyValue("Width", &v); }},
      {"Width", kRect, [&](auto& o) { return o->SetPropertyValue("Width", Variant::I4(2)); }},
      {"ConnectionCount", kRect, [&](auto& o) { return o->ConnectionCount(&n); }},
      {"ConnectionInfo", kRect, [&](auto& o) { return o->ConnectionInfo(1, &connection); }},
      {"Parent", kRect, [&](auto& o) { return o->Parent(&object); }},
      {"ConnectionQuery", kRect, [&](auto& o) { return o->IsConnected("Width", &k, &n, &n); }},
      {"ObjectByName", kRect, [&](auto& o) { return o->ObjectByName("D", &object); }},
      {"GetQevComponentDispatch", kRect, invoke("GetQevComponentDispatch", VT_DISPATCH)},
      {"RotationPoint", kRect, [&](auto& o) { return As<IHmiGeometry>(o)->RotationPoint(&point); }},
      {"RotationPoint.x", kRect,
       [&](auto& o) {
         As<IHmiGeometry>(o)->RotationPoint(&point);
         return point->X(&d);
       }},
      {"CenterPoint", kRect, [&](auto& o) { return As<IHmiGeometry>(o)->CenterPoint(&point); }},
      {"CenterPoint.y", kRect,
       [&](auto& o) {
         As<IHmiGeometry>(o)->CenterPoint(&point);
         return point->Y(&d);
       }},
      {"AngleUnit", kRect, [&](auto& o) { return As<IHmiGeometry>(o)->AngleUnit(&n); }},
      {"NumberOfPoints", kPolygon, [&](auto& o) { return As<IHmiPolygon>(o)->NumberOfPoints(&n); }},
      {"Point", kPolygon, [&](auto& o) { return As<IHmiPolygon>(o)->Point(0, &point); }},
      {"Point.y", kPolygon,
       [&](auto& o) {
         As<IHmiPolygon>(o)->Point(0, &point);
         return point->Y(&d);
       }},
      {"Pens", kChart, [&](auto& o) { return As<IHmiChart>(o)->Pens(&dispatch); }},
      {"ValueGridColor", kChart, [&](auto& o) { return As<IHmiChart>(o)->ValueGridColor(&n); }},
      {"TimeGridColor", kChart, [&](auto& o) { return As<IHmiChart>(o)->TimeGridColor(&n); }},
      {"PenIndex", kPen, [&](auto& o) { return As<IHmiPen>(o)->PenIndex(&n); }},
      {"FullName", kPen, [&](auto& o) { return As<IHmiPen>(o)->FullName(&s); }},
      {"PenLineColor", kPen, [&](auto& o) { return As<IHmiPen>(o)->PenLineColor(&n); }},
      {"ProgID", kOle, [&](auto& o) { return As<IHmiOleControl>(o)->ProgID(&s); }},
      {"GetColHeadings", kOle, invoke("GetColHeadings", VT_BSTR)},
      {"Select", kBitmap, [&](auto& o) { return As<IHmiBitmap>(o)->SetSelected(-1); }},
      {"ImageCount", kBitmap, [&](auto& o) { return As<IHmiBitmap>(o)->ImageCount(&n); }},
      {"CurrentImage", kBitmap, [&](auto& o) { return As<IHmiBitmap>(o)->CurrentImage(&k); }},
      {"CurrentImage", kBitmap, [&](auto& o) { return As<IHmiBitmap>(o)->SetCurrentImage(2); }},
      {"SecondaryImageDisplayed", kBitmap,
       [&](auto& o) { return As<IHmiBitmap>(o)->SetSecondaryImageDisplayed(-1); }},
      {"LevelCount", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->LevelCount(&n); }},
      {"Level", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->Level(1, &v, &v2, &v3, &v4); }},
      {"OutputToggles", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->OutputToggles(&k); }},
      {"ExactMatch", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->ExactMatch(&k); }},
      {"Tolerance", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->Tolerance(&f); }},
      {"SourceDataType", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->SourceDataType(&n); }},
      {"SharedTable", kLookup, [&](auto& o) { return As<IHmiLookup>(o)->SharedTable(&s); }},
      {"Offset", kLinear, [&](auto& o) { return As<IHmiLinear>(o)->Offset(&n); }},
      {"DataLinkFormat", kSource, [&](auto& o) { return As<IHmiDataLinkSource>(o)->Format(&s); }},
      {"DataEntry", kSource, [&](auto& o) { return As<IHmiDataLinkSource>(o)->DataEntry(&k); }},
  };
  for (const Case& c : cases) {
    // The same call succeeds when nothing is set to fail, and fails with
    // E_FAIL when its operation is listed.
    ComPtr<standin::Document> healthy = LoadOk(WithFailures(c.object, ""));
    EXPECT_EQ(c.call(Find(healthy, "X")), S_OK) << c.operation;
    ComPtr<standin::Document> failing =
        LoadOk(WithFailures(c.object, "\"" + std::string(c.operation) + "\""));
    EXPECT_EQ(c.call(Find(failing, "X")), E_FAIL) << c.operation;
    point = nullptr;
  }
}

TEST(FailureTest, IndexedOperationsFailOnlyForThatIndex) {
  ComPtr<standin::Document> document = LoadOk(R"({"name": "Pic", "fail": ["Item:2"], "objects": [
      {"class": "Polygon", "name": "P", "points": [[0, 0], [1, 1]], "fail": ["Point:0", "Point.x:1"]},
      {"class": "Rect", "name": "R", "fail": ["ConnectionInfo:1"], "connections": [
        {"property": "Width"}, {"property": "Height", "objects": [
          {"class": "Lookup", "name": "L", "fail": ["Level:3"],
           "lookup": {"levels": [{"in": 1}, {"in": 2}, {"in": 3}]}}]}]}]})");
  ComPtr<IDispatch> objects, item;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(document->ContainedObjects(&objects), S_OK);
  ASSERT_EQ(objects.As(&collection), S_OK);
  EXPECT_EQ(collection->Item(Variant::I4(1), &item), S_OK);
  EXPECT_EQ(collection->Item(Variant::I4(2), &item), E_FAIL);
  EXPECT_EQ(collection->Item(Variant::I2(1), &item), S_OK);

  ComPtr<IHmiPolygon> polygon = FindAs<IHmiPolygon>(document, "P");
  ComPtr<IHmiPoint> point;
  double x = 0, y = 0;
  EXPECT_EQ(polygon->Point(0, &point), E_FAIL);
  ASSERT_EQ(polygon->Point(1, &point), S_OK);
  EXPECT_EQ(point->X(&x), E_FAIL);
  EXPECT_EQ(point->Y(&y), S_OK);

  HmiConnection connection;
  ComPtr<IHmiObject> rect = Find(document, "R");
  EXPECT_EQ(rect->ConnectionInfo(1, &connection), E_FAIL);
  EXPECT_EQ(rect->ConnectionInfo(2, &connection), S_OK);

  ComPtr<IHmiLookup> lookup = FindAs<IHmiLookup>(document, "L");
  Variant a, b, c, d;
  EXPECT_EQ(lookup->Level(2, &a, &b, &c, &d), S_OK);
  EXPECT_EQ(lookup->Level(3, &a, &b, &c, &d), E_FAIL);
}

TEST(FailureTest, RefusedInterfaces) {
  struct Case {
    const char* refusal;
    const char* object;
    InterfaceId iid;
  };
  using I = InterfaceId;
  const Case cases[] = {
      {"Object", R"({"class": "Rect", "name": "X", REFUSE})", I::kHmiObject},
      {"Dispatch", R"({"class": "Rect", "name": "X", REFUSE})", I::kDispatch},
      {"Geometry", R"({"class": "Rect", "name": "X", REFUSE})", I::kHmiGeometry},
      {"Text", R"({"class": "Text", "name": "X", REFUSE})", I::kHmiText},
      {"DataLinkSource", R"({"class": "DataLink", "name": "DL", "objects": [
          {"class": "DataItem", "name": "X", REFUSE}]})",
       I::kHmiDataLinkSource},
      {"Polygon", R"({"class": "Polygon", "name": "X", REFUSE})", I::kHmiPolygon},
      {"Polyline", R"({"class": "PolyLine", "name": "X", REFUSE})", I::kHmiPolyline},
      {"Arc", R"({"class": "Arc", "name": "X", REFUSE})", I::kHmiArc},
      {"Pie", R"({"class": "Pie", "name": "X", REFUSE})", I::kHmiPie},
      {"Bitmap", R"({"class": "Bitmap", "name": "X", REFUSE})", I::kHmiBitmap},
      {"Chart", R"({"class": "Chart", "name": "X", REFUSE})", I::kHmiChart},
      {"Pen", R"({"class": "Chart", "name": "C", "pens": [{"class": "Pen", "name": "X", REFUSE}]})",
       I::kHmiPen},
      {"OleControl", R"({"class": "OleObject", "name": "X", REFUSE})", I::kHmiOleControl},
      {"Lookup", R"({"class": "Rect", "name": "R", "connections": [{"property": "Width",
          "objects": [{"class": "Lookup", "name": "X", REFUSE}]}]})",
       I::kHmiLookup},
      {"Linear", R"({"class": "Rect", "name": "R", "connections": [{"property": "Width",
          "objects": [{"class": "Linear", "name": "X", REFUSE}]}]})",
       I::kHmiLinear},
      {"Format", R"({"class": "Rect", "name": "R", "connections": [{"property": "Width",
          "objects": [{"class": "Format", "name": "X", REFUSE}]}]})",
       I::kHmiFormat},
      {"GlobalSysInfo", R"({"class": "Rect", "name": "R", "connections": [{"property": "Width",
          "objects": [{"class": "GlobalSysInfo", "name": "X", REFUSE}]}]})",
       I::kHmiGlobalSysInfo},
  };
  for (const Case& c : cases) {
    for (bool refused : {false, true}) {
      std::string object = c.object;
      object.replace(
          object.find("REFUSE"), 6,
          refused ? "\"refuse\": [\"" + std::string(c.refusal) + "\"]" : "\"refuse\": []");
      ComPtr<standin::Document> document =
          LoadOk(R"({"name": "Pic", "objects": [)" + object + "]}");
      ComPtr<IHmiObject> found = Find(document, "X");
      ASSERT_TRUE(found) << c.refusal;
      void* raw = nullptr;
      HRESULT hr = found->QueryInterface(c.iid, &raw);
      EXPECT_EQ(hr, refused ? E_NOINTERFACE : S_OK) << c.refusal;
      if (raw) static_cast<IUnknown*>(static_cast<IDispatch*>(raw))->Release();
      // The object as such stays reachable through its other interfaces.
      if (refused && c.iid != I::kDispatch) {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(found.As(&dispatch), S_OK) << c.refusal;
      }
    }
  }
}

TEST(FailureTest, RefusedCollections) {
  ComPtr<standin::Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Group", "name": "G", "refuse": ["Collection"], "objects": [{"class": "Rect", "name": "R"}]},
      {"class": "Chart", "name": "C", "refuse": ["Collection"], "pens": [{"class": "Pen", "name": "P"}]}]})");
  ComPtr<IDispatch> members, pens;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(Find(document, "G")->ContainedObjects(&members), S_OK);
  EXPECT_EQ(members.As(&collection), E_NOINTERFACE);
  ASSERT_EQ(FindAs<IHmiChart>(document, "C")->Pens(&pens), S_OK);
  EXPECT_EQ(pens.As(&collection), E_NOINTERFACE);
  // The document's own collection is not affected.
  ComPtr<IDispatch> top;
  ASSERT_EQ(document->ContainedObjects(&top), S_OK);
  EXPECT_EQ(top.As(&collection), S_OK);
}

TEST(FailureTest, DocumentGettersAndInterfaces) {
  ComPtr<standin::Document> document = LoadOk(R"({"name": "Pic",
      "fail": ["Name", "Height", "Width", "BackgroundColor", "LogicalToPixel", "Count"],
      "refuse": ["PictureWindow", "PersistStorage"],
      "objects": [{"class": "Rect", "name": "R"}]})");
  ComPtr<IHmiPicture> picture = document->Picture();
  std::string name;
  double value = 0;
  int32_t color = 0, x = 0, y = 0, count = 0;
  EXPECT_EQ(picture->Name(&name), E_FAIL);
  EXPECT_EQ(picture->Height(&value), E_FAIL);
  EXPECT_EQ(picture->Width(&value), E_FAIL);
  EXPECT_EQ(picture->BackgroundColor(&color), E_FAIL);
  EXPECT_EQ(picture->LogicalToPixel(1, 1, &x, &y), E_FAIL);
  ComPtr<IDispatch> objects;
  ComPtr<IHmiObjectCollection> collection;
  ASSERT_EQ(picture->ContainedObjects(&objects), S_OK);
  ASSERT_EQ(objects.As(&collection), S_OK);
  EXPECT_EQ(collection->Count(&count), E_FAIL);

  ComPtr<IHmiPictureWindow> window;
  ComPtr<IPersistStorage> persist;
  ComPtr<IHmiObject> object;
  EXPECT_EQ(picture.As(&window), E_NOINTERFACE);
  EXPECT_EQ(picture.As(&persist), E_NOINTERFACE);
  EXPECT_EQ(picture.As(&object), S_OK);
  // The document's object answers the picture too, with the same refusals.
  ComPtr<IHmiPicture> again;
  EXPECT_EQ(object.As(&again), S_OK);
  EXPECT_EQ(object.As(&window), E_NOINTERFACE);
  EXPECT_EQ(object->Name(&name), E_FAIL);

  ComPtr<standin::Document> refusing =
      LoadOk(R"({"name": "Pic", "refuse": ["Picture", "Object", "Dispatch"]})");
  ComPtr<IHmiPicture> none;
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(refusing->Dispatch().As(&none), E_NOINTERFACE);
  EXPECT_EQ(refusing->Dispatch().As(&object), E_NOINTERFACE);
  EXPECT_EQ(refusing->Dispatch().As(&dispatch), E_NOINTERFACE);
}

TEST(FailureTest, DocumentSetToFailLoading) {
  ComPtr<standin::Document> document = MakeCom<standin::Document>();
  EXPECT_EQ(document->LoadText(R"({"name": "Pic", "fail": ["Load"]})", ""), E_FAIL);
  EXPECT_FALSE(document->loaded());
  double width = 0;
  EXPECT_EQ(document->Width(&width), E_UNEXPECTED);
  ComPtr<IHmiObject> object;
  EXPECT_TRUE(Failed(document->Dispatch().As(&object)));
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
