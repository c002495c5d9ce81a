// How the stand-in document keeps its objects: values stored compactly come
// back as the variants they were, and a document loaded in pieces (each
// object parsed on its own) is the document the whole-text load makes, or
// fails with the same message.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

constexpr char kRectDocument[] =
    R"({"name": "Pic", "objects": [{"class": "Rect", "name": "R",
        "properties": {"Width": 10, "Label": "text"}}]})";

// Everything the automation interfaces say about `object` and the objects
// below it: names, classes, every property with its type and value, lookup
// levels, connections.
std::string Dump(IHmiObject* object, const std::string& indent = "") {
  std::string out;
  std::string text;
  object->ClassName(&text);
  out += indent + text;
  object->FullyQualifiedName(&text);
  out += " " + text + "\n";
  Variant names;
  if (object->PropertyNames(&names) == S_OK) {
    for (const std::string& name : Texts(names)) {
      Variant value;
      HRESULT hr = object->PropertyValue(name, &value);
      out += indent + "  " + name + "=" + (hr == S_OK ? Describe(value) : "failed") + "\n";
    }
  }
  ComPtr<IHmiLookup> lookup;
  if (ComPtr<IHmiObject>(object).As(&lookup) == S_OK) {
    int32_t levels = 0;
    lookup->LevelCount(&levels);
    for (int32_t i = 1; i <= levels; ++i) {
      Variant in, out_value, in2, toggle;
      lookup->Level(i, &in, &out_value, &in2, &toggle);
      out += indent + "  level " + Describe(in) + " " + Describe(out_value) + " " +
             Describe(in2) + " " + Describe(toggle) + "\n";
    }
  }
  int32_t connections = 0;
  object->ConnectionCount(&connections);
  for (int32_t i = 1; i <= connections; ++i) {
    HmiConnection connection;
    object->ConnectionInfo(i, &connection);
    out += indent + "  link " + connection.property + " " + connection.full_source + "\n";
  }
  ComPtr<IDispatch> contained;
  if (object->ContainedObjects(&contained) == S_OK) {
    ComPtr<IHmiObjectCollection> collection;
    if (contained.As(&collection) == S_OK) {
      int32_t count = 0;
      collection->Count(&count);
      for (int32_t i = 1; i <= count; ++i) {
        ComPtr<IDispatch> item;
        ComPtr<IHmiObject> member;
        if (collection->Item(Variant::I4(i), &item) == S_OK && item.As(&member) == S_OK) {
          out += Dump(member.get(), indent + "  ");
        }
      }
    }
  }
  return out;
}

// The outcome of loading `text`: the dump of the document, or its error.
std::string Outcome(const std::string& text) {
  ComPtr<Document> document = MakeCom<Document>();
  if (document->LoadText(text, "/pictures/Pic.grf") < 0) {
    return "error: " + document->load_error();
  }
  return Dump(document->Object().get());
}

// `text` with a first member whose key holds an escape: such a text is not
// cut into pieces, so it loads by one parse of the whole text.
std::string Whole(const std::string& text) {
  std::string whole = text;
  const size_t brace = whole.find('{');
  whole.insert(brace + 1, R"("un\\used": 0, )");
  return whole;
}

