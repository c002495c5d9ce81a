#include "platform/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/text_file.h"

namespace quillon {

bool SpillFile::Open(const std::string& directory) {
  Close();
  const std::string folder = directory.empty() ? std::string(".") : directory;
  path_ = JoinPath(folder, kName);
  if (InjectedFileError(path_, FileStage::kOpen) != 0) return false;
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  return fd_ >= 0;
}

bool SpillFile::Append(std::string_view text) {
  if (fd_ < 0 || failed_) return false;
  if (InjectedFileError(path_, FileStage::kWrite) != 0) {
    failed_ = true;
    return false;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = ::pwrite(fd_, text.data() + written, text.size() - written,
                                   static_cast<off_t>(size_ + written));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // What this append wrote is not counted: a read back ends before it.
      failed_ = true;
      return false;
    }
    written += static_cast<size_t>(count);
  }
  size_ += written;
  return true;
}

bool SpillFile::ReadBack(const std::function<void(std::string_view)>& sink, int* error_number,
                         size_t piece) const {
  if (size_ == 0) return true;
  if (const int injected = InjectedFileError(path_, FileStage::kClose)) {
    *error_number = injected;
    return false;
  }
  if (piece == 0) piece = 1;
  std::string buffer(piece < size_ ? piece : size_, '\0');
  size_t at = 0;
  while (at < size_) {
    const size_t want = size_ - at < buffer.size() ? size_ - at : buffer.size();
    const ssize_t count = ::pread(fd_, &buffer[0], want, static_cast<off_t>(at));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // A file that ends early lost what was set aside in it.
      *error_number = count < 0 ? errno : EIO;
      return false;
    }
    sink(std::string_view(buffer.data(), static_cast<size_t>(count)));
    at += static_cast<size_t>(count);
  }
  return true;
}

void SpillFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  failed_ = false;
}

}  // namespace quillon
