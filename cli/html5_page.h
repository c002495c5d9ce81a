// The self-contained HTML5 page of a picture (NAME.html): the viewer and the
// page description inline, so that any current browser shows the picture
// from disk. Also the `quillon view` command and the check of a page
// description's syntax that it reports with.
#ifndef QUILLON_CLI_HTML5_PAGE_H_
#define QUILLON_CLI_HTML5_PAGE_H_

#include <cstddef>
#include <string>

namespace quillon {
namespace hmi {
class IDispatch;
}  // namespace hmi

namespace cli {

struct PictureOutcome;

// The viewer module (viewer/quillon-viewer.js), built into the program.
extern const char kViewerSource[];
extern const size_t kViewerSourceSize;

// What is wrong with a page description, and where (line and column from 1,
// columns counted in characters). `what` is empty when nothing is wrong.
struct JdfProblem {
  int line = 0;
  int column = 0;
  std::string what;

  bool ok() const { return what.empty(); }
  // "line L, column C: what", the text the viewer shows for the same input.
  std::string Message() const;
};

// Checks a page description (UTF-8 text) with the grammar rules of the
// viewer's parser; reports the first problem the viewer would report.
JdfProblem CheckJdf(const std::string& text);

// The text of a page description file as UTF-8: bytes that are valid UTF-8
// are kept, any other file is read as Latin-1 (as the converter writes it).
std::string JdfTextAsUtf8(const std::string& bytes);

// The whole HTML5 page: `title` (escaped) and the page description embedded
// as a JSON string in which no character can end its element or start
// markup, followed by the viewer. The page loads nothing but the images the
// description names.
// `text` with the characters that are special in HTML as references.
std::string HtmlEscape(const std::string& text);
// A relative path as a link target: every byte but letters, digits and
// "/.-_~" percent-encoded.
std::string UrlPathEscape(const std::string& relative);

std::string BuildHtml5Page(const std::string& title, const std::string& jdf_utf8);

// Where NAME.html of a page description goes: beside it, with the
// extension replaced.
std::string Html5PathBeside(const std::string& jdf_path);

enum class PageResult { kWritten, kMalformed, kFailed };

// Reads the page description at `jdf_path` and writes its HTML5 page to
// `html_path` through a temporary file in the same folder that is then
// renamed over it. A malformed description still gets its page, which says
// what is wrong (kMalformed). `*message` receives the problem or the error
// (file and cause) when the result is not kWritten.
PageResult WriteHtml5Page(const std::string& jdf_path, const std::string& html_path,
                          std::string* message);

// After a picture of `quillon convert` was converted: writes the HTML5 page
// beside its NAME.JDF (its output directory and name as the run found
// them). False with `error` set (what and why, one line) when the page could
// not be written.
bool WriteHtml5PageOfOutcome(const PictureOutcome& outcome, std::string* error);

// After the picture `document` (open in the HMI) was exported into
// `directory`: writes the HTML5 page beside its NAME.JDF there, NAME being
// the picture's name as the export names its files. Prints an error and
// returns false when the page could not be written.
bool WriteHtml5PageOfDocument(hmi::IDispatch* document, const std::string& directory);

// `quillon view JDF [--out FILE]`: writes the HTML5 page of a page
// description (beside it unless `out` is given). Returns the exit status:
// 0 written, 1 when the description is malformed (the page is still
// written and shows the problem) or a file cannot be read or written.
int RunView(const std::string& jdf_path, const std::string& out);

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_HTML5_PAGE_H_
