// Builds synthetic picture documents: a plant-like mix of classes with
// animations, drawn from one seeded random sequence so that the same options
// always give the same document.
#include "picture_generator.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillon {
namespace bench {
namespace {

// Keys keep the order they are added in: the HMI reports properties in
// document order.
using Json = nlohmann::ordered_json;

// A small random sequence (splitmix64) whose numbers are the same with every
// compiler and library, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number from 0 to n - 1.
  int Below(int n) { return n <= 1 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  bool PerMille(int chance) { return Below(1000) < chance; }
  // A coordinate in half units from `low` up to `low + span`.
  double Coordinate(double low, double span) {
    return low + Below(std::max(1, static_cast<int>(span * 2))) / 2.0;
  }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  uint64_t state_;
};

// The share of each shape class, in thousandths. "AlarmSummary" and
// "CommandButton" are embedded controls (class OleObject).
struct ClassShare {
  const char* kind;
  int per_mille;
};
constexpr ClassShare kClassMix[] = {
    {"Rect", 210},     {"Oval", 90},      {"Line", 90},         {"PolyLine", 60},
    {"Polygon", 50},   {"RoundRect", 50}, {"Arc", 40},          {"Pie", 20},
    {"Text", 150},     {"DataLink", 200}, {"Chart", 8},         {"Bitmap", 10},
    {"AlarmSummary", 4}, {"CommandButton", 18},
};
constexpr int SumOfShares() {
  int sum = 0;
  for (const ClassShare& share : kClassMix) sum += share.per_mille;
  return sum;
}
static_assert(SumOfShares() == 1000, "the class shares must add up to 1000");

// Chance (per mille) that a top-level slot becomes a group; with 2 to 5
// members each and some groups nested, about 7 % of the shapes end up in
// groups.
constexpr int kGroupPerMille = 12;
// Chance that a group of three or more members holds a group itself.
constexpr int kNestedGroupPerMille = 300;
// Chances that a shape has no animation and that it has two.
constexpr int kUnanimatedPerMille = 200;
constexpr int kTwoAnimationsPerMille = 300;

constexpr int kPalette[] = {255,     65280,    16711680, 65535, 16776960, 16711935,
                            8421504, 12632256, 0,        32768, 128,      8388608};
constexpr int kFontSizes[] = {8, 10, 10, 12, 14};
constexpr const char* kFonts[] = {"Arial", "Times New Roman", "Courier New", "MS Sans Serif"};
constexpr const char* kWords[] = {"Tank",  "Pump",   "Valve", "Level", "Flow",  "Pressure",
                                  "Motor", "Heater", "Mixer", "Feed",  "Drain", "Line"};
constexpr const char* kAlarmStates[] = {"OK", "LO", "HI", "LOLO", "HIHI", "COMM"};
constexpr const char* kHeadingSets[] = {
    "Time;Node;Tag;Value;Description;", "Date;Time;Tag;Status;Priority;",
    "Time In;Area;Tag;Value;Units;Description;"};
constexpr const char* kFormats[] = {"%6.2f", "%5.1f", "%8.3f", "%4.0f"};
constexpr const char* kButtonCaptions[] = {"Start", "Stop", "Reset", "Open", "Close", "Ack"};

// The part of the picture a shape is placed in.
struct Region {
  double x, y, width, height;
};

constexpr double kPictureWidth = 1600.0;
constexpr double kPictureHeight = 1200.0;

class Generator {
 public:
  Generator(const GeneratorOptions& options, GeneratorStats* stats)
      : options_(options), random_(options.seed), stats_(stats) {}

  std::string Run() {
    std::string text;
    text += "{\"name\": " + Json(options_.name).dump() + ", \"width\": " +
            Json(kPictureWidth).dump() + ", \"height\": " + Json(kPictureHeight).dump() +
            ", \"backgroundColor\": 12632256, \"pixelsPerUnit\": [1.0, 1.0],\n\"objects\": [";
    const Region all{0.0, 0.0, kPictureWidth, kPictureHeight};
    int left = std::max(0, options_.objects);
    bool first = true;
    while (left > 0) {
      Json object;
      if (left >= 4 && random_.PerMille(kGroupPerMille)) {
        object = MakeGroup(all, random_.Between(2, std::min(5, left - 1)), 1, &left);
      } else {
        object = MakeShape(PickClass(), all);
        --left;
      }
      text += first ? "\n" : ",\n";
      text += object.dump();
      first = false;
    }
    text += "\n]}\n";
    return text;
  }

