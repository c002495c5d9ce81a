// Texts of the stand-in HMI: documents are UTF-8, the converter reads the
// 8-bit Latin-1 code page.
#ifndef QUILLON_HMI_LATIN1_H_
#define QUILLON_HMI_LATIN1_H_

#include <string>
#include <string_view>

namespace quillon {
namespace standin {

// Converts UTF-8 to Latin-1: each character from U+0000 to U+00FF becomes
// its byte, every other character (and every byte of a malformed sequence)
// becomes "?".
std::string Utf8ToLatin1(std::string_view utf8);

// True when every byte of `text` is ASCII, which reads the same in UTF-8 and
// Latin-1.
bool IsAscii(std::string_view text);

// Compares two Latin-1 texts without regard to case (A-Z and the accented
// capitals of Latin-1 match their small letters).
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_LATIN1_H_
