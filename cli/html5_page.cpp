// The HTML5 page of a picture and the `quillon view` command.
#include "html5_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// One node of the parsed list tree.
struct Node {
  enum Kind { kList, kAtom, kString } kind;
  int line;
  int column;
  std::string text;             // atoms and quoted texts
  std::vector<size_t> items;    // lists: indexes into the node table
};

class Checker {
 public:
  explicit Checker(const std::string& text) : text_(text) {}

  JdfProblem Run() {
    if (!ReadTree()) return problem_;
    for (size_t section : top_) {
      if (!CheckSection(section)) return problem_;
    }
    return problem_;
  }

 private:
  static bool IsSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }

  bool Fail(const std::string& what, int line, int column) {
    problem_.what = what;
    problem_.line = line;
    problem_.column = column;
    return false;
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

  bool Place(size_t index) {
    if (stack_.empty()) {
      if (nodes_[index].kind != Node::kList) {
        return Fail("text outside parentheses", nodes_[index].line, nodes_[index].column);
      }
      top_.push_back(index);
    } else {
      nodes_[stack_.back()].items.push_back(index);
    }
    return true;
  }

  size_t NewNode(Node::Kind kind) {
    nodes_.push_back(Node{kind, line_, column_, std::string(), {}});
    return nodes_.size() - 1;
  }

  bool ReadTree() {
    const size_t n = text_.size();
    while (pos_ < n) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (IsSpace(c)) {
        Advance();
      } else if (c == '(') {
        if (static_cast<int>(stack_.size()) >= kMaxDepth) {
          return Fail("lists nested deeper than " + std::to_string(kMaxDepth), line_, column_);
        }
        size_t list = NewNode(Node::kList);
        if (!Place(list)) return false;
        stack_.push_back(list);
        Advance();
      } else if (c == ')') {
        if (stack_.empty()) return Fail("')' without a matching '('", line_, column_);
        stack_.pop_back();
        Advance();
      } else if (c == '"') {
        size_t node = NewNode(Node::kString);
        Advance();
        bool closed = false;
        std::string value;
        while (pos_ < n) {
          char d = text_[pos_];
          if (d == '"') {
            Advance();
            closed = true;
            break;
          }
          if (d == '\\') {
            Advance();
            if (pos_ >= n) break;
          }
          size_t start = pos_;
          Advance();
          value.append(text_, start, pos_ - start);
        }
        if (!closed) {
          return Fail("quoted text without its closing '\"'", nodes_[node].line,
                      nodes_[node].column);
        }
        nodes_[node].text = value;
        if (!Place(node)) return false;
      } else {
        size_t node = NewNode(Node::kAtom);
        size_t start = pos_;
        while (pos_ < n) {
          unsigned char d = static_cast<unsigned char>(text_[pos_]);
          if (IsSpace(d) || d == '(' || d == ')' || d == '"') break;
          Advance();
        }
        nodes_[node].text = text_.substr(start, pos_ - start);
        if (!Place(node)) return false;
      }
    }
    if (!stack_.empty()) {
      const Node& open = nodes_[stack_.back()];
      return Fail("'(' without its closing ')'", open.line, open.column);
    }
    if (top_.empty()) return Fail("the page description is empty", line_, column_);
    return true;
  }

  bool StartsWithAtom(const Node& node) const {
    return node.kind == Node::kList && !node.items.empty() &&
           nodes_[node.items[0]].kind == Node::kAtom;
  }

  bool CheckProperties(const Node& list) {
    for (size_t k = 1; k < list.items.size(); ++k) {
      const Node& entry = nodes_[list.items[k]];
      if (!StartsWithAtom(entry)) {
        return Fail("a property must be a list that starts with its name", entry.line,
                    entry.column);
      }
    }
    return true;
  }

  bool CheckObject(const Node& node) {
    if (node.kind != Node::kList || node.items.size() < 2 ||
        nodes_[node.items[0]].kind != Node::kAtom || nodes_[node.items[1]].kind != Node::kAtom) {
      return Fail("an object must be a list that starts with its name and its class", node.line,
                  node.column);
    }
    const std::string& name = nodes_[node.items[0]].text;
    for (size_t k = 2; k < node.items.size(); ++k) {
      const Node& part = nodes_[node.items[k]];
      if (!StartsWithAtom(part)) {
        return Fail("unexpected text in object " + name, part.line, part.column);
      }
      const std::string& word = nodes_[part.items[0]].text;
      if (word == "properties") {
        if (!CheckProperties(part)) return false;
      } else if (word == "objects") {
        for (size_t m = 1; m < part.items.size(); ++m) {
          if (!CheckObject(nodes_[part.items[m]])) return false;
        }
      }
    }
    return true;
  }

  bool CheckSection(size_t index) {
    const Node& section = nodes_[index];
    if (section.items.empty() || nodes_[section.items[0]].kind != Node::kAtom) {
      return Fail("a section must start with its name (properties, objects or links)",
                  section.line, section.column);
    }
    const Node& head = nodes_[section.items[0]];
    if (head.text == "properties") return CheckProperties(section);
    if (head.text == "objects") {
      for (size_t k = 1; k < section.items.size(); ++k) {
        if (!CheckObject(nodes_[section.items[k]])) return false;
      }
      return true;
    }
    if (head.text == "links") {
      for (size_t k = 1; k < section.items.size(); ++k) {
        const Node& link = nodes_[section.items[k]];
        if (link.kind != Node::kList || link.items.size() != 2 ||
            nodes_[link.items[0]].kind != Node::kAtom ||
            nodes_[link.items[1]].kind != Node::kAtom) {
          return Fail("a link must be a list of its target and its source", link.line,
                      link.column);
        }
      }
      return true;
    }
    return Fail("unknown section " + head.text + " (expected properties, objects or links)",
                head.line, head.column);
  }

  const std::string& text_;
  size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
  std::vector<Node> nodes_;
  std::vector<size_t> stack_;
  std::vector<size_t> top_;
  JdfProblem problem_;
};

