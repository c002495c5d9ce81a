// Stand-in behaviours that the converter relies on and that go beyond the
// plain answers: items handed out whatever they refuse, and a document whose
// lookup by name is set to fail.
#include <gtest/gtest.h>

#include "hmi/document.h"
#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

// An item of a collection that refuses the dispatch interface is still
// handed out: only an explicit query for that interface is refused, and the
// object stays reachable through its other interfaces.
TEST(KeptBehavioursTest, AnItemRefusingTheDispatchInterfaceIsStillHandedOut) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Rect", "name": "X1", "refuse": ["Dispatch"]},
      {"class": "Group", "name": "G", "objects": [
        {"class": "Rect", "name": "X2", "refuse": ["Dispatch"]}]},
      {"class": "Chart", "name": "C", "pens": [
        {"class": "Pen", "name": "X3", "refuse": ["Dispatch"]}]}]})");
  ComPtr<IDispatch> top, members, pens;
  ASSERT_EQ(document->ContainedObjects(&top), S_OK);
  ASSERT_EQ(Find(document, "G")->ContainedObjects(&members), S_OK);
  ASSERT_EQ(FindAs<IHmiChart>(document, "C")->Pens(&pens), S_OK);
  struct Case {
    const char* owner;
    ComPtr<IDispatch> objects;
    const char* name;
  };
  const Case cases[] = {{"document", top, "X1"}, {"group", members, "X2"}, {"chart", pens, "X3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.owner);
    ComPtr<IHmiObjectCollection> collection;
    ASSERT_EQ(c.objects.As(&collection), S_OK);
    ComPtr<IDispatch> item;
    ASSERT_EQ(collection->Item(Variant::I4(1), &item), S_OK);
    ASSERT_TRUE(item);
    void* raw = nullptr;
    EXPECT_EQ(item->QueryInterface(InterfaceId::kDispatch, &raw), E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
    ComPtr<IHmiObject> object;
    ASSERT_EQ(item.As(&object), S_OK);
    std::string name;
    ASSERT_EQ(object->Name(&name), S_OK);
    EXPECT_EQ(name, c.name);
  }
}

// "ObjectByName" in a document's failure list makes the document's lookup
// by name fail, as it does for any object that lists it.
TEST(KeptBehavioursTest, ADocumentSetToFailObjectByNameFailsTheLookupByName) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "failing" : "healthy");
    ComPtr<Document> document =
        LoadOk(std::string(R"({"name": "Pic", "fail": [)") + (failing ? "\"ObjectByName\"" : "") +
               R"(], "objects": [{"class": "Rect", "name": "R"}]})");
    ComPtr<IHmiObject> found;
    EXPECT_EQ(document->Object()->ObjectByName("R", &found), failing ? E_FAIL : S_OK);
    EXPECT_EQ(static_cast<bool>(found), !failing);
  }
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
