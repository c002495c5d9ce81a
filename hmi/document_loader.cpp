// Loads a stand-in document: every key of the document and object forms,
// their defaults, the derived full names and the property lists.
#include "hmi/document_loader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "hmi/latin1.h"

namespace quillon {
namespace standin {

namespace {

using Json = nlohmann::ordered_json;

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

const Json* Member(const Json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string Text(const Json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "expected a text");
  return Utf8ToLatin1(value.get_ref<const std::string&>());
}

double Number(const Json& value, const std::string& where) {
  if (!value.is_number()) Fail(where, "expected a number");
  double number = value.get<double>();
  if (!std::isfinite(number)) Fail(where, "the number is out of range");
  return number;
}

// A number rounded half away from zero into [low, high]; true and false
// count as 1 and 0.
int64_t Integer(const Json& value, const std::string& where, int64_t low, int64_t high) {
  double number = value.is_boolean() ? (value.get<bool>() ? 1.0 : 0.0) : Number(value, where);
  double rounded = std::round(number);
  if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) {
    Fail(where, "the number is out of range");
  }
  return static_cast<int64_t>(rounded);
}

int32_t Integer32(const Json& value, const std::string& where) {
  return static_cast<int32_t>(Integer(value, where, INT32_MIN, INT32_MAX));
}

int16_t Integer16(const Json& value, const std::string& where) {
  return static_cast<int16_t>(Integer(value, where, INT16_MIN, INT16_MAX));
}

// The same for a place made only on an error: the checks are those of the
// functions above, which then say what is wrong.
std::string Text(const Json& value, const Place& place) {
  if (!value.is_string()) return Text(value, place.str());
  return Utf8ToLatin1(value.get_ref<const std::string&>());
}

int32_t Integer32(const Json& value, const Place& place) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    const int64_t number = value.get<int64_t>();
    if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
  }
  return Integer32(value, place.str());
}

bool Boolean(const Json& value, const std::string& where) {
  if (value.is_boolean()) return value.get<bool>();
  return Number(value, where) != 0.0;
}

void NumberPair(const Json& value, const std::string& where, double pair[2]) {
  if (!value.is_array() || value.size() != 2) Fail(where, "expected [x, y]");
  pair[0] = Number(value[0], where + "[0]");
  pair[1] = Number(value[1], where + "[1]");
}

const Json& Array(const Json& value, const std::string& where) {
  if (!value.is_array()) Fail(where, "expected an array");
  return value;
}

const Json& Object(const Json& value, const std::string& where) {
  if (!value.is_object()) Fail(where, "expected an object");
  return value;
}

