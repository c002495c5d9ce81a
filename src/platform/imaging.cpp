// The clipboard and the image files: BMP written here, JPEG through libjpeg.
#include "platform/imaging.h"

#include "platform/output_stage.h"
#include "platform/text_file.h"

#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quillon {

bool RgbImage::valid() const {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
}

int32_t RgbImage::ColorAt(int32_t x, int32_t y) const {
  if (!valid() || x < 0 || y < 0 || x >= width || y >= height) return 0;
  const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
  return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}

bool ImageSizeAllowed(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

std::string ImageTooLargeText(int64_t width, int64_t height) {
  char text[160];
  std::snprintf(text, sizeof text,
                "the image of %lld x %lld pixels is larger than the converter handles "
                "(at most %lld pixels, %d on a side)",
                static_cast<long long>(width), static_cast<long long>(height),
                static_cast<long long>(kMaxImagePixels), static_cast<int>(kMaxImageSide));
  return text;
}

RgbImage PlainImage(int32_t color, int32_t width, int32_t height) {
  RgbImage image;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return image;
  image.width = width;
  image.height = height;
  const uint32_t bits = static_cast<uint32_t>(color);
  const uint8_t rgb[3] = {static_cast<uint8_t>(bits & 0xff),
                          static_cast<uint8_t>((bits >> 8) & 0xff),
                          static_cast<uint8_t>((bits >> 16) & 0xff)};
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  image.pixels.resize(count * 3);
  for (size_t i = 0; i < count; ++i) std::memcpy(&image.pixels[i * 3], rgb, 3);
  return image;
}

void Clipboard::SetImage(RgbImage image) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (image.valid()) {
    image_ = std::move(image);
  } else {
    image_.reset();
  }
}

void Clipboard::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  image_.reset();
}

bool Clipboard::HasImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_.has_value();
}

bool Clipboard::GetImage(RgbImage* image) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!image_) return false;
  *image = *image_;
  return true;
}

Clipboard& SystemClipboard() {
  static Clipboard clipboard;
  return clipboard;
}

int JpegQualityOfFactor(int quality_factor) {
  if (quality_factor <= 0) return 100;
  if (quality_factor >= 40) return 1;
  int quality = 100 - quality_factor * 5 / 2;
  return quality < 1 ? 1 : quality;
}

namespace {

std::string ErrnoText(int error_number) { return std::strerror(error_number); }

void PutLe16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value & 0xff);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xff);
}

void PutLe32(uint8_t* at, uint32_t value) {
  PutLe16(at, value & 0xffff);
  PutLe16(at + 2, value >> 16);
}

// Closes `file` and removes what was written of `path` after a failure.
bool GiveUp(std::FILE* file, const std::string& path) {
  if (file != nullptr) CloseOutputStream(file, path, /*keep=*/false);
  return false;
}

std::string CauseText(int cause) {
  return "the file could not be written (file error " + std::to_string(cause) + ")";
}

// Opens the image file `path` for writing through the file layer; null with
// the reason in *error.
std::FILE* OpenImageFile(const std::string& path, std::string* error) {
  FileResult result;
  std::FILE* file = OpenOutputStream(path, &result);
  if (file == nullptr) {
    *error = result.cause == kFileRefusedNotRegular ? NotRegularFileText(path)
                                                    : CauseText(result.cause);
  }
  return file;
}

// Closes an image file written whole; false with the reason when the
// written bytes did not all reach it.
bool FinishImageFile(std::FILE* file, const std::string& path, std::string* error) {
  FileResult result = CloseOutputStream(file, path, /*keep=*/true);
  if (!result.ok()) *error = CauseText(result.cause);
  return result.ok();
}

// libjpeg reports a fatal error by calling error_exit, which must not
// return; this one jumps back to the caller of the compression instead of
// ending the process.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
  JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// Warnings and traces are not printed.
void IgnoreJpegMessage(j_common_ptr) {}

