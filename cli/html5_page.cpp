// The HTML5 page of a picture and the `quillon view` command.
#include "html5_page.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <string_view>
#include <vector>

#include "driver/picture_converter.h"
#include "platform/text_file.h"
#include "reader/hmi/automation.h"
#include "reader/picture_reader.h"
#include "run_outcome.h"

namespace quillon {
namespace cli {
namespace {

// Lists nested deeper than this are refused, as the viewer refuses them.
constexpr int kMaxDepth = 256;

constexpr char kPageHead[] =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    // Nothing is fetched but the images beside the page, and the values of
    // a feed the page is told to connect to (?feed=URL).
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "img-src 'self' file: data:; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
    "connect-src http: https: ws: wss:\">\n"
    "<meta name=\"generator\" content=\"quillon\">\n"
    "<title>";
constexpr char kPageBody[] =
    "</title>\n"
    "<style>\n"
    "html, body { margin: 0; padding: 0; background: #ffffff; }\n"
    "#quillon-page > svg { display: block; }\n"
    ".quillon-error { margin: 1em; font: 16px sans-serif; color: #a00000; }\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<div id=\"quillon-page\"></div>\n"
    "<script type=\"application/json\" id=\"quillon-jdf\">";
constexpr char kPageScript[] = "</script>\n<script type=\"module\">\n";
constexpr char kPageEnd[] = "\nbootPage(document);\n</script>\n</body>\n</html>\n";

// Checks a page description in one pass with a stack of the open lists and
// no tree. The problems are the viewer's, in the viewer's order: a problem
// of the list syntax anywhere (an unbalanced parenthesis, an unclosed quoted
// text, text outside the lists, nesting too deep, nothing at all) is
// reported first, at the first place the scan meets it; only a text whose
// syntax is sound reports a problem of its structure (sections, objects,
// properties, links), and then the one of the element that starts first.
// Every element's check needs only its first items and its item count, so
// each is decided on its own frame while the scan goes on.
class Checker {
 public:
  // `valid_utf8`: the text is known to be valid UTF-8, so that no byte that
  // continues a character follows a character of one byte, and a character
  // is one column wherever it is.
  Checker(std::string_view text, bool valid_utf8) : text_(text), valid_utf8_(valid_utf8) {}

  JdfProblem Run() {
    if (!Scan()) return problem_;
    if (has_structure_problem_) return structure_problem_;
    return problem_;
  }

 private:
  // What an element is, as its parent's place decides.
  enum class Role {
    kFree,      // not checked (inside a property value, an unknown part, ...)
    kSection,   // a top-level list
    kObject,    // an entry of an objects list
    kPart,      // an object's item after its name and class
    kProperty,  // an entry of a properties list
    kLink,      // an entry of the links section
  };
  enum class Kind { kList, kAtom, kString };

  struct Frame {
    Role role;
    int line;
    int column;
    size_t ordinal;          // the list's place among all elements, by start
    size_t items = 0;        // items seen so far
    Role child_role = Role::kFree;  // the role of the items that follow
    std::string_view name;   // objects and their parts: the object's name
  };

  // One element as the scan meets it: a list at its '(', an atom or a
  // quoted text once read. `text` is an atom's characters.
  struct Item {
    Kind kind;
    int line;
    int column;
    size_t ordinal;
    std::string_view text;
  };

  static bool IsSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }

  bool Fail(const std::string& what, int line, int column) {
    problem_.what = what;
    problem_.line = line;
    problem_.column = column;
    return false;
  }

  // Notes a problem of the structure of the element numbered `ordinal`; the
  // element that starts first wins, as in a walk of the finished tree.
  void Structure(size_t ordinal, const char* what, std::string_view detail, int line,
                 int column) {
    if (has_structure_problem_ && structure_ordinal_ <= ordinal) return;
    has_structure_problem_ = true;
    structure_ordinal_ = ordinal;
    structure_problem_.what.assign(what);
    structure_problem_.what.append(detail.data(), detail.size());
    structure_problem_.line = line;
    structure_problem_.column = column;
  }
  void StructureOf(const Frame& frame, const char* what, std::string_view detail = {}) {
    Structure(frame.ordinal, what, detail, frame.line, frame.column);
  }
  void StructureOf(const Item& item, const char* what, std::string_view detail = {}) {
    Structure(item.ordinal, what, detail, item.line, item.column);
  }