std::string Index(const std::string& where, size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

// An exact integer of a typed value form ({"i2": n}, ...).
int64_t ExactInteger(const Json& value, const std::string& where, int64_t low, int64_t high) {
  if (!value.is_number_integer()) Fail(where, "expected an integer");
  if (value.is_number_unsigned() ? value.get<uint64_t>() > static_cast<uint64_t>(high)
                                 : (value.get<int64_t>() < low || value.get<int64_t>() > high)) {
    Fail(where, "the number is out of range");
  }
  return value.get<int64_t>();
}

// A property or level value: JSON numbers, texts, booleans and null, or a
// one-key object naming the value's type.
Variant ToVariant(const Json& value, const std::string& where) {
  switch (value.type()) {
    case Json::value_t::null:
      return Variant();
    case Json::value_t::boolean:
      return Variant::Bool(value.get<bool>());
    case Json::value_t::string:
      return Variant::Bstr(Text(value, where));
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return Variant::I4(static_cast<int32_t>(ExactInteger(value, where, INT32_MIN, INT32_MAX)));
    case Json::value_t::number_float:
      return Variant::R8(Number(value, where));
    case Json::value_t::object:
      break;
    default:
      Fail(where, "unsupported value");
  }
  if (value.size() != 1) Fail(where, "a typed value has exactly one key");
  const std::string& type = value.begin().key();
  const Json& inner = value.begin().value();
  std::string inner_where = where + "." + type;
  if (type == "i2") {
    return Variant::I2(
        static_cast<int16_t>(ExactInteger(inner, inner_where, INT16_MIN, INT16_MAX)));
  }
  if (type == "i4") {
    return Variant::I4(
        static_cast<int32_t>(ExactInteger(inner, inner_where, INT32_MIN, INT32_MAX)));
  }
  if (type == "ui1") {
    return Variant::UI1(static_cast<uint8_t>(ExactInteger(inner, inner_where, 0, UINT8_MAX)));
  }
  if (type == "r4") {
    double number = Number(inner, inner_where);
    if (std::fabs(number) > FLT_MAX) Fail(inner_where, "the number is out of range");
    return Variant::R4(static_cast<float>(number));
  }
  if (type == "r8") return Variant::R8(Number(inner, inner_where));
  if (type == "bool") {
    if (!inner.is_boolean()) Fail(inner_where, "expected true or false");
    return Variant::Bool(inner.get<bool>());
  }
  if (type == "str") return Variant::Bstr(Text(inner, inner_where));
  Fail(where, "unknown value type \"" + type + "\"");
}

// The value of the forms ToVariant converts without a chance of an error
// (null, booleans, texts, finite decimals, integers of 32 bits); false for
// every other, which ToVariant converts or refuses with its message.
bool PlainVariant(const Json& value, Variant* out) {
  switch (value.type()) {
    case Json::value_t::null:
      *out = Variant();
      return true;
    case Json::value_t::boolean:
      *out = Variant::Bool(value.get<bool>());
      return true;
    case Json::value_t::string:
      *out = Variant::Bstr(Utf8ToLatin1(value.get_ref<const std::string&>()));
      return true;
    case Json::value_t::number_integer: {
      const int64_t number = value.get<int64_t>();
      if (number < INT32_MIN || number > INT32_MAX) return false;
      *out = Variant::I4(static_cast<int32_t>(number));
      return true;
    }
    case Json::value_t::number_unsigned: {
      const uint64_t number = value.get<uint64_t>();
      if (number > static_cast<uint64_t>(INT32_MAX)) return false;
      *out = Variant::I4(static_cast<int32_t>(number));
      return true;
    }
    case Json::value_t::number_float: {
      const double number = value.get<double>();
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
class Loader {
 public:
  Loader(Document* document, const LoadOptions& options, std::string folder)
      : document_(document), options_(options), folder_(std::move(folder)) {}

  void LoadDocument(const Json& json, const std::string& default_name) {
    if (!json.is_object()) Fail("", "the document is not a JSON object");
    Node* root = document_->root_;
    std::string name = default_name;
    if (const Json* value = Member(json, "name")) name = Text(*value, "name");
    root->name_ = name;
    root->full_name_ = name;
    root->properties_ = {
        {"Name", Variant::Bstr(root->name_), true},
        {"ClassName", Variant::Bstr(root->class_name_), true},
        {"FullyQualifiedName", Variant::Bstr(root->full_name_), true},
    };
    if (const Json* value = Member(json, "width")) document_->width_ = Number(*value, "width");
    if (const Json* value = Member(json, "height")) document_->height_ = Number(*value, "height");
    if (const Json* value = Member(json, "backgroundColor")) {
      document_->background_color_ = Integer32(*value, "backgroundColor");
    }
    if (const Json* value = Member(json, "pixelsPerUnit")) {
      NumberPair(*value, "pixelsPerUnit", document_->pixels_per_unit_);
    }
    LoadFailures(json, "", &root->failures_);
    if (const Json* value = Member(json, "objects")) {
      const Json& objects = Array(*value, "objects");
      for (size_t i = 0; i < objects.size(); ++i) {
        root->children_.push_back(LoadObject(objects[i], root, 0, false, 0, Index("objects", i)));
      }
    }
  }

 private:
  void LoadFailures(const Json& json, const std::string& where, Failures* failures) {
    std::string prefix = where.empty() ? "" : where + ".";
    if (const Json* value = Member(json, "refuse")) {
      const Json& names = Array(*value, prefix + "refuse");
      for (size_t i = 0; i < names.size(); ++i) {
        std::string name = Text(names[i], Index(prefix + "refuse", i));
        InterfaceId iid;
        if (!InterfaceFromRefusalName(name, &iid)) {
          Fail(Index(prefix + "refuse", i), "unknown interface \"" + name + "\"");
        }
        failures->Refuse(iid);
      }
    }
    if (const Json* value = Member(json, "fail")) {
      const Json& operations = Array(*value, prefix + "fail");
      for (size_t i = 0; i < operations.size(); ++i) {
        failures->Fail(Text(operations[i], Index(prefix + "fail", i)));
      }
    }
  }

  Node* LoadObject(const Json& json, Node* owner, int enclosing_groups, bool data_link_source,
                   int32_t pen_index, const std::string& where) {
    if (!json.is_object()) Fail(where, "an object is a JSON object");
    const Json* class_value = Member(json, "class");
    if (!class_value) Fail(where, "the key \"class\" is required");
    const Json* name_value = Member(json, "name");
    if (!name_value) Fail(where, "the key \"name\" is required");

    Node* node = document_->NewNode(owner);
    node->class_name_ = Text(*class_value, Place{where, ".class"});
    node->name_ = Text(*name_value, Place{where, ".name"});
    int groups = enclosing_groups;
    if (node->class_name_ == "Group" && ++groups > options_.max_group_depth) {
      Fail(where, "groups are nested more than " + std::to_string(options_.max_group_depth) +
                      " levels deep");
    }
    const Json* category = Member(json, "category");
    node->category_ =
        category ? Text(*category, Place{where, ".category"}) : DefaultCategory(node->class_name_);
    const Json* full_name = Member(json, "fullName");
    node->full_name_ =
        full_name ? Text(*full_name, Place{where, ".fullName"}) : owner->full_name_ + "." + node->name_;
    node->pen_index_ = pen_index;
    node->is_data_link_source_ = data_link_source;

    LoadProperties(json, where, node);
    LoadGeometry(json, where, node);
    LoadKindKeys(json, where, node);
    LoadFailures(json, where, &node->failures_);

    if (const Json* value = Member(json, "objects")) {
      const Json& objects = Array(*value, where + ".objects");
      bool sources = node->class_name_ == "DataLink";
      for (size_t i = 0; i < objects.size(); ++i) {
        node->children_.push_back(
            LoadObject(objects[i], node, groups, sources, 0, Index(where + ".objects", i)));
      }
    }
    if (const Json* value = Member(json, "pens")) {
      const Json& pens = Array(*value, where + ".pens");
      for (size_t i = 0; i < pens.size(); ++i) {
        node->pens_.push_back(LoadObject(pens[i], node, groups, false, static_cast<int32_t>(i + 1),
                                         Index(where + ".pens", i)));
      }
    }
    if (const Json* value = Member(json, "connections")) {
      const Json& connections = Array(*value, where + ".connections");
      for (size_t i = 0; i < connections.size(); ++i) {
        node->connections_.push_back(
            LoadConnection(connections[i], node, groups, Index(where + ".connections", i)));
      }
    }
    return node;
  }

  // The property list: Name, ClassName and FullyQualifiedName first (unless
  // the document lists them itself), then the document's properties in
  // order, then the bitmap's image state when the document leaves it out.
  void LoadProperties(const Json& json, const std::string& where, Node* node) {
    std::vector<Property> given;
    if (const Json* value = Member(json, "properties")) {
      const Json& properties = Object(*value, where + ".properties");
      for (auto it = properties.begin(); it != properties.end(); ++it) {
        std::string key = Utf8ToLatin1(it.key());
        Variant property;
        if (!PlainVariant(it.value(), &property)) {
          property = ToVariant(it.value(), where + ".properties." + it.key());
        }
        auto same = std::find_if(given.begin(), given.end(),
                                 [&key](const Property& p) { return p.name == key; });
        if (same != given.end()) {
          same->value = std::move(property);
        } else {
          given.push_back({key, std::move(property), false});
        }
      }
    }
    auto has = [&given](const char* key) {
      return std::any_of(given.begin(), given.end(),
                         [key](const Property& p) { return p.name == key; });
    };
    std::vector<Property>& list = node->properties_;
    list.reserve(list.size() + given.size() + 5);
    if (!has("Name")) list.push_back({"Name", Variant::Bstr(node->name_), true});
    if (!has("ClassName")) list.push_back({"ClassName", Variant::Bstr(node->class_name_), true});
    if (!has("FullyQualifiedName")) {
      list.push_back({"FullyQualifiedName", Variant::Bstr(node->full_name_), true});
    }
    bool has_image = has("CurrentImage");
    bool has_state = has("SecondaryImageDisplayed");
    for (Property& property : given) list.push_back(std::move(property));
    if (node->class_name_ == "Bitmap") {
      if (!has_image) list.push_back({"CurrentImage", Variant::I2(1), false});
      if (!has_state) list.push_back({"SecondaryImageDisplayed", Variant::Bool(false), false});
    }
  }

  // Rotation and centre points default to the centre of the object's box.
  void LoadGeometry(const Json& json, const std::string& where, Node* node) {
    double box[4];
    static const char* const kBoxKeys[4] = {"HorizontalPosition", "VerticalPosition", "Width",
                                            "Height"};
    bool have_box = true;
    for (int i = 0; i < 4 && have_box; ++i) {
      have_box = false;
      for (const Property& property : node->properties_) {
        if (property.name == kBoxKeys[i]) {
          have_box = NumberOf(property.value, &box[i], /*read_texts=*/false);
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
    if (const Json* value = Member(json, "rotationPoint")) {
      NumberPair(*value, where + ".rotationPoint", node->rotation_point_);
    }
    if (const Json* value = Member(json, "centerPoint")) {
      NumberPair(*value, where + ".centerPoint", node->center_point_);
    }
    if (const Json* value = Member(json, "angleUnit")) {
      node->angle_unit_ = Integer32(*value, Place{where, ".angleUnit"});
    }
  }

  // Keys that only some kinds of object use.
  void LoadKindKeys(const Json& json, const std::string& where, Node* node) {
    if (const Json* value = Member(json, "points")) {
      const Json& points = Array(*value, where + ".points");
      for (size_t i = 0; i < points.size(); ++i) {
        double point[2];
        NumberPair(points[i], Index(where + ".points", i), point);
        node->points_.emplace_back(point[0], point[1]);
      }
    }
    if (const Json* value = Member(json, "images")) {
      const Json& images = Array(*value, where + ".images");
      for (size_t i = 0; i < images.size(); ++i) {
        std::string at = Index(where + ".images", i);
        const Json& pair = Object(images[i], at);
        ImagePair loaded;
        if (const Json* image = Member(pair, "primary")) {
          loaded.primary = LoadImage(*image, at + ".primary");
        }
        if (const Json* image = Member(pair, "secondary")) {
          loaded.secondary = LoadImage(*image, at + ".secondary");
        }
        node->images_.push_back(std::move(loaded));
      }
    }
    if (const Json* value = Member(json, "valueGridColor")) {
      node->value_grid_color_ = Integer32(*value, Place{where, ".valueGridColor"});
    }
    if (const Json* value = Member(json, "timeGridColor")) {
      node->time_grid_color_ = Integer32(*value, Place{where, ".timeGridColor"});
    }
    if (const Json* value = Member(json, "progId")) {
      node->prog_id_ = Text(*value, Place{where, ".progId"});
    }
    if (const Json* value = Member(json, "columnHeadings")) {
      node->column_headings_ = Text(*value, Place{where, ".columnHeadings"});
    }
    if (const Json* value = Member(json, "dataLinkSource")) {
      std::string at = where + ".dataLinkSource";
      const Json& source = Object(*value, at);
      node->is_data_link_source_ = true;
      if (const Json* format = Member(source, "format")) {
        node->data_link_format_ = Text(*format, Place{at, ".format"});
      }
      if (const Json* entry = Member(source, "dataEntry")) {
        node->data_entry_ = Integer16(*entry, at + ".dataEntry");
      }
    }
    if (const Json* value = Member(json, "lookup")) LoadLookup(*value, where + ".lookup", node);
    if (const Json* value = Member(json, "linear")) {
      std::string at = where + ".linear";
      const Json& linear = Object(*value, at);
      if (const Json* offset = Member(linear, "offset")) {
        node->offset_ = Integer32(*offset, Place{at, ".offset"});
      }
      if (const Json* type = Member(linear, "sourceDataType")) {
        node->source_data_type_ = Integer32(*type, Place{at, ".sourceDataType"});
      }
    }
    if (const Json* value = Member(json, "formatAnimation")) {
      std::string at = where + ".formatAnimation";
      const Json& format = Object(*value, at);
      if (const Json* type = Member(format, "sourceDataType")) {
        node->source_data_type_ = Integer32(*type, Place{at, ".sourceDataType"});
      }
    }
  }

  void LoadLookup(const Json& value, const std::string& where, Node* node) {
    const Json& lookup = Object(value, where);
    if (const Json* levels = Member(lookup, "levels")) {
      const Json& list = Array(*levels, where + ".levels");
      for (size_t i = 0; i < list.size(); ++i) {
        std::string at = Index(where + ".levels", i);
        const Json& level = Object(list[i], at);
        LookupLevel loaded;
        if (const Json* v = Member(level, "in")) loaded.input = ToVariant(*v, at + ".in");
        if (const Json* v = Member(level, "in2")) loaded.input2 = ToVariant(*v, at + ".in2");
        if (const Json* v = Member(level, "out")) loaded.output = ToVariant(*v, at + ".out");
        if (const Json* v = Member(level, "toggle")) loaded.toggle = ToVariant(*v, at + ".toggle");
        node->levels_.push_back(std::move(loaded));
      }
    }
    if (const Json* v = Member(lookup, "outputToggles")) {
      node->output_toggles_ = Integer16(*v, where + ".outputToggles");
    }
    if (const Json* v = Member(lookup, "exactMatch")) {
      node->exact_match_ = Boolean(*v, where + ".exactMatch");
    }
    if (const Json* v = Member(lookup, "tolerance")) {
      double tolerance = Number(*v, where + ".tolerance");
      if (std::fabs(tolerance) > FLT_MAX) Fail(where + ".tolerance", "the number is out of range");
      node->tolerance_ = static_cast<float>(tolerance);
    }
    if (const Json* v = Member(lookup, "sourceDataType")) {
      node->source_data_type_ = Integer32(*v, Place{where, ".sourceDataType"});
    }
    if (const Json* v = Member(lookup, "sharedTable")) {
      node->shared_table_ = Text(*v, Place{where, ".sharedTable"});
    }
  }

  Image LoadImage(const Json& value, const std::string& where) {
    Image image;
    if (value.is_string()) {
      image.kind = Image::Kind::kFile;
      std::string path = value.get_ref<const std::string&>();
      if (path.empty()) Fail(where, "the image path is empty");
      bool absolute = path[0] == '/' || path[0] == '\\';
      image.path = absolute || folder_.empty() ? path : folder_ + "/" + path;
      return image;
    }
    const Json& plain = Object(value, where);
    const Json* rgb = Member(plain, "rgb");
    if (!rgb) Fail(where, "a plain image needs \"rgb\"");
    image.kind = Image::Kind::kPlain;
    image.rgb = Integer32(*rgb, Place{where, ".rgb"});
    image.width = image.height = 1;
    if (const Json* width = Member(plain, "width")) {
      image.width = static_cast<int32_t>(Integer(*width, where + ".width", 1, 65535));
    }
    if (const Json* height = Member(plain, "height")) {
      image.height = static_cast<int32_t>(Integer(*height, where + ".height", 1, 65535));
    }
    return image;
  }

  Connection LoadConnection(const Json& value, Node* node, int groups, const std::string& where) {
    const Json& json = Object(value, where);
    Connection connection;
    const Json* property = Member(json, "property");
    if (!property) Fail(where, "the key \"property\" is required");
    connection.property = Text(*property, Place{where, ".property"});
    if (const Json* source = Member(json, "source")) {
      connection.source = Text(*source, Place{where, ".source"});
    }
    const Json* full_source = Member(json, "fullSource");
    connection.full_source =
        full_source ? Text(*full_source, Place{where, ".fullSource"}) : connection.source;
    if (const Json* objects = Member(json, "objects")) {
      const Json& list = Array(*objects, where + ".objects");
      for (size_t i = 0; i < list.size(); ++i) {
        connection.objects.push_back(
            LoadObject(list[i], node, groups, false, 0, Index(where + ".objects", i)));
      }
    }
    return connection;
  }

  Document* document_;
  LoadOptions options_;
  std::string folder_;
};

int JsonNestingDepth(const std::string& text) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
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
  if (JsonNestingDepth(text) > json_limit) {
    *error = "the document nests arrays and objects more than " + std::to_string(json_limit) +
             " levels deep";
    return false;
  }
  try {
    Json json;
    try {
      json = Json::parse(text);
    } catch (const Json::parse_error& e) {
      *error = std::string("not valid JSON: ") + e.what();
      return false;
    }
    Loader loader(document, limits, Folder(origin));
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
