// How far a run of the `quillon` command goes when something fails: a
// picture that fails does not stop the pictures after it, while a document
// given to --open that cannot be loaded ends the run before any picture.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "support/run_program.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& name) {
  return std::string(QUILLON_SOURCE_DIR) + "/examples/pictures/" + name;
}

class RunContinuationTest : public ::testing::Test {
 protected:
  RunContinuationTest() {
    ::mkdir(dir.File("out").c_str(), 0755);
    // A settings file naming the example pictures' folder, its data source
    // and node, and the output folder.
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\r\n@=\"DS\"\r\n"
        "\"OpcProgID\"=\"Velquist.OPCEDA\"\r\n\"OpcServerMachineName\"=\"\"\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]\r\n@=\"NODE1\"\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\"" +
        Example("") + "\"\r\n\r\n"
        "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\r\n@=\"" +
        dir.File("out") + "\"\r\n\r\n";
    settings = dir.File("settings.reg");
    EXPECT_TRUE(WriteTextFile(settings, text, WriteMode::kTruncate).ok());
    // A picture document and a table document that cannot be loaded.
    EXPECT_TRUE(WriteTextFile(dir.File("Broken.grf"), "{\"name\": \"Broken\", \"objects\": [",
                              WriteMode::kTruncate)
                    .ok());
    EXPECT_TRUE(
        WriteTextFile(dir.File("Broken.qvg"), "not a document", WriteMode::kTruncate).ok());
  }
  ProgramRun Quillon(std::vector<std::string> args) {
    args.insert(args.begin(), {"--registry", settings});
    return RunProgram(QUILLON_PROGRAM, args, dir.path());
  }

  TempDir dir;
  std::string settings;
};

// The command goes on with the next picture after one that fails; the run
// then exits 1 and names the picture that failed.
TEST_F(RunContinuationTest, APictureThatFailsDoesNotStopThePicturesAfterIt) {
  struct Case {
    const char* what;
    std::vector<std::string> pictures;  // "Broken.grf" is the one that fails
    std::vector<std::string> converted;
  };
  const Case cases[] = {
      {"failing first", {"Broken.grf", "Pumps.grf", "Trends.grf"}, {"Pumps.grf", "Trends.grf"}},
      {"failing between", {"Pumps.grf", "Broken.grf", "Trends.grf"}, {"Pumps.grf", "Trends.grf"}},
      {"failing last", {"Pumps.grf", "Broken.grf"}, {"Pumps.grf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir.File("out"));
    ::mkdir(dir.File("out").c_str(), 0755);
    std::vector<std::string> args = {"convert"};
    for (const std::string& picture : c.pictures) {
      args.push_back(picture == "Broken.grf" ? dir.File(picture) : Example(picture));
    }
    const ProgramRun run = Quillon(args);
    EXPECT_EQ(run.status, 1);
    // Every picture has its line, in order; the failed one says so.
    std::string expected;
    for (const std::string& picture : c.pictures) {
      expected += picture == "Broken.grf" ? "not converted " + dir.File(picture)
                                          : "converted " + Example(picture);
    }
    std::string got;
    for (size_t start = 0; start < run.out.size();) {
      size_t end = run.out.find('\n', start);
      if (end == std::string::npos) end = run.out.size();
      const std::string line = run.out.substr(start, end - start);
      got += line.substr(0, line.find(": "));
      start = end + 1;
    }
    const std::string summary = std::to_string(c.pictures.size()) + " pictures: " +
                                std::to_string(c.converted.size()) +
                                " converted, 0 with losses, 1 failed, 0 cancelled\n";
    EXPECT_EQ(got, expected + std::to_string(c.pictures.size()) + " pictures") << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - summary.size()), summary);
    for (const std::string& picture : c.converted) {
      const std::string name = picture.substr(0, picture.find('.'));
      EXPECT_TRUE(FileExists(dir.File("out/" + name + ".JDF"))) << name;
      EXPECT_TRUE(FileExists(dir.File("out/" + name + ".htm"))) << name;
    }
  }
}

// A document given to --open that cannot be loaded ends the run with exit 1
// before any picture is converted, for both conversion commands and
// wherever it stands among the documents to open.
TEST_F(RunContinuationTest, ADocumentToOpenThatCannotBeLoadedEndsTheRunBeforeAnyPicture) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* named;  // the document the error names
  };
  const std::string broken = dir.File("Broken.qvg"), missing = dir.File("Missing.qvg");
  const Case cases[] = {
      {"not a document",
       {"convert", "--open", broken, Example("Pumps.grf"), Example("Trends.grf")},
       "Broken.qvg"},
      {"no such file", {"convert", "--open", missing, Example("Pumps.grf")}, "Missing.qvg"},
      {"after one that opens",
       {"convert", "--open", Example("Tables.qvg"), "--open", broken, Example("Pumps.grf")},
       "Broken.qvg"},
      {"export",
       {"export", "--out", dir.File("out"), "--open", broken, Example("Pumps.grf")},
       "Broken.qvg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramRun run = Quillon(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find("quillon: cannot open "), 0u) << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir.File("out")));
  }
}

}  // namespace
}  // namespace quillon