  static constexpr const char* kSectionProblem =
      "a section must start with its name (properties, objects or links)";
  static constexpr const char* kObjectProblem =
      "an object must be a list that starts with its name and its class";
  static constexpr const char* kPropertyProblem =
      "a property must be a list that starts with its name";
  static constexpr const char* kLinkProblem = "a link must be a list of its target and its source";
  static constexpr const char* kPartProblem = "unexpected text in object ";

  // The role of the items of a properties or objects list, named by its
  // first atom; other lists' items are not checked.
  static Role RoleOfItemsAfter(std::string_view head) {
    if (head == "properties") return Role::kProperty;
    if (head == "objects") return Role::kObject;
    return Role::kFree;
  }

  // Checks `item` against the place it takes in `parent`, and returns the
  // role it has there (for a list, the role of its own frame).
  Role PlaceIn(Frame& parent, const Item& item) {
    const size_t index = parent.items++;
    const bool atom = item.kind == Kind::kAtom;
    switch (parent.role) {
      case Role::kFree:
        return Role::kFree;
      case Role::kSection:
        if (index == 0) {
          if (!atom) {
            StructureOf(parent, kSectionProblem);
          } else if (item.text == "properties") {
            parent.child_role = Role::kProperty;
          } else if (item.text == "objects") {
            parent.child_role = Role::kObject;
          } else if (item.text == "links") {
            parent.child_role = Role::kLink;
          } else {
            // Reported at the name, for the section.
            std::string detail(item.text);
            detail += " (expected properties, objects or links)";
            Structure(parent.ordinal, "unknown section ", detail, item.line, item.column);
          }
          return Role::kFree;
        }
        break;
      case Role::kObject:
        if (index == 0) {
          if (!atom) {
            StructureOf(parent, kObjectProblem);
          } else {
            parent.name = item.text;
          }
          return Role::kFree;
        }
        if (index == 1) {
          if (!atom) {
            StructureOf(parent, kObjectProblem);
          } else if (!parent.name.empty()) {  // named by an atom (never empty)
            parent.child_role = Role::kPart;
          }
          return Role::kFree;
        }
        break;
      case Role::kPart:
        if (index == 0) {
          if (!atom) {
            StructureOf(parent, kPartProblem, parent.name);
          } else {
            parent.child_role = RoleOfItemsAfter(item.text);
          }
          return Role::kFree;
        }
        break;
      case Role::kProperty:
        if (index == 0 && !atom) StructureOf(parent, kPropertyProblem);
        return Role::kFree;
      case Role::kLink:
        if (index >= 2 || !atom) StructureOf(parent, kLinkProblem);
        return Role::kFree;
    }
    // An item after the head of a section, an object or a part.
    const Role role = parent.child_role;
    if (item.kind != Kind::kList) {
      switch (role) {
        case Role::kObject: StructureOf(item, kObjectProblem); break;
        case Role::kPart: StructureOf(item, kPartProblem, parent.name); break;
        case Role::kProperty: StructureOf(item, kPropertyProblem); break;
        case Role::kLink: StructureOf(item, kLinkProblem); break;
        default: break;
      }
    }
    return role;
  }

  // A list ends: the checks that need its item count.
  void Close(const Frame& frame) {
    switch (frame.role) {
      case Role::kSection:
        if (frame.items == 0) StructureOf(frame, kSectionProblem);
        break;
      case Role::kObject:
        if (frame.items < 2) StructureOf(frame, kObjectProblem);
        break;
      case Role::kPart:
        if (frame.items == 0) StructureOf(frame, kPartProblem, frame.name);
        break;
      case Role::kProperty:
        if (frame.items == 0) StructureOf(frame, kPropertyProblem);
        break;
      case Role::kLink:
        if (frame.items != 2) StructureOf(frame, kLinkProblem);
        break;
      case Role::kFree:
        break;
    }
  }

  // An atom or a quoted text has been read.
  bool PlaceValue(const Item& item) {
    if (stack_.empty()) return Fail("text outside parentheses", item.line, item.column);
    PlaceIn(stack_.back(), item);
    return true;
  }

  // Moves past one character; a multi-byte UTF-8 sequence is one column.
  void Advance() {
    unsigned char c = static_cast<unsigned char>(text_[pos_]);
    ++pos_;
    if (c == '\n') {
      ++line_;
      column_ = 1;
      return;
    }
    while (pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80) {
      ++pos_;
    }
    ++column_;
  }

