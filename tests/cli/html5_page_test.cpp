// The HTML5 page of a picture: the syntax check that `quillon view` reports
// with (the same cases as the viewer's own tests), the safe embedding of the
// page description, and the writing of NAME.html.
#include "html5_page.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "run_outcome.h"
#include "support/test_env.h"

namespace quillon {
namespace cli {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// The JSON text between the page description's element tags.
std::string EmbeddedJson(const std::string& page) {
  const std::string open = "<script type=\"application/json\" id=\"quillon-jdf\">";
  size_t start = page.find(open);
  if (start == std::string::npos) return std::string();
  start += open.size();
  return page.substr(start, page.find("</script>", start) - start);
}

TEST(CheckJdfTest, ReportsWhatTheViewerReports) {
  const std::string cases_text =
      ReadFile(std::string(QUILLON_SOURCE_DIR) + "/viewer/test/malformed-cases.json");
  ASSERT_FALSE(cases_text.empty());
  const nlohmann::json cases = nlohmann::json::parse(cases_text);
  ASSERT_GT(cases.size(), 20u);
  for (const auto& entry : cases) {
    const std::string jdf = entry["jdf"];
    const JdfProblem problem = CheckJdf(jdf);
    EXPECT_EQ(problem.what, entry["what"].get<std::string>()) << jdf;
    EXPECT_EQ(problem.line, entry["line"].get<int>()) << jdf;
    EXPECT_EQ(problem.column, entry["column"].get<int>()) << jdf;
    EXPECT_EQ(problem.Message(), "line " + std::to_string(problem.line) + ", column " +
                                     std::to_string(problem.column) + ": " + problem.what);
  }
}

TEST(CheckJdfTest, AcceptsWhatTheWriterWrites) {
  for (const char* name : {"examples/golden/Overview.JDF", "examples/golden/Pumps.JDF",
                           "examples/golden/Trends.JDF", "tests/reader/data/shapes.JDF"}) {
    const std::string text = ReadFile(std::string(QUILLON_SOURCE_DIR) + "/" + name);
    ASSERT_FALSE(text.empty()) << name;
    const JdfProblem problem = CheckJdf(JdfTextAsUtf8(text));
    EXPECT_TRUE(problem.ok()) << name << ": " << problem.Message();
  }
}

TEST(JdfTextTest, KeepsUtf8AndReadsAnythingElseAsLatin1) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"(text \"abc\")", "(text \"abc\")"},
      {"(text \"\xb0" "C\")", "(text \"\xc2\xb0" "C\")"},      // Latin-1 degree sign
      {"(text \"\xc2\xb0" "C\")", "(text \"\xc2\xb0" "C\")"},  // already UTF-8
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                        // overlong: not UTF-8
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},            // a surrogate: not UTF-8
      {"\xe2\x82", "\xc3\xa2\xc2\x82"},                        // cut short
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(JdfTextAsUtf8(c.bytes), c.text) << c.bytes;
  // The same after runs of ASCII of every length across a few eight-byte
  // words, with ASCII after them too.
  for (size_t run = 0; run < 20; ++run) {
    const std::string ascii(run, 'a');
    for (const Case& c : cases) {
      EXPECT_EQ(JdfTextAsUtf8(ascii + c.bytes + "bcdefghij"), ascii + c.text + "bcdefghij")
          << run << " " << c.bytes;
      EXPECT_EQ(JdfTextAsUtf8(ascii + c.bytes), ascii + c.text) << run << " " << c.bytes;
    }
  }
}

