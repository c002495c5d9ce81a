// PNG files through libpng's simplified reading interface, which reports
// every failure as a result (never ends the process).
#include "hmi/png_image.h"

#include <png.h>

#include <cstring>
#include <utility>
#include <vector>

namespace quillon {
namespace standin {

bool ReadPngImage(const std::string& path, RgbImage* image, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
    *error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  if (png.width == 0 || png.height == 0 || png.width > static_cast<png_uint_32>(kMaxImageSide) ||
      png.height > static_cast<png_uint_32>(kMaxImageSide)) {
    *error = path + ": the image is larger than the HMI draws";
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
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
