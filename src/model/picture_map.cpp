// The picture model's operations.
#include "model/picture_map.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "driver/conversion_log.h"
#include "platform/format.h"

namespace quillon {
namespace {

constexpr char kTab = '\t';

// No display field is wider than this; a format asking for more is cut here
// instead of exhausting memory.
constexpr long kMaxMaskLength = 255;

std::string Hashes(long count) {
  if (count < 0) count = 0;
  if (count > kMaxMaskLength) count = kMaxMaskLength;
  return std::string(static_cast<size_t>(count), '#');
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string RecordKey(const std::string& object_name, const std::string& class_name) {
  std::string key;
  key.reserve(object_name.size() + class_name.size() + 2);
  key += object_name;
  key += '(';
  key += class_name;
  key += ')';
  return key;
}

namespace {

// Appends name(class) and a TAB to the list entry `list_key`, which starts
// with a TAB when it is made.
void AppendListItem(PictureMap* map, std::string_view list_key, const std::string& object_name,
                    const std::string& class_name) {
  std::string* list = map->FindMutable(list_key);
  if (list == nullptr) {
    map->Set(list_key, std::string(1, kTab));
    list = map->FindMutable(list_key);
  }
  // Appended in place: the list grows with every object of the picture.
  list->append(object_name).append(1, '(').append(class_name).append(")\t", 2);
}

}  // namespace

void AddRecord(PictureMap* map, const std::string& class_name, const std::string& object_name,
               const std::string& record) {
  map->Set(RecordKey(object_name, class_name), record);
  AppendToObjectList(map, object_name, class_name);
}

void AppendToObjectList(PictureMap* map, const std::string& object_name,
                        const std::string& class_name) {
  if (map->empty()) return;
  AppendListItem(map, kObjectList, object_name, class_name);
}

void AppendToSequence(PictureMap* map, const std::string& class_name,
                      const std::string& object_name, const std::string& sequence_key) {
  AppendListItem(map, sequence_key, object_name, class_name);
}

void AppendLink(PictureMap* map, const std::string& text) {
  if (std::string* links = map->FindMutable(kLinks)) {
    *links += text;
  } else {
    map->Set(kLinks, text);
  }
}

void SetRecordProperty(std::string* record, const std::string& key, const std::string& value,
                       int add_if_missing) {
  // The first "TAB key TAB" of the record: each place the key stands, in
  // order, until one has a TAB on either side. The key is rarer than the
  // TABs, so it is what the record is searched for.
  const char* const text = record->data();
  const size_t size = record->size();
  size_t at = std::string::npos;
  for (size_t from = 1; from + key.size() < size;) {
    const void* found = memmem(text + from, size - from, key.data(), key.size());
    if (found == nullptr) break;
    const size_t start = static_cast<size_t>(static_cast<const char*>(found) - text);
    if (start + key.size() >= size) break;
    if (text[start - 1] == kTab && text[start + key.size()] == kTab) {
      at = start - 1;
      break;
    }
    from = start + 1;
  }
  if (at != std::string::npos) {
    // The old value (up to the next TAB or the end) is replaced in place.
    const size_t old_value = at + key.size() + 2;
    const size_t rest = record->find(kTab, old_value);
    record->replace(old_value, rest == std::string::npos ? std::string::npos : rest - old_value,
                    value);
    return;
  }
  if (add_if_missing != 1) return;
  // A pair glued onto a last value without its TAB would shift every pair.
  if (record->empty() || record->back() != kTab) *record += kTab;
  record->append(key).append(1, kTab).append(value).append(1, kTab);
}

void SplitTabList(const std::string& text, std::vector<std::string>* items) {
  items->clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(kTab, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) items->push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

namespace {

// The first TAB in [at, end), or end. The items are short, so a library
// search per item costs more than it saves: eight bytes are looked at at a
// time, a word holding a TAB being one whose TAB-xored bytes include a zero.
const char* NextTab(const char* at, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  constexpr uint64_t kTabs = kOnes * static_cast<unsigned char>(kTab);
  while (end - at >= 8) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const uint64_t bytes = word ^ kTabs;
    const uint64_t found = (bytes - kOnes) & ~bytes & kHighs;
    if (found != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The lowest marked byte is the first TAB (a mark above it may be false).
      return at + (__builtin_ctzll(found) >> 3);
#else
      break;
#endif
    }
    at += 8;
  }
  while (at < end && *at != kTab) ++at;
  return at;
}

// Calls visit(key, value) for the non-empty items of a TAB list taken in
// pairs, as SplitTabList gives them; an odd last item is left out.
template <typename Visit>
void ForEachRecordPair(std::string_view text, Visit visit) {
  std::string_view key;
  bool have_key = false;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const char* const item_end = NextTab(at, end);
    if (item_end > at) {
      const std::string_view item(at, static_cast<size_t>(item_end - at));
      if (!have_key) {
        key = item;
        have_key = true;
      } else {
        visit(key, item);
        have_key = false;
      }
    }
    if (item_end == end) break;
    at = item_end + 1;
  }
}

}  // namespace

std::string ParseRecord(const std::string& record, PropertyMap* properties) {
  std::string_view class_name;
  ForEachRecordPair(record, [&](std::string_view key, std::string_view value) {
    properties->SetText(key, value);
    if (key == "ClassName") class_name = value;
  });
  return std::string(class_name);
}

std::string RecordValueOf(const std::string& record, std::string_view key) {
  std::string_view found;
  RecordValuesOf(record, {key}, &found);
  return std::string(found);
}

void RecordValuesOf(const std::string& record, std::initializer_list<std::string_view> keys,
                    std::string_view* values) {
  // The pairs as ParseRecord takes them; a later pair of a key replaces an
  // earlier one there, so the last one counts.
  std::fill(values, values + keys.size(), std::string_view());
  ForEachRecordPair(record, [&](std::string_view name, std::string_view value) {
    size_t i = 0;
    for (std::string_view key : keys) {
      if (name == key) values[i] = value;
      ++i;
    }
  });
}

int GetRecordValue(const PropertyMap& properties, std::string_view key, std::string* value,
                   const std::string& context, ConversionLog* log) {
  value->clear();
  const std::string* found = properties.Find(key);
  if (found != nullptr) {
    *value = *found;
    return 1;
  }
  if (log != nullptr) {
    log->QueueLine(context + FormatText(" - (Fatal error in getting the property '%s' from "
                                        "the list\r\n",
                                        {std::string(key)}),
                   kSeveritySevere);
  }
  return 0;
}

int FindObjectClass(const PictureMap& map, const std::string& reference,
                    std::string* class_name) {
  class_name->clear();
  if (map.empty()) return 0;
  const std::string* list = map.Find(kObjectList);
  if (list == nullptr || list->empty()) return 0;
  size_t dot = reference.rfind('.');
  std::string name = dot == std::string::npos ? reference : reference.substr(dot + 1);
  size_t at = list->find(kTab + name + "(");
  if (at == std::string::npos) return 0;
  size_t start = at + 1;
  size_t end = list->find(")\t", start);
  std::string piece = list->substr(start, end == std::string::npos ? std::string::npos
                                                                   : end - start);
  size_t open = piece.find('(');
  if (open != std::string::npos) *class_name = piece.substr(open + 1);
  return 1;
}

int MakeSourceReference(std::string* reference, const std::string& class_name) {
  static const char* const kSourceClasses[] = {"Lookup",   "Linear",   "Format",
                                               "GlobalSysInfo", "Variable", "COPCDataItem"};
  for (const char* source_class : kSourceClasses) {
    if (class_name != source_class) continue;
    size_t dot = reference->rfind('.');
    if (dot != std::string::npos) *reference = StringF("%s1", reference->substr(dot + 1).c_str());
    return 1;
  }
  return 0;
}

void OwnerName(std::string* source, const std::string& class_name) {
  size_t first = source->find('.');
  if (first == std::string::npos) return;
  std::string owner = source->substr(first + 1);
  size_t last = owner.rfind('.');
  if (last != std::string::npos) owner.erase(last);
  if (class_name == "Support") {
    size_t dot = owner.rfind('.');
    if (dot != std::string::npos) owner.erase(0, dot + 1);
  }
  *source = std::move(owner);
}

std::string MakeFormatMask(const std::string& format, long characters_per_line,
                           long number_of_lines) {
  std::string text = format;
  if (!text.empty() && text[0] == '%') text.erase(0, 1);
  if (!text.empty() && text[0] == 's') {
    long count = 0;
    if (characters_per_line > 0 && number_of_lines > 0) {
      count = characters_per_line > kMaxMaskLength / number_of_lines
                  ? kMaxMaskLength
                  : characters_per_line * number_of_lines;
    }
    return StringF("format\t%s\t", Hashes(count).c_str());
  }
  if (!text.empty() && IsAsciiLetter(text[0])) {
    return StringF("format\t%s\t", ("#" + text).c_str());
  }
  long whole = 0;
  long fraction = 0;
  char rest[2] = {0};
  int fields = std::sscanf(text.c_str(), "%ld.%ld%1s", &whole, &fraction, rest);
  if (fields >= 1 && whole != 0) {
    // Widths beyond any field are cut anyway: the difference is taken in a
    // type wide enough for every pair of longs.
    long double difference = static_cast<long double>(whole) - static_cast<long double>(fraction);
    if (difference < 0) difference = -difference;
    std::string mask =
        Hashes(difference > kMaxMaskLength ? kMaxMaskLength : static_cast<long>(difference));
    if (fraction != 0) mask += "." + Hashes(fraction);
    return StringF("format\t%s\t", mask.c_str());
  }
  return StringF("format\t#%s\t", text.c_str());
}

void QuoteString(std::string* text) {
  std::string quoted = "\"";
  for (char c : *text) {
    if (c == '"' || c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  *text = std::move(quoted);
}

bool IsPageWord(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    for (size_t i = 1; i + 1 < text.size(); ++i) {
      if (text[i] == '\\') {
        ++i;  // the escaped character
        if (i + 1 >= text.size()) return false;  // it escaped the closing quote
      } else if (text[i] == '"' || text[i] == '\0') {
        return false;
      }
    }
    return true;
  }
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == '(' || c == ')' ||
        c == '"' || c == '\'') {
      return false;
    }
  }
  return true;
}

bool FitsUnquoted(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return true;
  const size_t end = text.find_last_not_of(' ');
  return IsPageWord(text.substr(start, end - start + 1));
}

void ReplaceChar(std::string* text, char from, char to) {
  for (char& c : *text) {
    if (c == from) c = to;
  }
}

std::string RecordName(const std::string& record) {
  const std::string needle = "\tName\t";
  size_t at = record.find(needle);
  if (at == std::string::npos) return std::string();
  size_t start = at + needle.size();
  size_t end = record.find(kTab, start);
  return record.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace quillon
