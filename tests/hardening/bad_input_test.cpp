// Pictures nobody meant to write, and output folders that fail: each gets a
// message and its result, nothing crashes or hangs, and nothing is written
// outside the output folder.
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "quillon/quillon.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class BadInputTest : public ::testing::Test {
 protected:
  BadInputTest() {
    ::mkdir(dir.File("pics").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.File("pics"));
    registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out"));
    context.services = env.services;
    context.registry = &registry;
    context.hmi = &host;
    context.state = &state;
  }
  ~BadInputTest() override { ExpectNothingOutsideTheOutputFolder(); }

  // Converts `document` as pics/NAME.grf; returns the run's result.
  int Convert(const std::string& document, const std::string& name = "Pic1") {
    const std::string path = dir.File("pics/" + name + ".grf");
    EXPECT_TRUE(WriteTextFile(path, document, WriteMode::kTruncate).ok());
    return RunConvertQevPicFile(context, path, nullptr, 0, 1);
  }
  std::string Log(const std::string& name = "Pic1") const {
    return ReadFile(dir.File("out/" + name + ".Log"));
  }
  std::string Jdf(const std::string& name = "Pic1") const {
    return ReadFile(dir.File("out/" + name + ".JDF"));
  }
  std::string Boxes() const {
    std::string texts;
    for (const auto& box : env.ui.boxes) texts += box.text + "|";
    return texts;
  }
  void ExpectNothingOutsideTheOutputFolder() {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path(), error)) {
      const std::string relative = entry.path().lexically_relative(dir.path()).string();
      const bool allowed = relative == "pics" || relative == "out" ||
                           relative.rfind("pics/", 0) == 0 || relative.rfind("out/", 0) == 0;
      EXPECT_TRUE(allowed) << "written outside the output folder: " << relative;
    }
  }

  TestServices env;
  TempDir dir;
  MemoryRegistry registry;
  standin::StandInHost host;
  ProcessState state;
  RunContext context;
};

TEST_F(BadInputTest, DocumentsThatCannotBeLoadedAreRefusedWithTheirCause) {
  struct Case {
    std::string document;
    std::string cause;  // in the log line of the failed load
  };
  std::string deep = "{\"class\": \"Rect\", \"name\": \"R\"}";
  for (int i = 0; i < 10000; ++i) {
    deep = "{\"class\": \"Group\", \"name\": \"G\", \"objects\": [" + deep + "]}";
  }
  const Case cases[] = {
      {R"({"name": "P", "objects": [{"class": "Rect")", "Pic1.grf"},
      {"this is not a picture", "Pic1.grf"},
      {"[1, 2, 3]", "Pic1.grf"},
      {"", "Pic1.grf"},
      {R"({"objects": {"class": "Rect"}})", "objects"},
      {R"({"objects": [{"class": 5, "name": "R"}]})", "objects[0]"},
      {R"({"objects": [{"class": "Rect"}]})", "name"},
      {R"({"objects": [{"name": "R"}]})", "class"},
      {R"({"width": "wide"})", "width"},
      {R"({"backgroundColor": 1e40})", "backgroundColor"},
      {R"({"pixelsPerUnit": [1.0]})", "pixelsPerUnit"},
      {R"({"objects": [{"class": "Rect", "name": "R", "refuse": ["NoSuchInterface"]}]})",
       "refuse"},
      {"{\"objects\": [" + deep + "]}", "deep"},
  };
  for (const Case& c : cases) {
    std::remove(dir.File("out/Pic1.JDF").c_str());
    EXPECT_EQ(Convert(c.document), 0) << c.document.substr(0, 60);
    const std::string log = Log();
    const size_t line = log.find(env.Text(82) + env.Text(4));
    ASSERT_NE(line, std::string::npos) << c.document.substr(0, 60) << "\n" << log;
    EXPECT_NE(log.find(c.cause, line), std::string::npos) << c.document.substr(0, 60) << "\n" << log;
    EXPECT_FALSE(FileExists(dir.File("out/Pic1.JDF")));
  }
  EXPECT_TRUE(env.ui.boxes.empty()) << Boxes();
}

TEST_F(BadInputTest, OddValuesAreConvertedOrReportedButNeverCrash) {
  // Sizes beyond the pixel range cannot be converted: the message says so
  // and the value is 0; negative sizes and unreadable values pass as they are.
  EXPECT_EQ(Convert(R"({"width": 1e300, "height": -50, "objects": [
      {"class": "Rect", "name": "Huge", "properties": {"Width": 1e300, "Height": "tall",
       "HorizontalPosition": -20.0, "Visible": null, "ForegroundColor": -1}},
      {"class": "Text", "name": "Lines", "properties": {"NumberOfLines": -3,
       "MaxCharactersPerLine": 0, "Caption": "", "FontSize": 1000000}}]})"),
            1);
  const std::string jdf = Jdf();
  // The page's size is converted in one call: neither part can be.
  EXPECT_NE(jdf.find("\t(width 0)\r\n\t(height 0)\r\n"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("\t\t\t(width 0)\r\n"), std::string::npos);
  EXPECT_NE(jdf.find("\t\t\t(x -20)\r\n"), std::string::npos);
  EXPECT_NE(jdf.find("(Lines TAVText"), std::string::npos);
  EXPECT_NE(Log().find(env.Text(82) + env.Text(93)), std::string::npos);
}

