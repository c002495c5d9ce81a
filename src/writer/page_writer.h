// The writer of one picture's web page: the JDF page description that the
// browser viewer loads, written from copies of the picture map and the
// group map, and the HTML page that embeds the viewer.
#ifndef QUILLON_WRITER_PAGE_WRITER_H_
#define QUILLON_WRITER_PAGE_WRITER_H_

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "driver/conversion_log.h"
#include "expression/translator.h"
#include "platform/registry.h"
#include "platform/spill_file.h"
#include "platform/text_file.h"
#include "model/picture_map.h"
#include "writer/value_mapping.h"

namespace quillon {

class LogWindow;
class PageWriter;

// Writes one parsed record as viewer objects; 1 when it was written.
using Emitter = int (*)(PageWriter* writer, const PropertyMap& record);

// Resource strings of the writer.
enum : int {
  kResGroupNotWritten = 57,
  kResObjectsConverted = 58,
  kResNoEmitter = 61,
  kResNoEmitterEnd = 62,
  kResRecordMissing = 94,
  kResNothingToWrite = 103,
  kResCancelled = 104,
  kResGroupIncomplete = 105,
  kResNoObjectSequence = 107,
};

class PageWriter {
 public:
  // The fewest records written on another thread: the animations beside
  // the objects, or the objects and animations while the picture is read.
  static constexpr size_t kParallelAnimations = 256;

  explicit PageWriter(const Services* services);
  PageWriter(const PageWriter&) = delete;
  PageWriter& operator=(const PageWriter&) = delete;

  // Prepares the writer for the picture at `output_base` (the output
  // directory, a separator and the picture name): copies both maps (a null
  // map is skipped), and opens the log. 0 when the output base is empty.
  int Init(const std::string& output_base, int use_cab_files, int allow_play_back,
           const GroupMap* group_map, const PictureMap* picture_map, int image_format,
           LogWindow* log_window);

  // Reads the picture's size, background colour and update rate from its
  // properties record (defaults 1000, 1000, "0xffffff", 2) and removes it.
  void LoadPageProperties(long* height, long* width, std::string* background_color,
                          int* update_rate);

  // Writes the HTML page that embeds the viewer; 1 or 0.
  int WriteHtmlPage(const std::string& output_base, long height, long width);

  // Writes the JDF file: header, objects, data source and links. Returns 0
  // when there was nothing to write or the file could not be written whole.
  int WriteDocument(long height, long width, const std::string& background_color,
                    const std::string& version);

  // Appends the indentation and `text` to the JDF file; 1 or 0.
  int WriteLine(std::string_view text);
  // A buffer for the caller to build a line in before WriteLine; it is
  // another than the one WriteLine uses.
  std::string* line_buffer() { return &line_buffer_; }
  // Writes out what is buffered of the JDF file; 1, or 0 when the file
  // could not be written whole (reported as a failed write is).
  int FinishJdf();

  int WriteObjects();
  int WriteObject(const std::string& key);
  int WriteSymbol(const std::string& key);
  int WriteGroupMembers(const std::string& member_list);
  // True once the user cancelled (said in the log once); polled for every
  // object written.
  bool CancelRequested();
  // The group map key whose part after its last "#" is `group_name`.
  std::string FindGroupKey(const std::string& group_name) const;

  // Indentation of the lines written, in TABs.
  int indent_level() const { return indent_level_; }
  void Indent() { ++indent_level_; }
  void Outdent() {
    if (indent_level_ > 0) --indent_level_;
  }

  // Where the translator of data sources finds its settings and the
  // process-wide numbers; without them no source is translated.
  void SetTranslation(Registry* registry, ProcessState* state) {
    registry_ = registry;
    process_state_ = state;
  }
  // The translator of this page's data sources (null without SetTranslation).
  ExpressionTranslator* translator();
  // The numbers shared across conversions (null without SetTranslation).
  ProcessState* process_state();

