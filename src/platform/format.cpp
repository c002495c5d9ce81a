// Text formatting helpers.
#include "platform/format.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quillon {
namespace {

void AppendV(std::string* out, const char* format, va_list args) {
  char buffer[512];
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  if (needed < 0) return;
  if (static_cast<size_t>(needed) < sizeof(buffer)) {
    out->append(buffer, static_cast<size_t>(needed));
    return;
  }
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  out->append(large.data(), static_cast<size_t>(needed));
}

}  // namespace

void AppendF(std::string* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
}

void AppendInteger(std::string* out, long value) {
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  out->append(digits, static_cast<size_t>(end.ptr - digits));
}

void AppendCText(std::string* out, std::string_view text) {
  const size_t nul = text.find('\0');
  out->append(text.data(), nul == std::string_view::npos ? text.size() : nul);
}

void AppendShortReal(std::string* out, double value) {
  // to_chars with a precision gives what printf gives in the C locale; the
  // spellings of infinities and NaNs are left to printf itself.
  if (!std::isfinite(value)) {
    AppendF(out, "%g", value);
    return;
  }
  char digits[64];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
  out->append(digits, static_cast<size_t>(end.ptr - digits));
}

std::string StringF(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  AppendV(&out, format, args);
  va_end(args);
  return out;
}

std::string FormatText(const std::string& text, std::initializer_list<std::string> args) {
  std::string out;
  auto next = args.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    size_t conversion = i + 1;
    if (text[conversion] == '%') {
      out += '%';
      i = conversion;
      continue;
    }
    if (text[conversion] == 'l' && conversion + 1 < text.size()) ++conversion;
    char kind = text[conversion];
    if (kind == 's' || kind == 'd' || kind == 'i' || kind == 'u') {
      if (next != args.end()) out += *next++;
      i = conversion;
      continue;
    }
    out += c;
  }
  return out;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string ToCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace quillon
