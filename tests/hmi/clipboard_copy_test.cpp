// The picture window's copy of the selected bitmap: PNG files and plain
// images reach the clipboard the host hands in; what cannot be read leaves
// it empty.
#include <gtest/gtest.h>

#include "hmi/png_image.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "standin_test_util.h"
#include "support/image_files.h"
#include "support/test_env.h"

namespace quillon {
namespace standin {
namespace testing {
namespace {

class ClipboardCopyTest : public ::testing::Test {
 protected:
  ClipboardCopyTest() {
    RgbImage image = PlainImage(0x00ff8000, 5, 4);  // blue-ish, one odd pixel
    image.pixels[0] = 1;
    image.pixels[1] = 2;
    image.pixels[2] = 3;
    png_pixels = image.pixels;
    EXPECT_TRUE(WritePngFile(dir.File("pump.png"), image));
    WriteTextFile(dir.File("broken.png"), "not a PNG");
    const std::string text = R"({"name": "Pic", "objects": [
        {"class": "Bitmap", "name": "Bmp", "images": [
          {"primary": "pump.png", "secondary": {"rgb": 255, "width": 3, "height": 2}},
          {"primary": "missing.png", "secondary": "broken.png"},
          {}]},
        {"class": "Rect", "name": "Box"}]})";
    WriteTextFile(dir.File("Pic.grf"), text);
    host.set_clipboard(&clipboard);
    std::string error;
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(host.LoadDocument(dir.File("Pic.grf"), &dispatch, &error), S_OK) << error;
    EXPECT_EQ(dispatch.As(&window), S_OK);
    ComPtr<IHmiPicture> picture;
    dispatch.As(&picture);
    ComPtr<IDispatch> objects;
    picture->ContainedObjects(&objects);
    ComPtr<IHmiObjectCollection> collection;
    objects.As(&collection);
    ComPtr<IDispatch> item;
    collection->Item(Variant::I4(1), &item);
    EXPECT_EQ(item.As(&bitmap), S_OK);
  }

  static void WriteTextFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  // Shows image `image` in `state` and copies it.
  HRESULT Copy(int16_t image, int16_t state) {
    EXPECT_EQ(bitmap->SetCurrentImage(image), S_OK);
    EXPECT_EQ(bitmap->SetSecondaryImageDisplayed(state), S_OK);
    clipboard.SetImage(PlainImage(0x123456, 1, 1));  // what was there before
    return window->CopyToClipboard();
  }

  TempDir dir;
  Clipboard clipboard;
  StandInHost host;
  ComPtr<IHmiPictureWindow> window;
  ComPtr<IHmiBitmap> bitmap;
  std::vector<uint8_t> png_pixels;
};

TEST_F(ClipboardCopyTest, CopiesTheImageTheSelectedBitmapShows) {
  ASSERT_EQ(bitmap->SetSelected(-1), S_OK);
  ASSERT_EQ(Copy(1, 0), S_OK);
  RgbImage image;
  ASSERT_TRUE(clipboard.GetImage(&image));
  EXPECT_EQ(image.width, 5);
  EXPECT_EQ(image.height, 4);
  EXPECT_EQ(image.pixels, png_pixels);

  ASSERT_EQ(Copy(1, -1), S_OK);
  ASSERT_TRUE(clipboard.GetImage(&image));
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_TRUE(AllPixelsNear(image, 255, 0));
}

TEST_F(ClipboardCopyTest, UnreadableOrMissingImagesLeaveTheClipboardEmpty) {
  ASSERT_EQ(bitmap->SetSelected(-1), S_OK);
  const struct {
    int16_t image, state;
    const char* what;
  } rows[] = {{2, 0, "missing file"},
              {2, -1, "not a PNG"},
              {3, 0, "no primary state"},
              {4, 0, "no such image"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Copy(row.image, row.state), S_OK);
    EXPECT_FALSE(clipboard.HasImage());
  }
}

TEST_F(ClipboardCopyTest, CopyingFailsWithoutASelectedBitmap) {
  EXPECT_EQ(Copy(1, 0), E_FAIL);
  EXPECT_TRUE(clipboard.HasImage());  // untouched
  ASSERT_EQ(bitmap->SetSelected(-1), S_OK);
  ASSERT_EQ(bitmap->SetSelected(0), S_OK);
  EXPECT_EQ(Copy(1, 0), E_FAIL);
}

TEST(PngImageTest, ReadFailuresSayWhy) {
  TempDir dir;
  RgbImage image = PlainImage(7, 2, 2);
  std::string error;
  EXPECT_FALSE(ReadPngImage(dir.File("none.png"), &image, &error));
  EXPECT_NE(error.find("none.png"), std::string::npos);
  EXPECT_EQ(image.width, 2);  // left as it was
}

}  // namespace
}  // namespace testing
}  // namespace standin
}  // namespace quillon
