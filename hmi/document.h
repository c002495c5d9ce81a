// The stand-in HMI's document: a picture document (or another HMI document)
// loaded once from its JSON form into a tree of objects that answers every
// automation operation of the converter from memory, with the failures the
// document asks for.
//
// Lifetime: a document and all its objects share one reference count, so a
// reference to any object keeps the whole document (and every object's
// parent) alive; the document is destroyed when the last reference to it or
// to one of its objects is released.
#ifndef QUILLON_HMI_DOCUMENT_H_
#define QUILLON_HMI_DOCUMENT_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/imaging.h"
#include "reader/hmi/automation.h"
#include "reader/hmi/host.h"

namespace quillon {
namespace standin {

using hmi::ComPtr;
using hmi::HRESULT;
using hmi::InterfaceId;
using hmi::Variant;

// Number of stand-in objects (documents, collections, points, storages,
// applications) alive in the process; lets tests check that every reference
// was released.
int LiveObjectCount();

// The number a value holds: numbers, and (with `read_texts`) texts that read
// as one. False for anything else.
bool NumberOf(const hmi::Variant& value, double* number, bool read_texts = true);

// A member that counts its stand-in object as alive while it exists.
class LiveObject {
 public:
  LiveObject();
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
  ~LiveObject();
};

// The reference counting, interface query and (empty) late binding of the
// stand-in's small objects that offer one interface. `Dispatch` says whether
// the object also answers as a dispatch interface. A subclass may refuse its
// interface by overriding Refuses.
template <class Interface, bool Dispatch = true>
class SimpleObject : public Interface {
 public:
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  hmi::HRESULT QueryInterface(hmi::InterfaceId iid, void** object) override {
    if (!object) return hmi::E_POINTER;
    *object = nullptr;
    const bool offered = iid == hmi::InterfaceId::kUnknown ||
                         (Dispatch && iid == hmi::InterfaceId::kDispatch) ||
                         (iid == Interface::kIid && !Refuses(iid));
    if (!offered) return hmi::E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return hmi::S_OK;
  }

 protected:
  ~SimpleObject() override = default;
  virtual bool Refuses(hmi::InterfaceId) const { return false; }

 private:
  LiveObject live_;
  uint32_t references_ = 0;
};

// Late binding that knows no member, for simple objects that are also
// dispatch interfaces.
template <class Interface>
class SimpleDispatchObject : public SimpleObject<Interface, true> {
 public:
  hmi::HRESULT GetIDsOfNames(const std::string&, hmi::LCID, hmi::DISPID*) override {
    return hmi::DISP_E_UNKNOWNNAME;
  }
  hmi::HRESULT Invoke(hmi::DISPID, hmi::LCID, uint16_t, const std::vector<hmi::Variant>&,
                      hmi::Variant*) override {
    return hmi::DISP_E_MEMBERNOTFOUND;
  }

 protected:
  ~SimpleDispatchObject() override = default;
};

// A storage whose contents the stand-in holds whole in memory (a document
// file read when it was opened): a document loads from them where they are
// rather than from a copy that ReadContents makes.
class HeldStorage : public SimpleObject<hmi::IStorage, false> {
 public:
  virtual const std::string& held_contents() const = 0;

 protected:
  ~HeldStorage() override = default;
};

// Limits applied when a document is loaded.
struct LoadOptions {
  // Deepest nesting of groups accepted; a deeper document fails to load.
  // The converter itself leaves out groups deeper than 64 and converts the
  // rest, so the stand-in accepts far deeper pictures.
  int max_group_depth = 1000;
  // Image files are drawn only from inside the document's folder (after
  // following links); a path that leads elsewhere is refused when drawn,
  // unless this is set.
  bool allow_outside_images = false;
  // A document with at least this many top-level objects loads the second
  // half of them on a thread of its own (the document is the same either
  // way); 0 loads every document on one thread.
  size_t parallel_load_objects = 512;
};

// The failures one object (or the document) is told to show. Almost every
// object shows none: the list of failing operations is made only for one
// that does.
class Failures {
 public:
  Failures() = default;
  Failures(const Failures& other) { *this = other; }
  Failures& operator=(const Failures& other);
  Failures(Failures&&) noexcept = default;
  Failures& operator=(Failures&&) noexcept = default;

  void Refuse(InterfaceId iid) { refused_.set(static_cast<size_t>(iid)); }
  void Fail(std::string operation);

  bool Refuses(InterfaceId iid) const { return refused_.test(static_cast<size_t>(iid)); }
  // True when `operation` fails on every call.
  bool Fails(std::string_view operation) const {
    return failed_ != nullptr && Listed(operation);
  }
  // True when `operation` fails for `index`: listed alone or as
  // "operation:index".
  bool FailsAt(std::string_view operation, int32_t index) const;

