// The stand-in HMI host: opening documents the way the converter does,
// malformed and over-deep documents, the running application, ProgIDs, and
// the release of every object.
#include <algorithm>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "hmi/document_loader.h"
#include "hmi/standin_host.h"
#include "reader/hmi/host.h"
#include "standin_test_util.h"
#include "support/test_env.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// `levels` groups inside each other, the innermost holding a rectangle.
std::string NestedGroups(int levels) {
  std::string text = R"({"name": "Deep", "objects": [)";
  for (int i = 0; i < levels; ++i) {
    text += R"({"class": "Group", "name": "G)" + std::to_string(i) + R"(", "objects": [)";
  }
  text += R"({"class": "Rect", "name": "Bottom"})";
  for (int i = 0; i < levels; ++i) text += "]}";
  return text + "]}";
}

TEST(LoadTest, MalformedDocumentsFailWithAReason) {
  struct Case {
    const char* text;
    const char* error;  // part of the message
  };
  const Case cases[] = {
      {"", "not valid JSON"},
      {"{\"name\": ", "not valid JSON"},
      {"[1, 2]", "not a JSON object"},
      {"\"text\"", "not a JSON object"},
      {R"({"width": "wide"})", "width: expected a number"},
      {R"({"pixelsPerUnit": [1]})", "pixelsPerUnit: expected [x, y]"},
      {R"({"objects": {}})", "objects: expected an array"},
      {R"({"objects": [{"name": "R"}]})", "objects[0]: the key \"class\" is required"},
      {R"({"objects": [{"class": "Rect"}]})", "objects[0]: the key \"name\" is required"},
      {R"({"objects": [{"class": 5, "name": "R"}]})", "objects[0].class: expected a text"},
      {R"({"objects": [1]})", "objects[0]"},
      {R"({"objects": [{"class": "Rect", "name": "R", "properties": {"W": [1]}}]})",
       "objects[0].properties.W: unsupported value"},
      {R"({"objects": [{"class": "Rect", "name": "R", "properties": {"W": {"i2": 40000}}}]})",
       "out of range"},
      {R"({"objects": [{"class": "Rect", "name": "R", "properties": {"W": 3000000000}}]})",
       "out of range"},
      {R"({"objects": [{"class": "Rect", "name": "R", "properties": {"W": {"x": 1}}}]})",
       "unknown value type \"x\""},
      {R"({"objects": [{"class": "Rect", "name": "R", "properties": {"W": {"i4": 1, "r8": 2}}}]})",
       "exactly one key"},
      {R"({"objects": [{"class": "Rect", "name": "R", "refuse": ["Everything"]}]})",
       "objects[0].refuse[0]: unknown interface \"Everything\""},
      {R"({"refuse": "Object"})", "refuse: expected an array"},
      {R"({"objects": [{"class": "Rect", "name": "R", "connections": [{"source": "X"}]}]})",
       "objects[0].connections[0]: the key \"property\" is required"},
      {R"({"objects": [{"class": "Bitmap", "name": "B", "images": [{"primary": {"width": 2}}]}]})",
       "objects[0].images[0].primary: a plain image needs \"rgb\""},
      {R"({"objects": [{"class": "Lookup", "name": "L", "lookup": {"levels": [{"in": [1]}]}}]})",
       "objects[0].lookup.levels[0].in: unsupported value"},
  };
  for (const Case& c : cases) {
    ComPtr<Document> document = MakeCom<Document>();
    EXPECT_EQ(document->LoadText(c.text, "/p/Pic.grf"), STG_E_INVALIDHEADER) << c.text;
    EXPECT_FALSE(document->loaded()) << c.text;
    EXPECT_NE(document->load_error().find(c.error), std::string::npos)
        << c.text << " -> " << document->load_error();
    // A document that failed to load answers nothing.
    ComPtr<IHmiObject> object;
    EXPECT_TRUE(Failed(document->Dispatch().As(&object))) << c.text;
  }
}

