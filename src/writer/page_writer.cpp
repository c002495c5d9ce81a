// The writer of one picture's JDF page description.
#include "writer/page_writer.h"

#include <cstdlib>
#include <vector>

#include "animation/animation_writers.h"
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

}  // namespace

PageWriter::PageWriter(const Services* services) : services_(services), log_(services) {}

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
    return batch_.size() >= kLineBatch ? FlushBatch() : 1;
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
  for (const std::string& item : items) {
    if (CancelRequested()) return 0;
    if (item.find(kGroupSuffix) != std::string::npos) {
      if (WriteSymbol(item) == 0) Report(services_->Text(kResGroupNotWritten), kLogError);
    } else {
      WriteObject(item);
    }
  }
  picture_map_.Remove(kObjectSequence);

  if (const std::string* animations = picture_map_.Find(kAnimationSequence)) {
    SplitTabList(*animations, &items);
    for (const std::string& item : items) {
      if (CancelRequested()) return 0;
      WriteObject(item);
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
  const std::string* record = picture_map_.Find(key);
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
  picture_map_.Remove(key);
  return 1;
}

PropertyMap* PageWriter::EnterRecord() {
  if (record_depth_ == record_maps_.size()) record_maps_.emplace_back();
  PropertyMap* map = &record_maps_[record_depth_++];
  map->Reset();
  return map;
}

int PageWriter::WriteSymbol(const std::string& key) {
  std::string group_name;
  std::string member_key;
  if (key.find('#') == std::string::npos) {
    group_name = BeforeLastParen(key);
    member_key = FindGroupKey(group_name);
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
  const std::string* record = picture_map_.Find(record_key);
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
  picture_map_.Remove(record_key);
  group_map_.Remove(FindGroupKey(group_name));
  close_symbol();
  return 1;
}

bool PageWriter::CancelRequested() {
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
  if (process_state_ == nullptr) return nullptr;
  if (!translator_) {
    translator_ = std::make_unique<ExpressionTranslator>(&log_, registry_, process_state_,
                                                         &picture_map_, jdf_path_);
  }
  return translator_.get();
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
