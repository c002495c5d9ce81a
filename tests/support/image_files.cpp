// Image files for the tests.
#include "support/image_files.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/test_env.h"

namespace quillon {
namespace {

uint32_t Le32(const std::string& data, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(data[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(data[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(data[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(data[at + 3])) << 24;
}

uint16_t Le16(const std::string& data, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) | static_cast<uint8_t>(data[at + 1])
                                                                    << 8);
}

struct DecodeErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Jump(j_common_ptr info) {
  DecodeErrors* errors = reinterpret_cast<DecodeErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// Plain C data only in this frame (see the jump above).
bool Decompress(std::FILE* file, unsigned char* out, size_t capacity, int* width, int* height,
                char* message) {
  jpeg_decompress_struct info;
  DecodeErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = Jump;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  *width = static_cast<int>(info.output_width);
  *height = static_cast<int>(info.output_height);
  const size_t stride = static_cast<size_t>(info.output_width) * 3;
  if (out == nullptr || stride * info.output_height > capacity) {
    jpeg_destroy_decompress(&info);
    return true;  // size only
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

bool DecodeBmpFile(const std::string& path, RgbImage* image, std::string* error) {
  const std::string data = ReadFile(path);
  if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') {
    *error = "not a BMP file";
    return false;
  }
  const uint32_t offset = Le32(data, 10);
  const int32_t width = static_cast<int32_t>(Le32(data, 18));
  const int32_t height = static_cast<int32_t>(Le32(data, 22));
  if (Le32(data, 2) != data.size() || Le32(data, 14) != 40 || Le16(data, 26) != 1 ||
      Le16(data, 28) != 24 || Le32(data, 30) != 0 || width <= 0 || height <= 0) {
    *error = "not a 24-bit bottom-up BMP file";
    return false;
  }
  const size_t row_size = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (offset + row_size * height != data.size()) {
    *error = "the pixel data does not fit the size";
    return false;
  }
  image->width = width;
  image->height = height;
  image->pixels.assign(static_cast<size_t>(width) * height * 3, 0);
  for (int32_t y = 0; y < height; ++y) {
    const size_t row = offset + row_size * static_cast<size_t>(height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* pixel = &image->pixels[(static_cast<size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<uint8_t>(data[row + x * 3 + 2]);
      pixel[1] = static_cast<uint8_t>(data[row + x * 3 + 1]);
      pixel[2] = static_cast<uint8_t>(data[row + x * 3 + 0]);
    }
  }
  return true;
}

bool DecodeJpegFile(const std::string& path, RgbImage* image, std::string* error) {
  char message[JMSG_LENGTH_MAX] = {};
  int width = 0, height = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return false;
  }
  bool sized = Decompress(file, nullptr, 0, &width, &height, message);
  std::fclose(file);
  if (!sized) {
    *error = message;
    return false;
  }
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return false;
  }
  bool decoded = Decompress(file, pixels.data(), pixels.size(), &width, &height, message);
  std::fclose(file);
  if (!decoded) {
    *error = message;
    return false;
  }
  image->width = width;
  image->height = height;
  image->pixels.assign(pixels.begin(), pixels.end());
  return true;
}

bool WritePngFile(const std::string& path, const RgbImage& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
}

bool WritePng16File(const std::string& path, int width, int height, bool alpha,
                    const std::vector<uint16_t>& samples) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const int channels = alpha ? 4 : 3;
  // Big-endian rows, as the file holds them; no colour chunk at all.
  std::vector<uint8_t> rows(static_cast<size_t>(width) * height * channels * 2);
  for (size_t i = 0; i < samples.size() && 2 * i + 1 < rows.size(); ++i) {
    rows[2 * i] = static_cast<uint8_t>(samples[i] >> 8);
    rows[2 * i + 1] = static_cast<uint8_t>(samples[i] & 0xff);
  }
  std::vector<png_bytep> pointers(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    pointers[static_cast<size_t>(y)] = rows.data() + static_cast<size_t>(y) * width * channels * 2;
  }
  bool ok = info != nullptr && setjmp(png_jmpbuf(png)) == 0;
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 16,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

bool AllPixelsNear(const RgbImage& image, int32_t color, int tolerance) {
  if (!image.valid()) return false;
  const int expected[3] = {color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff};
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    if (std::abs(image.pixels[i] - expected[i % 3]) > tolerance) return false;
  }
  return true;
}

}  // namespace quillon
