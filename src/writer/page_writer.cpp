// The writer of one picture's JDF page description.
#include "writer/page_writer.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "animation/animation_writers.h"
#include "driver/progress_window.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "writer/shape_emitters.h"

namespace quillon {
namespace {

struct EmitterRow {
  const char* class_name;
  Emitter emitter;
};

// Record class -> the emitter that writes it. Groups are written as symbols
// by the writer itself.
constexpr EmitterRow kEmitterTable[] = {
    {"Rect", EmitRectangle},
    {"Chart", EmitRealTime},
    {"Line", EmitLine},
    {"Text", EmitText},
    {"DataLink", EmitText},
    {"PolyLine", EmitPolyline},
    {"RoundRect", EmitRoundRect},
    {"Oval", EmitEllipse},
    {"Arc", EmitArc},
    {"Pie", EmitPie},
    {"Polygon", EmitPolygon},
    {"Lookup", WriteLookup},
    {"Linear", WriteLinear},
    {"Format", WriteFormat},
    {"COpcDataItem", WriteOpcDataItem},
    {"GlobalSysInfo", WriteGlobalSysInfo},
    {"Pen", WritePen},
    {"Bitmap", EmitImage},
    {"AlarmTextLink", EmitAlarmTextLink},
    {"CommandButton", EmitButton},
    {"AlarmSummary", EmitAlarmDisplay},
};

constexpr char kGroupClass[] = "Group";
constexpr char kGroupSuffix[] = "(Group)";
constexpr char kDataSource[] =
    "\n(Source1 TAVWeb\n\t(properties\n\t\t(Server QEVSERV)\n\t\t(DefaultAttr Value)\n"
    "\t\t(UpdateCount 0)\n\t\t(UpdateRate %d )))\n";
constexpr char kNotConverted[] = ".grf could not be converted since it contains non-supported "
                                 "objects";

// The emitter of a record class, or null.
Emitter FindEmitter(std::string_view class_name) {
  for (const EmitterRow& row : kEmitterTable) {
    if (class_name == row.class_name) return row.emitter;
  }
  return nullptr;
}

// The part of `key` after its last "#", or the whole key.
std::string AfterLastHash(const std::string& key) {
  size_t hash = key.rfind('#');
  return hash == std::string::npos ? key : key.substr(hash + 1);
}

// The part of `key` before its last "(", or the whole key.
std::string BeforeLastParen(const std::string& key) {
  size_t paren = key.rfind('(');
  return paren == std::string::npos ? key : key.substr(0, paren);
}

// The user interface of the second thread: statuses are kept for the
// calling thread to show, a dialog is shown by the calling thread's user
// interface, and anything else that would reach the user (a message box)
// marks the thread's work as needing the calling thread.
class KeepingUi : public Ui {
 public:
  // `run_on_main` runs a call on the calling thread and waits for it; false
  // when the calling thread no longer takes calls.
  KeepingUi(Ui* main_ui, std::function<bool(const std::function<void()>&)> run_on_main)
      : main_ui_(main_ui), run_on_main_(std::move(run_on_main)) {}

  int MessageBox(const std::string&, const std::string&, unsigned) override {
    asked = true;
    return kIdOk;
  }
  void OpenProgress(const std::string&) override {}
  void SetProgressText(const std::string& text) override {
    if (!statuses.empty() && statuses.back().first == text) {
      ++statuses.back().second;
    } else {
      statuses.emplace_back(text, 1);
    }
  }
  void CloseProgress() override { asked = true; }
  UiEvent NextEvent() override { return UiEvent::kNone; }
  void PostQuit() override { asked = true; }
  // A dialog (the prompt for a node name) is shown by the calling thread's
  // user interface, between two of its objects.
  int RunModal(Dialog* dialog) override {
    int result = kIdCancel;
    if (main_ui_ == nullptr || !run_on_main_([&]() { result = main_ui_->RunModal(dialog); })) {
      asked = true;
    }
    return result;
  }
  void ShowHelp(unsigned, int) override { asked = true; }

  bool asked = false;
  // Status texts in order, a run of the same text counted once.
  std::vector<std::pair<std::string, size_t>> statuses;

 private:
  Ui* main_ui_;
  std::function<bool(const std::function<void()>&)> run_on_main_;
};

}  // namespace

// A record handed to a thread while the picture is read: its key, and its
// text as it stood then (none when the sequence named no record).
struct FedRecord {
  std::string key;
  std::string text;
  bool present = false;
};

struct PageWriter::EarlyWriters::Batch {
  std::string sequence;     // the part of the sequence it holds
  std::string object_list;  // what the object list gained before it
  std::vector<FedRecord> records;
  // For the objects: the group map's entries made meanwhile.
  std::vector<std::pair<std::string, std::string>> groups;
};

namespace {

// `out` gets what `a` and `b` each changed of `start`; false when both
// changed the same number (the two threads' work would not add up).
bool MergeStates(const ProcessState& start, const ProcessState& a, const ProcessState& b,
                 ProcessState* out) {
  bool clash = false;
  auto merge = [&](auto member) {
    const bool a_changed = a.*member != start.*member;
    const bool b_changed = b.*member != start.*member;
    if (a_changed && b_changed) clash = true;
    out->*member = a_changed ? a.*member : b.*member;
  };
  merge(&ProcessState::expressions);
  merge(&ProcessState::system_values);
  merge(&ProcessState::data_items);
  merge(&ProcessState::companions);
  merge(&ProcessState::scale_stages);
  merge(&ProcessState::remembered_node);
  return !clash;
}

size_t TextHash(std::string_view text) { return std::hash<std::string_view>()(text); }

}  // namespace

// Records written on another thread by a writer of its own: its lines, log
// lines, statuses and links are kept, and the calling thread takes them
// over as if it had written them (TakeObjects, TakeAnimations). The
// animations beside the calling thread's objects are read from its map
// (`items`); the objects or the animations written while the picture is
// still read come one batch at a time (fed): then the thread writes from
// copies in a map of its own, and once the last batch came checks that what
// it wrote from is what the page holds (Close).
class PageWriter::AnimationWorker {
 public:
  // What a fed thread writes: the animation sequence or the objects.
  enum class Fed { kNo, kAnimations, kObjects };
  AnimationWorker(PageWriter* main, std::vector<std::string> items, Fed fed = Fed::kNo)
      : ui_(main->services_->ui,
            [this](const std::function<void()>& call) { return RunOnMain(call); }),
        // Without a user interface nothing is asked, as on the calling thread.
        services_{main->services_->ui != nullptr ? &ui_ : nullptr, main->services_->resources,
                  &progress_},
        progress_(&ui_, main->services_->resources),
        state_(main->process_state_ != nullptr ? *main->process_state_ : ProcessState()),
        start_state_(state_),
        // The settings are the second thread's alone until it ends: the
        // calling thread stops it before it translates anything itself.
        writer_(*main, &services_, main->registry_,
                main->process_state_ != nullptr ? &state_ : nullptr),
        items_(std::move(items)),
        fed_(fed) {
    progress_.ShowProgress();
    writer_.log_.KeepLinesIn(&log_lines_);
    writer_.stop_ = &stop_;
    writer_.batch_.reserve(kLineBatch + kLineSlack);
    if (fed_ != Fed::kNo) {
      // Records come into a map of the thread's own.
      writer_.records_ = &writer_.picture_map_;
      writer_.sharing_ = false;
    }
    if (fed_ == Fed::kObjects) writer_.reads_ = &reads_;
  }
  AnimationWorker(const AnimationWorker&) = delete;
  AnimationWorker& operator=(const AnimationWorker&) = delete;
  ~AnimationWorker() { Stop(); }

