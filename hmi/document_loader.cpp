// Loads a stand-in document: every key of the document and object forms,
// their defaults, the derived full names and the property lists.
#include "hmi/document_loader.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "hmi/latin1.h"

namespace quillon {
namespace standin {

namespace {

// The document is parsed by simdjson when it can be (see LoadDocumentTree);
// the same loader walks either parser's tree through the small set of
// accessors below, so that both give the same nodes and the same messages.
using Json = nlohmann::ordered_json;
using Fast = simdjson::dom::element;

// Deepest group nesting that a load option may ask for; keeps the loader's
// recursion within any thread's stack.
constexpr int kGroupDepthCeiling = 1000;

// A document that cannot be loaded; `message` names where and why.
struct LoadError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw LoadError{where.empty() ? what : where + ": " + what};
}

// A place in the document: `where` and `suffix` joined, made only when an
// error names it.
struct Place {
  const std::string& where;
  const char* suffix;
  std::string str() const { return where + suffix; }
};

// --- accessors of the two trees

enum class Kind { kNull, kBool, kString, kInt, kUint, kFloat, kObject, kArray, kOther };

Kind KindOf(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return Kind::kNull;
    case Json::value_t::boolean:
      return Kind::kBool;
    case Json::value_t::string:
      return Kind::kString;
    case Json::value_t::number_integer:
      return Kind::kInt;
    case Json::value_t::number_unsigned:
      return Kind::kUint;
    case Json::value_t::number_float:
      return Kind::kFloat;
    case Json::value_t::object:
      return Kind::kObject;
    case Json::value_t::array:
      return Kind::kArray;
    default:
      return Kind::kOther;
  }
}

Kind KindOf(const Fast& value) {
  using Type = simdjson::dom::element_type;
  switch (value.type()) {
    case Type::NULL_VALUE:
      return Kind::kNull;
    case Type::BOOL:
      return Kind::kBool;
    case Type::STRING:
      return Kind::kString;
    case Type::INT64:
      return Kind::kInt;
    case Type::UINT64:
      return Kind::kUint;
    case Type::DOUBLE:
      return Kind::kFloat;
    case Type::OBJECT:
      return Kind::kObject;
    case Type::ARRAY:
      return Kind::kArray;
  }
  return Kind::kOther;
}

bool IsNumber(Kind kind) { return kind == Kind::kInt || kind == Kind::kUint || kind == Kind::kFloat; }

bool BoolOf(const Json& value) { return value.get<bool>(); }
bool BoolOf(const Fast& value) { return value.get_bool().value_unsafe(); }
int64_t IntOf(const Json& value) { return value.get<int64_t>(); }
int64_t IntOf(const Fast& value) { return value.get_int64().value_unsafe(); }
uint64_t UintOf(const Json& value) { return value.get<uint64_t>(); }
uint64_t UintOf(const Fast& value) { return value.get_uint64().value_unsafe(); }
double DoubleOf(const Json& value) { return value.get<double>(); }
double DoubleOf(const Fast& value) { return value.get_double().value_unsafe(); }
// A text as it stands in the document (UTF-8).
std::string RawOf(const Json& value) { return value.get_ref<const std::string&>(); }
std::string RawOf(const Fast& value) { return std::string(value.get_string().value_unsafe()); }
std::string_view RawViewOf(const Json& value) { return value.get_ref<const std::string&>(); }
std::string_view RawViewOf(const Fast& value) { return value.get_string().value_unsafe(); }

const Json* Member(const Json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}
std::optional<Fast> Member(const Fast& object, const char* key) {
  // The first member of that name: a document with a name twice in one
  // object is loaded through the other tree (see HasRepeatedKeys).
  Fast found;
  const simdjson::dom::object members = object.get_object().value_unsafe();
  if (members.at_key(key).get(found) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  return found;
}

// The items of an array, each taken with "*".
std::vector<const Json*> Items(const Json& array) {
  std::vector<const Json*> items;
  items.reserve(array.size());
  for (const Json& item : array) items.push_back(&item);
  return items;
}
struct FastItem {
  Fast element;
  const Fast& operator*() const { return element; }
};
std::vector<FastItem> Items(const Fast& array) {
  std::vector<FastItem> items;
  const simdjson::dom::array elements = array.get_array().value_unsafe();
  for (Fast item : elements) items.push_back({item});
  return items;
}

size_t SizeOf(const Json& value) { return value.size(); }
size_t SizeOf(const Fast& value) {
  size_t count = 0;
  if (value.is_object()) {
    const simdjson::dom::object members = value.get_object().value_unsafe();
    for (auto field : members) {
      (void)field;
      ++count;
    }
  } else if (value.is_array()) {
    const simdjson::dom::array elements = value.get_array().value_unsafe();
    for (Fast item : elements) {
      (void)item;
      ++count;
    }
  }
  return count;
}

// Calls `visit(key, value)` for every member of an object, in order; the
// key is a std::string_view that lives as long as the tree.
template <class Visit>
void ForEachMember(const Json& object, Visit visit) {
  for (auto it = object.begin(); it != object.end(); ++it) visit(it.key(), it.value());
}
template <class Visit>
void ForEachMember(const Fast& object, Visit visit) {
  const simdjson::dom::object members = object.get_object().value_unsafe();
  for (auto field : members) visit(field.key, field.value);
}

// --- checked reading of values

template <class J>
std::string Text(const J& value, const std::string& where) {
  if (KindOf(value) != Kind::kString) Fail(where, "expected a text");
  return Utf8ToLatin1(RawViewOf(value));
}

template <class J>
double Number(const J& value, const std::string& where) {
  if (!IsNumber(KindOf(value))) Fail(where, "expected a number");
  double number = DoubleOf(value);
  if (!std::isfinite(number)) Fail(where, "the number is out of range");
  return number;
}

// A number rounded half away from zero into [low, high]; true and false
// count as 1 and 0.
template <class J>
int64_t Integer(const J& value, const std::string& where, int64_t low, int64_t high) {
  double number =
      KindOf(value) == Kind::kBool ? (BoolOf(value) ? 1.0 : 0.0) : Number(value, where);
  double rounded = std::round(number);
  if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) {
    Fail(where, "the number is out of range");
  }
  return static_cast<int64_t>(rounded);
}

template <class J>
int32_t Integer32(const J& value, const std::string& where) {
  return static_cast<int32_t>(Integer(value, where, INT32_MIN, INT32_MAX));
}

template <class J>
int16_t Integer16(const J& value, const std::string& where) {
  return static_cast<int16_t>(Integer(value, where, INT16_MIN, INT16_MAX));
}

// The same for a place made only on an error: the checks are those of the
// functions above, which then say what is wrong.
template <class J>
std::string Text(const J& value, const Place& place) {
  if (KindOf(value) != Kind::kString) return Text(value, place.str());
  return Utf8ToLatin1(RawViewOf(value));
}

template <class J>
int32_t Integer32(const J& value, const Place& place) {
  if (KindOf(value) == Kind::kInt) {
    const int64_t number = IntOf(value);
    if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
  }
  return Integer32(value, place.str());
}

template <class J>
bool Boolean(const J& value, const std::string& where) {
  if (KindOf(value) == Kind::kBool) return BoolOf(value);
  return Number(value, where) != 0.0;
}

template <class J>
void NumberPair(const J& value, const std::string& where, double pair[2]) {
  if (KindOf(value) != Kind::kArray || SizeOf(value) != 2) Fail(where, "expected [x, y]");
  auto items = Items(value);
  pair[0] = Number(*items[0], where + "[0]");
  pair[1] = Number(*items[1], where + "[1]");
}

template <class J>
const J& Array(const J& value, const std::string& where) {
  if (KindOf(value) != Kind::kArray) Fail(where, "expected an array");
  return value;
}

template <class J>
const J& Object(const J& value, const std::string& where) {
  if (KindOf(value) != Kind::kObject) Fail(where, "expected an object");
  return value;
}

template <class J>
const J& Object(const J& value, const Place& place) {
  if (KindOf(value) != Kind::kObject) Fail(place.str(), "expected an object");
  return value;
}

std::string Index(const std::string& where, size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

// An exact integer of a typed value form ({"i2": n}, ...).
template <class J>
int64_t ExactInteger(const J& value, const std::string& where, int64_t low, int64_t high) {
  const Kind kind = KindOf(value);
  if (kind != Kind::kInt && kind != Kind::kUint) Fail(where, "expected an integer");
  if (kind == Kind::kUint ? UintOf(value) > static_cast<uint64_t>(high)
                          : (IntOf(value) < low || IntOf(value) > high)) {
    Fail(where, "the number is out of range");
  }
  return kind == Kind::kUint ? static_cast<int64_t>(UintOf(value)) : IntOf(value);
}

// A property or level value: JSON numbers, texts, booleans and null, or a
// one-key object naming the value's type.
template <class J>
Variant ToVariant(const J& value, const std::string& where) {
  switch (KindOf(value)) {
    case Kind::kNull:
      return Variant();
    case Kind::kBool:
      return Variant::Bool(BoolOf(value));
    case Kind::kString:
      return Variant::Bstr(Text(value, where));
    case Kind::kInt:
    case Kind::kUint:
      return Variant::I4(static_cast<int32_t>(ExactInteger(value, where, INT32_MIN, INT32_MAX)));
    case Kind::kFloat:
      return Variant::R8(Number(value, where));
    case Kind::kObject:
      break;
    default:
      Fail(where, "unsupported value");
  }
  if (SizeOf(value) != 1) Fail(where, "a typed value has exactly one key");
  std::optional<Variant> result;
  ForEachMember(value, [&](std::string_view type, const J& inner) {
    if (result) return;
    std::string inner_where = where + "." + std::string(type);
    if (type == "i2") {
      result = Variant::I2(
          static_cast<int16_t>(ExactInteger(inner, inner_where, INT16_MIN, INT16_MAX)));
    } else if (type == "i4") {
      result = Variant::I4(
          static_cast<int32_t>(ExactInteger(inner, inner_where, INT32_MIN, INT32_MAX)));
    } else if (type == "ui1") {
      result = Variant::UI1(static_cast<uint8_t>(ExactInteger(inner, inner_where, 0, UINT8_MAX)));
    } else if (type == "r4") {
      double number = Number(inner, inner_where);
      if (std::fabs(number) > FLT_MAX) Fail(inner_where, "the number is out of range");
      result = Variant::R4(static_cast<float>(number));
    } else if (type == "r8") {
      result = Variant::R8(Number(inner, inner_where));
    } else if (type == "bool") {
      if (KindOf(inner) != Kind::kBool) Fail(inner_where, "expected true or false");
      result = Variant::Bool(BoolOf(inner));
    } else if (type == "str") {
      result = Variant::Bstr(Text(inner, inner_where));
    } else {
      Fail(where, "unknown value type \"" + std::string(type) + "\"");
    }
  });
  return *result;
}

// The value of the forms ToVariant converts without a chance of an error
// (null, booleans, texts, finite decimals, integers of 32 bits); false for
// every other, which ToVariant converts or refuses with its message.
template <class J>
bool PlainVariant(const J& value, Variant* out) {
  switch (KindOf(value)) {
    case Kind::kNull:
      *out = Variant();
      return true;
    case Kind::kBool:
      *out = Variant::Bool(BoolOf(value));
      return true;
    case Kind::kString:
      *out = Variant::Bstr(Utf8ToLatin1(RawViewOf(value)));
      return true;
    case Kind::kInt: {
      const int64_t number = IntOf(value);
      if (number < INT32_MIN || number > INT32_MAX) return false;
      *out = Variant::I4(static_cast<int32_t>(number));
      return true;
    }
    case Kind::kUint: {
      const uint64_t number = UintOf(value);
      if (number > static_cast<uint64_t>(INT32_MAX)) return false;
      *out = Variant::I4(static_cast<int32_t>(number));
      return true;
    }
    case Kind::kFloat: {
      const double number = DoubleOf(value);
      if (!std::isfinite(number)) return false;
      *out = Variant::R8(number);
      return true;
    }
    default:
      return false;
  }
}

std::string DefaultCategory(const std::string& class_name) {
  if (class_name == "Variable") return "Support";
  if (class_name == "Lookup" || class_name == "Linear" || class_name == "Format" ||
      class_name == "GlobalSysInfo") {
    return "Animation";
  }
  return "Shape";
}

// True when `path` names something inside `folder` (empty: the current
// folder) once both are made absolute and every link on the way is followed.
bool InsideFolder(const std::string& folder, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path base = fs::weakly_canonical(fs::absolute(folder.empty() ? "." : folder), error);
  if (error) return false;
  const fs::path target = fs::weakly_canonical(fs::absolute(path), error);
  if (error) return false;
  const fs::path relative = target.lexically_relative(base);
  if (relative.empty() || relative == ".") return false;
  return *relative.begin() != "..";
}

// The file name of `path` without its folder and its last extension.
std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

// Builds the object tree of one document.
template <class J>
class Loader {
 public:
  Loader(Document* document, const LoadOptions& options, std::string folder)
      : document_(document), options_(options), folder_(std::move(folder)) {}

  void LoadDocument(const J& json, const std::string& default_name) {
    if (KindOf(json) != Kind::kObject) Fail("", "the document is not a JSON object");
    Node* root = document_->root_;
    std::string name = default_name;
    if (auto value = Member(json, "name")) name = Text(*value, "name");
    root->name_ = name;
    root->full_name_ = name;
    root->properties_ = {
        OwnText("Name", StoredValue::kObjectName),
        OwnText("ClassName", StoredValue::kObjectClass),
        OwnText("FullyQualifiedName", StoredValue::kObjectFullName),
    };
    if (auto value = Member(json, "width")) document_->width_ = Number(*value, "width");
    if (auto value = Member(json, "height")) document_->height_ = Number(*value, "height");
    if (auto value = Member(json, "backgroundColor")) {
      document_->background_color_ = Integer32(*value, "backgroundColor");
    }
    if (auto value = Member(json, "pixelsPerUnit")) {
      NumberPair(*value, "pixelsPerUnit", document_->pixels_per_unit_);
    }
    LoadFailures(json, "", &root->failures_);
    if (auto value = Member(json, "objects")) {
      const auto objects = Items(Array(*value, "objects"));
      for (size_t i = 0; i < objects.size(); ++i) {
        root->children_.push_back(LoadObject(*objects[i], root, 0, false, 0, Index("objects", i)));
      }
    }
  }

  // Loads item `index` of the document's "objects" array after a
  // LoadDocument whose array was left empty (see LoadInPieces).
  void LoadTopObject(const J& json, size_t index) {
    Node* root = document_->root_;
    root->children_.push_back(LoadObject(json, root, 0, false, 0, Index("objects", index)));
  }

  // Back to the empty document LoadDocument started from.
  void Abandon() { document_->Reset(); }

  // Readies this loader's document, a scratch one, to load top-level
  // objects of `whole` (whose LoadDocument has run): its root takes the
  // names the objects' full names start from.
  void LoadTopObjectsOf(const Document& whole) {
    document_->root_->name_ = whole.root_->name_;
    document_->root_->full_name_ = whole.root_->full_name_;
  }

  // Moves the objects that `part` loaded with LoadTopObject (see
  // LoadTopObjectsOf) to the end of this document's root, in their order.
  // Their texts join this document's table in the order `part` met them
  // and their stored values are renumbered to match, so the document is
  // the one that loading those objects here, after the ones loaded so far,
  // makes: same nodes, same texts under the same numbers. `part` is left
  // with an empty root.
  void Adopt(Document* part) {
    TextTable& texts = document_->texts_;
    std::vector<uint32_t> numbers(part->texts_.size());
    for (uint32_t i = 0; i < numbers.size(); ++i) numbers[i] = texts.Add(part->texts_[i]);
    const auto other_base = static_cast<uint32_t>(document_->other_values_.size());
    for (Variant& value : part->other_values_) document_->other_values_.push_back(std::move(value));
    part->other_values_.clear();
    auto renumber = [&numbers, other_base](StoredValue* value) {
      if (value->form == StoredValue::kText) {
        value->words[0] = numbers[value->words[0]];
      } else if (value->form == StoredValue::kOther) {
        value->words[0] += other_base;
      }
    };
    // Class names and categories point into the part's table: the same
    // text of this one takes their place. Few texts serve as either.
    std::unordered_map<const std::string*, const std::string*> interned;
    auto intern = [&](const std::string* text) {
      const std::string*& found = interned[text];
      if (found == nullptr) found = &texts[texts.Find(*text)];
      return found;
    };
    Node* part_root = part->root_;
    Node* root = document_->root_;
    document_->nodes_.reserve(document_->nodes_.size() + part->nodes_.size() - 1);
    for (size_t i = 1; i < part->nodes_.size(); ++i) {
      Node* node = part->nodes_[i].get();
      node->document_ = document_;
      if (node->owner_ == part_root) node->owner_ = root;
      node->class_name_ = intern(node->class_name_);
      node->category_ = intern(node->category_);
      for (Property& property : node->properties_) {
        property.name = numbers[property.name];
        renumber(&property.value);
      }
      for (LookupLevel& level : node->levels_) {
        renumber(&level.input);
        renumber(&level.input2);
        renumber(&level.output);
        renumber(&level.toggle);
      }
      document_->nodes_.push_back(std::move(part->nodes_[i]));
    }
    part->nodes_.resize(1);
    root->children_.insert(root->children_.end(), part_root->children_.begin(),
                            part_root->children_.end());
    part_root->children_.clear();
  }

 private:
  void LoadFailures(const J& json, const std::string& where, Failures* failures) {
    auto refuse = Member(json, "refuse");
    auto fail = Member(json, "fail");
    // Almost no object lists failures: the place is made only for one that does.
    if (!refuse && !fail) return;
    std::string prefix = where.empty() ? "" : where + ".";
    if (auto value = refuse) {
      const auto names = Items(Array(*value, prefix + "refuse"));
      for (size_t i = 0; i < names.size(); ++i) {
        std::string name = Text(*names[i], Index(prefix + "refuse", i));
        InterfaceId iid;
        if (!InterfaceFromRefusalName(name, &iid)) {
          Fail(Index(prefix + "refuse", i), "unknown interface \"" + name + "\"");
        }
        failures->Refuse(iid);
      }
    }
    if (auto value = fail) {
      const auto operations = Items(Array(*value, prefix + "fail"));
      for (size_t i = 0; i < operations.size(); ++i) {
        failures->Fail(Text(*operations[i], Index(prefix + "fail", i)));
      }
    }
  }

  Node* LoadObject(const J& json, Node* owner, int enclosing_groups, bool data_link_source,
                   int32_t pen_index, const std::string& where) {
    if (KindOf(json) != Kind::kObject) Fail(where, "an object is a JSON object");
    auto class_value = Member(json, "class");
    if (!class_value) Fail(where, "the key \"class\" is required");
    auto name_value = Member(json, "name");
    if (!name_value) Fail(where, "the key \"name\" is required");

    Node* node = document_->NewNode(owner);
    node->class_name_ = document_->Intern(Text(*class_value, Place{where, ".class"}));
    node->name_ = Text(*name_value, Place{where, ".name"});
    int groups = enclosing_groups;
    if (*node->class_name_ == "Group" && ++groups > options_.max_group_depth) {
      Fail(where, "groups are nested more than " + std::to_string(options_.max_group_depth) +
                      " levels deep");
    }
    auto category = Member(json, "category");
    node->category_ = document_->Intern(category ? Text(*category, Place{where, ".category"})
                                                 : DefaultCategory(*node->class_name_));
    auto full_name = Member(json, "fullName");
    node->full_name_ =
        full_name ? Text(*full_name, Place{where, ".fullName"}) : owner->full_name_ + "." + node->name_;
    node->pen_index_ = pen_index;
    node->is_data_link_source_ = data_link_source;

    LoadProperties(json, where, node);
    LoadGeometry(json, where, node);
    LoadKindKeys(json, where, node);
    LoadFailures(json, where, &node->failures_);

    if (auto value = Member(json, "objects")) {
      const auto objects = Items(Array(*value, where + ".objects"));
      bool sources = *node->class_name_ == "DataLink";
      for (size_t i = 0; i < objects.size(); ++i) {
        node->children_.push_back(
            LoadObject(*objects[i], node, groups, sources, 0, Index(where + ".objects", i)));
      }
    }
    if (auto value = Member(json, "pens")) {
      const auto pens = Items(Array(*value, where + ".pens"));
      for (size_t i = 0; i < pens.size(); ++i) {
        node->MutableRare().pens.push_back(LoadObject(*pens[i], node, groups, false,
                                                      static_cast<int32_t>(i + 1),
                                                      Index(where + ".pens", i)));
      }
    }
    if (auto value = Member(json, "connections")) {
      const auto connections = Items(Array(*value, where + ".connections"));
      node->connections_.reserve(connections.size());
      for (size_t i = 0; i < connections.size(); ++i) {
        node->connections_.push_back(
            LoadConnection(*connections[i], node, groups, Index(where + ".connections", i)));
      }
    }
    return node;
  }

  // The property list: Name, ClassName and FullyQualifiedName first (unless
  // the document lists them itself), then the document's properties in
  // order, then the bitmap's image state when the document leaves it out.
  void LoadProperties(const J& json, const std::string& where, Node* node) {
    TextTable& texts = document_->texts_;
    std::vector<Property> given;
    if (auto value = Member(json, "properties")) {
      const J& properties = Object(*value, Place{where, ".properties"});
      ForEachMember(properties, [&](std::string_view name, const J& item) {
        // Plain ASCII reads the same in Latin-1: no converted copy is needed.
        const uint32_t key = IsAscii(name) ? texts.Add(name) : texts.Add(Utf8ToLatin1(name));
        StoredValue property;
        if (!PlainValue(item, &property)) {
          property = document_->Store(
              ToVariant(item, where + ".properties." + std::string(name)));
        }
        auto same = std::find_if(given.begin(), given.end(),
                                 [key](const Property& p) { return p.name == key; });
        if (same != given.end()) {
          same->value = property;
        } else {
          given.push_back({key, property});
        }
      });
    }
    auto has = [&given, &texts](const char* key) {
      const uint32_t number = texts.Find(key);
      return number != TextTable::kAbsent &&
             std::any_of(given.begin(), given.end(),
                         [number](const Property& p) { return p.name == number; });
    };
    std::vector<Property>& list = node->properties_;
    const bool has_name = has("Name");
    const bool has_class = has("ClassName");
    const bool has_full_name = has("FullyQualifiedName");
    bool has_image = has("CurrentImage");
    bool has_state = has("SecondaryImageDisplayed");
    const bool bitmap = *node->class_name_ == "Bitmap";
    // Exactly the room the list takes: it stays as long as the document.
    list.reserve(list.size() + given.size() + !has_name + !has_class + !has_full_name +
                 (bitmap ? !has_image + !has_state : 0));
    if (!has_name) list.push_back(OwnText("Name", StoredValue::kObjectName));
    if (!has_class) list.push_back(OwnText("ClassName", StoredValue::kObjectClass));
    if (!has_full_name) {
      list.push_back(OwnText("FullyQualifiedName", StoredValue::kObjectFullName));
    }
    for (Property& property : given) list.push_back(property);
    if (bitmap) {
      if (!has_image) {
        list.push_back({texts.Add("CurrentImage"), document_->Store(Variant::I2(1))});
      }
      if (!has_state) {
        list.push_back({texts.Add("SecondaryImageDisplayed"), document_->Store(Variant::I2(0))});
      }
    }
  }

  // A read-only property that gives one of the object's own texts.
  Property OwnText(const char* name, StoredValue::Form form) {
    Property property;
    property.name = document_->texts_.Add(name);
    property.value.vt = hmi::VT_BSTR;
    property.value.form = form;
    property.value.mark = true;
    return property;
  }

  // The value of the forms ToVariant converts without a chance of an error
  // (null, booleans, texts, finite decimals, integers of 32 bits), stored;
  // false for every other, which ToVariant converts or refuses with its
  // message.
  bool PlainValue(const J& value, StoredValue* out) {
    if (KindOf(value) == Kind::kString) {
      const std::string_view raw = RawViewOf(value);
      // Plain ASCII reads the same in Latin-1: no converted copy is needed.
      *out = IsAscii(raw) ? document_->StoreText(raw) : document_->StoreText(Utf8ToLatin1(raw));
      return true;
    }
    Variant plain;
    if (!PlainVariant(value, &plain)) return false;
    *out = document_->Store(plain);
    return true;
  }

  // Rotation and centre points default to the centre of the object's box.
  void LoadGeometry(const J& json, const std::string& where, Node* node) {
    double box[4];
    static const char* const kBoxKeys[4] = {"HorizontalPosition", "VerticalPosition", "Width",
                                            "Height"};
    bool have_box = true;
    for (int i = 0; i < 4 && have_box; ++i) {
      have_box = false;
      const uint32_t key = document_->texts_.Find(kBoxKeys[i]);
      if (key == TextTable::kAbsent) break;
      for (const Property& property : node->properties_) {
        if (property.name == key) {
          have_box = NumberOf(node->ValueOf(property.value), &box[i], /*read_texts=*/false);
        }
      }
    }
    double centre[2] = {0.0, 0.0};
    if (have_box) {
      centre[0] = box[0] + box[2] / 2;
      centre[1] = box[1] + box[3] / 2;
    }
    node->rotation_point_[0] = node->center_point_[0] = centre[0];
    node->rotation_point_[1] = node->center_point_[1] = centre[1];
    if (auto value = Member(json, "rotationPoint")) {
      NumberPair(*value, where + ".rotationPoint", node->rotation_point_);
    }
    if (auto value = Member(json, "centerPoint")) {
      NumberPair(*value, where + ".centerPoint", node->center_point_);
    }
    if (auto value = Member(json, "angleUnit")) {
      node->angle_unit_ = Integer32(*value, Place{where, ".angleUnit"});
    }
  }

  // Keys that only some kinds of object use.
  void LoadKindKeys(const J& json, const std::string& where, Node* node) {
    if (auto value = Member(json, "points")) {
      const auto points = Items(Array(*value, where + ".points"));
      for (size_t i = 0; i < points.size(); ++i) {
        double point[2];
        NumberPair(*points[i], Index(where + ".points", i), point);
        node->points_.emplace_back(point[0], point[1]);
      }
    }
    if (auto value = Member(json, "images")) {
      const auto images = Items(Array(*value, where + ".images"));
      for (size_t i = 0; i < images.size(); ++i) {
        std::string at = Index(where + ".images", i);
        const J& pair = Object(*images[i], at);
        ImagePair loaded;
        if (auto image = Member(pair, "primary")) {
          loaded.primary = LoadImage(*image, at + ".primary");
        }
        if (auto image = Member(pair, "secondary")) {
          loaded.secondary = LoadImage(*image, at + ".secondary");
        }
        node->MutableRare().images.push_back(std::move(loaded));
      }
    }
    if (auto value = Member(json, "valueGridColor")) {
      node->MutableRare().value_grid_color = Integer32(*value, Place{where, ".valueGridColor"});
    }
    if (auto value = Member(json, "timeGridColor")) {
      node->MutableRare().time_grid_color = Integer32(*value, Place{where, ".timeGridColor"});
    }
    if (auto value = Member(json, "progId")) {
      node->MutableRare().prog_id = Text(*value, Place{where, ".progId"});
    }
    if (auto value = Member(json, "columnHeadings")) {
      node->MutableRare().column_headings = Text(*value, Place{where, ".columnHeadings"});
    }
    if (auto value = Member(json, "dataLinkSource")) {
      std::string at = where + ".dataLinkSource";
      const J& source = Object(*value, at);
      node->is_data_link_source_ = true;
      if (auto format = Member(source, "format")) {
        node->MutableRare().data_link_format = Text(*format, Place{at, ".format"});
      }
      if (auto entry = Member(source, "dataEntry")) {
        node->MutableRare().data_entry = Integer16(*entry, at + ".dataEntry");
      }
    }
    if (auto value = Member(json, "lookup")) LoadLookup(*value, where + ".lookup", node);
    if (auto value = Member(json, "linear")) {
      std::string at = where + ".linear";
      const J& linear = Object(*value, at);
      if (auto offset = Member(linear, "offset")) {
        node->offset_ = Integer32(*offset, Place{at, ".offset"});
      }
      if (auto type = Member(linear, "sourceDataType")) {
        node->source_data_type_ = Integer32(*type, Place{at, ".sourceDataType"});
      }
    }
    if (auto value = Member(json, "formatAnimation")) {
      std::string at = where + ".formatAnimation";
      const J& format = Object(*value, at);
      if (auto type = Member(format, "sourceDataType")) {
        node->source_data_type_ = Integer32(*type, Place{at, ".sourceDataType"});
      }
    }
  }

  void LoadLookup(const J& value, const std::string& where, Node* node) {
    const J& lookup = Object(value, where);
    if (auto levels = Member(lookup, "levels")) {
      const auto list = Items(Array(*levels, where + ".levels"));
      for (size_t i = 0; i < list.size(); ++i) {
        std::string at = Index(where + ".levels", i);
        const J& level = Object(*list[i], at);
        LookupLevel loaded;
        if (auto v = Member(level, "in")) loaded.input = LevelValue(*v, at + ".in");
        if (auto v = Member(level, "in2")) loaded.input2 = LevelValue(*v, at + ".in2");
        if (auto v = Member(level, "out")) loaded.output = LevelValue(*v, at + ".out");
        if (auto v = Member(level, "toggle")) loaded.toggle = LevelValue(*v, at + ".toggle");
        node->levels_.push_back(loaded);
      }
    }
    if (auto v = Member(lookup, "outputToggles")) {
      node->output_toggles_ = Integer16(*v, where + ".outputToggles");
    }
    if (auto v = Member(lookup, "exactMatch")) {
      node->exact_match_ = Boolean(*v, where + ".exactMatch");
    }
    if (auto v = Member(lookup, "tolerance")) {
      double tolerance = Number(*v, where + ".tolerance");
      if (std::fabs(tolerance) > FLT_MAX) Fail(where + ".tolerance", "the number is out of range");
      node->tolerance_ = static_cast<float>(tolerance);
    }
    if (auto v = Member(lookup, "sourceDataType")) {
      node->source_data_type_ = Integer32(*v, Place{where, ".sourceDataType"});
    }
    if (auto v = Member(lookup, "sharedTable")) {
      node->MutableRare().shared_table = Text(*v, Place{where, ".sharedTable"});
    }
  }

  StoredValue LevelValue(const J& value, const std::string& where) {
    StoredValue stored;
    if (!PlainValue(value, &stored)) stored = document_->Store(ToVariant(value, where));
    return stored;
  }

  Image LoadImage(const J& value, const std::string& where) {
    Image image;
    if (KindOf(value) == Kind::kString) {
      image.kind = Image::Kind::kFile;
      std::string path = RawOf(value);
      if (path.empty()) Fail(where, "the image path is empty");
      bool absolute = path[0] == '/' || path[0] == '\\';
      image.path = absolute || folder_.empty() ? path : folder_ + "/" + path;
      if (path.find('\0') != std::string::npos) {
        image.refused = "the image path holds a NUL character";
      } else if (!options_.allow_outside_images && !InsideFolder(folder_, image.path)) {
        image.refused = "the image path " + path + " leads outside the document's folder";
      }
      return image;
    }
    const J& plain = Object(value, where);
    auto rgb = Member(plain, "rgb");
    if (!rgb) Fail(where, "a plain image needs \"rgb\"");
    image.kind = Image::Kind::kPlain;
    image.rgb = Integer32(*rgb, Place{where, ".rgb"});
    image.width = image.height = 1;
    if (auto width = Member(plain, "width")) {
      image.width = static_cast<int32_t>(Integer(*width, where + ".width", 1, 65535));
    }
    if (auto height = Member(plain, "height")) {
      image.height = static_cast<int32_t>(Integer(*height, where + ".height", 1, 65535));
    }
    return image;
  }

  Connection LoadConnection(const J& value, Node* node, int groups, const std::string& where) {
    const J& json = Object(value, where);
    Connection connection;
    auto property = Member(json, "property");
    if (!property) Fail(where, "the key \"property\" is required");
    connection.property = Text(*property, Place{where, ".property"});
    if (auto source = Member(json, "source")) {
      connection.source = Text(*source, Place{where, ".source"});
    }
    auto full_source = Member(json, "fullSource");
    connection.full_source =
        full_source ? Text(*full_source, Place{where, ".fullSource"}) : connection.source;
    if (auto objects = Member(json, "objects")) {
      const auto list = Items(Array(*objects, where + ".objects"));
      for (size_t i = 0; i < list.size(); ++i) {
        connection.objects.push_back(
            LoadObject(*list[i], node, groups, false, 0, Index(where + ".objects", i)));
      }
    }
    return connection;
  }

  Document* document_;
  LoadOptions options_;
  std::string folder_;
};

namespace {

// True when the two parsers might read `text` differently: a "\\u" escape
// (lone surrogates) or a "-0" that is an integer (the fast parser keeps its
// sign as a decimal).
bool NeedsReferenceParser(const std::string& text) {
  if (text.find("\\u") != std::string::npos) return true;
  for (size_t at = text.find("-0"); at != std::string::npos; at = text.find("-0", at + 2)) {
    const char next = at + 2 < text.size() ? text[at + 2] : ' ';
    if (next != '.' && next != 'e' && next != 'E' && (next < '0' || next > '9')) return true;
  }
  return false;
}

// HasRepeatedKeys with the keys of the enclosing objects in `keys`: each
// object adds its own after them and takes them off again when done, so
// one vector serves the whole tree.
bool HasRepeatedKeysAfter(const Fast& value, std::vector<std::string_view>* keys) {
  if (value.is_array()) {
    const simdjson::dom::array elements = value.get_array().value_unsafe();
    for (Fast item : elements) {
      if (HasRepeatedKeysAfter(item, keys)) return true;
    }
    return false;
  }
  if (!value.is_object()) return false;
  const size_t first = keys->size();
  const simdjson::dom::object members = value.get_object().value_unsafe();
  // One of 64 bits for each key of this object, by its length and last
  // character: a key whose bit is not set yet is new without a search.
  uint64_t seen = 0;
  for (auto field : members) {
    const std::string_view key = field.key;
    const unsigned last = key.empty() ? 0u : static_cast<unsigned char>(key.back());
    const uint64_t bit = uint64_t{1} << ((key.size() * 7 + last) & 63);
    if ((seen & bit) != 0) {
      for (size_t i = first; i < keys->size(); ++i) {
        if ((*keys)[i] == key) return true;
      }
    }
    seen |= bit;
    keys->push_back(key);
    if (HasRepeatedKeysAfter(field.value, keys)) return true;
  }
  keys->resize(first);
  return false;
}

// True when an object of `value` names a key twice (the reference parser
// keeps the last value, the fast one both).
bool HasRepeatedKeys(const Fast& value) {
  std::vector<std::string_view> keys;
  keys.reserve(64);
  return HasRepeatedKeysAfter(value, &keys);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// Just past the text that starts with the quote at `at`; npos when it does
// not end.
// Just past the quote that ends a string whose bytes start at `at` (after
// its opening quote), or nullptr when it does not end before `end`. The
// quote is the first not escaped by an odd run of backslashes (a backslash
// escapes the next byte, whatever it is), found by memchr rather than byte
// by byte.
const char* PastStringEnd(const char* at, const char* end) {
  const char* const start = at;
  for (;;) {
    const void* found = std::memchr(at, '"', static_cast<size_t>(end - at));
    if (found == nullptr) return nullptr;
    const char* const quote = static_cast<const char*>(found);
    const char* back = quote;
    while (back > start && back[-1] == '\\') --back;
    at = quote + 1;
    if ((quote - back) % 2 == 0) return at;
  }
}

size_t TextEnd(std::string_view text, size_t at) {
  const char* past = PastStringEnd(text.data() + at + 1, text.data() + text.size());
  return past == nullptr ? std::string_view::npos : static_cast<size_t>(past - text.data());
}

// Just past the JSON value that starts at `at`, found by its brackets and
// texts only (the value's parse checks the rest); npos when it cannot be
// delimited.
size_t ValueEnd(std::string_view text, size_t at) {
  if (at >= text.size()) return std::string_view::npos;
  const char first = text[at];
  if (first == '"') return TextEnd(text, at);
  if (first == '{' || first == '[') {
    size_t depth = 0;
    for (size_t i = at; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        i = TextEnd(text, i);
        if (i == std::string_view::npos) return i;
        --i;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i + 1;
      }
    }
    return std::string_view::npos;
  }
  size_t end = at;
  while (end < text.size() && !IsBlank(text[end]) && text[end] != ',' && text[end] != ']' &&
         text[end] != '}') {
    ++end;
  }
  return end == at ? std::string_view::npos : end;
}

// A document cut for a load in pieces: its text with the items of its
// "objects" array left out, and those items.
struct DocumentPieces {
  std::string head;
  std::vector<std::string_view> objects;
};

// Cuts `text` into its pieces when it is a JSON object whose members and
// "objects" items can be told apart by their brackets alone: blanks, commas
// and colons where JSON has them, keys of plain ASCII without escapes, one
// "objects" member holding an array, nothing after the object. False for
// anything else (the whole-text parse then decides and names the faults).
bool CutIntoPieces(std::string_view text, DocumentPieces* pieces) {
  constexpr size_t kNone = std::string_view::npos;
  size_t at = SkipBlanks(text, 0);
  if (at >= text.size() || text[at] != '{') return false;
  at = SkipBlanks(text, at + 1);
  size_t array_start = kNone, array_end = kNone;
  while (true) {
    if (at >= text.size() || text[at] != '"') return false;
    const size_t key_end = TextEnd(text, at);
    if (key_end == kNone) return false;
    const std::string_view key = text.substr(at + 1, key_end - at - 2);
    for (char c : key) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x80 || c == '\\') return false;
    }
    at = SkipBlanks(text, key_end);
    if (at >= text.size() || text[at] != ':') return false;
    at = SkipBlanks(text, at + 1);
    if (key == "objects" && array_start == kNone && at < text.size() && text[at] == '[') {
      array_start = at;
      at = SkipBlanks(text, at + 1);
      if (at < text.size() && text[at] != ']') {
        while (true) {
          const size_t end = ValueEnd(text, at);
          if (end == kNone) return false;
          pieces->objects.push_back(text.substr(at, end - at));
          at = SkipBlanks(text, end);
          if (at >= text.size()) return false;
          if (text[at] == ']') break;
          if (text[at] != ',') return false;
          at = SkipBlanks(text, at + 1);
        }
      }
      if (at >= text.size() || text[at] != ']') return false;
      array_end = ++at;
    } else {
      at = ValueEnd(text, at);
      if (at == kNone) return false;
    }
    at = SkipBlanks(text, at);
    if (at >= text.size()) return false;
    if (text[at] == '}') break;
    if (text[at] != ',') return false;
    at = SkipBlanks(text, at + 1);
  }
  if (SkipBlanks(text, at + 1) != text.size() || array_start == kNone) return false;
  pieces->head.reserve(text.size() - (array_end - array_start) + 2 + kDocumentTextPadding);
  pieces->head.append(text.substr(0, array_start));
  pieces->head.append("[]");
  pieces->head.append(text.substr(array_end));
  return true;
}

// Loads pieces [first, last) of `pieces` as the top-level objects of
// `loader`'s document, each under its own index. False when a piece does
// not parse, names a key twice, or its load fails; the loader's document
// then holds whatever was loaded before.
bool LoadPieceRange(const DocumentPieces& pieces, size_t first, size_t last, bool copy,
                    simdjson::dom::parser* parser, Loader<Fast>* loader) {
  try {
    for (size_t i = first; i < last; ++i) {
      const std::string_view piece = pieces.objects[i];
      Fast object;
      if (parser->parse(piece.data(), piece.size(), copy).get(object) != simdjson::SUCCESS ||
          HasRepeatedKeys(object)) {
        return false;
      }
      loader->LoadTopObject(object, i);
    }
    return true;
  } catch (const LoadError&) {
  } catch (const std::exception&) {
  }
  return false;
}

std::atomic<int> g_parallel_piece_loads{0};

// From this size on, a text's depth is scanned on a thread of its own while
// it is cut into pieces (below it a thread costs more than it saves).
constexpr size_t kParallelScanBytes = size_t{1} << 20;

// Loads a document cut into `pieces` (see CutIntoPieces): the document's own
// members from a parse of the head, then each item of "objects" from a
// parse of its own text, so that the parser's tree never holds more than
// one object rather than the whole picture. Every object is loaded as the
// whole-text load would, under the same name (objects[i]). With at least
// `limits.parallel_load_objects` items, the second half of them is loaded
// on a thread of its own into a scratch document, whose objects then move
// behind the first half's (Loader::Adopt): the document is the same either
// way. True when the document is loaded; false, with the document emptied
// again, when the text cannot be cut, a piece does not parse or names a key
// twice, or the load fails (in either half): the whole-text load then runs
// and fails (or not) as it would have, with its own message.
bool LoadInPieces(const std::string& text, DocumentPieces& pieces, const std::string& origin,
                  const LoadOptions& limits, Document* document) {
  simdjson::dom::parser parser;
  Loader<Fast> loader(document, limits, Folder(origin));
  // Every piece lies in `text` and is followed by the rest of it: parsed in
  // place when the text has the parser's room past its end.
  const bool copy = text.capacity() - text.size() < kDocumentTextPadding;
  try {
    Fast root;
    if (parser.parse(pieces.head.data(), pieces.head.size(), false).get(root) !=
            simdjson::SUCCESS ||
        HasRepeatedKeys(root)) {
      return false;
    }
    loader.LoadDocument(root, Utf8ToLatin1(BaseName(origin)));
  } catch (const LoadError&) {
    loader.Abandon();
    return false;
  } catch (const std::exception&) {
    loader.Abandon();
    return false;
  }
  std::string().swap(pieces.head);
  const size_t count = pieces.objects.size();
  const bool parallel =
      limits.parallel_load_objects > 0 && count >= limits.parallel_load_objects && count >= 2;
  if (!parallel) {
    if (LoadPieceRange(pieces, 0, count, copy, &parser, &loader)) return true;
    loader.Abandon();
    return false;
  }

  const size_t middle = count / 2;
  bool started = false;
  bool loaded = false;
  try {
    Document part(limits);
    Loader<Fast> part_loader(&part, limits, Folder(origin));
    part_loader.LoadTopObjectsOf(*document);
    bool part_loaded = false;
    std::thread second_half;
    try {
      second_half = std::thread([&] {
        try {
          simdjson::dom::parser part_parser;
          part_loaded = LoadPieceRange(pieces, middle, count, copy, &part_parser, &part_loader);
        } catch (...) {
          part_loaded = false;
        }
      });
      started = true;
    } catch (const std::system_error&) {
      // No thread to be had (a limit on threads or on memory for its
      // stack): every piece loads on this one, below.
    }
    if (started) {
      const bool first_loaded = LoadPieceRange(pieces, 0, middle, copy, &parser, &loader);
      second_half.join();
      if (first_loaded && part_loaded) {
        loader.Adopt(&part);
        loaded = true;
        g_parallel_piece_loads.fetch_add(1, std::memory_order_relaxed);
      }
    }
  } catch (const std::exception&) {
    // The merge (or the scratch document) out of memory: the whole-text
    // load decides.
    loaded = false;
  }
  if (!started && LoadPieceRange(pieces, 0, count, copy, &parser, &loader)) {
    return true;
  }
  if (!loaded) loader.Abandon();
  return loaded;
}

}  // namespace

