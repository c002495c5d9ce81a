// Text formatting helpers: printf-style formatting into std::string for the
// fixed output formats, and placeholder substitution for translatable texts.
#ifndef QUILLON_PLATFORM_FORMAT_H_
#define QUILLON_PLATFORM_FORMAT_H_

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillon {

// Appends the printf-style formatted text to *out.
void AppendF(std::string* out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Returns the printf-style formatted text.
std::string StringF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Appends `value` in decimal, exactly as "%ld" writes it.
void AppendInteger(std::string* out, long value);

// Appends `value` exactly as "%g" writes it (six significant digits; the
// program keeps the C locale), without the cost of a printf call.
void AppendShortReal(std::string* out, double value);

// Appends `text` as "%s" writes it: up to its first NUL, if it has one.
void AppendCText(std::string* out, std::string_view text);

// The pieces AppendAll appends, each as printf writes it: a C text as "%s",
// a string as "%s" of its c_str() (up to a NUL), an int or a long as "%d"
// or "%ld".
inline void AppendPiece(std::string* out, const char* text) { out->append(text); }
inline void AppendPiece(std::string* out, const std::string& text) { AppendCText(out, text); }
inline void AppendPiece(std::string* out, std::string_view text) { AppendCText(out, text); }
inline void AppendPiece(std::string* out, int value) { AppendInteger(out, value); }
inline void AppendPiece(std::string* out, long value) { AppendInteger(out, value); }

// Appends the pieces in order: what AppendF gives for a format of "%s",
// "%d" and "%ld" conversions and plain text, without a printf call.
template <typename... Pieces>
void AppendAll(std::string* out, const Pieces&... pieces) {
  (AppendPiece(out, pieces), ...);
}

// Substitutes the placeholders of a translatable text (a resource string)
// with `args`, in order: "%s", "%d", "%ld", "%i" and "%u" each take the next
// argument as it stands; "%%" gives "%". A placeholder without an argument
// left gives nothing; any other "%" sequence is copied unchanged. Unlike
// printf this never reads beyond the arguments given, whatever the text holds.
std::string FormatText(const std::string& text, std::initializer_list<std::string> args);

// True when `a` and `b` are the same text without regard to the case of
// the letters a-z.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// `text` with its letters made capitals.
std::string ToUpper(std::string text);

// `text` without blanks (spaces) at either end.
std::string TrimBlanks(const std::string& text);

// Replaces every "\n" that is not already preceded by "\r" with "\r\n": the
// line ends that the log, the JDF file and the HTML page have on disk.
std::string ToCrLf(const std::string& text);

}  // namespace quillon

#endif  // QUILLON_PLATFORM_FORMAT_H_