TEST(LoadTest, GroupNestingIsLimited) {
  ComPtr<Document> deepest_allowed = LoadOk(NestedGroups(1000));
  ComPtr<IHmiObject> bottom;
  ASSERT_EQ(deepest_allowed->Object()->ObjectByName("Bottom", &bottom), S_OK);
  std::string full_name;
  bottom->FullyQualifiedName(&full_name);
  EXPECT_EQ(full_name.rfind("G999.Bottom"), full_name.size() - 11);

  ComPtr<Document> too_deep = MakeCom<Document>();
  EXPECT_EQ(too_deep->LoadText(NestedGroups(1001), ""), STG_E_INVALIDHEADER);
  EXPECT_NE(too_deep->load_error().find("groups are nested more than 1000 levels deep"),
            std::string::npos)
      << too_deep->load_error();

  // A host may set a lower limit.
  LoadOptions options;
  options.max_group_depth = 10;
  ComPtr<Document> lowered = MakeCom<Document>(options);
  EXPECT_EQ(lowered->LoadText(NestedGroups(11), ""), STG_E_INVALIDHEADER);
}

TEST(LoadTest, DeepJsonIsRefusedBeforeParsing) {
  for (const std::string& text :
       {std::string(200000, '['), std::string(100000, '{'),
        "{\"a\": " + std::string(5000, '[') + std::string(5000, ']') + "}",
        // Large enough for the depth to be found while the text is cut into
        // pieces, which it can be: the depth still decides.
        "{\"Pad\": \"" + std::string(size_t{3} << 19, 'x') + "\", \"objects\": [{\"a\": " +
            std::string(5000, '[') + std::string(5000, ']') + "}]}"}) {
    ComPtr<Document> document = MakeCom<Document>();
    EXPECT_EQ(document->LoadText(text, ""), STG_E_INVALIDHEADER);
    EXPECT_NE(document->load_error().find("levels deep"), std::string::npos)
        << document->load_error();
  }
  EXPECT_EQ(JsonNestingDepth(R"({"a": "[[[{{{", "b": [[1], {"c": "\"]"}]})"), 3);
  EXPECT_EQ(JsonNestingDepth("no brackets"), 0);
}

// The depth as a byte-by-byte reading of the text gives it: a backslash in
// a string escapes the next byte, whatever it is.
int NestingDepthByteByByte(const std::string& text) {
  int depth = 0, deepest = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

TEST(LoadTest, NestingDepthSkipsStringsAsAByteByByteReadingDoes) {
  for (const std::string& text : {std::string(R"("\\" [ "\\\"[" [)"), std::string(R"([ "\)"),
                                  std::string(R"("[[" [[ "\\\\" ])"), std::string("\"")}) {
    EXPECT_EQ(JsonNestingDepth(text), NestingDepthByteByByte(text)) << text;
  }
  // Random texts of the bytes that matter, strings cut short included.
  std::mt19937 random(7);
  const char kBytes[] = "\"\\[]{}a ";
  for (int run = 0; run < 20000; ++run) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = kBytes[random() % (sizeof kBytes - 1)];
    ASSERT_EQ(JsonNestingDepth(text), NestingDepthByteByByte(text)) << text;
  }
}

TEST(HostTest, OpensAPictureStepByStep) {
  TempDir dir;
  WriteText(dir.File("Plant.grf"),
            R"({"width": 640, "objects": [{"class": "Rect", "name": "R"}]})");
  StandInHost host;
  ComPtr<IStorage> storage;
  ASSERT_EQ(host.OpenStorage(dir.File("Plant.grf"), kStorageReadTransacted, &storage), S_OK);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(host.CreateInstance(kPictureClassId, ClassContext::kInProcessServer, &ole), S_OK);
  ComPtr<IPersistStorage> persist;
  ASSERT_EQ(ole.As(&persist), S_OK);
  ASSERT_EQ(persist->Load(storage.get()), S_OK);
  EXPECT_EQ(persist->Load(storage.get()), E_UNEXPECTED);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(ole.As(&dispatch), S_OK);
  ComPtr<IHmiPicture> picture;
  ASSERT_EQ(dispatch.As(&picture), S_OK);
  std::string name;
  double width = 0;
  ASSERT_EQ(picture->Name(&name), S_OK);
  ASSERT_EQ(picture->Width(&width), S_OK);
  EXPECT_EQ(name, "Plant");
  EXPECT_EQ(width, 640.0);
}

TEST(HostTest, FailuresOfTheOpeningSteps) {
  TempDir dir;
  WriteText(dir.File("Bad.grf"), "{ not json");
  StandInHost host;
  ComPtr<IStorage> storage;
  EXPECT_EQ(host.OpenStorage(dir.File("Missing.grf"), kStorageReadTransacted, &storage),
            STG_E_FILENOTFOUND);
  EXPECT_FALSE(storage);
  EXPECT_EQ(host.OpenStorage("", kStorageReadTransacted, &storage), STG_E_FILENOTFOUND);
  EXPECT_TRUE(Failed(host.OpenStorage(dir.path(), kStorageReadTransacted, &storage)));
  EXPECT_TRUE(Failed(host.OpenStorage(dir.File("Bad.grf"), 0x12, &storage)));  // read-write

  ComPtr<IOleObject> ole;
  EXPECT_EQ(host.CreateInstance("{00000000-0000-0000-0000-000000000001}",
                                ClassContext::kInProcessServer, &ole),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(host.CreateInstance("not an identifier", ClassContext::kInProcessServer, &ole),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(host.CreateInstance(kPictureClassId, ClassContext::kLocalServer, &ole),
            REGDB_E_CLASSNOTREG);

  ComPtr<IDispatch> document;
  std::string error;
  EXPECT_EQ(host.LoadDocument(dir.File("Bad.grf"), &document, &error), STG_E_INVALIDHEADER);
  EXPECT_NE(error.find("Bad.grf: not valid JSON"), std::string::npos) << error;
  EXPECT_EQ(host.LoadDocument(dir.File("Missing.grf"), &document, &error), STG_E_FILENOTFOUND);
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(HostTest, RunningApplicationHoldsOpenedDocuments) {
  TempDir dir;
  WriteText(dir.File("Tables.qvg"), R"({"objects": [{"class": "Variable", "name": "V",
      "connections": [{"property": "CurrentValue", "objects": [
        {"class": "Lookup", "name": "Lookup1", "lookup": {"levels": [{"in": 1, "out": 2}]}}]}]}]})");
  StandInHost host;
  ComPtr<IHmiApplication> application;
  EXPECT_EQ(host.CreateInstance(kApplicationClassId, ClassContext::kLocalServer, &application),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(host.GetRunningApplication(&application), CO_E_SERVER_EXEC_FAILURE);

  std::string error;
  ASSERT_EQ(host.OpenInApplication(dir.File("Tables.qvg"), &error), S_OK) << error;
  EXPECT_TRUE(Failed(host.OpenInApplication(dir.File("Missing.qvg"), &error)));
  ASSERT_EQ(host.CreateInstance(kApplicationClassId, ClassContext::kLocalServer, &application),
            S_OK);
  ComPtr<IDispatch> document;
  EXPECT_TRUE(Failed(application->DocumentByName("Other", &document)));
  ASSERT_EQ(application->DocumentByName("tables", &document), S_OK);
  ComPtr<IHmiObject> object, lookup;
  ASSERT_EQ(document.As(&object), S_OK);
  ASSERT_EQ(object->ObjectByName("Tables.V.Lookup1", &lookup), S_OK);
  std::string class_name;
  lookup->ClassName(&class_name);
  EXPECT_EQ(class_name, "Lookup");

  // The document class makes a fresh, separate document.
  ComPtr<IPersistStorage> persist;
  ComPtr<IStorage> storage;
  ASSERT_EQ(host.CreateInstance(kDocumentClassId, ClassContext::kInProcessServer, &persist), S_OK);
  ASSERT_EQ(host.OpenStorage(dir.File("Tables.qvg"), kStorageReadTransacted, &storage), S_OK);
  ASSERT_EQ(persist->Load(storage.get()), S_OK);
}

TEST(HostTest, ClassIdentifiersOfProgIds) {
  StandInHost host;
  host.RegisterProgId("Other.Control.2", "{11111111-2222-3333-4444-555555555555}");
  struct Case {
    const char* prog_id;
    HRESULT result;
    const char* class_id;
  };
  const Case cases[] = {
      {"HmiAlarmSummary.Control.1", S_OK, kAlarmSummaryClassId},
      {"hmialarmsummary.control.1", S_OK, kAlarmSummaryClassId},
      {"Forms.CommandButton.1", S_OK, kCommandButtonClassId},
      {"Other.Control.2", S_OK, "{11111111-2222-3333-4444-555555555555}"},
      {"Calendar.Control", CO_E_CLASSSTRING, ""},
      {"", CO_E_CLASSSTRING, ""},
  };
  for (const Case& c : cases) {
    std::string class_id;
    EXPECT_EQ(host.ClassIdFromProgId(c.prog_id, &class_id), c.result) << c.prog_id;
    EXPECT_EQ(class_id, c.class_id) << c.prog_id;
  }
}

TEST(LifetimeTest, EveryObjectIsReleased) {
  int before = LiveObjectCount();
  {
    TempDir dir;
    WriteText(dir.File("Plant.grf"), R"({"objects": [
        {"class": "Group", "name": "G", "objects": [{"class": "Polygon", "name": "P", "points": [[1, 2]]}]},
        {"class": "Rect", "name": "R", "connections": [{"property": "Width",
          "objects": [{"class": "DataItem", "name": "D"}]}]}]})");
    WriteText(dir.File("Tables.qvg"), "{}");
    StandInHost host;
    std::string error;
    ASSERT_EQ(host.OpenInApplication(dir.File("Tables.qvg"), &error), S_OK);
    ComPtr<IDispatch> document;
    ASSERT_EQ(host.LoadDocument(dir.File("Plant.grf"), &document, &error), S_OK);

    // Walk everything the converter would hold on to.
    ComPtr<IHmiPicture> picture;
    ASSERT_EQ(document.As(&picture), S_OK);
    ComPtr<IDispatch> objects, item, members;
    ComPtr<IHmiObjectCollection> collection;
    ASSERT_EQ(picture->ContainedObjects(&objects), S_OK);
    ASSERT_EQ(objects.As(&collection), S_OK);
    ASSERT_EQ(collection->Item(Variant::I4(2), &item), S_OK);
    ComPtr<IHmiObject> rect;
    ASSERT_EQ(item.As(&rect), S_OK);
    HmiConnection connection;
    ASSERT_EQ(rect->ConnectionInfo(1, &connection), S_OK);
    ComPtr<IHmiObject> root, polygon_object;
    ASSERT_EQ(rect->Parent(&root), S_OK);
    ASSERT_EQ(root->ObjectByName("P", &polygon_object), S_OK);
    ComPtr<IHmiPolygon> polygon;
    ASSERT_EQ(polygon_object.As(&polygon), S_OK);
    ComPtr<IHmiPoint> point;
    ASSERT_EQ(polygon->Point(0, &point), S_OK);
    EXPECT_GT(LiveObjectCount(), before);

    // A point or an object keeps its whole document alive.
    document = nullptr;
    picture = nullptr;
    objects = item = nullptr;
    collection = nullptr;
    rect = nullptr;
    polygon = nullptr;
    polygon_object = root = nullptr;
    connection = HmiConnection();
    double x = 0;
    ASSERT_EQ(point->X(&x), S_OK);
    EXPECT_EQ(x, 1.0);
  }
  EXPECT_EQ(LiveObjectCount(), before);
}

TEST(LifetimeTest, ParentOutlivesTheDocumentReference) {
  int before = LiveObjectCount();
  {
    ComPtr<IHmiObject> member;
    {
      ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
          {"class": "Group", "name": "G", "objects": [{"class": "Rect", "name": "R"}]}]})");
      member = Find(document, "R");
    }
    ComPtr<IHmiObject> parent;
    ASSERT_EQ(member->Parent(&parent), S_OK);
    std::string name;
    ASSERT_EQ(parent->Name(&name), S_OK);
    EXPECT_EQ(name, "G");
  }
  EXPECT_EQ(LiveObjectCount(), before);
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
