// Writing the converter's text files (log, JDF file, HTML page): every write
// opens the file, writes, and closes it again, with CR LF line ends on disk.
// Failures are reported as the numbered causes of the file-error texts.
#ifndef QUILLON_PLATFORM_TEXT_FILE_H_
#define QUILLON_PLATFORM_TEXT_FILE_H_

#include <string>

namespace quillon {

// Causes of a file error, numbered as the file-error texts are.
enum FileErrorCause {
  kFileErrorNone = 0,
  kFileErrorGeneric = 1,
  kFileErrorFileNotFound = 2,
  kFileErrorBadPath = 3,
  kFileErrorTooManyOpenFiles = 4,
  kFileErrorAccessDenied = 5,
  kFileErrorInvalidFile = 6,
  kFileErrorRemoveCurrentDir = 7,
  kFileErrorDirectoryFull = 8,
  kFileErrorBadSeek = 9,
  kFileErrorHardwareIo = 10,
  kFileErrorSharingViolation = 11,
  kFileErrorLockViolation = 12,
  kFileErrorDiskFull = 13,
  kFileErrorEndOfFile = 14,
};

// Where a file operation stopped.
enum class FileStage { kDone, kOpen, kWrite, kClose };

struct FileResult {
  FileStage stage = FileStage::kDone;
  int cause = kFileErrorNone;
  bool ok() const { return stage == FileStage::kDone; }
};

// Maps an errno value to the file-error cause that describes it.
int FileErrorCauseFromErrno(int error_number);

enum class WriteMode { kAppend, kTruncate };

// Opens `path` for writing (created when missing; kept and appended to, or
// truncated), writes `text` with every line end as CR LF, and closes it.
FileResult WriteTextFile(const std::string& path, const std::string& text, WriteMode mode);

// A text file kept open for appending between writes. Every Append writes
// its text at once, with CR LF line ends and without buffering, so the bytes
// on disk after each call are those that opening, appending and closing for
// every line would leave; only the opening is saved.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Writes `text` to `path`, opening it first when it is not the open file
  // (truncated when `mode` says so, else appended to).
  FileResult Append(const std::string& path, const std::string& text,
                    WriteMode mode = WriteMode::kAppend);
  // Closes the file; the next Append opens it again.
  FileResult Close();

 private:
  int fd_ = -1;
  std::string path_;
  unsigned long long device_ = 0;  // identity of the open file
  unsigned long long inode_ = 0;
};

// Joins a directory and a file name with "/" unless the directory is empty
// or already ends with "/" or "\"; an empty directory means the current one.
std::string JoinPath(const std::string& directory, const std::string& name);

// Position of the last "/" or "\" in `path`, or npos.
size_t LastSeparator(const std::string& path);

}  // namespace quillon

#endif  // QUILLON_PLATFORM_TEXT_FILE_H_
