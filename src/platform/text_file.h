// Writing the converter's output files (log, JDF file, HTML page, images),
// with CR LF line ends on disk. Failures are reported as the numbered causes
// of the file-error texts.
//
// While an output stage is active (platform/output_stage.h), the files in
// its folder are written through it: buffered, under temporary names, and
// published when the picture is complete. Otherwise a write goes straight to
// the file. Either way an existing name that is not a regular file with a
// single name (a link, a folder, a FIFO, a device, a hard-linked file) is
// refused, never followed or opened.
#ifndef QUILLON_PLATFORM_TEXT_FILE_H_
#define QUILLON_PLATFORM_TEXT_FILE_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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
  // Not a file error of the numbered texts: the name exists and is not a
  // regular file with a single name, so it was left alone.
  kFileRefusedNotRegular = 100,
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

// How line ends reach the disk: in a log a "\r\n" already in the text is
// one line end and every other "\n" becomes "\r\n"; in a page (JDF file,
// HTML page) every "\n" becomes "\r\n", whatever stands before it.
enum class LineEnds { kLog, kPage };

// `text` with its line ends as `line_ends` writes them.
std::string WithLineEnds(const std::string& text, LineEnds line_ends);
// Appends `text` to `out` with its line ends as `line_ends` writes them
// (what WithLineEnds gives, without a string of its own).
void AppendWithLineEnds(std::string* out, std::string_view text, LineEnds line_ends);

// Opens `path` for writing (created when missing; kept and appended to, or
// truncated), writes `text` with its line ends as CR LF, and closes it.
FileResult WriteTextFile(const std::string& path, const std::string& text, WriteMode mode,
                         LineEnds line_ends = LineEnds::kLog);

// Checks an output name before it is written or replaced: fine when nothing
// has the name or it is a regular file with a single name; else refused
// (kOpen, kFileRefusedNotRegular) without opening it. Other lstat failures
// give their cause.
FileResult CheckOutputName(const std::string& path);

// Opens `path` for writing without following a link and without blocking:
// the file descriptor, or -1 with *result set. A name that is not a regular
// file with a single name is refused.
int OpenOutputFile(const std::string& path, WriteMode mode, FileResult* result);

// Writes all of `data` to `fd`; the failure's result (kWrite) otherwise.
// `path` is the name the fault-injection seam matches.
FileResult WriteAllTo(int fd, const char* data, size_t size, const std::string& path);

// A binary output stream (image files): opened from the start, through the
// active stage when it covers `path`. Null with *result set on failure.
std::FILE* OpenOutputStream(const std::string& path, FileResult* result);
// Closes a stream of OpenOutputStream; `keep` false removes what was written.
FileResult CloseOutputStream(std::FILE* stream, const std::string& path, bool keep);

// True when the output file `path` exists: written by the run in progress
// (staged) or on disk.
bool OutputFileExists(const std::string& path);
// While `misses` is set on a thread, every path that OutputFileExists finds
// missing on that thread is appended to it (null stops it): a writer that
// runs before the run's files are all made checks them again afterwards.
void RecordMissingOutputFiles(std::vector<std::string>* misses);

// Test seam: makes the file layer fail at `stage` with `error_number` for
// every output file whose name ends with `name_suffix`, as a full disk or a
// failing device would. An empty suffix clears it. kOpen applies to the
// opening, kWrite to every write, kClose to the closing.
void SetFileFaultForTesting(const std::string& name_suffix, FileStage stage, int error_number);
// The errno the seam injects for `path` at `stage`, or 0.
int InjectedFileError(const std::string& path, FileStage stage);

// A text file kept open for appending between writes. Outside an output
// stage every Append writes its text at once, without buffering, so the
// bytes on disk after each call are those that opening, appending and
// closing for every line would leave. Inside a stage the text goes to the
// stage's buffer; Close (and the stage at the end of the picture) writes it.
class AppendFile {
 public:
  explicit AppendFile(LineEnds line_ends = LineEnds::kLog) : line_ends_(line_ends) {}
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Writes `text` to `path`, opening it first when it is not the open file
  // (truncated when `mode` says so, else appended to).
  FileResult Append(const std::string& path, std::string_view text,
                    WriteMode mode = WriteMode::kAppend);
  // Closes the file (inside a stage: writes out its buffer); the next Append
  // opens it again.
  FileResult Close();
  // True while the open file is written through the active stage, which
  // buffers it and writes it out in large pieces.
  bool staged() const { return staged_; }

 private:
  LineEnds line_ends_;
  bool staged_ = false;  // path_ is written through the active stage
  unsigned long long covering_stage_ = 0;  // serial of the stage known to cover path_
  int fd_ = -1;
  std::string path_;
  unsigned long long device_ = 0;  // identity of the open file
  unsigned long long inode_ = 0;
  std::string data_;  // the text of a write, line ends converted; reused
};

// Joins a directory and a file name with "/" unless the directory is empty
// or already ends with "/" or "\"; an empty directory means the current one.
std::string JoinPath(const std::string& directory, const std::string& name);

// Position of the last "/" or "\" in `path`, or npos.
size_t LastSeparator(const std::string& path);

}  // namespace quillon

#endif  // QUILLON_PLATFORM_TEXT_FILE_H_
