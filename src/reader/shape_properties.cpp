// The generic property reading that every class reader starts with: every
// property of the object by name, positions and sizes in pixels, rotation
// angles in whole degrees, and the rotation offsets; plus the edge rules.
#include <algorithm>
#include <cmath>

#include "platform/format.h"
#include "reader/class_readers.h"
#include "reader/picture_reader.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;
using hmi::Variant;

namespace {

enum class Special { kNone, kHorizontal, kVertical, kAngle };

struct SpecialRow {
  std::string_view name;
  Special kind;
};

constexpr SpecialRow kSpecialProperties[] = {
    {"Width", Special::kHorizontal},     {"HorizontalPosition", Special::kHorizontal},
    {"StartX", Special::kHorizontal},    {"EndX", Special::kHorizontal},
    {"Height", Special::kVertical},      {"VerticalPosition", Special::kVertical},
    {"StartY", Special::kVertical},      {"EndY", Special::kVertical},
    {"RotationAngle", Special::kAngle},
};

// Truncates toward zero; a value outside the range of a long gives 0.
long TruncToLong(double value) {
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;
  return static_cast<long>(value);
}

double AsDouble(const Variant& value) {
  double number = 0.0;
  return hmi::RealOf(value, &number) ? number : 0.0;
}

// Appends `value` as "%g" writes it. "%g" writes a whole number of at
// most six digits as those digits alone, so such a number (nearly every
// value of a picture) is written as an integer, which is much quicker;
// -0 keeps its sign through the general way.
void AppendReal(std::string* out, double value) {
  if (value > -1e6 && value < 1e6 && value == std::trunc(value) &&
      !(value == 0.0 && std::signbit(value))) {
    AppendInteger(out, static_cast<long>(value));
    return;
  }
  AppendShortReal(out, value);
}

// Reads the object's angle unit; leaves the current one when it cannot.
HRESULT ReadAngleUnit(PictureReader* reader, hmi::IHmiGeometry* geometry) {
  int32_t unit = 0;
  HRESULT hr = geometry->AngleUnit(&unit);
  if (hmi::Succeeded(hr)) reader->set_angle_unit(unit == 1 ? kRadians : kDegrees);
  return hr;
}

// Reads the property names of `object` as texts; false (after reporting)
// when the list is not a list of texts or cannot be read whole.
bool PropertyNameList(PictureReader* reader, const Variant& names,
                      std::vector<std::string>* list) {
  if (names.vt() != (hmi::VT_ARRAY | hmi::VT_BSTR) || names.array() == nullptr) {
    reader->Report(reader->Text(kResPropertyNamesNotList));
    return false;
  }
  const hmi::SafeArray* array = names.array();
  int32_t lower = 0, upper = -1;
  if (hmi::Failed(array->GetLBound(1, &lower))) {
    reader->Report(reader->Text(kResLowerBoundFailed));
    return false;
  }
  if (hmi::Failed(array->GetUBound(1, &upper))) {
    reader->Report(reader->Text(kResUpperBoundFailed));
    return false;
  }
  for (int32_t i = lower; i <= upper; ++i) {
    Variant element;
    if (hmi::Failed(array->GetElement(i, &element)) || element.vt() != hmi::VT_BSTR) {
      reader->Report(reader->services().Text(kResPropertyNameFailed, {StringF("%d", i)}));
      list->clear();
      return false;
    }
    list->push_back(RecordText(element.bstr()));
  }
  return true;
}

}  // namespace

std::string RecordText(std::string text) {
  for (char& c : text) {
    if (c == '\t') c = ' ';
  }
  return text;
}

std::string NameText(std::string text) {
  for (char& c : text) {
    switch (c) {
      case ' ':
      case '(':
      case ')':
      case '"':
      case '\'':
      case '\t':
      case '\r':
      case '\n':
      case '\0':
      case '#':
        c = '_';
        break;
      default:
        break;
    }
  }
  return text.empty() ? std::string("_") : text;
}

long MulDiv(long a, long b, long c) {
  if (c == 0) return -1;
  long double exact = static_cast<long double>(a) * b / c;
  long double rounded = exact < 0 ? -std::floor(-exact + 0.5L) : std::floor(exact + 0.5L);
  return static_cast<long>(rounded);
}

int FormatValue(const Variant& value, float offset, std::string* text) {
  text->clear();
  AppendValue(value, offset, text);
  return 1;
}