  bool Scan() {
    const size_t n = text_.size();
    size_t ordinal = 0;
    bool any_section = false;
    while (pos_ < n) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (IsSpace(c)) {
        if (!valid_utf8_) {
          Advance();
          continue;
        }
        // A run of blanks at once.
        const char* const data = text_.data();
        size_t at = pos_;
        int line = line_, column = column_;
        do {
          if (c == '\n') {
            ++line;
            column = 1;
          } else {
            ++column;
          }
          ++at;
        } while (at < n && IsSpace(c = static_cast<unsigned char>(data[at])));
        pos_ = at;
        line_ = line;
        column_ = column;
      } else if (c == '(') {
        if (static_cast<int>(stack_.size()) >= kMaxDepth) {
          return Fail("lists nested deeper than " + std::to_string(kMaxDepth), line_, column_);
        }
        const Item item{Kind::kList, line_, column_, ordinal++, {}};
        Role role = Role::kSection;
        if (stack_.empty()) {
          any_section = true;
        } else {
          role = PlaceIn(stack_.back(), item);
        }
        Frame frame{role, item.line, item.column, item.ordinal, 0, Role::kFree, {}};
        // A part takes the name of its object for its message.
        if (role == Role::kPart) frame.name = stack_.back().name;
        stack_.push_back(frame);
        Advance();
      } else if (c == ')') {
        if (stack_.empty()) return Fail("')' without a matching '('", line_, column_);
        Close(stack_.back());
        stack_.pop_back();
        Advance();
      } else if (c == '"') {
        const Item item{Kind::kString, line_, column_, ordinal++, {}};
        Advance();
        bool closed = false;
        while (pos_ < n) {
          const unsigned char d = static_cast<unsigned char>(text_[pos_]);
          if (d == '"') {
            Advance();
            closed = true;
            break;
          }
          if (d == '\\') {
            Advance();
            if (pos_ >= n) break;
            Advance();
          } else if (valid_utf8_ && d != '\n') {
            // The run up to the next quote, backslash or line end: one
            // column for each byte that starts a character.
            const char* const data = text_.data();
            size_t at = pos_;
            int column = column_;
            for (unsigned char e = d; e != '"' && e != '\\' && e != '\n';
                 e = static_cast<unsigned char>(data[at])) {
              column += (e & 0xC0) != 0x80;
              if (++at == n) break;
            }
            pos_ = at;
            column_ = column;
          } else {
            Advance();
          }
        }
        if (!closed) return Fail("quoted text without its closing '\"'", item.line, item.column);
        if (!PlaceValue(item)) return false;
      } else {
        Item item{Kind::kAtom, line_, column_, ordinal++, {}};
        const size_t start = pos_;
        if (valid_utf8_) {
          // One column for each byte that starts a character (counted in
          // locals, which the compiler keeps out of memory).
          const char* const data = text_.data();
          size_t at = pos_;
          int column = column_;
          while (at < n) {
            const unsigned char d = static_cast<unsigned char>(data[at]);
            if (kEndsAtom.at[d]) break;
            column += (d & 0xC0) != 0x80;
            ++at;
          }
          pos_ = at;
          column_ = column;
        } else {
          while (pos_ < n) {
            unsigned char d = static_cast<unsigned char>(text_[pos_]);
            if (IsSpace(d) || d == '(' || d == ')' || d == '"') break;
            Advance();
          }
        }
        item.text = std::string_view(text_).substr(start, pos_ - start);
        if (!PlaceValue(item)) return false;
      }
    }
    if (!stack_.empty()) {
      const Frame& open = stack_.back();
      return Fail("'(' without its closing ')'", open.line, open.column);
    }
    if (!any_section) return Fail("the page description is empty", line_, column_);
    return true;
  }

  // The bytes that end an atom: blanks, parentheses and quotes.
  struct AtomEnds {
    bool at[256] = {};
    AtomEnds() {
      for (int c = 0; c < 256; ++c) {
        at[c] = IsSpace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == '"';
      }
    }
  };
  static const AtomEnds kEndsAtom;

