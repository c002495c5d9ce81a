// The Lookup emitter: a lookup table becomes a TAVMap (exact values) or a
// TAVThreshold (ranges); a table with toggle outputs adds the toggle and
// flag maps and TAVBlink objects that alternate between the outputs.
#include <cstdint>
#include <cstdlib>

#include "animation/animation_writers.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "writer/page_writer.h"
#include "writer/value_mapping.h"

namespace quillon {
namespace {

constexpr char kMapEnd[] = "))))\n";
constexpr char kBlink[] = "(%s1 TAVBlink\n\t\t(properties\n\t\t\t(rate %0.f)))\n";
constexpr char kBlinkOnValue[] =
    "(%s%d TAVBlink\n\t\t(properties\n\t\t\t(OnValue %s)\n\t\t\t(rate %0.f)))\n";
// The value a lookup reports for a level output it does not have.
constexpr char kNoValue[] = " ";
constexpr char kValueBreaksPage[] =
    ": a level of the lookup holds a blank, parenthesis, quote or line end where the page "
    "description takes it unquoted; the animation is not converted.";

// Whether the upper input of one level and the lower input of the next are
// the same bound, compared as the source's values are.
bool SameBound(int source_type, const std::string& a, const std::string& b) {
  switch (source_type) {
    case 2:  // 16-bit integer
    case 3:  // 32-bit integer
      return static_cast<int32_t>(std::strtol(a.c_str(), nullptr, 10)) ==
             static_cast<int32_t>(std::strtol(b.c_str(), nullptr, 10));
    case 4:  // 4-byte real
      return static_cast<float>(std::strtod(a.c_str(), nullptr)) ==
             static_cast<float>(std::strtod(b.c_str(), nullptr));
    case 5:  // 8-byte real
      return std::strtod(a.c_str(), nullptr) == std::strtod(b.c_str(), nullptr);
    case 8:  // text
      return a == b;
    default:
      return true;
  }
}

// Replaces the image numbers of an image lookup (its level outputs and its
// default output) by the image files of the bitmap that show them; a number
// whose file is not in the output directory becomes "0". 0 when the bitmap
// has no images or a key is missing.
int ResolveImageOutputs(PageWriter* writer, PropertyMap* record, const std::string& property) {
  std::string image_count, secondary, full_name, count_text, default_value;
  if (!ReadRecordValues(writer, *record, property,
                        {{"ParentImageCount", &image_count},
                         {"SecondaryImageDisplayed", &secondary},
                         {"FullyQualifiedName", &full_name},
                         {"Count", &count_text},
                         {"DefaultOutputValue", &default_value}})) {
    return 0;
  }
  if (DecimalValue(image_count) == 0) return 0;

  // The bitmap is the lookup's owner: its full name is the lookup's without
  // the last part.
  std::string base = full_name.substr(0, full_name.rfind('.'));
  base += secondary == "-1" ? "_S" : "_P";
  auto image_file = [&](const std::string& number) -> std::string {
    if (number == kNoValue) return "0";
    std::string name = base + number;
    ReplaceChar(&name, '.', '_');
    // The name is looked up inside the output directory and nowhere else.
    ReplaceChar(&name, '/', '_');
    ReplaceChar(&name, '\\', '_');
    name += writer->image_extension();
    return OutputFileExists(JoinPath(writer->output_directory(), name)) ? name : "0";
  };

  const int count = DecimalValue(count_text);
  if (count < 1) return 1;
  for (int level = 1; level <= count; ++level) {
    for (int output = 1; output <= 2; ++output) {
      std::string key = "Lvl";
      AppendAll(&key, level, ".out", output);
      std::string number;
      if (!GetRecordValue(*record, key, &number, property, writer->log())) return 0;
      // A level without a toggle image keeps its blank, so that it does not
      // blink.
      if (output == 2 && number == kNoValue) continue;
      record->Set(key, image_file(number));
    }
  }
  record->Set("DefaultOutputValue", image_file(default_value));
  return 1;
}

// The texts of the maps of one lookup, built before anything is written.
struct LookupMaps {
  std::string main;
  std::string toggle;
  std::string flag;
};

// Adds every level of the record to the maps; 0 when a key is missing.
int BuildLevels(PageWriter* writer, const PropertyMap& record, const std::string& property,
                int kind, bool range_table, int source_type, int count,
                const std::string& default_value, LookupMaps* maps) {
  std::string previous_in2;
  // The keys of a level and its values, kept from level to level.
  std::string keys[4];
  std::string in1, in2, out1, out2;
  std::string* const values[4] = {&in1, &in2, &out1, &out2};
  static const char* const kKeyEnds[4] = {"in1", "in2", "out1", "out2"};
  for (int level = 1; level <= count; ++level) {
    for (int i = 0; i < 4; ++i) {
      keys[i] = "Lvl";
      AppendAll(&keys[i], level, ".", kKeyEnds[i]);
      if (!GetRecordValue(record, keys[i], values[i], property, writer->log())) return 0;
    }
    if (in2.empty()) in2 = "0";
    std::string toggle_output = "0";
    int toggle_flag = 0;
    if (out2 != kNoValue) {
      toggle_output = out2;
      toggle_flag = 1;
    }
    if (!ConvertAnimValue(writer, record, kind, &out1) ||
        !ConvertAnimValue(writer, record, kind, &toggle_output)) {
      return 0;
    }
    // The map entries hold these values unquoted.
    const std::initializer_list<const std::string*> unquoted = {&in1, &in2, &out1, &toggle_output,
                                                                &default_value};
    for (const std::string* value : unquoted) {
      if (!FitsUnquoted(*value)) {
        writer->log()->QueueLine(property + kValueBreaksPage, kSeveritySevere);
        return 0;
      }
    }
    // A range that does not start where the previous one ended leaves a gap
    // that shows the default output.
    if (range_table && level > 1 && !SameBound(source_type, previous_in2, in1)) {
      AppendAll(&maps->main, "(", previous_in2, " ", default_value, ")");
      AppendAll(&maps->toggle, "(", previous_in2, " ", default_value, ")");
      AppendAll(&maps->flag, "(", previous_in2, " 0)");
    }
    AppendAll(&maps->main, "(", in1, " ", out1, ")");
    AppendAll(&maps->toggle, "(", in1, " ", toggle_output, ")");
    AppendAll(&maps->flag, "(", in1, " ", toggle_flag, ")");
    if (range_table && level == count) {
      AppendAll(&maps->main, "(", in2, " ", default_value, ")");
      AppendAll(&maps->toggle, "(", in2, " ", default_value, ")");
      AppendAll(&maps->flag, "(", in2, " 0)");
    }
    previous_in2 = in2;
  }
  return 1;
}

}  // namespace

int WriteLookup(PageWriter* writer, const PropertyMap& input) {
  ConversionLog* log = writer->log();
  if (input.empty() || !CheckAnimatedProperty(input, log)) return 0;
  std::string property;
  if (!GetRecordValue(input, "PropertyName", &property, " ", log)) return 0;
  // Only an image lookup changes its record (the image numbers become file
  // names): it works on a copy, any other on the record itself.
  PropertyMap resolved;
  if (property == "CurrentImage") {
    resolved = input;
    if (!ResolveImageOutputs(writer, &resolved, property)) return 0;
  }
  const PropertyMap& record = property == "CurrentImage" ? resolved : input;

  std::string source_type, output_toggles_text, global_output_toggle_text, global_toggle,
      exact_match, count_text, name;
  if (!ReadRecordValues(writer, record, property,
                        {{"SourceDataType", &source_type},
                         {"OutputToggles", &output_toggles_text},
                         {"GlobalOutputToggle", &global_output_toggle_text},
                         {"GlobalToggle", &global_toggle},
                         {"ExactMatch", &exact_match},
                         {"Count", &count_text},
                         {"Name", &name}})) {
    return 0;
  }
  const int output_toggles = DecimalValue(output_toggles_text);
  const int global_output_toggle = DecimalValue(global_output_toggle_text);
  const bool toggles = output_toggles == 1 || global_output_toggle == 1;
  const bool both_toggles = output_toggles == 1 && global_output_toggle == 1;

  std::string viewer_property;
  int kind = kPlain;
  if (!MapPropertyName(property, &viewer_property, &kind)) {
    log->QueueLine(property, kSeveritySevere);
    return 0;
  }
  std::string parent_class;
  if (!GetRecordValue(record, "ParentClassName", &parent_class, property, log)) return 0;
  if ((parent_class == "Text" || parent_class == "DataLink") && property == "ForegroundColor") {
    viewer_property = "textColor";
  }
  if (!CheckAnimTarget(writer, parent_class, property, viewer_property)) return 0;

  std::string default_value;
  if (!GetRecordValue(record, "DefaultOutputValue", &default_value, property, log) ||
      !ConvertAnimValue(writer, record, kind, &default_value) ||
      !ConvertAnimValue(writer, record, kind, &global_toggle)) {
    return 0;
  }
  double rate = 0;
  if (toggles) {
    std::string toggle_rate;
    if (!GetRecordValue(record, "ToggleRate", &toggle_rate, property, log)) return 0;
    // Seconds to milliseconds, in single precision.
    rate = static_cast<float>(std::strtod(toggle_rate.c_str(), nullptr) * 1000);
  }

  const bool exact = DecimalValue(exact_match) == -1;
  const char* map_class = exact ? "TAVMap" : "TAVThreshold";
  const int main_number = toggles ? 5 : 1;
  LookupMaps maps;
  // "(NAME<n> CLASS" and the map's properties up to its first entry.
  auto map_start = [&](std::string* text, int number, const std::string& default_output) {
    AppendAll(text, "(", name, number, " ", map_class, "\n\t\t(properties\n\t\t\t(default ",
              default_output, ")\n\t\t\t(map(");
  };
  map_start(&maps.main, main_number, default_value);
  map_start(&maps.toggle, 2, default_value);
  map_start(&maps.flag, 3, std::string("0"));
  if (!BuildLevels(writer, record, property, kind, !exact, DecimalValue(source_type),
                   DecimalValue(count_text), default_value, &maps)) {
    return 0;
  }
  maps.main += kMapEnd;

  const int links = WriteLookupLinks(writer, record, viewer_property, output_toggles);
  if (links == kLookupLinksMissingKey) return 0;

  writer->WriteLine(maps.main);
  if (toggles) {
    maps.toggle += kMapEnd;
    maps.flag += kMapEnd;
    writer->WriteLine(maps.toggle);
    writer->WriteLine(maps.flag);
    if (output_toggles == 0 && global_output_toggle == 1) {
      writer->WriteLine(StringF(kBlinkOnValue, name.c_str(), 1, global_toggle.c_str(), rate));
    } else {
      writer->WriteLine(StringF(kBlink, name.c_str(), rate));
    }
    if (both_toggles) {
      writer->WriteLine(StringF(kBlinkOnValue, name.c_str(), 4, global_toggle.c_str(), rate));
    }
  }
  // The lookup is on the page without its input links: the reason belongs
  // under this lookup's heading, not under that of a later object.
  if (links == kLookupLinksUntranslated) log->FlushObject("Lookup", name);
  return 1;
}

int WriteLookupLinks(PageWriter* writer, const PropertyMap& record,
                     const std::string& viewer_property, int output_toggles) {
  ConversionLog* log = writer->log();
  std::string property, name, source, global_output_toggle_text, toggle_source, parent_category,
      parent_name, parent_class;
  if (!GetRecordValue(record, "PropertyName", &property, " ", log) ||
      !ReadRecordValues(writer, record, property,
                        {{"Name", &name},
                         {"Source", &source},
                         {"GlobalOutputToggle", &global_output_toggle_text},
                         {"ToggleSource", &toggle_source},
                         {"ParentCategory", &parent_category},
                         {"ParentName", &parent_name}})) {
    return kLookupLinksMissingKey;
  }
  std::string target;
  if (parent_category == "Animation") {
    target = parent_name + "1";
  } else {
    if (!GetRecordValue(record, "FullyQualifiedName", &target, property, log)) {
      return kLookupLinksMissingKey;
    }
    OwnerName(&target, parent_category);
  }
  if (!GetRecordValue(record, "ParentClassName", &parent_class, property, log)) {
    return kLookupLinksMissingKey;
  }

  const int global_output_toggle = DecimalValue(global_output_toggle_text);
  std::string objects, translated_links, error;
  if (!TranslateAnimationSource(writer, &source, target, &objects, &translated_links, &error) ||
      (global_output_toggle == 1 &&
       !TranslateAnimationSource(writer, &toggle_source, target, &objects, &translated_links,
                                 &error))) {
    log->QueueLine(property + error, kSeveritySevere);
    return kLookupLinksUntranslated;
  }

  const bool toggles = output_toggles == 1 || global_output_toggle == 1;
  const bool both_toggles = output_toggles == 1 && global_output_toggle == 1;
  const int main_number = toggles ? 5 : 1;
  const int blink_number = toggles ? 1 : 5;
  const std::string& n = name;
  std::string links;
  AppendAll(&links, "\t(", n, main_number, ".in ", source, ")\n");
  if (toggles) AppendAll(&links, "\t(", n, "2.in ", source, ")\n");
  if (output_toggles == 1) {
    AppendAll(&links, "\t(", n, "3.in ", source, ")\n");
    AppendAll(&links, "\t(", n, blink_number, ".in ", n, "3.out)\n");
  } else if (toggles) {
    AppendAll(&links, "\t(", n, blink_number, ".in ", toggle_source, ")\n");
  }
  if (both_toggles) {
    AppendAll(&links, "\t(", n, "4.in ", toggle_source, ")\n");
    AppendAll(&links, "\t(", n, "4.OffValue ", n, blink_number, ".out)\n");
  }
  if (toggles) {
    AppendAll(&links, "\t(", n, blink_number, ".OffValue ", n, main_number, ".out)\n");
    if (output_toggles == 1) AppendAll(&links, "\t(", n, blink_number, ".OnValue ", n, "2.out)\n");
  }

  // The last object of the chain drives the target.
  const int output_number = both_toggles ? 4 : 1;
  if (parent_class == "Variable") {
    objects += VariableExpressionObject(parent_name);
    // A variable always takes the first object of the chain.
    AppendAll(&links, "\t(", parent_name, ".expval[0] ", n, "1.out)\n");
  } else {
    switch (PenTarget(writer, &target, record)) {
      case 1:
        AppendAll(&links, "\t(", target, " ", n, output_number, ".out)\n");
        break;
      case 0: {
        std::string line;
        AppendAll(&line, "\t(", target, ".", viewer_property, " ", n, output_number, ".out)\n");
        links += line;
        if (!AddGroupColorLinks(writer, record, line, viewer_property, &links)) {
          return kLookupLinksMissingKey;
        }
        break;
      }
      default:
        return kLookupLinksMissingKey;
    }
  }

  writer->WriteLine(objects);
  if (!translated_links.empty()) AppendLink(writer->link_map(), translated_links);
  AppendLink(writer->link_map(), links);
  return kLookupLinksWritten;
}

}  // namespace quillon