 private:
  const char* PickClass() {
    int roll = random_.Below(1000);
    for (const ClassShare& share : kClassMix) {
      if (roll < share.per_mille) return share.kind;
      roll -= share.per_mille;
    }
    return "Rect";
  }

  // A name made of `base` and a number counted per base.
  std::string NextName(const std::string& base) {
    return base + std::to_string(++counters_[base]);
  }

  // A tag of the local data source's node. Tags are drawn from a pool a
  // quarter the size of the picture, so many are shared between objects.
  std::string TagName() {
    const int pool = std::max(8, options_.objects / 4);
    const char* prefix = random_.Below(3) == 0 ? "DI" : "AI";
    return prefix + std::to_string(random_.Below(pool) + 1);
  }
  // A field of a tag of the local data source, as the HMI names it.
  static std::string Source(const std::string& tag, const char* field = "F_CV") {
    return "DS.NODE1." + tag + "." + field;
  }
  std::string Tag(const char* field = "F_CV") { return Source(TagName(), field); }

  int Color() { return random_.Pick(kPalette); }

  void Count(const std::string& key) {
    if (stats_ != nullptr) ++stats_->classes[key];
  }
  void CountAnimation(const std::string& kind) {
    if (stats_ != nullptr) ++stats_->animations[kind];
  }

  // A group of `members` shapes (`depth` 1 for a top-level group) placed in
  // `region`; `left` counts down the shapes still to make.
  Json MakeGroup(const Region& region, int members, int depth, int* left) {
    const double width = random_.Coordinate(80.0, 120.0);
    const double height = random_.Coordinate(60.0, 100.0);
    const Region box{random_.Coordinate(region.x, std::max(0.0, region.width - width)),
                     random_.Coordinate(region.y, std::max(0.0, region.height - height)), width,
                     height};
    Json group;
    group["class"] = "Group";
    group["name"] = NextName("Group");
    group["properties"] = Json{{"HorizontalPosition", box.x}, {"VerticalPosition", box.y},
                               {"Width", box.width}, {"Height", box.height}, {"Visible", true}};
    --*left;
    Count("Group");
    if (stats_ != nullptr) {
      ++stats_->groups;
      if (depth > 1) ++stats_->nested_groups;
    }
    Json objects = Json::array();
    bool nested = false;
    for (int i = 0; i < members && *left > 0; ++i) {
      if (depth == 1 && !nested && members >= 3 && *left >= 3 &&
          random_.PerMille(kNestedGroupPerMille)) {
        nested = true;
        if (stats_ != nullptr) ++stats_->grouped;
        objects.push_back(MakeGroup(box, random_.Between(2, std::min(3, *left - 1)), 2, left));
        continue;
      }
      objects.push_back(MakeShape(PickClass(), box));
      --*left;
      if (stats_ != nullptr) ++stats_->grouped;
    }
    group["objects"] = std::move(objects);
    Json connections = Json::array();
    if (random_.PerMille(400)) {
      connections.push_back(random_.Below(2) == 0
                                ? PositionLinear("HorizontalPosition", box.x)
                                : ColorLookup("ForegroundColor"));
    }
    Finish(&group, std::move(connections));
    return group;
  }

