// The settings store: the in-memory key table, its file in the registry
// export text format, and the in-memory store of the tests.
#include "platform/registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillon {
namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";
constexpr char kOldHeader[] = "REGEDIT4";
constexpr char kRootPrefix[] = "HKEY_";
constexpr char kFileSuffix[] = "quillon/registry.reg";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Splits a key path at "\"; false when a part is empty or holds a line
// break. An empty path has no parts.
bool SplitKeyPath(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string part = path.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || Contains(part, "\n") || Contains(part, "\r")) return false;
    parts->push_back(std::move(part));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The text after the last "\" of a key path.
std::string LastPart(const std::string& path) {
  size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Turns a UTF-16 file (after its byte order mark) into 8-bit text; every
// character must lie in the 8-bit code page, since the file is written back
// in it and nothing may be lost.
bool DecodeUtf16(const std::string& raw, bool little_endian, std::string* text,
                 std::string* error) {
  if (raw.size() % 2 != 0) {
    *error = "a UTF-16 file with an odd number of bytes";
    return false;
  }
  text->clear();
  int line = 1;
  for (size_t i = 2; i < raw.size(); i += 2) {
    unsigned low = static_cast<unsigned char>(raw[little_endian ? i : i + 1]);
    unsigned high = static_cast<unsigned char>(raw[little_endian ? i + 1 : i]);
    unsigned unit = high << 8 | low;
    if (unit > 0xFF) {
      *error = "line " + std::to_string(line) + ": a character outside the 8-bit code page";
      return false;
    }
    if (unit == '\n') ++line;
    *text += static_cast<char>(unit);
  }
  return true;
}

// Reads the text of a registry file into a table, one line at a time; a
// quoted string may run over line ends.
class Parser {
 public:
  Parser(const std::string& text, TreeRegistry::Table* table, std::string* error)
      : text_(text), table_(table), error_(error) {}

  bool Parse() {
    table_->clear();
    SkipBlankLines();
    std::string header = TakeLine();
    TrimRight(&header);
    if (header != kHeader && header != kOldHeader) {
      return Fail(std::string("not a registry file (the first line is not \"") + kHeader + "\")");
    }
    NextLine();
    TreeRegistry::Key* section = nullptr;
    while (pos_ < text_.size()) {
      SkipBlanks();
      if (AtLineEnd()) {
        NextLine();
        continue;
      }
      char c = text_[pos_];
      if (c == ';') {
        TakeLine();
      } else if (c == '[') {
        if (!ReadSection(&section)) return false;
      } else if (c == '@' || c == '"') {
        if (section == nullptr) return Fail("a value before the first section");
        if (!ReadValue(section)) return false;
      } else {
        return Fail("unexpected text");
      }
      NextLine();
    }
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    *error_ = "line " + std::to_string(line_) + ": " + message;
    return false;
  }

  bool AtLineEnd() const {
    if (pos_ >= text_.size() || text_[pos_] == '\n') return true;
    return text_[pos_] == '\r' && (pos_ + 1 == text_.size() || text_[pos_ + 1] == '\n');
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  void SkipBlankLines() {
    while (pos_ < text_.size()) {
      size_t start = pos_;
      SkipBlanks();
      if (!AtLineEnd()) {
        pos_ = start;
        return;
      }
      NextLine();
    }
  }
  // The text up to the end of the line (without CR LF); stays at the end.
  std::string TakeLine() {
    size_t start = pos_;
    while (!AtLineEnd()) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Moves past the end of the current line.
  void NextLine() {
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    if (pos_ < text_.size()) {
      ++pos_;
      ++line_;
    }
  }
  static void TrimRight(std::string* text) {
    while (!text->empty() && (text->back() == ' ' || text->back() == '\t')) text->pop_back();
  }

  bool ReadSection(TreeRegistry::Key** section) {
    std::string line = TakeLine();
    size_t close = line.rfind(']');
    if (close == std::string::npos) return Fail("a section without \"]\"");
    if (line.find_first_not_of(" \t", close + 1) != std::string::npos) {
      return Fail("unexpected text after the section");
    }
    std::string name = line.substr(1, close - 1);
    if (!name.empty() && name[0] == '-') return Fail("key deletions are not supported");
    size_t cut = name.find('\\');
    std::string root = TreeRegistry::Fold(name.substr(0, cut));
    if (root.compare(0, std::strlen(kRootPrefix), kRootPrefix) != 0 ||
        root.size() == std::strlen(kRootPrefix)) {
      return Fail("unknown root key \"" + name.substr(0, cut) + "\"");
    }
    std::vector<std::string> parts;
    std::string path = cut == std::string::npos ? std::string() : name.substr(cut + 1);
    if (cut != std::string::npos && (path.empty() || !SplitKeyPath(path, &parts))) {
      return Fail("an empty key name in \"" + name + "\"");
    }
    *section = &TreeRegistry::AddKey(table_, cut == std::string::npos ? root : root + "\\" + path);
    return true;
  }

  // A quoted string with the escapes \\ and \"; the position is at its
  // opening quote and ends after its closing one.
  bool ReadQuoted(std::string* out) {
    out->clear();
    const int start_line = line_;
    ++pos_;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c == '\\') {
        if (pos_ >= text_.size()) break;
        char escaped = text_[pos_++];
        if (escaped != '\\' && escaped != '"') {
          return Fail(std::string("unknown escape \"\\") + escaped + "\"");
        }
        c = escaped;
      } else if (c == '\n') {
        ++line_;
      }
      *out += c;
    }
    line_ = start_line;
    return Fail("a string without its closing quote");
  }

  bool ReadValue(TreeRegistry::Key* section) {
    std::string name;
    if (text_[pos_] == '@') {
      ++pos_;
    } else if (!ReadQuoted(&name)) {
      return false;
    }
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '=') return Fail("\"=\" expected after the name");
    ++pos_;
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      std::string data;
      if (!ReadQuoted(&data)) return false;
      SkipBlanks();
      if (!AtLineEnd()) return Fail("unexpected text after the value");
      TreeRegistry::PutValue(section, name, data, true);
      return true;
    }
    if (pos_ < text_.size() && text_[pos_] == '-') return Fail("value deletions are not supported");
    // A value of another type, kept as written; a line ending with "\"
    // goes on in the next line.
    std::string data;
    while (true) {
      std::string piece = TakeLine();
      TrimRight(&piece);
      if (piece.empty() || piece.back() != '\\') {
        data += piece;
        break;
      }
      piece.pop_back();
      data += piece;
      NextLine();
      SkipBlanks();
    }
    // A value that ends in a continuation with nothing after it keeps no
    // trailing blanks: they would not be read back.
    TrimRight(&data);
    std::string folded = TreeRegistry::Fold(data);
    if (folded.compare(0, 6, "DWORD:") != 0 && folded.compare(0, 4, "HEX:") != 0 &&
        folded.compare(0, 4, "HEX(") != 0) {
      return Fail("a value of unknown type");
    }
    // Typed values are hexadecimal digits with their separators; anything
    // else could not be written back as it was read.
    for (char c : data) {
      const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                           (c >= 'A' && c <= 'Z') || c == ':' || c == ',' || c == '(' ||
                           c == ')' || c == ' ';
      if (!allowed) return Fail("a value of another type holds an unexpected character");
    }
    TreeRegistry::PutValue(section, name, data, false);
    return true;
  }

  const std::string& text_;
  TreeRegistry::Table* table_;
  std::string* error_;
  size_t pos_ = 0;
  int line_ = 1;
};

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

