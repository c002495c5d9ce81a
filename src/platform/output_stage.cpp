// The files of one picture's conversion, written under temporary names and
// published together.
#include "platform/output_stage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace quillon {
namespace {

// A staged text file's buffer is written out once it holds this much.
constexpr size_t kBufferLimit = 1 << 20;
constexpr char kStagingInfix[] = ".quillon-";
constexpr char kLockSuffix[] = ".quillon-lock";
constexpr size_t kStagingRandomLength = 6;  // the XXXXXX of mkdtemp

OutputStage* g_active_stage = nullptr;
unsigned long long g_stage_serials = 0;

FileResult Failure(FileStage stage, int error_number) {
  FileResult result;
  result.stage = stage;
  result.cause = error_number == 0 ? kFileErrorGeneric : FileErrorCauseFromErrno(error_number);
  return result;
}

std::string NameOf(const std::string& path) {
  size_t separator = LastSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Removes a staging folder and the files in it (it holds no folders).
void RemoveStagingFolder(const std::string& folder) {
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (struct dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
  }
  ::rmdir(folder.c_str());
}

}  // namespace

std::string NotRegularFileText(const std::string& path) {
  return path +
         " is not a regular file of its own (a link, a folder, a FIFO, a device or a file with "
         "other names): it was left as it is and not written.";
}

OutputStage::OutputStage(std::string directory, std::string picture_name)
    : directory_(std::move(directory)), picture_name_(std::move(picture_name)) {
  serial_ = ++g_stage_serials;
  prefix_ = JoinPath(directory_, "");
  // The lock's and the staging folders' names add 15 characters to the
  // picture's: a name that long is cut, and made unique again by a hash of
  // the whole name, so that every picture whose own files fit has them.
  constexpr size_t kLongest = 200;
  tag_ = picture_name_;
  if (tag_.size() > kLongest) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : picture_name_) hash = (hash ^ c) * 1099511628211ull;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    tag_ = picture_name_.substr(0, kLongest) + suffix;
  }
}

OutputStage::~OutputStage() {
  Discard();
  if (lock_fd_ >= 0) {
    // Removed while it is held, so that no lock file stays in the folder; a
    // run waiting on it then takes a lock on a new file (see Prepare).
    ::unlink(lock_path_.c_str());
    ::close(lock_fd_);  // closing releases the lock
  }
  if (active_ && g_active_stage == this) g_active_stage = previous_active_;
}

void OutputStage::Activate() {
  if (active_) return;
  previous_active_ = g_active_stage;
  g_active_stage = this;
  active_ = true;
}

OutputStage* OutputStage::Active() { return g_active_stage; }

bool OutputStage::Covers(const std::string& path) const {
  if (path.size() <= prefix_.size() || path.compare(0, prefix_.size(), prefix_) != 0) return false;
  for (size_t i = prefix_.size(); i < path.size(); ++i) {
    if (path[i] == '/' || path[i] == '\\') return false;
  }
  return true;
}

bool OutputStage::Has(const std::string& path) const {
  std::lock_guard<std::mutex> lock(paths_mutex_);
  return by_path_.count(path) != 0;
}

void OutputStage::ErasePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(paths_mutex_);
  by_path_.erase(path);
}

OutputStage::Entry* OutputStage::Find(const std::string& path) {
  if (last_found_ != nullptr && last_found_->path == path) return last_found_;
  auto found = by_path_.find(path);
  if (found == by_path_.end()) return nullptr;
  last_found_ = found->second;
  return last_found_;
}

FileResult OutputStage::Prepare() {
  if (!staging_.empty()) return FileResult();
  if (lock_fd_ < 0) {
    const std::string lock_path = prefix_ + "." + tag_ + kLockSuffix;
    bool told = false;
    // The run that holds the lock removes the lock file before it lets go:
    // a lock taken on a file that is no longer the one of that name is
    // taken again on the new one.
    for (;;) {
      int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                      0644);
      if (fd < 0) {
        if (errno == ELOOP) {
          FileResult refused;
          refused.stage = FileStage::kOpen;
          refused.cause = kFileRefusedNotRegular;
          if (notice_) notice_(NotRegularFileText(lock_path));
          return refused;
        }
        return Failure(FileStage::kOpen, errno);
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
          int error = errno;
          ::close(fd);
          return Failure(FileStage::kOpen, error);
        }
        if (notice_ && !told) {
          notice_(picture_name_ +
                  " is being converted by another run into the same folder; waiting for it to "
                  "finish.");
        }
        told = true;
        int locked;
        do {
          locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
          int error = errno;
          ::close(fd);
          return Failure(FileStage::kOpen, error);
        }
      }
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::lstat(lock_path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        lock_fd_ = fd;
        lock_path_ = lock_path;
        break;
      }
      ::close(fd);
    }
    RemoveStaleFolders();
  }
  std::string folder = prefix_ + "." + tag_ + kStagingInfix + "XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return Failure(FileStage::kOpen, errno);
  staging_ = folder;
  return FileResult();
}