 private:
  // Operations are looked up as views: an object's operations name
  // themselves with literals, which need no text made to be looked up.
  using OperationSet = std::set<std::string, std::less<>>;
  bool Listed(std::string_view operation) const;
  std::bitset<32> refused_;
  std::unique_ptr<OperationSet> failed_;  // null while nothing fails
};

// The texts of a document kept once each: property names, text values,
// class names and categories, each known by its number. A text keeps its
// place (and a reference to it stays valid) until the table is cleared.
class TextTable {
 public:
  static constexpr uint32_t kAbsent = UINT32_MAX;

  // The number of `text`, added when it is new.
  uint32_t Add(std::string_view text);
  // The number of `text`, or kAbsent when the table does not hold it.
  uint32_t Find(std::string_view text) const;
  const std::string& operator[](uint32_t number) const { return texts_[number]; }
  size_t size() const { return texts_.size(); }
  void Clear();

 private:
  // The slot of `text` (whose hash is `hash`) in slots_: the one holding it,
  // or the empty one where it would go.
  size_t SlotOf(std::string_view text, uint64_t hash) const;
  void Grow();

  std::deque<std::string> texts_;
  // An open-addressing index of texts_: each slot holds a text's number + 1,
  // or 0 when empty; its size is a power of two, at most half full.
  std::vector<uint32_t> slots_;
  std::vector<uint64_t> hashes_;  // of each text, by number
};

// A value as a document keeps it (a property's or a lookup level's): its
// type and its number, or its text as a number of the document's text
// table, or, for a type of value the document never loads itself (set
// through SetPropertyValue), its slot among the document's other values.
// The Name, ClassName and FullyQualifiedName that the document adds to an
// object's properties stand for the object's own texts. 12 bytes where a
// Variant takes 88; Node::ValueOf gives the Variant back.
struct StoredValue {
  enum Form : uint8_t { kNumber, kText, kOther, kObjectName, kObjectClass, kObjectFullName };

