// The stand-in document's objects: what each automation operation answers,
// and the failures injected by the document.
#include "hmi/document.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

#include "hmi/document_loader.h"
#include "hmi/latin1.h"
#include "hmi/png_image.h"

namespace quillon {
namespace standin {

using hmi::DISP_E_BADINDEX;
using hmi::DISP_E_BADPARAMCOUNT;
using hmi::DISP_E_MEMBERNOTFOUND;
using hmi::DISP_E_OVERFLOW;
using hmi::DISP_E_TYPEMISMATCH;
using hmi::DISP_E_UNKNOWNNAME;
using hmi::E_ACCESSDENIED;
using hmi::E_FAIL;
using hmi::E_NOINTERFACE;
using hmi::E_OUTOFMEMORY;
using hmi::E_POINTER;
using hmi::E_UNEXPECTED;
using hmi::S_OK;

namespace {

std::atomic<int> g_live_objects{0};

constexpr hmi::DISPID kComponentDispatchId = 1;
constexpr hmi::DISPID kColumnHeadingsId = 2;

struct RefusalName {
  const char* name;
  InterfaceId iid;
};

constexpr RefusalName kRefusalNames[] = {
    {"Object", InterfaceId::kHmiObject},
    {"Dispatch", InterfaceId::kDispatch},
    {"Picture", InterfaceId::kHmiPicture},
    {"PictureWindow", InterfaceId::kHmiPictureWindow},
    {"PersistStorage", InterfaceId::kPersistStorage},
    {"Geometry", InterfaceId::kHmiGeometry},
    {"Text", InterfaceId::kHmiText},
    {"DataLinkSource", InterfaceId::kHmiDataLinkSource},
    {"Polygon", InterfaceId::kHmiPolygon},
    {"Polyline", InterfaceId::kHmiPolyline},
    {"Arc", InterfaceId::kHmiArc},
    {"Pie", InterfaceId::kHmiPie},
    {"Bitmap", InterfaceId::kHmiBitmap},
    {"Chart", InterfaceId::kHmiChart},
    {"Pen", InterfaceId::kHmiPen},
    {"OleControl", InterfaceId::kHmiOleControl},
    {"Lookup", InterfaceId::kHmiLookup},
    {"Linear", InterfaceId::kHmiLinear},
    {"Format", InterfaceId::kHmiFormat},
    {"GlobalSysInfo", InterfaceId::kHmiGlobalSysInfo},
    {"Collection", InterfaceId::kHmiObjectCollection},
};

// The contents of an object, a chart's pens or a data link's sources.
class Collection final : public SimpleDispatchObject<hmi::IHmiObjectCollection> {
 public:
  Collection(ComPtr<hmi::IUnknown> owner, std::vector<Node*> items, const Failures* failures)
      : owner_(std::move(owner)), items_(std::move(items)), failures_(failures) {}

  bool Refuses(InterfaceId iid) const override { return failures_->Refuses(iid); }

  HRESULT Count(int32_t* count) override {
    if (failures_->Fails("Count")) return E_FAIL;
    *count = static_cast<int32_t>(items_.size());
    return S_OK;
  }
  HRESULT Item(const Variant& index, ComPtr<hmi::IDispatch>* item) override {
    Variant number;
    HRESULT hr = hmi::ChangeType(index, hmi::VT_I4, &number);
    if (hmi::Failed(hr)) return DISP_E_TYPEMISMATCH;
    int32_t i = number.i4();
    if (failures_->FailsAt("Item", i)) return E_FAIL;
    if (i < 1 || static_cast<size_t>(i) > items_.size()) return DISP_E_BADINDEX;
    *item = ComPtr<hmi::IDispatch>(items_[static_cast<size_t>(i) - 1]->dispatch());
    return S_OK;
  }

 private:
  ~Collection() override = default;

  ComPtr<hmi::IUnknown> owner_;  // keeps the items' document alive
  std::vector<Node*> items_;
  const Failures* failures_;  // the owner's
};

// A point handed out by a shape.
class PointObject final : public SimpleDispatchObject<hmi::IHmiPoint> {
 public:
  PointObject(ComPtr<hmi::IUnknown> owner, double x, double y, bool fail_x, bool fail_y)
      : owner_(std::move(owner)), x_(x), y_(y), fail_x_(fail_x), fail_y_(fail_y) {}

  HRESULT X(double* x) override {
    if (fail_x_) return E_FAIL;
    *x = x_;
    return S_OK;
  }
  HRESULT Y(double* y) override {
    if (fail_y_) return E_FAIL;
    *y = y_;
    return S_OK;
  }

 private:
  ~PointObject() override = default;

  ComPtr<hmi::IUnknown> owner_;
  double x_;
  double y_;
  bool fail_x_;
  bool fail_y_;
};

}  // namespace

bool NumberOf(const Variant& value, double* number, bool read_texts) {
  switch (value.vt()) {
    case hmi::VT_I2:
      *number = value.i2();
      return true;
    case hmi::VT_I4:
      *number = value.i4();
      return true;
    case hmi::VT_UI1:
      *number = value.ui1();
      return true;
    case hmi::VT_R4:
      *number = value.r4();
      return true;
    case hmi::VT_R8:
      *number = value.r8();
      return true;
    case hmi::VT_BSTR:
      return read_texts && hmi::TextToNumber(value.bstr(), number);
    default:
      return false;
  }
}

int LiveObjectCount() { return g_live_objects.load(); }

LiveObject::LiveObject() { ++g_live_objects; }

LiveObject::~LiveObject() { --g_live_objects; }

Failures& Failures::operator=(const Failures& other) {
  if (this == &other) return *this;
  refused_ = other.refused_;
  failed_ = other.failed_ ? std::make_unique<OperationSet>(*other.failed_) : nullptr;
  return *this;
}

void Failures::Fail(std::string operation) {
  if (!failed_) failed_ = std::make_unique<OperationSet>();
  failed_->insert(std::move(operation));
}

bool Failures::Listed(std::string_view operation) const {
  return failed_->find(operation) != failed_->end();
}

bool Failures::FailsAt(std::string_view operation, int32_t index) const {
  if (!failed_) return false;
  return Fails(operation) || Fails(std::string(operation) + ":" + std::to_string(index));
}

namespace {

// A fast hash of a text, eight bytes at a time: texts are looked up for
// every property name and text value a document loads.
uint64_t HashText(std::string_view text) {
  const char* bytes = text.data();
  const size_t size = text.size();
  uint64_t hash = 0x9E3779B97F4A7C15ULL ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 32;
  }
  if (i < size) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + i, size - i);
    hash = (hash ^ word) * 0xC4CEB9FE1A85EC53ULL;
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDULL;
  hash ^= hash >> 29;
  return hash;
}

}  // namespace

