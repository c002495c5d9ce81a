// Text set aside on disk while it waits to be used, rather than held in
// memory: a thread that writes part of a page description keeps its lines
// here until the page's writer takes them over.
#ifndef QUILLON_PLATFORM_SPILL_FILE_H_
#define QUILLON_PLATFORM_SPILL_FILE_H_

#include <functional>
#include <string>
#include <string_view>

namespace quillon {

class SpillFile {
 public:
  // The name the file layer's test seam knows the file by, in its folder
  // (SetFileFaultForTesting: kOpen fails the opening, kWrite every append,
  // kClose the reading back). No file of this name is ever made.
  static constexpr char kName[] = ".quillon-set-aside";

  SpillFile() = default;
  ~SpillFile() { Close(); }
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Opens a file without a name in `directory` (empty: the current folder):
  // nothing appears in the folder, and the file is gone once closed, also
  // when the process is killed. False when the folder's file system cannot
  // make one or the opening fails; the caller then keeps its text itself.
  bool Open(const std::string& directory);
  bool is_open() const { return fd_ >= 0; }

  // Appends `text`. False when it could not be written whole: the file then
  // holds what the appends before it gave, and takes nothing more.
  bool Append(std::string_view text);
  // The bytes the successful appends gave.
  size_t size() const { return size_; }

  // Calls `sink` with what the successful appends gave, in order, in pieces
  // of at most `piece` bytes. False, with the cause in *error_number, when
  // a read fails.
  bool ReadBack(const std::function<void(std::string_view)>& sink, int* error_number,
                size_t piece = size_t{1} << 20) const;

  // Closes the file; what it held is gone.
  void Close();

 private:
  std::string path_;  // the folder and kName: the test seam's name for it
  int fd_ = -1;
  size_t size_ = 0;
  bool failed_ = false;
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_SPILL_FILE_H_
