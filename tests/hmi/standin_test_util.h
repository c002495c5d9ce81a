// Helpers of the stand-in HMI tests: loading documents from text, finding
// objects and describing values.
#ifndef QUILLON_TESTS_HMI_STANDIN_TEST_UTIL_H_
#define QUILLON_TESTS_HMI_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hmi/document.h"
#include "reader/hmi/automation.h"
#include "reader/hmi/variant.h"

namespace quillon {
namespace standin {
namespace testing {

using namespace hmi;  // NOLINT: the tests speak the automation vocabulary

// A loaded document; a failed load is a test failure.
inline ComPtr<Document> LoadOk(const std::string& json,
                               const std::string& origin = "/pictures/Plant.grf") {
  ComPtr<Document> document = MakeCom<Document>();
  HRESULT hr = document->LoadText(json, origin);
  EXPECT_EQ(hr, S_OK) << document->load_error();
  return document;
}

// The object of the document called `name` (Name or full name); null and a
// test failure when there is none.
inline ComPtr<IHmiObject> Find(const ComPtr<Document>& document, const std::string& name) {
  ComPtr<IHmiObject> object;
  HRESULT hr = document->Object()->ObjectByName(name, &object);
  EXPECT_EQ(hr, S_OK) << "no object " << name;
  return object;
}

// Interface T of the document's object `name`.
template <class T>
ComPtr<T> FindAs(const ComPtr<Document>& document, const std::string& name) {
  ComPtr<T> typed;
  ComPtr<IHmiObject> object = Find(document, name);
  if (object) {
    EXPECT_EQ(object.As(&typed), S_OK) << name;
  }
  return typed;
}

// "TYPE:value", e.g. "I4:3", "BSTR:abc", "BOOL:-1", "EMPTY".
inline std::string Describe(const Variant& value) {
  switch (value.vt()) {
    case VT_EMPTY:
      return "EMPTY";
    case VT_I2:
      return "I2:" + std::to_string(value.i2());
    case VT_I4:
      return "I4:" + std::to_string(value.i4());
    case VT_UI1:
      return "UI1:" + std::to_string(value.ui1());
    case VT_BOOL:
      return "BOOL:" + std::to_string(value.bool_val());
    case VT_R4: {
      char text[32];
      std::snprintf(text, sizeof text, "R4:%g", value.r4());
      return text;
    }
    case VT_R8: {
      char text[32];
      std::snprintf(text, sizeof text, "R8:%g", value.r8());
      return text;
    }
    case VT_BSTR:
      return "BSTR:" + value.bstr();
    case VT_DISPATCH:
      return "DISPATCH";
    default:
      return "VT:" + std::to_string(value.vt());
  }
}

// The texts of a VT_ARRAY|VT_BSTR value.
inline std::vector<std::string> Texts(const Variant& names) {
  std::vector<std::string> texts;
  EXPECT_EQ(names.vt(), VT_ARRAY | VT_BSTR);
  if (!names.array()) return texts;
  int32_t low = 0, high = -1;
  names.array()->GetLBound(1, &low);
  names.array()->GetUBound(1, &high);
  for (int32_t i = low; i <= high; ++i) {
    Variant element;
    EXPECT_EQ(names.array()->GetElement(i, &element), S_OK);
    texts.push_back(element.bstr());
  }
  return texts;
}

inline std::vector<std::string> PropertyNamesOf(const ComPtr<IHmiObject>& object) {
  Variant names;
  EXPECT_EQ(object->PropertyNames(&names), S_OK);
  return Texts(names);
}

// `outcome` without the column of a parse error: a "\u" escape is longer
// than the letter it stands for, so the two spellings of one document fail
// at different columns.
inline std::string WithoutColumn(std::string outcome) {
  const size_t at = outcome.find("column ");
  if (at == std::string::npos) return outcome;
  size_t end = at + 7;
  while (end < outcome.size() && outcome[end] >= '0' && outcome[end] <= '9') ++end;
  return outcome.erase(at + 7, end - at - 7);
}

}  // namespace testing
}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_TESTS_HMI_STANDIN_TEST_UTIL_H_