size_t TextTable::SlotOf(std::string_view text, uint64_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
    const uint32_t held = slots_[slot];
    if (held == 0) return slot;
    const uint32_t number = held - 1;
    if (hashes_[number] == hash && texts_[number] == text) return slot;
  }
}

void TextTable::Grow() {
  std::vector<uint32_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
  const size_t mask = slots.size() - 1;
  for (uint32_t number = 0; number < hashes_.size(); ++number) {
    size_t slot = static_cast<size_t>(hashes_[number]) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = number + 1;
  }
  slots_.swap(slots);
}

uint32_t TextTable::Add(std::string_view text) {
  if ((texts_.size() + 1) * 2 > slots_.size()) Grow();
  const uint64_t hash = HashText(text);
  const size_t slot = SlotOf(text, hash);
  if (slots_[slot] != 0) return slots_[slot] - 1;
  const auto number = static_cast<uint32_t>(texts_.size());
  // A deque keeps its elements where they are as it grows: a reference to
  // a text stays valid.
  texts_.emplace_back(text);
  hashes_.push_back(hash);
  slots_[slot] = number + 1;
  return number;
}

uint32_t TextTable::Find(std::string_view text) const {
  if (slots_.empty()) return kAbsent;
  const size_t slot = SlotOf(text, HashText(text));
  return slots_[slot] == 0 ? kAbsent : slots_[slot] - 1;
}

void TextTable::Clear() {
  slots_.clear();
  hashes_.clear();
  texts_.clear();
}

