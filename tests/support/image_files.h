// Reading back the image files the converter writes (with a BMP reader of
// the tests' own and libjpeg's decoder), and writing PNG sources.
#ifndef QUILLON_TESTS_SUPPORT_IMAGE_FILES_H_
#define QUILLON_TESTS_SUPPORT_IMAGE_FILES_H_

#include <string>

#include "platform/imaging.h"

namespace quillon {

// Decodes a 24-bit uncompressed BMP file; false (with *error) when the file
// is not one or its sizes disagree.
bool DecodeBmpFile(const std::string& path, RgbImage* image, std::string* error);

// Decodes a JPEG file into RGB; false (with *error) when it is not one.
bool DecodeJpegFile(const std::string& path, RgbImage* image, std::string* error);

// Writes `image` as an 8-bit RGB PNG file.
bool WritePngFile(const std::string& path, const RgbImage& image);
// Writes an untagged 16-bit PNG of RGB (or RGBA) samples, row by row.
bool WritePng16File(const std::string& path, int width, int height, bool alpha,
                    const std::vector<uint16_t>& samples);

// True when every pixel of `image` is within `tolerance` of `color`
// (0x00BBGGRR) in each sample.
bool AllPixelsNear(const RgbImage& image, int32_t color, int tolerance);

}  // namespace quillon

#endif  // QUILLON_TESTS_SUPPORT_IMAGE_FILES_H_
