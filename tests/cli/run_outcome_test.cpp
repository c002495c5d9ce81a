// What `quillon convert` says of a run: one true line per picture, the
// run's last line, the exit status, the report and the index, batches of
// folders, and settings that only reading never changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/text_file.h"
#include "support/run_program.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& name) {
  return std::string(QUILLON_SOURCE_DIR) + "/examples/pictures/" + name;
}

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A rectangle with a data link; `name` is the picture's.
std::string Picture(const std::string& name) {
  return R"({"name": ")" + name + R"(", "objects": [
    {"class": "Rect", "name": "R1", "properties": {"HorizontalPosition": 1, "VerticalPosition": 2,
     "Width": 30, "Height": 10}}]})";
}

class RunOutcomeTest : public ::testing::Test {
 protected:
  RunOutcomeTest() {
    ::mkdir(dir.File("out").c_str(), 0755);
    settings = dir.File("settings.reg");
    Write(settings,
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "; the plant's settings\r\n"
          "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\r\n@=\"DS\"\r\n"
          "\"OpcProgID\"=\"Velquist.OPCEDA\"\r\n\"OpcServerMachineName\"=\"\"\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]\r\n@=\"NODE1\"\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\"" +
              Example("") + "\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\r\n@=\"" +
              dir.File("out") + "\"\r\n\r\n");
  }
  ProgramRun Quillon(std::vector<std::string> args) {
    args.insert(args.begin(), {"--registry", settings});
    return RunProgram(QUILLON_PROGRAM, args, dir.path());
  }
  static std::string LastLine(const std::string& out) {
    std::string text = out;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') + 1);
  }

  TempDir dir;
  std::string settings;
};

