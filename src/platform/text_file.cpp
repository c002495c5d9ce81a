// Writing the converter's text files.
#include "platform/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/format.h"
#include "platform/output_stage.h"

namespace quillon {

int FileErrorCauseFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return kFileErrorNone;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kFileErrorBadPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kFileErrorAccessDenied;
    case EMFILE:
    case ENFILE:
      return kFileErrorTooManyOpenFiles;
    case EBADF:
      return kFileErrorInvalidFile;
    case ESPIPE:
      return kFileErrorBadSeek;
    case EIO:
      return kFileErrorHardwareIo;
    case EBUSY:
      return kFileErrorSharingViolation;
    case ENOLCK:
      return kFileErrorLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kFileErrorDiskFull;
    default:
      return kFileErrorGeneric;
  }
}

namespace {

struct FileFault {
  std::string name_suffix;
  FileStage stage = FileStage::kDone;
  int error_number = 0;
};

FileFault& Fault() {
  static FileFault fault;
  return fault;
}

FileResult Failure(FileStage stage, int error_number) {
  FileResult result;
  result.stage = stage;
  result.cause = error_number == 0 ? kFileErrorGeneric : FileErrorCauseFromErrno(error_number);
  return result;
}

FileResult Refused() {
  FileResult result;
  result.stage = FileStage::kOpen;
  result.cause = kFileRefusedNotRegular;
  return result;
}

bool SingleRegularFile(const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink <= 1;
}

}  // namespace

void SetFileFaultForTesting(const std::string& name_suffix, FileStage stage, int error_number) {
  Fault() = FileFault{name_suffix, stage, error_number};
}

int InjectedFileError(const std::string& path, FileStage stage) {
  const FileFault& fault = Fault();
  if (fault.name_suffix.empty() || fault.stage != stage) return 0;
  if (path.size() < fault.name_suffix.size() ||
      path.compare(path.size() - fault.name_suffix.size(), std::string::npos,
                   fault.name_suffix) != 0) {
    return 0;
  }
  return fault.error_number;
}

std::string WithLineEnds(const std::string& text, LineEnds line_ends) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  AppendWithLineEnds(&out, text, line_ends);
  return out;
}

void AppendWithLineEnds(std::string* out, std::string_view text, LineEnds line_ends) {
  // The text goes over in pieces between its line ends; a text without one
  // is a single append.
  size_t start = 0;
  for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
    // In a log a "\r\n" of the text is kept as it is (a "\r" written before
    // the text does not count).
    const bool has_cr = line_ends == LineEnds::kLog && lf > 0 && text[lf - 1] == '\r';
    out->append(text.data() + start, lf - start);
    out->append(has_cr ? "\n" : "\r\n");
    start = lf + 1;
  }
  out->append(text.data() + start, text.size() - start);
}

FileResult CheckOutputName(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return FileResult();
    return Failure(FileStage::kOpen, errno);
  }
  return SingleRegularFile(status) ? FileResult() : Refused();
}

