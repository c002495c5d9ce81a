// A picture with a bitmap converted end to end: the page description names
// image files that exist in the output directory and decode to the images.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "support/image_files.h"
#include "support/test_env.h"

namespace quillon {
namespace {

constexpr char kPicture[] = R"({"name": "Pic1", "width": 320, "height": 200, "objects": [
    {"class": "Bitmap", "name": "Bitmap1",
     "properties": {"HorizontalPosition": 10, "VerticalPosition": 20, "Width": 40, "Height": 30,
                    "CurrentImage": 2},
     "images": [{"primary": "pump.png", "secondary": {"rgb": 255, "width": 4, "height": 4}},
                {"primary": {"rgb": 65280, "width": 6, "height": 2},
                 "secondary": {"rgb": 16711680, "width": 6, "height": 2}}]}]})";

class BitmapConversionTest : public ::testing::Test {
 protected:
  BitmapConversionTest() {
    ::mkdir(dir.File("pics").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    // The output directory as stored, without a separator at its end.
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.File("pics"));
    registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out"));
    EXPECT_TRUE(WritePngFile(dir.File("pics/pump.png"), PlainImage(0x00ff8040, 7, 5)));
    EXPECT_TRUE(WriteTextFile(dir.File("pics/Pic1.grf"), kPicture, WriteMode::kTruncate).ok());
    host.set_clipboard(&clipboard);
    context.services = env.services;
    context.registry = &registry;
    context.hmi = &host;
    context.clipboard = &clipboard;
  }
  std::string Out(const std::string& name) const { return dir.File("out/" + name); }

  TestServices env;
  TempDir dir;
  MemoryRegistry registry;
  Clipboard clipboard;
  standin::StandInHost host;
  RunContext context;
};

TEST_F(BitmapConversionTest, ThePageNamesTheImageFileShown) {
  ASSERT_EQ(RunConvertQevPicFile(context, dir.File("pics/Pic1.grf"), nullptr, 0, 1), 1);
  const std::string jdf = ReadFile(Out("Pic1.JDF"));
  EXPECT_NE(jdf.find("(Bitmap1 TAVImage\r\n"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("\t(file Pic1_Bitmap1_P2.JPG)\r\n"), std::string::npos) << jdf;
  const struct {
    const char* name;
    int32_t color, width, height;
  } files[] = {{"Pic1_Bitmap1_P1.JPG", 0x00ff8040, 7, 5},
               {"Pic1_Bitmap1_S1.JPG", 0x000000ff, 4, 4},
               {"Pic1_Bitmap1_P2.JPG", 0x0000ff00, 6, 2},
               {"Pic1_Bitmap1_S2.JPG", 0x00ff0000, 6, 2}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeJpegFile(Out(file.name), &image, &error)) << error;
    EXPECT_EQ(image.width, file.width);
    EXPECT_EQ(image.height, file.height);
    EXPECT_TRUE(AllPixelsNear(image, file.color, 4));
  }
  const std::string log = ReadFile(Out("Pic1.Log"));
  EXPECT_NE(log.find(FormatText(env.Text(99), {"Bitmap1"}) + Out("Pic1_Bitmap1_P1.JPG") + "\r\n" +
                     Out("Pic1_Bitmap1_S1.JPG") + "\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(BitmapConversionTest, WithBmpOutputThePageNamesTheBmpFile) {
  registry.Put(RegistryRoot::kClassesRoot, kOptionOutputBmpKey, "", "1");
  ASSERT_EQ(RunConvertQevPicFile(context, dir.File("pics/Pic1.grf"), nullptr, 0, 1), 1);
  EXPECT_NE(ReadFile(Out("Pic1.JDF")).find("\t(file Pic1_Bitmap1_P2.BMP)\r\n"), std::string::npos);
  RgbImage image;
  std::string error;
  ASSERT_TRUE(DecodeBmpFile(Out("Pic1_Bitmap1_P2.BMP"), &image, &error)) << error;
  EXPECT_TRUE(AllPixelsNear(image, 0x0000ff00, 0));
  EXPECT_FALSE(FileExists(Out("Pic1_Bitmap1_P2.JPG")));
}

TEST_F(BitmapConversionTest, APictureGivenAsObjectWritesItsImagesToTheGivenDirectory) {
  hmi::ComPtr<hmi::IDispatch> document;
  std::string error;
  ASSERT_EQ(host.LoadDocument(dir.File("pics/Pic1.grf"), &document, &error), hmi::S_OK) << error;
  ::mkdir(dir.File("given").c_str(), 0755);
  int16_t status = 0;
  const std::string given = dir.File("given");
  ASSERT_EQ(RunConvertPicture(context, hmi::Variant::Dispatch(document), 0, 0, 1, 2, given.c_str(),
                              &status),
            1);
  EXPECT_TRUE(FileExists(dir.File("given/Pic1_Bitmap1_S2.BMP")));
  EXPECT_NE(ReadFile(dir.File("given/Pic1.JDF")).find("(file Pic1_Bitmap1_P2.BMP)"),
            std::string::npos);
}

}  // namespace
}  // namespace quillon