  // One shape of `kind` placed in `region`, with its animations.
  Json MakeShape(const std::string& kind, const Region& region) {
    const double width = random_.Coordinate(10.0, 70.0);
    const double height = random_.Coordinate(10.0, 50.0);
    const double x = random_.Coordinate(region.x, std::max(0.0, region.width - width));
    const double y = random_.Coordinate(region.y, std::max(0.0, region.height - height));
    Json object;
    Count(kind);
    if (kind == "AlarmSummary" || kind == "CommandButton") {
      return MakeControl(kind, x, y);
    }
    object["class"] = kind;
    object["name"] = NextName(kind);
    Json properties;
    Json connections = Json::array();
    std::vector<std::string> animatable;  // properties an animation may take, in preference order
    if (kind == "Rect" || kind == "Oval" || kind == "RoundRect") {
      properties = Box(x, y, width, height);
      properties["ForegroundColor"] = Color();
      properties["BackgroundColor"] = Color();
      properties["EdgeColor"] = 0;
      properties["EdgeWidth"] = static_cast<double>(random_.Between(1, 3));
      properties["EdgeStyle"] = random_.Below(6) == 0 ? 2 : 0;
      properties["Visible"] = true;
      if (kind == "RoundRect") {
        properties["RoundnessX"] = random_.Between(2, 12);
        properties["RoundnessY"] = random_.Between(2, 12);
      }
      if (kind == "Oval" && random_.Below(5) == 0) {
        properties["RotationAngle"] = static_cast<double>(random_.Below(360));
      }
      if (kind == "Rect" && random_.Below(3) == 0) {
        properties["VerticalFillPercentage"] = static_cast<double>(random_.Below(101));
        properties["VerticalFillDirection"] = 1;
        animatable = {"VerticalFillPercentage"};
      }
      animatable.insert(animatable.end(),
                        {"ForegroundColor", "HorizontalPosition", "Visible", "EdgeColor"});
    } else if (kind == "Line") {
      const double x2 = x + width, y2 = random_.Below(2) == 0 ? y : y + height;
      properties = Box(x, std::min(y, y2), width, std::max(1.0, y2 - y));
      properties["StartX"] = x;
      properties["StartY"] = y;
      properties["EndX"] = x2;
      properties["EndY"] = y2;
      properties["EdgeColor"] = Color();
      properties["EdgeWidth"] = static_cast<double>(random_.Between(1, 4));
      properties["EdgeStyle"] = random_.Below(4);
      animatable = {"EdgeColor", "Visible", "HorizontalPosition"};
    } else if (kind == "PolyLine" || kind == "Polygon") {
      properties = Box(x, y, width, height);
      if (kind == "Polygon") properties["ForegroundColor"] = Color();
      properties["EdgeColor"] = Color();
      properties["EdgeWidth"] = static_cast<double>(random_.Between(1, 4));
      properties["EdgeStyle"] = 0;
      Json points = Json::array();
      const int count = random_.Between(kind == "Polygon" ? 3 : 2, 6);
      for (int i = 0; i < count; ++i) {
        points.push_back({random_.Coordinate(x, width), random_.Coordinate(y, height)});
      }
      object["points"] = std::move(points);
      if (kind == "Polygon") {
        animatable = {"ForegroundColor", "Visible", "VerticalPosition"};
      } else {
        animatable = {"EdgeColor", "Visible"};
      }
    } else if (kind == "Arc" || kind == "Pie") {
      const double radius = std::max(5.0, std::min(width, height) / 2.0);
      const double cx = x + radius, cy = y + radius;
      properties = Box(x, y, 2.0 * radius, 2.0 * radius);
      properties["StartX"] = cx + radius;
      properties["StartY"] = cy;
      properties["CenterX"] = cx;
      properties["CenterY"] = cy;
      properties["EndX"] = cx;
      properties["EndY"] = cy - radius;
      if (kind == "Pie") properties["ForegroundColor"] = Color();
      properties["EdgeColor"] = Color();
      properties["EdgeWidth"] = static_cast<double>(random_.Between(1, 3));
      properties["EdgeStyle"] = 0;
      animatable = {kind == "Pie" ? "ForegroundColor" : "EdgeColor", "Visible"};
    } else if (kind == "Text") {
      const int lines = random_.Below(10) < 3 ? random_.Between(2, 3) : 1;
      std::string caption;
      for (int i = 0; i < lines; ++i) {
        if (i > 0) caption += '\r';
        caption += std::string(random_.Pick(kWords)) + " " + std::to_string(random_.Below(100));
      }
      properties = TextProperties(x, y, caption, lines, 20);
      properties["Alignment"] = random_.Below(3);
      animatable = {"ForegroundColor", "Visible"};
      // Clocks are one-line texts.
      if (lines == 1 && random_.Below(6) == 0) animatable.insert(animatable.begin(), "Caption");
    } else if (kind == "DataLink") {
      properties = TextProperties(x, y, "####.##", 1, 8);
      Json source;
      source["class"] = "DataItem";
      source["name"] = NextName("DataLinkSource");
      source["dataLinkSource"] = Json{{"format", random_.Pick(kFormats)},
                                      {"dataEntry", random_.Below(4) == 0 ? 1 : 0}};
      object["objects"] = Json::array({std::move(source)});
      // Every data link shows a value; some also change colour.
      connections.push_back(random_.Below(10) < 7 ? FormatOn("Caption") : DataItem("Caption"));
      animatable = {"ForegroundColor", "Visible"};
    } else if (kind == "Chart") {
      properties = Box(x, y, 200.0, 120.0);
      properties["ForegroundColor"] = 16777215;
      properties["BackgroundColor"] = 0;
      properties["Transparent"] = 0;
      properties["TimeAxisNumLabels"] = 5;
      properties["TimeAxisNumTicks"] = 2;
      properties["ValueAxisNumLabels"] = 5;
      properties["ValueAxisNumTicks"] = 3;
      properties["Duration"] = 600;
      object["valueGridColor"] = 8421504;
      object["timeGridColor"] = 8421504;
      Json pens = Json::array();
      const int count = random_.Between(1, 4);
      for (int i = 0; i < count; ++i) {
        Json pen;
        pen["class"] = "Pen";
        pen["name"] = NextName("Pen");
        const double high = random_.Below(2) == 0 ? 100.0 : 500.0;
        pen["properties"] = Json{{"PenLineColor", Color()},
                                 {"PenLineWidth", random_.Between(1, 3)},
                                 {"HiLimit", high},
                                 {"LoLimit", 0.0},
                                 {"Source", Tag()}};
        CountAnimation("Pen");
        pens.push_back(std::move(pen));
      }
      object["pens"] = std::move(pens);
      animatable = {"Visible"};
    } else if (kind == "Bitmap") {
      properties = Box(x, y, 16.0, 16.0);
      const int images = random_.Between(1, 3);
      properties["ImageCount"] = images;
      properties["CurrentImage"] = 1;
      properties["SecondaryImageDisplayed"] = 0;
      Json list = Json::array();
      for (int i = 0; i < images; ++i) {
        list.push_back({{"primary", PlainImage()}, {"secondary", PlainImage()}});
      }
      object["images"] = std::move(list);
      animatable = {"Visible"};
      if (images > 1) animatable.insert(animatable.begin(), "CurrentImage");
    }
    object["properties"] = std::move(properties);
    AddAnimations(kind, animatable, &connections);
    Finish(&object, std::move(connections));
    return object;
  }

