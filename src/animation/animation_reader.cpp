// The animation reader.
#include "animation/animation_reader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/format.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;
using hmi::Variant;

namespace {

// Targets whose values are positions, sizes or angles.
bool IsScaledProperty(std::string_view property) {
  static constexpr std::string_view kScaled[] = {"Width",  "HorizontalPosition", "StartX",
                                                 "EndX",   "Height",             "VerticalPosition",
                                                 "StartY", "RotationAngle",      "EndY"};
  for (std::string_view name : kScaled) {
    if (property == name) return true;
  }
  return false;
}

// Names are compared as views: a name of another length is told apart
// without looking at its letters.
bool Same(std::string_view text, std::string_view name) { return text == name; }

bool IsOneOf(std::string_view text, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (text == name) return true;
  }
  return false;
}

// Appends `text` as "%s" writes it (up to a NUL it may hold), and numbers as
// "%d" writes them: the pieces of a record put together without printf.
void AppendText(std::string* out, const std::string& text) { out->append(text.c_str()); }
void AppendNumber(std::string* out, long number) { AppendInteger(out, number); }

std::string UntilTab(const std::string& text) { return text.substr(0, text.find('\t')); }

// A value as it may stand in a record: an empty one would be lost and pair
// every key after it with the wrong value, so it is one blank, as the
// generic property reading writes empty values.
std::string Field(const std::string& text) { return text.empty() ? std::string(" ") : text; }

// Appends Field(text) as AppendText does, without a copy of the text.
void AppendField(std::string* out, const std::string& text) {
  if (text.empty()) {
    *out += ' ';
  } else {
    AppendText(out, text);
  }
}

// A value as text for `property`: converted as the property's own values
// are, or formatted plainly when the property needs no conversion.
std::string ValueFor(PictureReader* reader, const std::string& property, const Variant& value) {
  std::string text;
  if (!reader->ConvertSpecialProperty(property, value, &text)) FormatValue(value, 0.0f, &text);
  const size_t tab = text.find('\t');
  if (tab != std::string::npos) text.resize(tab);
  return text;
}

// The full name of an animation on line `line` of a text: "l" and the line
// number go before the last "." (Pic.Text1.Lookup1 -> Pic.Text1l2.Lookup1).
std::string LineFullName(const std::string& full_name, int line) {
  size_t dot = full_name.rfind('.');
  if (dot == std::string::npos) return full_name + StringF("l%d", line);
  return full_name.substr(0, dot) + StringF("l%d", line) + full_name.substr(dot);
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Blanks appended to an alarm status text in a lookup table.
int StatusPadding(std::string_view status) {
  struct Row {
    std::string_view status;
    int blanks;
  };
  static const Row kRows[] = {
      {"COS", 1},   {"CFN", 1},    {"DEV", 1},    {"FLT", 1},     {"FLD READ", 1},
      {"OK", 2},    {"LO", 2},     {"HI", 2},     {"DEVICE", 2},  {"ACCESS", 2},
      {"SQL CMD", 2}, {"UNDER", 3}, {"RANGE", 3},  {"OVER", 4},    {"COMM", 4},
      {"IOF", 5},   {"OCD", 5},
  };
  for (const Row& row : kRows) {
    if (status == row.status) return row.blanks;
  }
  return 0;
}

bool IsNumeric(hmi::VARTYPE type) {
  return type == hmi::VT_I2 || type == hmi::VT_I4 || type == hmi::VT_R4 || type == hmi::VT_R8 ||
         type == hmi::VT_UI1 || type == hmi::VT_BOOL;
}

double NumberOf(const Variant& value) {
  double number = 0.0;
  return hmi::RealOf(value, &number) ? number : 0.0;
}

// The value of `key` in a parsed record, or empty.
std::string ValueOf(const PropertyMap& record, const std::string& key) {
  const std::string* value = record.Find(key);
  return value != nullptr ? *value : std::string();
}

// Whether an item "ParentUniformScale" of `record` is followed (past TABs)
// by the item "-1". A record whose ParentUniformScale pair reads -1 has
// one; the others, nearly all, are told by this search alone.
bool HasUniformScaleItem(const std::string& record) {
  static constexpr std::string_view kKey = "ParentUniformScale";
  const char* const text = record.data();
  const size_t size = record.size();
  for (size_t from = 0; from + kKey.size() < size;) {
    const void* found = memmem(text + from, size - from, kKey.data(), kKey.size());
    if (found == nullptr) return false;
    const size_t start = static_cast<size_t>(static_cast<const char*>(found) - text);
    size_t value = start + kKey.size();
    if ((start == 0 || text[start - 1] == '\t') && value < size && text[value] == '\t') {
      while (value < size && text[value] == '\t') ++value;
      if (record.compare(value, 2, "-1") == 0 && (value + 2 == size || text[value + 2] == '\t')) {
        return true;
      }
    }
    from = start + 1;
  }
  return false;
}

std::string NameOf(hmi::IHmiObject* object, HRESULT* hr) {
  std::string name;
  *hr = object->Name(&name);
  return NameText(name);
}

}  // namespace

