// The clipboard that the HMI copies bitmap images to, and the image writer
// that takes the clipboard image and saves it as a BMP or JPEG file.
#ifndef QUILLON_PLATFORM_IMAGING_H_
#define QUILLON_PLATFORM_IMAGING_H_

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// An image of 8-bit red, green and blue samples, rows from top to bottom.
struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes: R, G, B per pixel

  // True when the size is positive and the samples fill it exactly.
  bool valid() const;
  // The colour of pixel (x, y) as 0x00BBGGRR; 0 outside the image.
  int32_t ColorAt(int32_t x, int32_t y) const;
};

// The largest width or height of an image the converter handles.
constexpr int32_t kMaxImageSide = 65535;
// The most pixels of one image the converter handles: 8192 x 8192, beyond
// any display the pictures are drawn for (the samples take 192 MiB).
constexpr int64_t kMaxImagePixels = int64_t{8192} * 8192;

// True when an image of `width` x `height` pixels lies within the limits
// above (both sides at least 1).
bool ImageSizeAllowed(int64_t width, int64_t height);
// "the image of W x H pixels is larger than the converter handles (...)".
std::string ImageTooLargeText(int64_t width, int64_t height);

// An image of `width` x `height` pixels all of `color` (0x00BBGGRR). Sizes
// outside 1..kMaxImageSide give an empty (invalid) image.
RgbImage PlainImage(int32_t color, int32_t width, int32_t height);

// Holds at most one image, as the system clipboard does for the HMI's copy
// operation. Safe to use from several threads.
class Clipboard {
 public:
  Clipboard() = default;
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;

  // Replaces what the clipboard holds with `image` (an invalid image
  // leaves the clipboard empty).
  void SetImage(RgbImage image);
  // Leaves the clipboard without an image.
  void Clear();
  bool HasImage() const;
  // Copies the image into *image; false (leaving *image as it was) when the
  // clipboard holds none.
  bool GetImage(RgbImage* image) const;

 private:
  mutable std::mutex mutex_;
  std::optional<RgbImage> image_;
};

// The process's own clipboard: used by the converter and the picture-document
// HMI whenever their host hands them no other.
Clipboard& SystemClipboard();

// File formats and parameters of SaveImage.
constexpr int kImageFormatBmp = 6;
constexpr int kImageFormatJpeg = 10;
constexpr int kImageBitsPerPixel = 24;
constexpr int kBmpQualityFactor = 0;
constexpr int kJpegQualityFactor = 2;

// The JPEG quality (1..100) of a quality factor: 0 is the best quality and
// each step of the factor costs 2.5 points, so factor 2 gives 95.
int JpegQualityOfFactor(int quality_factor);

// Takes images from a clipboard and writes them as image files.
class ImageWriter {
 public:
  virtual ~ImageWriter() = default;
  // Non-zero when `clipboard` holds an image this writer can take.
  virtual int ClipboardHasImage(const Clipboard& clipboard) = 0;
  // Takes the clipboard's image into *bitmap; 1 on success, 0 otherwise.
  virtual int TakeClipboardImage(const Clipboard& clipboard, RgbImage* bitmap) = 0;
  // Saves `bitmap` at `path` (replacing a file there) as `format`
  // (kImageFormatBmp or kImageFormatJpeg) with `bits_per_pixel` (24) and
  // `quality_factor` (JPEG only). 1 on success; 0 otherwise, and then no
  // partial file is left at `path`.
  virtual int SaveImage(const std::string& path, const RgbImage& bitmap, int format,
                        int bits_per_pixel, int quality_factor) = 0;
};

// The image writer of the library: 24-bit uncompressed BMP files and
// baseline JPEG files (4:2:0 sampling).
class FileImageWriter final : public ImageWriter {
 public:
  int ClipboardHasImage(const Clipboard& clipboard) override;
  int TakeClipboardImage(const Clipboard& clipboard, RgbImage* bitmap) override;
  int SaveImage(const std::string& path, const RgbImage& bitmap, int format, int bits_per_pixel,
                int quality_factor) override;
};

// The library's image writer, used when the host hands none.
ImageWriter& DefaultImageWriter();

// Writes `image` as a 24-bit BMP file (rows bottom-up, each padded to four
// bytes, 96 dots per inch). On failure returns false, removes what was
// written and says why in *error.
bool WriteBmpFile(const std::string& path, const RgbImage& image, std::string* error);

// Writes `image` as a JPEG file of `quality` (1..100). On failure returns
// false, removes what was written and says why in *error.
bool WriteJpegFile(const std::string& path, const RgbImage& image, int quality, std::string* error);

}  // namespace quillon

#endif  // QUILLON_PLATFORM_IMAGING_H_
