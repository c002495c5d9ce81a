// A conversion's output folder: names that are not regular files are left
// alone, a failed run keeps the previous page, stale temporaries go, and the
// page description's line ends are those of a page.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "driver/conversion_log.h"
#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "hmi/standin_host.h"
#include "platform/output_stage.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr char kRect[] = R"({"objects": [{"class": "Rect", "name": "R"}]})";
constexpr char kOval[] = R"({"objects": [{"class": "Oval", "name": "O"}]})";
// A bitmap with one plain image: one image file per state.
constexpr char kBitmap[] = R"({"objects": [{"class": "Bitmap", "name": "B",
    "images": [{"primary": {"rgb": 255, "width": 4, "height": 4}}]}]})";

class SafeOutputTest : public ::testing::Test {
 protected:
  SafeOutputTest() {
    ::mkdir(dir.File("pics").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.File("pics"));
    registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out"));
    context.services = env.services;
    context.registry = &registry;
    context.hmi = &host;
    context.state = &state;
  }

  int Convert(const std::string& document) {
    const std::string path = dir.File("pics/Pic1.grf");
    EXPECT_TRUE(WriteTextFile(path, document, WriteMode::kTruncate).ok());
    return RunConvertQevPicFile(context, path, nullptr, 0, 1);
  }
  std::string Out(const std::string& name) const { return dir.File("out/" + name); }
  // Every entry of the output folder and its bytes (folders and links by kind).
  std::map<std::string, std::string> Folder() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.File("out"))) {
      const std::string name = entry.path().filename().string();
      if (entry.is_symlink()) {
        files[name] = "link to " + fs::read_symlink(entry.path()).string();
      } else if (entry.is_regular_file()) {
        files[name] = ReadFile(entry.path().string());
      } else {
        files[name] = "(not a file)";
      }
    }
    return files;
  }
  std::string Boxes() const {
    std::string texts;
    for (const auto& box : env.ui.boxes) texts += box.text + "|";
    return texts;
  }

  TestServices env;
  TempDir dir;
  TempDir elsewhere;
  MemoryRegistry registry;
  standin::StandInHost host;
  ProcessState state;
  RunContext context;
};

TEST_F(SafeOutputTest, ACaptionsCrLfReachesThePageAsCrCrLf) {
  // A one-line text: its caption is one line of the page, and every "\n" of
  // the page description is written as CR LF, a CR before it included.
  ASSERT_EQ(Convert(R"({"objects": [{"class": "Text", "name": "T", "properties": {
      "VerticalPosition": 10.0, "Height": 30.0, "FontSize": 12, "NumberOfLines": 1,
      "MaxCharactersPerLine": 20, "Caption": "AB\r\nCD"}}]})"),
            1);
  const std::string jdf = ReadFile(Out("Pic1.JDF"));
  EXPECT_NE(jdf.find("(text \"AB\r\r\nCD\")"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find("(text \"AB\r\nCD\")"), std::string::npos);
}