const char* RegistryResultName(RegistryResult result) {
  switch (result) {
    case RegistryResult::kOk:
      return "ok";
    case RegistryResult::kNotFound:
      return "not found";
    case RegistryResult::kMoreData:
      return "more data";
    case RegistryResult::kNoMoreItems:
      return "no more items";
    case RegistryResult::kAccessDenied:
      return "access denied";
    case RegistryResult::kInvalidHandle:
      return "invalid handle";
    case RegistryResult::kInvalidName:
      return "invalid name";
    case RegistryResult::kWrongType:
      return "wrong type";
    case RegistryResult::kUnreadable:
      return "unreadable";
    case RegistryResult::kWriteFailed:
      return "write failed";
  }
  return "unknown";
}

// ---------------------------------------------------------------------------
// Registry conveniences

bool Registry::Recall(const std::string& what, std::string* answer) const {
  const uint64_t now = generation();
  if (now == kUnknownGeneration) return false;
  auto found = remembered_.find(what);
  if (found == remembered_.end() || found->second.generation != now) return false;
  *answer = found->second.answer;
  return true;
}

void Registry::Remember(const std::string& what, const std::string& answer) {
  const uint64_t now = generation();
  if (now == kUnknownGeneration) return;
  remembered_[what] = Remembered{now, answer};
}

