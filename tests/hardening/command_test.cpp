// Unsafe inputs given to the quillon command itself: each run is checked for
// its message, its exit status, and the bytes of every file in and outside
// the output folder before and after it. A run that would hang is killed
// and fails its test.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging.h"
#include "reader/picture_reader.h"
#include "support/image_files.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr int kRunSeconds = 30;  // a run still going then is taken as hung

struct RunResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
};

// The files under a folder: relative path -> bytes ("<fifo>", "<other>" for
// what is not a regular file, "<dir>" for folders).
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const std::string& root) {
  Snapshot files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = it->path().lexically_relative(root).string();
    const fs::file_status status = it->symlink_status(error);
    if (fs::is_symlink(status)) {
      files[relative] = "<link " + fs::read_symlink(it->path(), error).string() + ">";
    } else if (fs::is_regular_file(status)) {
      files[relative] = ReadFile(it->path().string());
    } else if (fs::is_directory(status)) {
      files[relative] = "<dir>";
    } else {
      files[relative] = fs::is_fifo(status) ? "<fifo>" : "<other>";
    }
  }
  return files;
}

// The names whose entries differ between two snapshots.
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : after) {
    auto old = before.find(name);
    if (old == before.end() || old->second != bytes) names.push_back(name);
  }
  for (const auto& [name, bytes] : before) {
    if (after.count(name) == 0) names.push_back(name + " (removed)");
  }
  return names;
}

// Parenthesis depth of a page description outside its quoted texts: the
// lowest it reaches and where it ends (both 0 for a sound page).
void Depths(const std::string& jdf, int* lowest, int* end) {
  int depth = 0;
  *lowest = 0;
  bool quoted = false;
  for (size_t i = 0; i < jdf.size(); ++i) {
    const char c = jdf[i];
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') quoted = true;
    if (c == '(') ++depth;
    if (c == ')') *lowest = std::min(*lowest, --depth);
  }
  *end = depth;
}

class CommandTest : public ::testing::Test {
 protected:
  CommandTest() {
    for (const char* folder : {"pics", "out", "outside"}) fs::create_directory(dir.File(folder));
    Write("outside/keep.txt", "not to be touched\n");
    WriteSettings("WebOutPath", dir.File("out"));
  }

