// Fuzzes the display masks made from data-link formats.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "model/picture_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  long characters = 0, lines = 0;
  if (size >= 2) {
    characters = static_cast<int8_t>(data[0]);
    lines = static_cast<int8_t>(data[1]);
    data += 2;
    size -= 2;
  }
  const std::string format(reinterpret_cast<const char*>(data), size);
  const std::string pair = MakeFormatMask(format, characters, lines);
  if (pair.compare(0, 7, "format\t") != 0 || pair.back() != '\t') __builtin_trap();
  if (pair.size() > 7 + 1 + 2 * 256 + format.size() + 2) __builtin_trap();
  return 0;
}