RegistryResult Registry::ReadString(RegistryRoot root, const std::string& path,
                                    const std::string& name, std::string* value) {
  RegistryKey key;
  RegistryResult result = OpenKey(root, path, kKeyQueryValue, &key);
  if (result != RegistryResult::kOk) return result;
  result = QueryValue(key, name, kAnyLength, value);
  RegistryResult closed = CloseKey(key);
  return result != RegistryResult::kOk ? result : closed;
}

RegistryResult Registry::WriteString(RegistryRoot root, const std::string& path,
                                     const std::string& name, const std::string& value) {
  RegistryKey key;
  RegistryResult result = CreateKey(root, path, kKeySetValue, &key);
  if (result != RegistryResult::kOk) return result;
  result = SetValue(key, name, value);
  RegistryResult closed = CloseKey(key);
  return result != RegistryResult::kOk ? result : closed;
}

// ---------------------------------------------------------------------------
// TreeRegistry

const char* TreeRegistry::RootName(RegistryRoot root) {
  return root == RegistryRoot::kClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

std::string TreeRegistry::Fold(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

TreeRegistry::Key& TreeRegistry::AddKey(Table* table, const std::string& full_path) {
  Key* key = nullptr;
  std::string display;
  size_t start = 0;
  while (true) {
    size_t end = full_path.find('\\', start);
    std::string folded = Fold(full_path.substr(0, end));
    auto found = table->find(folded);
    if (found == table->end()) {
      std::string part = full_path.substr(start, end == std::string::npos ? end : end - start);
      std::string path = display.empty() ? part : display + "\\" + part;
      found = table->emplace(folded, Key{path, {}}).first;
    }
    key = &found->second;
    display = key->path;
    if (end == std::string::npos) return *key;
    start = end + 1;
  }
}

void TreeRegistry::PutValue(Key* key, const std::string& name, const std::string& data,
                            bool is_string) {
  const std::string folded = Fold(name);
  for (Value& value : key->values) {
    if (Fold(value.name) == folded) {
      value.data = data;
      value.is_string = is_string;
      return;
    }
  }
  Value value{name, data, is_string};
  if (name.empty()) {
    key->values.insert(key->values.begin(), std::move(value));
  } else {
    key->values.push_back(std::move(value));
  }
}

RegistryResult TreeRegistry::Open(RegistryRoot root, const std::string& path, unsigned access,
                                  bool create, RegistryKey* key) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, &parts)) return RegistryResult::kInvalidName;
  RegistryResult result = Refresh();
  if (result != RegistryResult::kOk) return result;
  const std::string full = path.empty() ? RootName(root) : RootName(root) + ("\\" + path);
  const std::string folded = Fold(full);
  if (path.empty()) {
    AddKey(&table_, full);  // the roots always exist; an empty root is not stored
  } else if (table_.find(folded) == table_.end()) {
    if (!create) return RegistryResult::kNotFound;
    Table before = change_depth_ > 0 ? Table() : table_;
    AddKey(&table_, full);
    Touched();
    result = Changed(&before);
    if (result != RegistryResult::kOk) return result;
  }
  key->id = next_handle_++;
  handles_[key->id] = Handle{folded, access};
  return RegistryResult::kOk;
}