// A picture of which nothing reaches the page is not converted.
TEST_F(RunOutcomeTest, APictureWithNothingToShowIsNotConverted) {
  Write(dir.File("p/Legacy.grf"), R"({"name": "Legacy", "objects": [
    {"class": "Button", "name": "Old", "properties": {"Width": 5}}]})");
  Write(dir.File("p/Empty.grf"), R"({"name": "Empty", "objects": []})");
  for (const char* name : {"Legacy", "Empty"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(std::string("p/") + name + ".grf");
    const ProgramRun run = Quillon({"convert", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("\nconverted "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("not converted " + path + ": nothing in it can be shown"), 0u)
        << run.out;
    EXPECT_EQ(LastLine(run.out), "1 picture: 0 converted, 0 with losses, 1 failed, 0 cancelled");
  }
}

TEST_F(RunOutcomeTest, EachPictureHasOneTrueLineAndTheRunALastLine) {
  Write(dir.File("p/Fine.grf"), Picture("Fine"));
  Write(dir.File("p/Wide.grf"), R"({"name": "Wide", "objects": [
    {"class": "Rect", "name": "R1", "properties": {"Width": "wide", "Height": 10}}]})");
  const ProgramRun run = Quillon({"convert", dir.File("p/Fine.grf"), dir.File("p/Wide.grf"),
                                  dir.File("p/Missing.grf")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("converted " + dir.File("p/Fine.grf") + "\n"), std::string::npos);
  // A value that is no number is a loss that the log names.
  EXPECT_NE(run.out.find("converted with losses " + dir.File("p/Wide.grf") +
                         ": 1 object read in part (see " + dir.File("out/Wide.Log") + ")\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(ReadFile(dir.File("out/Wide.Log"))
                .find("Warning: Width: the value \"wide\" is not a number; 0 is written."),
            std::string::npos);
  EXPECT_NE(run.out.find("not converted " + dir.File("p/Missing.grf") + ": "), std::string::npos);
  EXPECT_EQ(LastLine(run.out), "3 pictures: 1 converted, 1 with losses, 1 failed, 0 cancelled");

  // Losses alone pass, unless the run is strict.
  EXPECT_EQ(Quillon({"convert", dir.File("p/Wide.grf")}).status, 0);
  EXPECT_EQ(Quillon({"convert", "--strict", dir.File("p/Wide.grf")}).status, 1);
}

TEST_F(RunOutcomeTest, AReadOnlyRunFailsForAPictureItCannotRead) {
  Write(dir.File("p/Broken.grf"), "{ not json");
  const ProgramRun run = Quillon({"convert", "--read-only", Example("Pumps.grf"),
                                  dir.File("p/Missing.grf"), dir.File("p/Broken.grf")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("read " + Example("Pumps.grf") + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("not converted " + dir.File("p/Missing.grf")), std::string::npos);
  EXPECT_NE(run.out.find("not converted " + dir.File("p/Broken.grf")), std::string::npos);
  EXPECT_EQ(LastLine(run.out), "3 pictures: 1 read, 2 failed, 0 cancelled");
  // Logs only: no page, no image file.
  for (const auto& entry : fs::directory_iterator(dir.File("out"))) {
    EXPECT_EQ(entry.path().extension(), ".Log") << entry.path();
  }
}

TEST_F(RunOutcomeTest, VerboseLinesHaveNoCarriageReturns) {
  const ProgramRun run = Quillon({"convert", "-v", Example("Pumps.grf")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Page description: "), std::string::npos);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(RunOutcomeTest, FoldersAreBatchesAndPicturesOfOneNameAreKeptApart) {
  Write(dir.File("plant/a/Tank.grf"), Picture("Tank"));
  Write(dir.File("plant/b/Tank.GRF"), Picture("Tank"));
  Write(dir.File("plant/Boiler.grf"), Picture("Boiler"));
  Write(dir.File("plant/notes.txt"), "not a picture");

  // Without -r only the folder itself.
  ProgramRun run = Quillon({"convert", "--output-dir", dir.File("flat"), dir.File("plant")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LastLine(run.out), "1 picture: 1 converted, 0 with losses, 0 failed, 0 cancelled");
  EXPECT_TRUE(FileExists(dir.File("flat/Boiler.JDF")));

  run = Quillon({"convert", "-r", "--output-dir", dir.File("site"), "--report",
                 dir.File("report.json"), dir.File("plant")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LastLine(run.out), "3 pictures: 3 converted, 0 with losses, 0 failed, 0 cancelled");
  // Mirrored folders, never one page over the other.
  EXPECT_TRUE(FileExists(dir.File("site/a/Tank.JDF")));
  EXPECT_TRUE(FileExists(dir.File("site/b/Tank.JDF")));
  EXPECT_TRUE(FileExists(dir.File("site/Boiler.JDF")));
  EXPECT_FALSE(FileExists(dir.File("site/Tank.JDF")));
  // The stored output directory was not used, nor changed.
  EXPECT_FALSE(FileExists(dir.File("out/Boiler.JDF")));
  EXPECT_NE(ReadFile(settings).find(dir.File("out")), std::string::npos);

  // The index links every page and log.
  const std::string index = ReadFile(dir.File("site/index.html"));
  for (const char* link : {"a/Tank.htm", "b/Tank.htm", "Boiler.htm", "a/Tank.Log"}) {
    EXPECT_NE(index.find(std::string("href=\"") + link), std::string::npos) << link << index;
  }

  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir.File("report.json")));
  ASSERT_EQ(report["pictures"].size(), 3u);
  EXPECT_EQ(report["summary"]["converted"], 3);
  for (const nlohmann::json& picture : report["pictures"]) {
    EXPECT_EQ(picture["status"], "converted");
    EXPECT_FALSE(picture["files"].empty());
  }
  // The report holds to its documented schema.
  const ProgramRun check = RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import json,sys,jsonschema;"
       "jsonschema.validate(json.load(open(sys.argv[2])),json.load(open(sys.argv[1])))",
       std::string(QUILLON_SOURCE_DIR) + "/docs/report.schema.json", dir.File("report.json")});
  EXPECT_EQ(check.status, 0) << check.err;
}

TEST_F(RunOutcomeTest, TheReportNamesWhatWasLeftOutAndTheTags) {
  const ProgramRun run = Quillon({"convert", "--open", Example("Tables.qvg"), "--report",
                                  dir.File("report.json"), Example("Overview.grf")});
  EXPECT_EQ(run.status, 0) << run.err;
  const nlohmann::json picture =
      nlohmann::json::parse(ReadFile(dir.File("report.json")))["pictures"][0];
  EXPECT_EQ(picture["status"], "converted with losses");
  EXPECT_EQ(picture["counts"]["objectsLeftOut"], 2);
  EXPECT_EQ(picture["objectsLeftOut"][0]["name"], "VendorGauge");
  EXPECT_EQ(picture["objectsLeftOut"][0]["class"], "OleObject");
  EXPECT_EQ(picture["animationsLost"][0]["object"], "Uptime2");
  EXPECT_EQ(picture["animationsLost"][0]["property"], "Caption");
  const auto& tags = picture["tags"];
  EXPECT_NE(std::find(tags.begin(), tags.end(), "NODE1:TANK1_LEVEL.F_CV"), tags.end()) << tags;
}

// Showing the settings reads them and writes nothing, whatever the file.
TEST_F(RunOutcomeTest, ShowingTheSettingsNeverWritesThem) {
  const std::string before = ReadFile(settings);
  ProgramRun run = Quillon({"settings"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(settings), before);  // comments and all

  // A dangling link stays a dangling link.
  ASSERT_EQ(::symlink(dir.File("nowhere.reg").c_str(), dir.File("link.reg").c_str()), 0);
  run = RunProgram(QUILLON_PROGRAM, {"--registry", dir.File("link.reg"), "settings"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir.File("link.reg")));
  EXPECT_FALSE(fs::exists(dir.File("nowhere.reg")));

  // A file that cannot be written is read without a word.
  if (::geteuid() != 0) {
    ::chmod(settings.c_str(), 0444);
    run = Quillon({"settings"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }
}

// The HMI's own settings are shown and changed by the command, so that
// nobody edits the settings file by hand; when they are missing the
// message says which one to give.
TEST_F(RunOutcomeTest, TheHmiSettingsAreShownAndChangedByTheCommand) {
  const std::string fresh = dir.File("fresh.reg");
  Write(dir.File("p/Fine.grf"), Picture("Fine"));
  ProgramRun run = RunProgram(QUILLON_PROGRAM, {"--registry", fresh, "convert", dir.File("p/Fine.grf")},
                              dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("quillon settings --picture-folder DIR"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("not installed"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("not converted " + dir.File("p/Fine.grf") +
                         ": The output directory cannot be used"),
            std::string::npos)
      << run.out;

  run = RunProgram(QUILLON_PROGRAM,
                   {"--registry", fresh, "settings", "--picture-folder", dir.File("p"),
                    "--node-name", "NODE7", "--data-source", "PLANT", "--output-dir",
                    dir.File("web")},
                   dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  for (const std::string& line : std::vector<std::string>{
           "picture folder:    " + dir.File("p"), "node name:         NODE7",
           "data source:       PLANT", "output directory:  " + dir.File("web")}) {
    EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
  }
  // The conversion now reads them: the page links the local data source.
  Write(dir.File("p/Linked.grf"), R"({"name": "Linked", "objects": [
    {"class": "Rect", "name": "R1", "properties": {"Width": 30, "Height": 10},
     "connections": [{"property": "ForegroundColor", "source": "PLANT.NODE7.PUMP.F_CV", "objects": [
       {"class": "Lookup", "name": "L1", "properties": {"Source": "PLANT.NODE7.PUMP.F_CV",
        "DefaultOutputValue": 0, "ToggleRate": 1.0, "GlobalToggle": 0, "GlobalOutputToggle": 0,
        "ToggleSource": ""}, "lookup": {"levels": [{"in": 0, "out": 255}], "exactMatch": true,
        "sourceDataType": 3}}]}]}]})");
  run = RunProgram(QUILLON_PROGRAM,
                   {"--registry", fresh, "convert", "--report", dir.File("r.json"),
                    dir.File("p/Linked.grf")},
                   dir.path());
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_TRUE(FileExists(dir.File("web/Linked.JDF")));
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir.File("r.json")));
  EXPECT_EQ(report["pictures"][0]["tags"], nlohmann::json::array({"NODE7:PUMP.F_CV"}))
      << report.dump(1);
}

// A document to open that cannot be opened is said in words, once.
TEST_F(RunOutcomeTest, OpenFailuresSayWhyInWords) {
  Write(dir.File("bad.qvg"), "garbage");
  struct Case {
    std::string document, says;
  };
  const Case cases[] = {{dir.File("missing.qvg"), "there is no such file"},
                        {dir.File("bad.qvg"), "not valid JSON"},
                        {dir.path(), "it is a folder"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    const ProgramRun run = Quillon({"convert", "--open", c.document, Example("Pumps.grf")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("0x8"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("json.exception"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

// A bitmap whose image file is missing is left out, and the log names the
// file: the page never names image files that were not made.
TEST_F(RunOutcomeTest, ABitmapWhoseImageFileIsMissingIsLeftOutAndTheFileNamed) {
  Write(dir.File("p/B.grf"), R"({"name": "B", "objects": [
    {"class": "Rect", "name": "R1", "properties": {"Width": 10, "Height": 10}},
    {"class": "Bitmap", "name": "Bmp1", "properties": {"Width": 20, "Height": 20},
     "images": [{"primary": "nothere.png", "secondary": {"rgb": 255, "width": 4, "height": 4}}]}]})");
  const ProgramRun run = Quillon({"convert", "--strict", dir.File("p/B.grf")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("converted with losses " + dir.File("p/B.grf") + ": 1 object left out"),
            0u)
      << run.out;
  const std::string log = ReadFile(dir.File("out/B.Log"));
  EXPECT_NE(log.find("nothere.png: No such file or directory"), std::string::npos) << log;
  EXPECT_EQ(log.find("clipboard"), std::string::npos) << log;
  const std::string jdf = ReadFile(dir.File("out/B.JDF"));
  EXPECT_EQ(jdf.find("Bmp1"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find(".JPG"), std::string::npos) << jdf;
  EXPECT_FALSE(FileExists(dir.File("out/B_Bmp1_P1.JPG")));
}

// A full disk is said once, in words, with what to do; never as a number.
TEST_F(RunOutcomeTest, AFullDiskIsSaidOnceInWords) {
  const std::string full = dir.File("full");
  ::mkdir(full.c_str(), 0755);
  if (::geteuid() != 0 || RunProgram("/bin/mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", full})
                                  .status != 0) {
    GTEST_SKIP() << "a small file system cannot be mounted here";
  }
  const ProgramRun run =
      Quillon({"convert", "--no-html5", "--output-dir", full, Example("Overview.grf")});
  RunProgram("/bin/umount", {full});
  if (run.status == 0) GTEST_SKIP() << "the picture fitted";
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Disk Drive full."), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Picture Converter: 13"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Disk Drive full."), run.err.rfind("Disk Drive full.")) << run.err;
  EXPECT_NE(run.out.find("not converted " + Example("Overview.grf")), std::string::npos);
}

}  // namespace
}  // namespace quillon
