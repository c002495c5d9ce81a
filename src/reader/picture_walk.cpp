// The picture walk: visits every object of a collection in order, recursing
// into groups, stores each object's record and hands it to the animation
// reader.
#include <cctype>

#include "driver/progress_window.h"
#include "platform/format.h"
#include "reader/class_readers.h"
#include "reader/picture_reader.h"
#include "writer/page_writer.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

constexpr char kGroupClass[] = "Group";
constexpr char kGroupTooDeep[] =
    "The group %s lies more than 64 groups deep and is left out of the web page.";
constexpr char kNameTaken[] =
    "Another object of the page already has the name %s (once unsafe characters are "
    "replaced); this one (%s) is written as %s.";
constexpr char kImageFilesTaken[] =
    "The image files of this bitmap (%s) would be those of another bitmap of the page; it is "
    "written as %s.";

// The part of `text` after its first "#", or all of it.
std::string AfterFirstHash(const std::string& text) {
  size_t hash = text.find('#');
  return hash == std::string::npos ? text : text.substr(hash + 1);
}

// The object behind a collection item: its IHmiObject, or what the item's
// "GetQevComponentDispatch" method hands out.
HRESULT ObjectOfItem(const ComPtr<hmi::IDispatch>& item, ComPtr<hmi::IHmiObject>* object) {
  if (hmi::Succeeded(item.As(object))) return hmi::S_OK;
  hmi::DISPID dispid = 0;
  HRESULT hr = item->GetIDsOfNames("GetQevComponentDispatch", hmi::kLocaleSystemDefault, &dispid);
  if (hmi::Failed(hr)) return hr;
  hmi::Variant component;
  std::vector<hmi::Variant> args = {
      hmi::Variant::ByRef(hmi::VT_BYREF | hmi::VT_DISPATCH, &component)};
  hr = item->Invoke(dispid, hmi::kLocaleSystemDefault, hmi::DISPATCH_METHOD, args, nullptr);
  if (hmi::Failed(hr)) return hr;
  if (component.vt() != hmi::VT_DISPATCH || !component.dispatch()) return hmi::E_NOINTERFACE;
  *object = hmi::DispatchAs<hmi::IHmiObject>(component.dispatch());
  return hmi::S_OK;
}

}  // namespace

int ConnectionReader::ReadConnections(PictureReader*, hmi::IHmiObject*) { return 0; }
int ConnectionReader::ReadVariable(PictureReader*, hmi::IHmiObject*, const std::string&) {
  return 0;
}
int ConnectionReader::ReadPen(PictureReader*, hmi::IHmiObject*, const std::string&) { return 0; }

PictureReader::PictureReader(ConversionLog* log, ConnectionReader* connections)
    : log_(log), connections_(connections) {}

PictureReader::~PictureReader() { ReleasePictureReferences(); }

void PictureReader::PrepareClassTable() {
  class_table_.clear();
  size_t count = 0;
  const ClassTableRow* rows = ClassTable(&count);
  for (size_t i = 0; i < count; ++i) class_table_[rows[i].class_name] = rows[i].reader;
}

void PictureReader::Report(const std::string& text, int code) {
  log_->WriteLogLine(text, code);
  services().Status(text);
}

int PictureReader::ReadObjects(hmi::IHmiObjectCollection* collection,
                               const std::string& parent_group) {
  if (collection == nullptr) {
    Report(Text(kResNoCollection));
    return kReadWithWarnings;
  }
  int32_t count = 0;
  HRESULT hr = collection->Count(&count);
  if (hmi::Failed(hr)) {
    Report(Text(kResCountFailed));
    return hr;
  }
  if (parent_group.empty() && group_depth_ == 0) {
    // A walk of the whole picture: every name is free again.
    page_names_.clear();
    image_bases_.clear();
  }
  // The statuses said for every object, made once.
  static const std::string reading(kStatusReadingObjects);
  static const std::string converting(kStatusConvertingObject);
  static const std::string animating(kStatusConvertingAnimation);
  int result = 0;
  for (int32_t i = 1; i <= count; ++i) {
    if (services().Cancelled()) return 0;
    services().Status(reading);
    if (services().progress != nullptr) services().progress->PumpMessages();
    if (services().Cancelled()) {
      Report(Text(kResCancelled));
      return 0;
    }
    ComPtr<hmi::IDispatch> item;
    if (hmi::Failed(collection->Item(hmi::Variant::I4(i), &item)) || !item) {
      Report(Text(kResItemFailed));
      result = 0;
      continue;
    }
    ComPtr<hmi::IHmiObject> object;
    if (hmi::Failed(ObjectOfItem(item, &object))) {
      Report(Text(kResItemFailed));
      result = 0;
      continue;
    }
    services().Status(converting);
    current_item_ = item;
    const size_t renames = renames_.size();
    int read = ReadObject(object.get(), parent_group);
    if (read == 0) {
      services().Status(animating);
      if (connections_ != nullptr) connections_->ReadConnections(this, object.get());
    }
    // A new name holds for the object, its members and its animations only.
    renames_.resize(renames);
    current_item_ = nullptr;
    if (object_read_ && parent_group.empty() && group_depth_ == 0) object_read_(picture_map_, group_map_);
    // A failing item gives up only itself: the walk goes on and succeeds.
    result = read == 1 ? 1 : 0;
  }
  return result;
}