  const std::string_view text_;
  const bool valid_utf8_;
  size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
  std::vector<Frame> stack_;
  JdfProblem problem_;
  bool has_structure_problem_ = false;
  size_t structure_ordinal_ = 0;
  JdfProblem structure_problem_;
};

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length;
    unsigned int code;
    if (c < 0x80) {
      ++i;
      // A page description is mostly ASCII: eight bytes at a time while no
      // byte has its high bit set.
      uint64_t word;
      while (i + sizeof word <= n) {
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) break;
        i += sizeof word;
      }
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > n) return false;
    for (size_t k = 1; k < length; ++k) {
      unsigned char d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point.
    if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) ||
        (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// The bytes AppendJsonText writes as an escape, or looks at twice (0xE2,
// which may start U+2028 or U+2029).
struct JsonEscapes {
  bool special[256] = {};
  JsonEscapes() {
    for (int c = 0; c < 0x20; ++c) special[c] = true;
    for (unsigned char c : {'"', '\\', '<', '>', '&', '\x7f', '\xe2'}) special[c] = true;
  }
};

// Appends `text` as the inside of a JSON string (without its quotes). The
// text of a page description has a TAB or a line end every few bytes, so
// the bytes go through a small buffer rather than one append per run.
void AppendJsonText(std::string_view text, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  static const JsonEscapes kEscapes;
  constexpr size_t kRoom = 4096;
  constexpr size_t kLongest = 6;  // the longest escape, "\uXXXX"
  char buffer[kRoom];
  size_t used = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    if (used > kRoom - kLongest) {
      out->append(buffer, used);
      used = 0;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!kEscapes.special[c]) {
      buffer[used++] = static_cast<char>(c);
      continue;
    }
    // U+2028 and U+2029 end a line in older script parsers.
    if (c == 0xE2 && i + 2 < n && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
         static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      std::memcpy(buffer + used,
                  static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029", 6);
      used += 6;
      i += 2;
      continue;
    }
    // No character of the text may end the script element or start markup:
    // "<", ">" and "&" are written as escapes too.
    if (c == '"' || c == '\\') {
      buffer[used++] = '\\';
      buffer[used++] = static_cast<char>(c);
    } else if (c == '\n') {
      buffer[used++] = '\\';
      buffer[used++] = 'n';
    } else if (c == '\r') {
      buffer[used++] = '\\';
      buffer[used++] = 'r';
    } else if (c == '\t') {
      buffer[used++] = '\\';
      buffer[used++] = 't';
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      std::memcpy(buffer + used, "\\u00", 4);
      buffer[used + 4] = kHex[c >> 4];
      buffer[used + 5] = kHex[c & 0xF];
      used += 6;
    } else {
      buffer[used++] = static_cast<char>(c);
    }
  }
  out->append(buffer, used);
}

std::string Cause(int error) { return std::strerror(error); }

// A file's bytes, read into memory taken straight from the system rather
// than from a string: in pages of 2 MiB where the system gives them, and not
// cleared before it is filled, so that the page description of a large
// picture (20 MB and more) costs the kernel a dozen faults rather than five
// thousand.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes() {
    if (data_ != nullptr) munmap(data_, capacity_);
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // Reads the file at `path` whole (also when it grows meanwhile); false
  // with *message when it cannot be read or no memory can be had for it.
  bool Read(const std::string& path, std::string* message) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *message = "cannot read " + path + ": " + Cause(errno);
      return false;
    }
    // Sized from the file's length, one byte more, so that the read that
    // meets the end needs no more room.
    struct stat info;
    size_t expected = 65536;
    if (fstat(fd, &info) == 0 && info.st_size > 0) expected = static_cast<size_t>(info.st_size) + 1;
    size_ = 0;
    int error = Reserve(expected) ? 0 : ENOMEM;
    while (error == 0) {
      if (size_ == capacity_ && !Reserve(capacity_ * 2)) {
        error = ENOMEM;
        break;
      }
      ssize_t count = read(fd, static_cast<char*>(data_) + size_, capacity_ - size_);
      if (count == 0) break;
      if (count < 0) {
        if (errno != EINTR) error = errno;
        continue;
      }
      size_ += static_cast<size_t>(count);
    }
    close(fd);
    if (error != 0) {
      size_ = 0;
      *message = "cannot read " + path + ": " + Cause(error);
      return false;
    }
    return true;
  }
  std::string_view view() const { return {static_cast<const char*>(data_), size_}; }

 private:
  static constexpr size_t kLargePage = size_t{2} << 20;

  // Room for at least `wanted` bytes, keeping those read.
  bool Reserve(size_t wanted) {
    const size_t capacity = (wanted + kLargePage - 1) / kLargePage * kLargePage;
    void* data = MAP_FAILED;
    if (data_ == nullptr) {
      // Taken a large page longer and cut to start on a large page, so that
      // no part at either end is left to small pages.
      void* mapped = mmap(nullptr, capacity + kLargePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (mapped == MAP_FAILED) return false;
      const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
      const uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
      if (aligned > start) munmap(mapped, aligned - start);
      const uintptr_t end = start + capacity + kLargePage;
      if (end > aligned + capacity) {
        munmap(reinterpret_cast<void*>(aligned + capacity), end - (aligned + capacity));
      }
      data = reinterpret_cast<void*>(aligned);
    } else {
      data = mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
      if (data == MAP_FAILED) return false;
    }
    // Large pages where the system gives them only when asked (transparent
    // huge pages in their "madvise" mode); a refusal changes nothing else.
    madvise(data, capacity, MADV_HUGEPAGE);
    data_ = data;
    capacity_ = capacity;
    return true;
  }

  void* data_ = nullptr;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

// Replaces the file at `path` with what `fill` writes: `fill` is called
// with a function that writes one piece and says whether it could, and
// stops at the first piece that could not. The file is written beside its
// place and renamed into it, so a reader never sees half a page.
template <typename Fill>
bool ReplaceFile(const std::string& path, Fill fill, std::string* message) {
  const size_t separator = LastSeparator(path);
  const std::string folder = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  std::string temporary = folder + ".quillon-html5-XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *message = "cannot write " + path + ": " + Cause(errno);
    return false;
  }
  temporary = name.data();
  int error = 0;
  try {
    fill([&](std::string_view piece) {
      size_t written = 0;
      while (error == 0 && written < piece.size()) {
        ssize_t count = write(fd, piece.data() + written, piece.size() - written);
        if (count < 0) {
          if (errno != EINTR) error = errno;
          continue;
        }
        written += static_cast<size_t>(count);
      }
      return error == 0;
    });
  } catch (...) {
    // Making the page failed (out of memory): no half page is left behind.
    close(fd);
    std::remove(temporary.c_str());
    throw;
  }
  // The page gets the permissions of a newly created file, as the other
  // output files do (a temporary file is created readable by its owner only).
  const mode_t mask = umask(0);
  umask(mask);
  if (error == 0 && fchmod(fd, 0666 & ~mask) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    std::remove(temporary.c_str());
    *message = "cannot write " + path + ": " + Cause(error);
    return false;
  }
  return true;
}

