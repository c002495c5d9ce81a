// The document loader's two parsers: a document read by the fast parser and
// the same document read by the reference parser (which a "\u" escape in a
// text selects) load alike, or fail with the same message.
#include <gtest/gtest.h>

#include "hmi/document.h"
#include "standin_test_util.h"

namespace quillon {
namespace standin {
namespace {

using testing::WithoutColumn;

// The outcome of a load: the error, or the name and root properties.
std::string Outcome(const std::string& text) {
  Document document;
  if (document.LoadText(text, "/pictures/Pic.grf") < 0) return "error: " + document.load_error();
  std::string outcome = "loaded " + document.name();
  for (const Property& property : document.root()->properties()) {
    outcome += " " + document.root()->NameOf(property);
  }
  return outcome;
}

TEST(DocumentParsersTest, BothParsersLoadAlikeAndFailWithOneMessage) {
  // Each document names itself with `NAME`: "PA" plainly, or "P\u0041".
  const char* const documents[] = {
      R"({"name": "NAME", "width": 800, "objects": [{"class": "Rect", "name": "R"}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": 5}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect"}]})",
      R"({"name": "NAME", "objects": {"class": "Rect"}})",
      R"({"name": "NAME", "width": "wide"})",
      R"({"name": "NAME", "width": 1e308, "height": -1.5e-300})",
      R"({"name": "NAME", "backgroundColor": 4294967296})",
      R"({"name": "NAME", "backgroundColor": 18446744073709551615})",
      R"({"name": "NAME", "pixelsPerUnit": [1, 2, 3]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R",
          "properties": {"A": {"i2": 40000}}}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R",
          "properties": {"A": {"i2": 1, "i4": 2}}}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R",
          "properties": {"A": {"q8": 1}, "B": [1]}}]})",
      R"({"name": "NAME", "objects": [{"class": "Rect", "name": "R",
          "properties": {"A": 3000000000, "B": -3000000000, "C": true, "D": null}}]})",
      R"({"name": "NAME", "objects": [{"class": "Bitmap", "name": "B",
          "images": [{"primary": {"rgb": 1, "width": 70000}}]}]})",
      R"({"name": "NAME", "objects": [{"class": "Lookup", "name": "L",
          "lookup": {"levels": [{"in": 1, "out": {"bool": 2}}]}}]})",
      R"({"name": "NAME", "refuse": ["IHmiNothing"]})",
      R"({"name": "NAME", "objects": [)",
      R"({"name": "NAME", "objects": [1e400]})",
  };
  for (const char* document : documents) {
    std::string plain = document;
    std::string escaped = document;
    plain.replace(plain.find("NAME"), 4, "PA");
    escaped.replace(escaped.find("NAME"), 4, "P\\u0041");
    SCOPED_TRACE(plain);
    const std::string outcome = Outcome(plain);
    EXPECT_EQ(WithoutColumn(outcome), WithoutColumn(Outcome(escaped)));
    EXPECT_FALSE(outcome.empty());
  }
}

TEST(DocumentParsersTest, ARepeatedKeyKeepsItsLastValueAsTheReferenceParserDoes) {
  EXPECT_EQ(Outcome(R"({"name": "A", "name": "B"})"), Outcome(R"({"name": "B"})"));
  EXPECT_EQ(Outcome(R"({"name": "A", "objects": [{"class": "Rect", "name": "R", "name": 4}]})"),
            Outcome(R"({"name": "A", "objects": [{"class": "Rect", "name": 4}]})"));
  // Keys of one length and last character, distinct or repeated.
  EXPECT_EQ(Outcome(R"({"name": "A", "objects": [{"class": "Rect", "name": "R",)"
                    R"( "Width": 1, "Depth": 2, "Width": 3}]})"),
            Outcome(R"({"name": "A", "objects": [{"class": "Rect", "name": "R",)"
                    R"( "Depth": 2, "Width": 3}]})"));
  // The same key in nested and sibling objects is no repeat; a repeat after
  // them still is.
  EXPECT_EQ(Outcome(R"({"name": "A", "objects": [{"class": "Group", "name": "G", "objects": [)"
                    R"({"class": "Rect", "name": "R1"}, {"class": "Rect", "name": "R2"}],)"
                    R"( "name": "H"}]})"),
            Outcome(R"({"name": "A", "objects": [{"class": "Group", "objects": [)"
                    R"({"class": "Rect", "name": "R1"}, {"class": "Rect", "name": "R2"}],)"
                    R"( "name": "H"}]})"));
}

}  // namespace
}  // namespace standin
}  // namespace quillon
