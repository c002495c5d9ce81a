// The HTML page that embeds the browser viewer and names its JDF file.
#include "platform/format.h"
#include "platform/text_file.h"
#include "writer/page_writer.h"

namespace quillon {
namespace {

constexpr char kPageStart[] = "<html>\n<head>\n<title>";
constexpr char kPageScript[] =
    "</title>\n</head>\n<body>\n<center>\n<script language=\"JavaScript\">\n<!--//\n"
    "var appName = navigator.appName;\nvar appVersion = parseFloat(navigator.appVersion);\n"
    "if((appName == 'Netscape') && (appVersion <4.0)){\n"
    "document.write('<applet code = TAVApplet codebase = Classes archive=\"tav.zip\"";
constexpr char kPageAppletSize[] =
    " Width=%ld Height=%ld>')\n} else {\n"
    "document.write('<applet code = TAVApplet codebase = Classes archive=\"tav.jar\" "
    "Width=%ld Height=%ld>')\n}\n// -->\n</script>\n";
constexpr char kPageFileParameter[] = "<param name = file value = \"%s\">\n";
constexpr char kPageCabParameter[] = "<param name=cabbase value=\"tav.cab\">\n";
constexpr char kPagePlayBackOff[] = "<param name=vcr value=0>\n";
constexpr char kPageEnd[] =
    "<param name=stretchtext value=0>\n</applet>\n</center>\n</body>\n</html>";

// A file name as it may stand in the page's text and in a quoted attribute:
// the characters that HTML reads as markup, and the line ends and TAB that
// would split the attribute, become character references. The browser hands
// the viewer the name as it is.
std::string HtmlText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      case '\t': escaped += "&#9;"; break;
      case '\n': escaped += "&#10;"; break;
      case '\r': escaped += "&#13;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace

int PageWriter::WriteHtmlPage(const std::string& output_base, long height, long width) {
  const std::string page_path = output_base + ".htm";
  size_t separator = LastSeparator(jdf_path_);
  const std::string jdf_name = HtmlText(
      separator == std::string::npos ? jdf_path_ : jdf_path_.substr(separator + 1));

  std::string page = kPageStart + jdf_name + kPageScript;
  AppendF(&page, kPageAppletSize, width, height, width, height);
  AppendF(&page, kPageFileParameter, jdf_name.c_str());
  if (use_cab_files_ != 0) page += kPageCabParameter;
  if (allow_play_back_ == 0) page += kPagePlayBackOff;
  page += kPageEnd;

  FileResult result = WriteTextFile(page_path, page, WriteMode::kTruncate, LineEnds::kPage);
  if (result.stage == FileStage::kOpen) {
    ReportFileError(*services_, result.cause, page_path);
    return 0;
  }
  if (!result.ok()) {
    ReportWriteFailure(*services_, result.cause);
    // A page that could not be written whole is not reported as written.
    return 0;
  }
  return 1;
}

}  // namespace quillon