int PictureReader::ReadObject(hmi::IHmiObject* object, const std::string& parent_group) {
  repeat_counter_ = 0;
  std::string class_name;
  HRESULT hr = object->ClassName(&class_name);
  if (hmi::Failed(hr)) {
    Report(Text(kResClassNameFailed));
    return hr;
  }
  class_name = RecordText(class_name);
  if (class_name == "OleObject") IdentifyControl(this, object, &class_name);
  std::string category;
  hr = object->Category(&category);
  if (hmi::Failed(hr)) {
    Report(Text(kResCategoryFailed));
    return hr;
  }
  std::string name;
  hr = object->Name(&name);
  if (hmi::Failed(hr)) {
    Report(Text(kResNameFailed));
    return hr;
  }
  name = NameText(name);

  const bool is_group = EqualsIgnoringCase(class_name, kGroupClass);
  const bool is_shape = EqualsIgnoringCase(category, "Shape");
  ClassReader reader = nullptr;
  if (is_shape && !is_group) {
    auto found = class_table_.find(class_name);
    if (found == class_table_.end()) {
      Report(services().Text(kResNoEmitter, {class_name, name}) + Text(kResNoEmitterEnd));
      return kReadWithWarnings;
    }
    reader = found->second;
  }
  if (!is_shape) {
    if (EqualsIgnoringCase(category, "Support") && EqualsIgnoringCase(class_name, "Variable")) {
      if (connections_ != nullptr) connections_->ReadVariable(this, object, category);
      return 1;
    }
    return -1;
  }
  const bool top_level = parent_group.empty();

  if (is_group) {
    if (group_depth_ >= kMaxGroupDepth) {
      Report(FormatText(kGroupTooDeep, {name}));
      return kReadWithWarnings;
    }
    ClaimPageName(object, false, &name);
    if (!log_->pending().empty()) log_->FlushObject(kGroupClass, name);
    const std::string kept_parent = parent_group;
    std::string record;
    ++group_depth_;
    ReadGroup(object, name, kept_parent, &record);
    --group_depth_;
    AddRecord(&picture_map_, kGroupClass, name, record);
    log_->FlushObject(kGroupClass, name);
    if (!top_level) {
      AddToGroup(kGroupClass, name, kept_parent);
    } else {
      AppendToSequence(&picture_map_, kGroupClass, name, kObjectSequence);
    }
    return 0;
  }

  ClaimPageName(object, EqualsIgnoringCase(class_name, "Bitmap"), &name);
  int result = 0;
  do {
    std::string record;
    int read = reader(this, object, &record);
    if (read < 0 && read != kReadWithWarnings) {
      log_->FlushObject(class_name, name);
      result = read == -1 ? -1 : 0;
      continue;
    }
    const std::string object_name = RecordName(record);
    AddRecord(&picture_map_, class_name, object_name, record);
    // What the reader queued about this object is written under its own
    // heading now, also when it read the object well enough: queued lines
    // left for a later object would be listed under the wrong heading, or
    // lost when no later object has anything to say.
    log_->FlushObject(class_name, object_name);
    result = 0;
    if (!top_level) {
      AddToGroup(class_name, object_name, parent_group);
    } else {
      AppendToSequence(&picture_map_, class_name, object_name, kObjectSequence);
    }
  } while (repeat_counter_ > 0);
  return result;
}

int PictureReader::ReadGroup(hmi::IHmiObject* object, const std::string& group_name,
                             const std::string& /*parent_group*/, std::string* record) {
  HRESULT hr = ReadProperties(object, record);
  if (hmi::Failed(hr) && hr != kReadWithWarnings) return hr;
  return ReadGroupMembers(object, group_name);
}

