// Fuzzes the reading of registry files: any text is read or refused, and a
// text that was read is written back to a text that reads the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TreeRegistry::Table table;
  std::string error;
  if (!ParseRegistryText(text, &table, &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const std::string written = FormatRegistryText(table);
  TreeRegistry::Table again;
  if (!ParseRegistryText(written, &again, &error)) __builtin_trap();
  if (FormatRegistryText(again) != written) __builtin_trap();
  return 0;
}