int AnimationReader::ReportUnsupported(PictureReader* reader, const std::string& name, int id) {
  reader->Warn(id == -1 ? std::string() : name + reader->Text(id), kSeveritySevere);
  return 1;
}

bool AnimationReader::AppendParentInfo(PictureReader* reader, hmi::IHmiObject* animation,
                                       hmi::IHmiObject* parent, std::string* text) {
  ComPtr<hmi::IHmiObject> owner(parent);
  if (!owner && (hmi::Failed(animation->Parent(&owner)) || !owner)) return false;
  std::string category, name, class_name;
  if (hmi::Failed(owner->Category(&category)) || hmi::Failed(owner->Name(&name)) ||
      hmi::Failed(owner->ClassName(&class_name))) {
    return false;
  }
  category = RecordText(category);
  name = reader->PageName(owner.get(), name);
  class_name = RecordText(class_name);
  int uniform = 0;
  if (category == reader->Text(kResShapeCategory) && !Same(class_name, "Pen")) {
    Variant value, flag;
    if (hmi::Failed(owner->PropertyValue("UniformScale", &value)) ||
        hmi::Failed(hmi::ChangeType(value, hmi::VT_BOOL, &flag))) {
      return false;
    }
    uniform = flag.bool_val();
  }
  *text += "\tParentCategory\t";
  AppendField(text, category);
  *text += "\tParentName\t";
  AppendField(text, name);
  *text += "\tParentUniformScale\t";
  AppendNumber(text, uniform);
  *text += "\tParentClassName\t";
  AppendField(text, class_name);
  if (Same(class_name, "Bitmap")) {
    ComPtr<hmi::IHmiBitmap> bitmap;
    int32_t count = 0;
    int16_t secondary = 0;
    if (hmi::Failed(owner.As(&bitmap)) || hmi::Failed(bitmap->ImageCount(&count)) ||
        hmi::Failed(bitmap->SecondaryImageDisplayed(&secondary))) {
      return false;
    }
    AppendF(text, "\tParentImageCount\t%d\tSecondaryImageDisplayed\t%d", count, secondary);
  } else if (Same(class_name, "Pen")) {
    ComPtr<hmi::IHmiPen> pen;
    int32_t index = 0;
    std::string full_name;
    if (hmi::Failed(owner.As(&pen)) || hmi::Failed(pen->PenIndex(&index)) ||
        hmi::Failed(pen->FullName(&full_name))) {
      return false;
    }
    AppendF(text, "\tParentPenIndex\t%d\tParentFullName\t%s", index,
            reader->PageFullName(full_name).c_str());
  }
  return true;
}

void AnimationReader::AppendScaleRange(PictureReader* reader, std::string* record,
                                       const std::string& property) {
  if (!IsScaledProperty(property)) return;
  std::string low, high;
  reader->ConvertSpecialProperty(property, Variant::R8(-32768.0), &low);
  reader->ConvertSpecialProperty(property, Variant::R8(32767.0), &high);
  AppendF(record, "\tinMin\t%ld\tinMax\t%ld\toutMin\t%s\toutMax\t%s", -32768L, 32767L,
          low.c_str(), high.c_str());
}