  // A staged page whose animation sequence lists at least `min_items`
  // records writes them on a second thread while the objects are written,
  // and puts them behind the objects as if written one after another (the
  // same bytes, log lines, statuses, links and numbers). 0 never does.
  void set_parallel_animations(size_t min_items) { parallel_min_items_ = min_items; }
  // Whether the last page kept the animations written on the second thread.
  bool animations_written_beside() const { return animations_written_beside_; }

  // The objects and the animations written on two more threads while the
  // picture is still being read. After each object the reader hands over
  // (Feed) what it added to the object sequence and to the animation
  // sequence: the records (a group's with its members and group entries)
  // as they stand then. The threads start once `min_items` records came.
  // The page's writer takes them over (AdoptEarlyWriters) and keeps what
  // each wrote only when everything it was written from is what the page
  // holds once reading is over: the records, their order, the groups, the
  // objects referred to, the image files looked for and the numbers.
  // Otherwise that part is written as before.
  class EarlyWriters;
  struct EarlySetup {
    const Services* services = nullptr;
    std::string output_base;  // as for Init
    int use_cab_files = 0;
    int allow_play_back = 0;
    int image_format = 0;
    Registry* registry = nullptr;  // also the reader's meanwhile (see EarlyWriters)
    ProcessState* state = nullptr;
    size_t min_items = kParallelAnimations;
    // Reading waits while a thread has more batches of records than this
    // waiting for it, so that their copies do not pile up in memory.
    size_t most_queued = 256;
  };
  static std::unique_ptr<EarlyWriters> PrepareEarlyWriters(const EarlySetup& setup);
  // Takes over what was written while the picture was read; it is kept
  // only when this page is written as the threads expected.
  void AdoptEarlyWriters(std::unique_ptr<EarlyWriters> early);
  // Whether the last page kept animations (objects) written while it was read.
  bool animations_written_early() const { return animations_written_early_; }
  bool objects_written_early() const { return objects_written_early_; }
  // The bytes of lines that second threads of the last page kept on disk
  // rather than in memory until they were taken over.
  size_t lines_set_aside() const { return lines_set_aside_; }

  ExclusionList* exclusions() { return &exclusions_; }
  ConversionLog* log() { return &log_; }
  const Services& services() const { return *services_; }
  PictureMap* picture_map() { return &picture_map_; }
  // The map whose links entry the emitters append to (see AppendLink).
  PictureMap* link_map() { return link_map_; }
  GroupMap* group_map() { return &group_map_; }
  const std::string& output_directory() const { return output_directory_; }
  const std::string& picture_name() const { return picture_name_; }
  const std::string& jdf_path() const { return jdf_path_; }
  const std::string& image_extension() const { return image_extension_; }
  int use_cab_files() const { return use_cab_files_; }
  int allow_play_back() const { return allow_play_back_; }
  int update_rate() const { return update_rate_; }
  int converted() const { return converted_; }
  // Leaves the log line that says the objects were converted to the caller
  // (converted_line_due() tells whether it is due), who writes it once the
  // page is published.
  void set_defer_converted_line(bool defer) { defer_converted_line_ = defer; }
  bool converted_line_due() const { return converted_line_due_; }

 private:
  class AnimationWorker;
  friend class AnimationWorker;
  // The writer of a second thread: it writes records of `main`'s picture
  // map, which it only reads, into its own lines, log lines and links.
  PageWriter(const PageWriter& main, const Services* services, Registry* registry,
             ProcessState* state);

  // The record of `key`, or null (also when it was written while shared).
  const std::string* FindRecord(const std::string& key);
  // Removes a written record; while the map is shared, marks it written
  // instead (an object record's text is freed at once).
  void RemoveRecord(const std::string& key);
  // Starts writing `items` on a second thread; null when it is not worth it
  // or no thread can be started.
  std::unique_ptr<AnimationWorker> StartAnimations(std::vector<std::string> items);
  // Waits for the second thread and takes over what it wrote; false when it
  // was dropped (the items are then written here, as they always were).
  bool TakeAnimations(AnimationWorker* worker);
  // Stops and drops the second thread: this writer needs what it uses.
  void AbandonWorker();
  // Ends sharing the picture map: the links kept meanwhile are appended.
  void EndSharing();