  void Write(const std::string& name, const std::string& bytes) {
    FILE* file = std::fopen(dir.File(name).c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  // The settings file lies in a folder of its own: a run may add the keys
  // it reads to it.
  std::string SettingsPath() const { return logs.File("settings.reg"); }
  void WriteSettingsText(const std::string& text) {
    FILE* file = std::fopen(SettingsPath().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  // A settings file with the local data source DS, the node NODE1, the
  // picture directory pics/ and `key` (under the converter's keys) set to
  // `value` as a registry text writes it.
  void WriteSettings(const std::string& key, const std::string& value) {
    std::string escaped;
    for (char c : value) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    WriteSettingsText(
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\r\n@=\"DS\"\r\n"
          "\"OpcProgID\"=\"Velquist.OPCEDA\"\r\n\"OpcServerMachineName\"=\"\"\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]\r\n@=\"NODE1\"\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\"" +
              dir.File("pics") + "\"\r\n\r\n[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\" +
              key + "]\r\n@=\"" + escaped + "\"\r\n");
  }

  // Runs quillon with `args` (after "--registry settings.reg" unless
  // `settings` is false) in the test folder, standard input closed.
  RunResult Run(const std::vector<std::string>& args, bool settings = true,
                rlim_t address_space = 0) {
    std::vector<std::string> argv = {QUILLON_COMMAND};
    if (settings) argv.insert(argv.end(), {"--registry", SettingsPath()});
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string out_path = logs.File("out"), err_path = logs.File("err");
    const pid_t child = ::fork();
    if (child == 0) {
      ::alarm(kRunSeconds);
      if (address_space != 0) {
        const struct rlimit limit = {address_space, address_space};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
      }
      if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0) ::_exit(126);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> pointers;
      for (std::string& arg : argv) pointers.push_back(arg.data());
      pointers.push_back(nullptr);
      ::execv(pointers[0], pointers.data());
      ::_exit(127);
    }
    RunResult result;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = ReadFile(out_path);
    result.err = ReadFile(err_path);
    EXPECT_NE(result.status, 128 + SIGALRM) << "the run hung: " << result.err;
    return result;
  }

  std::string Out(const std::string& name) const { return ReadFile(dir.File("out/" + name)); }

  // Runs and expects exactly `changed` (relative to the test folder) to be
  // new or different afterwards.
  RunResult RunChanging(const std::vector<std::string>& args,
                        std::vector<std::string> changed, bool settings = true) {
    const Snapshot before = Take(dir.path());
    RunResult result = Run(args, settings);
    std::sort(changed.begin(), changed.end());
    std::vector<std::string> actual = Changed(before, Take(dir.path()));
    // The run's index of the output folder and the HTML5 page beside each
    // page come with every page written there; the command's and the
    // viewer's own tests check them.
    actual.erase(std::remove_if(actual.begin(), actual.end(),
                                [](const std::string& path) {
                                  return path.rfind("out/", 0) == 0 && path.size() >= 5 &&
                                         path.compare(path.size() - 5, 5, ".html") == 0;
                                }),
                 actual.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, changed) << result.err;
    return result;
  }

  TempDir dir;
  TempDir logs;
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

const char kRect[] = R"({"objects": [{"class": "Rect", "name": "R"}]})";

// Unusable settings stop the run with their reason and write nothing
// anywhere; usable ones of any length, or ending in "\", are the folder.
TEST_F(CommandTest, OutputDirectoryFromUnusableSettingsStopsTheRun) {
  Write("pics/P.grf", kRect);
  struct Case {
    const char* what;
    std::string settings;  // written whole; empty: WebOutPath = `directory`
    std::string directory;
    std::string reason;  // in the message; empty when the run converts
    std::string lands_in;
  };
  const std::string long_folder =
      "out/" + std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
  fs::create_directories(dir.File(long_folder));
  const Case cases[] = {
      {"unparseable", "this is no settings file\n", "", "settings.reg: line 1: not a registry file", ""},
      {"empty", "", "", "the settings name no output directory", ""},
      {"300 characters", "", dir.File(long_folder), "", long_folder},
      {"ending in a backslash", "", dir.File("out") + "\\", "", "out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.settings.empty()) {
      WriteSettings("WebOutPath", c.directory);
    } else {
      WriteSettingsText(c.settings);
    }
    std::vector<std::string> changed;
    if (!c.lands_in.empty()) {
      for (const char* file : {"/P.JDF", "/P.htm", "/P.Log"}) changed.push_back(c.lands_in + file);
    }
    const RunResult run = RunChanging({"convert", "pics/P.grf"}, changed);
    if (c.reason.empty()) {
      EXPECT_EQ(run.status, 0) << run.err;
    } else {
      EXPECT_EQ(run.status, 1);
      // The settings file is named with what is wrong in it, once.
      const std::string said = c.settings.empty()
                                   ? "The output directory cannot be used: " + c.reason
                                   : "quillon: the settings file cannot be used: ";
      EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find(said), run.err.rfind(said)) << run.err;
    }
  }
}

TEST_F(CommandTest, MarkupInAPictureNameIsWrittenAsCharacterReferences) {
  const std::string name = "x\"><img src=x onerror=alert(1)>";
  Write("pics/" + name + ".grf", kRect);
  const RunResult run = RunChanging({"convert", "pics/" + name + ".grf"},
                                    {"out/" + name + ".JDF", "out/" + name + ".htm",
                                     "out/" + name + ".Log"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string page = Out(name + ".htm");
  const std::string escaped = "x&quot;&gt;&lt;img src=x onerror=alert(1)&gt;.JDF";
  EXPECT_NE(page.find("<title>" + escaped + "</title>"), std::string::npos) << page;
  EXPECT_NE(page.find("<param name = file value = \"" + escaped + "\">"), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
}

// A folder of pictures may hold anything: files named as the libraries the
// command loads are not taken for them when the command runs there.
TEST_F(CommandTest, LibrariesInTheFolderOfTheRunAreNotLoaded) {
  for (const char* name : {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1"}) {
    Write(name, "not a library");
  }
  Write("pics/P.grf", kRect);
  const RunResult run = Run({"convert", "pics/P.grf"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(Out("P.JDF").find("TAVRectangle"), std::string::npos);
}

TEST_F(CommandTest, TextsThatWouldBreakThePageDescriptionAreRefused) {
  Write("pics/P.grf", R"json({"objects": [
      {"class": "Rect", "name": "Inj", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "LInj", "properties": {
          "Source": "DS.NODE1.P)))\r\n(INJ.F_CV", "DefaultOutputValue": 0, "ToggleRate": 0,
          "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": " "},
          "lookup": {"levels": [{"in": 1, "out": 255}]}}]}]},
      {"class": "Rect", "name": "Input", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "LInput", "properties": {
          "Source": "DS.NODE1.T.F_CV", "DefaultOutputValue": 0, "ToggleRate": 0,
          "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": " "},
          "lookup": {"sourceDataType": 8, "levels": [{"in": "a)))", "out": 255}]}}]}]},
      {"class": "Rect", "name": "Fine", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "LFine", "properties": {
          "Source": "DS.NODE1.T.F_CV", "DefaultOutputValue": 0, "ToggleRate": 0,
          "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": " "},
          "lookup": {"levels": [{"in": 1, "out": 255}]}}]}]}]})json");
  const RunResult run =
      RunChanging({"convert", "pics/P.grf"}, {"out/P.JDF", "out/P.htm", "out/P.Log"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string jdf = Out("P.JDF");
  int lowest = 0, end = 0;
  Depths(jdf, &lowest, &end);
  EXPECT_EQ(lowest, 0) << jdf;
  EXPECT_EQ(end, 0);
  EXPECT_EQ(jdf.find("INJ"), std::string::npos);
  EXPECT_EQ(jdf.find("a)))"), std::string::npos);
  // A refused animation drives nothing (its source's map, as for any source
  // that cannot be translated, stays without links).
  EXPECT_EQ(jdf.find("(Inj.fgColor"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find("LInput1"), std::string::npos);
  EXPECT_NE(jdf.find("(Fine.fgColor"), std::string::npos) << "the sound animation is written";
  const std::string log = Out("P.Log");
  for (const char* object : {"LInj", "LInput"}) {
    const size_t heading = log.find("Messages for the Lookup object " + std::string(object));
    ASSERT_NE(heading, std::string::npos) << log;
    EXPECT_NE(log.find("ForegroundColor: ", heading), std::string::npos) << log;
  }
  EXPECT_NE(log.find("ForegroundColor: the data source holds a blank, parenthesis, quote or "
                     "line end"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ForegroundColor: a level of the lookup holds"), std::string::npos) << log;
}

TEST_F(CommandTest, AShapeValueThatWouldBreakThePageDescriptionIsLeftOut) {
  // The example trend chart, its time span given as a text.
  std::string chart = ReadFile(std::string(QUILLON_SOURCE_DIR) + "/examples/pictures/Trends.grf");
  const std::string span = "\"Duration\": 600";
  ASSERT_NE(chart.find(span), std::string::npos);
  chart.replace(chart.find(span), span.size(), "\"Duration\": \"60) (INJ x\"");
  Write("pics/Trends.grf", chart);
  const RunResult run = RunChanging({"convert", "pics/Trends.grf"},
                                    {"out/Trends.JDF", "out/Trends.htm", "out/Trends.Log"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string jdf = Out("Trends.JDF");
  int lowest = 0, end = 0;
  Depths(jdf, &lowest, &end);
  EXPECT_EQ(lowest, 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(jdf.find("INJ"), std::string::npos);
  EXPECT_NE(jdf.find("(LevelTrend TAVRealTime"), std::string::npos) << "the chart is written";
  EXPECT_NE(Out("Trends.Log")
                .find("Messages for the Chart object LevelTrend:\r\nError: Duration: the value "
                      "holds a blank, parenthesis, quote or line end where the page description "
                      "takes it unquoted; the property is left out.\r\n"),
            std::string::npos)
      << Out("Trends.Log");
}

TEST_F(CommandTest, ObjectsBeyondTheLimitsAreLeftOutWithALogLine) {
  std::string images;
  for (int i = 0; i < kMaxBitmapImages + 1; ++i) {
    images += std::string(i > 0 ? "," : "") + R"({"primary": {"rgb": 1}, "secondary": {"rgb": 2}})";
  }
  // A PNG file that says it is 9,000 x 9,000 pixels (its data never comes).
  const char kHugePng[] =
      "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x23\x28\x00\x00\x23\x28\x08\x02\x00"
      "\x00\x00\xe2\xb7\xe5\xed\x00\x00\x00\x00IDAT\x35\xaf\x06\x1e\x00\x00\x00\x00IEND"
      "\xae\x42\x60\x82";
  Write("pics/huge.png", std::string(kHugePng, sizeof kHugePng - 1));
  Write("pics/P.grf", R"({"objects": [
      {"class": "Bitmap", "name": "HugePng", "images": [{"primary": "huge.png",
        "secondary": "huge.png"}]},
      {"class": "Text", "name": "Lines", "properties": {"NumberOfLines": 2000000000,
       "MaxCharactersPerLine": 10, "Caption": "x"}},
      {"class": "Bitmap", "name": "Huge", "images": [{"primary": {"rgb": 1, "width": 65535,
        "height": 65535}, "secondary": {"rgb": 2}}]},
      {"class": "Bitmap", "name": "Many", "images": [)" + images + R"(]},
      {"class": "Rect", "name": "R"}]})");
  const RunResult run =
      RunChanging({"convert", "pics/P.grf"}, {"out/P.JDF", "out/P.htm", "out/P.Log"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string jdf = Out("P.JDF");
  EXPECT_NE(jdf.find("(R TAVRectangle"), std::string::npos) << jdf;
  for (const char* left_out : {"(Lines", "(Huge", "(Many", "(HugePng"}) {
    EXPECT_EQ(jdf.find(left_out), std::string::npos) << left_out;
  }
  const std::string log = Out("P.Log");
  EXPECT_NE(log.find("The text has 2000000000 lines, more than the 1000 a page can show, and is "
                     "left out of the web page."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("the image of 65535 x 65535 pixels is larger than the converter handles"),
            std::string::npos);
  EXPECT_NE(log.find("The bitmap has 257 images, more than the 256"), std::string::npos);
  EXPECT_NE(log.find("huge.png: the image of 9000 x 9000 pixels is larger than the converter "
                     "handles"),
            std::string::npos)
      << log;
}

#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_TEST_ASAN 1
#endif
#endif

TEST_F(CommandTest, RunningOutOfMemoryIsReportedWithItsReason) {
#ifdef QUILLON_TEST_ASAN
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  // 8,000 x 8,000 pixels lie within the limits but need 192 MB, more than
  // the run is given.
  Write("pics/P.grf", R"({"objects": [{"class": "Bitmap", "name": "Big", "images": [
      {"primary": {"rgb": 1, "width": 8000, "height": 8000}, "secondary": {"rgb": 2}}]}]})");
  const Snapshot before = Take(dir.path());
  const RunResult run = Run({"convert", "pics/P.grf"}, true, rlim_t{200} << 20);
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string text =
      "The conversion ran out of memory (std::bad_alloc) and was stopped; the picture is not "
      "converted.";
  EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
  EXPECT_NE(Out("P.Log").find("Serious error: " + text), std::string::npos) << Out("P.Log");
  std::vector<std::string> changed = Changed(before, Take(dir.path()));
  EXPECT_EQ(changed, std::vector<std::string>{"out/P.Log"});
}

TEST_F(CommandTest, FifosAndDevicesGivenAsInputsAreRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo(dir.File("pics/Fifo.grf").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/zero", dir.File("pics/Device.grf").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.File("pics/image.png").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(dir.File("pics/Tables.qvg").c_str(), 0644), 0);
  Write("pics/P.grf", R"({"objects": [
      {"class": "Bitmap", "name": "B", "images": [{"primary": "image.png",
        "secondary": "image.png"}]},
      {"class": "Rect", "name": "R", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "L", "properties": {"Source": "DS.N.T.F_CV",
          "DefaultOutputValue": 0, "ToggleRate": 0, "GlobalToggle": 0,
          "GlobalOutputToggle": 0, "ToggleSource": " "},
          "lookup": {"sharedTable": "Tables.Shared"}}]}]}]})");
  RunResult run = RunChanging({"convert", "pics/Fifo.grf", "pics/Device.grf", "pics/P.grf"},
                              {"out/Fifo.Log", "out/Device.Log", "out/P.JDF", "out/P.htm",
                               "out/P.Log"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(Out("Fifo.Log").find("Fifo.grf: not a regular file"), std::string::npos)
      << Out("Fifo.Log");
  EXPECT_NE(Out("Device.Log").find("Device.grf: not a regular file"), std::string::npos);
  const std::string log = Out("P.Log");
  EXPECT_NE(log.find("image.png: not a regular file"), std::string::npos) << log;
  EXPECT_NE(log.find("Tables.qvg: not a regular file"), std::string::npos) << log;

  // The settings file itself.
  fs::remove(SettingsPath());
  ASSERT_EQ(::mkfifo(SettingsPath().c_str(), 0644), 0);
  run = RunChanging({"convert", "pics/P.grf"}, {});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("settings.reg is not a regular file"), std::string::npos) << run.err;
}