void AnimationReader::AppendGroupScale(PictureReader* reader, std::string* record) {
  *record += "\tParentShape\t";
  AppendField(record, shape_.class_name);
  *record += "\tIsGroupScale\t0";
  ComPtr<hmi::IHmiObject>& shape = reader->document()->animation_shape;
  if (!Same(shape_.class_name, "Group") || shape_.flag != 1 ||
      !IsOneOf(shape_.property, {"HorizontalPosition", "VerticalPosition"}) || !shape) {
    return;
  }
  Variant value;
  if (hmi::Failed(shape->PropertyValue(shape_.property, &value))) {
    reader->log()->WriteLogLine(reader->Text(kResGroupPositionFailed), kLogWarning);
    return;
  }
  // Only the first animation of a group's position is made relative.
  shape = nullptr;
  std::string text;
  if (reader->ConvertSpecialProperty(shape_.property, value, &text)) {
    *record += "\tParentShapeDefVal\t" + UntilTab(text) + "\t";
    SetRecordProperty(record, "IsGroupScale", "1", 1);
  }
}

int AnimationReader::ReadConnections(PictureReader* reader, hmi::IHmiObject* object) {
  int32_t count = 0;
  if (hmi::Failed(object->ConnectionCount(&count)) || count <= 0) return 0;
  std::string full_name;
  if (hmi::Failed(object->FullyQualifiedName(&full_name))) {
    reader->log()->WriteLogLine(reader->Text(kResObjectIdentityFailed), kLogWarning);
    return 1;
  }
  full_name = NameText(full_name);
  const std::string shape_category = reader->Text(kResShapeCategory);
  const std::string animation_category = reader->Text(kResAnimationCategory);
  const int flag_on_entry = shape_.flag;

  for (int32_t index = 1; index <= count; ++index) {
    hmi::HmiConnection connection;
    if (hmi::Failed(object->ConnectionInfo(index, &connection))) {
      reader->log()->WriteLogLine(reader->Text(kResConnectionFailed), kLogWarning);
      return 1;
    }
    const std::string property = RecordText(connection.property);
    std::string class_name, name, category;
    if (hmi::Failed(object->ClassName(&class_name)) || hmi::Failed(object->Name(&name)) ||
        hmi::Failed(object->Category(&category))) {
      reader->log()->WriteLogLine(reader->Text(kResObjectIdentityFailed), kLogWarning);
      return 1;
    }
    class_name = RecordText(class_name);
    name = NameText(name);
    if (Same(class_name, "Pen") && !Same(property, "PenLineColor") &&
        !Same(property, "PenLineWidth")) {
      continue;
    }
    if (category == shape_category) {
      shape_.property = property;
      shape_.class_name = class_name;
      reader->document()->animation_shape = ComPtr<hmi::IHmiObject>(object);
      shape_.flag = 1;
    } else {
      shape_.flag = flag_on_entry;
    }

    const hmi::SafeArray* sources =
        (connection.objects.vt() & hmi::VT_ARRAY) != 0 ? connection.objects.array() : nullptr;
    if (sources == nullptr) continue;
    int32_t low = 0, high = -1;
    if (hmi::Failed(sources->GetLBound(1, &low)) || hmi::Failed(sources->GetUBound(1, &high))) {
      continue;
    }
    const bool feeds_animation = Same(property, "InputValue") && category == animation_category;
    bool data_item_read = false;
    for (int32_t i = low; i <= high; ++i) {
      Variant element;
      if (hmi::Failed(sources->GetElement(i, &element)) || element.vt() != hmi::VT_DISPATCH ||
          !element.dispatch()) {
        continue;
      }
      ComPtr<hmi::IHmiObject> source;
      std::string source_class;
      if (hmi::Failed(element.dispatch().As(&source)) ||
          hmi::Failed(source->ClassName(&source_class))) {
        continue;
      }
      int result = 0;
      if (IsOneOf(source_class, {"Lookup", "Linear", "Format", "GlobalSysInfo"})) {
        if (feeds_animation) continue;
        if (Same(source_class, "Lookup")) {
          result = ReadLookup(reader, source.get(), object, property);
        } else if (Same(source_class, "Linear")) {
          result = ReadLinear(reader, source.get(), object, property);
        } else if (Same(source_class, "Format")) {
          result = ReadFormat(reader, source.get(), object, property);
        } else {
          const std::string prefix =
              "PropertyName\t" + Field(property) + "\tFullyQualifiedSource\t" +
              Field(RecordText(connection.full_source)) + "\tFullyQualifiedName\t" +
              reader->PageFullName(full_name) + "." + property;
          result = ReadGlobalSysInfo(reader, source.get(), object, prefix, property);
        }
      } else {
        if (data_item_read || category != shape_category) continue;
        data_item_read = true;
        const std::string prefix = "ClassName\tCOpcDataItem\tPropertyName\t" +
                                   Field(property) + "\tFullyQualifiedSource\t" +
                                   Field(RecordText(connection.full_source)) +
                                   "\tParentFullName\t" + Field(full_name);
        result = ReadOpcDataItem(reader, source.get(), object, prefix, property);
      }
      if (result == 1) reader->log()->FlushObject(class_name, name);
    }
  }
  return 0;
}

