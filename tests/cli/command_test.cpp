// The `quillon` command as a user runs it: its exit status and what it
// prints, and the files its conversions leave.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "platform/text_file.h"
#include "support/run_program.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& name) {
  return std::string(QUILLON_SOURCE_DIR) + "/examples/pictures/" + name;
}

// Every file of `directory` by name, with its bytes.
std::map<std::string, std::string> FilesOf(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return files;
}

class CommandTest : public ::testing::Test {
 protected:
  // A settings file naming the example pictures' folder, its data source
  // and node, an output folder and the options given.
  std::string Settings(const std::string& output, const std::string& rate, const std::string& bmp,
                       const std::string& cab, const std::string& playback) {
    const std::string path = dir.File("settings.reg");
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\r\n@=\"DS\"\r\n"
        "\"OpcProgID\"=\"Velquist.OPCEDA\"\r\n\"OpcServerMachineName\"=\"\"\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]\r\n@=\"NODE1\"\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\"" +
        Example("") + "\"\r\n\r\n";
    const std::pair<const char*, std::string> values[] = {{"AllowPlayBack", playback},
                                                          {"OptionOutputBMP", bmp},
                                                          {"UpdateRate", rate},
                                                          {"UseCabFiles", cab},
                                                          {"WebOutPath", output}};
    for (const auto& [key, value] : values) {
      text += "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\" + std::string(key) +
              "]\r\n@=\"" + value + "\"\r\n\r\n";
    }
    EXPECT_TRUE(WriteTextFile(path, text, WriteMode::kTruncate).ok());
    return path;
  }
  ProgramRun Quillon(const std::vector<std::string>& args) {
    return RunProgram(QUILLON_PROGRAM, args, dir.path());
  }

  TempDir dir;
};

TEST_F(CommandTest, UsageErrorsExitTwoWithTheirReasonOnOneLine) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* reason;  // a part of the one line on standard error
  };
  const Case cases[] = {
      {"no command", {}, "a command is required"},
      {"unknown option", {"--no-such-flag"}, "--no-such-flag"},
      {"unknown command", {"frobnicate"}, "frobnicate"},
      {"missing --out", {"export", "Pic.grf"}, "--out"},
      {"bad --rate", {"export", "--out", "o", "--rate", "0", "Pic.grf"}, "--rate"},
      {"rate no number", {"export", "--out", "o", "--rate", "fast", "Pic.grf"}, "--rate"},
      {"missing picture", {"convert"}, "PICTURE"},
      {"option without value", {"convert", "A.grf", "--node"}, "--node"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramRun run = Quillon(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find("quillon: "), 0u) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
  // Help, asked for in either way, is no error.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"help"}, {"help", "export"}, {"export", "--help"}}) {
    const ProgramRun run = Quillon(args);
    EXPECT_EQ(run.status, 0) << args[0];
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << run.out;
  }
  EXPECT_NE(Quillon({"help", "export"}).out.find("--no-playback"), std::string::npos);
}

// export writes with the options it is given exactly what convert writes
// with the same values stored, and leaves the settings as they were.
TEST_F(CommandTest, ExportWritesWhatConvertWritesWithTheSameSettings) {
  ::mkdir(dir.File("by-convert").c_str(), 0755);
  ::mkdir(dir.File("by-export").c_str(), 0755);
  for (const std::string picture : {"Pumps", "Trends"}) {
    SCOPED_TRACE(picture);
    struct Options {
      std::vector<std::string> flags;
      std::string rate, bmp, cab, playback;
    };
    const Options variants[] = {{{}, "2", "0", "1", "1"},
                                {{"--rate", "7", "--bmp", "--no-cab", "--no-playback"}, "7", "1",
                                 "0", "0"}};
    for (const Options& options : variants) {
      fs::remove_all(dir.File("by-convert"));
      fs::remove_all(dir.File("by-export"));
      ::mkdir(dir.File("by-convert").c_str(), 0755);
      ::mkdir(dir.File("by-export").c_str(), 0755);
      const std::string settings = Settings(dir.File("by-convert"), options.rate, options.bmp,
                                            options.cab, options.playback);
      ProgramRun run = Quillon({"--registry", settings, "convert", Example(picture + ".grf")});
      ASSERT_EQ(run.status, 0) << run.err;

      // The export is given the other options through its flags; the stored
      // values (here the defaults) are not read, and nothing is written.
      const std::string stored = Settings(dir.File("elsewhere"), "2", "0", "1", "1");
      const std::string before = ReadFile(stored);
      std::vector<std::string> args = {"--registry", stored, "export", "--out",
                                       dir.File("by-export")};
      args.insert(args.end(), options.flags.begin(), options.flags.end());
      args.push_back(Example(picture + ".grf"));
      run = Quillon(args);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, "converted " + Example(picture + ".grf") + "\n");
      EXPECT_EQ(ReadFile(stored), before);
      EXPECT_FALSE(FileExists(dir.File("elsewhere")));

      std::map<std::string, std::string> converted = FilesOf(dir.File("by-convert"));
      converted.erase("index.html");  // the run's index, beside the pages
      std::map<std::string, std::string> exported = FilesOf(dir.File("by-export"));
      ASSERT_EQ(converted.size(), exported.size());
      for (const auto& [name, bytes] : converted) {
        SCOPED_TRACE(name);
        ASSERT_EQ(exported.count(name), 1u);
        // The log names the folder it was written to; the rest is the same.
        if (name.size() > 4 && name.substr(name.size() - 4) == ".Log") continue;
        EXPECT_TRUE(exported[name] == bytes);
      }
      EXPECT_NE(converted.count(picture + ".JDF"), 0u);
    }
  }
}

TEST_F(CommandTest, ExportNeedsNoSettingsFileAndCreatesNone) {
  ::mkdir(dir.File("out").c_str(), 0755);
  const ProgramRun run = Quillon({"--registry", dir.File("none.reg"), "export", "--out",
                                  dir.File("out"), "-v", Example("Trends.grf")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(FileExists(dir.File("out/Trends.JDF")));
  EXPECT_FALSE(FileExists(dir.File("none.reg")));
  // -v prints the log's lines.
  EXPECT_NE(run.out.find("Trends"), std::string::npos);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(CommandTest, ExportOfAPictureThatCannotBeOpenedFails) {
  ::mkdir(dir.File("out").c_str(), 0755);
  const ProgramRun run = Quillon({"--registry", dir.File("none.reg"), "export", "--out",
                                  dir.File("out"), dir.File("missing.grf")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("missing.grf"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir.File("out")));
}

// --open takes one document per use: the pictures after it are converted.
TEST_F(CommandTest, OpenTakesOneDocumentAndLeavesThePicturesAfterIt) {
  ::mkdir(dir.File("out").c_str(), 0755);
  const std::string settings = Settings(dir.File("out"), "2", "0", "1", "1");
  for (const std::string& open : {std::string("--open"), std::string("--open=")}) {
    std::vector<std::string> args = {"--registry", settings, "convert"};
    if (open == "--open") {
      args.push_back(open);
      args.push_back(Example("Tables.qvg"));
    } else {
      args.push_back(open + Example("Tables.qvg"));
    }
    args.push_back(Example("Pumps.grf"));
    args.push_back(Example("Trends.grf"));
    const ProgramRun run = Quillon(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "converted " + Example("Pumps.grf") + "\nconverted " +
                           Example("Trends.grf") +
                           "\n2 pictures: 2 converted, 0 with losses, 0 failed, 0 cancelled\n");
  }
}

}  // namespace
}  // namespace quillon
