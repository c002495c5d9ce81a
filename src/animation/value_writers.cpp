// The emitters of values that reach a property without a table or scaling
// of their own: a Format, a system value and a direct data item. Each is a
// link from the translated source to the target property, through a scale
// stage when the target is a position or size.
#include "animation/animation_writers.h"
#include "platform/format.h"
#include "writer/page_writer.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

// The link "\t(TARGET.PROPERTY SOURCE)\n".
void AppendPropertyLink(std::string* links, const std::string& target, const std::string& property,
                        const std::string& source) {
  AppendAll(links, "\t(", target, ".", property, " ", source, ")\n");
}

// Writes what a value emitter collected: its objects, the translator's
// links, then its own links.
int WriteCollected(PageWriter* writer, const std::string& objects,
                   const std::string& translated_links, const std::string& links) {
  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->link_map(), translated_links);
  AppendLink(writer->link_map(), links);
  return 1;
}

// The names between the first and the last "." of `full_name`: the owner of
// the property that a full name ends with.
std::string MiddleOf(const std::string& full_name) {
  size_t first = full_name.find('.');
  size_t last = full_name.rfind('.');
  if (first == std::string::npos) return full_name;
  if (first == last) return std::string();
  return full_name.substr(first + 1, last - first - 1);
}

}  // namespace

int WriteFormat(PageWriter* writer, const PropertyMap& record) {
  ConversionLog* log = writer->log();
  if (record.empty() || !CheckAnimatedProperty(record, log)) return 0;
  std::string property, source_type, name, parent_name, parent_class, parent_category, full_name;
  if (!GetRecordValue(record, "PropertyName", &property, " ", log) ||
      !ReadRecordValues(writer, record, property,
                        {{"SourceDataType", &source_type},
                         {"Name", &name},
                         {"ParentName", &parent_name},
                         {"ParentClassName", &parent_class},
                         {"ParentCategory", &parent_category},
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
  if (!CheckAnimTarget(writer, parent_class, property, viewer_property)) return 0;

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "Source", &source, property, log)) return 0;
  if (!TranslateAnimationSource(writer, &source, target, &objects, &translated_links, &error)) {
    log->QueueLine(property + error, kSeveritySevere);
    return 0;
  }
  if (parent_category == "Animation") target = parent_name + "1";

  std::string links;
  if (!AddScaleStage(writer, &source, record, &objects, &links)) return 0;
  switch (PenTarget(writer, &target, record)) {
    case 1:
      AppendAll(&links, "\t(", target, " ", source, ")\n");
      break;
    case 0:
      AppendPropertyLink(&links, target, viewer_property, source);
      break;
    default:
      return 0;
  }
  return WriteCollected(writer, objects, translated_links, links);
}

int WriteGlobalSysInfo(PageWriter* writer, const PropertyMap& record) {
  ConversionLog* log = writer->log();
  if (record.empty() || !CheckAnimatedProperty(record, log)) return 0;
  std::string property, name, full_name, system_value;
  if (!GetRecordValue(record, "PropertyName", &property, " ", log) ||
      !ReadRecordValues(writer, record, property,
                        {{"Name", &name},
                         {"FullyQualifiedName", &full_name},
                         {"FullyQualifiedSource", &system_value}})) {
    return 0;
  }
  const bool clock = system_value == "System.CurrentDate" || system_value == "System.CurrentTime";

  std::string source = system_value, objects, translated_links, error;
  if (!TranslateAnimationSource(writer, &source, full_name, &objects, &translated_links, &error)) {
    log->QueueLine(property + error, kSeveritySevere);
    return 0;
  }
  std::string parent_class, target;
  if (clock) {
    target = MiddleOf(full_name);
  } else {
    if (!GetRecordValue(record, "ParentClassName", &parent_class, property, log)) return 0;
    target = full_name;
    OwnerName(&target, std::string());
  }

  std::string viewer_property;
  int kind = kPlain;
  if (!MapPropertyName(property, &viewer_property, &kind)) {
    log->QueueLine(property, kSeveritySevere);
    return 0;
  }
  if (!clock && !CheckAnimTarget(writer, parent_class, property, viewer_property)) return 0;

  std::string links;
  if (!AddScaleStage(writer, &source, record, &objects, &links)) return 0;
  AppendPropertyLink(&links, target, viewer_property, source);
  return WriteCollected(writer, objects, translated_links, links);
}

int WriteOpcDataItem(PageWriter* writer, const PropertyMap& record) {
  ConversionLog* log = writer->log();
  if (record.empty() || !CheckAnimatedProperty(record, log)) return 0;
  std::string property, parent_full_name;
  if (!GetRecordValue(record, "PropertyName", &property, " ", log) ||
      !GetRecordValue(record, "ParentFullName", &parent_full_name, property, log)) {
    return 0;
  }
  // The parent's full name without its first part (the picture).
  std::string target = parent_full_name + ".OPCDataItem";
  OwnerName(&target, std::string());

  std::string viewer_property;
  int kind = kPlain;
  if (!MapPropertyName(property, &viewer_property, &kind)) {
    log->QueueLine(property, kSeveritySevere);
    return 0;
  }

  std::string source, objects, translated_links, error;
  if (!GetRecordValue(record, "FullyQualifiedSource", &source, property, log)) return 0;
  if (!TranslateAnimationSource(writer, &source, target + "'s DataObject", &objects,
                                &translated_links, &error)) {
    log->QueueLine(property + error, kSeveritySevere);
    return 0;
  }

  std::string links;
  if (!AddScaleStage(writer, &source, record, &objects, &links)) return 0;
  AppendPropertyLink(&links, target, viewer_property, source);
  return WriteCollected(writer, objects, translated_links, links);
}

}  // namespace quillon