RegistryResult TreeRegistry::OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                                     RegistryKey* key) {
  return Open(root, path, access, false, key);
}

RegistryResult TreeRegistry::CreateKey(RegistryRoot root, const std::string& path,
                                       unsigned access, RegistryKey* key) {
  return Open(root, path, access, true, key);
}

TreeRegistry::Key* TreeRegistry::Resolve(RegistryKey key, unsigned needed,
                                         RegistryResult* result) {
  auto handle = handles_.find(key.id);
  if (handle == handles_.end()) {
    *result = RegistryResult::kInvalidHandle;
    return nullptr;
  }
  if ((handle->second.access & needed) != needed) {
    *result = RegistryResult::kAccessDenied;
    return nullptr;
  }
  *result = Refresh();
  if (*result != RegistryResult::kOk) return nullptr;
  const std::string& folded = handle->second.folded_path;
  if (folded.find('\\') == std::string::npos) return &AddKey(&table_, folded);
  auto found = table_.find(folded);
  if (found == table_.end()) {
    *result = RegistryResult::kInvalidHandle;
    return nullptr;
  }
  return &found->second;
}

RegistryResult TreeRegistry::QueryValue(RegistryKey key, const std::string& name,
                                        size_t capacity, std::string* value) {
  RegistryResult result;
  Key* found = Resolve(key, kKeyQueryValue, &result);
  if (found == nullptr) return result;
  const std::string folded = Fold(name);
  for (const Value& stored : found->values) {
    if (Fold(stored.name) != folded) continue;
    if (!stored.is_string) return RegistryResult::kWrongType;
    if (stored.data.size() >= capacity) return RegistryResult::kMoreData;
    *value = stored.data;
    return RegistryResult::kOk;
  }
  return RegistryResult::kNotFound;
}

RegistryResult TreeRegistry::SetValue(RegistryKey key, const std::string& name,
                                      const std::string& value) {
  RegistryResult result;
  Key* found = Resolve(key, kKeySetValue, &result);
  if (found == nullptr) return result;
  const std::string folded = Fold(name);
  for (const Value& stored : found->values) {
    // The same text again changes nothing, and nothing is written.
    if (Fold(stored.name) == folded && stored.is_string && stored.data == value) {
      return RegistryResult::kOk;
    }
  }
  Table before = change_depth_ > 0 ? Table() : table_;
  PutValue(found, name, value, true);
  Touched();
  return Changed(&before);
}

RegistryResult TreeRegistry::Changed(Table* before) {
  if (change_depth_ > 0) {
    changes_made_ = true;
    return RegistryResult::kOk;
  }
  RegistryResult result = Persist();
  if (result != RegistryResult::kOk) {
    table_ = std::move(*before);
    Touched();
  }
  return result;
}

void TreeRegistry::BeginChanges() {
  if (change_depth_++ == 0) {
    changes_made_ = false;
    group_start_ = table_;
  }
}

RegistryResult TreeRegistry::EndChanges(bool store) {
  if (change_depth_ == 0) return RegistryResult::kOk;
  if (--change_depth_ > 0) {
    // An inner group that is not stored undoes the whole group.
    if (!store && changes_made_) {
      table_ = group_start_;
      Touched();
      changes_made_ = false;
    }
    return RegistryResult::kOk;
  }
  RegistryResult result = RegistryResult::kOk;
  if (changes_made_) {
    result = store ? Persist() : RegistryResult::kOk;
    if (!store || result != RegistryResult::kOk) {
      table_ = std::move(group_start_);
      Touched();
    }
  }
  changes_made_ = false;
  group_start_.clear();
  return result;
}

