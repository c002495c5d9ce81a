#include "run_outcome.h"

#include "html5_page.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#include "platform/format.h"

namespace quillon {
namespace cli {
namespace {

// Resource texts the log is read by.
constexpr int kNotSupportedStart = 61;  // "The %s object %s is not supported"
constexpr int kNotSupportedEnd = 62;    // " and is left out of the web page."
constexpr int kPictureConverted = 58;
constexpr int kGroupNotWritten = 57;
constexpr int kNoDescription = 94;
constexpr int kNoObjectsToWrite = 107;
constexpr int kNoObjectsToConvert = 103;
constexpr int kCancelledText = 104;
constexpr int kPrefixLost = 80;      // "Error: "
constexpr int kPrefixPartial = 81;   // "Warning: "
constexpr int kPrefixSerious = 82;   // "Serious error: "
constexpr int kObjectHeading = 83;   // "Messages for the %s object %s:"
constexpr int kImageListHeading = 99;

// Lines that say an object did not reach the page end with these words.
constexpr char kLeftOutOfThePage[] = "left out of the web page";
constexpr char kNotConvertedTail[] = "could not be converted since it contains non-supported objects";

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return !start.empty() && text.compare(0, start.size(), start) == 0;
}

// Matches `line` against `format`, whose "%s" stand for any text; the
// texts found fill `args`.
bool MatchFormat(const std::string& format, const std::string& line,
                 std::vector<std::string>* args) {
  std::vector<std::string> pieces;
  size_t start = 0, at;
  while ((at = format.find("%s", start)) != std::string::npos) {
    pieces.push_back(format.substr(start, at - start));
    start = at + 2;
  }
  pieces.push_back(format.substr(start));
  if (!StartsWith(line, pieces.front()) && !pieces.front().empty()) return false;
  size_t position = pieces.front().size();
  args->clear();
  for (size_t i = 1; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    size_t found;
    if (i + 1 == pieces.size()) {
      if (line.size() < position + piece.size() ||
          line.compare(line.size() - piece.size(), piece.size(), piece) != 0) {
        return false;
      }
      found = line.size() - piece.size();
    } else {
      found = piece.empty() ? position : line.find(piece, position);
      if (found == std::string::npos) return false;
    }
    args->push_back(line.substr(position, found - position));
    position = found + piece.size();
  }
  return position == line.size();
}

// "property: reason" as the log writes a lost animation or property.
LostAnimation SplitLoss(const std::string& object, const std::string& text) {
  LostAnimation loss{object, text, ""};
  const size_t colon = text.find(": ");
  if (colon != std::string::npos) {
    loss.property = text.substr(0, colon);
    loss.reason = text.substr(colon + 2);
  }
  if (loss.reason.empty()) loss.reason = "it could not be converted for the web page";
  while (!loss.reason.empty() && loss.reason.back() == '.') loss.reason.pop_back();
  return loss;
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

const char* StatusName(PictureStatus status) {
  switch (status) {
    case PictureStatus::kConverted:
      return "converted";
    case PictureStatus::kConvertedWithLosses:
      return "converted with losses";
    case PictureStatus::kRead:
      return "read";
    case PictureStatus::kFailed:
      return "not converted";
    case PictureStatus::kCancelled:
      return "cancelled";
  }
  return "not converted";
}

void LogCollector::SendLogMessage(unsigned message, unsigned long wparam,
                                  const std::string& line) {
  // A written line may hold several lines of the log (the banner).
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find("\r\n", start);
    if (end == std::string::npos) end = line.size();
    lines_.push_back(WithoutLineEnd(line.substr(start, end - start)));
    start = end + 2;
  }
  if (forward_ != nullptr) forward_->SendLogMessage(message, wparam, line);
}

LogReading ReadLogLines(const Services& services, const std::vector<std::string>& lines) {
  LogReading reading;
  const std::string lost = services.Text(kPrefixLost), partial = services.Text(kPrefixPartial),
                    serious = services.Text(kPrefixSerious);
  const std::string heading = WithoutLineEnd(services.Text(kObjectHeading));
  const std::string image_heading = WithoutLineEnd(services.Text(kImageListHeading));
  const std::string not_supported =
      services.Text(kNotSupportedStart) + WithoutLineEnd(services.Text(kNotSupportedEnd));
  const std::string converted = WithoutLineEnd(services.Text(kPictureConverted));
  const std::string cancelled = WithoutLineEnd(services.Text(kCancelledText));
  const std::string no_description = services.Text(kNoDescription);
  const std::string group_not_written = services.Text(kGroupNotWritten);
  const std::string no_objects = WithoutLineEnd(services.Text(kNoObjectsToWrite));
  const std::string nothing = WithoutLineEnd(services.Text(kNoObjectsToConvert));

  std::string object_class, object_name;  // the object the lines stand under
  bool image_list = false;                // the lines name image files
  std::vector<std::string> args;
  for (const std::string& line : lines) {
    if (MatchFormat(image_heading, line, &args)) {
      image_list = true;
      continue;
    }
    const bool prefixed =
        StartsWith(line, serious) || StartsWith(line, lost) || StartsWith(line, partial);
    if (image_list && !prefixed && !line.empty() && line != converted &&
        !MatchFormat(heading, line, &args)) {
      reading.image_files.push_back(line);
      continue;
    }
    image_list = false;
    if (MatchFormat(heading, line, &args) && args.size() == 2) {
      object_class = args[0];
      object_name = args[1];
      continue;
    }
    if (line == converted) {
      reading.converted_line = true;
      continue;
    }
    if (line == cancelled || StartsWith(line, cancelled)) {
      reading.cancelled = true;
      continue;
    }
    if (line == nothing) {
      reading.nothing_converted = true;
      continue;
    }
    if (StartsWith(line, serious)) {
      const std::string text = line.substr(serious.size());
      if (MatchFormat(not_supported, text, &args) && args.size() == 2) {
        reading.objects_left_out.push_back(
            {args[1], args[0], "the web page has no counterpart for this kind of object"});
      } else if (text.find(kNotConvertedTail) != std::string::npos || text == no_objects) {
        reading.nothing_converted = true;
      } else if (StartsWith(text, no_description) || StartsWith(text, group_not_written)) {
        reading.objects_left_out.push_back(
            {object_name.empty() ? "?" : object_name, object_class, text});
      } else if (!object_name.empty()) {
        reading.objects_left_out.push_back({object_name, object_class, text});
      } else if (reading.first_failure.empty()) {
        reading.first_failure = text;
      }
      continue;
    }
    if (StartsWith(line, lost)) {
      const std::string text = line.substr(lost.size());
      if (!object_name.empty() && text.find(kLeftOutOfThePage) != std::string::npos) {
        reading.objects_left_out.push_back({object_name, object_class, text});
      } else if (!object_name.empty()) {
        reading.animations_lost.push_back(SplitLoss(object_name, text));
      } else if (reading.first_failure.empty()) {
        reading.first_failure = text;
      }
      continue;
    }
    if (StartsWith(line, partial)) {
      const std::string text = line.substr(partial.size());
      reading.warnings.push_back(object_name.empty() ? text : object_name + ": " + text);
      continue;
    }
    // A plain line (a banner) ends the object's lines.
    object_class.clear();
    object_name.clear();
  }
  return reading;
}

std::vector<std::string> DataSourceTags(const std::string& jdf) {
  static const std::string kSource = " Source1.";
  // Views into the text, sorted and made unique at the end: a large page
  // names its tags hundreds of thousands of times.
  std::vector<std::string_view> found;
  size_t at = 0;
  // memmem rather than find: find stops at every blank, and a page is
  // mostly blanks and TABs.
  while (const void* hit = ::memmem(jdf.data() + at, jdf.size() - at, kSource.data(),
                                    kSource.size())) {
    at = static_cast<size_t>(static_cast<const char*>(hit) - jdf.data()) + kSource.size();
    size_t end = jdf.find_first_of(" )\r\n\t", at);
    if (end == std::string::npos) end = jdf.size();
    if (end > at) found.emplace_back(jdf.data() + at, end - at);
    at = end;
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return std::vector<std::string>(found.begin(), found.end());
}

std::string PictureLine(const PictureOutcome& outcome) {
  const std::string& source = outcome.source;
  switch (outcome.status) {
    case PictureStatus::kConverted:
      return "converted " + source;
    case PictureStatus::kRead:
      return "read " + source;
    case PictureStatus::kConvertedWithLosses: {
      std::vector<std::string> parts;
      if (!outcome.objects_left_out.empty()) {
        parts.push_back(Plural(outcome.objects_left_out.size(), "object", "objects") +
                        " left out");
      }
      if (!outcome.animations_lost.empty()) {
        parts.push_back(Plural(outcome.animations_lost.size(), "animation or property",
                               "animations or properties") +
                        " lost");
      }
      if (!outcome.warnings.empty()) {
        parts.push_back(Plural(outcome.warnings.size(), "object", "objects") + " read in part");
      }
      std::string text;
      for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : ", ") + parts[i];
      return "converted with losses " + source + ": " + text + " (see " + outcome.log_path + ")";
    }
    case PictureStatus::kCancelled:
      return "cancelled " + source + ": nothing of it was published";
    case PictureStatus::kFailed:
      break;
  }
  std::string line = "not converted " + source + ": " + outcome.reason;
  if (outcome.log_written) line += " (see " + outcome.log_path + ")";
  return line;
}

std::string RunSummaryLine(const std::vector<PictureOutcome>& outcomes, size_t not_started) {
  size_t converted = 0, losses = 0, read = 0, failed = 0, cancelled = 0;
  for (const PictureOutcome& outcome : outcomes) {
    switch (outcome.status) {
      case PictureStatus::kConverted:
        ++converted;
        break;
      case PictureStatus::kConvertedWithLosses:
        ++losses;
        break;
      case PictureStatus::kRead:
        ++read;
        break;
      case PictureStatus::kFailed:
        ++failed;
        break;
      case PictureStatus::kCancelled:
        ++cancelled;
        break;
    }
  }
  const size_t total = outcomes.size() + not_started;
  std::string line = Plural(total, "picture", "pictures") + ": ";
  if (read > 0) {
    line += std::to_string(read) + " read, ";
  } else {
    line += std::to_string(converted) + " converted, " + std::to_string(losses) +
            " with losses, ";
  }
  line += std::to_string(failed) + " failed, " + std::to_string(cancelled + not_started) +
          " cancelled";
  return line;
}

nlohmann::json RunReport(const std::vector<PictureOutcome>& outcomes,
                         const std::vector<std::string>& not_started, bool read_only) {
  nlohmann::json pictures = nlohmann::json::array();
  for (const PictureOutcome& outcome : outcomes) {
    nlohmann::json objects = nlohmann::json::array(), animations = nlohmann::json::array();
    for (const LostObject& object : outcome.objects_left_out) {
      objects.push_back(
          {{"name", object.name}, {"class", object.class_name}, {"reason", object.reason}});
    }
    for (const LostAnimation& animation : outcome.animations_lost) {
      animations.push_back({{"object", animation.object},
                            {"property", animation.property},
                            {"reason", animation.reason}});
    }
    nlohmann::json picture = {
        {"source", outcome.source},
        {"name", outcome.name},
        {"outputDirectory", outcome.output_directory},
        {"status", StatusName(outcome.status)},
        {"files", outcome.files},
        {"log", outcome.log_written ? nlohmann::json(outcome.log_path) : nlohmann::json()},
        {"counts",
         {{"objectsLeftOut", outcome.objects_left_out.size()},
          {"animationsLost", outcome.animations_lost.size()},
          {"warnings", outcome.warnings.size()}}},
        {"objectsLeftOut", objects},
        {"animationsLost", animations},
        {"warnings", outcome.warnings},
        {"tags", outcome.tags},
    };
    if (!outcome.reason.empty()) picture["reason"] = outcome.reason;
    pictures.push_back(picture);
  }
  for (const std::string& source : not_started) {
    pictures.push_back({{"source", source},
                        {"name", ""},
                        {"outputDirectory", ""},
                        {"status", StatusName(PictureStatus::kCancelled)},
                        {"reason", "the run was cancelled before this picture"},
                        {"files", nlohmann::json::array()},
                        {"log", nullptr},
                        {"counts", {{"objectsLeftOut", 0}, {"animationsLost", 0}, {"warnings", 0}}},
                        {"objectsLeftOut", nlohmann::json::array()},
                        {"animationsLost", nlohmann::json::array()},
                        {"warnings", nlohmann::json::array()},
                        {"tags", nlohmann::json::array()}});
  }
  nlohmann::json summary = {{"pictures", pictures.size()}};
  for (const char* status :
       {"converted", "converted with losses", "read", "not converted", "cancelled"}) {
    size_t count = 0;
    for (const nlohmann::json& picture : pictures) count += picture["status"] == status ? 1 : 0;
    summary[status] = count;
  }
  return {{"version", 1},
          {"readOnly", read_only},
          {"summary", summary},
          {"pictures", pictures}};
}

namespace {

// `path` relative to `directory` when it lies inside it, else as it is.
std::string RelativeTo(const std::string& directory, const std::string& path) {
  std::string base = directory;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (path.size() > base.size() + 1 && path.compare(0, base.size(), base) == 0 &&
      path[base.size()] == '/') {
    return path.substr(base.size() + 1);
  }
  return path;
}

}  // namespace

bool WriteIndexPage(const std::string& directory, const std::vector<PictureOutcome>& outcomes,
                    std::string* error) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Converted pictures</title>\n<style>\nbody{font-family:sans-serif;margin:2em}"
      "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.3em .6em;"
      "text-align:left}.failed,.cancelled{color:#a00}.losses{color:#a60}\n</style>\n"
      "</head>\n<body>\n<h1>Converted pictures</h1>\n<table>\n"
      "<tr><th>Picture</th><th>Status</th><th>Page</th><th>Log</th></tr>\n";
  for (const PictureOutcome& outcome : outcomes) {
    const char* css = outcome.status == PictureStatus::kConvertedWithLosses ? "losses"
                      : outcome.status == PictureStatus::kFailed            ? "failed"
                      : outcome.status == PictureStatus::kCancelled         ? "cancelled"
                                                                            : "ok";
    std::string page_link, log_link;
    const std::string base = outcome.output_directory.empty()
                                 ? outcome.name
                                 : outcome.output_directory + "/" + outcome.name;
    for (const char* extension : {".html", ".htm"}) {
      const std::string file = base + extension;
      if (page_link.empty() && ::access(file.c_str(), F_OK) == 0 &&
          (outcome.status == PictureStatus::kConverted ||
           outcome.status == PictureStatus::kConvertedWithLosses)) {
        const std::string relative = RelativeTo(directory, file);
        page_link = "<a href=\"" + HtmlEscape(UrlPathEscape(relative)) + "\">" +
                    HtmlEscape(relative) + "</a>";
      }
    }
    if (outcome.log_written) {
      const std::string relative = RelativeTo(directory, outcome.log_path);
      log_link = "<a href=\"" + HtmlEscape(UrlPathEscape(relative)) + "\">" +
                 HtmlEscape(relative) + "</a>";
    }
    std::string status = StatusName(outcome.status);
    if (!outcome.reason.empty()) status += ": " + outcome.reason;
    page += "<tr class=\"" + std::string(css) + "\"><td>" + HtmlEscape(outcome.source) +
            "</td><td>" + HtmlEscape(status) + "</td><td>" + page_link + "</td><td>" +
            log_link + "</td></tr>\n";
  }
  page += "</table>\n</body>\n</html>\n";

  std::string base = directory.empty() ? "." : directory;
  const std::string path = base + "/index.html";
  const std::string temporary = base + "/.index.html." + std::to_string(::getpid()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      *error = "cannot write " + path;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace cli
}  // namespace quillon
