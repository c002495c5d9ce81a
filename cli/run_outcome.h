// What became of each picture of a run, as the command tells it: read from
// the picture's log lines as they are written and from the files left in
// the output directory. One line per picture, a last line for the run, a
// machine-readable report and an index page of the output folder.
#ifndef QUILLON_CLI_RUN_OUTCOME_H_
#define QUILLON_CLI_RUN_OUTCOME_H_

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver/services.h"
#include "quillon/quillon.h"

namespace quillon {
namespace cli {

enum class PictureStatus {
  kConverted,            // every object and animation reached the page
  kConvertedWithLosses,  // the page was written; the log lists what is missing
  kRead,                 // a read-only run read the picture whole
  kFailed,               // no page (or, read-only, the picture could not be read)
  kCancelled,            // stopped by the user; no page published
};

// The words of a status in the report and the index ("converted", ...).
const char* StatusName(PictureStatus status);

struct LostObject {
  std::string name;
  std::string class_name;
  std::string reason;
};

struct LostAnimation {
  std::string object;
  std::string property;
  std::string reason;
};

struct PictureOutcome {
  std::string source;            // the picture file as given
  std::string output_directory;  // where its files were written
  std::string name;              // the page's name (NAME.JDF)
  PictureStatus status = PictureStatus::kFailed;
  std::string reason;            // why it failed or was cancelled, one line
  std::vector<std::string> files;  // files of the picture that exist after the run
  std::vector<LostObject> objects_left_out;
  std::vector<LostAnimation> animations_lost;
  std::vector<std::string> warnings;  // objects read in part, as the log says
  std::vector<std::string> tags;      // data-source tags the page uses
  std::string log_path;
  bool log_written = false;
};

// Keeps the log lines of one picture (without their line ends) and passes
// each on to `forward` when one is given (for -v).
class LogCollector : public LogWindow {
 public:
  explicit LogCollector(LogWindow* forward) : forward_(forward) {}
  void SendLogMessage(unsigned message, unsigned long wparam, const std::string& line) override;
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  LogWindow* forward_;
  std::vector<std::string> lines_;
};

// What the log lines say of the picture: objects left out, animations and
// properties lost, warnings; and whether the picture was converted,
// cancelled, or found to hold nothing the page can show.
struct LogReading {
  bool converted_line = false;  // "The picture was converted."
  bool cancelled = false;
  bool nothing_converted = false;
  std::string first_failure;  // the first line that stopped the picture
  std::vector<LostObject> objects_left_out;
  std::vector<LostAnimation> animations_lost;
  std::vector<std::string> warnings;
  std::vector<std::string> image_files;  // as the image lists name them
};
LogReading ReadLogLines(const Services& services, const std::vector<std::string>& lines);

// The tags of the data source that the page description `jdf` links to.
std::vector<std::string> DataSourceTags(const std::string& jdf);

// The line printed for one picture.
std::string PictureLine(const PictureOutcome& outcome);
// The last line of a run: how many pictures ended in each way.
std::string RunSummaryLine(const std::vector<PictureOutcome>& outcomes, size_t not_started);

// The run's report (see the user guide for its schema).
nlohmann::json RunReport(const std::vector<PictureOutcome>& outcomes,
                         const std::vector<std::string>& not_started, bool read_only);

// Writes `directory`/index.html listing every picture of the run with its
// status, its page (the HTML5 page when there is one) and its log. The file
// is written under a temporary name and renamed into place.
bool WriteIndexPage(const std::string& directory, const std::vector<PictureOutcome>& outcomes,
                    std::string* error);

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_RUN_OUTCOME_H_
