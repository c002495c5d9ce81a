// Fuzzes the record operations: parsing, splitting and setting properties
// on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/picture_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The first line is the key and value to set, the rest the record.
  const size_t line = text.find('\n');
  const std::string head = line == std::string::npos ? std::string() : text.substr(0, line);
  std::string record = line == std::string::npos ? text : text.substr(line + 1);
  const size_t tab = head.find('\t');
  const std::string key = head.substr(0, tab);
  const std::string value = tab == std::string::npos ? std::string() : head.substr(tab + 1);

  PropertyMap properties;
  ParseRecord(record, &properties);
  std::vector<std::string> items;
  SplitTabList(record, &items);
  if (!key.empty() && !value.empty() && value.find('\t') == std::string::npos) {
    // A pair added to a record of whole pairs reads back as added.
    const bool whole_pairs = items.size() % 2 == 0;
    const bool absent = record.find("\t" + key + "\t") == std::string::npos;
    SetRecordProperty(&record, key, value, 1);
    if (whole_pairs && absent) {
      PropertyMap after;
      ParseRecord(record, &after);
      const std::string* stored = after.Find(key);
      if (stored == nullptr || *stored != value) __builtin_trap();
    }
  }
  std::string owner = text;
  OwnerName(&owner, "Support");
  std::string quoted = text;
  QuoteString(&quoted);
  return 0;
}
