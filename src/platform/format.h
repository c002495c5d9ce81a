// Text formatting helpers: printf-style formatting into std::string for the
// fixed output formats, and placeholder substitution for translatable texts.
#ifndef QUILLON_PLATFORM_FORMAT_H_
#define QUILLON_PLATFORM_FORMAT_H_

#include <initializer_list>
#include <string>

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