const Checker::AtomEnds Checker::kEndsAtom;

// The file name after the last separator, without its extension.
std::string TitleOf(const std::string& jdf_path) {
  const size_t separator = LastSeparator(jdf_path);
  std::string name = separator == std::string::npos ? jdf_path : jdf_path.substr(separator + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// Writes BASE.html beside BASE.JDF; says on standard error why not.
bool WritePageOfBase(const std::string& base, const std::string& picture) {
  std::string message;
  PageResult result = WriteHtml5Page(base + ".JDF", base + ".html", &message);
  if (result == PageResult::kWritten) return true;
  if (result == PageResult::kMalformed) {
    std::fprintf(stderr, "quillon: %s.JDF: %s\n", base.c_str(), message.c_str());
  } else {
    std::fprintf(stderr, "quillon: no HTML5 page for %s: %s\n", picture.c_str(),
                 message.c_str());
  }
  return false;
}

}  // namespace

std::string JdfProblem::Message() const {
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
}

JdfProblem CheckJdf(const std::string& text) { return Checker(text, IsValidUtf8(text)).Run(); }

namespace {

// Each byte of `bytes` as the character of its number (Latin-1), in UTF-8.
std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char byte : bytes) {
    unsigned char c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      out.push_back(byte);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string JdfTextAsUtf8(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return bytes;
  return Latin1ToUtf8(bytes);
}

// Makes the page for `title` and `jdf_utf8` piece by piece, calling
// `emit` with each piece and stopping when it returns false. The page
// description goes in pieces of about a megabyte, each cut between two
// characters, so that a large page is never held whole.
template <typename Emit>
void MakeHtml5Page(const std::string& title, std::string_view jdf_utf8, Emit emit) {
  constexpr size_t kPiece = size_t{1} << 20;
  std::string piece = kPageHead;
  piece += HtmlEscape(title);
  piece += kPageBody;
  piece += '"';
  const std::string_view text(jdf_utf8);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = std::min(text.size(), at + kPiece);
    size_t cut = end;
    while (cut > at && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    if (cut > at) end = cut;
    AppendJsonText(text.substr(at, end - at), &piece);
    if (!emit(std::string_view(piece))) return;
    piece.clear();
    at = end;
  }
  piece += '"';
  piece += kPageScript;
  if (!emit(std::string_view(piece))) return;
  if (!emit(std::string_view(kViewerSource, kViewerSourceSize))) return;
  emit(std::string_view(kPageEnd));
}

std::string BuildHtml5Page(const std::string& title, const std::string& jdf_utf8) {
  std::string page;
  page.reserve(kViewerSourceSize + jdf_utf8.size() + jdf_utf8.size() / 4 + 1024);
  MakeHtml5Page(title, jdf_utf8, [&](std::string_view piece) {
    page.append(piece.data(), piece.size());
    return true;
  });
  return page;
}

std::string Html5PathBeside(const std::string& jdf_path) {
  const size_t separator = LastSeparator(jdf_path);
  const size_t dot = jdf_path.rfind('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return jdf_path + ".html";
  }
  return jdf_path.substr(0, dot) + ".html";
}

PageResult WriteHtml5Page(const std::string& jdf_path, const std::string& html_path,
                          std::string* message) {
  FileBytes file;
  if (!file.Read(jdf_path, message)) return PageResult::kFailed;
  // Valid UTF-8 (what the converter writes) is used as read, without a copy.
  std::string converted;
  std::string_view text = file.view();
  if (!IsValidUtf8(text)) {
    converted = Latin1ToUtf8(text);
    text = converted;
  }
  const std::string title = JdfTextAsUtf8(TitleOf(jdf_path));
  // The check reads the text only: it runs on another core while the page
  // is built and written (in line when no thread can be started). Its
  // result counts only once the page is written, as before.
  JdfProblem problem;
  std::exception_ptr check_failure;
  auto check = [&]() {
    try {
      problem = Checker(text, true).Run();
    } catch (...) {
      check_failure = std::current_exception();
    }
  };
  std::thread checker;
  try {
    checker = std::thread(check);
  } catch (const std::system_error&) {
    check();
  }
  bool written = false;
  try {
    written = ReplaceFile(
        html_path, [&](const auto& write) { MakeHtml5Page(title, text, write); }, message);
  } catch (...) {
    if (checker.joinable()) checker.join();
    throw;
  }
  if (checker.joinable()) checker.join();
  if (!written) return PageResult::kFailed;
  if (check_failure) std::rethrow_exception(check_failure);
  if (!problem.ok()) {
    *message = problem.Message();
    return PageResult::kMalformed;
  }
  return PageResult::kWritten;
}

bool WriteHtml5PageOfOutcome(const PictureOutcome& outcome, std::string* error) {
  const std::string base = JoinPath(outcome.output_directory, outcome.name);
  std::string message;
  switch (WriteHtml5Page(base + ".JDF", base + ".html", &message)) {
    case PageResult::kWritten:
      return true;
    case PageResult::kMalformed:
      *error = "its HTML5 page shows a problem of " + base + ".JDF: " + message;
      return false;
    case PageResult::kFailed:
      break;
  }
  *error = "no HTML5 page: " + message;
  return false;
}

bool WriteHtml5PageOfDocument(hmi::IDispatch* document, const std::string& directory) {
  hmi::ComPtr<hmi::IDispatch> held(document);
  hmi::ComPtr<hmi::IHmiPicture> picture;
  std::string name;
  if (hmi::Failed(held.As(&picture)) || hmi::Failed(picture->Name(&name))) {
    std::fprintf(stderr, "quillon: no HTML5 page: the picture does not tell its name\n");
    return false;
  }
  const std::string file_name = SafeFileName(RecordText(name));
  return WritePageOfBase(JoinPath(directory, file_name), file_name);
}

int RunView(const std::string& jdf_path, const std::string& out) {
  const std::string html_path = out.empty() ? Html5PathBeside(jdf_path) : out;
  if (html_path == jdf_path) {
    std::fprintf(stderr, "quillon: %s: the page would replace its own page description\n",
                 jdf_path.c_str());
    return 1;
  }
  std::string message;
  PageResult result = WriteHtml5Page(jdf_path, html_path, &message);
  switch (result) {
    case PageResult::kWritten:
      std::printf("wrote %s\n", html_path.c_str());
      return 0;
    case PageResult::kMalformed:
      std::fprintf(stderr, "quillon: %s: %s\n", jdf_path.c_str(), message.c_str());
      std::fprintf(stderr, "quillon: wrote %s, which shows this problem\n", html_path.c_str());
      return 1;
    case PageResult::kFailed:
      break;
  }
  std::fprintf(stderr, "quillon: %s\n", message.c_str());
  return 1;
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string UrlPathEscape(const std::string& relative) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : relative) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace cli
}  // namespace quillon