bool IsValidUtf8(const std::string& bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length;
    unsigned int code;
    if (c < 0x80) {
      ++i;
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

void AppendJsonString(const std::string& text, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    // U+2028 and U+2029 end a line in older script parsers.
    if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
         static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      *out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
      continue;
    }
    // No character of the text may end the script element or start markup:
    // "<", ">" and "&" are written as escapes too.
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c == '\n') {
      *out += "\\n";
    } else if (c == '\r') {
      *out += "\\r";
    } else if (c == '\t') {
      *out += "\\t";
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      *out += "\\u00";
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 0xF]);
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
  out->push_back('"');
}


std::string Cause(int error) { return std::strerror(error); }

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* message) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *message = "cannot read " + path + ": " + Cause(errno);
    return false;
  }
  bytes->clear();
  char buffer[65536];
  for (;;) {
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      *message = "cannot read " + path + ": " + Cause(error);
      return false;
    }
    bytes->append(buffer, static_cast<size_t>(count));
  }
  close(fd);
  return true;
}

// Writes `text` to a new temporary file beside `path` and renames it over
// `path`, so that a reader never sees half a page.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* message) {
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
  size_t written = 0;
  int error = 0;
  while (written < text.size()) {
    ssize_t count = write(fd, text.data() + written, text.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    written += static_cast<size_t>(count);
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

JdfProblem CheckJdf(const std::string& text) { return Checker(text).Run(); }

std::string JdfTextAsUtf8(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return bytes;
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

std::string BuildHtml5Page(const std::string& title, const std::string& jdf_utf8) {
  std::string page;
  page.reserve(kViewerSourceSize + jdf_utf8.size() + jdf_utf8.size() / 4 + 1024);
  page += kPageHead;
  page += HtmlEscape(title);
  page += kPageBody;
  AppendJsonString(jdf_utf8, &page);
  page += kPageScript;
  page.append(kViewerSource, kViewerSourceSize);
  page += kPageEnd;
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
  std::string bytes;
  if (!ReadWholeFile(jdf_path, &bytes, message)) return PageResult::kFailed;
  const std::string text = JdfTextAsUtf8(bytes);
  const std::string title = JdfTextAsUtf8(TitleOf(jdf_path));
  if (!ReplaceFile(html_path, BuildHtml5Page(title, text), message)) {
    return PageResult::kFailed;
  }
  const JdfProblem problem = CheckJdf(text);
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

}  // namespace cli
}  // namespace quillon
