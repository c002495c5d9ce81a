// The clipboard and the image writer: files that a standard decoder reads
// back with the right size and colours, and failures reported as results.
#include "platform/imaging.h"

#include <gtest/gtest.h>

#include "platform/format.h"
#include "support/image_files.h"
#include "support/test_env.h"

namespace quillon {
namespace {

// A 3 x 2 image with a different colour in every pixel.
RgbImage Checker() {
  RgbImage image;
  image.width = 3;
  image.height = 2;
  image.pixels = {255, 0,  0,  0,   255, 0,  0,   0,   255,  //
                  10,  20, 30, 200, 100, 50, 255, 255, 255};
  return image;
}

TEST(ClipboardTest, HoldsOneImageUntilReplacedOrCleared) {
  Clipboard clipboard;
  RgbImage image;
  EXPECT_FALSE(clipboard.HasImage());
  EXPECT_FALSE(clipboard.GetImage(&image));

  clipboard.SetImage(PlainImage(0x0000ff, 4, 3));
  ASSERT_TRUE(clipboard.GetImage(&image));
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.ColorAt(3, 2), 0x0000ff);

  clipboard.SetImage(RgbImage());  // an invalid image empties the clipboard
  EXPECT_FALSE(clipboard.HasImage());
  clipboard.SetImage(Checker());
  clipboard.Clear();
  EXPECT_FALSE(clipboard.HasImage());
}

TEST(PlainImageTest, SizesOutsideTheRangeGiveNoImage) {
  EXPECT_TRUE(PlainImage(0, 1, 1).valid());
  EXPECT_TRUE(PlainImage(0, kMaxImageSide, 1).valid());
  EXPECT_FALSE(PlainImage(0, 0, 5).valid());
  EXPECT_FALSE(PlainImage(0, 5, -1).valid());
  EXPECT_FALSE(PlainImage(0, kMaxImageSide + 1, 1).valid());
  // 0x00BBGGRR: the low byte is red.
  RgbImage image = PlainImage(0x00336699, 1, 1);
  EXPECT_EQ(image.pixels, (std::vector<uint8_t>{0x99, 0x66, 0x33}));
}

TEST(JpegQualityTest, FactorTwoIsNinetyFive) {
  const int rows[][2] = {{0, 100}, {2, 95}, {4, 90}, {20, 50}, {39, 3}, {40, 1}, {255, 1}};
  for (const auto& row : rows) EXPECT_EQ(JpegQualityOfFactor(row[0]), row[1]) << row[0];
}

TEST(ImageWriterTest, TakesTheClipboardImage) {
  FileImageWriter writer;
  Clipboard clipboard;
  RgbImage bitmap;
  EXPECT_EQ(writer.ClipboardHasImage(clipboard), 0);
  EXPECT_EQ(writer.TakeClipboardImage(clipboard, &bitmap), 0);
  clipboard.SetImage(Checker());
  EXPECT_NE(writer.ClipboardHasImage(clipboard), 0);
  ASSERT_EQ(writer.TakeClipboardImage(clipboard, &bitmap), 1);
  EXPECT_EQ(bitmap.pixels, Checker().pixels);
  EXPECT_TRUE(clipboard.HasImage());  // taking leaves the clipboard as it was
}

TEST(ImageWriterTest, BmpFilesReadBackExactly) {
  TempDir dir;
  FileImageWriter writer;
  // Widths 1 to 5 cover every row padding.
  for (int32_t width = 1; width <= 5; ++width) {
    SCOPED_TRACE(width);
    RgbImage image = PlainImage(0x00102030, width, 3);
    image.pixels[0] = 7;  // top-left red, to see that rows are not upside down
    const std::string path = dir.File(StringF("w%d.BMP", width));
    ASSERT_EQ(writer.SaveImage(path, image, kImageFormatBmp, 24, kBmpQualityFactor), 1);
    RgbImage back;
    std::string error;
    ASSERT_TRUE(DecodeBmpFile(path, &back, &error)) << error;
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, image.pixels);
  }
  RgbImage back;
  std::string error;
  ASSERT_EQ(writer.SaveImage(dir.File("c.BMP"), Checker(), kImageFormatBmp, 24, 0), 1);
  ASSERT_TRUE(DecodeBmpFile(dir.File("c.BMP"), &back, &error)) << error;
  EXPECT_EQ(back.pixels, Checker().pixels);
}

TEST(ImageWriterTest, JpegFilesDecodeWithinASmallTolerance) {
  TempDir dir;
  FileImageWriter writer;
  struct Row {
    int32_t color, width, height;
  };
  const Row rows[] = {
      {0x0000ff, 16, 16}, {0xff0000, 33, 7}, {0x00c0c0c0, 1, 1}, {0x00204080, 640, 480}};
  for (const Row& row : rows) {
    SCOPED_TRACE(StringF("0x%06x %dx%d", row.color, row.width, row.height));
    const std::string path = dir.File("image.JPG");
    ASSERT_EQ(writer.SaveImage(path, PlainImage(row.color, row.width, row.height), kImageFormatJpeg,
                               24, kJpegQualityFactor),
              1);
    RgbImage back;
    std::string error;
    ASSERT_TRUE(DecodeJpegFile(path, &back, &error)) << error;
    EXPECT_EQ(back.width, row.width);
    EXPECT_EQ(back.height, row.height);
    EXPECT_TRUE(AllPixelsNear(back, row.color, 4));
  }
}

TEST(ImageWriterTest, FailuresAreResultsAndLeaveNoFile) {
  TempDir dir;
  FileImageWriter writer;
  const RgbImage image = PlainImage(0x123456, 8, 8);
  struct Row {
    const char* what;
    std::string path;
    RgbImage bitmap;
    int format, bits;
  };
  const Row rows[] = {
      {"missing directory, BMP", dir.File("none/a.BMP"), image, kImageFormatBmp, 24},
      {"missing directory, JPEG", dir.File("none/a.JPG"), image, kImageFormatJpeg, 24},
      {"a directory in the way", dir.path(), image, kImageFormatJpeg, 24},
      {"empty image, BMP", dir.File("e.BMP"), RgbImage(), kImageFormatBmp, 24},
      {"empty image, JPEG", dir.File("e.JPG"), RgbImage(), kImageFormatJpeg, 24},
      {"unknown format", dir.File("u.TIF"), image, 3, 24},
      {"not 24 bits", dir.File("b.BMP"), image, kImageFormatBmp, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(writer.SaveImage(row.path, row.bitmap, row.format, row.bits, 0), 0);
    if (row.path != dir.path()) {
      EXPECT_FALSE(FileExists(row.path));
    }
  }
}

TEST(ImageWriterTest, AnImageTooLargeForJpegFailsWithoutEndingTheProcess) {
  TempDir dir;
  std::string error;
  // JPEG allows at most 65500 pixels a side: libjpeg's fatal error must come
  // back as a result.
  const RgbImage wide = PlainImage(0, 65535, 1);
  EXPECT_FALSE(WriteJpegFile(dir.File("wide.JPG"), wide, 95, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(FileExists(dir.File("wide.JPG")));
  // The same image is a valid BMP.
  EXPECT_TRUE(WriteBmpFile(dir.File("wide.BMP"), wide, &error)) << error;
}

}  // namespace
}  // namespace quillon
