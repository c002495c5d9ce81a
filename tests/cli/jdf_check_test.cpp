// The one-pass check of a page description against a walk of the whole
// list tree (the way the check used to work, and the way the viewer reads
// it): for every text, well formed or not, both report the same problem at
// the same line and column. Texts come from the writer's goldens, mutated
// at random, and from random nestings of the words the check knows.
#include "html5_page.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace quillon {
namespace cli {
namespace {

// The tree walk: reads the whole text into nodes, then checks the sections.
class TreeChecker {
 public:
  explicit TreeChecker(const std::string& text) : text_(text) {}

  JdfProblem Run() {
    if (!ReadTree()) return problem_;
    for (size_t section : top_) {
      if (!CheckSection(section)) return problem_;
    }
    return problem_;
  }

 private:
  struct Node {
    enum Kind { kList, kAtom, kString } kind;
    int line;
    int column;
    std::string text;
    std::vector<size_t> items;
  };

  static bool IsSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }

  bool Fail(const std::string& what, int line, int column) {
    problem_.what = what;
    problem_.line = line;
    problem_.column = column;
    return false;
  }

  void Advance() {
    unsigned char c = static_cast<unsigned char>(text_[pos_]);
    ++pos_;
    if (c == '\n') {
      ++line_;
      column_ = 1;
      return;
    }
    while (pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80) ++pos_;
    ++column_;
  }

  bool Place(size_t index) {
    if (stack_.empty()) {
      if (nodes_[index].kind != Node::kList) {
        return Fail("text outside parentheses", nodes_[index].line, nodes_[index].column);
      }
      top_.push_back(index);
    } else {
      nodes_[stack_.back()].items.push_back(index);
    }
    return true;
  }

  size_t NewNode(Node::Kind kind) {
    nodes_.push_back(Node{kind, line_, column_, std::string(), {}});
    return nodes_.size() - 1;
  }

  bool ReadTree() {
    const size_t n = text_.size();
    while (pos_ < n) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (IsSpace(c)) {
        Advance();
      } else if (c == '(') {
        if (stack_.size() >= 256) return Fail("lists nested deeper than 256", line_, column_);
        size_t list = NewNode(Node::kList);
        if (!Place(list)) return false;
        stack_.push_back(list);
        Advance();
      } else if (c == ')') {
        if (stack_.empty()) return Fail("')' without a matching '('", line_, column_);
        stack_.pop_back();
        Advance();
      } else if (c == '"') {
        size_t node = NewNode(Node::kString);
        Advance();
        bool closed = false;
        while (pos_ < n) {
          char d = text_[pos_];
          if (d == '"') {
            Advance();
            closed = true;
            break;
          }
          if (d == '\\') {
            Advance();
            if (pos_ >= n) break;
          }
          Advance();
        }
        if (!closed) {
          return Fail("quoted text without its closing '\"'", nodes_[node].line,
                      nodes_[node].column);
        }
        if (!Place(node)) return false;
      } else {
        size_t node = NewNode(Node::kAtom);
        size_t start = pos_;
        while (pos_ < n) {
          unsigned char d = static_cast<unsigned char>(text_[pos_]);
          if (IsSpace(d) || d == '(' || d == ')' || d == '"') break;
          Advance();
        }
        nodes_[node].text = text_.substr(start, pos_ - start);
        if (!Place(node)) return false;
      }
    }
    if (!stack_.empty()) {
      const Node& open = nodes_[stack_.back()];
      return Fail("'(' without its closing ')'", open.line, open.column);
    }
    if (top_.empty()) return Fail("the page description is empty", line_, column_);
    return true;
  }

  bool StartsWithAtom(const Node& node) const {
    return node.kind == Node::kList && !node.items.empty() &&
           nodes_[node.items[0]].kind == Node::kAtom;
  }

  bool CheckProperties(const Node& list) {
    for (size_t k = 1; k < list.items.size(); ++k) {
      const Node& entry = nodes_[list.items[k]];
      if (!StartsWithAtom(entry)) {
        return Fail("a property must be a list that starts with its name", entry.line,
                    entry.column);
      }
    }
    return true;
  }