TEST(DocumentStorageTest, SetValuesComeBackAsTheyWereSet) {
  ComPtr<Document> document = LoadOk(kRectDocument);
  ComPtr<IHmiObject> object = Find(document, "R");
  ASSERT_TRUE(object);
  auto array = std::make_shared<SafeArray>(VT_I4, 0, std::vector<Variant>{Variant::I4(7)});
  const Variant values[] = {
      Variant::I2(-32768),
      Variant::I4(INT32_MIN),
      Variant::I4(2147483647),
      Variant::UI1(255),
      Variant::Bool(true),
      Variant::Bool(false),
      Variant::R4(-1.5e38f),
      Variant::R8(-0.0),
      Variant::R8(1e-310),
      Variant::R8(123456789.125),
      Variant::Bstr(std::string("with\0nul", 8)),
      Variant::Bstr("Gr\xFC\xDF"),
      Variant::Bstr(""),
      Variant(),
      Variant::Array(array),
      Variant::I4(3),
  };
  for (const Variant& set : values) {
    SCOPED_TRACE(Describe(set));
    ASSERT_EQ(object->SetPropertyValue("Width", set), S_OK);
    Variant got;
    ASSERT_EQ(object->PropertyValue("Width", &got), S_OK);
    EXPECT_EQ(got.vt(), set.vt());
    EXPECT_EQ(Describe(got), Describe(set));
    if (set.vt() == VT_BSTR) {
      EXPECT_EQ(got.bstr(), set.bstr());
    } else if (set.vt() == VT_R8) {
      EXPECT_EQ(std::signbit(got.r8()), std::signbit(set.r8()));
    } else if (set.vt() == VT_R4) {
      EXPECT_EQ(got.r4(), set.r4());
    } else if (set.vt() & VT_ARRAY) {
      EXPECT_EQ(got.array(), array.get());
    }
  }
  // The other property of the object keeps its own value throughout.
  Variant label;
  ASSERT_EQ(object->PropertyValue("Label", &label), S_OK);
  EXPECT_EQ(Describe(label), "BSTR:text");
}

TEST(DocumentStorageTest, AnObjectSetAsAValueIsHeldUntilReplaced) {
  ComPtr<Document> holder = LoadOk(kRectDocument);
  ComPtr<IHmiObject> object = Find(holder, "R");
  ASSERT_TRUE(object);
  const int before = LiveObjectCount();
  {
    ComPtr<Document> other = LoadOk(kRectDocument);
    ASSERT_EQ(object->SetPropertyValue("Width", Variant::Dispatch(other->Dispatch())), S_OK);
    Variant got;
    ASSERT_EQ(object->PropertyValue("Width", &got), S_OK);
    ASSERT_EQ(got.vt(), VT_DISPATCH);
    EXPECT_EQ(got.dispatch().get(), other->Dispatch().get());
  }
  EXPECT_GT(LiveObjectCount(), before);  // the property keeps the other document
  ASSERT_EQ(object->SetPropertyValue("Width", Variant::I4(1)), S_OK);
  EXPECT_EQ(LiveObjectCount(), before);  // replaced by a number: released
}

TEST(DocumentStorageTest, OwnTextsStayReadOnlyAndFollowTheObject) {
  ComPtr<Document> document = LoadOk(
      R"({"name": "Pic", "objects": [{"class": "Text", "name": "T", "category": "Shape",
          "properties": {"Caption": "Name"}}]})");
  ComPtr<IHmiObject> object = Find(document, "T");
  ASSERT_TRUE(object);
  const char* const own[][2] = {
      {"Name", "BSTR:T"}, {"ClassName", "BSTR:Text"}, {"FullyQualifiedName", "BSTR:Pic.T"}};
  for (const auto& entry : own) {
    Variant value;
    ASSERT_EQ(object->PropertyValue(entry[0], &value), S_OK);
    EXPECT_EQ(Describe(value), entry[1]);
    EXPECT_EQ(object->SetPropertyValue(entry[0], Variant::Bstr("x")), E_ACCESSDENIED);
  }
  // A text value that happens to be a property name is only a text.
  ASSERT_EQ(object->SetPropertyValue("Caption", Variant::Bstr("Other")), S_OK);
  Variant name;
  ASSERT_EQ(object->PropertyValue("Name", &name), S_OK);
  EXPECT_EQ(Describe(name), "BSTR:T");
}

