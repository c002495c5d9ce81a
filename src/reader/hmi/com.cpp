// Class and interface identifiers in their braced text form.
#include "reader/hmi/com.h"

#include <cstring>

namespace quillon {
namespace hmi {

bool operator==(const Guid& a, const Guid& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseGuid(const std::string& text, Guid* guid) {
  // {8-4-4-4-12}: 38 characters with the braces.
  static const char kPattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (text.size() != sizeof kPattern - 1) return false;
  Guid parsed;
  int byte = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (kPattern[i] != 'X') {
      if (text[i] != kPattern[i]) return false;
      continue;
    }
    int high = HexDigit(text[i]);
    int low = HexDigit(text[++i]);
    if (high < 0 || low < 0) return false;
    parsed.bytes[byte++] = static_cast<uint8_t>(high * 16 + low);
  }
  *guid = parsed;
  return true;
}

bool SameGuid(const std::string& a, const std::string& b) {
  Guid x, y;
  return ParseGuid(a, &x) && ParseGuid(b, &y) && x == y;
}

namespace {
thread_local std::string g_error_info;
}  // namespace

void SetErrorInfo(std::string description) { g_error_info = std::move(description); }

std::string TakeErrorInfo() {
  std::string description = std::move(g_error_info);
  g_error_info.clear();
  return description;
}

}  // namespace hmi
}  // namespace quillon
