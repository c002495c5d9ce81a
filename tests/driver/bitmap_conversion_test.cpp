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

// A bitmap that shows its secondary images (state 1) and an image lookup.
std::string SecondaryPicture(const std::string& state) {
  return R"({"name": "PicB", "width": 200, "height": 100, "objects": [
 {"class": "Bitmap", "name": "Bitmap1",
  "images": [{"primary": {"rgb": 255, "width": 4, "height": 4}, "secondary": {"rgb": 65280, "width": 4, "height": 4}},
             {"primary": {"rgb": 16711680, "width": 4, "height": 4}, "secondary": {"rgb": 0, "width": 4, "height": 4}}],
  "properties": {"HorizontalPosition": 10.0, "VerticalPosition": 10.0, "Width": 40.0, "Height": 40.0,
                 "CurrentImage": 1, "SecondaryImageDisplayed": )" +
         state + R"(},
  "connections": [{"property": "CurrentImage", "source": "DS.NODE1.PUMP1.F_CV", "objects": [
    {"class": "Lookup", "name": "Lookup1",
     "properties": {"Source": "DS.NODE1.PUMP1.F_CV", "DefaultOutputValue": 1, "ToggleRate": 1.0,
                    "GlobalToggle": 0, "GlobalOutputToggle": 0, "ToggleSource": ""},
     "lookup": {"levels": [{"in": 0, "out": 1}, {"in": 1, "out": 2}],
                "outputToggles": 0, "exactMatch": true, "tolerance": 0.0, "sourceDataType": 3}}]}]}]})";
}

// The image lookup always names the primary images, whatever state the
// bitmap shows; the state the document gives is put back as it was given.
TEST_F(BitmapConversionTest, AnImageLookupOfASecondaryStateNamesThePrimaryImages) {
  ASSERT_TRUE(
      WriteTextFile(dir.File("pics/PicB.grf"), SecondaryPicture("1"), WriteMode::kTruncate).ok());
  ASSERT_EQ(RunConvertQevPicFile(context, dir.File("pics/PicB.grf"), nullptr, 0, 1), 1);
  const std::string jdf = ReadFile(Out("PicB.JDF"));
  EXPECT_NE(jdf.find("(file PicB_Bitmap1_S1.JPG)"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(default PicB_Bitmap1_P1.JPG)"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(map((0 PicB_Bitmap1_P1.JPG)(1 PicB_Bitmap1_P2.JPG)))))"),
            std::string::npos)
      << jdf;
  EXPECT_EQ(jdf.find("_S2.JPG"), std::string::npos) << jdf;
  EXPECT_TRUE(FileExists(Out("PicB_Bitmap1_S2.JPG")));
}

// A JSON true is no short: the state cannot be read, the bitmap's own line
// is still written, but no image file is made and the lookup is lost.
TEST_F(BitmapConversionTest, AStateThatIsNoNumberLosesTheImagesAndTheLookup) {
  ASSERT_TRUE(
      WriteTextFile(dir.File("pics/PicB.grf"), SecondaryPicture("true"), WriteMode::kTruncate)
          .ok());
  ASSERT_EQ(RunConvertQevPicFile(context, dir.File("pics/PicB.grf"), nullptr, 0, 1), 1);
  const std::string jdf = ReadFile(Out("PicB.JDF"));
  EXPECT_NE(jdf.find("(Bitmap1 TAVImage\r\n"), std::string::npos) << jdf;
  EXPECT_NE(jdf.find("(file PicB_Bitmap1_S1.JPG)"), std::string::npos) << jdf;
  EXPECT_EQ(jdf.find("TAVMap"), std::string::npos) << jdf;
  for (const char* name : {"PicB_Bitmap1_P1.JPG", "PicB_Bitmap1_S1.JPG", "PicB_Bitmap1_P2.JPG",
                           "PicB_Bitmap1_S2.JPG"}) {
    EXPECT_FALSE(FileExists(Out(name))) << name;
  }
  const std::string log = ReadFile(Out("PicB.Log"));
  EXPECT_NE(log.find("SecondaryImageDisplayed"), std::string::npos) << log;
  EXPECT_NE(log.find("Error: CurrentImage"), std::string::npos) << log;
}

// 16-bit samples keep their brightness (0x7FFF is 127, not a lighter value
// taken for linear light), and transparency is laid onto white.
TEST_F(BitmapConversionTest, SixteenBitImagesKeepTheirBrightness) {
  registry.Put(RegistryRoot::kClassesRoot, kOptionOutputBmpKey, "", "1");
  ASSERT_TRUE(WritePng16File(dir.File("pics/grey16.png"), 2, 1, false,
                             {0x7fff, 0x7fff, 0x7fff, 0x0000, 0x8080, 0xffff}));
  ASSERT_TRUE(WritePng16File(dir.File("pics/alpha16.png"), 2, 1, true,
                             {0x0000, 0x0000, 0x0000, 0x8000, 0x1234, 0x0000, 0xffff, 0x0000}));
  const std::string picture = R"({"name": "Pic16", "objects": [
    {"class": "Bitmap", "name": "Bitmap1",
     "images": [{"primary": "grey16.png", "secondary": "alpha16.png"}]}]})";
  ASSERT_TRUE(WriteTextFile(dir.File("pics/Pic16.grf"), picture, WriteMode::kTruncate).ok());
  ASSERT_EQ(RunConvertQevPicFile(context, dir.File("pics/Pic16.grf"), nullptr, 0, 1), 1);
  const struct {
    const char* name;
    std::vector<uint8_t> pixels;
  } files[] = {{"Pic16_Bitmap1_P1.BMP", {127, 127, 127, 0, 128, 255}},
               {"Pic16_Bitmap1_S1.BMP", {127, 127, 127, 255, 255, 255}}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeBmpFile(Out(file.name), &image, &error)) << error;
    EXPECT_EQ(image.pixels, file.pixels);
  }
}

}  // namespace
}  // namespace quillon