void AppendValue(const Variant& value, float offset, std::string* text) {
  const size_t start = text->size();
  // Numbers as "%d", "%ld" and "%g" write them.
  switch (value.vt()) {
    case hmi::VT_I2:
      AppendInteger(text, value.i2() + static_cast<int>(offset));
      break;
    case hmi::VT_I4:
      AppendInteger(text, static_cast<long>(value.i4()) + static_cast<long>(offset));
      break;
    case hmi::VT_R4:
      AppendReal(text, static_cast<double>(value.r4() + offset));
      break;
    case hmi::VT_R8:
      AppendReal(text, value.r8() + offset);
      break;
    case hmi::VT_BSTR: {
      const size_t at = text->size();
      *text += value.bstr();
      // A TAB would split the record: it becomes a blank, as in RecordText.
      std::replace(text->begin() + static_cast<std::ptrdiff_t>(at), text->end(), '\t', ' ');
      break;
    }
    case hmi::VT_BOOL:
      AppendReal(text, static_cast<double>(value.bool_val() + offset));
      break;
    case hmi::VT_UI1:
      // A NUL or TAB byte cannot stand in a record.
      if (value.ui1() != 0) {
        const char c = static_cast<char>(value.ui1());
        *text += c == '\t' ? ' ' : c;
      }
      break;
    default:
      break;
  }
  if (text->size() == start) *text += ' ';
}

long PictureReader::ToPixel(double value, bool horizontal) {
  int32_t x = 0, y = 0;
  HRESULT hr = picture_interface_
                   ? picture_interface_->LogicalToPixel(horizontal ? value : 0.0,
                                                        horizontal ? 0.0 : value, &x, &y)
                   : hmi::E_POINTER;
  if (hmi::Failed(hr)) {
    Report(Text(kResPixelFailed));
    return 0;
  }
  return horizontal ? x : y;
}

int PictureReader::SpecialKindOf(std::string_view name) {
  // Names of another length are told apart without comparing their letters.
  for (const SpecialRow& row : kSpecialProperties) {
    if (name == row.name) return static_cast<int>(row.kind);
  }
  return static_cast<int>(Special::kNone);
}

int PictureReader::ConvertSpecialProperty(const std::string& name, const Variant& value,
                                          std::string* text) {
  return ConvertSpecial(SpecialKindOf(name), name, value, text);
}

int PictureReader::ConvertSpecial(int special, const std::string& name, const Variant& value,
                                  std::string* text) {
  const auto kind = static_cast<Special>(special);
  switch (kind) {
    case Special::kNone:
      return 0;
    case Special::kHorizontal:
    case Special::kVertical: {
      // A value that is no number is said under its object, never taken
      // silently as 0.
      double number = 0.0;
      if (!hmi::RealOf(value, &number)) {
        Variant shown;
        const std::string as_text =
            hmi::Succeeded(hmi::ChangeType(value, hmi::VT_BSTR, &shown)) ? shown.bstr() : "";
        Warn(name + ": the value \"" + as_text + "\" is not a number; 0 is written.",
             kSeverityWarning);
        number = 0.0;
      }
      text->clear();
      AppendInteger(text, ToPixel(number, kind == Special::kHorizontal));
      *text += '\t';
      return 1;
    }
    case Special::kAngle: {
      long angle = TruncToLong(-AsDouble(value));
      if (angle_unit_ == kRadians) angle = TruncToLong(static_cast<double>(angle) * kDegreeFactor);
      text->clear();
      AppendInteger(text, angle);
      *text += '\t';
      return 1;
    }
  }
  return 0;
}

std::shared_ptr<const PictureReader::PropertyNames> PictureReader::PropertyNamesOf(
    const Variant& names) {
  const bool text_array = names.vt() == (hmi::VT_ARRAY | hmi::VT_BSTR) && names.array() != nullptr;
  if (text_array) {
    auto found = name_lists_.find(names.array());
    if (found != name_lists_.end()) return found->second.names;
  }
  std::vector<std::string> list;
  if (!PropertyNameList(this, names, &list)) return nullptr;
  auto read = std::make_shared<PropertyNames>();
  read->reserve(list.size());
  for (std::string& text : list) {
    PropertyName name;
    name.special = SpecialKindOf(text);
    name.role = text == "Name"                 ? kObjectName
                : text == "FullyQualifiedName" ? kFullName
                                               : kPlainName;
    name.key = text + '\t';
    name.text = std::move(text);
    read->push_back(std::move(name));
  }
  // An array read whole reads the same every time: it is kept while few
  // arrays are.
  if (name_lists_.size() >= kMaxNameLists) name_lists_.clear();
  name_lists_[names.array()] = NameList{names.shared_array(), read};
  return read;
}

