// Writing the converter's text files.
#include "platform/text_file.h"

#include <cerrno>
#include <fcntl.h>
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

FileResult WriteTextFile(const std::string& path, const std::string& text, WriteMode mode) {
  FileResult result;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == WriteMode::kAppend ? O_APPEND : O_TRUNC);
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    result.stage = FileStage::kOpen;
    result.cause = FileErrorCauseFromErrno(errno);
    return result;
  }
  const std::string data = ToCrLf(text);
  size_t written = 0;
  while (written < data.size()) {
    ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.stage = FileStage::kWrite;
      result.cause = FileErrorCauseFromErrno(errno);
      break;
    }
    if (n == 0) {
      result.stage = FileStage::kWrite;
      result.cause = kFileErrorDiskFull;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && result.ok()) {
    result.stage = FileStage::kClose;
    result.cause = FileErrorCauseFromErrno(errno);
  }
  return result;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  char last = directory.back();
  if (last == '/' || last == '\\') return directory + name;
  return directory + "/" + name;
}

size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace quillon