  // Throws std::system_error when no thread can be started.
  void Start() { thread_ = std::thread([this]() { Run(); }); }
  // Ends the thread at its next record and waits for it; a call it waits
  // for is refused.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_.store(true);
      refusing_ = true;
      done_cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }
  // Hands a batch of records to a fed thread.
  void Feed(PageWriter::EarlyWriters::Batch batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    batches_.push_back(std::move(batch));
    done_cv_.notify_all();
  }
  // Waits up to `wait` while more than `most` batches wait for the thread,
  // running a call it waits for; true once no more do or it has ended.
  bool WaitBelow(size_t most, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_cv_.wait_for(lock, wait, [&]() {
      return done_ || batches_.size() <= most || (call_ != nullptr && !call_done_);
    });
    const bool below = done_ || batches_.size() <= most;
    lock.unlock();
    if (!below) RunWaitingCall();
    return below;
  }
  // The batches handed over and not yet taken by the thread.
  size_t queued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return batches_.size();
  }
  // No batch follows: once written, the records are checked against
  // `final_map`, the calling thread's map with the page's final records
  // (which it only reads until the thread ends).
  void Close(const PictureMap* final_map, const GroupMap* final_groups = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    final_map_ = final_map;
    final_groups_ = final_groups;
    done_cv_.notify_all();
  }
  // What a thread that wrote objects removed, for the calling thread to
  // remove too.
  const PageWriter::ReadLog& reads() const { return reads_; }
  // Waits up to `wait` for the thread to end, running a call it waits for;
  // true once it has ended.
  bool WaitFor(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_cv_.wait_for(lock, wait,
                      [this]() { return done_ || (call_ != nullptr && !call_done_); });
    if (!done_) {
      lock.unlock();
      RunWaitingCall();
      return false;
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    return true;
  }
  // Runs the call the thread waits for, if any (on the calling thread).
  void RunWaitingCall() {
    if (!call_waiting_.load(std::memory_order_acquire)) return;
    std::unique_lock<std::mutex> lock(mutex_);
    if (call_ == nullptr || call_done_) return;
    const std::function<void()>* call = call_;
    lock.unlock();
    (*call)();
    lock.lock();
    call_done_ = true;
    call_waiting_.store(false, std::memory_order_release);
    done_cv_.notify_all();
  }
  // Whether the thread has ended (a fed one that gave up takes no batch).
  bool ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }
  // Whether all items were written with nothing left to the calling thread.
  bool Usable() const {
    return finished_ && !writer_.needs_main_ && !ui_.asked;
  }
  // The numbers once the thread's work is added to `current` (the calling
  // thread's, which the reader may have drawn from meanwhile); false when
  // both drew the same number.
  bool MergeState(const ProcessState& current, ProcessState* merged) const {
    return MergeStates(start_state_, state_, current, merged);
  }

  PageWriter& writer() { return writer_; }
  const KeepingUi& ui() const { return ui_; }
  const std::vector<std::pair<std::string, int>>& log_lines() const { return log_lines_; }

 private:
  void Run() {
    if (fed_ != Fed::kNo) {
      // While the picture is read, the reading thread is the one the page
      // waits for: a fed thread yields the processor to it (a thread may
      // always lower its own priority; failing to changes nothing else).
      constexpr int kFedNice = 10;
      setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kFedNice);
    }
    bool finished = false;
    try {
      finished = fed_ == Fed::kAnimations ? WriteFed()
                 : fed_ == Fed::kObjects  ? WriteFedObjects()
                                          : WriteItems();
    } catch (...) {
      // Out of memory, say: the calling thread writes the items itself.
      finished = false;
    }
    RecordMissingOutputFiles(nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = finished;
    done_ = true;
    done_cv_.notify_all();
  }

  bool WriteItems() {
    for (const std::string& item : items_) {
      if (writer_.CancelRequested() || writer_.needs_main_) return false;
      writer_.WriteObject(item);
    }
    return true;
  }

  // Waits for the next batch of a fed thread, or for the last (Close).
  enum class Next { kBatch, kClosed, kStopped };
  Next NextBatch(PageWriter::EarlyWriters::Batch* batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_cv_.wait(lock, [this]() {
      return !batches_.empty() || final_map_ != nullptr || stop_.load();
    });
    if (stop_.load()) return Next::kStopped;
    if (batches_.empty()) return Next::kClosed;
    *batch = std::move(batches_.front());
    batches_.pop_front();
    // The reader may wait for the queue to shorten (WaitBelow).
    done_cv_.notify_all();
    return Next::kBatch;
  }

  // Writes the batches as they come; then checks them (see Close).
  bool WriteFed() {
    if (ExpressionTranslator* translator = writer_.translator()) {
      translator->set_object_misses(&object_misses_);
    }
    RecordMissingOutputFiles(&missing_files_);
    for (;;) {
      PageWriter::EarlyWriters::Batch batch;
      const Next next = NextBatch(&batch);
      if (next == Next::kStopped) return false;
      if (next == Next::kClosed) break;
      sequence_ += batch.sequence;
      if (!batch.object_list.empty()) {
        if (std::string* list = writer_.picture_map_.FindMutable(kObjectList)) {
          list->append(batch.object_list);
        } else {
          writer_.picture_map_.Set(kObjectList, std::move(batch.object_list));
        }
      }
      for (FedRecord& record : batch.records) {
        if (writer_.CancelRequested() || writer_.needs_main_) return false;
        // A key named twice would find its record gone the second time.
        if (written_records_.looked.Contains(record.key)) return false;
        written_records_.Note(record.key, record.present ? &record.text : nullptr);
        if (record.present) writer_.picture_map_.Set(record.key, std::move(record.text));
        writer_.WriteObject(record.key);
      }
      // A record written is removed, and a map keeps the room of what was
      // removed: it is made anew, holding the object list alone.
      std::string list;
      if (std::string* kept = writer_.picture_map_.FindMutable(kObjectList)) list.swap(*kept);
      writer_.picture_map_.clear();
      if (!list.empty()) writer_.picture_map_.Set(kObjectList, std::move(list));
    }
    RecordMissingOutputFiles(nullptr);
    return WrittenFromFinal(*final_map_);
  }

  // Writes the objects of the batches as they come, as the calling thread
  // writes them: groups too, from the group map's entries handed over; then
  // checks what it looked up against the page's final maps.
  bool WriteFedObjects() {
    RecordMissingOutputFiles(&missing_files_);
    PictureMap group_names;
    std::vector<std::string> items;
    for (;;) {
      PageWriter::EarlyWriters::Batch batch;
      const Next next = NextBatch(&batch);
      if (next == Next::kStopped) return false;
      if (next == Next::kClosed) break;
      sequence_ += batch.sequence;
      for (FedRecord& record : batch.records) {
        // A record looked up before is as the thread's own writing left it.
        if (record.present && !reads_.looked.Contains(record.key)) {
          writer_.picture_map_.Set(record.key, std::move(record.text));
        }
      }
      for (auto& entry : batch.groups) {
        // Which group a name finds would depend on the order of the map.
        if (!group_names.Add(AfterLastHash(entry.first))) return false;
        group_keys_.push_back(entry.first);
        group_hashes_.push_back(TextHash(entry.second));
        writer_.group_map_.Set(entry.first, std::move(entry.second));
        writer_.group_index_built_ = false;
      }
      SplitTabList(batch.sequence, &items);
      for (const std::string& item : items) {
        if (writer_.CancelRequested() || writer_.needs_main_) return false;
        if (item.find(kGroupSuffix) != std::string::npos) {
          if (writer_.WriteSymbol(item) == 0) {
            writer_.Report(writer_.services_->Text(kResGroupNotWritten), kLogError);
          }
        } else {
          writer_.WriteObject(item);
        }
        if (reads_.group_missed) return false;
      }
      // The map keeps the room of the records removed: made anew when they
      // are most of it.
      PictureMap& records = writer_.picture_map_;
      if (records.positions() > 2 * records.size() + 64) {
        PictureMap kept;
        for (const auto& entry : records) kept.Set(entry.first, entry.second);
        records = std::move(kept);
      }
    }
    RecordMissingOutputFiles(nullptr);
    if (final_groups_ == nullptr) return false;
    return ObjectsWrittenFromFinal(*final_map_, *final_groups_);
  }

  bool ObjectsWrittenFromFinal(const PictureMap& map, const GroupMap& groups) const {
    const std::string* sequence = map.Find(kObjectSequence);
    if (sequence == nullptr || *sequence != sequence_) return false;
    if (!reads_.SameIn(map)) return false;
    // The group map is the one handed over, entry for entry.
    size_t at = 0;
    for (const auto& entry : groups) {
      if (at >= group_keys_.size() || entry.first != group_keys_[at] ||
          TextHash(entry.second) != group_hashes_[at]) {
        return false;
      }
      ++at;
    }
    if (at != group_keys_.size()) return false;
    return FilesStillMissing();
  }

  // Whether every image file found missing while the picture was read is
  // missing still.
  bool FilesStillMissing() const {
    for (const std::string& path : missing_files_) {
      if (OutputFileExists(path)) return false;
    }
    return true;
  }

  // Whether the records written are those of `map`, in its order, and
  // every object or image file found missing is missing there too.
  bool WrittenFromFinal(const PictureMap& map) const {
    const std::string* sequence = map.Find(kAnimationSequence);
    if (sequence == nullptr || *sequence != sequence_) return false;
    if (!written_records_.SameIn(map)) return false;
    // The object list seen is the start of the page's, so every object
    // found was found where the page has it.
    const std::string* seen_list = writer_.picture_map_.Find(kObjectList);
    if (seen_list != nullptr && !seen_list->empty()) {
      const std::string* list = map.Find(kObjectList);
      if (list == nullptr || list->compare(0, seen_list->size(), *seen_list) != 0) return false;
    }
    std::string class_name;
    for (const std::string& path : object_misses_) {
      if (FindObjectClass(map, path, &class_name) != 0) return false;
    }
    return FilesStillMissing();
  }

  // On the thread: hands `call` to the calling thread and waits until it
  // has run it (true) or refused it (false).
  bool RunOnMain(const std::function<void()>& call) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (refusing_) return false;
    call_ = &call;
    call_done_ = false;
    call_waiting_.store(true, std::memory_order_release);
    done_cv_.notify_all();
    done_cv_.wait(lock, [this]() { return call_done_ || refusing_; });
    const bool ran = call_done_;
    call_ = nullptr;
    call_waiting_.store(false, std::memory_order_release);
    return ran;
  }

  KeepingUi ui_;
  Services services_;
  CFileConvDlg progress_;
  ProcessState state_;
  const ProcessState start_state_;
  std::vector<std::pair<std::string, int>> log_lines_;
  PageWriter writer_;
  std::vector<std::string> items_;
  const Fed fed_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  bool finished_ = false;
  // A call the thread waits for the calling thread to run (RunOnMain).
  const std::function<void()>* call_ = nullptr;
  bool call_done_ = false;
  bool refusing_ = false;
  std::atomic<bool> call_waiting_{false};
  // A fed thread: the batches not yet taken, the calling thread's map once
  // no batch follows, and what is checked against it.
  std::deque<PageWriter::EarlyWriters::Batch> batches_;
  const PictureMap* final_map_ = nullptr;
  const GroupMap* final_groups_ = nullptr;
  PageWriter::ReadLog reads_;
  std::vector<std::string> group_keys_;
  std::vector<size_t> group_hashes_;
  std::string sequence_;
  PageWriter::ReadLog written_records_;  // the animation records, as handed over
  std::vector<std::string> object_misses_;
  std::vector<std::string> missing_files_;
  std::thread thread_;
};

