// The Linear and pen emitters: a linear scaling and a chart pen's value
// range both become a TAVScale between the source and the target.
#include "animation/animation_writers.h"
#include "platform/format.h"
#include "writer/page_writer.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

// "(NAME TAVScale" and its four range properties; a Linear's scale is
// named with a "1" after its name, a pen's is not.
std::string ScaleObject(const std::string& name, const char* name_end, const std::string& in_min,
                        const std::string& in_max, const std::string& out_min,
                        const std::string& out_max) {
  std::string text;
  AppendAll(&text, "(", name, name_end, " TAVScale\n\t\t(properties\n\t\t\t(inMin ", in_min,
            ")\n\t\t\t\t(inMax ", in_max, ")\n\t\t\t(outMin ", out_min, ")\n\t\t\t(outMax ",
            out_max, ")))\n");
  return text;
}
constexpr char kRangeBreaksPage[] =
    ": a range of the scaling holds a blank, parenthesis, quote or line end where the page "
    "description takes it unquoted; the animation is not converted.";

}  // namespace

int WriteLinear(PageWriter* writer, const PropertyMap& record) {
  ConversionLog* log = writer->log();
  if (record.empty() || !CheckAnimatedProperty(record, log)) return 0;
  std::string source_type, property, name, parent_category, parent_name, parent_class, full_name;
  if (!GetRecordValue(record, "SourceDataType", &source_type, " ", log) ||
      !GetRecordValue(record, "PropertyName", &property, " ", log) ||
      !ReadRecordValues(writer, record, property,
                        {{"Name", &name},
                         {"ParentCategory", &parent_category},
                         {"ParentName", &parent_name},
                         {"ParentClassName", &parent_class},
                         {"FullyQualifiedName", &full_name}})) {
    return 0;
  }
  std::string target = full_name;
  OwnerName(&target, parent_category);

  std::string viewer_property;
  int kind = kPlain;
  if (!MapPropertyName(property, &viewer_property, &kind)) {
    log->QueueLine(property, kSeveritySevere);
    return 0;
  }
  // The scale drives a value port through its real-valued output.
  if (viewer_property == "out") viewer_property = "outFloat";
  if (!CheckAnimTarget(writer, parent_class, property, viewer_property)) return 0;

  std::string in_min, out_min, in_max, out_max;
  if (!ReadRecordValues(writer, record, property,
                        {{"LoInValue", &in_min},
                         {"LoOutValue", &out_min},
                         {"HiInValue", &in_max},
                         {"HiOutValue", &out_max}}) ||
      !ConvertAnimValue(writer, record, kind, &out_min) ||
      !ConvertAnimValue(writer, record, kind, &out_max)) {
    return 0;
  }
  // The scale's ranges are written unquoted.
  for (const std::string* value : {&in_min, &in_max, &out_min, &out_max}) {
    if (!FitsUnquoted(*value)) {
      log->QueueLine(property + kRangeBreaksPage, kSeveritySevere);
      return 0;
    }
  }
  const std::string scale = ScaleObject(name, "1", in_min, in_max, out_min, out_max);

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "Source", &source, property, log)) return 0;
  if (!TranslateAnimationSource(writer, &source, target, &objects, &translated_links, &error)) {
    log->QueueLine(property + error, kSeveritySevere);
    return 0;
  }

  std::string links;
  AppendAll(&links, "\t(", name, "1.in ", source, ")\n");
  if (parent_class == "Variable") {
    objects += VariableExpressionObject(parent_name);
    AppendAll(&links, "\t(", parent_name, ".expval[0] ", name, "1.out)\n");
  } else {
    if (parent_category == "Animation" || parent_category == "Support") {
      target = parent_name + "1";
    }
    switch (PenTarget(writer, &target, record)) {
      case 1:
        AppendAll(&links, "\t(", target, " ", name, "1.outFloat)\n");
        break;
      case 0:
        AppendAll(&links, "\t(", target, ".", viewer_property, " ", name, "1.outFloat)\n");
        break;
      default:
        return 0;
    }
  }

  writer->WriteLine(scale);
  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->link_map(), translated_links);
  AppendLink(writer->link_map(), links);
  return 1;
}

int WritePen(PageWriter* writer, const PropertyMap& record) {
  ConversionLog* log = writer->log();
  std::string in_min, in_max, out_min, out_max, name, parent_category, parent_name, pen_index,
      full_name;
  if (!ReadRecordValues(writer, record, "Pen",
                        {{"LoLimit", &in_min},
                         {"HiLimit", &in_max},
                         {"LoOutValue", &out_min},
                         {"HiOutValue", &out_max},
                         {"Name", &name},
                         {"ParentCategory", &parent_category},
                         {"ParentName", &parent_name},
                         {"PenIndex", &pen_index},
                         {"FullyQualifiedName", &full_name}})) {
    return 0;
  }
  std::string chart = full_name;
  OwnerName(&chart, parent_category);
  for (const std::string* value : {&in_min, &in_max, &out_min, &out_max, &pen_index}) {
    if (!FitsUnquoted(*value)) {
      log->QueueLine(writer->services().Text(kResPenNotTranslated, {name, parent_name}) +
                         kRangeBreaksPage,
                     kSeveritySevere);
      return 0;
    }
  }
  const std::string scale = ScaleObject(name, "", in_min, in_max, out_min, out_max);

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "Source", &source, "Pen", log)) return 0;
  if (!TranslateAnimationSource(writer, &source, chart, &objects, &translated_links, &error)) {
    log->QueueLine(writer->services().Text(kResPenNotTranslated, {name, parent_name}) + error,
                   kSeveritySevere);
    return 0;
  }
  std::string links;
  AppendAll(&links, "\t(", name, ".in ", source, ")\n");
  AppendAll(&links, "\t(", chart, ".values[", pen_index, "] ", name, ".outFloat)\n");

  writer->WriteLine(scale);
  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->link_map(), translated_links);
  AppendLink(writer->link_map(), links);
  return 1;
}

}  // namespace quillon
