#include "hmi/document_peek.h"

#include <cstring>

#include <nlohmann/json.hpp>

#include "hmi/document.h"

namespace quillon {
namespace standin {
namespace {

class Scanner {
 public:
  explicit Scanner(const std::string& text) : p_(text.data()), end_(text.data() + text.size()) {}

  void SkipBlanks() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) ++p_;
  }
  bool Take(char c) {
    SkipBlanks();
    if (p_ >= end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  // A string whose opening quote is next; `raw` receives it with its quotes.
  bool String(std::string* raw) {
    SkipBlanks();
    const char* start = p_;
    if (p_ >= end_ || *p_ != '"') return false;
    for (++p_; p_ < end_; ++p_) {
      const void* stop = std::memchr(p_, '"', static_cast<size_t>(end_ - p_));
      if (stop == nullptr) return false;
      // The quote ends the string unless an odd run of backslashes escapes it.
      const char* quote = static_cast<const char*>(stop);
      const char* back = quote;
      while (back > p_ && back[-1] == '\\') --back;
      p_ = quote;
      if ((quote - back) % 2 == 0) {
        ++p_;
        if (raw != nullptr) raw->assign(start, p_);
        return true;
      }
    }
    return false;
  }
  // Skips one value of any kind; `start` receives where it began.
  bool Value(const char** start) {
    SkipBlanks();
    *start = p_;
    if (p_ >= end_) return false;
    if (*p_ == '"') return String(nullptr);
    if (*p_ != '{' && *p_ != '[') {
      while (p_ < end_ && *p_ != ',' && *p_ != '}' && *p_ != ']') ++p_;
      return p_ < end_;
    }
    size_t depth = 0;
    while (p_ < end_) {
      const char c = *p_;
      if (c == '"') {
        if (!String(nullptr)) return false;
        continue;
      }
      ++p_;
      if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return true;
      }
    }
    return false;
  }
  const char* position() const { return p_; }

 private:
  const char* p_;
  const char* end_;
};

}  // namespace

std::vector<hmi::InterfaceId> PeekDocumentRefusals(const std::string& text) {
  std::vector<hmi::InterfaceId> refusals;
  Scanner scan(text);
  if (!scan.Take('{')) return refusals;
  if (scan.Take('}')) return refusals;
  do {
    std::string key;
    const char* start = nullptr;
    if (!scan.String(&key) || !scan.Take(':') || !scan.Value(&start)) return {};
    if (key != "\"refuse\"") continue;
    refusals.clear();  // a repeated key counts with its last value, as the loader reads it
    const nlohmann::json names =
        nlohmann::json::parse(start, scan.position(), nullptr, /*allow_exceptions=*/false);
    if (!names.is_array()) continue;
    for (const nlohmann::json& name : names) {
      hmi::InterfaceId iid;
      if (name.is_string() && InterfaceFromRefusalName(name.get<std::string>(), &iid)) {
        refusals.push_back(iid);
      }
    }
  } while (scan.Take(','));
  return refusals;
}

}  // namespace standin
}  // namespace quillon