RegistryResult TreeRegistry::EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                                     std::string* name) {
  RegistryResult result;
  if (Resolve(key, kKeyEnumerateSubKeys, &result) == nullptr) return result;
  // Children follow their parent in the table, in order of their folded
  // names; deeper descendants are passed over.
  const std::string prefix = handles_[key.id].folded_path + "\\";
  uint32_t seen = 0;
  for (auto it = table_.lower_bound(prefix);
       it != table_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    if (seen++ != index) continue;
    std::string child = LastPart(it->second.path);
    if (child.size() >= capacity) return RegistryResult::kMoreData;
    *name = std::move(child);
    return RegistryResult::kOk;
  }
  return RegistryResult::kNoMoreItems;
}

RegistryResult TreeRegistry::CloseKey(RegistryKey key) {
  return handles_.erase(key.id) == 1 ? RegistryResult::kOk : RegistryResult::kInvalidHandle;
}

// ---------------------------------------------------------------------------
// The file format

bool ParseRegistryText(const std::string& raw, TreeRegistry::Table* table, std::string* error) {
  std::string decoded;
  const std::string* text = &raw;
  if (raw.size() >= 2 && (raw.compare(0, 2, "\xFF\xFE") == 0 || raw.compare(0, 2, "\xFE\xFF") == 0)) {
    if (!DecodeUtf16(raw, raw[0] == '\xFF', &decoded, error)) return false;
    text = &decoded;
  } else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    decoded = raw.substr(3);
    text = &decoded;
  }
  return Parser(*text, table, error).Parse();
}

std::string FormatRegistryText(const TreeRegistry::Table& table) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const auto& entry : table) {
    const TreeRegistry::Key& key = entry.second;
    const bool is_root = entry.first.find('\\') == std::string::npos;
    if (is_root && key.values.empty()) continue;
    out += "[" + key.path + "]\n";
    for (const TreeRegistry::Value& value : key.values) {
      out += value.name.empty() ? std::string("@") : Quote(value.name);
      out += "=";
      out += value.is_string ? Quote(value.data) : value.data;
      out += "\n";
    }
    out += "\n";
  }
  return out;
}

// ---------------------------------------------------------------------------
// FileRegistry

FileRegistry::FileRegistry(std::string path) : path_(std::move(path)) {}

RegistryResult FileRegistry::Refresh() {
  if (loaded_) return RegistryResult::kOk;
  if (path_.empty()) {
    error_ = "no registry file: none of $QUILLON_REGISTRY, $XDG_CONFIG_HOME and $HOME is set";
    return RegistryResult::kUnreadable;
  }
  // Without O_NONBLOCK a FIFO in its place would block until a writer came.
  int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) {
      error_ = SystemError("cannot read", path_);
      return RegistryResult::kUnreadable;
    }
    // No file: an empty registry.
    table().clear();
    loaded_ = true;
    error_.clear();
    return RegistryResult::kOk;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    error_ = path_ + " is not a regular file";
    ::close(fd);
    return RegistryResult::kUnreadable;
  }
  std::string raw;
  char buffer[8192];
  while (true) {
    ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_ = SystemError("cannot read", path_);
      ::close(fd);
      return RegistryResult::kUnreadable;
    }
    if (got == 0) break;
    raw.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  Table parsed;
  std::string message;
  if (!ParseRegistryText(raw, &parsed, &message)) {
    // Kept unread and unwritten until it is mended: reading it again is
    // tried before every operation.
    error_ = path_ + ": " + message;
    loaded_ = false;
    return RegistryResult::kUnreadable;
  }
  table() = std::move(parsed);
  loaded_ = true;
  error_.clear();
  return RegistryResult::kOk;
}

namespace {

// Removes the temporary files of rewrites that were killed before their
// rename: `start` and six characters, unchanged for more than a minute (a
// younger one may be another command's rewrite in progress).
void RemoveStaleTemporaries(const std::string& folder, const std::string& start) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const time_t now = ::time(nullptr);
  std::vector<std::string> stale;
  while (struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != start.size() + 6 || name.compare(0, start.size(), start) != 0) continue;
    const std::string path = folder + "/" + name;
    struct stat status;
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        now - status.st_mtime > 60) {
      stale.push_back(path);
    }
  }
  ::closedir(dir);
  for (const std::string& path : stale) ::unlink(path.c_str());
}

}  // namespace