int ParallelPieceLoads() { return g_parallel_piece_loads.load(); }

int JsonNestingDepth(const std::string& text) {
  int depth = 0;
  int deepest = 0;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const char c = *at++;
    if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    } else if (c == '"') {
      at = PastStringEnd(at, end);
      if (at == nullptr) return deepest;
    }
  }
  return deepest;
}

bool LoadDocumentTree(const std::string& text, const std::string& origin,
                      const LoadOptions& options, Document* document, std::string* error) {
  LoadOptions limits = options;
  limits.max_group_depth = std::clamp(limits.max_group_depth, 0, kGroupDepthCeiling);
  // Every group level takes two levels of JSON; the rest leaves room for
  // connections, lookups and typed values below the deepest group.
  int json_limit = std::max(512, 2 * limits.max_group_depth + 256);
  // The depth scan and the cutting into pieces each read the whole text:
  // on a large text the depth is found on another core meanwhile. The
  // pieces are used only once the depth is known to allow them.
  int depth = 0;
  DocumentPieces pieces;
  bool cut = false;
  bool reference = false;
  {
    std::thread depth_scan;
    if (text.size() >= kParallelScanBytes) {
      try {
        depth_scan = std::thread([&] { depth = JsonNestingDepth(text); });
      } catch (const std::system_error&) {
        // No thread to be had: the scan runs here below.
      }
    }
    struct Joiner {
      std::thread& thread;
      ~Joiner() {
        if (thread.joinable()) thread.join();
      }
    } joiner{depth_scan};
    if (!depth_scan.joinable()) depth = JsonNestingDepth(text);
    reference = NeedsReferenceParser(text);
    try {
      cut = !reference && CutIntoPieces(text, &pieces);
    } catch (const std::exception&) {
      // Out of memory for the pieces: the whole-text load decides.
      cut = false;
    }
  }
  if (depth > json_limit) {
    *error = "the document nests arrays and objects more than " + std::to_string(json_limit) +
             " levels deep";
    return false;
  }
  try {
    // The fast parser first; a document it refuses, or that it might read
    // otherwise than the reference parser (see NeedsReferenceParser, repeated
    // keys), is parsed again by the reference parser, whose messages name
    // the faults.
    if (!reference) {
      // In pieces first, when the whole text would not be too deep for the
      // fast parser either.
      if (cut && depth <= static_cast<int>(simdjson::DEFAULT_MAX_DEPTH) &&
          LoadInPieces(text, pieces, origin, limits, document)) {
        return true;
      }
      static_assert(kDocumentTextPadding >= simdjson::SIMDJSON_PADDING, "padding of the parser");
      simdjson::dom::parser parser;
      Fast root;
      // Parsed in place when the string has the room past its end (as the
      // documents read from files have), otherwise from a padded copy.
      const bool copy = text.capacity() - text.size() < kDocumentTextPadding;
      if (parser.parse(text.data(), text.size(), copy).get(root) == simdjson::SUCCESS &&
          !HasRepeatedKeys(root)) {
        Loader<Fast> loader(document, limits, Folder(origin));
        loader.LoadDocument(root, Utf8ToLatin1(BaseName(origin)));
        return true;
      }
    }
    Json json;
    try {
      json = Json::parse(text);
    } catch (const Json::parse_error& e) {
      *error = std::string("not valid JSON: ") + e.what();
      return false;
    }
    Loader<Json> loader(document, limits, Folder(origin));
    loader.LoadDocument(json, Utf8ToLatin1(BaseName(origin)));
    return true;
  } catch (const LoadError& e) {
    *error = e.message;
  } catch (const std::exception& e) {
    *error = std::string("malformed document: ") + e.what();
  }
  return false;
}

}  // namespace standin
}  // namespace quillon