TEST(BuildHtml5PageTest, NothingInTheDescriptionOrTitleCanBecomeMarkup) {
  const std::string jdf =
      "(objects (T TAVText (properties (text \"</script><img src=x onerror=alert(1)>"
      "<!-- & \\\" \xe2\x80\xa8\"))))\r\n\t";
  const std::string page = BuildHtml5Page("<b>Pic & \"1\"</b>", jdf);
  EXPECT_NE(page.find("<title>&lt;b&gt;Pic &amp; &quot;1&quot;&lt;/b&gt;</title>"),
            std::string::npos);
  const std::string json = EmbeddedJson(page);
  EXPECT_EQ(json.find_first_of("<>&\r\n\t"), std::string::npos) << json;
  EXPECT_EQ(json.find("\xe2\x80\xa8"), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), jdf);
  // The page's only script ends are those of its two script elements.
  size_t ends = 0;
  for (size_t at = page.find("</script"); at != std::string::npos;
       at = page.find("</script", at + 1)) {
    ++ends;
  }
  EXPECT_EQ(ends, 2u);
  EXPECT_NE(page.find("bootPage(document);"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
}

// Escapes at every place of the text: first, last, next to each other and
// between runs of plain bytes; line separators cut short are left as they are.
TEST(BuildHtml5PageTest, EveryEscapeRoundTripsWhereverItStands) {
  const std::string cases[] = {
      "",
      "plain text only",
      "\xe2\x80\xa8",
      "a\xe2\x80\xa9",
      "\xe2\x80\xa8\xe2\x80\xa9" "b",
      "\xe2\x82\xac euro \xe2\x82\xac",
      "end \xe2\x80\xa8",
      "\x01\x1f\x7f<>&\"\\\r\n\t",
      "(properties\r\n\t(text \"</script>\")\r\n)\r\n",
      "\xc3\xa9t\xc3\xa9 \xe2\x80\xa8\t\xe2\x80\xa9<",
  };
  for (const std::string& text : cases) {
    const std::string json = EmbeddedJson(BuildHtml5Page("t", text));
    EXPECT_EQ(json.find_first_of("<>&\r\n\t\x01\x1f\x7f"), std::string::npos)
        << json;
    EXPECT_EQ(json.find("\xe2\x80\xa8"), std::string::npos) << json;
    EXPECT_EQ(json.find("\xe2\x80\xa9"), std::string::npos) << json;
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), text) << json;
  }
}

TEST(BuildHtml5PageTest, HoldsTheWholeViewer) {
  const std::string viewer =
      ReadFile(std::string(QUILLON_SOURCE_DIR) + "/viewer/quillon-viewer.js");
  ASSERT_FALSE(viewer.empty());
  EXPECT_EQ(std::string(kViewerSource, kViewerSourceSize), viewer);
  EXPECT_NE(BuildHtml5Page("x", "").find(viewer), std::string::npos);
}

TEST(Html5PathTest, ReplacesTheExtensionBesideTheDescription) {
  const std::pair<std::string, std::string> cases[] = {
      {"out/Overview.JDF", "out/Overview.html"},
      {"Overview.jdf", "Overview.html"},
      {"a.b/Pic", "a.b/Pic.html"},
      {"Pic", "Pic.html"},
      {"dir/Pic.1.JDF", "dir/Pic.1.html"},
  };
  for (const auto& c : cases) EXPECT_EQ(Html5PathBeside(c.first), c.second) << c.first;
}

