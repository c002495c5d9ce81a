// How the stand-in document keeps its objects: values stored compactly come
// back as the variants they were, and a document loaded in pieces (each
// object parsed on its own) is the document the whole-text load makes, or
// fails with the same message.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "hmi/document_loader.h"
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

// The document loaded from `text` with `options`, or its error, as Dump
// tells it, followed by what only the stored form shows: each object's
// owner and raw property list (text numbers, types, forms, words), and the
// whole text table in its order.
std::string StoredOutcome(const std::string& text, const LoadOptions& options) {
  ComPtr<Document> document = MakeCom<Document>(options);
  if (document->LoadText(text, "/pictures/Pic.grf") < 0) {
    return "error: " + document->load_error();
  }
  std::string out = Dump(document->Object().get());
  std::vector<Node*> pending = {document->root()};
  for (size_t i = 0; i < pending.size(); ++i) {
    Node* node = pending[i];
    out += node->full_name() + " in " + (node->owner() ? node->owner()->full_name() : "-") +
           " " + node->class_name() + "/" + node->category() + ":";
    for (const Property& property : node->properties()) {
      out += " " + std::to_string(property.name) + "=" + std::to_string(property.value.vt) + "," +
             std::to_string(property.value.form) + "," + std::to_string(property.value.mark) +
             "," + std::to_string(property.value.words[0]) + "," +
             std::to_string(property.value.words[1]);
    }
    out += "\n";
    ComPtr<IHmiObject> object(node->object());
    ComPtr<IDispatch> contained;
    ComPtr<IHmiObjectCollection> collection;
    int32_t count = 0;
    if (object->ContainedObjects(&contained) == S_OK && contained.As(&collection) == S_OK) {
      collection->Count(&count);
    }
    for (int32_t k = 1; k <= count; ++k) {
      ComPtr<IDispatch> item;
      ComPtr<IHmiObject> member;
      if (collection->Item(Variant::I4(k), &item) == S_OK && item.As(&member) == S_OK) {
        pending.push_back(static_cast<Node*>(member.get()));
      }
    }
  }
  for (size_t i = 0; i < document->texts().size(); ++i) {
    out += std::to_string(i) + ":" + document->texts()[static_cast<uint32_t>(i)] + "\n";
  }
  return out;
}

LoadOptions Sequential() {
  LoadOptions options;
  options.parallel_load_objects = 0;
  return options;
}

// Loads every document of two or more top-level objects on two threads.
LoadOptions TwoThreads() {
  LoadOptions options;
  options.parallel_load_objects = 2;
  return options;
}

// A picture of `count` top-level objects of every kind, cycling through
// them: texts and property names met first in either half or in both,
// non-ASCII texts, typed values, lookups with text levels, pens, nested
// groups, connections with their objects, bitmaps with their added image
// state. Object `fault_at` (if any) is `fault` instead.
std::string ManyObjects(size_t count, size_t fault_at = SIZE_MAX, const std::string& fault = "") {
  std::string text = R"({"name": "Pic", "width": 640, "objects": [)";
  for (size_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    if (i > 0) text += ",\n";
    if (i == fault_at) {
      text += fault;
      continue;
    }
    switch (i % 6) {
      case 0:
        text += R"({"class": "Rect", "name": "R)" + n + R"(", "properties": {"Width": )" + n +
                R"(, "HorizontalPosition": 1, "VerticalPosition": 2, "Height": 4, "Label": "L)" +
                std::to_string(i % 7) + R"(", "Only)" + n + R"(": "once )" + n + R"("}})";
        break;
      case 1:
        text += R"({"class": "Text", "name": "T)" + n + R"(", "category": "Shape", )"
                R"("properties": {"Caption": "Gr)" "\xC3\xBC\xC3\x9F " +
                std::to_string(i / 10) +
                R"(", "Size": {"i2": 12}, "R": {"r4": 0.5}, "B": {"ui1": 200}, "On": true,)"
                R"( "N": null, "Big": {"r8": 1e300}}})";
        break;
      case 2:
        text += R"({"class": "Lookup", "name": "K)" + n +
                R"(", "lookup": {"levels": [{"in": 1, "out": "x)" + std::to_string(i % 5) +
                R"(", "in2": {"bool": false}, "toggle": {"str": "t)" + n +
                R"("}}], "sharedTable": "S"}})";
        break;
      case 3:
        text += R"({"class": "Chart", "name": "C)" + n +
                R"(", "pens": [{"class": "Pen", "name": "P", "properties": {"Color": "pen)" + n +
                R"("}}], "connections": [{"property": "Width", "fullSource": "DS.N.T)" + n +
                R"(.F_CV", "objects": [{"class": "Tag", "name": "Src", "properties": {"Tag": "T)" +
                n + R"("}}]}]})";
        break;
      case 4:
        text += R"({"class": "Group", "name": "G)" + n +
                R"(", "objects": [{"class": "Group", "name": "H", "objects": [)"
                R"({"class": "Oval", "name": "O", "properties": {"Fill": "f)" +
                std::to_string(i % 3) + R"("}}]}, {"class": "DataLink", "name": "D", "objects": [)"
                R"({"class": "Text", "name": "S"}]}]})";
        break;
      default:
        text += R"({"class": "Bitmap", "name": "B)" + n +
                R"(", "images": [{"primary": {"rgb": 255}}], "properties": {"Kind)" +
                std::to_string(i % 4) + R"(": 1}})";
        break;
    }
  }
  return text + "]}";
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

