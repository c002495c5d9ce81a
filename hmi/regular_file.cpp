// Input files read whole, opened without blocking and checked to be regular.
#include "hmi/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "hmi/document_loader.h"

namespace quillon {
namespace standin {

FileReadResult ReadRegularFile(const std::string& path, std::string* contents,
                               std::string* error) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    *error = path.empty() ? std::string("an empty path") : "a path holding a NUL character";
    return FileReadResult::kMissing;
  }
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int cause = errno;
    *error = path + ": " + std::strerror(cause);
    return cause == ENOENT || cause == ENOTDIR ? FileReadResult::kMissing
                                               : FileReadResult::kFailed;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    *error = path + ": " + std::strerror(errno);
    ::close(fd);
    return FileReadResult::kFailed;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = path + ": not a regular file";
    ::close(fd);
    return FileReadResult::kNotRegular;
  }
  std::string text;
  try {
    // With room past the end for the JSON parser, which then parses a
    // document's text where it is.
    text.reserve(static_cast<size_t>(status.st_size) + kDocumentTextPadding);
  } catch (const std::exception& failure) {
    *error = path + ": the file does not fit in memory (" + failure.what() + ")";
    ::close(fd);
    return FileReadResult::kFailed;
  }
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = path + ": " + std::strerror(errno);
      ::close(fd);
      return FileReadResult::kFailed;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  *contents = std::move(text);
  return FileReadResult::kOk;
}

}  // namespace standin
}  // namespace quillon