  bool CheckObject(const Node& node) {
    if (node.kind != Node::kList || node.items.size() < 2 ||
        nodes_[node.items[0]].kind != Node::kAtom || nodes_[node.items[1]].kind != Node::kAtom) {
      return Fail("an object must be a list that starts with its name and its class", node.line,
                  node.column);
    }
    const std::string& name = nodes_[node.items[0]].text;
    for (size_t k = 2; k < node.items.size(); ++k) {
      const Node& part = nodes_[node.items[k]];
      if (!StartsWithAtom(part)) return Fail("unexpected text in object " + name, part.line, part.column);
      const std::string& word = nodes_[part.items[0]].text;
      if (word == "properties") {
        if (!CheckProperties(part)) return false;
      } else if (word == "objects") {
        for (size_t m = 1; m < part.items.size(); ++m) {
          if (!CheckObject(nodes_[part.items[m]])) return false;
        }
      }
    }
    return true;
  }

  bool CheckSection(size_t index) {
    const Node& section = nodes_[index];
    if (section.items.empty() || nodes_[section.items[0]].kind != Node::kAtom) {
      return Fail("a section must start with its name (properties, objects or links)",
                  section.line, section.column);
    }
    const Node& head = nodes_[section.items[0]];
    if (head.text == "properties") return CheckProperties(section);
    if (head.text == "objects") {
      for (size_t k = 1; k < section.items.size(); ++k) {
        if (!CheckObject(nodes_[section.items[k]])) return false;
      }
      return true;
    }
    if (head.text == "links") {
      for (size_t k = 1; k < section.items.size(); ++k) {
        const Node& link = nodes_[section.items[k]];
        if (link.kind != Node::kList || link.items.size() != 2 ||
            nodes_[link.items[0]].kind != Node::kAtom ||
            nodes_[link.items[1]].kind != Node::kAtom) {
          return Fail("a link must be a list of its target and its source", link.line,
                      link.column);
        }
      }
      return true;
    }
    return Fail("unknown section " + head.text + " (expected properties, objects or links)",
                head.line, head.column);
  }

  const std::string& text_;
  size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
  std::vector<Node> nodes_;
  std::vector<size_t> stack_;
  std::vector<size_t> top_;
  JdfProblem problem_;
};

// Both checks on `text`; returns the number of texts found malformed.
int ExpectSameProblem(const std::string& text) {
  const JdfProblem expected = TreeChecker(text).Run();
  const JdfProblem actual = CheckJdf(text);
  EXPECT_EQ(actual.what, expected.what) << text;
  EXPECT_EQ(actual.line, expected.line) << text;
  EXPECT_EQ(actual.column, expected.column) << text;
  return expected.ok() ? 0 : 1;
}

TEST(JdfOnePassCheckTest, AgreesWithTheTreeWalkOnMutatedGoldens) {
  std::mt19937 random(15);
  const char* pieces[] = {"(", ")", "\"", "\\", " ", "\r\n", "x", "objects", "properties",
                          "links", "(a)", "()", "\xc3\xa9", "(properties", "(objects (B C",
                          "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\t\t", "\"x\\\"\n\""};
  int malformed = 0;
  int texts = 0;
  for (const char* name : {"examples/golden/Overview.JDF", "examples/golden/Pumps.JDF",
                           "examples/golden/Trends.JDF", "tests/reader/data/shapes.JDF"}) {
    const std::string golden =
        JdfTextAsUtf8(ReadFile(std::string(QUILLON_SOURCE_DIR) + "/" + name));
    ASSERT_FALSE(golden.empty()) << name;
    texts += 1;
    malformed += ExpectSameProblem(golden);
    for (int round = 0; round < 400; ++round) {
      std::string text = golden;
      const int edits = 1 + static_cast<int>(random() % 3);
      for (int e = 0; e < edits; ++e) {
        const size_t at = random() % (text.size() + 1);
        switch (random() % 3) {
          case 0:  // delete a few bytes
            text.erase(at, 1 + random() % 4);
            break;
          case 1:  // insert a piece
            text.insert(at, pieces[random() % (sizeof pieces / sizeof pieces[0])]);
            break;
          default: {  // copy a span elsewhere
            const size_t from = random() % text.size();
            text.insert(at, text.substr(from, 1 + random() % 40));
          }
        }
      }
      texts += 1;
      malformed += ExpectSameProblem(text);
      if (::testing::Test::HasFailure()) return;
    }
  }
  // The mutations reach both kinds of texts.
  EXPECT_GT(malformed, texts / 2);
  EXPECT_LT(malformed, texts);
}

