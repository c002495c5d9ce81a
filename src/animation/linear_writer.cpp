// The Linear and pen emitters: a linear scaling and a chart pen's value
// range both become a TAVScale between the source and the target.
#include "animation/animation_writers.h"
#include "platform/format.h"
#include "writer/page_writer.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

constexpr char kLinearScale[] =
    "(%s1 TAVScale\n\t\t(properties\n\t\t\t(inMin %s)\n\t\t\t\t(inMax %s)\n\t\t\t(outMin %s)\n"
    "\t\t\t(outMax %s)))\n";
constexpr char kPenScale[] =
    "(%s TAVScale\n\t\t(properties\n\t\t\t(inMin %s)\n\t\t\t\t(inMax %s)\n\t\t\t(outMin %s)\n"
    "\t\t\t(outMax %s)))\n";
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
  const std::string scale = StringF(kLinearScale, name.c_str(), in_min.c_str(), in_max.c_str(),
                                    out_min.c_str(), out_max.c_str());

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "Source", &source, property, log)) return 0;
  if (!TranslateAnimationSource(writer, &source, target, &objects, &translated_links, &error)) {
    log->QueueLine(property + error, kSeveritySevere);
    return 0;
  }

  std::string links = StringF("\t(%s1.in %s)\n", name.c_str(), source.c_str());
  if (parent_class == "Variable") {
    objects += VariableExpressionObject(parent_name);
    AppendF(&links, "\t(%s.expval[0] %s1.out)\n", parent_name.c_str(), name.c_str());
  } else {
    if (parent_category == "Animation" || parent_category == "Support") {
      target = parent_name + "1";
    }
    switch (PenTarget(writer, &target, record)) {
      case 1:
        AppendF(&links, "\t(%s %s1.outFloat)\n", target.c_str(), name.c_str());
        break;
      case 0:
        AppendF(&links, "\t(%s.%s %s1.outFloat)\n", target.c_str(), viewer_property.c_str(),
                name.c_str());
        break;
      default:
        return 0;
    }
  }

  writer->WriteLine(scale);
  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->picture_map(), translated_links);
  AppendLink(writer->picture_map(), links);
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
  const std::string scale = StringF(kPenScale, name.c_str(), in_min.c_str(), in_max.c_str(),
                                    out_min.c_str(), out_max.c_str());

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "Source", &source, "Pen", log)) return 0;
  if (!TranslateAnimationSource(writer, &source, chart, &objects, &translated_links, &error)) {
    log->QueueLine(writer->services().Text(kResPenNotTranslated, {name, parent_name}) + error,
                   kSeveritySevere);
    return 0;
  }
  std::string links = StringF("\t(%s.in %s)\n", name.c_str(), source.c_str());
  AppendF(&links, "\t(%s.values[%s] %s.outFloat)\n", chart.c_str(), pen_index.c_str(),
          name.c_str());

  writer->WriteLine(scale);
  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->picture_map(), translated_links);
  AppendLink(writer->picture_map(), links);
  return 1;
}

}  // namespace quillon