PageWriter::PageWriter(const Services* services) : services_(services), log_(services) {}

PageWriter::PageWriter(const PageWriter& main, const Services* services, Registry* registry,
                       ProcessState* state)
    : services_(services),
      indent_level_(main.indent_level_),
      output_directory_(main.output_directory_),
      picture_name_(main.picture_name_),
      use_cab_files_(main.use_cab_files_),
      allow_play_back_(main.allow_play_back_),
      closed_before_(main.closed_before_),
      jdf_path_(main.jdf_path_),
      update_rate_(main.update_rate_),
      image_extension_(main.image_extension_),
      log_(services),
      batching_(true),
      registry_(registry),
      process_state_(state),
      records_(&main.picture_map_),
      link_map_(&own_links_),
      sharing_(true),
      written_(main.written_.size(), 0),
      second_thread_(true) {}

int PageWriter::Init(const std::string& output_base, int use_cab_files, int allow_play_back,
                     const GroupMap* group_map, const PictureMap* picture_map, int image_format,
                     LogWindow* log_window) {
  if (output_base.empty()) return 0;
  size_t separator = LastSeparator(output_base);
  if (separator == std::string::npos) {
    output_directory_.clear();
    picture_name_ = output_base;
  } else {
    output_directory_ = output_base.substr(0, separator);
    picture_name_ = output_base.substr(separator + 1);
  }
  use_cab_files_ = use_cab_files;
  allow_play_back_ = allow_play_back;
  log_window_ = log_window;
  jdf_path_ = output_base + ".JDF";
  image_extension_ = image_format == 1 ? ".BMP" : ".JPG";
  if (group_map != nullptr) group_map_ = *group_map;
  group_index_built_ = false;
  if (picture_map != nullptr) picture_map_ = *picture_map;
  log_.StartLog(picture_name_ + ".Log", picture_name_, output_directory_, std::string(),
                log_window, ConversionLog::Banner::kWriter);
  return 1;
}