TEST_F(CommandTest, NamesThatCollideOnceMadeSafeAreMadeUniqueOnThePage) {
  const std::string lookup =
      R"("properties": {"Source": "DS.NODE1.T.F_CV", "DefaultOutputValue": 0, "ToggleRate": 0,
      "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": " "},
      "lookup": {"levels": [{"in": 1, "out": 255}]})";
  const std::string document = R"({"objects": [
      {"class": "Rect", "name": "X Y", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "L1", )" + lookup + R"(}]}]},
      {"class": "Rect", "name": "X_Y", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "L2", )" + lookup + R"(}]}]},
      {"class": "Bitmap", "name": "A_B", "images": [{"primary": {"rgb": 1},
        "secondary": {"rgb": 2}}]},
      {"class": "Group", "name": "A", "objects": [{"class": "Bitmap", "name": "B",
        "images": [{"primary": {"rgb": 3}, "secondary": {"rgb": 4}}]}]},
      {"class": "Group", "name": "G", "objects": [{"class": "Oval", "name": "O1"}]},
      {"class": "Group", "name": "G", "objects": [{"class": "Oval", "name": "O2"}]},
      {"class": "Group", "name": "H#G", "objects": [{"class": "Oval", "name": "O3"}]}]})";
  // Two pictures whose documents have the same name.
  Write("pics/P.grf", document);
  Write("pics/Q.grf", R"({"name": "P", )" + document.substr(1));
  std::vector<std::string> changed;
  for (const std::string page : {"P", "Q"}) {
    for (const char* file : {".JDF", ".htm", ".Log", "_A_B_P1.JPG", "_A_B_S1.JPG",
                             "_A_B_2_P1.JPG", "_A_B_2_S1.JPG"}) {
      changed.push_back("out/" + page + file);
    }
  }
  const RunResult run = RunChanging({"convert", "pics/P.grf", "pics/Q.grf"}, changed);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string jdf = Out("P.JDF");
  EXPECT_EQ(Out("Q.JDF"), ReplaceAll(jdf, "(file P_", "(file Q_"));
  // Every object has its own description, and its own animation.
  EXPECT_EQ(Out("P.Log").find("has no description"), std::string::npos) << Out("P.Log");
  for (const char* text :
       {"(X_Y TAVRectangle", "(X_Y_2 TAVRectangle", "(X_Y.fgColor L11.out)",
        "(X_Y_2.fgColor L21.out)", "(file P_A_B_P1.JPG)", "(B_2 TAVImage",
        "(file P_A_B_2_P1.JPG)", "(G TAVSymbol", "(G_2 TAVSymbol", "(H_G TAVSymbol"}) {
    EXPECT_NE(jdf.find(text), std::string::npos) << text << "\n" << jdf;
  }
  // Members stay in their own group.
  const size_t g = jdf.find("(G TAVSymbol"), g2 = jdf.find("(G_2 TAVSymbol"),
               h = jdf.find("(H_G TAVSymbol");
  const size_t o1 = jdf.find("(O1 TAVEllipse"), o2 = jdf.find("(O2 TAVEllipse"),
               o3 = jdf.find("(O3 TAVEllipse");
  EXPECT_TRUE(g < o1 && o1 < g2 && g2 < o2 && o2 < h && h < o3) << jdf;
  // The log says which objects were renamed.
  const std::string log = Out("P.Log");
  for (const char* text :
       {"Another object of the page already has the name X_Y (once unsafe characters are "
        "replaced); this one (P.X_Y) is written as X_Y_2.",
        "The image files of this bitmap (P.A.B) would be those of another bitmap of the page; "
        "it is written as B_2.",
        "this one (P.G) is written as G_2."}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }
}