  // Logs `text` at code `code` and shows it as the progress status.
  void Report(const std::string& text, int code);
  // Reports a failed open, write or close of the JDF file; after it nothing
  // more is written to the file.
  void JdfFailed(const FileResult& result);

  const Services* services_;
  int indent_level_ = 0;
  std::string output_directory_;
  std::string picture_name_;
  int use_cab_files_ = 0;
  int allow_play_back_ = 0;
  int converted_ = 0;
  bool cancelled_ = false;  // the user cancelled while the page was written
  bool closed_before_ = false;  // the progress window was closed before it
  bool defer_converted_line_ = false;
  bool converted_line_due_ = false;
  LogWindow* log_window_ = nullptr;
  std::string jdf_path_;
  int update_rate_ = 2;
  std::string image_extension_;
  GroupMap group_map_;
  PictureMap picture_map_;
  ExclusionList exclusions_;
  ConversionLog log_;
  AppendFile jdf_{LineEnds::kPage};  // the JDF file, kept open between lines
  std::string indented_;     // the line WriteLine writes, indentation first
  // Lines of a staged page description not yet handed to the file: the stage
  // buffers the file anyway, so lines go over in pieces of kLineBatch bytes
  // rather than one call each. Written out before the file is closed.
  static constexpr size_t kLineBatch = 64 * 1024;
  static constexpr size_t kLineSlack = 4 * 1024;  // past kLineBatch, for the last line
  std::string batch_;
  bool batching_ = false;
  // Hands the batched lines to the file; 0 (the failure reported) when that fails.
  int FlushBatch();
  std::string line_buffer_;  // see line_buffer()
  // The maps that WriteObject and WriteSymbol parse records into, one per
  // level of groups being written, kept from record to record so that a
  // record is parsed without allocating (a deque: the maps stay in place).
  std::deque<PropertyMap> record_maps_;
  size_t record_depth_ = 0;
  PropertyMap* EnterRecord();
  void LeaveRecord() { --record_depth_; }
  Registry* registry_ = nullptr;
  ProcessState* process_state_ = nullptr;
  std::unique_ptr<ExpressionTranslator> translator_;
  // Set after a write to the JDF file failed: the file is incomplete, so
  // nothing more is written to it and the document is not reported written.
  bool jdf_failed_ = false;
  // Groups whose symbol is being written, so that a group listed among its
  // own members cannot recurse without end.
  std::set<std::string> open_groups_;
  // First group-map key by group name, for FindGroupKey.
  mutable std::unordered_map<std::string, std::string> group_index_;
  mutable bool group_index_built_ = false;