TEST_F(BadInputTest, NamesThatWouldBreakThePageAreMadeSafe) {
  const std::string long_name(100000, 'n');
  EXPECT_EQ(Convert(R"json({"objects": [
      {"class": "Rect", "name": "a b(c)\"d'e\r\nf"},
      {"class": "Rect", "name": ""},
      {"class": "Rect", "name": ")"},
      {"class": "Oval", "name": ")json" + long_name + R"json("},
      {"class": "Bitmap", "name": "../../up", "images": [{"primary": {"rgb": 255, "width": 2, "height": 2},
        "secondary": {"rgb": 0, "width": 2, "height": 2}}]}]})json",
                    "Odd (1)"),
            1);
  const std::string jdf = Jdf("Odd (1)");
  EXPECT_NE(jdf.find("\t(a_b_c__d_e__f TAVRectangle\r\n"), std::string::npos);
  EXPECT_NE(jdf.find("\t(_ TAVRectangle\r\n"), std::string::npos);
  EXPECT_NE(jdf.find("\t(" + long_name + " TAVEllipse\r\n"), std::string::npos);
  // The bitmap's files and its page line stay inside the output folder.
  EXPECT_NE(jdf.find("(file Odd__1________up_P1.JPG)"), std::string::npos) << jdf;
  EXPECT_TRUE(FileExists(dir.File("out/Odd__1________up_P1.JPG")));
  EXPECT_TRUE(FileExists(dir.File("out/Odd (1).htm")));
}

TEST_F(BadInputTest, AHundredThousandObjectsInOneGroup) {
  std::string members;
  const int count = 100000;
  for (int i = 0; i < count; ++i) {
    if (i > 0) members += ",";
    members += R"({"class": "Line", "name": "L)" + std::to_string(i) + R"("})";
  }
  EXPECT_EQ(Convert(R"({"objects": [{"class": "Group", "name": "Big", "objects": [)" + members +
                    "]}]}"),
            1);
  const std::string jdf = Jdf();
  EXPECT_NE(jdf.find("\t\t\t(L99999 TAVLine\r\n"), std::string::npos);
  EXPECT_EQ(jdf.substr(jdf.size() - 3), "\r\n)");
}