int AnimationReader::ReadGlobalSysInfo(PictureReader* reader, hmi::IHmiObject* info,
                                       hmi::IHmiObject* parent, const std::string& prefix,
                                       const std::string& property) {
  ComPtr<hmi::IHmiGlobalSysInfo> system;
  if (hmi::Failed(Query(info, &system))) return ReportUnsupported(reader, property, kResNoSystemValue);
  std::string name;
  if (hmi::Failed(system->Name(&name))) {
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  ProcessState* state = reader->process_state();
  const int number = state != nullptr ? state->system_values++ : 0;
  const std::string record_name = NameText(name) + StringF("%d", number);
  std::string record = prefix;
  AppendF(&record, "\tName\t%s\tClassName\t%s\tParentProperty\t%s", record_name.c_str(),
          "GlobalSysInfo", Field(shape_.property).c_str());
  // The parent's class lets the page check that the target can be animated.
  std::string parent_class;
  if (parent != nullptr && hmi::Succeeded(parent->ClassName(&parent_class))) {
    record += "\tParentClassName\t" + RecordText(parent_class);
  }
  AppendGroupScale(reader, &record);
  AppendScaleRange(reader, &record, shape_.property);
  AddRecord(reader->picture_map(), "GlobalSysInfo", record_name, record);
  AppendToSequence(reader->picture_map(), "GlobalSysInfo", record_name, kAnimationSequence);
  return 0;
}

int AnimationReader::ReadOpcDataItem(PictureReader* reader, hmi::IHmiObject*, hmi::IHmiObject*,
                                     const std::string& prefix, const std::string& property) {
  ProcessState* state = reader->process_state();
  const int number = state != nullptr ? state->data_items++ : 1;
  const std::string record_name = StringF("COPCDataItem-%d", number);
  std::string record = prefix;
  AppendScaleRange(reader, &record, property);
  AppendGroupScale(reader, &record);
  AddRecord(reader->picture_map(), "COPCDataItem", record_name, record);
  AppendToSequence(reader->picture_map(), "COPCDataItem", record_name, kAnimationSequence);
  return 0;
}

int AnimationReader::ReadVariable(PictureReader* reader, hmi::IHmiObject* variable,
                                  const std::string& message_name) {
  if (variable == nullptr) return ReportUnsupported(reader, message_name, kResNoVariable);
  HRESULT hr;
  const std::string name = NameOf(variable, &hr);
  if (hmi::Failed(hr)) return ReportUnsupported(reader, message_name, kResPropertyReadFailed);
  AppendToObjectList(reader->picture_map(), name, "Variable");
  shape_.property = "CurrentValue";
  ReadConnections(reader, variable);
  return 0;
}

int AnimationReader::ReadPen(PictureReader* reader, hmi::IHmiObject* pen,
                             const std::string& extra) {
  if (pen == nullptr) {
    reader->log()->WriteLogLine(reader->Text(kResNoPen), kLogWarning);
    return 1;
  }
  ComPtr<hmi::IHmiObject> held(pen);
  HRESULT hr;
  const std::string name = NameOf(pen, &hr);
  if (hmi::Failed(hr)) {
    reader->log()->WriteLogLine(reader->Text(kResPenReadFailed), kLogWarning);
    return 1;
  }
  std::string record;
  reader->ReadProperties(pen, &record);
  if (!AppendParentInfo(reader, pen, nullptr, &record)) {
    reader->log()->WriteLogLine(reader->Text(kResPenReadFailed), kLogWarning);
    return 1;
  }
  record += extra;
  AddRecord(reader->picture_map(), "Pen", name, record);
  AppendToSequence(reader->picture_map(), "Pen", name, kAnimationSequence);
  ReadConnections(reader, pen);
  return 0;
}

int AnimationReader::StartRecord(PictureReader* reader, hmi::IHmiObject* object,
                                 hmi::IHmiObject* parent, const std::string& property,
                                 std::string* record, std::string* name) {
  reader->ReadProperties(object, record);
  HRESULT hr;
  *name = NameOf(object, &hr);
  if (hmi::Failed(hr)) return ReportUnsupported(reader, property, kResPropertyReadFailed);
  if (!AppendParentInfo(reader, object, parent, record)) {
    return ReportUnsupported(reader, property, kResParentReadFailed);
  }
  return 0;
}

int AnimationReader::ReadLookup(PictureReader* reader, hmi::IHmiObject* object,
                                hmi::IHmiObject* parent, const std::string& property) {
  ComPtr<hmi::IHmiLookup> lookup;
  if (hmi::Failed(Query(object, &lookup))) return ReportUnsupported(reader, property, kResNoLookup);
  std::string record, name;
  if (int failed = StartRecord(reader, object, parent, property, &record, &name)) return failed;

  int32_t count = 0;
  if (hmi::Failed(lookup->LevelCount(&count))) {
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  ComPtr<hmi::IHmiLookup> table = lookup;
  if (count == 0) {
    // The levels are those of a lookup in another document.
    std::string owner;
    ComPtr<hmi::IHmiObject> shared;
    if (hmi::Failed(lookup->SharedTable(&owner)) ||
        reader->FindExternalObject(owner, &shared) != 0 || !shared) {
      reader->ReleaseExternalDocument();
      return ReportUnsupported(reader, property, kResSharedTableNotFound);
    }
    std::string shared_class;
    if (hmi::Failed(shared->ClassName(&shared_class)) || shared_class != "Lookup" ||
        hmi::Failed(shared.As(&table))) {
      reader->ReleaseExternalDocument();
      return ReportUnsupported(reader, property, kResSharedTableNotLookup);
    }
  }
  int16_t toggles = 0, exact = 0;
  int32_t type = 0;
  float tolerance = 0.0f;
  std::string source;
  if (hmi::Failed(table->OutputToggles(&toggles)) || hmi::Failed(lookup->SourceDataType(&type)) ||
      hmi::Failed(table->ExactMatch(&exact)) || hmi::Failed(table->LevelCount(&count)) ||
      hmi::Failed(table->Tolerance(&tolerance))) {
    reader->ReleaseExternalDocument();
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  lookup->Source(&source);
  bool exact_table = exact != 0;
  if (tolerance != 0.0f) {
    if (exact_table && type != hmi::VT_BSTR) {
      exact_table = false;
    } else {
      tolerance = 0.0f;
    }
  }
  record += "\tPropertyName\t";
  AppendField(&record, property);
  record += "\tSourceDataType\t";
  AppendNumber(&record, type);
  record += "\tOutputToggles\t";
  AppendNumber(&record, toggles != 0 ? 1 : 0);
  record += "\tParentProperty\t";
  AppendField(&record, shape_.property);
  const std::string output_property =
      IsOneOf(property, {"InputValue", "HiInValue", "LoInValue", "CurrentValue"})
          ? property
          : shape_.property;
  SetRecordProperty(&record, "Count", std::to_string(count), 1);
  SetRecordProperty(&record, "ExactMatch", exact_table ? "-1" : "0", 1);

  const std::string status_source = TrimRight(ToUpper(source));
  const bool status_table = EndsWith(status_source, "A_CUALM") ||
                            EndsWith(status_source, "A_LAALM") ||
                            EndsWith(status_source, "A_CHALM");
  for (int32_t i = 1; i <= count; ++i) {
    Variant input, output, input2, toggle;
    if (hmi::Failed(table->Level(i, &input, &output, &input2, &toggle))) continue;
    std::string in1, in2;
    if (tolerance != 0.0f && input.vt() != hmi::VT_BSTR) {
      Variant value = input;
      if (input.vt() == hmi::VT_I2 || input.vt() == hmi::VT_I4) {
        value = Variant::R4(static_cast<float>(NumberOf(input)));
      }
      FormatValue(value, -tolerance, &in1);
      FormatValue(value, tolerance, &in2);
    } else {
      if (tolerance == 0.0f && i == 1 && !exact_table) {
        // The first range starts just below its stored bound.
        if (input.vt() == hmi::VT_R4) input = Variant::R4(input.r4() - 0.001f);
        if (input.vt() == hmi::VT_R8) input = Variant::R8(input.r8() - 0.001);
      }
      if (input.vt() == hmi::VT_BSTR && status_table) {
        std::string status = TrimRight(ToUpper(input.bstr()));
        status += std::string(static_cast<size_t>(StatusPadding(status)), ' ');
        // Quoted as the writer quotes texts, so that a quote inside stays inside.
        QuoteString(&status);
        input = Variant::Bstr(status);
      }
      FormatValue(input, 0.0f, &in1);
      FormatValue(input2, 0.0f, &in2);
      if (input.vt() == input2.vt() && IsNumeric(input.vt()) &&
          NumberOf(input) > NumberOf(input2)) {
        std::swap(in1, in2);
      }
    }
    if (in1 == " ") in1 = "0";
    if (in2 == " ") in2 = "0";
    const std::string out1 = ValueFor(reader, output_property, output);
    const std::string out2 = ValueFor(reader, output_property, toggle);
    const std::pair<const char*, const std::string*> fields[] = {
        {".in1\t", &in1}, {".in2\t", &in2}, {".out1\t", &out1}, {".out2\t", &out2}};
    for (const auto& field : fields) {
      record += "\tLvl";
      AppendNumber(&record, i);
      record += field.first;
      AppendText(&record, *field.second);
    }
  }
  reader->ReleaseExternalDocument();

  // The default output is in the same units as the levels' outputs.
  static constexpr std::string_view kDefaultOutputPair = "\tDefaultOutputValue\t";
  Variant default_output;
  if (hmi::Succeeded(object->PropertyValue("DefaultOutputValue", &default_output)) &&
      memmem(record.data(), record.size(), kDefaultOutputPair.data(),
             kDefaultOutputPair.size()) != nullptr) {
    SetRecordProperty(&record, "DefaultOutputValue",
                      ValueFor(reader, output_property, default_output), 0);
  }
  AppendGroupScale(reader, &record);
  int result = RegisterLines(reader, parent, "Lookup", name, &record, LineNames::kChain,
                             /*needs_font_size=*/false, nullptr);
  AddUniformScaleCompanion(reader, parent, "Lookup", record);
  ReadConnections(reader, object);
  return result;
}

int AnimationReader::RegisterLines(PictureReader* reader, hmi::IHmiObject* parent,
                                   const std::string& kind, const std::string& name,
                                   std::string* record, LineNames names, bool needs_font_size,
                                   const LineAdjust& adjust) {
  int result = 0;
  int32_t lines = 0, font_size = 0;
  std::string parent_class;
  if (parent == nullptr || hmi::Failed(parent->ClassName(&parent_class))) {
    reader->Warn("ClassName", kSeveritySevere);
    result = kReadWithWarnings;
  } else if (Same(parent_class, "Text")) {
    ComPtr<hmi::IHmiText> text;
    if (hmi::Failed(Query(parent, &text)) || hmi::Failed(text->NumberOfLines(&lines))) {
      reader->Warn("NumberOfLines", kSeveritySevere);
      result = kReadWithWarnings;
      lines = 0;
    } else if (needs_font_size && hmi::Failed(text->FontSize(&font_size))) {
      reader->Warn("FontSize", kSeveritySevere);
      result = kReadWithWarnings;
      lines = 0;
    }
  }
  if (lines < 2) {
    AddRecord(reader->picture_map(), kind, name, *record);
    AppendToSequence(reader->picture_map(), kind, name, kAnimationSequence);
    return result;
  }
  const std::string full_name = RecordValueOf(*record, "FullyQualifiedName");
  std::string line_name = name;
  for (int line = lines - 1; line >= 0; --line) {
    const std::string line_full_name = LineFullName(full_name, line);
    if (adjust) adjust(line, lines, font_size, record);
    SetRecordProperty(record, "FullyQualifiedName", line_full_name, 1);
    if (names == LineNames::kChain) {
      line_name += StringF("%d", line);
      SetRecordProperty(record, "Name", line_name, 1);
    }
    AddRecord(reader->picture_map(), kind, line_full_name, *record);
    AppendToSequence(reader->picture_map(), kind, line_full_name, kAnimationSequence);
  }
  return result;
}

int AnimationReader::ReadLinear(PictureReader* reader, hmi::IHmiObject* object,
                                hmi::IHmiObject* parent, const std::string& property) {
  ComPtr<hmi::IHmiLinear> linear;
  if (hmi::Failed(Query(object, &linear))) return ReportUnsupported(reader, property, kResNoLinear);
  std::string record, name;
  if (int failed = StartRecord(reader, object, parent, property, &record, &name)) return failed;
  int32_t offset_flag = 0, type = 0;
  if (hmi::Failed(linear->Offset(&offset_flag)) || hmi::Failed(linear->SourceDataType(&type))) {
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  double offset = 0.0;
  if (offset_flag == 1) {
    Variant current, number;
    if (parent == nullptr || hmi::Failed(parent->PropertyValue(property, &current)) ||
        hmi::Failed(hmi::ChangeType(current, hmi::VT_R8, &number))) {
      return ReportUnsupported(reader, property, kResPropertyReadFailed);
    }
    offset = number.r8();
  }
  AppendF(&record, "	PropertyName	%s	SourceDataType	%d	ParentProperty	%s",
          Field(property).c_str(), type, Field(shape_.property).c_str());

  std::string output_property = property;
  std::string parent_category;
  if (parent == nullptr || hmi::Failed(parent->Category(&parent_category))) {
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  if (parent_category != reader->Text(kResShapeCategory)) {
    if ((Same(property, "LoOutValue") || Same(property, "HiOutValue")) && shape_.flag == 1) {
      output_property = shape_.property;
    } else {
      shape_.flag = 0;
    }
  }
  // The output limits, in the units of the property they drive.
  double limits[2] = {0.0, 0.0};
  const char* limit_names[2] = {"LoOutValue", "HiOutValue"};
  for (int i = 0; i < 2; ++i) {
    Variant value, number;
    if (hmi::Failed(object->PropertyValue(limit_names[i], &value)) ||
        hmi::Failed(hmi::ChangeType(value, hmi::VT_R8, &number))) {
      return ReportUnsupported(reader, property, kResPropertyReadFailed);
    }
    limits[i] = number.r8();
  }
  for (int i = 0; i < 2; ++i) {
    SetRecordProperty(&record, limit_names[i],
                      ValueFor(reader, output_property, Variant::R8(limits[i] + offset)), 1);
  }
  AppendGroupScale(reader, &record);

  auto per_line = [&](int line, int lines, int font_size, std::string* line_record) {
    for (int i = 0; i < 2; ++i) {
      double value = limits[i];
      if (Same(property, "VerticalPosition")) value += (lines - line - 1) * font_size * 0.12;
      SetRecordProperty(line_record, limit_names[i],
                        ValueFor(reader, output_property, Variant::R8(value)), 1);
    }
  };
  int result = RegisterLines(reader, parent, "Linear", name, &record, LineNames::kChain,
                             /*needs_font_size=*/true, per_line);
  AddUniformScaleCompanion(reader, parent, "Linear", record);
  ReadConnections(reader, object);
  return result;
}

int AnimationReader::ReadFormat(PictureReader* reader, hmi::IHmiObject* object,
                                hmi::IHmiObject* parent, const std::string& property) {
  ComPtr<hmi::IHmiFormat> format;
  if (hmi::Failed(Query(object, &format))) return ReportUnsupported(reader, property, kResNoFormat);
  HRESULT hr;
  const std::string name = NameOf(object, &hr);
  int32_t type = 0;
  if (hmi::Failed(hr) || hmi::Failed(format->SourceDataType(&type))) {
    return ReportUnsupported(reader, property, kResPropertyReadFailed);
  }
  std::string record;
  reader->ReadProperties(object, &record);
  if (!AppendParentInfo(reader, object, parent, &record)) {
    return ReportUnsupported(reader, property, kResParentReadFailed);
  }
  AppendGroupScale(reader, &record);
  AppendF(&record, "	PropertyName	%s	SourceDataType	%d	ParentProperty	%s",
          Field(property).c_str(), type, Field(shape_.property).c_str());
  AppendScaleRange(reader, &record, property);
  return RegisterLines(reader, parent, "Format", name, &record, LineNames::kKeep,
                       /*needs_font_size=*/false, nullptr);
}

void AnimationReader::AddUniformScaleCompanion(PictureReader* reader, hmi::IHmiObject* parent,
                                               const std::string& kind,
                                               const std::string& record) {
  if (!HasUniformScaleItem(record)) return;
  // Three values of the record, read in one pass without parsing it into a map.
  std::string_view values[3];
  RecordValuesOf(record, {"PropertyName", "ParentCategory", "ParentUniformScale"}, values);
  if (values[2] != "-1" || values[1] != reader->Text(kResShapeCategory) ||
      !IsOneOf(values[0], {"Width", "HorizontalScalePercentage", "Height",
                           "VerticalScalePercentage"})) {
    return;
  }
  const std::string property(values[0]);
  const bool horizontal = property == "Width" || property == "HorizontalScalePercentage";
  const std::string companion = horizontal ? "VerticalScalePercentage" : "HorizontalScalePercentage";
  const std::string dimension = horizontal ? "Height" : "Width";
  auto fail = [reader]() {
    reader->log()->WriteLogLine(reader->Text(kResCompanionFailed), kLogWarning);
  };

  Variant value, number;
  if (parent == nullptr || hmi::Failed(parent->PropertyValue(property, &value)) ||
      hmi::Failed(hmi::ChangeType(value, hmi::VT_R8, &number))) {
    return fail();
  }
  const double current = std::strtod(ValueFor(reader, property, number).c_str(), nullptr);
  if (current == 0.0) return fail();

  int16_t companion_connected = 0, dimension_connected = 0;
  int32_t unused_index = 0, unused_count = 0;
  if (hmi::Failed(parent->IsConnected(companion, &companion_connected, &unused_index,
                                      &unused_count)) ||
      hmi::Failed(parent->IsConnected(dimension, &dimension_connected, &unused_index,
                                      &unused_count))) {
    return fail();
  }
  if (companion_connected == -1 || dimension_connected == -1) return;

  PropertyMap parsed;
  ParseRecord(record, &parsed);
  std::string copy = record;
  if (property == "Width" || property == "Height") {
    // The copy drives the other axis's scale percentage: each output v (in
    // pixels) becomes v * 100 / the animated dimension's current pixels.
    std::vector<std::string> keys;
    if (kind == "Lookup") {
      long count = std::strtol(ValueOf(parsed, "Count").c_str(), nullptr, 10);
      for (long i = 1; i <= count && i <= 100000; ++i) {
        keys.push_back(StringF("Lvl%ld.out1", i));
        keys.push_back(StringF("Lvl%ld.out2", i));
      }
      keys.push_back("DefaultOutputValue");
    } else {
      keys = {"LoOutValue", "HiOutValue"};
    }
    for (const std::string& key : keys) {
      const std::string* output = parsed.Find(key);
      if (output == nullptr || *output == " ") continue;
      char* end = nullptr;
      const double v = std::strtod(output->c_str(), &end);
      if (end == output->c_str()) return fail();
      SetRecordProperty(&copy, key, StringF("%g", v * 100.0 / current), 0);
    }
  }
  ProcessState* state = reader->process_state();
  const std::string name = ValueOf(parsed, "Name");
  const std::string copy_name =
      name + StringF("-%d", state != nullptr ? state->companions++ : 1);
  std::string full_name = ValueOf(parsed, "FullyQualifiedName");
  size_t at = full_name.rfind(name);
  if (!name.empty() && at != std::string::npos) full_name.replace(at, name.size(), copy_name);
  SetRecordProperty(&copy, "Name", copy_name, 1);
  SetRecordProperty(&copy, "FullyQualifiedName", full_name, 1);
  SetRecordProperty(&copy, "PropertyName", companion, 1);
  SetRecordProperty(&copy, "ParentProperty", companion, 1);
  AddRecord(reader->picture_map(), kind, copy_name, copy);
  AppendToSequence(reader->picture_map(), kind, copy_name, kAnimationSequence);
}

}  // namespace quillon