  Json MakeControl(const std::string& kind, double x, double y) {
    Json object;
    object["class"] = "OleObject";
    if (kind == "AlarmSummary") {
      object["name"] = NextName("AlarmSummary");
      object["properties"] = Json{{"HorizontalPosition", x}, {"VerticalPosition", y},
                                  {"Width", 400.0}, {"Height", 150.0}, {"Visible", true},
                                  {"ForeColor", 0}, {"BackColor", 16777215}};
      object["progId"] = "HmiAlarmSummary.Control.1";
      object["columnHeadings"] = random_.Pick(kHeadingSets);
    } else {
      object["name"] = NextName("CommandButton");
      object["properties"] = Json{{"HorizontalPosition", x},
                                  {"VerticalPosition", y},
                                  {"Width", 60.0},
                                  {"Height", 24.0},
                                  {"Caption", random_.Pick(kButtonCaptions)},
                                  {"ForeColor", 0},
                                  {"BackColor", 12632256},
                                  {"Enabled", true},
                                  {"Visible", true}};
      object["progId"] = "Forms.CommandButton.1";
    }
    if (stats_ != nullptr) ++stats_->shapes;
    return object;
  }

  Json Box(double x, double y, double width, double height) {
    return Json{{"HorizontalPosition", x}, {"VerticalPosition", y}, {"Width", width},
                {"Height", height}};
  }

