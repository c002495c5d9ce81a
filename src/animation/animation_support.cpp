// What the animation emitters share: reading record keys, translating a
// source, the target checks, pen targets, group-relative values, the group
// colour link and the scale stage in front of a position or size.
#include <cstdlib>

#include "animation/animation_writers.h"
#include "platform/format.h"
#include "writer/page_writer.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

// Targets whose values a scale stage brings into the viewer's units.
constexpr const char* kScaledProperties[] = {
    "Width",  "HorizontalPosition", "StartX", "EndX", "Height", "VerticalPosition",
    "StartY", "RotationAngle",      "EndY",
};


bool IsScaledProperty(const std::string& property) {
  for (const char* name : kScaledProperties) {
    if (property == name) return true;
  }
  return false;
}

}  // namespace

int ReadRecordValues(PageWriter* writer, const PropertyMap& record, const std::string& context,
                     std::initializer_list<KeyValue> keys) {
  for (const KeyValue& key : keys) {
    if (!GetRecordValue(record, key.key, key.value, context, writer->log())) return 0;
  }
  return 1;
}

int DecimalValue(const std::string& text) {
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::string VariableExpressionObject(const std::string& variable) {
  std::string text;
  AppendAll(&text, "\t(", variable, " TAVExpression\n\t\t(properties\n\t\t\t(expression \"$0\"))\n\t)\n");
  return text;
}

int TranslateAnimationSource(PageWriter* writer, std::string* source, const std::string& context,
                             std::string* objects, std::string* links, std::string* error) {
  error->clear();
  ExpressionTranslator* translator = writer->translator();
  if (translator == nullptr) return kNotTranslatable;
  std::string object_text, link_text;
  int result = translator->TranslateSource(source, context, &object_text, &link_text, error);
  if (result == kNotTranslatable) return result;
  *objects += object_text;
  *links += link_text;
  return result;
}

int PenTarget(PageWriter* writer, std::string* target, const PropertyMap& record) {
  std::string property, parent_class;
  if (!GetRecordValue(record, "PropertyName", &property, " ", writer->log()) ||
      !ReadRecordValues(writer, record, property, {{"ParentClassName", &parent_class}})) {
    return -1;
  }
  if (parent_class != "Pen") return 0;
  std::string index_text, chart;
  if (!ReadRecordValues(writer, record, property,
                        {{"ParentPenIndex", &index_text}, {"ParentFullName", &chart}})) {
    return -1;
  }
  const short pen_index = static_cast<short>(DecimalValue(index_text));
  OwnerName(&chart, "Animation");
  const int attribute = property == "PenLineWidth" ? 1 : 0;
  target->clear();
  AppendAll(target, chart, ".pens[", pen_index - 1, "][", attribute, "]");
  return 1;
}

int ConvertAnimValue(PageWriter* writer, const PropertyMap& record, int kind, std::string* value) {
  ConvertValue(kind, value);
  // Records without the group block (a chart pen's) are never inside a group.
  const std::string* group_scale = record.Find("IsGroupScale");
  if (group_scale == nullptr || *group_scale == "0") return 1;
  std::string group_position;
  if (!GetRecordValue(record, "ParentShapeDefVal", &group_position, "Group's Position",
                      writer->log())) {
    return 0;
  }
  *value = StringF(
      "%lf", std::strtod(value->c_str(), nullptr) - std::strtod(group_position.c_str(), nullptr));
  return 1;
}

int CheckAnimTarget(PageWriter* writer, const std::string& class_name,
                    const std::string& hmi_property, const std::string& viewer_property) {
  auto is_any = [](const std::string& text, std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if (text == name) return true;
    }
    return false;
  };
  bool supported;
  if (is_any(hmi_property, {"HorizontalScalePercentage", "VerticalScalePercentage"})) {
    supported = true;
  } else if ((class_name == "Arc" || class_name == "Pie") &&
             (is_any(hmi_property, {"StartX", "StartY", "EndX", "EndY"}) ||
              is_any(viewer_property, {"x0", "y0", "x1", "y1"}))) {
    supported = false;
  } else if (class_name == "Line" &&
             (is_any(hmi_property, {"Height", "Width", "HorizontalPosition", "VerticalPosition"}) ||
              is_any(viewer_property, {"height", "width", "x", "y"}))) {
    supported = true;
  } else if (class_name == "Bitmap" && hmi_property == "CurrentImage") {
    // A bitmap leaves its image out of its own property lines only because
    // it names the image through its file line; the image can be animated.
    supported = true;
  } else {
    supported = !ClassExcludes(class_name, hmi_property);
  }
  if (!supported) writer->log()->QueueLine(hmi_property, kSeveritySevere);
  return supported ? 1 : 0;
}

int AddGroupColorLinks(PageWriter* writer, const PropertyMap& record, const std::string& line,
                       const std::string& viewer_property, std::string* links) {
  if (viewer_property != "fgColor") return 1;
  std::string parent_shape;
  if (!GetRecordValue(record, "ParentShape", &parent_shape, "ForeGroundColor", writer->log())) {
    return 0;
  }
  if (parent_shape != "Group") return 1;
  std::string text_line = line;
  const std::string foreground = ".fgColor";
  size_t at = text_line.find(foreground);
  if (at != std::string::npos) text_line.replace(at, foreground.size(), ".textColor");
  *links += text_line;
  return 1;
}

int AddScaleStage(PageWriter* writer, std::string* source, const PropertyMap& record,
                  std::string* objects, std::string* links) {
  ProcessState* state = writer->process_state();
  if (state == nullptr) return 0;
  std::string stage = "TAVScale-";
  AppendInteger(&stage, ++state->scale_stages);
  std::string property;
  if (!GetRecordValue(record, "PropertyName", &property, " ", writer->log())) return 0;
  if (!IsScaledProperty(property)) return 1;
  std::string in_min, in_max, out_min, out_max;
  if (!ReadRecordValues(
          writer, record, property,
          {{"inMin", &in_min}, {"inMax", &in_max}, {"outMin", &out_min}, {"outMax", &out_max}})) {
    return 0;
  }
  if (!ConvertAnimValue(writer, record, kPlain, &out_min) ||
      !ConvertAnimValue(writer, record, kPlain, &out_max)) {
    return 0;
  }
  AppendAll(objects, "\t(", stage, " TAVScale\n\t(properties\n\t(inMin ", in_min, ")\n\t(inMax ",
            in_max, ")\n\t(outMin ", out_min, ")\n\t(outMax ", out_max, ")))\n");
  AppendAll(links, "\t(", stage, ".in ", *source, ")\n");
  *source = stage + ".outFloat";
  return 1;
}

}  // namespace quillon
