// The files of one picture's conversion, written under temporary names and
// published together.
//
// While a stage is active, every output file of its picture (page
// description, HTML page, image files, log) that the file layer is asked to
// write in the stage's folder is written instead to a file of the same name
// in a staging folder inside the output folder, ".PICTURE.quillon-XXXXXX".
// Text files are written through a buffer. Publish renames the staged files
// over their names in the output folder, so that each published name holds
// either the file of an earlier run or the whole file of this one; Discard
// removes them and leaves the output folder as it was.
//
// A stage takes the picture's lock (flock on ".PICTURE.quillon-lock" in the
// output folder) before its first file, waiting while another run holds it,
// and then removes the staging folders that killed runs of the same picture
// left. The lock file is removed when the stage ends (a killed run leaves
// it; it is used again). An existing output name that is not a regular file with one name (a
// link, a folder, a FIFO, a device, a file with hard links) is never opened,
// followed or replaced: it is refused.
#ifndef QUILLON_PLATFORM_OUTPUT_STAGE_H_
#define QUILLON_PLATFORM_OUTPUT_STAGE_H_

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_file.h"

namespace quillon {

class OutputStage {
 public:
  // A stage for the files of `picture_name` in `directory` (empty for the
  // current folder; a separator at its end is allowed).
  OutputStage(std::string directory, std::string picture_name);
  // Discards what was not published and releases the lock.
  ~OutputStage();
  OutputStage(const OutputStage&) = delete;
  OutputStage& operator=(const OutputStage&) = delete;

  // Called with a text to show the user: the picture is being converted by
  // another run (and this one waits), or an output name was refused.
  void set_notice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }

  // Makes this stage the one the file layer writes through, until the stage
  // is destroyed or another is activated.
  void Activate();
  static OutputStage* Active();

  // True when `path` names a file directly inside the stage's folder.
  bool Covers(const std::string& path) const;
  // A number no other stage of the process has had, so that what a file
  // found out about this stage is not taken for another's.
  unsigned long long serial() const { return serial_; }

  // Appends `text` (line ends already made CR LF) to the staged file of
  // `path`, creating it on first use, or restarting it empty with kTruncate.
  // The text is kept in a buffer that is written when it grows large and by
  // Flush. A failure of the opening is reported with kOpen; a failed write
  // with kWrite, after which the file is not published.
  FileResult Write(const std::string& path, const std::string& text, WriteMode mode);
  // As Write, for a text whose line ends are made as `line_ends` says on
  // the way into the buffer.
  FileResult WriteText(const std::string& path, std::string_view text, LineEnds line_ends,
                       WriteMode mode);
  // Writes the buffered text of `path` to its staged file.
  FileResult Flush(const std::string& path);
  // True when the run has written (or is writing) `path`.
  bool Has(const std::string& path) const;

  // Opens the staged file of `path` from its start as a binary stream (for
  // image files); null with *result set on failure. Close it with
  // CloseStream; `keep` false forgets the file. What is written is kept in
  // memory: when the run publishes, a file whose bytes equal those already
  // published under its name is left as it is (no new file), and only a
  // changed one is written and renamed over its name.
  std::FILE* OpenStream(const std::string& path, FileResult* result);
  FileResult CloseStream(std::FILE* stream, const std::string& path, bool keep);

  // Forgets the staged file of `path` and removes it.
  void Drop(const std::string& path);

  // Publishes the staged files that `rank` gives a rank of 0 or more (its
  // published name as argument): each is written out, closed and renamed
  // over its name, lower ranks first, files of one rank in the order they
  // were first written. A file that cannot be published is removed and
  // reported to `failed` (its published name and the result). True when
  // every file ranked was published.
  bool Publish(const std::function<int(const std::string& path)>& rank,
               const std::function<void(const std::string&, const FileResult&)>& failed);
  // Removes every staged file not yet published and the staging folder.
  void Discard();

  const std::string& directory() const { return directory_; }
  const std::string& picture_name() const { return picture_name_; }

 private:
  struct Entry {
    std::string path;       // the published name
    std::string temporary;  // the staged file
    int fd = -1;
    std::string buffer;
    FileResult failure;  // the first failure of a write; the file is then not published
    bool open_stream = false;
    bool in_memory = false;  // the bytes are `buffer`; no staged file yet
  };
  // Takes the lock and makes the staging folder; kOpen result on failure.
  FileResult Prepare();
  void RemoveStaleFolders();
  Entry* Find(const std::string& path);
  FileResult Open(const std::string& path, Entry** entry, bool in_memory = false);
  // Gives an entry kept in memory its staged file, holding its bytes.
  FileResult MakeFile(Entry* entry);
  // True when the published file of `entry` already holds its bytes.
  static bool PublishedHolds(const Entry& entry);
  FileResult WriteBuffer(Entry* entry);
  FileResult WriteText(const std::string& path, std::string_view text, LineEnds line_ends,
                       WriteMode mode, bool convert);

  std::string directory_;
  std::string prefix_;  // the directory as paths start with it
  std::string picture_name_;
  std::string tag_;  // the picture's name in the lock's and staging folders' names
  std::function<void(const std::string&)> notice_;
  int lock_fd_ = -1;
  std::string lock_path_;
  std::string staging_;  // the staging folder, once made
  std::vector<std::unique_ptr<Entry>> entries_;
  // Changed on the calling thread only; Has may be asked on another thread
  // meanwhile (a writer of animations), so changes and Has take the lock.
  std::map<std::string, Entry*> by_path_;
  mutable std::mutex paths_mutex_;
  void ErasePath(const std::string& path);
  // The entry found last: the next write is mostly to the same file.
  Entry* last_found_ = nullptr;
  // The memory of the open image stream (one at a time).
  char* stream_data_ = nullptr;
  size_t stream_size_ = 0;
  OutputStage* previous_active_ = nullptr;
  unsigned long long serial_ = 0;
  bool active_ = false;
};

// Text of the refusal of an output name that is not a regular file.
std::string NotRegularFileText(const std::string& path);

}  // namespace quillon

#endif  // QUILLON_PLATFORM_OUTPUT_STAGE_H_
