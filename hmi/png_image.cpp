// PNG files through libpng's simplified reading interface, which reports
// every failure as a result (never ends the process).
#include "hmi/png_image.h"

#include <png.h>

#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "hmi/regular_file.h"

namespace quillon {
namespace standin {

bool ReadPngImage(const std::string& path, RgbImage* image, std::string* error,
                  bool* too_large) {
  if (too_large != nullptr) *too_large = false;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  // Read through the checked file reading: a FIFO or device is refused
  // instead of blocking.
  std::string file;
  if (ReadRegularFile(path, &file, error) != FileReadResult::kOk) return false;
  if (png_image_begin_read_from_memory(&png, file.data(), file.size()) == 0) {
    *error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  if (!ImageSizeAllowed(static_cast<int64_t>(png.width), static_cast<int64_t>(png.height))) {
    *error = path + ": " + ImageTooLargeText(png.width, png.height);
    if (too_large != nullptr) *too_large = true;
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels;
  try {
    pixels.resize(PNG_IMAGE_SIZE(png));
  } catch (const std::exception& failure) {
    *error = path + ": no memory for the image (" + failure.what() + ")";
    png_image_free(&png);
    return false;
  }
  // Transparent parts are composed onto white, as the HMI draws them.
  png_color white = {255, 255, 255};
  if (png_image_finish_read(&png, &white, pixels.data(), 0, nullptr) == 0) {
    *error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  image->width = static_cast<int32_t>(png.width);
  image->height = static_cast<int32_t>(png.height);
  image->pixels = std::move(pixels);
  return true;
}

}  // namespace standin
}  // namespace quillon