  hmi::VARTYPE vt = hmi::VT_EMPTY;
  uint8_t form = kNumber;
  // Free for the holder: a property's read-only mark.
  bool mark = false;
  // kNumber: the value (int32_t, float or double, by vt); kText: the text's
  // number; kOther: the slot. Words rather than a double keep the value at
  // 4-byte alignment, so a property takes 16 bytes.
  uint32_t words[2] = {0, 0};
};

// The interface a refusal names ("Object", "Picture", "Collection", ...);
// false for an unknown name.
bool InterfaceFromRefusalName(const std::string& name, InterfaceId* iid);

// One image state of a bitmap: a PNG file or a plain colour.
struct Image {
  enum class Kind { kFile, kPlain };
  Kind kind = Kind::kPlain;
  std::string path;  // kFile: the file, relative paths taken from the document's folder
  std::string refused;  // kFile: why the file is not drawn; empty when it may be
  int32_t rgb = 0;   // kPlain: 0x00BBGGRR
  int32_t width = 0;
  int32_t height = 0;
};

// One image of a bitmap, in its two states.
struct ImagePair {
  std::optional<Image> primary;
  std::optional<Image> secondary;
};

struct LookupLevel {
  StoredValue input;
  StoredValue input2;
  StoredValue output;
  StoredValue toggle;
};

class Document;
class Node;

// A connected property and its source objects.
struct Connection {
  std::string property;
  std::string source;
  std::string full_source;
  std::vector<Node*> objects;
};

// One property of an object's property list.
struct Property {
  uint32_t name = 0;  // its number in the document's text table
  StoredValue value;
  // Name, ClassName, FullyQualifiedName when not in "properties".
  bool read_only() const { return value.mark; }
};

// One object of a document (the document's own object, its root, included).
// Each interface is answered only by the kinds of object that have it, and
// not when the object refuses it.
class Node final : public hmi::IHmiObject,
                   public hmi::IHmiGeometry,
                   public hmi::IHmiText,
                   public hmi::IHmiDataLinkSource,
                   public hmi::IHmiPolygon,
                   public hmi::IHmiPolyline,
                   public hmi::IHmiArc,
                   public hmi::IHmiPie,
                   public hmi::IHmiBitmap,
                   public hmi::IHmiChart,
                   public hmi::IHmiPen,
                   public hmi::IHmiOleControl,
                   public hmi::IHmiLookup,
                   public hmi::IHmiLinear,
                   public hmi::IHmiFormat,
                   public hmi::IHmiGlobalSysInfo {
 public:
  Node(Document* document, Node* owner);
  ~Node() override;

  // The object's own dispatch reference (that of its IHmiObject).
  hmi::IDispatch* dispatch() { return static_cast<hmi::IHmiObject*>(this); }
  hmi::IHmiObject* object() { return this; }

  const std::string& name() const { return name_; }
  const std::string& class_name() const { return *class_name_; }
  const std::string& category() const { return *category_; }
  const std::string& full_name() const { return full_name_; }
  const std::vector<Property>& properties() const { return properties_; }
  // The name of one of properties().
  const std::string& NameOf(const Property& property) const;
  // The value a stored value stands for.
  Variant ValueOf(const StoredValue& value) const;
  // Sets *out to ValueOf(value), keeping the room of its text.
  void ValueInto(const StoredValue& value, Variant* out) const;
  const std::vector<ImagePair>& images() const { return rare().images; }
  const Failures& failures() const { return failures_; }
  Node* owner() const { return owner_; }
  // A drawable object: category "Shape", except pens.
  bool IsShape() const;
  // The image the bitmap draws now (CurrentImage, SecondaryImageDisplayed),
  // or null when it has none.
  const Image* ShownImage() const;
  // Preorder search of the objects below this one by Name or full name.
  Node* FindByName(const std::string& name);

  // IUnknown
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT QueryInterface(InterfaceId iid, void** object) override;
  // IDispatch: "GetQevComponentDispatch" on every object, "GetColHeadings"
  // on objects with column headings.
  HRESULT GetIDsOfNames(const std::string& name, hmi::LCID lcid, hmi::DISPID* dispid) override;
  HRESULT Invoke(hmi::DISPID dispid, hmi::LCID lcid, uint16_t flags,
                 const std::vector<Variant>& args, Variant* result) override;

  // IHmiObject (Name also serves IHmiText and the animation interfaces)
  HRESULT Name(std::string* name) override;
  HRESULT ClassName(std::string* class_name) override;
  HRESULT Category(std::string* category) override;
  HRESULT FullyQualifiedName(std::string* full_name) override;
  HRESULT ContainedObjects(ComPtr<hmi::IDispatch>* objects) override;
  HRESULT ObjectByName(const std::string& name, ComPtr<hmi::IHmiObject>* object) override;
  HRESULT PropertyNames(Variant* names) override;
  HRESULT PropertyValue(const std::string& name, Variant* value) override;
  HRESULT SetPropertyValue(const std::string& name, const Variant& value) override;
  HRESULT ConnectionCount(int32_t* count) override;
  HRESULT ConnectionInfo(int32_t index, hmi::HmiConnection* connection) override;
  HRESULT Parent(ComPtr<hmi::IHmiObject>* parent) override;
  HRESULT IsConnected(const std::string& property, int16_t* connected, int32_t* index,
                      int32_t* source_count) override;

  // IHmiGeometry
  HRESULT RotationPoint(ComPtr<hmi::IHmiPoint>* point) override;
  HRESULT CenterPoint(ComPtr<hmi::IHmiPoint>* point) override;
  HRESULT AngleUnit(int32_t* unit) override;
  HRESULT EdgeWidth(double* width) override;

  // IHmiText
  HRESULT MaxCharactersPerLine(int32_t* count) override;
  HRESULT NumberOfLines(int32_t* count) override;
  HRESULT FontSize(int32_t* size) override;
  HRESULT Caption(std::string* caption) override;
  HRESULT VerticalPosition(double* y) override;
  HRESULT Height(double* height) override;

  // IHmiDataLinkSource
  HRESULT Format(std::string* format) override;
  HRESULT DataEntry(int16_t* mode) override;

  // IHmiPolygon, IHmiPolyline
  HRESULT NumberOfPoints(int32_t* count) override;
  HRESULT Point(int32_t index, ComPtr<hmi::IHmiPoint>* point) override;

  // IHmiArc, IHmiPie
  HRESULT StartX(double* value) override;
  HRESULT StartY(double* value) override;
  HRESULT CenterX(double* value) override;
  HRESULT CenterY(double* value) override;
  HRESULT EndX(double* value) override;
  HRESULT EndY(double* value) override;

  // IHmiBitmap
  HRESULT ImageCount(int32_t* count) override;
  HRESULT CurrentImage(int16_t* image) override;
  HRESULT SetCurrentImage(int16_t image) override;
  HRESULT SecondaryImageDisplayed(int16_t* displayed) override;
  HRESULT SetSecondaryImageDisplayed(int16_t displayed) override;
  HRESULT SetSelected(int16_t selected) override;

  // IHmiChart
  HRESULT Pens(ComPtr<hmi::IDispatch>* pens) override;
  HRESULT ValueGridColor(int32_t* color) override;
  HRESULT TimeGridColor(int32_t* color) override;

  // IHmiPen
  HRESULT PenLineColor(int32_t* color) override;
  HRESULT PenLineWidth(int32_t* width) override;
  HRESULT HiLimit(double* limit) override;
  HRESULT LoLimit(double* limit) override;
  HRESULT PenIndex(int32_t* index) override;
  HRESULT FullName(std::string* full_name) override;

  // IHmiOleControl
  HRESULT ProgID(std::string* prog_id) override;

  // IHmiLookup (SourceDataType also serves IHmiLinear and IHmiFormat)
  HRESULT LevelCount(int32_t* count) override;
  HRESULT Level(int32_t index, Variant* input, Variant* output, Variant* input2,
                Variant* toggle_output) override;
  HRESULT OutputToggles(int16_t* toggles) override;
  HRESULT ExactMatch(int16_t* exact) override;
  HRESULT Tolerance(float* tolerance) override;
  HRESULT SourceDataType(int32_t* type) override;
  HRESULT Source(std::string* source) override;
  HRESULT SharedTable(std::string* owner) override;

  // IHmiLinear
  HRESULT Offset(int32_t* offset) override;

 private:
  friend class Document;
  template <class J>
  friend class Loader;

  bool Offers(InterfaceId iid) const;
  // Back to an empty object (the root before a load).
  void Clear();
  // A property by name as PropertyValue answers it, without the failure
  // check: the list first, then the defaults of shapes.
  HRESULT FindProperty(const std::string& name, Variant* value) const;
  // Named property getters of the typed interfaces: an integer takes a
  // number rounded half away from zero (or a text that reads as one) and
  // must fit [low, high]; a real takes a number or such a text.
  HRESULT NamedInteger(const std::string& name, int64_t low, int64_t high, int64_t* value);
  HRESULT NamedInt32(const std::string& name, int32_t* value);
  HRESULT NamedInt16(const std::string& name, int16_t* value);
  HRESULT NamedReal(const std::string& name, double* value);
  HRESULT NamedText(const std::string& name, std::string* value);
  HRESULT SetNamed(const std::string& name, const Variant& value);
  ComPtr<hmi::IDispatch> MakeCollection(const std::vector<Node*>& items);
  ComPtr<hmi::IHmiPoint> MakePoint(double x, double y, bool fail_x, bool fail_y);

  // What few objects have, kept apart so that the others do not carry it.
  struct Rare {
    std::vector<Node*> pens;
    std::vector<ImagePair> images;
    std::optional<int32_t> value_grid_color;
    std::optional<int32_t> time_grid_color;
    std::optional<std::string> prog_id;
    std::optional<std::string> column_headings;
    std::string data_link_format;
    int16_t data_entry = 0;
    std::string shared_table;
  };
  // The rare members, empty ones when the object has none.
  const Rare& rare() const;
  // The rare members to fill in, made when the object has none yet.
  Rare& MutableRare();

  Document* document_;  // not owned: the document owns this node
  Node* owner_;         // not owned; null for the document's root
  // Class name and category: texts of the document's table.
  const std::string* class_name_;
  const std::string* category_;
  std::string name_;
  std::string full_name_;
  std::vector<Property> properties_;
  // The property FindProperty tries first: the one after the last found.
  // Changed by lookups (a document is used from one thread at a time).
  mutable uint32_t next_property_ = 0;
  std::vector<Node*> children_;
  Failures failures_;
  std::unique_ptr<Rare> rare_;  // null while the object has none of them
  // Most objects of a picture have animations: kept here rather than with
  // the rare members, which would otherwise be made for nearly every object.
  std::vector<Connection> connections_;

  double rotation_point_[2] = {0.0, 0.0};
  double center_point_[2] = {0.0, 0.0};
  std::vector<std::pair<double, double>> points_;
  std::vector<LookupLevel> levels_;
  int32_t angle_unit_ = 0;
  int32_t pen_index_ = 0;
  int32_t source_data_type_ = 5;
  int32_t offset_ = 0;
  float tolerance_ = 0.0f;
  int16_t output_toggles_ = 0;
  bool exact_match_ = true;
  bool is_root_ = false;
  bool is_data_link_source_ = false;
};

// A picture document or another HMI document.
class Document final : public hmi::IOleObject,
                       public hmi::IPersistStorage,
                       public hmi::IHmiPicture,
                       public hmi::IHmiPictureWindow {
 public:
  explicit Document(LoadOptions options = LoadOptions());
  ~Document() override;

  // Loads the document from its JSON text. `origin` is the path it came
  // from: it gives the default name and the folder of image files (may be
  // empty). On failure the document stays unloaded, load_error() says why
  // and the result is STG_E_INVALIDHEADER (E_FAIL when the document asks
  // for its loading to fail).
  HRESULT LoadText(const std::string& text, const std::string& origin);
  const std::string& load_error() const { return load_error_; }
  bool loaded() const { return loaded_; }

  const std::string& name() const;
  Node* root() { return root_; }
  // The document's texts (property names, text values, class names).
  const TextTable& texts() const { return texts_; }
  // The document's interfaces, with a reference for the caller.
  ComPtr<hmi::IDispatch> Dispatch();
  ComPtr<hmi::IHmiPicture> Picture();
  ComPtr<hmi::IHmiObject> Object();

  // The selected bitmap object, or null.
  Node* selected() const { return selected_; }
  void set_selected(Node* node) { selected_ = node; }

  // The clipboard that CopyToClipboard fills (not owned): the process's
  // clipboard unless another is set.
  Clipboard* clipboard() const { return clipboard_ != nullptr ? clipboard_ : &SystemClipboard(); }
  void set_clipboard(Clipboard* clipboard) { clipboard_ = clipboard; }

  // Makes the unloaded document refuse these interfaces already, as the
  // file it is made for will (its load sets the refusals anew).
  void PresetRefusals(const std::vector<InterfaceId>& refusals);

  // IUnknown
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT QueryInterface(InterfaceId iid, void** object) override;
  // IDispatch: the document has no late-bound members.
  HRESULT GetIDsOfNames(const std::string& name, hmi::LCID lcid, hmi::DISPID* dispid) override;
  HRESULT Invoke(hmi::DISPID dispid, hmi::LCID lcid, uint16_t flags,
                 const std::vector<Variant>& args, Variant* result) override;

  // IPersistStorage
  HRESULT Load(hmi::IStorage* storage) override;

  // IHmiPicture
  HRESULT Name(std::string* name) override;
  HRESULT BackgroundColor(int32_t* color) override;
  HRESULT Height(double* height) override;
  HRESULT Width(double* width) override;
  HRESULT LogicalToPixel(double x, double y, int32_t* pixel_x, int32_t* pixel_y) override;
  HRESULT ContainedObjects(ComPtr<hmi::IDispatch>* objects) override;

  // IHmiPictureWindow. Puts on the clipboard the image the selected bitmap
  // shows now (CurrentImage, SecondaryImageDisplayed); E_FAIL when no bitmap
  // is selected. When that image state is missing or its file cannot be
  // read, the copy succeeds and leaves the clipboard without an image.
  HRESULT CopyToClipboard() override;

 private:
  template <class J>
  friend class Loader;
  friend class Node;

  Node* NewNode(Node* owner);
  void Reset();
  // A value to keep: its text added to the table, a value of another type
  // put in a slot of its own (or in `reuse`'s slot when that is one).
  StoredValue Store(const Variant& value, const StoredValue* reuse = nullptr);
  StoredValue StoreText(std::string_view text);
  // `text` as the table keeps it.
  const std::string* Intern(std::string_view text);
  // The array of the names of `properties` that PropertyNames hands out.
  // Objects of one kind list the same names: one array (which no one can
  // change) serves every list of the same names.
  Variant NameArray(const std::vector<Property>& properties);

  LiveObject live_;
  LoadOptions options_;
  uint32_t references_ = 0;
  bool loaded_ = false;
  std::string load_error_;
  std::vector<std::unique_ptr<Node>> nodes_;  // every object, the root first
  TextTable texts_;
  // Values of types the document does not load itself, set on its objects.
  std::vector<Variant> other_values_;
  // The name arrays made so far, by a hash of their name numbers; at most
  // kMaxNameArrays, so that a document whose objects all list different
  // names keeps none beyond that.
  struct NameArrayEntry {
    std::vector<uint32_t> names;
    Variant array;
  };
  static constexpr size_t kMaxNameArrays = 512;
  std::unordered_multimap<uint64_t, NameArrayEntry> name_arrays_;
  Node* root_ = nullptr;
  Node* selected_ = nullptr;
  Clipboard* clipboard_ = nullptr;
  double width_ = 100.0;
  double height_ = 75.0;
  int32_t background_color_ = 16777215;
  double pixels_per_unit_[2] = {1.0, 1.0};
};

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_DOCUMENT_H_