void PageWriter::LoadPageProperties(long* height, long* width, std::string* background_color,
                                    int* update_rate) {
  *height = 1000;
  *width = 1000;
  *background_color = "0xffffff";
  *update_rate = 2;
  const std::string* record = picture_map_.Find(kPictureProperties);
  if (record != nullptr) {
    PropertyMap properties;
    ParseRecord(*record, &properties);
    if (const std::string* value = properties.Find("Height")) {
      *height = std::strtol(value->c_str(), nullptr, 10);
    }
    if (const std::string* value = properties.Find("Width")) {
      *width = std::strtol(value->c_str(), nullptr, 10);
    }
    if (const std::string* value = properties.Find("BackgroundColor")) {
      *background_color = *value;
    }
    if (const std::string* value = properties.Find("UpdateRate")) {
      *update_rate = static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
    }
  }
  update_rate_ = *update_rate;
  picture_map_.Remove(kPictureProperties);
}

void PageWriter::Report(const std::string& text, int code) {
  log_.WriteLogLine(text, code);
  services_->Status(text);
}

int PageWriter::WriteLine(std::string_view text) {
  if (jdf_failed_) return 0;
  if (text.empty()) return 1;
  if (batching_) {
    if (indent_level_ > 0) batch_.append(static_cast<size_t>(indent_level_), '\t');
    batch_.append(text.data(), text.size());
    if (batch_.size() < kLineBatch) return 1;
    if (!second_thread_) return FlushBatch();
    KeepBatch();
    return 1;
  }
  FileResult result;
  if (indent_level_ <= 0) {
    result = jdf_.Append(jdf_path_, text);
  } else {
    indented_.assign(static_cast<size_t>(indent_level_), '\t');
    indented_.append(text.data(), text.size());
    result = jdf_.Append(jdf_path_, indented_);
  }
  if (result.ok()) return 1;
  JdfFailed(result);
  return 0;
}

void PageWriter::KeepBatch() {
  // The second thread's lines stay with it until they are taken over.
  if (!set_aside_tried_) {
    set_aside_tried_ = true;
    set_aside_.Open(output_directory_);
  }
  if (kept_lines_.empty() && set_aside_.Append(batch_)) {
    batch_.clear();
    return;
  }
  // In memory once the file failed (after what it holds) or when there is
  // none. A piece has the room it needs and little more: grown by doubling
  // it would hold twice the page description.
  kept_lines_.push_back(std::move(batch_));
  batch_ = std::string();
  batch_.reserve(kLineBatch + kLineSlack);
}

int PageWriter::FlushBatch() {
  if (batch_.empty()) return 1;
  FileResult result = jdf_.Append(jdf_path_, batch_);
  batch_.clear();
  if (result.ok()) return 1;
  JdfFailed(result);
  return 0;
}

void PageWriter::JdfFailed(const FileResult& result) {
  jdf_failed_ = true;
  batching_ = false;
  batch_.clear();
  jdf_.Close();
  if (result.stage == FileStage::kOpen) {
    ReportFileError(*services_, result.cause, jdf_path_);
    return;
  }
  log_.WriteLogLine(result.stage == FileStage::kWrite ? "Error writing to the file"
                                                      : "Error closing the file",
                    kLogError);
  ReportWriteFailure(*services_, result.cause);
}

int PageWriter::FinishJdf() {
  if (jdf_failed_) return 0;
  if (FlushBatch() == 0) return 0;
  batching_ = false;
  FileResult result = jdf_.Close();
  if (result.ok()) return 1;
  JdfFailed(result);
  return 0;
}

int PageWriter::WriteDocument(long height, long width, const std::string& background_color,
                              const std::string& version) {
  std::string header = "(properties \n\t(version " + version + ")\n";
  AppendF(&header, "\t(width %ld)\n", width);
  AppendF(&header, "\t(height %ld)\n", height);
  AppendF(&header, "\t(bgColor %s)\n)\n", background_color.c_str());
  jdf_failed_ = false;
  batch_.clear();
  FileResult result = jdf_.Append(jdf_path_, header, WriteMode::kTruncate);
  if (!result.ok()) {
    jdf_failed_ = true;
    jdf_.Close();
  }
  // Unstaged, every line is written as it comes, so that a failure is met
  // at the line that meets it.
  batching_ = result.ok() && jdf_.staged();
  if (result.stage == FileStage::kOpen) {
    ReportFileError(*services_, result.cause, jdf_path_);
    return 0;
  }
  if (!result.ok()) {
    ReportWriteFailure(*services_, result.cause);
    return 0;
  }

  if (group_map_.empty() && picture_map_.empty()) {
    Report(services_->Text(kResNothingToWrite), kLogPlain);
    converted_ = 0;
    return 0;
  }

  WriteObjects();
  // A cancelled page is not written whole: it is never reported as written.
  if (cancelled_) return 0;

  if (converted_ == 0) {
    if (indent_level_ != 0) {
      Outdent();
      WriteLine(")\n");
    }
    const std::string text = picture_name_ + kNotConverted;
    services_->Message(text, kMbOk | kMbIconExclamation);
    log_.WriteLogLine(text, kLogError);
  }
  return FinishJdf();
}