RegistryResult FileRegistry::Persist() {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path_);
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  fs::create_directories(folder, ec);
  if (ec) {
    error_ = "cannot create the folder " + folder.string() + ": " + ec.message();
    return RegistryResult::kWriteFailed;
  }
  mode_t mode = 0644;
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

  RemoveStaleTemporaries(folder.string(), "." + target.filename().string() + ".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error_ = SystemError("cannot create a file in", folder.string());
    return RegistryResult::kWriteFailed;
  }
  const std::string text = FormatRegistryText(table());
  size_t written = 0;
  bool ok = true;
  while (ok && written < text.size()) {
    ssize_t put = ::write(fd, text.data() + written, text.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      ok = false;
    } else {
      written += static_cast<size_t>(put);
    }
  }
  ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (!ok) error_ = SystemError("cannot write", temporary);
  if (::close(fd) != 0 && ok) {
    error_ = SystemError("cannot write", temporary);
    ok = false;
  }
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
    error_ = SystemError("cannot replace", target.string());
    ok = false;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return RegistryResult::kWriteFailed;
  }
  error_.clear();
  return RegistryResult::kOk;
}

std::string ResolveRegistryPath(const char* quillon_registry, const char* xdg_config_home,
                                const char* home) {
  auto set = [](const char* value) { return value != nullptr && value[0] != '\0'; };
  auto under = [](std::string folder, const char* rest) {
    if (folder.back() != '/') folder += '/';
    return folder + rest;
  };
  if (set(quillon_registry)) return quillon_registry;
  if (set(xdg_config_home) && xdg_config_home[0] == '/') return under(xdg_config_home, kFileSuffix);
  if (set(home)) return under(home, ".config/quillon/registry.reg");
  return std::string();
}

std::string DefaultRegistryPath() {
  const char* home = std::getenv("HOME");
  std::string home_from_passwd;
  if (home == nullptr || home[0] == '\0') {
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
      home_from_passwd = found->pw_dir;
      home = home_from_passwd.c_str();
    }
  }
  return ResolveRegistryPath(std::getenv("QUILLON_REGISTRY"), std::getenv("XDG_CONFIG_HOME"),
                             home);
}

// ---------------------------------------------------------------------------
// MemoryRegistry

void MemoryRegistry::SetFailure(Operation operation, const std::string& path_part,
                                RegistryResult result) {
  failures_.push_back(Failure{operation, Fold(path_part), result});
  Touched();
}

RegistryResult MemoryRegistry::Injected(Operation operation, const std::string& path) const {
  const std::string folded = Fold(path);
  for (const Failure& failure : failures_) {
    if (failure.operation == operation && Contains(folded, failure.folded_part)) {
      return failure.result;
    }
  }
  return RegistryResult::kOk;
}

void MemoryRegistry::Record(const std::string& call, RegistryResult result) {
  calls.push_back(result == RegistryResult::kOk ? call
                                                : call + " -> " + RegistryResultName(result));
}

void MemoryRegistry::Put(RegistryRoot root, const std::string& path, const std::string& name,
                         const std::string& value) {
  Key& key = AddKey(&table(), path.empty() ? RootName(root) : RootName(root) + ("\\" + path));
  PutValue(&key, name, value, true);
}

bool MemoryRegistry::HasKey(RegistryRoot root, const std::string& path) const {
  const std::string full = path.empty() ? RootName(root) : RootName(root) + ("\\" + path);
  return table().count(Fold(full)) == 1;
}

bool MemoryRegistry::Get(RegistryRoot root, const std::string& path, const std::string& name,
                         std::string* value) const {
  const std::string full = path.empty() ? RootName(root) : RootName(root) + ("\\" + path);
  auto found = table().find(Fold(full));
  if (found == table().end()) return false;
  for (const Value& stored : found->second.values) {
    if (Fold(stored.name) == Fold(name) && stored.is_string) {
      *value = stored.data;
      return true;
    }
  }
  return false;
}