TEST_F(CommandTest, NulCharactersInNamesAndPathsAreHandled) {
  Write("pics/P.grf", R"({"objects": [
      {"class": "Bitmap", "name": "N\u0000B", "images": [{"primary": {"rgb": 1},
        "secondary": {"rgb": 2}}]},
      {"class": "Bitmap", "name": "Path", "images": [{"primary": "a\u0000.png",
        "secondary": {"rgb": 2}}]}]})");
  const RunResult run = RunChanging(
      {"convert", "pics/P.grf"},
      {"out/P.JDF", "out/P.htm", "out/P.Log", "out/P_N_B_P1.JPG", "out/P_N_B_S1.JPG"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string jdf = Out("P.JDF");
  EXPECT_NE(jdf.find("(N_B TAVImage"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(file P_N_B_P1.JPG)"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find('\0'), std::string::npos);
  EXPECT_NE(Out("P.Log").find("the image path holds a NUL character"), std::string::npos)
      << Out("P.Log");
}

TEST_F(CommandTest, ImagesOutsideThePictureFolderNeedThePermission) {
  RgbImage red = PlainImage(0x0000ff, 2, 2);
  ASSERT_TRUE(WritePngFile(dir.File("outside/secret.png"), red));
  ASSERT_TRUE(WritePngFile(dir.File("pics/own.png"), red));
  ASSERT_EQ(::symlink(dir.File("outside/secret.png").c_str(), dir.File("pics/link.png").c_str()),
            0);
  Write("pics/P.grf", R"({"objects": [
      {"class": "Bitmap", "name": "Up", "images": [{"primary": "../outside/secret.png",
        "secondary": "own.png"}]},
      {"class": "Bitmap", "name": "Abs", "images": [{"primary": ")" +
                          dir.File("outside/secret.png") + R"(", "secondary": "own.png"}]},
      {"class": "Bitmap", "name": "Link", "images": [{"primary": "link.png",
        "secondary": "own.png"}]},
      {"class": "Bitmap", "name": "Own", "images": [{"primary": "own.png",
        "secondary": "own.png"}]}]})");
  RunResult run = RunChanging({"convert", "pics/P.grf"},
                              {"out/P.JDF", "out/P.htm", "out/P.Log", "out/P_Own_P1.JPG",
                               "out/P_Own_S1.JPG"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string log = Out("P.Log");
  for (const std::string& path :
       {std::string("../outside/secret.png"), dir.File("outside/secret.png"),
        std::string("link.png")}) {
    EXPECT_NE(log.find("the image path " + path + " leads outside the document's folder"),
              std::string::npos)
        << log;
  }

  fs::remove_all(dir.File("out"));
  fs::create_directory(dir.File("out"));
  run = Run({"convert", "--allow-outside-images", "pics/P.grf"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* bitmap : {"Up", "Abs", "Link", "Own"}) {
    EXPECT_TRUE(FileExists(dir.File("out/P_" + std::string(bitmap) + "_P1.JPG"))) << bitmap;
  }
}

}  // namespace
}  // namespace quillon