// Random page descriptions that follow the rules but for an element broken
// now and then (a word or a quoted text for a list, a list missing its
// head, an unknown section, a link of three), so that every rule, and the
// order among several broken elements, is met.
class RandomPage {
 public:
  explicit RandomPage(unsigned seed) : random_(seed) {}

  std::string Make() {
    text_.clear();
    const int sections = 1 + Below(3);
    for (int s = 0; s < sections; ++s) {
      if (s > 0) text_ += "\r\n";
      Section();
    }
    return text_;
  }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  bool Break() { return Below(100) < 2; }
  void Space() { text_ += Below(5) == 0 ? "\r\n\t" : " "; }
  void Word() {
    static const char* const kWords[] = {"A", "TAVText", "Width", "10", "foo", "properties",
                                         "objects", "links", "\xc3\xa9t\xc3\xa9"};
    text_ += kWords[Below(9)];
  }
  // Something that is not what its place asks for.
  void Wrong() {
    switch (Below(4)) {
      case 0: Word(); break;
      case 1: text_ += "\"t\\\"x\""; break;
      case 2: text_ += "()"; break;
      default: text_ += "((x) y)"; break;
    }
  }
  void Property() {
    if (Break()) return Wrong();
    text_ += "(";
    Word();
    if (Below(2)) {
      Space();
      text_ += Below(2) ? "12" : "\"a (b)\"";
    }
    text_ += ")";
  }
  void Object(int depth) {
    if (Break()) return Wrong();
    text_ += "(";
    if (!Break()) {
      Word();
      Space();
      if (Break()) Wrong(); else text_ += "TAVText";
    }
    const int parts = Below(3);
    for (int k = 0; k < parts; ++k) {
      Space();
      if (Break()) {
        Wrong();
      } else if (depth < 3 && Below(3) == 0) {
        text_ += "(objects";
        const int count = Below(3);
        for (int m = 0; m < count; ++m) {
          Space();
          Object(depth + 1);
        }
        text_ += ")";
      } else if (Below(4) == 0) {
        text_ += "(animations (x) \"y\" z)";
      } else {
        text_ += "(properties";
        const int count = Below(4);
        for (int m = 0; m < count; ++m) {
          Space();
          Property();
        }
        text_ += ")";
      }
    }
    text_ += ")";
  }
  void Link() {
    if (Break()) return Wrong();
    text_ += "(a.b c.d";
    if (Break()) text_ += " e";
    text_ += ")";
  }
  void Section() {
    if (Break()) return Wrong();
    const int kind = Below(3);
    text_ += Break() ? "(foo" : kind == 0 ? "(properties" : kind == 1 ? "(objects" : "(links";
    const int count = Below(kind == 1 ? 6 : 3);
    for (int k = 0; k < count; ++k) {
      Space();
      if (kind == 0) Property(); else if (kind == 1) Object(0); else Link();
    }
    text_ += ")";
  }

  std::mt19937 random_;
  std::string text_;
};

TEST(JdfOnePassCheckTest, AgreesWithTheTreeWalkOnRandomPages) {
  RandomPage pages(1500);
  int malformed = 0;
  const int kTexts = 20000;
  for (int round = 0; round < kTexts; ++round) {
    malformed += ExpectSameProblem(pages.Make());
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(malformed, kTexts / 5);
  EXPECT_LT(malformed, kTexts * 4 / 5);
}

TEST(JdfOnePassCheckTest, NestingLimitAndLateSyntaxProblems) {
  const std::string deepest = std::string(256, '(') + std::string(256, ')');
  const std::string deeper = std::string(257, '(') + std::string(257, ')');
  const std::string cases[] = {
      "(objects " + deepest + ")",
      deeper,
      "(objects " + deeper + ")",
      // A problem of the structure early and one of the syntax late: the
      // syntax wins, wherever it is.
      "(foo)\n(objects (A))\n\"x\"",
      "(objects (A))\n(links (a b c)))",
      "(objects (A B (properties ((x)))))\n(objects (C)\n",
      // Several broken elements: the one that starts first is reported.
      "(objects (A B (properties (x) 7) (objects (C)) bad))",
      "(links (a) (b c d))(objects ())",
      "(objects (A B (objects (C D (objects (E)))) (properties ())))",
      "(objects (A B (objects \"s\" (C))))",
  };
  for (const std::string& text : cases) ExpectSameProblem(text);
}

}  // namespace
}  // namespace cli
}  // namespace quillon
