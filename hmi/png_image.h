// Reading the picture-document HMI's image files (PNG) into RGB images.
#ifndef QUILLON_HMI_PNG_IMAGE_H_
#define QUILLON_HMI_PNG_IMAGE_H_

#include <string>

#include "platform/imaging.h"

namespace quillon {
namespace standin {

// Reads the PNG file at `path` as 8-bit RGB (transparency is dropped, grey
// becomes RGB, 16-bit samples are reduced). On failure returns false,
// leaves *image as it was and says why in *error; *too_large (when given)
// tells whether the image lies beyond the limits of ImageSizeAllowed. The
// file must be a regular file: a FIFO or device is refused unread.
bool ReadPngImage(const std::string& path, RgbImage* image, std::string* error,
                  bool* too_large = nullptr);

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_PNG_IMAGE_H_