TEST(DocumentStorageTest, TwoThreadsLoadTheDocumentOneThreadLoads) {
  // Odd counts split unevenly; 2 puts one object on each thread.
  for (size_t count : {2, 3, 12, 61}) {
    SCOPED_TRACE(count);
    const std::string text = ManyObjects(count);
    const int before = ParallelPieceLoads();
    const std::string parallel = StoredOutcome(text, TwoThreads());
    EXPECT_EQ(ParallelPieceLoads(), before + 1);
    EXPECT_EQ(parallel.find("error"), std::string::npos) << parallel;
    EXPECT_EQ(parallel, StoredOutcome(text, Sequential()));
    EXPECT_EQ(ParallelPieceLoads(), before + 1);
    // And the whole-text load, which never splits, agrees.
    EXPECT_EQ(parallel, StoredOutcome(Whole(text), TwoThreads()));
  }
}

TEST(DocumentStorageTest, AFaultInEitherHalfGivesTheWholeTextMessage) {
  // Faults the loader finds, faults the parser finds inside a piece, a key
  // given twice; each at the first object, in the first half, just before
  // and at the split, and at the last object.
  const struct {
    const char* fault;
    bool named;  // the message names the object
  } faults[] = {
      {R"({"class": "Rect"})", true},
      {R"({"class": "Rect", "name": "X", "properties": {"A": {"i2": 99999}}})", true},
      {R"({"class": "Rect", "name": "X", "properties": {"A": tru}})", false},
      {R"({"class": "Rect", "name": "X", "name": "Y", "points": [[1, 2], [3]]})", true},
      {R"({"class": "Rect", "name": "X", "points": [[1, 2], [3]]})", true},
      {R"(7)", true},
  };
  constexpr size_t kCount = 40;
  for (const auto& f : faults) {
    for (size_t at : {size_t{0}, size_t{7}, kCount / 2 - 1, kCount / 2, kCount - 1}) {
      SCOPED_TRACE(std::string(f.fault) + " at " + std::to_string(at));
      const std::string text = ManyObjects(kCount, at, f.fault);
      const int before = ParallelPieceLoads();
      const std::string outcome = StoredOutcome(text, TwoThreads());
      EXPECT_EQ(ParallelPieceLoads(), before);
      EXPECT_EQ(outcome.rfind("error: /pictures/Pic.grf: ", 0), 0u) << outcome;
      if (f.named) {
        EXPECT_NE(outcome.find("objects[" + std::to_string(at) + "]"), std::string::npos)
            << outcome;
      }
      EXPECT_EQ(outcome, StoredOutcome(text, Sequential()));
      EXPECT_EQ(WithoutColumn(outcome), WithoutColumn(StoredOutcome(Whole(text), Sequential())));
    }
  }
  // A document whose load on two threads failed loads afterwards as if
  // never tried.
  ComPtr<Document> document = MakeCom<Document>(TwoThreads());
  EXPECT_EQ(document->LoadText(ManyObjects(kCount, kCount - 1, "{}"), "/pictures/Pic.grf"),
            STG_E_INVALIDHEADER);
  ASSERT_EQ(document->LoadText(ManyObjects(kCount), "/pictures/Pic.grf"), S_OK);
  EXPECT_EQ(Dump(document->Object().get()), Outcome(ManyObjects(kCount)));
  ComPtr<Document> fresh = LoadOk(ManyObjects(kCount));
  ASSERT_EQ(document->texts().size(), fresh->texts().size());
  for (uint32_t i = 0; i < fresh->texts().size(); ++i) {
    EXPECT_EQ(document->texts()[i], fresh->texts()[i]) << i;
  }
}

TEST(DocumentStorageTest, OnlyDocumentsOfManyObjectsLoadOnTwoThreads) {
  const size_t threshold = LoadOptions().parallel_load_objects;
  ASSERT_GE(threshold, 2u);
  const struct {
    size_t count;
    int parallel;
  } cases[] = {{1, 0}, {threshold - 1, 0}, {threshold, 1}, {threshold + 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    const int before = ParallelPieceLoads();
    LoadOk(ManyObjects(c.count));
    EXPECT_EQ(ParallelPieceLoads(), before + c.parallel);
  }
  // Nor when told to use one thread.
  const int before = ParallelPieceLoads();
  ComPtr<Document> document = MakeCom<Document>(Sequential());
  ASSERT_EQ(document->LoadText(ManyObjects(threshold * 2), "/pictures/Pic.grf"), S_OK);
  EXPECT_EQ(ParallelPieceLoads(), before);
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