int PageWriter::WriteObjects() {
  closed_before_ = services_->Cancelled();
  indent_level_ = 0;
  WriteLine("(objects\n");
  indent_level_ = 1;

  const std::string* sequence = picture_map_.Find(kObjectSequence);
  if (sequence == nullptr) {
    Report(services_->Text(kResNoObjectSequence), kLogError);
    if (services_->progress != nullptr) services_->progress->CloseProgress();
    return 0;
  }
  std::vector<std::string> items;
  SplitTabList(*sequence, &items);
  // The animations come after all objects, and a large page writes them on
  // a second thread meanwhile.
  animations_written_beside_ = false;
  std::unique_ptr<AnimationWorker> worker;
  // Whatever leaves this function (an exception included) ends the thread
  // before its worker goes.
  struct StopWorker {
    PageWriter* writer;
    ~StopWorker() {
      if (writer->worker_ != nullptr) writer->worker_->Stop();
      writer->worker_ = nullptr;
    }
  } stop_worker{this};
  animations_written_early_ = false;
  objects_written_early_ = false;
  lines_set_aside_ = 0;
  bool adopted = false;
  if (const std::string* animations = picture_map_.Find(kAnimationSequence)) {
    std::vector<std::string> animation_items;
    if (parallel_min_items_ > 0 && batching_ && !closed_before_) {
      SplitTabList(*animations, &animation_items);
    }
    if (early_ != nullptr && early_->started() && !animation_items.empty()) {
      // Written while the page was read: the thread now checks what it
      // wrote against this map, which is only read meanwhile.
      ShareRecords(animation_items);
      worker = early_->TakeWorker();
      worker->Close(&picture_map_);
      worker_ = worker.get();
      adopted = true;
    } else if (animation_items.size() >= parallel_min_items_ && animation_items.size() > 0) {
      worker = StartAnimations(std::move(animation_items));
    }
  }
  // The objects written while the page was read, if the page is written as
  // the thread expected (the same conditions as for the animations).
  std::unique_ptr<AnimationWorker> objects;
  if (early_ != nullptr && parallel_min_items_ > 0 && batching_ && !closed_before_) {
    objects = early_->TakeObjectWorker();
    if (objects != nullptr) objects->Close(&picture_map_, &group_map_);
  }
  // An early thread not taken over ends here.
  if (early_ != nullptr) early_->Drop();
  const bool objects_taken = objects != nullptr && TakeObjects(objects.get());
  objects.reset();
  for (size_t i = 0; i < items.size() && !objects_taken; ++i) {
    const std::string& item = items[i];
    if (CancelRequested()) {
      AbandonWorker();
      return 0;
    }
    if (item.find(kGroupSuffix) != std::string::npos) {
      if (WriteSymbol(item) == 0) Report(services_->Text(kResGroupNotWritten), kLogError);
    } else {
      WriteObject(item);
    }
  }
  const bool taken = worker_ != nullptr && TakeAnimations(worker_);
  animations_written_early_ = taken && adopted;
  AbandonWorker();
  worker.reset();
  // The settings the early thread used went with it.
  early_.reset();
  picture_map_.Remove(kObjectSequence);

  if (const std::string* animations = picture_map_.Find(kAnimationSequence)) {
    if (!taken) {
      SplitTabList(*animations, &items);
      for (const std::string& item : items) {
        if (CancelRequested()) return 0;
        WriteObject(item);
      }
    }
    picture_map_.Remove(kAnimationSequence);
    WriteLine(StringF(kDataSource, update_rate_));
  }

  indent_level_ = 0;
  WriteLine("\n)");

  const std::string* links = picture_map_.Find(kLinks);
  if (!picture_map_.empty() && links != nullptr && !links->empty()) {
    WriteLine("\n(links\n");
    WriteLine(*links);
    WriteLine("\n)");
  }

  if (services_->Cancelled()) return 0;
  services_->Status(kStatusConversionOver);
  if (services_->progress != nullptr) services_->progress->CloseProgress();
  // The page is converted only once all of it is written.
  if (FinishJdf() == 0) return 0;
  if (converted_ == 1) {
    if (defer_converted_line_) {
      converted_line_due_ = true;
    } else {
      log_.WriteLogLine(services_->Text(kResObjectsConverted), kLogPlain);
    }
  }
  return 1;
}

int PageWriter::WriteObject(const std::string& key) {
  const std::string* record = FindRecord(key);
  if (record == nullptr) {
    Report(services_->Text(kResRecordMissing), kLogError);
    return 0;
  }
  PropertyMap& properties = *EnterRecord();
  const std::string class_name = ParseRecord(*record, &properties);
  SelectExclusions(class_name, &exclusions_);

  if (class_name == kGroupClass) {
    LeaveRecord();
    WriteSymbol(key);
    return 1;
  }
  const Emitter emitter = FindEmitter(class_name);
  if (emitter != nullptr) {
    // What the emitter queued goes under this object's heading, also when
    // it wrote the object (a property it left out).
    if (emitter(this, properties) == 0 || !log_.pending().empty()) {
      log_.FlushObject(class_name, BeforeLastParen(key));
    }
    converted_ = 1;
  } else {
    Report(services_->Text(kResNoEmitter, {class_name, key}) + services_->Text(kResNoEmitterEnd),
           kLogError);
  }
  LeaveRecord();
  RemoveRecord(key);
  return 1;
}

PropertyMap* PageWriter::EnterRecord() {
  if (record_depth_ == record_maps_.size()) record_maps_.emplace_back();
  PropertyMap* map = &record_maps_[record_depth_++];
  map->Reset();
  return map;
}

int PageWriter::WriteSymbol(const std::string& key) {
  if (second_thread_ && reads_ == nullptr) {
    // Groups use the group map, which only the calling thread touches.
    needs_main_ = true;
    return 0;
  }
  std::string group_name;
  std::string member_key;
  if (key.find('#') == std::string::npos) {
    group_name = BeforeLastParen(key);
    member_key = FindGroupKey(group_name);
    // A group looked for before its members were handed over.
    if (reads_ != nullptr && member_key.empty()) reads_->group_missed = true;
  } else {
    group_name = AfterLastHash(key);
    member_key = key;
  }

  auto close_symbol = [this]() {
    Outdent();
    WriteLine(")\n");
    Outdent();
    WriteLine(")\n");
  };

  line_buffer_.clear();
  AppendAll(&line_buffer_, "(", group_name, " TAVSymbol\n");
  WriteLine(line_buffer_);
  Indent();
  WriteLine("(properties\n");
  Indent();

  const std::string record_key = group_name + kGroupSuffix;
  const std::string* record = FindRecord(record_key);
  if (record == nullptr || open_groups_.count(group_name) != 0) {
    close_symbol();
    Report(services_->Text(kResGroupIncomplete), kLogError);
    return 0;
  }
  const std::string class_name = ParseRecord(*record, EnterRecord());
  SelectExclusions(class_name, &exclusions_);
  WriteGroupProperties(this, record_maps_[record_depth_ - 1]);
  LeaveRecord();

  Outdent();
  WriteLine(")\n");
  WriteLine("(objects\n");
  Indent();

  const std::string* members = member_key.empty() ? nullptr : group_map_.Find(member_key);
  if (members == nullptr) {
    close_symbol();
    log_.WriteLogLine(services_->Text(kResGroupIncomplete), kLogError);
    return 0;
  }
  const std::string member_list = *members;
  open_groups_.insert(group_name);
  WriteGroupMembers(member_list);
  open_groups_.erase(group_name);
  RemoveRecord(record_key);
  const std::string written_group = FindGroupKey(group_name);
  if (reads_ != nullptr && group_map_.Contains(written_group)) {
    reads_->removed_groups.push_back(written_group);
  }
  group_map_.Remove(written_group);
  close_symbol();
  return 1;
}