int PictureReader::ReadGroupMembers(hmi::IHmiObject* object, const std::string& group_name) {
  ComPtr<hmi::IDispatch> contained;
  HRESULT hr = object->ContainedObjects(&contained);
  if (hmi::Failed(hr) || !contained) {
    Report(Text(kResGroupMembersFailed));
    return hmi::Failed(hr) ? hr : hmi::E_POINTER;
  }
  ComPtr<hmi::IHmiObjectCollection> members;
  hr = contained.As(&members);
  if (hmi::Failed(hr)) {
    Report(Text(kResGroupMembersNotList));
    return hr;
  }
  const std::string kept_unit = angle_unit_;
  int result = ReadObjects(members.get(), group_name);
  angle_unit_ = kept_unit;
  return result;
}

void PictureReader::AddToGroup(const std::string& class_name, const std::string& name,
                               const std::string& group) {
  const std::string group_name = AfterFirstHash(group);
  std::string key;
  // Groups met before are remembered; the group map is searched only for a
  // group not met yet.
  auto known = group_keys_.find(group_name);
  if (known != group_keys_.end() && group_map_.Contains(known->second)) {
    key = known->second;
  } else {
    for (const auto& entry : group_map_) {
      if (AfterFirstHash(entry.first) == group_name) {
        key = entry.first;
        break;
      }
    }
    if (key.empty()) {
      key = "#" + group_name;
      group_map_.Set(key, std::string());
    }
    group_keys_[group_name] = key;
  }
  const std::string member =
      class_name == kGroupClass ? "#" + name + "\t" : RecordKey(name, class_name) + "\t";
  *group_map_.FindMutable(key) += member;
}

std::string PictureReader::ImageBaseName(std::string full_name) {
  ReplaceChar(&full_name, '.', '_');
  ReplaceChar(&full_name, '/', '_');
  ReplaceChar(&full_name, '\\', '_');
  return full_name;
}

std::string PictureReader::PageFullName(const std::string& raw) const {
  for (auto it = renames_.rbegin(); it != renames_.rend(); ++it) {
    const std::string& from = it->raw_full;
    if (raw == from) return it->full;
    if (raw.size() > from.size() && raw[from.size()] == '.' &&
        raw.compare(0, from.size(), from) == 0) {
      return it->full + NameText(raw.substr(from.size()));
    }
  }
  return NameText(raw);
}

std::string PictureReader::PageName(hmi::IHmiObject* object, const std::string& raw) const {
  std::string full;
  if (object != nullptr && !renames_.empty() && hmi::Succeeded(object->FullyQualifiedName(&full))) {
    for (auto it = renames_.rbegin(); it != renames_.rend(); ++it) {
      if (!it->name.empty() && it->raw_full == full) return it->name;
    }
  }
  return NameText(raw);
}

void PictureReader::ClaimPageName(hmi::IHmiObject* object, bool bitmap, std::string* name) {
  std::string raw_full;
  const bool has_full = hmi::Succeeded(object->FullyQualifiedName(&raw_full));
  // Most objects other than bitmaps keep their name: claimed at once, in one
  // lookup, without working out the full name.
  if (!bitmap && page_names_.Add(*name)) return;
  const std::string full = has_full ? PageFullName(raw_full) : *name;
  // The full name with another last part.
  const bool ends_with_name =
      full.size() >= name->size() &&
      full.compare(full.size() - name->size(), name->size(), *name) == 0;
  auto full_for = [&](const std::string& unique) {
    return ends_with_name ? full.substr(0, full.size() - name->size()) + unique
                          : full + unique.substr(name->size());
  };
  auto taken = [&](const std::string& candidate) {
    return page_names_.Contains(candidate) ||
           (bitmap && image_bases_.Contains(ImageBaseName(full_for(candidate))));
  };
  const bool name_taken = page_names_.Contains(*name);
  std::string unique = *name;
  for (int n = 2; taken(unique); ++n) unique = *name + "_" + std::to_string(n);
  page_names_.Add(unique);
  if (bitmap) image_bases_.Add(ImageBaseName(full_for(unique)));
  if (unique == *name) return;
  Warn(name_taken ? FormatText(kNameTaken, {*name, RecordText(raw_full), unique})
                  : FormatText(kImageFilesTaken, {RecordText(raw_full), unique}),
       kSeverityWarning);
  if (has_full) renames_.push_back({raw_full, full_for(unique), unique});
  *name = unique;
}

void PictureReader::ReleasePictureReferences() {
  document_.ole_object = nullptr;
  document_.persist_storage = nullptr;
  document_.storage = nullptr;
  document_.animation_shape = nullptr;
  document_.document_dispatch = nullptr;
  picture_object_ = nullptr;
  picture_interface_ = nullptr;
  name_lists_.clear();
  contained_objects_ = nullptr;
  top_collection_ = nullptr;
}

}  // namespace quillon
