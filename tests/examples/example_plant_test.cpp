// The example plant converted as the demo converts it, compared with its
// golden pages and logs byte for byte, and its image files decoded and
// compared with their sources. QUILLON_UPDATE_GOLDENS=1 writes the current
// output over the golden files (examples/golden/) instead of failing.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "driver/dialogs.h"
#include "driver/picture_converter.h"
#include "hmi/png_image.h"
#include "hmi/standin_host.h"
#include "platform/console_ui.h"
#include "platform/registry.h"
#include "support/image_files.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(QUILLON_SOURCE_DIR) / "examples";
const char* const kPictures[] = {"Overview", "Pumps", "Trends"};

bool UpdatingGoldens() { return std::getenv("QUILLON_UPDATE_GOLDENS") != nullptr; }

// Runs the conversion in a scratch folder laid out like the project, so
// that the paths in the logs are those of the demo.
class ExamplePlantTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(fs::path(dir.path()) / "examples");
    fs::copy(kExamples / "pictures", fs::path(dir.path()) / "examples" / "pictures",
             fs::copy_options::recursive);
    fs::copy(kExamples / "registry.reg", dir.File("registry.reg"));
    fs::create_directories(dir.File("demo-out"));
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof(cwd)), nullptr);
    previous_directory_ = cwd;
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);

    err_ = std::tmpfile();
    ui_ = std::make_unique<ConsoleUi>(err_, 0);
    ui_->Preset(kNodeDialog, kNodeName, "THISNODE");
    progress_.Bind(ui_.get(), &TestResources());
    context_.services.ui = ui_.get();
    context_.services.resources = &TestResources();
    context_.services.progress = &progress_;
    context_.registry = &registry_;
    context_.hmi = &host_;
    context_.state = &state_;
  }
  void TearDown() override {
    if (!previous_directory_.empty()) {
      EXPECT_EQ(::chdir(previous_directory_.c_str()), 0);
    }
    if (err_ != nullptr) std::fclose(err_);
  }

  TempDir dir;
  std::string previous_directory_;
  std::FILE* err_ = nullptr;
  std::unique_ptr<ConsoleUi> ui_;
  CFileConvDlg progress_;
  FileRegistry registry_{"registry.reg"};
  standin::StandInHost host_;
  ProcessState state_;
  RunContext context_;
};

TEST_F(ExamplePlantTest, PagesAndLogsMatchTheGoldens) {
  std::vector<std::string> paths;
  for (const char* picture : kPictures) {
    paths.push_back(std::string("examples/pictures/") + picture + ".grf");
  }
  EXPECT_EQ(RunConvertPictureFile(context_, paths, nullptr, 0, 1), 1);

  for (const char* picture : kPictures) {
    for (const char* extension : {".JDF", ".htm", ".Log"}) {
      const std::string name = std::string(picture) + extension;
      const std::string actual = ReadFile("demo-out/" + name);
      const fs::path golden = kExamples / "golden" / name;
      if (UpdatingGoldens()) {
        std::ofstream(golden, std::ios::binary) << actual;
        continue;
      }
      EXPECT_FALSE(actual.empty()) << name;
      EXPECT_EQ(actual, ReadFile(golden.string())) << name << " differs from its golden file";
    }
  }
}

TEST_F(ExamplePlantTest, ImageFilesShowTheirSourceImages) {
  ASSERT_EQ(RunConvertQevPicFile(context_, "examples/pictures/Pumps.grf", nullptr, 0, 1), 1);
  struct Image {
    const char* file;
    const char* source;  // PNG, or empty for the plain red image
  };
  const Image images[] = {
      {"Pumps_Pump1Symbol_P1.JPG", "pump_stopped.png"},
      {"Pumps_Pump1Symbol_S1.JPG", "pump_fault.png"},
      {"Pumps_Pump1Symbol_P2.JPG", "pump_running.png"},
      {"Pumps_Pump1Symbol_S2.JPG", "pump_fault.png"},
      {"Pumps_Valve1Symbol_P1.JPG", "valve_closed.png"},
      {"Pumps_Valve1Symbol_S1.JPG", ""},
      {"Pumps_Valve1Symbol_P2.JPG", "valve_open.png"},
      {"Pumps_Valve1Symbol_S2.JPG", ""},
  };
  for (const Image& image : images) {
    RgbImage decoded;
    std::string error;
    ASSERT_TRUE(DecodeJpegFile(std::string("demo-out/") + image.file, &decoded, &error))
        << image.file << ": " << error;
    if (image.source[0] == '\0') {
      EXPECT_EQ(decoded.width, 24);
      EXPECT_TRUE(AllPixelsNear(decoded, 0x0000FF, 12)) << image.file;
      continue;
    }
    RgbImage source;
    ASSERT_TRUE(standin::ReadPngImage(
        (kExamples / "pictures" / "images" / image.source).string(), &source, &error))
        << error;
    ASSERT_EQ(decoded.width, source.width) << image.file;
    ASSERT_EQ(decoded.height, source.height) << image.file;
    // JPEG blurs edges; the centre and a corner keep their colours.
    for (auto point : {std::pair<int, int>{12, 12}, std::pair<int, int>{1, 1}}) {
      const int32_t want = source.ColorAt(point.first, point.second);
      const int32_t got = decoded.ColorAt(point.first, point.second);
      for (int shift : {0, 8, 16}) {
        EXPECT_NEAR((got >> shift) & 0xff, (want >> shift) & 0xff, 40)
            << image.file << " at " << point.first << "," << point.second;
      }
    }
  }
  // The page names the image that the bitmap shows.
  EXPECT_NE(ReadFile("demo-out/Pumps.JDF").find("(file Pumps_Pump1Symbol_P1.JPG)"),
            std::string::npos);
}

}  // namespace
}  // namespace quillon