TEST(WriteHtml5PageTest, WritesThePageAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string jdf = ReadFile(std::string(QUILLON_SOURCE_DIR) + "/examples/golden/Pumps.JDF");
  WriteBytes(dir.File("Pumps.JDF"), jdf);
  WriteBytes(dir.File("Pumps.html"), "old page");
  std::string message;
  EXPECT_EQ(WriteHtml5Page(dir.File("Pumps.JDF"), dir.File("Pumps.html"), &message),
            PageResult::kWritten);
  EXPECT_EQ(message, "");
  const std::string page = ReadFile(dir.File("Pumps.html"));
  EXPECT_EQ(page, BuildHtml5Page("Pumps", jdf));
  EXPECT_NE(page.find("<title>Pumps</title>"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat(dir.File("Pumps.html").c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
  // Only the description and its page are in the folder.
  const std::string listing = dir.path();
  FILE* pipe = popen(("ls -A '" + listing + "' | wc -l").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  int count = 0;
  EXPECT_EQ(fscanf(pipe, "%d", &count), 1);
  pclose(pipe);
  EXPECT_EQ(count, 2);
}

// A description of several megabytes is written in pieces; a character at
// the end of a piece (a line separator, which is escaped whole) is never
// cut, and the file holds the same page as the one built whole.
TEST(WriteHtml5PageTest, ALargeDescriptionIsWrittenInPiecesAsItIsBuilt) {
  TempDir dir;
  const size_t kPiece = size_t{1} << 20;
  std::string jdf = "(objects\r\n\t(T TAVText (properties (text \"";
  for (size_t boundary = kPiece; boundary <= 3 * kPiece; boundary += kPiece) {
    // A line separator across the first boundary, an e-acute across the
    // second and a euro sign across the third.
    const std::string character = boundary == kPiece       ? "\xe2\x80\xa8"
                                  : boundary == 2 * kPiece ? "\xc3\xa9"
                                                           : "\xe2\x82\xac";
    jdf.append(boundary - jdf.size() - 1, 'x');
    jdf += character;
  }
  jdf += "\"))))\r\n";
  WriteBytes(dir.File("Big.JDF"), jdf);
  std::string message;
  ASSERT_EQ(WriteHtml5Page(dir.File("Big.JDF"), dir.File("Big.html"), &message),
            PageResult::kWritten)
      << message;
  const std::string page = ReadFile(dir.File("Big.html"));
  EXPECT_EQ(page, BuildHtml5Page("Big", jdf));
  const std::string json = EmbeddedJson(page);
  EXPECT_EQ(json.find("\xe2\x80\xa8"), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), jdf);
}

// The description is read whole whatever its size and however it comes: at
// and around the size of a large page of memory, in Latin-1, and from a
// pipe, which tells no size and outgrows the room first taken.
TEST(WriteHtml5PageTest, TheDescriptionIsReadWholeWhateverItsSizeAndSource) {
  const size_t kLargePage = size_t{2} << 20;
  auto text_of = [](size_t size, const std::string& middle) {
    std::string jdf = "(objects\r\n\t(T TAVText (properties (text \"" + middle;
    const std::string end = "\"))))\r\n";
    if (size > jdf.size() + end.size()) jdf.append(size - jdf.size() - end.size(), 'y');
    return jdf + end;
  };
  const struct Case {
    const char* what;
    std::string bytes;
    bool through_pipe;
  } cases[] = {
      {"one byte short of a large page", text_of(kLargePage - 1, "a"), false},
      {"a large page", text_of(kLargePage, "b"), false},
      {"a large page and one byte", text_of(kLargePage + 1, "c"), false},
      {"Latin-1", text_of(3 * kLargePage, "K\xfchler \xb0" "C"), false},
      {"from a pipe", text_of(5 * kLargePage + 12345, "\xe2\x82\xac"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string jdf = dir.File("Pic.JDF");
    std::thread feeder;
    if (c.through_pipe) {
      ASSERT_EQ(mkfifo(jdf.c_str(), 0600), 0);
      feeder = std::thread([&]() { WriteBytes(jdf, c.bytes); });
    } else {
      WriteBytes(jdf, c.bytes);
    }
    std::string message;
    EXPECT_EQ(WriteHtml5Page(jdf, dir.File("Pic.html"), &message), PageResult::kWritten)
        << message;
    if (feeder.joinable()) feeder.join();
    const std::string page = ReadFile(dir.File("Pic.html"));
    EXPECT_TRUE(page == BuildHtml5Page("Pic", JdfTextAsUtf8(c.bytes)));
  }
}

TEST(WriteHtml5PageTest, ALatin1FileNameMakesAValidTitle) {
  TempDir dir;
  const std::string jdf = dir.File("K\xfchler.JDF");  // Latin-1 u umlaut
  WriteBytes(jdf, "(objects)");
  std::string message;
  ASSERT_EQ(WriteHtml5Page(jdf, dir.File("page.html"), &message), PageResult::kWritten);
  EXPECT_NE(ReadFile(dir.File("page.html")).find("<title>K\xc3\xbchler</title>"),
            std::string::npos);
}

TEST(WriteHtml5PageTest, AMalformedDescriptionGetsAPageThatSaysWhy) {
  TempDir dir;
  WriteBytes(dir.File("Bad.JDF"), "(properties\r\n\t(width 10)\r\n(objects\r\n");
  std::string message;
  EXPECT_EQ(WriteHtml5Page(dir.File("Bad.JDF"), dir.File("Bad.html"), &message),
            PageResult::kMalformed);
  EXPECT_EQ(message, "line 3, column 1: '(' without its closing ')'");
  EXPECT_TRUE(FileExists(dir.File("Bad.html")));
}

TEST(WriteHtml5PageTest, ReportsFilesThatCannotBeReadOrWritten) {
  TempDir dir;
  std::string message;
  EXPECT_EQ(WriteHtml5Page(dir.File("Missing.JDF"), dir.File("Missing.html"), &message),
            PageResult::kFailed);
  EXPECT_EQ(message, "cannot read " + dir.File("Missing.JDF") + ": No such file or directory");
  EXPECT_FALSE(FileExists(dir.File("Missing.html")));

  WriteBytes(dir.File("Pic.JDF"), "(objects)");
  EXPECT_EQ(WriteHtml5Page(dir.File("Pic.JDF"), dir.File("no-folder/Pic.html"), &message),
            PageResult::kFailed);
  EXPECT_EQ(message,
            "cannot write " + dir.File("no-folder/Pic.html") + ": No such file or directory");
}

TEST(WriteHtml5PageOfOutcomeTest, WritesBesideTheConvertedPictureOrSaysWhyNot) {
  TempDir dir;
  PictureOutcome outcome;
  outcome.output_directory = dir.path();
  outcome.name = "Pic";
  std::string error;
  EXPECT_FALSE(WriteHtml5PageOfOutcome(outcome, &error));
  EXPECT_EQ(error, "no HTML5 page: cannot read " + dir.File("Pic.JDF") +
                       ": No such file or directory");
  WriteBytes(dir.File("Pic.JDF"), "(objects (A))");
  EXPECT_FALSE(WriteHtml5PageOfOutcome(outcome, &error));
  EXPECT_EQ(error, "its HTML5 page shows a problem of " + dir.File("Pic") +
                       ".JDF: line 1, column 10: an object must be a list that starts with its "
                       "name and its class");
  WriteBytes(dir.File("Pic.JDF"), "(objects)");
  error.clear();
  EXPECT_TRUE(WriteHtml5PageOfOutcome(outcome, &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(dir.File("Pic.html")), BuildHtml5Page("Pic", "(objects)"));
}

TEST(RunViewTest, ExitStatusAndTheDescriptionIsNeverReplaced) {
  TempDir dir;
  WriteBytes(dir.File("Good.JDF"), "(objects)");
  WriteBytes(dir.File("Bad.JDF"), "(objects");
  EXPECT_EQ(RunView(dir.File("Good.JDF"), ""), 0);
  EXPECT_TRUE(FileExists(dir.File("Good.html")));
  EXPECT_EQ(RunView(dir.File("Good.JDF"), dir.File("Other.html")), 0);
  EXPECT_TRUE(FileExists(dir.File("Other.html")));
  EXPECT_EQ(RunView(dir.File("Bad.JDF"), ""), 1);
  EXPECT_TRUE(FileExists(dir.File("Bad.html")));
  EXPECT_EQ(RunView(dir.File("Missing.JDF"), ""), 1);
  EXPECT_EQ(RunView(dir.File("Good.JDF"), dir.File("Good.JDF")), 1);
  EXPECT_EQ(ReadFile(dir.File("Good.JDF")), "(objects)");
}

// Link targets of the run's index and the served index: a name with a
// blank, a quote, a "#", a "?" or bytes above 127 must stay one path.
TEST(UrlPathEscapeTest, KeepsOnlyPathCharacters) {
  const struct {
    const char* relative;
    const char* link;
  } cases[] = {
      {"Area 1/Overview.html", "Area%201/Overview.html"},
      {"a\"b<c>.html", "a%22b%3Cc%3E.html"},
      {"what?#x&y.html", "what%3F%23x%26y.html"},
      {"Pr\xC3\xBC" "fung.html", "Pr%C3%BCfung.html"},
      {"A-z_0.9~", "A-z_0.9~"},
      {"100%.html", "100%25.html"},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlPathEscape(c.relative), c.link) << c.relative;
}

}  // namespace
}  // namespace cli
}  // namespace quillon