bool PageWriter::CancelRequested() {
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) {
    needs_main_ = true;
    return true;
  }
  // Between two objects the second thread's dialog is shown.
  if (worker_ != nullptr) worker_->RunWaitingCall();
  if (cancelled_) return true;
  // A window closed before the page was begun is no cancel of this page.
  if (closed_before_) return false;
  // Every object written is a moment to see the Cancel button (Ctrl-C).
  services_->Status(kStatusWritingObject);
  if (services_->progress != nullptr) services_->progress->PumpMessages();
  if (!services_->Cancelled()) return false;
  cancelled_ = true;
  Report(services_->Text(kResCancelled), kLogError);
  return true;
}

int PageWriter::WriteGroupMembers(const std::string& member_list) {
  if (cancelled_ || services_->Cancelled()) return 0;
  std::vector<std::string> members;
  SplitTabList(member_list, &members);
  for (const std::string& member : members) {
    services_->Status(kStatusTranslating);
    if (CancelRequested()) return 0;
    if (member.find('#') != std::string::npos) {
      WriteObject(AfterLastHash(member) + kGroupSuffix);
    } else {
      WriteObject(member);
    }
  }
  return members.empty() ? 0 : 1;
}

ExpressionTranslator* PageWriter::translator() {
  // The translator numbers and settings are the second thread's meanwhile.
  AbandonWorker();
  // The objects written while the page is read translate nothing: one that
  // does is left to the calling thread.
  if (reads_ != nullptr) needs_main_ = true;
  if (process_state_ == nullptr) return nullptr;
  if (!translator_) {
    translator_ = std::make_unique<ExpressionTranslator>(&log_, registry_, process_state_,
                                                         records_, jdf_path_);
  }
  return translator_.get();
}

ProcessState* PageWriter::process_state() {
  AbandonWorker();
  if (reads_ != nullptr) needs_main_ = true;
  return process_state_;
}

void PageWriter::ReadLog::Note(const std::string& key, const std::string* found) {
  // The first look only: after it the thread's own writing decides.
  if (!looked.Add(key)) return;
  present.push_back(found != nullptr);
  hashes.push_back(found != nullptr ? TextHash(*found) : 0);
}

bool PageWriter::ReadLog::SameIn(const PictureMap& map) const {
  for (size_t i = 0; i < looked.positions(); ++i) {
    const std::string* record = map.Find(looked.KeyAt(i));
    if ((record != nullptr) != (present[i] != 0)) return false;
    if (record != nullptr && TextHash(*record) != hashes[i]) return false;
  }
  return true;
}

const std::string* PageWriter::FindRecord(const std::string& key) {
  if (written_.empty()) {
    const std::string* found = records_->Find(key);
    if (reads_ != nullptr) reads_->Note(key, found);
    return found;
  }
  const size_t at = records_->PositionOf(key);
  if (at == PictureMap::kNoPosition) return nullptr;
  if (at < written_.size() && written_[at] != 0) return nullptr;
  return &records_->ValueAt(at);
}

void PageWriter::RemoveRecord(const std::string& key) {
  if (!sharing_) {
    if (picture_map_.Remove(key) && reads_ != nullptr) reads_->removed.push_back(key);
    return;
  }
  const size_t at = records_->PositionOf(key);
  if (at == PictureMap::kNoPosition || at >= written_.size()) return;
  written_[at] = 1;
  if (second_thread_) return;
  if (!animation_at_.empty() && animation_at_[at] != 0) {
    wrote_an_animation_ = true;
  } else {
    // Its memory goes now, as a removed record's would; the second thread
    // never reads it.
    picture_map_.ReleaseValueAt(at);
  }
}

void PageWriter::EndSharing() {
  if (!sharing_) return;
  sharing_ = false;
  link_map_ = &picture_map_;
  if (const std::string* links = own_links_.Find(kLinks)) AppendLink(&picture_map_, *links);
  own_links_.clear();
}

void PageWriter::ShareRecords(const std::vector<std::string>& items) {
  // From here the picture map is only read until the second thread is done.
  written_.assign(picture_map_.positions(), 0);
  animation_at_.assign(picture_map_.positions(), 0);
  for (const std::string& item : items) {
    const size_t at = picture_map_.PositionOf(item);
    if (at != PictureMap::kNoPosition) animation_at_[at] = 1;
  }
  wrote_an_animation_ = false;
  sharing_ = true;
  link_map_ = &own_links_;
}

std::unique_ptr<PageWriter::AnimationWorker> PageWriter::StartAnimations(
    std::vector<std::string> items) {
  // Meanwhile the calling thread writes only to files already staged (the
  // page description, the log), and the second thread only asks the stage
  // whether an image file is there.
  auto worker = std::make_unique<AnimationWorker>(this, items);
  ShareRecords(items);
  try {
    worker->Start();
  } catch (const std::system_error&) {
    EndSharing();
    return nullptr;
  }
  worker_ = worker.get();
  return worker;
}

void PageWriter::AbandonWorker() {
  if (worker_ == nullptr) return;
  worker_->Stop();
  worker_ = nullptr;
  EndSharing();
}

bool PageWriter::TakeObjects(AnimationWorker* objects) {
  // The user may still cancel while the thread finishes; the animations'
  // thread may wait for a dialog meanwhile.
  while (!objects->WaitFor(std::chrono::milliseconds(20))) {
    if (worker_ != nullptr) worker_->RunWaitingCall();
    if (services_->progress != nullptr) services_->progress->PumpMessages();
    if (services_->Cancelled()) return false;
  }
  PageWriter& second = objects->writer();
  if (!objects->Usable() || jdf_failed_ || cancelled_ || indent_level_ != 1 ||
      !log_.pending().empty() || second.indent_level_ != 1 || !second.log_.pending().empty() ||
      second.output_directory_ != output_directory_ || second.image_extension_ != image_extension_) {
    return false;
  }
  TakeOutput(objects, link_map_);
  // What the objects removed is gone here too (a record the animations'
  // thread wrote as well drops its work, as when written here).
  for (const std::string& key : objects->reads().removed) RemoveRecord(key);
  for (const std::string& key : objects->reads().removed_groups) group_map_.Remove(key);
  group_index_built_ = false;
  objects_written_early_ = true;
  return true;
}

