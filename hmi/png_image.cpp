// PNG files through libpng's reading interface. Every sample is taken as the
// sRGB value it holds: 8-bit and 16-bit files give the same brightness (a
// 16-bit sample v becomes v x 255 / 65535, rounded), and an alpha channel is
// composited onto white, as the HMI draws transparent parts. libpng's errors
// come back through a jump and are reported as results.
#include "hmi/png_image.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "hmi/regular_file.h"

namespace quillon {
namespace standin {
namespace {

void OnPngError(png_structp png, png_const_charp message) {
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  *text = message;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The 8-bit value of a 16-bit sample `value` with alpha `alpha`, both in
// 0..65535, composited onto white.
uint8_t CompositeOnWhite(uint32_t value, uint32_t alpha) {
  const uint64_t over_white =
      static_cast<uint64_t>(value) * alpha + 65535ull * (65535u - alpha);  // scaled by 65535
  // round(over_white / 65535 * 255 / 65535)
  const uint64_t scale = 65535ull * 65535ull;
  return static_cast<uint8_t>((over_white * 255u + scale / 2) / scale);
}

struct PngFile {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngFile() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (file != nullptr) std::fclose(file);
  }
};

// Reads the rows of `source` as 16-bit RGB or RGBA; false with `message`
// set when libpng gives up. Kept apart from the caller so that nothing with
// a destructor lives across the jump.
bool ReadRows(PngFile* source, std::vector<uint8_t>* rows, std::vector<png_bytep>* pointers,
              size_t* row_bytes, int* channels, png_uint_32* width, png_uint_32* height,
              std::string* message, bool* too_large) {
  png_structp png = source->png;
  png_infop info = source->info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, source->file);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  if (!ImageSizeAllowed(*width, *height)) {
    *message = ImageTooLargeText(*width, *height);
    *too_large = true;
    return false;
  }
  png_set_expand(png);  // palettes, small grey depths and transparency chunks
  png_set_expand_16(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *channels = png_get_channels(png, info);
  *row_bytes = png_get_rowbytes(png, info);
  if ((*channels != 3 && *channels != 4) || png_get_bit_depth(png, info) != 16) {
    *message = "unsupported pixel layout";
    return false;
  }
  rows->resize(*row_bytes * *height);
  pointers->resize(*height);
  for (png_uint_32 y = 0; y < *height; ++y) (*pointers)[y] = rows->data() + *row_bytes * y;
  png_read_image(png, pointers->data());
  return true;
}

}  // namespace

bool ReadPngImage(const std::string& path, RgbImage* image, std::string* error,
                  bool* too_large) {
  bool beyond_limits = false;
  if (too_large == nullptr) too_large = &beyond_limits;
  *too_large = false;
  // Read through the checked file reading, so that a FIFO or a device is
  // refused instead of blocking; libpng reads the bytes from memory.
  std::string bytes;
  if (ReadRegularFile(path, &bytes, error) != FileReadResult::kOk) return false;
  if (bytes.empty()) {
    *error = path + ": Not a PNG file";
    return false;
  }
  PngFile source;
  source.file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (source.file == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char signature[8];
  if (std::fread(signature, 1, sizeof signature, source.file) != sizeof signature ||
      png_sig_cmp(signature, 0, sizeof signature) != 0) {
    *error = path + ": Not a PNG file";
    return false;
  }
  std::string message;
  source.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, OnPngError, OnPngWarning);
  if (source.png != nullptr) source.info = png_create_info_struct(source.png);
  if (source.png == nullptr || source.info == nullptr) {
    *error = path + ": out of memory";
    return false;
  }
  std::vector<uint8_t> rows;
  std::vector<png_bytep> pointers;
  size_t row_bytes = 0;
  int channels = 0;
  png_uint_32 width = 0, height = 0;
  if (!ReadRows(&source, &rows, &pointers, &row_bytes, &channels, &width, &height, &message,
                too_large)) {
    *error = path + ": " + message;
    return false;
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  uint8_t* out = pixels.data();
  for (png_uint_32 y = 0; y < height; ++y) {
    const uint8_t* in = rows.data() + row_bytes * y;
    for (png_uint_32 x = 0; x < width; ++x, in += 2 * channels) {
      const uint32_t alpha = channels == 4 ? (uint32_t{in[6]} << 8 | in[7]) : 65535u;
      for (int c = 0; c < 3; ++c) {
        *out++ = CompositeOnWhite(uint32_t{in[2 * c]} << 8 | in[2 * c + 1], alpha);
      }
    }
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pixels = std::move(pixels);
  return true;
}

}  // namespace standin
}  // namespace quillon