  // Writing beside a second thread. While the picture map is shared, both
  // writers only read it: a record written is marked in written_ (by its
  // position in the map) rather than removed, and stays until the writer
  // goes; links go to own_links_ first.
  size_t parallel_min_items_ = kParallelAnimations;
  bool animations_written_beside_ = false;
  bool animations_written_early_ = false;
  bool objects_written_early_ = false;
  std::unique_ptr<EarlyWriters> early_;
  // Waits for the thread that wrote the objects while the page was read and
  // takes over what it wrote; false when it is dropped (the objects are then
  // written here).
  bool TakeObjects(AnimationWorker* objects);
  // Takes over the statuses, log lines, links (into `links_into`) and lines
  // of a second thread.
  void TakeOutput(AnimationWorker* worker, PictureMap* links_into);
  // Makes the picture map shared with a second thread that writes `items`.
  void ShareRecords(const std::vector<std::string>& items);
  const PictureMap* records_ = &picture_map_;  // where records are found
  PictureMap* link_map_ = &picture_map_;
  PictureMap own_links_;
  bool sharing_ = false;
  std::vector<char> written_;
  // The positions of the records the second thread writes; the calling
  // thread writing one of them first drops the second thread's work.
  std::vector<char> animation_at_;
  bool wrote_an_animation_ = false;
  AnimationWorker* worker_ = nullptr;  // the running second thread, if any
  // On the second thread: lines stay in kept_lines_, `stop_` ends the loop, and
  // needs_main_ says that something was met that only the calling thread
  // may do (a group).
  bool second_thread_ = false;
  bool needs_main_ = false;
  // The second thread's lines: in an unnamed file beside the page while one
  // can be written (a large page's part is then not held in memory until it
  // is taken over), and in pieces after it, or when there is none.
  SpillFile set_aside_;
  bool set_aside_tried_ = false;
  size_t lines_set_aside_ = 0;
  std::vector<std::string> kept_lines_;
  // Keeps the full batch_ as the second thread's lines.
  void KeepBatch();
  const std::atomic<bool>* stop_ = nullptr;
  // A thread writing while the page is read notes the records it wrote
  // from (to be checked against the page's final maps) and, writing the
  // objects, what it removed (for the calling thread to remove too when it
  // takes over).
  struct ReadLog {
    void Note(const std::string& key, const std::string* found);
    // Whether `map` holds every record noted, with the same text, and none
    // noted missing.
    bool SameIn(const PictureMap& map) const;
    PictureMap looked;  // keys looked up, as a set in their order
    std::vector<size_t> hashes;
    std::vector<char> present;
    bool group_missed = false;
    std::vector<std::string> removed;
    std::vector<std::string> removed_groups;
  };
  ReadLog* reads_ = nullptr;
};

class PageWriter::EarlyWriters {
 public:
  ~EarlyWriters();
  EarlyWriters(const EarlyWriters&) = delete;
  EarlyWriters& operator=(const EarlyWriters&) = delete;

  // Hands over what the reader's maps gained since the last call: to the
  // object sequence, the animation sequence, the object list and the group
  // map. Called between two objects of the picture's top level.
  void Feed(const PictureMap& map, const GroupMap& groups);
  // The settings as the reader uses them meanwhile: the threads use the
  // same ones, so every use takes a lock.
  Registry* registry() { return shared_registry_ ? &*shared_registry_ : nullptr; }
  // Whether the thread writing the animations runs.
  bool started() const { return worker_ != nullptr; }

 private:
  friend class PageWriter;
  explicit EarlyWriters(const EarlySetup& setup);
  // Starts the threads with what was fed so far; false when none can be had.
  bool Start();
  void Drop();
  void DropAnimations();
  void DropObjects();
  void FeedAnimations(const PictureMap& map);
  void FeedObjects(const PictureMap& map, const GroupMap& groups);
  // Waits while a thread has too many batches waiting (see the .cpp).
  void WaitWhileBehind();
  // The running threads, with the last batch handed over.
  std::unique_ptr<AnimationWorker> TakeWorker();
  std::unique_ptr<AnimationWorker> TakeObjectWorker();

  EarlySetup setup_;
  std::unique_ptr<LockedRegistry> shared_registry_;
  std::unique_ptr<PageWriter> model_;  // what the threads' writers are made like
  std::unique_ptr<AnimationWorker> worker_;   // writes the animations
  std::unique_ptr<AnimationWorker> objects_;  // writes the objects
  bool started_ = false;
  bool dropped_ = false;
  bool animations_dropped_ = false;
  bool objects_dropped_ = false;
  size_t object_sequence_fed_ = 0;  // bytes of the object sequence handed over
  size_t positions_fed_ = 0;        // entries of the picture map looked at
  size_t group_positions_fed_ = 0;  // entries of the group map looked at
  PictureMap fresh_animations_;     // the animations of the last Feed, as a set
  size_t sequence_fed_ = 0;     // bytes of the animation sequence handed over
  size_t object_list_fed_ = 0;  // bytes of the object list handed over
  size_t items_fed_ = 0;
  size_t objects_fed_ = 0;
  size_t feeds_ = 0;  // calls of Feed
  struct Batch;
  std::unique_ptr<Batch> pending_;  // fed, not yet handed to the thread
  std::unique_ptr<Batch> pending_objects_;
};

}  // namespace quillon

#endif  // QUILLON_WRITER_PAGE_WRITER_H_
