// The stand-in document's table of texts and its shared name arrays: each
// text keeps one number and one place however the table grows, and objects
// that list the same names hand out one array with exactly their names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hmi/latin1.h"
#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

TEST(TextTableTest, EveryTextKeepsItsNumberAndPlaceAsTheTableGrows) {
  TextTable table;
  EXPECT_EQ(table.Find("absent"), TextTable::kAbsent) << "an empty table holds nothing";
  std::vector<std::string> texts = {"", "a", "A", "a ", std::string("a\0b", 3),
                                    std::string(8, 'x'), std::string(9, 'x'),
                                    std::string(16, 'x'), "Gr\xFC\xDF"};
  // Many texts alike but for their ends, so that the index grows several
  // times and texts meet in its slots.
  for (int i = 0; i < 5000; ++i) texts.push_back("Property" + std::to_string(i));
  std::vector<uint32_t> numbers;
  std::vector<const std::string*> places;
  for (const std::string& text : texts) {
    numbers.push_back(table.Add(text));
    places.push_back(&table[numbers.back()]);
  }
  ASSERT_EQ(table.size(), texts.size()) << "every text is new";
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(numbers[i], i);
    EXPECT_EQ(table.Add(texts[i]), numbers[i]) << "added again: the same number";
    EXPECT_EQ(table.Find(texts[i]), numbers[i]);
    EXPECT_EQ(&table[numbers[i]], places[i]) << "a text stays where it was";
    EXPECT_EQ(*places[i], texts[i]);
  }
  EXPECT_EQ(table.size(), texts.size()) << "nothing added twice";
  EXPECT_EQ(table.Find("Property5000"), TextTable::kAbsent);
  EXPECT_EQ(table.Find(std::string_view("a\0", 2)), TextTable::kAbsent);

  table.Clear();
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.Find("a"), TextTable::kAbsent);
  EXPECT_EQ(table.Add("b"), 0u) << "numbering starts again";
  EXPECT_EQ(table.Find("b"), 0u);
}

// The names of `object`'s name array, and the array itself.
std::vector<std::string> NamesOf(const ComPtr<IHmiObject>& object, const SafeArray** array) {
  Variant names;
  EXPECT_EQ(object->PropertyNames(&names), S_OK);
  *array = names.array();
  return Texts(names);
}

TEST(TextTableTest, ObjectsListingTheSameNamesShareOneArray) {
  ComPtr<Document> document = LoadOk(R"({"name": "Pic", "objects": [
      {"class": "Rect", "name": "A", "properties": {"Width": 1, "Height": 2}},
      {"class": "Rect", "name": "B", "properties": {"Width": 3, "Height": 4}},
      {"class": "Rect", "name": "C", "properties": {"Height": 5, "Width": 6}},
      {"class": "Rect", "name": "D", "properties": {"Width": 7}},
      {"class": "Oval", "name": "E", "properties": {"Width": 8, "Height": 9}}]})");
  const SafeArray* arrays[5];
  const std::vector<std::string> a = NamesOf(Find(document, "A"), &arrays[0]);
  const std::vector<std::string> b = NamesOf(Find(document, "B"), &arrays[1]);
  const std::vector<std::string> c = NamesOf(Find(document, "C"), &arrays[2]);
  const std::vector<std::string> d = NamesOf(Find(document, "D"), &arrays[3]);
  const std::vector<std::string> e = NamesOf(Find(document, "E"), &arrays[4]);
  const std::vector<std::string> width_height = {"Name", "ClassName", "FullyQualifiedName",
                                                 "Width", "Height"};
  EXPECT_EQ(a, width_height);
  EXPECT_EQ(b, width_height);
  EXPECT_EQ(c, (std::vector<std::string>{"Name", "ClassName", "FullyQualifiedName", "Height",
                                         "Width"}));
  EXPECT_EQ(d, (std::vector<std::string>{"Name", "ClassName", "FullyQualifiedName", "Width"}));
  EXPECT_EQ(e, width_height) << "the names, not the class, make the list";
  EXPECT_EQ(arrays[0], arrays[1]);
  EXPECT_EQ(arrays[0], arrays[4]);
  EXPECT_NE(arrays[0], arrays[2]) << "the same names in another order are another list";
  EXPECT_NE(arrays[0], arrays[3]);
  const SafeArray* again = nullptr;
  NamesOf(Find(document, "A"), &again);
  EXPECT_EQ(again, arrays[0]) << "asked again: the same array";
}

TEST(TextTableTest, ManyDifferentListsAllGiveTheirOwnNames) {
  // More different lists than the document keeps arrays for: those past
  // the limit are made anew each time, with the same names.
  std::string json = R"({"name": "Pic", "objects": [)";
  const int kObjects = 700;
  for (int i = 0; i < kObjects; ++i) {
    if (i > 0) json += ",";
    json += R"({"class": "Rect", "name": "R)" + std::to_string(i) + R"(", "properties": {"P)" +
            std::to_string(i) + R"(": 1}})";
  }
  json += "]}";
  ComPtr<Document> document = LoadOk(json);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < kObjects; i += 7) {
      SCOPED_TRACE(i);
      const SafeArray* array = nullptr;
      const std::vector<std::string> names =
          NamesOf(Find(document, "R" + std::to_string(i)), &array);
      EXPECT_EQ(names, (std::vector<std::string>{"Name", "ClassName", "FullyQualifiedName",
                                                 "P" + std::to_string(i)}));
    }
  }
}

TEST(Latin1Test, AsciiTextsAreRecognisedWhateverTheirLength) {
  struct Case {
    std::string text;
    bool ascii;
  };
  const Case cases[] = {
      {"", true},
      {"a", true},
      {std::string("\0\x7F", 2), true},
      {"1234567", true},
      {"12345678", true},
      {"123456789abcdefgh", true},
      {"\x80", false},
      {"1234567\xC3", false},
      {"12345678\xC3\xBC", false},
      {"\xC3\xBC" "2345678", false},
      {"abcdefghijklmnop\xFF", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsAscii(c.text), c.ascii);
    // ASCII comes through unchanged; the rest is converted.
    if (c.ascii) {
      EXPECT_EQ(Utf8ToLatin1(c.text), c.text);
    }
  }
  EXPECT_EQ(Utf8ToLatin1("12345678\xC3\xBC"), "12345678\xFC");
  EXPECT_EQ(Utf8ToLatin1("abc\xE2\x82\xAC"), "abc?") << "beyond Latin-1";
  EXPECT_EQ(Utf8ToLatin1("\xFF"), "?") << "malformed";
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