void PageWriter::TakeOutput(AnimationWorker* worker, PictureMap* links_into) {
  // As if written here: each status, each log line, the links, the lines.
  PageWriter& second = worker->writer();
  for (const auto& status : worker->ui().statuses) {
    for (size_t i = 0; i < status.second; ++i) services_->Status(status.first);
  }
  for (const auto& line : worker->log_lines()) log_.WriteLogLine(line.first, line.second);
  if (const std::string* links = second.own_links_.Find(kLinks)) AppendLink(links_into, *links);
  if (second.converted_ == 1) converted_ = 1;
  int error_number = 0;
  lines_set_aside_ += second.set_aside_.size();
  const bool read_back = second.set_aside_.ReadBack(
      [&](std::string_view piece) {
        if (jdf_failed_) return;
        batch_.append(piece.data(), piece.size());
        if (batch_.size() >= kLineBatch) FlushBatch();
      },
      &error_number);
  second.set_aside_.Close();
  // Lines set aside and lost cannot be written: the page description fails
  // as when a write of it fails.
  if (!read_back && !jdf_failed_) {
    FileResult lost;
    lost.stage = FileStage::kWrite;
    lost.cause = FileErrorCauseFromErrno(error_number);
    JdfFailed(lost);
  }
  second.kept_lines_.push_back(std::move(second.batch_));
  for (std::string& piece : second.kept_lines_) {
    if (jdf_failed_) break;
    batch_.append(piece);
    std::string().swap(piece);
    if (batch_.size() >= kLineBatch) FlushBatch();
  }
}

bool PageWriter::TakeAnimations(AnimationWorker* worker) {
  // The user may still cancel while the second thread finishes.
  while (!worker->WaitFor(std::chrono::milliseconds(20))) {
    if (services_->progress != nullptr) services_->progress->PumpMessages();
    if (services_->Cancelled()) return false;
  }
  // Its work is dropped when it left something to this thread, when a record
  // written here first would have been missing there, or when this page did
  // not end its objects as one written in a row would have.
  if (!worker->Usable() || wrote_an_animation_ || jdf_failed_ || cancelled_ ||
      indent_level_ != 1 || !log_.pending().empty()) {
    return false;
  }
  PageWriter& second = worker->writer();
  // A thread started while the page was read was made for the same page.
  if (second.output_directory_ != output_directory_ || second.jdf_path_ != jdf_path_ ||
      second.image_extension_ != image_extension_) {
    return false;
  }
  ProcessState merged;
  if (process_state_ != nullptr && !worker->MergeState(*process_state_, &merged)) return false;
  worker_ = nullptr;
  EndSharing();
  // As if written here: the numbers, then each status, each log line, the
  // links and the lines. The records it wrote stay in the map until the
  // writer goes; nothing looks for them any more.
  if (process_state_ != nullptr) *process_state_ = merged;
  TakeOutput(worker, &picture_map_);
  animations_written_beside_ = true;
  return true;
}

std::unique_ptr<PageWriter::EarlyWriters> PageWriter::PrepareEarlyWriters(
    const EarlySetup& setup) {
  if (setup.services == nullptr || setup.output_base.empty() || setup.min_items == 0) {
    return nullptr;
  }
  return std::unique_ptr<EarlyWriters>(new EarlyWriters(setup));
}

void PageWriter::AdoptEarlyWriters(std::unique_ptr<EarlyWriters> early) {
  early_ = std::move(early);
}

PageWriter::EarlyWriters::EarlyWriters(const EarlySetup& setup)
    : setup_(setup),
      pending_(std::make_unique<Batch>()),
      pending_objects_(std::make_unique<Batch>()) {
  if (setup.registry != nullptr) shared_registry_ = std::make_unique<LockedRegistry>(setup.registry);
}

PageWriter::EarlyWriters::~EarlyWriters() { Drop(); }

void PageWriter::EarlyWriters::Drop() {
  dropped_ = true;
  DropObjects();
  DropAnimations();
}

void PageWriter::EarlyWriters::DropAnimations() {
  animations_dropped_ = true;
  if (worker_ != nullptr) worker_->Stop();
  worker_.reset();
}

void PageWriter::EarlyWriters::DropObjects() {
  objects_dropped_ = true;
  if (objects_ != nullptr) objects_->Stop();
  objects_.reset();
}

void PageWriter::EarlyWriters::Feed(const PictureMap& map, const GroupMap& groups) {
  if (dropped_) return;
  // A thread that gave up (a key named twice, say) is fed no more; the
  // page's writer writes that part after reading. Looked at every few
  // objects: each look takes the thread's lock.
  if ((++feeds_ & 15) == 0) {
    if (worker_ != nullptr && worker_->ended()) DropAnimations();
    if (objects_ != nullptr && objects_->ended()) DropObjects();
  }
  if (started_ && animations_dropped_ && objects_dropped_) {
    Drop();
    return;
  }
  // Between two objects a thread's dialog (the node prompt) is shown.
  if (worker_ != nullptr) worker_->RunWaitingCall();
  if (objects_ != nullptr) objects_->RunWaitingCall();
  try {
    FeedAnimations(map);
    if (!objects_dropped_) FeedObjects(map, groups);
    positions_fed_ = map.positions();
    group_positions_fed_ = groups.positions();
    if (!started_) {
      if (items_fed_ + objects_fed_ < setup_.min_items || !Start()) return;
    }
    // Handed over in batches, so that the threads meet seldom.
    constexpr size_t kBatchRecords = 64;
    bool handed = false;
    if (worker_ != nullptr && pending_->records.size() >= kBatchRecords) {
      worker_->Feed(std::move(*pending_));
      *pending_ = Batch();
      handed = true;
    }
    if (objects_ != nullptr && pending_objects_->records.size() >= kBatchRecords) {
      objects_->Feed(std::move(*pending_objects_));
      *pending_objects_ = Batch();
      handed = true;
    }
    if (handed) WaitWhileBehind();
  } catch (...) {
    // Out of memory, say: the page is written after reading, as it always
    // was.
    Drop();
  }
}

void PageWriter::EarlyWriters::WaitWhileBehind() {
  // A thread that falls behind (on a busy machine, its priority being
  // lower) would have the copies handed to it pile up in memory: reading
  // waits while it has more than setup_.most_queued batches waiting, until
  // half of them are written. Its dialog is shown meanwhile, and Ctrl-C
  // stops it.
  const size_t most = setup_.most_queued;
  for (AnimationWorker* thread : {worker_.get(), objects_.get()}) {
    if (thread == nullptr || thread->queued() <= most) continue;
    while (!thread->WaitBelow(most / 2, std::chrono::milliseconds(20))) {
      if (worker_ != nullptr) worker_->RunWaitingCall();
      if (objects_ != nullptr) objects_->RunWaitingCall();
      const Services* services = setup_.services;
      if (services->progress != nullptr) services->progress->PumpMessages();
      if (services->Cancelled()) return;
    }
  }
}