TEST_F(BadInputTest, MissingTablesImagesAndAnimationCyclesAreReported) {
  ASSERT_TRUE(WriteTextFile(dir.File("pics/not-a-png.png"), "GIF89a", WriteMode::kTruncate).ok());
  EXPECT_EQ(Convert(R"({"objects": [
      {"class": "Rect", "name": "R", "connections": [{"property": "ForegroundColor",
        "objects": [{"class": "Lookup", "name": "L", "properties": {"Source": "DS.N.T.F_CV",
          "DefaultOutputValue": 0, "ToggleRate": 0, "GlobalToggle": 0,
          "GlobalOutputToggle": 0, "ToggleSource": " "},
          "lookup": {"sharedTable": "Tables.Missing"}}]}]},
      {"class": "Bitmap", "name": "B1", "images": [{"primary": "missing.png", "secondary": "missing.png"}]},
      {"class": "Bitmap", "name": "B2", "images": [{"primary": "not-a-png.png", "secondary": "not-a-png.png"}]},
      {"class": "Rect", "name": "S", "properties": {"Width": 5.0}, "connections": [{"property": "Width",
        "objects": [{"class": "Linear", "name": "A", "properties": {"Source": "Pic1.S.B.OutputValue",
          "LoInValue": 0, "HiInValue": 1, "LoOutValue": 0, "HiOutValue": 1}},
                    {"class": "Linear", "name": "B", "properties": {"Source": "Pic1.S.A.OutputValue",
          "LoInValue": 0, "HiInValue": 1, "LoOutValue": 0, "HiOutValue": 1}}]}]}]})"),
            1);
  const std::string log = Log();
  EXPECT_NE(log.find(env.Text(82) + env.Text(73)), std::string::npos) << log;
  EXPECT_NE(log.find(env.Text(80) + "ForegroundColor" + env.Text(41)), std::string::npos);
  for (const char* bitmap : {"B1", "B2"}) {
    EXPECT_NE(log.find(FormatText(env.Text(83), {"Bitmap", bitmap})), std::string::npos);
  }
  // A bitmap whose image files cannot be read is left out, naming the file.
  EXPECT_NE(log.find("missing.png: No such file or directory); the bitmap is left out"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("not-a-png.png"), std::string::npos) << log;
  const std::string jdf = Jdf();
  EXPECT_EQ(jdf.find("(B1 TAVImage"), std::string::npos) << "no page names images never made";
  EXPECT_EQ(jdf.find("(B2 TAVImage"), std::string::npos);
  // Two scalings driving each other: both are written, linked in a circle.
  EXPECT_NE(jdf.find("(A1.in B1.outFloat)"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(B1.in A1.outFloat)"), std::string::npos);
}

TEST_F(BadInputTest, AnOutputFolderThatCannotBeWrittenIsReportedAndNotConverted) {
  ASSERT_TRUE(WriteTextFile(dir.File("out/file"), "x", WriteMode::kTruncate).ok());
  registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out/file/sub"));
  EXPECT_EQ(Convert(R"({"objects": [{"class": "Rect", "name": "R"}]})"), 0);
  const std::string boxes = Boxes();
  EXPECT_NE(boxes.find(FileErrorText(3, dir.File("out/file/sub/Pic1.JDF"))), std::string::npos)
      << boxes;
  EXPECT_NE(boxes.find(FileErrorText(3, dir.File("out/file/sub/Pic1.htm"))), std::string::npos);
}

// Removes the output folder when the writer starts its part of the log.
class VanishingFolder : public LogWindow {
 public:
  explicit VanishingFolder(std::string folder) : folder_(std::move(folder)) {}
  void SendLogMessage(unsigned, unsigned long, const std::string& line) override {
    if (line.find("web page") != std::string::npos || ++lines_ == 4) {
      std::error_code error;
      fs::remove_all(folder_, error);
    }
  }

 private:
  std::string folder_;
  int lines_ = 0;
};

TEST_F(BadInputTest, AnOutputFolderThatDisappearsDuringTheRunIsNotReportedConverted) {
  VanishingFolder window(dir.File("out"));
  const std::string path = dir.File("pics/Pic1.grf");
  ASSERT_TRUE(WriteTextFile(path, R"({"objects": [{"class": "Rect", "name": "R"}]})",
                            WriteMode::kTruncate)
                  .ok());
  EXPECT_EQ(RunConvertQevPicFile(context, path, &window, 0, 1), 0);
  EXPECT_FALSE(env.ui.boxes.empty());
  EXPECT_FALSE(FileExists(dir.File("out")));
}

TEST_F(BadInputTest, AFullDiskForThePageDescriptionFailsTheConversion) {
  // The previous run's page stays whole; the log says why there is no new one.
  ASSERT_EQ(Convert(R"({"objects": [{"class": "Oval", "name": "Old"}]})"), 1);
  const std::string old_jdf = Jdf();
  const std::string old_page = ReadFile(dir.File("out/Pic1.htm"));
  ScopedFileFault full_disk("Pic1.JDF", FileStage::kWrite, ENOSPC);
  EXPECT_EQ(Convert(R"({"objects": [{"class": "Rect", "name": "R"}]})"), 0);
  EXPECT_NE(Boxes().find("13|"), std::string::npos) << Boxes();
  EXPECT_EQ(Jdf(), old_jdf);
  EXPECT_EQ(ReadFile(dir.File("out/Pic1.htm")), old_page);
  const std::string log = Log();
  EXPECT_NE(log.find("Error writing to the file"), std::string::npos) << log;
  EXPECT_EQ(log.find(env.Text(58)), std::string::npos) << "reported as converted: " << log;
  for (const auto& entry : fs::directory_iterator(dir.File("out"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "Pic1.JDF" || name == "Pic1.htm" || name == "Pic1.Log")
        << "left behind: " << name;
  }
}

TEST_F(BadInputTest, AFullDiskForTheLogIsReportedAndTheConversionGoesOn) {
  ScopedFileFault full_disk("Pic2.Log", FileStage::kWrite, ENOSPC);
  const std::string path = dir.File("pics/Pic2.grf");
  ASSERT_TRUE(WriteTextFile(path, R"({"objects": [{"class": "Rect", "name": "R"}]})",
                            WriteMode::kTruncate)
                  .ok());
  // The log cannot be written, the page can: the picture is converted.
  EXPECT_EQ(RunConvertQevPicFile(context, path, nullptr, 0, 1), 1);
  EXPECT_NE(Jdf("Pic2").find("(R TAVRectangle"), std::string::npos);
  EXPECT_NE(Boxes().find("13|"), std::string::npos) << Boxes();
}

}  // namespace
}  // namespace quillon
