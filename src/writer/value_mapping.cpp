// The vocabulary between the HMI and the browser viewer.
#include "writer/value_mapping.h"

#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "driver/conversion_log.h"
#include "platform/format.h"
#include "writer/page_writer.h"

namespace quillon {
namespace {

struct PropertyRow {
  const char* hmi_name;
  const char* viewer_name;
  int kind;
};

// The first row whose HMI name matches wins.
constexpr PropertyRow kPropertyTable[] = {
    {"HorizontalScaleDirection", "anchorHoriz", kHorizontalAnchor},
    {"VerticalScaleDirection", "anchorVert", kVerticalAnchor},
    {"BackgroundColor", "bgColor", kColor},
    {"ForegroundColor", "fgColor", kColor},
    {"HorizontalFillDirection", "fillDirectionHoriz", kHorizontalFillDirection},
    {"VerticalFillDirection", "fillDirectionVert", kVerticalFillDirection},
    {"HorizontalFillPercentage", "fillPercentHoriz", kPlain},
    {"VerticalFillPercentage", "fillPercentVert", kPlain},
    {"Height", "height", kPlain},
    {"VerticalScalePercentage", "heightPercent", kPlain},
    {"HorizontalScalePercentage", "widthPercent", kPlain},
    {"EdgeColor", "lineColor", kColor},
    {"EdgeStyle", "lineStyle", kLineStyle},
    {"EdgeWidth", "lineWidth", kPlain},
    {"RotationAngle", "rotateAngle", kAngle},
    {"Visible", "visibility", kFlag},
    {"Width", "width", kPlain},
    {"HorizontalPosition", "x", kPlain},
    {"VerticalPosition", "y", kPlain},
    {"FontName", "font", kFontName},
    {"FontSize", "fontSize", kPlain},
    {"FontStyle", "fontStyle", kFontStyle},
    {"RefreshRate", "interval", kInterval},
    {"Duration", "span", kPlain},
    {"StartX", "x0", kPlain},
    {"StartY", "y0", kPlain},
    {"EndX", "x1", kPlain},
    {"EndY", "y1", kPlain},
    {"Caption", "text", kQuotedText},
    {"Underline", "underline", kFlag},
    {"textColor", "textColor", kColor},
    {"Alignment", "justify", kJustification},
    {"CurrentImage", "file", kPlain},
    {"Enabled", "disable", kFlag},
    {"BackColor", "bgColor", kColor},
    {"ForeColor", "textColor", kColor},
    {"pens", "pens", kPlain},
    {"timeDivsPerLabel", "timeDivsPerLabel", kPlain},
    {"valueDivsPerLabel", "valueDivsPerLabel", kPlain},
    {"majorValueDivs", "majorValueDivs", kPlain},
    {"majorTimeDivs", "majorTimeDivs", kPlain},
    {"Duration", "span", kPlain},
    {"HiLimit", "maxValue", kPlain},
    {"LoLimit", "minValue", kPlain},
    {"points", "points", kPlain},
    {"rotateOffsetX", "rotateOffsetX", kPlain},
    {"rotateOffsetY", "rotateOffsetY", kPlain},
    {"startAngle", "startAngle", kPlain},
    {"arcLength", "arcLength", kPlain},
    {"timeLabelColor", "timeLabelColor", kPlain},
    {"valueLabelColor", "valueLabelColor", kPlain},
    {"majorValueDivColor", "majorValueDivColor", kColor},
    {"minorValueDivColor", "minorValueDivColor", kColor},
    {"minorTimeDivColor", "minorTimeDivColor", kColor},
    {"majorTimeDivColor", "majorTimeDivColor", kColor},
    {"format", "format", kQuotedText},
    {"diameter", "diameter", kPlain},
    {"PenLineColor", "PenColor", kColor},
    {"PenLineWidth", "PenWidth", kPlain},
    {"HiInValue", "inMax", kPlain},
    {"HiOutValue", "outMax", kPlain},
    {"LoInValue", "inMin", kPlain},
    {"LoOutValue", "outMin", kPlain},
    {"Source", "in", kQuotedText},
    {"CurrentValue", "out", kPlain},
    {"OutputValue", "out", kPlain},
    {"InputValue", "in", kPlain},
    {"columns", "columns", kPlain},
    {"order", "order", kPlain},
};
static_assert(sizeof(kPropertyTable) / sizeof(kPropertyTable[0]) == 69,
              "the property-name table has 69 rows");

struct ExclusionRow {
  const char* class_name;
  const char* names;  // each followed by a TAB
};

constexpr ExclusionRow kExclusionTable[] = {
    {"Chart",
     "HorizontalScaleDirection\tEdgeWidth\tVerticalScalePercentage\tHorizontalScalePercentage\t"
     "VerticalScaleDirection\tEdgeStyle\trotateOffsetX\trotateOffsetY\t"},
    {"Line",
     "BackgroundColor\tWidth\tHeight\tHorizontalPosition\tVerticalPosition\t"
     "VerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Text",
     "BackgroundColor\tEdgeWidth\tEdgeStyle\tFontSize\tEdgeColor\tformat\trotateOffsetX\t"
     "rotateOffsetY\tVerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"PolyLine", "BackgroundColor\tVerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Arc",
     "StartX\tStartY\tEndX\tEndY\tVerticalScalePercentage\tHorizontalScalePercentage\t"
     "BackgroundColor\t"},
    {"Pie",
     "StartX\tStartY\tEndX\tEndY\tVerticalScalePercentage\tHorizontalScalePercentage\t"
     "BackgroundColor\t"},
    {"DataLink",
     "rotateOffsetX\trotateOffsetY\tBackgroundColor\tEdgeWidth\tEdgeStyle\tFontSize\t"
     "EdgeColor\tVerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Bitmap", "CurrentImage\tVerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Rect", "VerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"RoundRect", "VerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Oval", "VerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"Polygon", "VerticalScalePercentage\tHorizontalScalePercentage\t"},
    {"CommandButton",
     "BackColor\tVerticalScalePercentage\tHorizontalScalePercentage\trotateOffsetX\t"
     "rotateOffsetY\t"},
    {"AlarmSummary",
     "HorizontalScaleDirection\tVerticalScaleDirection\tVerticalScalePercentage\t"
     "HorizontalScalePercentage\trotateOffsetX\trotateOffsetY\t"},
};

// The kinds an animation class cannot drive in the viewer, as a bit set.
struct AnimationRule {
  const char* animation_class;
  unsigned rejected_kinds;
};

constexpr unsigned Kinds(std::initializer_list<int> kinds) {
  unsigned bits = 0;
  for (int kind : kinds) bits |= 1u << kind;
  return bits;
}

constexpr AnimationRule kAnimationRules[] = {
    {"Linear", Kinds({1, 3, 4, 5, 6, 7, 8, 10, 11})},
    {"Format", Kinds({1, 3, 4, 5, 6, 7, 8, 11})},
    {"GlobalSysInfo", Kinds({1, 3, 4, 5, 6, 7, 11})},
    {"COpcDataItem", Kinds({1, 3, 4, 5, 6, 7, 11})},
};

// Integers are read as the C library reads them: leading blanks skipped,
// reading stops at the first character that is not part of the number.
long ReadLong(const std::string& value) { return std::strtol(value.c_str(), nullptr, 10); }

std::string ConvertFontName(const std::string& name) {
  if (name == "Times New Roman") return "TimesRoman";
  if (name == "MS Sans Serif") return "Dialog";
  if (name == "Courier New") return "Courier";
  return "Helvetica";
}

std::string ConvertInterval(const std::string& seconds) {
  float value = static_cast<float>(std::strtod(seconds.c_str(), nullptr));
  float millis = static_cast<float>(static_cast<double>(value) * 1000.0);
  // A value beyond the range of a long has no meaningful interval.
  if (!(millis > -9.2e18f && millis < 9.2e18f)) millis = 0.0f;
  std::string text;
  AppendInteger(&text, static_cast<long>(millis));
  return text;
}

// The value of `name` in the record, or an empty text.
const std::string& Lookup(const std::string& name, const PropertyMap& record) {
  static const std::string kNone;
  const std::string* value = record.Find(name);
  return value != nullptr ? *value : kNone;
}

}  // namespace

int MapPropertyName(std::string_view hmi_name, const char** viewer_name, int* kind) {
  *viewer_name = nullptr;
  *kind = kPlain;
  if (hmi_name.empty()) return 0;
  // The table's rows by HMI name, the first row of a name kept.
  static const std::unordered_map<std::string_view, const PropertyRow*> kByName = [] {
    std::unordered_map<std::string_view, const PropertyRow*> rows;
    for (const PropertyRow& row : kPropertyTable) rows.emplace(row.hmi_name, &row);
    return rows;
  }();
  auto found = kByName.find(hmi_name);
  if (found == kByName.end()) return 0;
  *viewer_name = found->second->viewer_name;
  *kind = found->second->kind;
  return 1;
}

int MapPropertyName(const std::string& hmi_name, std::string* viewer_name, int* kind) {
  const char* name = nullptr;
  const int mapped = MapPropertyName(std::string_view(hmi_name), &name, kind);
  if (mapped) {
    *viewer_name = name;
  } else {
    viewer_name->clear();
  }
  return mapped;
}

std::string ColorToHex(long color) {
  // "0x%02x%02x%02x" of the red, green and blue bytes.
  static const char kDigits[] = "0123456789abcdef";
  const unsigned long bits = static_cast<unsigned long>(color);
  char text[8] = {'0', 'x'};
  for (int byte = 0; byte < 3; ++byte) {
    const unsigned value = static_cast<unsigned>((bits >> (8 * byte)) & 0xff);
    text[2 + 2 * byte] = kDigits[value >> 4];
    text[3 + 2 * byte] = kDigits[value & 0xf];
  }
  return std::string(text, sizeof text);
}

int ConvertValue(int kind, std::string* value) {
  switch (kind) {
    case kPlain:
      return 1;
    case kColor:
      *value = ColorToHex(ReadLong(*value));
      return 1;
    case kFlag:
      *value = *value == "0" ? "0" : "1";
      return 1;
    case kHorizontalAnchor: {
      long n = ReadLong(*value);
      *value = n == 0 ? "left" : n == 1 ? "right" : "center";
      return 1;
    }
    case kVerticalAnchor: {
      long n = ReadLong(*value);
      *value = n == 0 ? "top" : n == 1 ? "bottom" : "middle";
      return 1;
    }
    case kHorizontalFillDirection:
      *value = ReadLong(*value) == 0 ? "right" : "left";
      return 1;
    case kVerticalFillDirection:
      *value = ReadLong(*value) == 0 ? "down" : "up";
      return 1;
    case kLineStyle: {
      static const char* const kStyles[] = {"solid", "dash", "dot", "dashdot", "dashdotdot"};
      long n = ReadLong(*value);
      *value = (n >= 0 && n <= 4) ? kStyles[n] : "solid";
      return 1;
    }
    case kFontName:
      *value = ConvertFontName(*value);
      return 1;
    case kFontStyle: {
      static const char* const kStyles[] = {"plain", "bold", "italic", "bolditalic"};
      long n = ReadLong(*value);
      *value = (n >= 0 && n <= 3) ? kStyles[n] : "plain";
      return 1;
    }
    case kQuotedText:
      QuoteString(value);
      return 1;
    case kJustification: {
      long n = ReadLong(*value);
      *value = n == 1 ? "center" : n == 2 ? "right" : "left";
      return 1;
    }
    case kInterval:
      *value = ConvertInterval(*value);
      return 1;
    case kAngle:
    default:
      return 0;
  }
}

namespace {

// The rows of the exclusion table split once; null for a class without one.
const ExclusionList* ExclusionsOf(const std::string& class_name) {
  static const std::vector<ExclusionList> kSplitRows = [] {
    std::vector<ExclusionList> rows;
    for (const ExclusionRow& row : kExclusionTable) {
      rows.emplace_back();
      SplitTabList(row.names, &rows.back());
    }
    return rows;
  }();
  // Looked up for every object written: by a hash of the class name rather
  // than a comparison with each row (the first row of a name counts).
  static const std::unordered_map<std::string_view, const ExclusionList*> kByClass = [] {
    std::unordered_map<std::string_view, const ExclusionList*> by_class;
    for (size_t i = 0; i < kSplitRows.size(); ++i) {
      by_class.emplace(kExclusionTable[i].class_name, &kSplitRows[i]);
    }
    return by_class;
  }();
  const auto found = kByClass.find(class_name);
  return found == kByClass.end() ? nullptr : found->second;
}

}  // namespace

int SelectExclusions(const std::string& class_name, ExclusionList* list) {
  if (class_name.empty()) return 0;
  // A list given the names again keeps its strings' storage, so that
  // selecting for every object written allocates nothing.
  if (const ExclusionList* row = ExclusionsOf(class_name)) {
    list->assign(row->begin(), row->end());
    return 1;
  }
  list->clear();
  return 0;
}

bool ClassExcludes(const std::string& class_name, std::string_view hmi_name) {
  if (class_name.empty()) return false;
  const ExclusionList* row = ExclusionsOf(class_name);
  if (row == nullptr) return false;
  for (const std::string& name : *row) {
    if (name == hmi_name) return true;
  }
  return false;
}

int IsExcluded(const std::string& hmi_name, ExclusionList* list) {
  for (auto it = list->begin(); it != list->end(); ++it) {
    if (*it == hmi_name) {
      list->erase(it);
      return 1;
    }
  }
  return 0;
}

int WriteGroupProperties(PageWriter* writer, const PropertyMap& group_record) {
  for (const auto& entry : group_record) {
    const std::string& key = entry.first;
    if (IsExcluded(key, writer->exclusions())) continue;
    if (key != "HorizontalScaleDirection" && key != "VerticalScaleDirection" &&
        key != "Visible") {
      continue;
    }
    std::string viewer_name;
    int kind = kPlain;
    MapPropertyName(key, &viewer_name, &kind);
    std::string value = "2";
    ConvertValue(kind, &value);
    std::string& line = *writer->line_buffer();
    line.clear();
    AppendAll(&line, "(", viewer_name, " ", value, ")\n");
    writer->WriteLine(line);
  }
  return 1;
}

int CheckAnimatedProperty(const PropertyMap& animation_record, ConversionLog* log) {
  const std::string& property = Lookup("PropertyName", animation_record);
  const std::string& parent_property = Lookup("ParentProperty", animation_record);
  const std::string& parent_class = Lookup("ParentClassName", animation_record);
  const std::string& animation_class = Lookup("ClassName", animation_record);
  auto reject = [&](int resource) {
    if (log != nullptr) {
      log->QueueLine(property + log->services().Text(resource), kSeveritySevere);
    }
    return 0;
  };
  if ((property == "FontSize" || parent_property == "FontSize") && parent_class != "Chart") {
    return reject(kResFontSizeNotAnimatable);
  }
  std::string viewer_name;
  int kind = kPlain;
  if (!MapPropertyName(property, &viewer_name, &kind)) return reject(kResPropertyNotMapped);
  for (const AnimationRule& rule : kAnimationRules) {
    if (animation_class != rule.animation_class) continue;
    if ((rule.rejected_kinds & (1u << kind)) != 0 || property == "CurrentImage") {
      return reject(kResKindNotAnimatable);
    }
    break;
  }
  return 1;
}

}  // namespace quillon