  Json TextProperties(double x, double y, const std::string& caption, int lines, int max_chars) {
    return Json{{"HorizontalPosition", x},
                {"VerticalPosition", y},
                {"Caption", caption},
                {"NumberOfLines", lines},
                {"MaxCharactersPerLine", max_chars},
                {"FontSize", random_.Pick(kFontSizes)},
                {"FontName", random_.Pick(kFonts)},
                {"FontStyle", random_.Below(3)},
                {"ForegroundColor", Color()},
                {"Visible", true}};
  }

  Json PlainImage() { return Json{{"rgb", Color()}, {"width", 16}, {"height", 16}}; }

  // Gives the shape none, one or two animations on different properties of
  // `animatable` (the first ones are the likelier).
  void AddAnimations(const std::string& kind, const std::vector<std::string>& animatable,
                     Json* connections) {
    if (animatable.empty()) return;
    const int roll = random_.Below(1000);
    int wanted = roll < kUnanimatedPerMille ? 0
                 : roll < kUnanimatedPerMille + kTwoAnimationsPerMille ? 2
                                                                        : 1;
    if (!connections->empty()) wanted = std::max(0, wanted - 1);
    std::vector<std::string> chosen;
    for (int i = 0; i < wanted; ++i) {
      // Prefer the head of the list: two draws, keep the smaller index.
      const int size = static_cast<int>(animatable.size());
      const std::string& property =
          animatable[std::min(random_.Below(size), random_.Below(size))];
      if (std::find(chosen.begin(), chosen.end(), property) != chosen.end()) continue;
      chosen.push_back(property);
      connections->push_back(AnimationOf(kind, property));
    }
  }

  Json AnimationOf(const std::string& kind, const std::string& property) {
    if (property == "Visible") return DataItem(property);
    if (property == "Caption") return Clock();
    if (property == "CurrentImage") return ImageLookup();
    if (property == "VerticalFillPercentage") return FillLinear(property);
    if (property == "HorizontalPosition" || property == "VerticalPosition") {
      // Mostly scaled; some tags give the position directly.
      if (random_.Below(5) == 0) return DataItem(property);
      return PositionLinear(property, random_.Coordinate(0.0, 400.0));
    }
    (void)kind;
    return ColorLookup(property);
  }

  Json Connection(const std::string& property, const std::string& source, Json object) {
    return Json{{"property", property},
                {"source", source},
                {"objects", Json::array({std::move(object)})}};
  }

  // An exact table (states to colours, some blinking, some on alarm
  // states) or a range table (value bands to colours).
  Json ColorLookup(const std::string& property) {
    Json lookup;
    lookup["class"] = "Lookup";
    lookup["name"] = NextName("Lookup");
    const bool range = random_.Below(3) == 0;
    const bool alarms = !range && random_.Below(10) == 0;
    const bool blinking = !range && !alarms && random_.Below(7) == 0;
    const std::string source = Tag(alarms ? "A_CUALM" : "F_CV");
    lookup["properties"] = Json{{"Source", source},
                                {"DefaultOutputValue", Color()},
                                {"ToggleRate", 0.5},
                                {"GlobalToggle", 16777215},
                                {"GlobalOutputToggle", 0},
                                {"ToggleSource", ""}};
    Json levels = Json::array();
    const int count = random_.Between(2, 4);
    for (int i = 0; i < count; ++i) {
      Json level;
      if (range) {
        level["in"] = 25.0 * i;
        level["in2"] = 25.0 * (i + 1);
      } else if (alarms) {
        level["in"] = kAlarmStates[i];
      } else {
        level["in"] = i;
      }
      level["out"] = Color();
      if (blinking && i == count - 1) level["toggle"] = Color();
      levels.push_back(std::move(level));
    }
    lookup["lookup"] = Json{{"levels", std::move(levels)},
                            {"outputToggles", blinking ? 1 : 0},
                            {"exactMatch", !range},
                            {"tolerance", 0.0},
                            {"sourceDataType", alarms ? 8 : (range ? 5 : 3)}};
    CountAnimation(range ? "Lookup range" : "Lookup exact");
    return Connection(property, source, std::move(lookup));
  }