bool InterfaceFromRefusalName(const std::string& name, InterfaceId* iid) {
  for (const RefusalName& entry : kRefusalNames) {
    if (name == entry.name) {
      *iid = entry.iid;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Node

Node::Node(Document* document, Node* owner)
    : document_(document),
      owner_(owner),
      class_name_(document->Intern("")),
      category_(class_name_) {}

Node::~Node() = default;

void Node::Clear() {
  class_name_ = category_ = document_->Intern("");
  name_.clear();
  full_name_.clear();
  properties_.clear();
  next_property_ = 0;
  children_.clear();
  failures_ = Failures();
  rare_.reset();
  connections_.clear();
  rotation_point_[0] = rotation_point_[1] = 0.0;
  center_point_[0] = center_point_[1] = 0.0;
  angle_unit_ = 0;
  points_.clear();
  pen_index_ = 0;
  is_data_link_source_ = false;
  levels_.clear();
  output_toggles_ = 0;
  exact_match_ = true;
  tolerance_ = 0.0f;
  source_data_type_ = 5;
  offset_ = 0;
}

const Node::Rare& Node::rare() const {
  static const Rare kNone;
  return rare_ ? *rare_ : kNone;
}

Node::Rare& Node::MutableRare() {
  if (!rare_) rare_ = std::make_unique<Rare>();
  return *rare_;
}

const std::string& Node::NameOf(const Property& property) const {
  return document_->texts_[property.name];
}

namespace {

// Texts compared with names as views: a text of another length is told
// apart without looking at its letters.
bool Same(std::string_view text, std::string_view name) { return text == name; }

int32_t StoredInteger(const StoredValue& value) {
  int32_t number;
  std::memcpy(&number, value.words, sizeof number);
  return number;
}

}  // namespace

Variant Node::ValueOf(const StoredValue& value) const {
  Variant out;
  ValueInto(value, &out);
  return out;
}

void Node::ValueInto(const StoredValue& value, Variant* out) const {
  switch (value.form) {
    case StoredValue::kText:
      out->SetBstr(document_->texts_[value.words[0]]);
      return;
    case StoredValue::kOther:
      *out = document_->other_values_[value.words[0]];
      return;
    case StoredValue::kObjectName:
      out->SetBstr(name_);
      return;
    case StoredValue::kObjectClass:
      out->SetBstr(*class_name_);
      return;
    case StoredValue::kObjectFullName:
      out->SetBstr(full_name_);
      return;
    default:
      break;
  }
  switch (value.vt) {
    case hmi::VT_I2:
      out->SetI2(static_cast<int16_t>(StoredInteger(value)));
      return;
    case hmi::VT_I4:
      out->SetI4(StoredInteger(value));
      return;
    case hmi::VT_UI1:
      out->SetUI1(static_cast<uint8_t>(StoredInteger(value)));
      return;
    case hmi::VT_BOOL:
      out->SetBool(StoredInteger(value) != 0);
      return;
    case hmi::VT_R4: {
      float number;
      std::memcpy(&number, value.words, sizeof number);
      out->SetR4(number);
      return;
    }
    case hmi::VT_R8: {
      double number;
      std::memcpy(&number, value.words, sizeof number);
      out->SetR8(number);
      return;
    }
    default:
      out->Clear();
      return;
  }
}

bool Node::IsShape() const { return Same(*category_, "Shape") && !Same(*class_name_, "Pen"); }

const Image* Node::ShownImage() const {
  Variant current, secondary;
  double image = 0.0, shows_secondary = 0.0;
  if (hmi::Failed(FindProperty("CurrentImage", &current)) || !NumberOf(current, &image)) {
    return nullptr;
  }
  if (hmi::Succeeded(FindProperty("SecondaryImageDisplayed", &secondary))) {
    NumberOf(secondary, &shows_secondary);
  }
  long index = std::lround(image);
  const std::vector<ImagePair>& images = rare().images;
  if (index < 1 || static_cast<size_t>(index) > images.size()) return nullptr;
  const ImagePair& pair = images[static_cast<size_t>(index) - 1];
  const std::optional<Image>& shown = shows_secondary != 0.0 ? pair.secondary : pair.primary;
  return shown ? &*shown : nullptr;
}

Node* Node::FindByName(const std::string& name) {
  auto search = [&name](const std::vector<Node*>& nodes) -> Node* {
    for (Node* node : nodes) {
      if (EqualsIgnoringCase(node->name_, name) || EqualsIgnoringCase(node->full_name_, name)) {
        return node;
      }
      if (Node* found = node->FindByName(name)) return found;
    }
    return nullptr;
  };
  if (Node* found = search(children_)) return found;
  if (rare_) {
    if (Node* found = search(rare_->pens)) return found;
  }
  for (const Connection& connection : connections_) {
    if (Node* found = search(connection.objects)) return found;
  }
  return nullptr;
}

uint32_t Node::AddRef() { return document_->AddRef(); }

uint32_t Node::Release() { return document_->Release(); }

bool Node::Offers(InterfaceId iid) const {
  switch (iid) {
    case InterfaceId::kUnknown:
    case InterfaceId::kDispatch:
    case InterfaceId::kHmiObject:
      return true;
    case InterfaceId::kHmiGeometry:
      return IsShape();
    case InterfaceId::kHmiText:
      return Same(*class_name_, "Text") || Same(*class_name_, "DataLink");
    case InterfaceId::kHmiDataLinkSource:
      return is_data_link_source_;
    case InterfaceId::kHmiPolygon:
      return Same(*class_name_, "Polygon");
    case InterfaceId::kHmiPolyline:
      return Same(*class_name_, "PolyLine");
    case InterfaceId::kHmiArc:
      return Same(*class_name_, "Arc");
    case InterfaceId::kHmiPie:
      return Same(*class_name_, "Pie");
    case InterfaceId::kHmiBitmap:
      return Same(*class_name_, "Bitmap");
    case InterfaceId::kHmiChart:
      return Same(*class_name_, "Chart");
    case InterfaceId::kHmiPen:
      return Same(*class_name_, "Pen");
    case InterfaceId::kHmiOleControl:
      return Same(*class_name_, "OleObject") || rare().prog_id.has_value();
    case InterfaceId::kHmiLookup:
      return Same(*class_name_, "Lookup");
    case InterfaceId::kHmiLinear:
      return Same(*class_name_, "Linear");
    case InterfaceId::kHmiFormat:
      return Same(*class_name_, "Format");
    case InterfaceId::kHmiGlobalSysInfo:
      return Same(*class_name_, "GlobalSysInfo");
    default:
      return false;
  }
}

HRESULT Node::QueryInterface(InterfaceId iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (is_root_) {
    switch (iid) {
      case InterfaceId::kOleObject:
      case InterfaceId::kPersistStorage:
      case InterfaceId::kHmiPicture:
      case InterfaceId::kHmiPictureWindow:
        return document_->QueryInterface(iid, object);
      default:
        break;
    }
  }
  if (!Offers(iid) || failures_.Refuses(iid)) return E_NOINTERFACE;
  switch (iid) {
    case InterfaceId::kUnknown:
      *object = static_cast<hmi::IUnknown*>(static_cast<hmi::IHmiObject*>(this));
      break;
    case InterfaceId::kDispatch:
      *object = dispatch();
      break;
    case InterfaceId::kHmiObject:
      *object = static_cast<hmi::IHmiObject*>(this);
      break;
    case InterfaceId::kHmiGeometry:
      *object = static_cast<hmi::IHmiGeometry*>(this);
      break;
    case InterfaceId::kHmiText:
      *object = static_cast<hmi::IHmiText*>(this);
      break;
    case InterfaceId::kHmiDataLinkSource:
      *object = static_cast<hmi::IHmiDataLinkSource*>(this);
      break;
    case InterfaceId::kHmiPolygon:
      *object = static_cast<hmi::IHmiPolygon*>(this);
      break;
    case InterfaceId::kHmiPolyline:
      *object = static_cast<hmi::IHmiPolyline*>(this);
      break;
    case InterfaceId::kHmiArc:
      *object = static_cast<hmi::IHmiArc*>(this);
      break;
    case InterfaceId::kHmiPie:
      *object = static_cast<hmi::IHmiPie*>(this);
      break;
    case InterfaceId::kHmiBitmap:
      *object = static_cast<hmi::IHmiBitmap*>(this);
      break;
    case InterfaceId::kHmiChart:
      *object = static_cast<hmi::IHmiChart*>(this);
      break;
    case InterfaceId::kHmiPen:
      *object = static_cast<hmi::IHmiPen*>(this);
      break;
    case InterfaceId::kHmiOleControl:
      *object = static_cast<hmi::IHmiOleControl*>(this);
      break;
    case InterfaceId::kHmiLookup:
      *object = static_cast<hmi::IHmiLookup*>(this);
      break;
    case InterfaceId::kHmiLinear:
      *object = static_cast<hmi::IHmiLinear*>(this);
      break;
    case InterfaceId::kHmiFormat:
      *object = static_cast<hmi::IHmiFormat*>(this);
      break;
    case InterfaceId::kHmiGlobalSysInfo:
      *object = static_cast<hmi::IHmiGlobalSysInfo*>(this);
      break;
    default:
      return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT Node::GetIDsOfNames(const std::string& name, hmi::LCID, hmi::DISPID* dispid) {
  if (EqualsIgnoringCase(name, "GetQevComponentDispatch")) {
    *dispid = kComponentDispatchId;
    return S_OK;
  }
  if (rare().column_headings && EqualsIgnoringCase(name, "GetColHeadings")) {
    *dispid = kColumnHeadingsId;
    return S_OK;
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT Node::Invoke(hmi::DISPID dispid, hmi::LCID, uint16_t flags,
                     const std::vector<Variant>& args, Variant* result) {
  if (!(flags & hmi::DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const char* operation = nullptr;
  hmi::VARTYPE out_type = hmi::VT_EMPTY;
  if (dispid == kComponentDispatchId) {
    operation = "GetQevComponentDispatch";
    out_type = hmi::VT_DISPATCH;
  } else if (dispid == kColumnHeadingsId && rare().column_headings) {
    operation = "GetColHeadings";
    out_type = hmi::VT_BSTR;
  } else {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
  if (args[0].vt() != (hmi::VT_BYREF | out_type) || !args[0].byref()) return DISP_E_TYPEMISMATCH;
  if (failures_.Fails(operation)) return E_FAIL;
  if (out_type == hmi::VT_DISPATCH) {
    *args[0].byref() = Variant::Dispatch(ComPtr<hmi::IDispatch>(dispatch()));
  } else {
    *args[0].byref() = Variant::Bstr(*rare().column_headings);
  }
  if (result) result->Clear();
  return S_OK;
}

HRESULT Node::Name(std::string* name) {
  if (failures_.Fails("Name")) return E_FAIL;
  *name = name_;
  return S_OK;
}

HRESULT Node::ClassName(std::string* class_name) {
  if (failures_.Fails("ClassName")) return E_FAIL;
  *class_name = *class_name_;
  return S_OK;
}

HRESULT Node::Category(std::string* category) {
  if (failures_.Fails("Category")) return E_FAIL;
  *category = *category_;
  return S_OK;
}

HRESULT Node::FullyQualifiedName(std::string* full_name) {
  if (failures_.Fails("FullyQualifiedName")) return E_FAIL;
  *full_name = full_name_;
  return S_OK;
}

ComPtr<hmi::IDispatch> Node::MakeCollection(const std::vector<Node*>& items) {
  auto collection = hmi::MakeCom<Collection>(ComPtr<hmi::IUnknown>(object()), items, &failures_);
  return ComPtr<hmi::IDispatch>(collection.get());
}

ComPtr<hmi::IHmiPoint> Node::MakePoint(double x, double y, bool fail_x, bool fail_y) {
  auto point = hmi::MakeCom<PointObject>(ComPtr<hmi::IUnknown>(object()), x, y, fail_x, fail_y);
  return ComPtr<hmi::IHmiPoint>(point.get());
}

HRESULT Node::ContainedObjects(ComPtr<hmi::IDispatch>* objects) {
  if (failures_.Fails("ContainedObjects")) return E_FAIL;
  *objects = MakeCollection(children_);
  return S_OK;
}

HRESULT Node::ObjectByName(const std::string& name, ComPtr<hmi::IHmiObject>* object) {
  if (failures_.Fails("ObjectByName")) return E_FAIL;
  Node* found = FindByName(name);
  if (!found) return DISP_E_MEMBERNOTFOUND;
  *object = ComPtr<hmi::IHmiObject>(found);
  return S_OK;
}

HRESULT Node::PropertyNames(Variant* names) {
  if (failures_.Fails("PropertyNames")) return E_FAIL;
  *names = document_->NameArray(properties_);
  return S_OK;
}

HRESULT Node::FindProperty(const std::string& name, Variant* value) const {
  // Callers mostly ask for the properties in the order PropertyNames lists
  // them: the one after the last one found is tried first, by its text (no
  // two properties of an object have the same name).
  if (next_property_ < properties_.size()) {
    const Property& next = properties_[next_property_];
    if (NameOf(next) == name) {
      ++next_property_;
      ValueInto(next.value, value);
      return S_OK;
    }
  }
  // A name the document does not hold is no object's property.
  const uint32_t number = document_->texts_.Find(name);
  if (number != TextTable::kAbsent) {
    for (size_t i = 0; i < properties_.size(); ++i) {
      if (properties_[i].name == number) {
        next_property_ = static_cast<uint32_t>(i + 1);
        ValueInto(properties_[i].value, value);
        return S_OK;
      }
    }
  }
  if (IsShape()) {
    if (Same(name, "UniformScale")) {
      *value = Variant::Bool(false);
      return S_OK;
    }
    if (Same(name, "EdgeStyle")) {
      *value = Variant::I4(0);
      return S_OK;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT Node::PropertyValue(const std::string& name, Variant* value) {
  if (failures_.Fails(name)) return E_FAIL;
  return FindProperty(name, value);
}

HRESULT Node::SetNamed(const std::string& name, const Variant& value) {
  if (failures_.Fails(name)) return E_FAIL;
  const uint32_t number = document_->texts_.Find(name);
  if (number == TextTable::kAbsent) return DISP_E_MEMBERNOTFOUND;
  for (Property& property : properties_) {
    if (property.name == number) {
      if (property.read_only()) return E_ACCESSDENIED;
      property.value = document_->Store(value, &property.value);
      return S_OK;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT Node::SetPropertyValue(const std::string& name, const Variant& value) {
  return SetNamed(name, value);
}

HRESULT Node::NamedInteger(const std::string& name, int64_t low, int64_t high, int64_t* value) {
  Variant raw;
  HRESULT hr = PropertyValue(name, &raw);
  if (hmi::Failed(hr)) return hr;
  double number = 0.0;
  if (!NumberOf(raw, &number)) return DISP_E_TYPEMISMATCH;
  double rounded = std::round(number);  // halves away from zero
  if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high))) {
    return DISP_E_OVERFLOW;
  }
  *value = static_cast<int64_t>(rounded);
  return S_OK;
}

HRESULT Node::NamedInt32(const std::string& name, int32_t* value) {
  int64_t number = 0;
  HRESULT hr = NamedInteger(name, INT32_MIN, INT32_MAX, &number);
  if (hmi::Succeeded(hr)) *value = static_cast<int32_t>(number);
  return hr;
}

HRESULT Node::NamedInt16(const std::string& name, int16_t* value) {
  int64_t number = 0;
  HRESULT hr = NamedInteger(name, INT16_MIN, INT16_MAX, &number);
  if (hmi::Succeeded(hr)) *value = static_cast<int16_t>(number);
  return hr;
}

HRESULT Node::NamedReal(const std::string& name, double* value) {
  Variant raw;
  HRESULT hr = PropertyValue(name, &raw);
  if (hmi::Failed(hr)) return hr;
  if (!NumberOf(raw, value)) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

HRESULT Node::NamedText(const std::string& name, std::string* value) {
  Variant raw;
  HRESULT hr = PropertyValue(name, &raw);
  if (hmi::Failed(hr)) return hr;
  if (raw.vt() == hmi::VT_BSTR) {  // a text is its own text
    *value = raw.bstr();
    return S_OK;
  }
  Variant text;
  hr = hmi::ChangeType(raw, hmi::VT_BSTR, &text);
  if (hmi::Failed(hr)) return hr;
  *value = text.bstr();
  return S_OK;
}

HRESULT Node::ConnectionCount(int32_t* count) {
  if (failures_.Fails("ConnectionCount")) return E_FAIL;
  *count = static_cast<int32_t>(connections_.size());
  return S_OK;
}

HRESULT Node::ConnectionInfo(int32_t index, hmi::HmiConnection* connection) {
  if (failures_.FailsAt("ConnectionInfo", index)) return E_FAIL;
  const std::vector<Connection>& connections = connections_;
  if (index < 1 || static_cast<size_t>(index) > connections.size()) return DISP_E_BADINDEX;
  const Connection& source = connections[static_cast<size_t>(index) - 1];
  std::vector<ComPtr<hmi::IDispatch>> objects;
  objects.reserve(source.objects.size());
  for (Node* node : source.objects) objects.emplace_back(node->dispatch());
  connection->property = source.property;
  connection->source = source.source;
  connection->full_source = source.full_source;
  connection->objects = hmi::MakeObjectArray(objects);
  return S_OK;
}

HRESULT Node::Parent(ComPtr<hmi::IHmiObject>* parent) {
  if (failures_.Fails("Parent")) return E_FAIL;
  if (!owner_) return E_FAIL;
  *parent = ComPtr<hmi::IHmiObject>(owner_);
  return S_OK;
}

HRESULT Node::IsConnected(const std::string& property, int16_t* connected, int32_t* index,
                          int32_t* source_count) {
  if (failures_.Fails("ConnectionQuery")) return E_FAIL;
  const std::vector<Connection>& connections = connections_;
  for (size_t i = 0; i < connections.size(); ++i) {
    if (connections[i].property == property) {
      *connected = hmi::VARIANT_TRUE;
      *index = static_cast<int32_t>(i + 1);
      *source_count = static_cast<int32_t>(connections[i].objects.size());
      return S_OK;
    }
  }
  *connected = hmi::VARIANT_FALSE;
  *index = 0;
  *source_count = 0;
  return S_OK;
}

HRESULT Node::RotationPoint(ComPtr<hmi::IHmiPoint>* point) {
  if (failures_.Fails("RotationPoint")) return E_FAIL;
  *point = MakePoint(rotation_point_[0], rotation_point_[1], failures_.Fails("RotationPoint.x"),
                     failures_.Fails("RotationPoint.y"));
  return S_OK;
}

HRESULT Node::CenterPoint(ComPtr<hmi::IHmiPoint>* point) {
  if (failures_.Fails("CenterPoint")) return E_FAIL;
  *point = MakePoint(center_point_[0], center_point_[1], failures_.Fails("CenterPoint.x"),
                     failures_.Fails("CenterPoint.y"));
  return S_OK;
}

HRESULT Node::AngleUnit(int32_t* unit) {
  if (failures_.Fails("AngleUnit")) return E_FAIL;
  *unit = angle_unit_;
  return S_OK;
}

HRESULT Node::EdgeWidth(double* width) { return NamedReal("EdgeWidth", width); }

HRESULT Node::MaxCharactersPerLine(int32_t* count) {
  return NamedInt32("MaxCharactersPerLine", count);
}

HRESULT Node::NumberOfLines(int32_t* count) { return NamedInt32("NumberOfLines", count); }

HRESULT Node::FontSize(int32_t* size) { return NamedInt32("FontSize", size); }

HRESULT Node::Caption(std::string* caption) { return NamedText("Caption", caption); }

HRESULT Node::VerticalPosition(double* y) { return NamedReal("VerticalPosition", y); }

HRESULT Node::Height(double* height) { return NamedReal("Height", height); }

HRESULT Node::Format(std::string* format) {
  if (failures_.Fails("DataLinkFormat")) return E_FAIL;
  *format = rare().data_link_format;
  return S_OK;
}

HRESULT Node::DataEntry(int16_t* mode) {
  if (failures_.Fails("DataEntry")) return E_FAIL;
  *mode = rare().data_entry;
  return S_OK;
}

HRESULT Node::NumberOfPoints(int32_t* count) {
  if (failures_.Fails("NumberOfPoints")) return E_FAIL;
  *count = static_cast<int32_t>(points_.size());
  return S_OK;
}

HRESULT Node::Point(int32_t index, ComPtr<hmi::IHmiPoint>* point) {
  if (failures_.FailsAt("Point", index)) return E_FAIL;
  if (index < 0 || static_cast<size_t>(index) >= points_.size()) return DISP_E_BADINDEX;
  const auto& [x, y] = points_[static_cast<size_t>(index)];
  *point =
      MakePoint(x, y, failures_.FailsAt("Point.x", index), failures_.FailsAt("Point.y", index));
  return S_OK;
}

HRESULT Node::StartX(double* value) { return NamedReal("StartX", value); }
HRESULT Node::StartY(double* value) { return NamedReal("StartY", value); }
HRESULT Node::CenterX(double* value) { return NamedReal("CenterX", value); }
HRESULT Node::CenterY(double* value) { return NamedReal("CenterY", value); }
HRESULT Node::EndX(double* value) { return NamedReal("EndX", value); }
HRESULT Node::EndY(double* value) { return NamedReal("EndY", value); }

HRESULT Node::ImageCount(int32_t* count) {
  if (failures_.Fails("ImageCount")) return E_FAIL;
  Variant given;
  if (hmi::Succeeded(FindProperty("ImageCount", &given))) return NamedInt32("ImageCount", count);
  *count = static_cast<int32_t>(rare().images.size());
  return S_OK;
}

HRESULT Node::CurrentImage(int16_t* image) { return NamedInt16("CurrentImage", image); }

// "CurrentImage:N" fails only setting image N, "SecondaryImageDisplayed:N"
// only setting state N; the getters are not affected.
HRESULT Node::SetCurrentImage(int16_t image) {
  if (failures_.Fails("CurrentImage:" + std::to_string(image))) return E_FAIL;
  return SetNamed("CurrentImage", Variant::I2(image));
}

// The state is a short like the image number: a JSON true is no number and
// fails the call, and what is set is read back as set.
HRESULT Node::SecondaryImageDisplayed(int16_t* displayed) {
  return NamedInt16("SecondaryImageDisplayed", displayed);
}

HRESULT Node::SetSecondaryImageDisplayed(int16_t displayed) {
  if (failures_.Fails("SecondaryImageDisplayed:" + std::to_string(displayed))) return E_FAIL;
  return SetNamed("SecondaryImageDisplayed", Variant::I2(displayed));
}

// "Select:-1" fails only selecting, "Select:0" only deselecting.
HRESULT Node::SetSelected(int16_t selected) {
  if (failures_.FailsAt("Select", selected != 0 ? -1 : 0)) return E_FAIL;
  if (selected != 0) {
    document_->set_selected(this);
  } else if (document_->selected() == this) {
    document_->set_selected(nullptr);
  }
  return S_OK;
}

HRESULT Node::Pens(ComPtr<hmi::IDispatch>* pens) {
  if (failures_.Fails("Pens")) return E_FAIL;
  *pens = MakeCollection(rare().pens);
  return S_OK;
}

HRESULT Node::ValueGridColor(int32_t* color) {
  if (failures_.Fails("ValueGridColor")) return E_FAIL;
  const std::optional<int32_t>& given = rare().value_grid_color;
  if (!given) return DISP_E_MEMBERNOTFOUND;
  *color = *given;
  return S_OK;
}

HRESULT Node::TimeGridColor(int32_t* color) {
  if (failures_.Fails("TimeGridColor")) return E_FAIL;
  const std::optional<int32_t>& given = rare().time_grid_color;
  if (!given) return DISP_E_MEMBERNOTFOUND;
  *color = *given;
  return S_OK;
}

HRESULT Node::PenLineColor(int32_t* color) { return NamedInt32("PenLineColor", color); }

HRESULT Node::PenLineWidth(int32_t* width) { return NamedInt32("PenLineWidth", width); }

HRESULT Node::HiLimit(double* limit) { return NamedReal("HiLimit", limit); }

HRESULT Node::LoLimit(double* limit) { return NamedReal("LoLimit", limit); }

HRESULT Node::PenIndex(int32_t* index) {
  if (failures_.Fails("PenIndex")) return E_FAIL;
  if (pen_index_ == 0) return E_FAIL;  // not a pen of a chart
  *index = pen_index_;
  return S_OK;
}

HRESULT Node::FullName(std::string* full_name) {
  if (failures_.Fails("FullName")) return E_FAIL;
  *full_name = full_name_;
  return S_OK;
}

HRESULT Node::ProgID(std::string* prog_id) {
  if (failures_.Fails("ProgID")) return E_FAIL;
  const std::optional<std::string>& given = rare().prog_id;
  if (!given) return DISP_E_MEMBERNOTFOUND;
  *prog_id = *given;
  return S_OK;
}

HRESULT Node::LevelCount(int32_t* count) {
  if (failures_.Fails("LevelCount")) return E_FAIL;
  *count = static_cast<int32_t>(levels_.size());
  return S_OK;
}

HRESULT Node::Level(int32_t index, Variant* input, Variant* output, Variant* input2,
                    Variant* toggle_output) {
  if (failures_.FailsAt("Level", index)) return E_FAIL;
  if (index < 1 || static_cast<size_t>(index) > levels_.size()) return DISP_E_BADINDEX;
  const LookupLevel& level = levels_[static_cast<size_t>(index) - 1];
  ValueInto(level.input, input);
  ValueInto(level.output, output);
  ValueInto(level.input2, input2);
  ValueInto(level.toggle, toggle_output);
  return S_OK;
}

HRESULT Node::OutputToggles(int16_t* toggles) {
  if (failures_.Fails("OutputToggles")) return E_FAIL;
  *toggles = output_toggles_;
  return S_OK;
}

HRESULT Node::ExactMatch(int16_t* exact) {
  if (failures_.Fails("ExactMatch")) return E_FAIL;
  *exact = exact_match_ ? hmi::VARIANT_TRUE : hmi::VARIANT_FALSE;
  return S_OK;
}

HRESULT Node::Tolerance(float* tolerance) {
  if (failures_.Fails("Tolerance")) return E_FAIL;
  *tolerance = tolerance_;
  return S_OK;
}

HRESULT Node::SourceDataType(int32_t* type) {
  if (failures_.Fails("SourceDataType")) return E_FAIL;
  *type = source_data_type_;
  return S_OK;
}

HRESULT Node::Source(std::string* source) { return NamedText("Source", source); }

HRESULT Node::SharedTable(std::string* owner) {
  if (failures_.Fails("SharedTable")) return E_FAIL;
  *owner = rare().shared_table;
  return S_OK;
}

HRESULT Node::Offset(int32_t* offset) {
  if (failures_.Fails("Offset")) return E_FAIL;
  *offset = offset_;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Document

Document::Document(LoadOptions options) : options_(options) {
  root_ = NewNode(nullptr);
  root_->is_root_ = true;
  root_->class_name_ = root_->category_ = Intern("Picture");
}

Document::~Document() = default;

Node* Document::NewNode(Node* owner) {
  nodes_.push_back(std::make_unique<Node>(this, owner));
  return nodes_.back().get();
}

const std::string* Document::Intern(std::string_view text) { return &texts_[texts_.Add(text)]; }

Variant Document::NameArray(const std::vector<Property>& properties) {
  uint64_t hash = properties.size();
  for (const Property& property : properties) {
    hash = (hash ^ property.name) * 0x9E3779B97F4A7C15ULL;
    hash ^= hash >> 29;
  }
  auto same_names = [&properties](const std::vector<uint32_t>& names) {
    if (names.size() != properties.size()) return false;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] != properties[i].name) return false;
    }
    return true;
  };
  const auto range = name_arrays_.equal_range(hash);
  for (auto it = range.first; it != range.second; ++it) {
    if (same_names(it->second.names)) return it->second.array;
  }
  std::vector<std::string> texts;
  texts.reserve(properties.size());
  for (const Property& property : properties) texts.push_back(texts_[property.name]);
  Variant array = hmi::MakeStringArray(texts);
  if (name_arrays_.size() < kMaxNameArrays) {
    NameArrayEntry entry;
    entry.names.reserve(properties.size());
    for (const Property& property : properties) entry.names.push_back(property.name);
    entry.array = array;
    name_arrays_.emplace(hash, std::move(entry));
  }
  return array;
}

StoredValue Document::StoreText(std::string_view text) {
  StoredValue stored;
  stored.vt = hmi::VT_BSTR;
  stored.form = StoredValue::kText;
  stored.words[0] = texts_.Add(text);
  return stored;
}

StoredValue Document::Store(const Variant& value, const StoredValue* reuse) {
  // The slot of a value replaced by one of a plain type lets its references go.
  const bool had_slot = reuse != nullptr && reuse->form == StoredValue::kOther;
  switch (value.vt()) {
    case hmi::VT_EMPTY:
    case hmi::VT_I2:
    case hmi::VT_I4:
    case hmi::VT_UI1:
    case hmi::VT_BOOL:
    case hmi::VT_R4:
    case hmi::VT_R8:
    case hmi::VT_BSTR:
      if (had_slot) other_values_[reuse->words[0]].Clear();
      break;
    default:
      break;
  }
  StoredValue stored;
  stored.vt = value.vt();
  auto integer = [&stored](int32_t number) {
    std::memcpy(stored.words, &number, sizeof number);
    return stored;
  };
  switch (value.vt()) {
    case hmi::VT_EMPTY:
      return stored;
    case hmi::VT_I2:
      return integer(value.i2());
    case hmi::VT_I4:
      return integer(value.i4());
    case hmi::VT_UI1:
      return integer(value.ui1());
    case hmi::VT_BOOL:
      return integer(value.bool_val());
    case hmi::VT_R4: {
      const float number = value.r4();
      std::memcpy(stored.words, &number, sizeof number);
      return stored;
    }
    case hmi::VT_R8: {
      const double number = value.r8();
      std::memcpy(stored.words, &number, sizeof number);
      return stored;
    }
    case hmi::VT_BSTR:
      return StoreText(value.bstr());
    default:
      break;
  }
  // Objects, arrays, references: kept whole. A property set again keeps
  // its slot, so setting one repeatedly does not grow the document.
  stored.form = StoredValue::kOther;
  if (had_slot) {
    stored.words[0] = reuse->words[0];
    other_values_[stored.words[0]] = value;
  } else {
    stored.words[0] = static_cast<uint32_t>(other_values_.size());
    other_values_.push_back(value);
  }
  return stored;
}

void Document::Reset() {
  nodes_.resize(1);  // the root stays: it is the document's own object
  other_values_.clear();
  name_arrays_.clear();
  texts_.Clear();
  root_->Clear();
  root_->class_name_ = root_->category_ = Intern("Picture");
  selected_ = nullptr;
  width_ = 100.0;
  height_ = 75.0;
  background_color_ = 16777215;
  pixels_per_unit_[0] = pixels_per_unit_[1] = 1.0;
  loaded_ = false;
}

void Document::PresetRefusals(const std::vector<InterfaceId>& refusals) {
  for (InterfaceId iid : refusals) root_->failures_.Refuse(iid);
}

const std::string& Document::name() const { return root_->name_; }

ComPtr<hmi::IDispatch> Document::Dispatch() {
  return ComPtr<hmi::IDispatch>(static_cast<hmi::IHmiPicture*>(this));
}

ComPtr<hmi::IHmiPicture> Document::Picture() { return ComPtr<hmi::IHmiPicture>(this); }

ComPtr<hmi::IHmiObject> Document::Object() { return ComPtr<hmi::IHmiObject>(root_); }

uint32_t Document::AddRef() { return ++references_; }

uint32_t Document::Release() {
  uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT Document::QueryInterface(InterfaceId iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const Failures& failures = root_->failures_;
  if (failures.Refuses(iid)) return E_NOINTERFACE;
  switch (iid) {
    case InterfaceId::kUnknown:
      *object = static_cast<hmi::IUnknown*>(static_cast<hmi::IHmiPicture*>(this));
      break;
    case InterfaceId::kDispatch:
      *object = static_cast<hmi::IDispatch*>(static_cast<hmi::IHmiPicture*>(this));
      break;
    case InterfaceId::kOleObject:
      *object = static_cast<hmi::IOleObject*>(this);
      break;
    case InterfaceId::kPersistStorage:
      *object = static_cast<hmi::IPersistStorage*>(this);
      break;
    case InterfaceId::kHmiPicture:
      *object = static_cast<hmi::IHmiPicture*>(this);
      break;
    case InterfaceId::kHmiPictureWindow:
      *object = static_cast<hmi::IHmiPictureWindow*>(this);
      break;
    case InterfaceId::kHmiObject:
      if (!loaded_) return E_NOINTERFACE;
      return root_->QueryInterface(iid, object);
    default:
      return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT Document::GetIDsOfNames(const std::string&, hmi::LCID, hmi::DISPID*) {
  return DISP_E_UNKNOWNNAME;
}

HRESULT Document::Invoke(hmi::DISPID, hmi::LCID, uint16_t, const std::vector<Variant>&, Variant*) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT Document::LoadText(const std::string& text, const std::string& origin) {
  if (loaded_) return E_UNEXPECTED;
  Reset();
  std::string error;
  if (!LoadDocumentTree(text, origin, options_, this, &error)) {
    Reset();
    load_error_ = origin.empty() ? error : origin + ": " + error;
    hmi::SetErrorInfo(load_error_);
    return hmi::STG_E_INVALIDHEADER;
  }
  if (root_->failures_.Fails("Load")) {
    Reset();
    load_error_ = "the document is set to fail loading";
    hmi::SetErrorInfo(load_error_);
    return E_FAIL;
  }
  load_error_.clear();
  loaded_ = true;
  return S_OK;
}

HRESULT Document::Load(hmi::IStorage* storage) {
  if (!storage) return E_POINTER;
  if (loaded_) return E_UNEXPECTED;
  std::string path, contents;
  HRESULT hr = storage->Path(&path);
  if (hmi::Failed(hr)) return hr;
  // A document file the stand-in read whole is loaded from where it is held
  // (a picture's text is tens of megabytes).
  if (const auto* held = dynamic_cast<const HeldStorage*>(storage)) {
    return LoadText(held->held_contents(), path);
  }
  hr = storage->ReadContents(&contents);
  if (hmi::Failed(hr)) return hr;
  return LoadText(contents, path);
}

HRESULT Document::Name(std::string* name) {
  if (!loaded_) return E_UNEXPECTED;
  return root_->Name(name);
}

HRESULT Document::BackgroundColor(int32_t* color) {
  if (!loaded_) return E_UNEXPECTED;
  if (root_->failures_.Fails("BackgroundColor")) return E_FAIL;
  *color = background_color_;
  return S_OK;
}

HRESULT Document::Height(double* height) {
  if (!loaded_) return E_UNEXPECTED;
  if (root_->failures_.Fails("Height")) return E_FAIL;
  *height = height_;
  return S_OK;
}

HRESULT Document::Width(double* width) {
  if (!loaded_) return E_UNEXPECTED;
  if (root_->failures_.Fails("Width")) return E_FAIL;
  *width = width_;
  return S_OK;
}

HRESULT Document::LogicalToPixel(double x, double y, int32_t* pixel_x, int32_t* pixel_y) {
  if (!loaded_) return E_UNEXPECTED;
  if (root_->failures_.Fails("LogicalToPixel")) return E_FAIL;
  double px = std::round(x * pixels_per_unit_[0]);  // halves away from zero
  double py = std::round(y * pixels_per_unit_[1]);
  auto fits = [](double v) { return v >= INT32_MIN && v <= INT32_MAX; };
  if (!fits(px) || !fits(py)) return DISP_E_OVERFLOW;
  *pixel_x = static_cast<int32_t>(px);
  *pixel_y = static_cast<int32_t>(py);
  return S_OK;
}

HRESULT Document::ContainedObjects(ComPtr<hmi::IDispatch>* objects) {
  if (!loaded_) return E_UNEXPECTED;
  return root_->ContainedObjects(objects);
}

HRESULT Document::CopyToClipboard() {
  if (!loaded_) return E_UNEXPECTED;
  if (root_->failures_.Fails("CopyToClipboard")) return E_FAIL;
  if (!selected_) return E_FAIL;
  Clipboard* target = clipboard();
  target->Clear();
  const Image* shown = selected_->ShownImage();
  if (shown == nullptr) return S_OK;
  // An image beyond the converter's limits is not drawn: E_OUTOFMEMORY, and
  // the error information says why. An image file that cannot be drawn
  // leaves the clipboard empty, with its reason in the error information.
  if (shown->kind == Image::Kind::kPlain) {
    if (!ImageSizeAllowed(shown->width, shown->height)) {
      hmi::SetErrorInfo(ImageTooLargeText(shown->width, shown->height));
      return E_OUTOFMEMORY;
    }
    target->SetImage(PlainImage(shown->rgb, shown->width, shown->height));
    return S_OK;
  }
  if (!shown->refused.empty()) {
    hmi::SetErrorInfo(shown->refused);
    return S_OK;
  }
  RgbImage image;
  std::string error;
  bool too_large = false;
  if (ReadPngImage(shown->path, &image, &error, &too_large)) {
    target->SetImage(std::move(image));
  } else {
    hmi::SetErrorInfo(error);
    if (too_large) return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace standin
}  // namespace quillon