HRESULT PictureReader::ReadProperties(hmi::IHmiObject* object, std::string* record) {
  *record = "\t";
  // The object's own angle unit governs its own rotation angle.
  ComPtr<hmi::IHmiGeometry> geometry;
  if (hmi::Succeeded(Query(object, &geometry))) ReadAngleUnit(this, geometry.get());

  Variant names;
  HRESULT hr = object->PropertyNames(&names);
  if (hmi::Failed(hr)) {
    Warn(Text(kResPropertyNamesFailed), kSeverityWarning);
    return hr;
  }
  // Built in the reader's buffer, which keeps its room from record to
  // record, then copied once at its own size.
  std::string& built = record_buffer_;
  built.assign(1, '\t');
  if (const std::shared_ptr<const PropertyNames> list = PropertyNamesOf(names)) {
    std::string text;
    // One variant for every value: a value asked for replaces the whole of
    // the one before, and a text keeps the room of the text before.
    Variant value;
    for (const PropertyName& name : *list) {
      built += name.key;
      if (hmi::Failed(object->PropertyValue(name.text, &value))) value.Clear();
      if (name.special != 0 && ConvertSpecial(name.special, name.text, value, &text)) {
        built += text;
      } else if (name.role == kPlainName) {
        AppendValue(value, 0.0f, &built);
        built += '\t';
      } else {
        // Names as the page writes them (made safe, and unique on the page).
        const std::string* raw = &value.bstr();
        if (value.vt() != hmi::VT_BSTR) {
          FormatValue(value, 0.0f, &text);
          raw = &text;
        }
        text = name.role == kObjectName ? PageName(object, *raw) : PageFullName(*raw);
        built += text;
        built += '\t';
      }
    }
  }
  // The rotation block is appended when it is read (a failure to read the
  // angle unit at its end keeps it).
  if (geometry) AppendRotation(geometry.get(), &built);
  *record = built;
  return hr;
}

int PictureReader::ReadRotation(hmi::IHmiObject* object, std::string* text) {
  text->clear();
  ComPtr<hmi::IHmiGeometry> geometry;
  if (hmi::Failed(Query(object, &geometry))) return kReadWithWarnings;
  return AppendRotation(geometry.get(), text);
}

int PictureReader::AppendRotation(hmi::IHmiGeometry* geometry, std::string* out) {
  ComPtr<hmi::IHmiPoint> rotation_point, centre_point;
  if (hmi::Succeeded(geometry->RotationPoint(&rotation_point)) && rotation_point &&
      hmi::Succeeded(geometry->CenterPoint(&centre_point)) && centre_point) {
    double rx = 0, ry = 0, cx = 0, cy = 0;
    *out += '\t';
    const char* failed = hmi::Failed(rotation_point->X(&rx))  ? "x"
                         : hmi::Failed(rotation_point->Y(&ry)) ? "y"
                         : hmi::Failed(centre_point->X(&cx))   ? "CenterX"
                         : hmi::Failed(centre_point->Y(&cy))   ? "CenterY"
                                                               : nullptr;
    if (failed != nullptr) {
      Warn(failed, kSeveritySevere);
    } else {
      // Offsets that cannot be converted are reported and written as 0, as
      // every other pixel value that cannot be converted is.
      int32_t px = 0, py = 0;
      if (!picture_interface_ ||
          hmi::Failed(picture_interface_->LogicalToPixel(rx - cx, ry - cy, &px, &py))) {
        Report(Text(kResPixelFailed));
        px = py = 0;
      }
      *out += "rotateOffsetX\t";
      AppendInteger(out, static_cast<long>(px));
      *out += "\trotateOffsetY\t";
      AppendInteger(out, static_cast<long>(py));
      *out += '\t';
    }
  }
  HRESULT hr = ReadAngleUnit(this, geometry);
  return hmi::Failed(hr) ? 0 : hr;
}

HRESULT PictureReader::ApplyThinEdge(hmi::IHmiObject* object, std::string* record) {
  ComPtr<hmi::IHmiGeometry> geometry;
  HRESULT hr = Query(object, &geometry);
  if (hmi::Failed(hr)) return hr;
  double width = 0.0;
  hr = geometry->EdgeWidth(&width);
  if (hmi::Failed(hr)) return hr;
  if (ToPixel(width, false) < 4) SetRecordProperty(record, "EdgeWidth", "0", 0);
  return hr;
}

HRESULT PictureReader::ApplyInvisibleEdge(hmi::IHmiObject* object, std::string* record) {
  Variant style;
  HRESULT hr = object->PropertyValue("EdgeStyle", &style);
  if (hmi::Failed(hr)) {
    Warn("visibility", kSeveritySevere);
    return hr;
  }
  Variant number;
  if (hmi::Succeeded(hmi::ChangeType(style, hmi::VT_I4, &number)) && number.i4() == 5) {
    SetRecordProperty(record, "Visible", "0", 1);
  }
  return hr;
}

int ReadRect(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hr >= 0) reader->ApplyThinEdge(object, record);
  return hr;
}

int ReadOval(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return ReadRect(reader, object, record);
}

int ReadLine(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hr < 0) return hr;
  return reader->ApplyInvisibleEdge(object, record);
}

int ReadButton(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return reader->ReadProperties(object, record);
}

}  // namespace quillon