  // Picks a bitmap's image by state.
  Json ImageLookup() {
    Json lookup;
    lookup["class"] = "Lookup";
    lookup["name"] = NextName("Lookup");
    const std::string source = Tag();
    lookup["properties"] = Json{{"Source", source},
                                {"DefaultOutputValue", 1},
                                {"ToggleRate", 0.5},
                                {"GlobalToggle", 0},
                                {"GlobalOutputToggle", 0},
                                {"ToggleSource", ""}};
    lookup["lookup"] = Json{{"levels", Json::array({Json{{"in", 0}, {"out", 1}},
                                                    Json{{"in", 1}, {"out", 2}}})},
                            {"exactMatch", true},
                            {"sourceDataType", 3}};
    CountAnimation("Lookup image");
    return Connection("CurrentImage", source, std::move(lookup));
  }

  Json Linear(const std::string& property, double low_out, double high_out, int offset) {
    Json linear;
    linear["class"] = "Linear";
    linear["name"] = NextName("Linear");
    const std::string source = Tag();
    linear["properties"] = Json{{"Source", source},
                                {"LoInValue", 0.0},
                                {"HiInValue", 100.0},
                                {"LoOutValue", low_out},
                                {"HiOutValue", high_out}};
    linear["linear"] = Json{{"offset", offset}, {"sourceDataType", 5}};
    return Connection(property, source, std::move(linear));
  }

  Json FillLinear(const std::string& property) {
    CountAnimation("Linear fill");
    return Linear(property, 0.0, 100.0, 0);
  }

  Json PositionLinear(const std::string& property, double at) {
    CountAnimation("Linear position");
    const bool offset = random_.Below(4) == 0;
    return offset ? Linear(property, 0.0, random_.Coordinate(20.0, 100.0), 1)
                  : Linear(property, at, at + random_.Coordinate(20.0, 200.0), 0);
  }

  Json FormatOn(const std::string& property) {
    Json format;
    format["class"] = "Format";
    format["name"] = NextName("Format");
    const std::string source = Tag();
    format["properties"] = Json{{"Source", source}};
    format["formatAnimation"] = Json{{"sourceDataType", 5}};
    CountAnimation("Format");
    return Connection(property, source, std::move(format));
  }

  Json DataItem(const std::string& property) {
    const std::string tag = TagName();
    const std::string source = Source(tag);
    Json item;
    item["class"] = "DataItem";
    item["name"] = tag;
    CountAnimation("DataItem");
    return Connection(property, source, std::move(item));
  }

  // The current time; the conversion asks once which node it comes from.
  Json Clock() {
    Json info;
    info["class"] = "GlobalSysInfo";
    info["name"] = NextName("CurrentTime");
    CountAnimation("GlobalSysInfo");
    return Connection("Caption", "System.CurrentTime", std::move(info));
  }

  void Finish(Json* object, Json connections) {
    if (!connections.empty()) {
      if (stats_ != nullptr) {
        ++stats_->animated;
        stats_->connections += static_cast<int>(connections.size());
      }
      (*object)["connections"] = std::move(connections);
    }
    if (stats_ != nullptr) ++stats_->shapes;
  }

  const GeneratorOptions& options_;
  Random random_;
  GeneratorStats* stats_;
  std::map<std::string, int> counters_;
};

}  // namespace

std::string GeneratePictureDocument(const GeneratorOptions& options, GeneratorStats* stats) {
  if (stats != nullptr) *stats = GeneratorStats();
  Generator generator(options, stats);
  return generator.Run();
}

}  // namespace bench
}  // namespace quillon
