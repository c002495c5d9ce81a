// The per-picture log and the reports of file errors.
#include "driver/conversion_log.h"

#include "platform/format.h"
#include "platform/output_stage.h"
#include "platform/text_file.h"
#include "quillon/quillon.h"

namespace quillon {
namespace {

// Texts of the file errors, by cause 1 to 14.
constexpr const char* kFileErrorTexts[] = {
    "%s: An Unspecific Error occurred",
    "Could not find %s",
    "%s: The destination directory does not exist.\nEnter a valid destination directory and "
    "try again.",
    "%s: Too many files open.  Close and restart the Picture Converter.",
    "%s: Access is denied. Make sure the disk is not full or write-protected and that the "
    "file is not currently in use.",
    "%s: Invalid file handle used.",
    "%s: Current Directory cannot be removed.",
    "%s: No more directory entries exist.",
    "%s: Error setting file pointer.",
    "%s: A Hardware error occurred.",
    "%s: A sharing violation has occured.\nThe file is most likely being used by another "
    "application.",
    "%s: Region was already locked.",
    "%s: Disk Drive full.",
    "%s: Reached end of file.",
};

}  // namespace

LogWindow::~LogWindow() = default;

std::string FileErrorText(int cause, const std::string& file_name) {
  if (cause == kFileRefusedNotRegular) return NotRegularFileText(file_name);
  constexpr int kCount = static_cast<int>(sizeof(kFileErrorTexts) / sizeof(kFileErrorTexts[0]));
  if (cause < 1 || cause > kCount) return std::string();
  return FormatText(kFileErrorTexts[cause - 1], {file_name});
}

void ReportFileError(const Services& services, int cause, const std::string& file_name) {
  services.Message(FileErrorText(cause, file_name), kMbOk | kMbIconExclamation);
}

void ReportWriteFailure(const Services& services, int cause) {
  services.Message(StringF("%d", cause), kMbOk | kMbIconExclamation);
}

void ConversionLog::StartLog(const std::string& file_name, const std::string& picture_name,
                             const std::string& output_directory,
                             const std::string& picture_directory, LogWindow* log_window,
                             Banner banner) {
  file_name_ = file_name;
  picture_name_ = picture_name;
  output_directory_ = output_directory;
  picture_directory_ = picture_directory;
  log_window_ = log_window;
  WriteBanner(banner);
}

void ConversionLog::WriteBanner(Banner banner) {
  if (banner == Banner::kWriter) {
    WriteLogLine(services_->Text(kResWriterBanner), kLogPlain);
    return;
  }
  WriteLogLine(services_->Text(kResRunBanner), kLogPlain);
  // The paths as the files are written: a separator after the directory.
  const std::string output = JoinPath(output_directory_, picture_name_);
  WriteLogLine(services_->Text(kResRunBannerPaths,
                               {JoinPath(picture_directory_, picture_name_), output, output}),
               kLogPlain);
}

std::string ConversionLog::Path() const { return JoinPath(output_directory_, file_name_); }

int ConversionLog::WriteLogLine(const std::string& text, int code) {
  if (kept_ != nullptr) {
    kept_->emplace_back(text, code);
    return 1;
  }
  if (file_name_.empty()) file_name_ = kDefaultLogName;
  std::string line;
  if (code == kLogWarning) {
    line = services_->Text(kResPrefixWarning) + text + "\r\n";
  } else if (code == kLogError) {
    line = services_->Text(kResPrefixError) + text + "\r\n";
  } else {
    line = text;
  }
  const std::string path = Path();
  FileResult result = file_.Append(path, line);
  if (result.stage == FileStage::kOpen) {
    ReportFileError(*services_, result.cause, path);
    return 0;
  }
  if (!result.ok()) {
    file_.Close();
    ReportWriteFailure(*services_, result.cause);
    return 0;
  }
  if (log_window_ != nullptr) log_window_->SendLogMessage(kLogLineMessage, 0, line);
  return 1;
}

void ConversionLog::QueueLine(const std::string& text, int severity) {
  int prefix = severity == kSeveritySevere    ? kResPrefixSevere
               : severity == kSeverityWarning ? kResPrefixWarning
                                              : kResPrefixError;
  pending_.push_back(services_->Text(prefix) + text);
}

void ConversionLog::FlushObject(const std::string& class_name, const std::string& object_name) {
  if (pending_.empty()) return;
  WriteLogLine(services_->Text(kResObjectHeading, {class_name, object_name}), kLogPlain);
  for (const std::string& line : pending_) WriteLogLine(line + "\r\n", kLogPlain);
  pending_.clear();
}

}  // namespace quillon
