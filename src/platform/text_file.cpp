// Writing the converter's text files.
#include "platform/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/format.h"

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

int OpenForWriting(const std::string& path, WriteMode mode) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | (mode == WriteMode::kTruncate ? O_TRUNC : 0);
  return ::open(path.c_str(), flags, 0644);
}

// Writes all of `text` with CR LF line ends to `fd`.
FileResult WriteAll(int fd, const std::string& text) {
  FileResult result;
  const std::string data = ToCrLf(text);
  size_t written = 0;
  while (written < data.size()) {
    ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.stage = FileStage::kWrite;
      result.cause = FileErrorCauseFromErrno(errno);
      return result;
    }
    if (n == 0) {
      result.stage = FileStage::kWrite;
      result.cause = kFileErrorDiskFull;
      return result;
    }
    written += static_cast<size_t>(n);
  }
  return result;
}

}  // namespace

FileResult AppendFile::Append(const std::string& path, const std::string& text, WriteMode mode) {
  if (fd_ >= 0 && (path != path_ || mode == WriteMode::kTruncate)) Close();
  if (fd_ >= 0) {
    // A file removed or replaced since it was opened is opened anew, as a
    // write that opened the file itself would find it.
    struct stat on_disk;
    if (::stat(path.c_str(), &on_disk) != 0 || on_disk.st_dev != device_ ||
        on_disk.st_ino != inode_) {
      Close();
    }
  }
  if (fd_ < 0) {
    fd_ = OpenForWriting(path, mode);
    if (fd_ < 0) {
      FileResult result;
      result.stage = FileStage::kOpen;
      result.cause = FileErrorCauseFromErrno(errno);
      return result;
    }
    path_ = path;
    struct stat opened;
    if (::fstat(fd_, &opened) == 0) {
      device_ = opened.st_dev;
      inode_ = opened.st_ino;
    }
  }
  return WriteAll(fd_, text);
}

FileResult AppendFile::Close() {
  FileResult result;
  if (fd_ < 0) return result;
  if (::close(fd_) != 0) {
    result.stage = FileStage::kClose;
    result.cause = FileErrorCauseFromErrno(errno);
  }
  fd_ = -1;
  path_.clear();
  return result;
}

FileResult WriteTextFile(const std::string& path, const std::string& text, WriteMode mode) {
  AppendFile file;
  FileResult result = file.Append(path, text, mode);
  FileResult closed = file.Close();
  return result.ok() ? closed : result;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  if (last == '/' || last == '\\') return directory + name;
  return directory + "/" + name;
}

size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace quillon
