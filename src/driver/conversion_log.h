// The per-picture log: lines appended to a text file (and mirrored to the
// host's log window), a queue of lines about the object being converted,
// and the message boxes that report file errors.
#ifndef QUILLON_DRIVER_CONVERSION_LOG_H_
#define QUILLON_DRIVER_CONVERSION_LOG_H_

#include <string>
#include <utility>
#include <vector>

#include "driver/services.h"
#include "platform/text_file.h"

namespace quillon {

class LogWindow;

// Codes of WriteLogLine: -1 and -2 add a prefix and a line end; any other
// code writes the text unchanged.
constexpr int kLogWarning = -1;
constexpr int kLogError = -2;
constexpr int kLogPlain = 0;

// Severities of QueueLine.
constexpr int kSeveritySevere = 1;
constexpr int kSeverityWarning = 0;

// Name used when the log has no file name yet.
constexpr char kDefaultLogName[] = "Quillon.log";

// The text that describes a file error of `cause` for `file_name`.
std::string FileErrorText(int cause, const std::string& file_name);

// Shows the file error of `cause` for `file_name` in a message box.
void ReportFileError(const Services& services, int cause, const std::string& file_name);

// Shows the numeric cause of a failed write or close in a message box.
void ReportWriteFailure(const Services& services, int cause);

class ConversionLog {
 public:
  enum class Banner { kRun, kWriter };

  explicit ConversionLog(const Services* services) : services_(services) {}

  // Sets the log's file and names, then writes the banner of a run or of
  // the writer.
  void StartLog(const std::string& file_name, const std::string& picture_name,
                const std::string& output_directory, const std::string& picture_directory,
                LogWindow* log_window, Banner banner);
  void WriteBanner(Banner banner);

  // Appends one line to the log file; returns 1 when it was written.
  int WriteLogLine(const std::string& text, int code);
  // From now on WriteLogLine keeps each line and its code in `lines`
  // instead of writing it, for another log to write later in that order
  // (null writes again).
  void KeepLinesIn(std::vector<std::pair<std::string, int>>* lines) { kept_ = lines; }
  // Queues a line about the current object (prefixed by its severity).
  void QueueLine(const std::string& text, int severity);
  // Writes the queued lines under one heading naming the object, then
  // empties the queue; writes nothing when nothing is queued.
  void FlushObject(const std::string& class_name, const std::string& object_name);
  // Drops the queued lines unwritten.
  void ClearPending() { pending_.clear(); }

  // Where the log is written: the output directory and the file name.
  std::string Path() const;

  const std::string& output_directory() const { return output_directory_; }
  const std::string& picture_directory() const { return picture_directory_; }
  const std::string& picture_name() const { return picture_name_; }
  const std::vector<std::string>& pending() const { return pending_; }
  const std::string& file_name() const { return file_name_; }
  LogWindow* log_window() const { return log_window_; }
  const Services& services() const { return *services_; }

 private:
  const Services* services_;
  std::string output_directory_;
  std::string picture_directory_;
  std::string picture_name_;
  std::vector<std::string> pending_;
  std::string file_name_;
  LogWindow* log_window_ = nullptr;
  // The log file, kept open between lines.
  AppendFile file_;
  std::vector<std::pair<std::string, int>>* kept_ = nullptr;  // see KeepLinesIn
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_CONVERSION_LOG_H_