void OutputStage::RemoveStaleFolders() {
  // Only this picture's staging folders match: the name is the picture's
  // name between "." and the infix, then exactly the random part. The
  // picture's lock is held, so no run of this picture is writing into them.
  const std::string start = "." + tag_ + kStagingInfix;
  DIR* dir = ::opendir(directory_.empty() ? "." : directory_.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (struct dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != start.size() + kStagingRandomLength ||
        name.compare(0, start.size(), start) != 0) {
      continue;
    }
    struct stat status;
    const std::string path = prefix_ + name;
    if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) stale.push_back(path);
  }
  ::closedir(dir);
  for (const std::string& folder : stale) RemoveStagingFolder(folder);
}

FileResult OutputStage::Open(const std::string& path, Entry** entry, bool in_memory) {
  *entry = Find(path);
  if (*entry != nullptr) return FileResult();
  if (int injected = InjectedFileError(path, FileStage::kOpen)) {
    return Failure(FileStage::kOpen, injected);
  }
  FileResult result = Prepare();
  if (!result.ok()) return result;
  result = CheckOutputName(path);
  if (!result.ok()) {
    if (result.cause == kFileRefusedNotRegular && notice_) notice_(NotRegularFileText(path));
    return result;
  }
  auto created = std::make_unique<Entry>();
  created->path = path;
  created->temporary = staging_ + "/" + NameOf(path);
  created->in_memory = in_memory;
  if (!in_memory) {
    created->fd = ::open(created->temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (created->fd < 0) return Failure(FileStage::kOpen, errno);
  }
  *entry = created.get();
  {
    std::lock_guard<std::mutex> lock(paths_mutex_);
    by_path_[path] = created.get();
  }
  entries_.push_back(std::move(created));
  return FileResult();
}

FileResult OutputStage::MakeFile(Entry* entry) {
  if (!entry->in_memory) return FileResult();
  entry->fd = ::open(entry->temporary.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (entry->fd < 0) return Failure(FileStage::kOpen, errno);
  entry->in_memory = false;
  return FileResult();
}

bool OutputStage::PublishedHolds(const Entry& entry) {
  struct stat status;
  if (::lstat(entry.path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_nlink != 1 || static_cast<size_t>(status.st_size) != entry.buffer.size()) {
    return false;
  }
  int fd = ::open(entry.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  std::string bytes(entry.buffer.size() + 1, '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return got == entry.buffer.size() && bytes.compare(0, got, entry.buffer) == 0;
}

FileResult OutputStage::WriteBuffer(Entry* entry) {
  if (entry->buffer.empty() || !entry->failure.ok()) return entry->failure;
  FileResult result = WriteAllTo(entry->fd, entry->buffer.data(), entry->buffer.size(), entry->path);
  entry->buffer.clear();
  if (!result.ok()) entry->failure = result;
  return result;
}

FileResult OutputStage::Write(const std::string& path, const std::string& text, WriteMode mode) {
  return WriteText(path, text, LineEnds::kPage, mode, /*convert=*/false);
}

FileResult OutputStage::WriteText(const std::string& path, std::string_view text,
                                  LineEnds line_ends, WriteMode mode) {
  return WriteText(path, text, line_ends, mode, /*convert=*/true);
}

FileResult OutputStage::WriteText(const std::string& path, std::string_view text,
                                  LineEnds line_ends, WriteMode mode, bool convert) {
  Entry* entry = nullptr;
  FileResult result = Open(path, &entry);
  if (!result.ok()) return result;
  if (entry->in_memory) {
    result = MakeFile(entry);
    if (!result.ok()) return result;
  }
  if (mode == WriteMode::kTruncate) {
    entry->buffer.clear();
    entry->failure = FileResult();
    if (::ftruncate(entry->fd, 0) != 0 || ::lseek(entry->fd, 0, SEEK_SET) != 0) {
      entry->failure = Failure(FileStage::kWrite, errno);
    }
  }
  if (!entry->failure.ok()) return entry->failure;
  if (convert) {
    AppendWithLineEnds(&entry->buffer, text, line_ends);
  } else {
    entry->buffer.append(text.data(), text.size());
  }
  if (entry->buffer.size() >= kBufferLimit) return WriteBuffer(entry);
  return FileResult();
}

FileResult OutputStage::Flush(const std::string& path) {
  Entry* entry = Find(path);
  return entry == nullptr ? FileResult() : WriteBuffer(entry);
}

std::FILE* OutputStage::OpenStream(const std::string& path, FileResult* result) {
  Entry* entry = nullptr;
  *result = Open(path, &entry, /*in_memory=*/true);
  if (!result->ok()) return nullptr;
  if (!entry->in_memory) {
    // A name written as text before: it is one file from the start again.
    Drop(path);
    *result = Open(path, &entry, /*in_memory=*/true);
    if (!result->ok()) return nullptr;
  }
  entry->buffer.clear();
  entry->failure = FileResult();
  stream_data_ = nullptr;
  stream_size_ = 0;
  std::FILE* stream = ::open_memstream(&stream_data_, &stream_size_);
  if (stream == nullptr) {
    *result = Failure(FileStage::kOpen, errno);
    return nullptr;
  }
  entry->open_stream = true;
  return stream;
}

FileResult OutputStage::CloseStream(std::FILE* stream, const std::string& path, bool keep) {
  FileResult result;
  if (int injected = InjectedFileError(path, FileStage::kWrite)) {
    result = Failure(FileStage::kWrite, injected);
  } else if (std::ferror(stream) != 0) {
    result = Failure(FileStage::kWrite, errno);
  }
  if (std::fclose(stream) != 0 && result.ok()) result = Failure(FileStage::kWrite, errno);
  std::string bytes;
  if (stream_data_ != nullptr) {
    bytes.assign(stream_data_, stream_size_);
    std::free(stream_data_);
    stream_data_ = nullptr;
    stream_size_ = 0;
  }
  if (Entry* entry = Find(path)) {
    entry->open_stream = false;
    entry->buffer = std::move(bytes);
    if (!keep || !result.ok()) Drop(path);
  }
  return result;
}

void OutputStage::Drop(const std::string& path) {
  Entry* entry = Find(path);
  if (entry == nullptr) return;
  if (entry->fd >= 0) ::close(entry->fd);
  ::unlink(entry->temporary.c_str());
  last_found_ = nullptr;
  ErasePath(path);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->get() == entry) {
      entries_.erase(it);
      break;
    }
  }
}

bool OutputStage::Publish(
    const std::function<int(const std::string& path)>& rank,
    const std::function<void(const std::string&, const FileResult&)>& failed) {
  std::vector<std::pair<int, Entry*>> ranked;
  for (const auto& entry : entries_) {
    int order = rank ? rank(entry->path) : 0;
    if (order >= 0) ranked.emplace_back(order, entry.get());
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Entry*> order;
  for (const auto& item : ranked) order.push_back(item.second);
  bool all = true;
  for (Entry* entry : order) {
    const std::string path = entry->path;
    last_found_ = nullptr;
    if (entry->in_memory && PublishedHolds(*entry)) {
      // The published file already holds these bytes: it stays as it is.
      ErasePath(path);
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->get() == entry) {
          entries_.erase(it);
          break;
        }
      }
      continue;
    }
    FileResult result = MakeFile(entry);
    if (result.ok()) result = WriteBuffer(entry);
    int injected = InjectedFileError(path, FileStage::kClose);
    if (::close(entry->fd) != 0 && result.ok()) result = Failure(FileStage::kClose, errno);
    if (injected != 0 && result.ok()) result = Failure(FileStage::kClose, injected);
    entry->fd = -1;
    if (result.ok()) {
      // The name is looked at again just before it is replaced: what is not
      // a regular file of its own is left alone. The rename replaces the
      // name itself and never writes through it.
      result = CheckOutputName(path);
      struct stat old;
      if (result.ok() && ::lstat(path.c_str(), &old) == 0) {
        ::chmod(entry->temporary.c_str(), old.st_mode & 07777);  // the page keeps its mode
      }
      if (result.ok() && ::rename(entry->temporary.c_str(), path.c_str()) != 0) {
        result = Failure(FileStage::kOpen, errno);
      }
      if (!result.ok() && result.cause == kFileRefusedNotRegular && notice_) {
        notice_(NotRegularFileText(path));
      }
    }
    if (!result.ok()) {
      all = false;
      ::unlink(entry->temporary.c_str());
      if (failed) failed(path, result);
    }
    ErasePath(path);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->get() == entry) {
        entries_.erase(it);
        break;
      }
    }
    // A report of the failure may have written to a file (found and
    // remembered) before this entry went.
    last_found_ = nullptr;
  }
  return all;
}

void OutputStage::Discard() {
  for (const auto& entry : entries_) {
    if (entry->fd >= 0) ::close(entry->fd);
    ::unlink(entry->temporary.c_str());
  }
  last_found_ = nullptr;
  entries_.clear();
  {
    std::lock_guard<std::mutex> lock(paths_mutex_);
    by_path_.clear();
  }
  if (!staging_.empty()) {
    RemoveStagingFolder(staging_);
    staging_.clear();
  }
}

}  // namespace quillon