int OpenOutputFile(const std::string& path, WriteMode mode, FileResult* result) {
  *result = FileResult();
  if (int injected = InjectedFileError(path, FileStage::kOpen)) {
    *result = Failure(FileStage::kOpen, injected);
    return -1;
  }
  *result = CheckOutputName(path);
  if (!result->ok()) return -1;
  // Neither a link nor a FIFO that appears after the check is followed or
  // waited for; what was opened is checked again.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | O_NOFOLLOW | O_NONBLOCK,
                  0644);
  if (fd < 0) {
    *result = errno == ELOOP ? Refused() : Failure(FileStage::kOpen, errno);
    return -1;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0 || !SingleRegularFile(status)) {
    ::close(fd);
    *result = Refused();
    return -1;
  }
  if (mode == WriteMode::kTruncate && ::ftruncate(fd, 0) != 0) {
    *result = Failure(FileStage::kOpen, errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

FileResult WriteAllTo(int fd, const char* data, size_t size, const std::string& path) {
  if (int injected = InjectedFileError(path, FileStage::kWrite)) {
    return Failure(FileStage::kWrite, injected);
  }
  size_t written = 0;
  while (written < size) {
    ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failure(FileStage::kWrite, errno);
    }
    if (n == 0) {
      FileResult result;
      result.stage = FileStage::kWrite;
      result.cause = kFileErrorDiskFull;
      return result;
    }
    written += static_cast<size_t>(n);
  }
  return FileResult();
}

FileResult AppendFile::Append(const std::string& path, std::string_view text, WriteMode mode) {
  OutputStage* stage = OutputStage::Active();
  // The file written last through the same stage is known to be covered.
  if (stage != nullptr && ((staged_ && covering_stage_ == stage->serial() && path == path_) ||
                           stage->Covers(path))) {
    if (fd_ >= 0) Close();
    staged_ = true;
    if (path_ != path) path_ = path;
    covering_stage_ = stage->serial();
    return stage->WriteText(path, text, line_ends_, mode);
  }
  if (staged_ && (path != path_ || mode == WriteMode::kTruncate)) Close();
  if (fd_ >= 0 && (path != path_ || mode == WriteMode::kTruncate)) Close();
  if (fd_ >= 0) {
    // A file removed or replaced since it was opened is opened anew, as a
    // write that opened the file itself would find it.
    struct stat on_disk;
    if (::lstat(path.c_str(), &on_disk) != 0 || on_disk.st_dev != device_ ||
        on_disk.st_ino != inode_) {
      Close();
    }
  }
  if (fd_ < 0) {
    FileResult opened;
    fd_ = OpenOutputFile(path, mode, &opened);
    if (fd_ < 0) return opened;
    path_ = path;
    struct stat status;
    if (::fstat(fd_, &status) == 0) {
      device_ = status.st_dev;
      inode_ = status.st_ino;
    }
  }
  data_.clear();
  AppendWithLineEnds(&data_, text, line_ends_);
  return WriteAllTo(fd_, data_.data(), data_.size(), path_);
}

FileResult AppendFile::Close() {
  FileResult result;
  if (staged_) {
    staged_ = false;
    covering_stage_ = 0;
    OutputStage* stage = OutputStage::Active();
    if (stage != nullptr && stage->Covers(path_)) result = stage->Flush(path_);
    path_.clear();
    return result;
  }
  if (fd_ < 0) return result;
  int injected = InjectedFileError(path_, FileStage::kClose);
  if (::close(fd_) != 0 || injected != 0) {
    result = Failure(FileStage::kClose, injected != 0 ? injected : errno);
  }
  fd_ = -1;
  path_.clear();
  return result;
}

FileResult WriteTextFile(const std::string& path, const std::string& text, WriteMode mode,
                         LineEnds line_ends) {
  AppendFile file(line_ends);
  FileResult result = file.Append(path, text, mode);
  FileResult closed = file.Close();
  return result.ok() ? closed : result;
}

std::FILE* OpenOutputStream(const std::string& path, FileResult* result) {
  OutputStage* stage = OutputStage::Active();
  if (stage != nullptr && stage->Covers(path)) return stage->OpenStream(path, result);
  int fd = OpenOutputFile(path, WriteMode::kTruncate, result);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, "wb");
  if (stream == nullptr) {
    *result = Failure(FileStage::kOpen, errno);
    ::close(fd);
  }
  return stream;
}

FileResult CloseOutputStream(std::FILE* stream, const std::string& path, bool keep) {
  OutputStage* stage = OutputStage::Active();
  if (stage != nullptr && stage->Covers(path)) return stage->CloseStream(stream, path, keep);
  FileResult result;
  if (int injected = InjectedFileError(path, FileStage::kWrite)) {
    result = Failure(FileStage::kWrite, injected);
  } else if (std::ferror(stream) != 0) {
    result = Failure(FileStage::kWrite, errno);
  }
  if (std::fclose(stream) != 0 && result.ok()) result = Failure(FileStage::kClose, errno);
  if (!keep || !result.ok()) std::remove(path.c_str());
  return result;
}

namespace {
thread_local std::vector<std::string>* t_missing_outputs = nullptr;
}  // namespace

void RecordMissingOutputFiles(std::vector<std::string>* misses) { t_missing_outputs = misses; }

bool OutputFileExists(const std::string& path) {
  OutputStage* stage = OutputStage::Active();
  if (stage != nullptr && stage->Covers(path) && stage->Has(path)) return true;
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) return true;
  if (t_missing_outputs != nullptr) t_missing_outputs->push_back(path);
  return false;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  if (last == '/' || last == '\\') return directory + name;
  return directory + "/" + name;
}

size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace quillon