TEST_F(SafeOutputTest, OutputNamesThatAreNotRegularFilesAreRefusedNeverFollowed) {
  const std::string target = elsewhere.File("precious");
  const struct {
    const char* kind;
    const char* name;
    const char* document;
  } cases[] = {
      {"symlink", "Pic1.JDF", kRect},       {"symlink", "Pic1.htm", kRect},
      {"symlink", "Pic1.Log", kRect},       {"symlink", "Pic1_B_P1.JPG", kBitmap},
      {"hard link", "Pic1.JDF", kRect},     {"hard link", "Pic1_B_P1.JPG", kBitmap},
      {"fifo", "Pic1.JDF", kRect},          {"fifo", "Pic1.htm", kRect},
      {"directory", "Pic1.JDF", kRect},     {"symlink", ".Pic1.quillon-lock", kRect},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.name);
    fs::remove_all(dir.File("out"));
    ::mkdir(dir.File("out").c_str(), 0755);
    env.ui.boxes.clear();
    ASSERT_TRUE(WriteTextFile(target, "keep me", WriteMode::kTruncate).ok());
    const std::string path = Out(c.name);
    const std::string kind = c.kind;
    if (kind == "symlink") {
      ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    }
    if (kind == "hard link") {
      ASSERT_EQ(::link(target.c_str(), path.c_str()), 0);
    }
    if (kind == "fifo") {
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    }
    if (kind == "directory") {
      ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    }
    const auto before = Folder();
    // A FIFO must not make the run wait: the test would hang here.
    int result = Convert(c.document);
    EXPECT_EQ(ReadFile(target), "keep me") << "written through the name";
    EXPECT_EQ(Folder().at(c.name), before.at(c.name)) << "the name itself was replaced";
    const std::string name = c.name;
    const bool page = name == "Pic1.JDF" || name == "Pic1.htm" || name[0] == '.';
    if (page) {
      EXPECT_EQ(result, 0) << "a page that could not be written is not converted";
    }
    if (name[0] != '.') {
      EXPECT_NE(Boxes().find(NotRegularFileText(path)), std::string::npos) << Boxes();
    }
    for (const auto& entry : Folder()) {
      const bool hidden = entry.first[0] == '.';
      EXPECT_TRUE(!hidden || entry.first == c.name)
          << "a temporary or the lock file was left: " << entry.first;
    }
  }
}

TEST_F(SafeOutputTest, AFailedRunKeepsThePreviousPageAndRemovesItsTemporaries) {
  ASSERT_EQ(Convert(kBitmap), 1);
  const auto before = Folder();
  ASSERT_EQ(before.count("Pic1_B_P1.JPG"), 1u);
  const struct {
    const char* name;
    FileStage stage;
  } faults[] = {
      {"Pic1.JDF", FileStage::kWrite}, {"Pic1.JDF", FileStage::kClose},
      {"Pic1.htm", FileStage::kWrite}, {"Pic1.htm", FileStage::kOpen},
      {"Pic1.JDF", FileStage::kOpen},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(std::string(fault.name) + " stage " + std::to_string(static_cast<int>(fault.stage)));
    env.ui.boxes.clear();
    {
      ScopedFileFault failing(fault.name, fault.stage, EIO);
      EXPECT_EQ(Convert(kOval), 0);
    }
    EXPECT_FALSE(env.ui.boxes.empty());
    auto after = Folder();
    // The log says what happened in this run; every page file is as it was.
    const std::string log = after["Pic1.Log"];
    after.erase("Pic1.Log");
    auto expected = before;
    expected.erase("Pic1.Log");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(log.find(env.Text(58)), std::string::npos) << "reported as converted: " << log;
  }
  // The next run converts and replaces everything.
  EXPECT_EQ(Convert(kOval), 1);
  EXPECT_NE(ReadFile(Out("Pic1.JDF")).find("TAVEllipse"), std::string::npos);
}

TEST_F(SafeOutputTest, ALaterRunRemovesTheTemporariesOfAKilledOne) {
  // What a run killed while writing leaves: its staging folder.
  const std::string stale = Out(".Pic1.quillon-k1LLed");
  ASSERT_EQ(::mkdir(stale.c_str(), 0755), 0);
  ASSERT_TRUE(WriteTextFile(stale + "/Pic1.JDF", "(half", WriteMode::kTruncate).ok());
  const std::string other = Out(".Pic2.quillon-k1LLed");
  ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
  ASSERT_EQ(Convert(kRect), 1);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(other)) << "another picture's run may still be writing";
}

TEST_F(SafeOutputTest, ReadOnlyRunsPublishTheLogAndNoPage) {
  const std::string path = dir.File("pics/Pic1.grf");
  ASSERT_TRUE(WriteTextFile(path, kBitmap, WriteMode::kTruncate).ok());
  EXPECT_EQ(RunConvertQevPicFile(context, path, nullptr, 0, 0), 0);
  const auto files = Folder();
  EXPECT_EQ(files.count("Pic1.Log"), 1u);
  EXPECT_EQ(files.count("Pic1.JDF"), 0u);
  EXPECT_EQ(files.count("Pic1_B_P1.JPG"), 0u);
}

}  // namespace
}  // namespace quillon