void PageWriter::EarlyWriters::FeedAnimations(const PictureMap& map) {
  fresh_animations_.clear();
  const std::string* sequence = map.Find(kAnimationSequence);
  if (sequence == nullptr || sequence->size() <= sequence_fed_) return;
  // Whole items only: up to the sequence's last TAB.
  const size_t end = sequence->rfind('\t');
  if (end == std::string::npos || end + 1 <= sequence_fed_) return;
  const std::string_view part(sequence->data() + sequence_fed_, end + 1 - sequence_fed_);
  sequence_fed_ = end + 1;
  Batch& batch = *pending_;
  if (animations_dropped_) {
    // Only which keys are animations, for the objects' groups (below).
    batch = Batch();
  } else {
    batch.sequence.append(part);
  }
  if (const std::string* list = map.Find(kObjectList); list != nullptr && !animations_dropped_) {
    if (list->size() > object_list_fed_) {
      batch.object_list.append(*list, object_list_fed_, std::string::npos);
      object_list_fed_ = list->size();
    }
  }
  size_t at = 0;
  while (at < part.size()) {
    size_t tab = part.find('\t', at);
    if (tab == std::string_view::npos) tab = part.size();
    if (tab > at) {
      const std::string_view key = part.substr(at, tab - at);
      fresh_animations_.Add(key);
      ++items_fed_;
      if (!animations_dropped_) {
        FedRecord record;
        record.key.assign(key);
        if (const std::string* text = map.Find(record.key)) {
          record.text = *text;
          record.present = true;
        }
        batch.records.push_back(std::move(record));
      }
    }
    at = tab + 1;
  }
}

void PageWriter::EarlyWriters::FeedObjects(const PictureMap& map, const GroupMap& groups) {
  const std::string* sequence = map.Find(kObjectSequence);
  if (sequence == nullptr || sequence->size() <= object_sequence_fed_) return;
  const size_t end = sequence->rfind('\t');
  if (end == std::string::npos || end + 1 <= object_sequence_fed_) return;
  const std::string_view part(sequence->data() + object_sequence_fed_,
                              end + 1 - object_sequence_fed_);
  object_sequence_fed_ = end + 1;
  Batch& batch = *pending_objects_;
  batch.sequence.append(part);
  bool group = false;
  size_t at = 0;
  while (at < part.size()) {
    size_t tab = part.find('\t', at);
    if (tab == std::string_view::npos) tab = part.size();
    if (tab > at) {
      const std::string_view key = part.substr(at, tab - at);
      ++objects_fed_;
      if (key.find(kGroupSuffix) != std::string_view::npos) {
        group = true;
      } else if (const std::string* text = map.Find(key)) {
        FedRecord record;
        record.key.assign(key);
        record.text = *text;
        record.present = true;
        batch.records.push_back(std::move(record));
      }
    }
    at = tab + 1;
  }
  if (!group) return;
  // A group: every record and group entry made since the last object (its
  // members, theirs, the group's own record), but the animations and lists.
  for (size_t position = positions_fed_; position < map.positions(); ++position) {
    if (!map.LiveAt(position)) continue;
    const std::string& key = map.KeyAt(position);
    if (key == kObjectList || key == kObjectSequence || key == kAnimationSequence ||
        key == kLinks || fresh_animations_.Contains(key)) {
      continue;
    }
    FedRecord record;
    record.key = key;
    record.text = map.ValueAt(position);
    record.present = true;
    batch.records.push_back(std::move(record));
  }
  for (size_t position = group_positions_fed_; position < groups.positions(); ++position) {
    if (groups.LiveAt(position)) {
      batch.groups.emplace_back(groups.KeyAt(position), groups.ValueAt(position));
    }
  }
}

std::unique_ptr<PageWriter::AnimationWorker> PageWriter::EarlyWriters::TakeWorker() {
  if (worker_ == nullptr) return nullptr;
  if (!pending_->sequence.empty() || !pending_->records.empty()) {
    worker_->Feed(std::move(*pending_));
    *pending_ = Batch();
  }
  return std::move(worker_);
}

std::unique_ptr<PageWriter::AnimationWorker> PageWriter::EarlyWriters::TakeObjectWorker() {
  if (objects_ == nullptr) return nullptr;
  if (!pending_objects_->sequence.empty() || !pending_objects_->records.empty() ||
      !pending_objects_->groups.empty()) {
    objects_->Feed(std::move(*pending_objects_));
    *pending_objects_ = Batch();
  }
  return std::move(objects_);
}

bool PageWriter::EarlyWriters::Start() {
  // The threads' writers are made like the page's writer will be when it
  // writes its objects.
  model_ = std::make_unique<PageWriter>(setup_.services);
  PageWriter& model = *model_;
  const size_t separator = LastSeparator(setup_.output_base);
  if (separator == std::string::npos) {
    model.picture_name_ = setup_.output_base;
  } else {
    model.output_directory_ = setup_.output_base.substr(0, separator);
    model.picture_name_ = setup_.output_base.substr(separator + 1);
  }
  model.use_cab_files_ = setup_.use_cab_files;
  model.allow_play_back_ = setup_.allow_play_back;
  model.jdf_path_ = setup_.output_base + ".JDF";
  model.image_extension_ = setup_.image_format == 1 ? ".BMP" : ".JPG";
  model.indent_level_ = 1;
  model.registry_ = registry();
  model.process_state_ = setup_.state;
  auto worker = std::make_unique<AnimationWorker>(&model, std::vector<std::string>(),
                                                  AnimationWorker::Fed::kAnimations);
  try {
    worker->Start();
  } catch (const std::system_error&) {
    Drop();
    return false;
  }
  worker_ = std::move(worker);
  started_ = true;
  if (!objects_dropped_) {
    auto objects = std::make_unique<AnimationWorker>(&model, std::vector<std::string>(),
                                                     AnimationWorker::Fed::kObjects);
    try {
      objects->Start();
      objects_ = std::move(objects);
    } catch (const std::system_error&) {
      DropObjects();
    }
  }
  return true;
}

std::string PageWriter::FindGroupKey(const std::string& group_name) const {
  // The first key in the map's order whose last part is the name; the index
  // of first keys is made once, and a key removed since is looked up anew.
  if (!group_index_built_) {
    group_index_.clear();
    for (const auto& entry : group_map_) group_index_.emplace(AfterLastHash(entry.first), entry.first);
    group_index_built_ = true;
  }
  auto found = group_index_.find(group_name);
  if (found != group_index_.end() && group_map_.Contains(found->second)) return found->second;
  for (const auto& entry : group_map_) {
    if (AfterLastHash(entry.first) == group_name) return entry.first;
  }
  return std::string();
}

}  // namespace quillon
