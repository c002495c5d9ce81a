// The shape emitters. Every shape is written the same way: its first line
// names the object and its viewer class, then one line per mapped property;
// a few classes add or rewrite lines of their own.
#include "writer/shape_emitters.h"

#include <cstdlib>
#include <string_view>

#include "platform/format.h"
#include "writer/page_writer.h"

namespace quillon {
namespace {

constexpr char kValueBreaksPage[] =
    ": the value holds a blank, parenthesis, quote or line end where the page description takes "
    "it unquoted; the property is left out.";

// Properties whose values the converter builds as lists, parentheses and all.
bool IsListProperty(std::string_view viewer_name) {
  return viewer_name == "points" || viewer_name == "pens" || viewer_name == "columns" ||
         viewer_name == "order";
}

// What a class adds to the shared algorithm.
enum class Rule { kNone, kAxisLabels, kTextColor, kEnabledState, kImageFile, kAlarmDisplay };

// The text as "%s" writes it: up to its first NUL.
std::string_view UpToNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// One "(name value)" line, as "(%s %s)\n" formats it (each text up to a
// NUL), without a printf call per property.
void WriteProperty(PageWriter* writer, std::string_view name, std::string_view value) {
  std::string& line = *writer->line_buffer();
  line.clear();
  line += '(';
  line += UpToNul(name);
  line += ' ';
  line += UpToNul(value);
  line += ")\n";
  writer->WriteLine(line);
}

void CloseObject(PageWriter* writer) {
  writer->Outdent();
  writer->WriteLine(")\n");
  writer->Outdent();
  writer->WriteLine(")\n");
}

// The image file a bitmap shows: its full name with the image state, dots
// made underscores, and the image extension. Empty when a key is missing.
bool ImageFileName(PageWriter* writer, const PropertyMap& record, std::string* file_name) {
  std::string full_name, current, secondary, extension;
  ConversionLog* log = writer->log();
  if (!GetRecordValue(record, "FullyQualifiedName", &full_name, "", log) ||
      !GetRecordValue(record, "CurrentImage", &current, "", log) ||
      !GetRecordValue(record, "SecondaryImageDisplayed", &secondary, "", log) ||
      !GetRecordValue(record, "FileExt", &extension, "", log)) {
    return false;
  }
  std::string name = full_name + (secondary == "0" ? "_P" : "_S") + current;
  // As the image files are named on disk: no dots, and no separators that
  // would lead out of the output directory.
  ReplaceChar(&name, '.', '_');
  ReplaceChar(&name, '/', '_');
  ReplaceChar(&name, '\\', '_');
  *file_name = name + extension;
  return true;
}

void WriteAlarmDisplayLines(PageWriter* writer) {
  WriteProperty(writer, "lines", "10");
  WriteProperty(writer, "bgColor", "0x000000");
  WriteProperty(writer, "headerColor", "0x000000");
  WriteProperty(writer, "textColor", "0xffffff");
  WriteProperty(writer, "requireField", "4");
  WriteProperty(writer, "columns",
                "((DATE 9)(TIME 9)(NODE 9)(TAG 11)(STATUS 8)(AREA 16)(PRIORITY 7)(VALUE 11)"
                "(UNITS 0)(DESC 41))");
}

int EmitShape(PageWriter* writer, const PropertyMap& record, const char* viewer_class,
              Rule rule) {
  if (record.empty()) return 1;
  const std::string* name = record.Find("Name");
  if (name == nullptr) {
    writer->log()->QueueLine("Name", kSeveritySevere);
    return 0;
  }
  {
    std::string& line = *writer->line_buffer();
    line.clear();
    line += '(';
    line += UpToNul(*name);
    line += ' ';
    line += viewer_class;
    line += '\n';
    writer->WriteLine(line);
  }
  writer->Indent();
  writer->WriteLine("(properties\n");
  writer->Indent();

  static const std::string kTextColorKey = "textColor";
  std::string converted;
  for (const auto& entry : record) {
    const std::string* key_text = &entry.first;
    if (rule == Rule::kAxisLabels) {
      if (*key_text == "ShowTimeAxis" && std::atoi(entry.second.c_str()) == 0) {
        WriteProperty(writer, "labelVert", "none");
      } else if (*key_text == "ShowValueAxis" && std::atoi(entry.second.c_str()) == 0) {
        WriteProperty(writer, "labelHoriz", "none");
      }
    }
    if (IsExcluded(*key_text, writer->exclusions())) continue;
    if (rule == Rule::kTextColor && *key_text == "ForegroundColor") key_text = &kTextColorKey;
    const std::string& key = *key_text;
    const char* viewer_name = nullptr;
    int kind = kPlain;
    if (!MapPropertyName(key, &viewer_name, &kind)) continue;
    // A plain value is written as the record holds it; the others are
    // converted in a buffer kept across the properties.
    const std::string* value = &entry.second;
    if (kind != kPlain || (rule == Rule::kEnabledState && key == "Enabled")) {
      converted = entry.second;
      if (rule == Rule::kEnabledState && key == "Enabled") {
        converted = converted == "0" ? "-1" : "0";
      }
      ConvertValue(kind, &converted);
      value = &converted;
    }
    if (!IsListProperty(viewer_name) && !FitsUnquoted(*value)) {
      writer->log()->QueueLine(key + kValueBreaksPage, kSeveritySevere);
      continue;
    }
    WriteProperty(writer, viewer_name, *value);
  }

  if (rule == Rule::kImageFile) {
    std::string file_name;
    if (!ImageFileName(writer, record, &file_name)) {
      CloseObject(writer);
      return 0;
    }
    WriteProperty(writer, "file", file_name);
  } else if (rule == Rule::kAlarmDisplay) {
    WriteAlarmDisplayLines(writer);
  }
  CloseObject(writer);
  return 1;
}

}  // namespace

int EmitRectangle(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVRectangle", Rule::kNone);
}
int EmitRealTime(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVRealTime", Rule::kAxisLabels);
}
int EmitRoundRect(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVRoundRect", Rule::kNone);
}
int EmitEllipse(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVEllipse", Rule::kNone);
}
int EmitArc(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVArc", Rule::kNone);
}
int EmitPie(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVArc", Rule::kNone);
}
int EmitPolygon(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVPolygon", Rule::kNone);
}
int EmitPolyline(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVPolyline", Rule::kNone);
}
int EmitLine(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVLine", Rule::kNone);
}
int EmitText(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVText", Rule::kTextColor);
}
int EmitImage(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVImage", Rule::kImageFile);
}
int EmitAlarmDisplay(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVAlarmDisplay", Rule::kAlarmDisplay);
}
int EmitButton(PageWriter* writer, const PropertyMap& record) {
  return EmitShape(writer, record, "TAVButton", Rule::kEnabledState);
}

int EmitAlarmTextLink(PageWriter* writer, const PropertyMap& record) {
  const std::string* full_name = record.Find("FullyQualifiedName");
  const std::string* source = record.Find("Source");
  if (full_name == nullptr || source == nullptr) {
    const Services& services = writer->services();
    const std::string* name = record.Find("Name");
    std::string text = services.Text(kResNoEmitter, {"AlarmTextLink", name ? *name : ""}) +
                       services.Text(kResNoEmitterEnd);
    writer->log()->WriteLogLine(text, kLogWarning);
    services.Status(text);
    return 0;
  }
  std::string owner = *full_name;
  OwnerName(&owner, std::string());
  std::string link;
  AppendAll(&link, "\t(", owner, ".text Source1.", *source, ")");
  AppendLink(writer->link_map(), link);
  return 1;
}

}  // namespace quillon