// Compresses `image` into `file`. Only plain C data lives in this frame, so
// the jump back from an error skips no destructor.
bool CompressJpeg(std::FILE* file, const RgbImage& image, int quality, char* message) {
  jpeg_compress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JumpOnJpegError;
  errors.manager.output_message = IgnoreJpegMessage;
  errors.message[0] = '\0';
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&info);
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(&image.pixels[info.next_scanline * stride]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool WriteBmpFile(const std::string& path, const RgbImage& image, std::string* error) {
  if (!image.valid()) {
    *error = "the image is empty";
    return false;
  }
  const uint64_t row_size = (static_cast<uint64_t>(image.width) * 3 + 3) & ~uint64_t{3};
  const uint64_t data_size = row_size * static_cast<uint64_t>(image.height);
  constexpr uint32_t kHeaderSize = 14 + 40;
  if (data_size + kHeaderSize > 0xffffffffu) {
    *error = "the image is too large for a BMP file";
    return false;
  }
  uint8_t header[kHeaderSize] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLe32(header + 2, static_cast<uint32_t>(data_size + kHeaderSize));
  PutLe32(header + 10, kHeaderSize);
  PutLe32(header + 14, 40);
  PutLe32(header + 18, static_cast<uint32_t>(image.width));
  PutLe32(header + 22, static_cast<uint32_t>(image.height));  // positive: rows bottom-up
  PutLe16(header + 26, 1);                                    // planes
  PutLe16(header + 28, 24);                                   // bits per pixel
  PutLe32(header + 34, static_cast<uint32_t>(data_size));
  PutLe32(header + 38, 3780);  // 96 dots per inch, in pixels per metre
  PutLe32(header + 42, 3780);

  std::FILE* file = OpenImageFile(path, error);
  if (file == nullptr) return false;
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header) {
    *error = ErrnoText(errno);
    return GiveUp(file, path);
  }
  std::vector<uint8_t> row(static_cast<size_t>(row_size), 0);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  for (int32_t y = image.height - 1; y >= 0; --y) {
    const uint8_t* source = &image.pixels[static_cast<size_t>(y) * stride];
    for (int32_t x = 0; x < image.width; ++x) {
      row[x * 3 + 0] = source[x * 3 + 2];  // blue, green, red
      row[x * 3 + 1] = source[x * 3 + 1];
      row[x * 3 + 2] = source[x * 3 + 0];
    }
    if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) {
      *error = ErrnoText(errno);
      return GiveUp(file, path);
    }
  }
  return FinishImageFile(file, path, error);
}

bool WriteJpegFile(const std::string& path, const RgbImage& image, int quality,
                   std::string* error) {
  if (!image.valid()) {
    *error = "the image is empty";
    return false;
  }
  if (quality < 1) quality = 1;
  if (quality > 100) quality = 100;
  std::FILE* file = OpenImageFile(path, error);
  if (file == nullptr) return false;
  char message[JMSG_LENGTH_MAX] = {};
  if (!CompressJpeg(file, image, quality, message)) {
    *error = message;
    return GiveUp(file, path);
  }
  return FinishImageFile(file, path, error);
}

int FileImageWriter::ClipboardHasImage(const Clipboard& clipboard) {
  return clipboard.HasImage() ? 1 : 0;
}

int FileImageWriter::TakeClipboardImage(const Clipboard& clipboard, RgbImage* bitmap) {
  RgbImage taken;
  if (!clipboard.GetImage(&taken) || !taken.valid()) return 0;
  *bitmap = std::move(taken);
  return 1;
}

int FileImageWriter::SaveImage(const std::string& path, const RgbImage& bitmap, int format,
                               int bits_per_pixel, int quality_factor) {
  if (bits_per_pixel != kImageBitsPerPixel || path.empty()) return 0;
  std::string error;
  switch (format) {
    case kImageFormatBmp:
      return WriteBmpFile(path, bitmap, &error) ? 1 : 0;
    case kImageFormatJpeg:
      return WriteJpegFile(path, bitmap, JpegQualityOfFactor(quality_factor), &error) ? 1 : 0;
    default:
      return 0;
  }
}

ImageWriter& DefaultImageWriter() {
  static FileImageWriter writer;
  return writer;
}

}  // namespace quillon