RegistryResult MemoryRegistry::OpenKey(RegistryRoot root, const std::string& path,
                                       unsigned access, RegistryKey* key) {
  RegistryResult result = Injected(Operation::kOpen, path);
  if (result == RegistryResult::kOk) result = TreeRegistry::OpenKey(root, path, access, key);
  if (result == RegistryResult::kOk) paths_[key->id] = path;
  Record("open " + path, result);
  return result;
}

RegistryResult MemoryRegistry::CreateKey(RegistryRoot root, const std::string& path,
                                         unsigned access, RegistryKey* key) {
  RegistryResult result = Injected(Operation::kCreate, path);
  if (result == RegistryResult::kOk) result = TreeRegistry::CreateKey(root, path, access, key);
  if (result == RegistryResult::kOk) paths_[key->id] = path;
  Record("create " + path, result);
  return result;
}

RegistryResult MemoryRegistry::QueryValue(RegistryKey key, const std::string& name,
                                          size_t capacity, std::string* value) {
  const std::string path = paths_.count(key.id) == 1 ? paths_[key.id] : std::string("?");
  RegistryResult result = Injected(Operation::kQuery, path);
  if (result == RegistryResult::kOk) result = TreeRegistry::QueryValue(key, name, capacity, value);
  Record("query " + path + " " + (name.empty() ? std::string("@") : name), result);
  return result;
}

RegistryResult MemoryRegistry::SetValue(RegistryKey key, const std::string& name,
                                        const std::string& value) {
  const std::string path = paths_.count(key.id) == 1 ? paths_[key.id] : std::string("?");
  RegistryResult result = Injected(Operation::kSetValue, path);
  if (result == RegistryResult::kOk) result = TreeRegistry::SetValue(key, name, value);
  Record("set " + path + " " + (name.empty() ? std::string("@") : name) + "=" + value, result);
  return result;
}

RegistryResult MemoryRegistry::EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                                       std::string* name) {
  const std::string path = paths_.count(key.id) == 1 ? paths_[key.id] : std::string("?");
  RegistryResult result = Injected(Operation::kEnumerate, path);
  if (result == RegistryResult::kOk) result = TreeRegistry::EnumKey(key, index, capacity, name);
  Record("enum " + path + " #" + std::to_string(index), result);
  return result;
}

RegistryResult MemoryRegistry::CloseKey(RegistryKey key) {
  const std::string path = paths_.count(key.id) == 1 ? paths_[key.id] : std::string("?");
  RegistryResult result = TreeRegistry::CloseKey(key);
  paths_.erase(key.id);
  if (result == RegistryResult::kOk) result = Injected(Operation::kClose, path);
  Record("close " + path, result);
  return result;
}

uint64_t LockedRegistry::generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->generation();
}

RegistryResult LockedRegistry::OpenKey(RegistryRoot root, const std::string& path,
                                       unsigned access, RegistryKey* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->OpenKey(root, path, access, key);
}

RegistryResult LockedRegistry::CreateKey(RegistryRoot root, const std::string& path,
                                         unsigned access, RegistryKey* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->CreateKey(root, path, access, key);
}

RegistryResult LockedRegistry::QueryValue(RegistryKey key, const std::string& name,
                                          size_t capacity, std::string* value) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->QueryValue(key, name, capacity, value);
}

RegistryResult LockedRegistry::SetValue(RegistryKey key, const std::string& name,
                                        const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->SetValue(key, name, value);
}

RegistryResult LockedRegistry::EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                                       std::string* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->EnumKey(key, index, capacity, name);
}

RegistryResult LockedRegistry::CloseKey(RegistryKey key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->CloseKey(key);
}

void LockedRegistry::BeginChanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  shared_->BeginChanges();
}

RegistryResult LockedRegistry::EndChanges(bool store) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_->EndChanges(store);
}

}  // namespace quillon