TEST(DocumentStorageTest, PiecesLoadTheDocumentTheWholeTextLoads) {
  const char* const documents[] = {
      // Every kind of key, nested groups, texts with brackets, quotes and
      // escapes, non-ASCII texts, blanks of every kind between the parts.
      "\r\n\t {\"name\" :\"Pic\" ,\"width\":800,\"height\" : 600.5,\n"
      "\"objects\" : [ {\"class\": \"Group\", \"name\": \"G\", \"objects\": [\n"
      "  {\"class\": \"Group\", \"name\": \"H\", \"objects\": [{\"class\": \"Rect\", "
      "\"name\": \"R\", \"properties\": {\"Label\": \"a]}{[\\\"b\\\\\", \"N\": null}}]}]},\n"
      "  {\"class\": \"Text\", \"name\": \"T\", \"properties\": {"
      "\"Caption\": \"Gr\xC3\xBC\xC3\x9F\","
      " \"Size\": {\"i2\": 12}, \"R\": {\"r4\": 0.1}, \"B\": {\"ui1\": 200}, \"On\": true}},\n"
      "  {\"class\": \"Lookup\", \"name\": \"L\", \"lookup\": {\"levels\": [{\"in\": 1, "
      "\"out\": \"x\", \"in2\": {\"bool\": false}, \"toggle\": 2.5}], \"sharedTable\": \"S\"}},\n"
      "  {\"class\": \"Chart\", \"name\": \"C\", \"pens\": [{\"class\": \"Pen\", \"name\": \"P\"}],"
      " \"connections\": [{\"property\": \"Width\", \"fullSource\": \"DS.N.T.F_CV\"}]}\t]\n"
      ", \"backgroundColor\": 255}\n\n",
      R"({"objects": []})",
      R"({"objects": [], "name": "Late"})",
      R"({"name": "NoObjects"})",
      R"({"objects": [{"class": "Rect", "name": "A"} , {"class": "Oval", "name": "B"}]})",
  };
  for (const char* document : documents) {
    SCOPED_TRACE(document);
    const std::string pieces = Outcome(document);
    EXPECT_EQ(pieces.find("error"), std::string::npos) << pieces;
    EXPECT_EQ(pieces, Outcome(Whole(document)));
  }
}

TEST(DocumentStorageTest, TextsThatCannotBeCutLoadOrFailAsTheWholeText) {
  // Faults of the parts between the pieces, faults inside pieces, keys given
  // twice. Each names itself "NAME"; the same text with the name escaped as
  // "P\u0041" is read by the reference parser alone.
  const char* const documents[] = {
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}]} x)",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}]}})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"} {"class": "Oval"}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"},]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R", "name": "S"}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}], "objects": []})",
      R"({"name": "NAME", "objects": [], "objects": [{"class": "Rect", "name": "R"}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}, 5]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}, tru]})",
      R"({"name": "NAME", "objects": [{"class": "R", "name": "R", "properties": {"A": 1e999}}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect"}, {"class": "Rect", "name": "R"} x]})",
      R"({"name": "NAME", "width": "wide", "objects": [{"class": "Rect", "name": "R"} x]})",
      R"({"name": "NAME", "width": 1,, "objects": []})",
      R"({"name": "NAME" "objects": []})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}] "width": 1})",
      R"({"name": "NAME", "objects": {"class": "Rect", "name": "R"}})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "Bad\x01"}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R"}])",
      R"(["name", "NAME", {"objects": []}])",
  };
  for (const char* document : documents) {
    std::string plain = document;
    std::string escaped = document;
    plain.replace(plain.find("NAME"), 4, "PA");
    escaped.replace(escaped.find("NAME"), 4, "P\\u0041");
    SCOPED_TRACE(plain);
    const std::string outcome = Outcome(plain);
    EXPECT_FALSE(outcome.empty());
    EXPECT_EQ(testing::WithoutColumn(outcome), testing::WithoutColumn(Outcome(escaped)));
  }
}

TEST(DocumentStorageTest, AFailedLoadInPiecesLeavesNothingBehind) {
  // The first object loads, the second is refused: the whole-text load then
  // reports it, and the document loads afterwards as if never tried.
  ComPtr<Document> document = MakeCom<Document>();
  const std::string bad =
      R"({"name": "Pic", "objects": [{"class": "Rect", "name": "A"}, {"class": "Rect"}]})";
  EXPECT_EQ(document->LoadText(bad, "/pictures/Pic.grf"), STG_E_INVALIDHEADER);
  EXPECT_EQ(document->load_error(),
            "/pictures/Pic.grf: objects[1]: the key \"name\" is required");
  ASSERT_EQ(document->LoadText(kRectDocument, "/pictures/Pic.grf"), S_OK);
  EXPECT_EQ(Dump(document->Object().get()), Outcome(kRectDocument));
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
