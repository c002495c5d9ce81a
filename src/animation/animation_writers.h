// The animation emitters: they turn the animation records of a picture
// (Lookup tables, Linear scalings, chart pens, Formats, system values and
// direct data items) into viewer objects and links of the JDF file, and the
// helpers they share.
#ifndef QUILLON_ANIMATION_ANIMATION_WRITERS_H_
#define QUILLON_ANIMATION_ANIMATION_WRITERS_H_

#include <initializer_list>
#include <string>

#include "model/picture_map.h"

namespace quillon {

class PageWriter;

// Resource strings of the emitters.
enum : int {
  kResPenNotTranslated = 90,
};

// The emitters of the emitter table. Each returns 1 when the animation was
// written and 0 when it was left out; the reasons are queued on the
// writer's log, which the writer then flushes under the object's heading.
// Nothing is written when an emitter returns 0.
int WriteLookup(PageWriter* writer, const PropertyMap& record);
int WriteLinear(PageWriter* writer, const PropertyMap& record);
int WritePen(PageWriter* writer, const PropertyMap& record);
int WriteFormat(PageWriter* writer, const PropertyMap& record);
int WriteGlobalSysInfo(PageWriter* writer, const PropertyMap& record);
int WriteOpcDataItem(PageWriter* writer, const PropertyMap& record);

// Results of WriteLookupLinks.
enum LookupLinksResult : int {
  kLookupLinksMissingKey = -1,   // a key was missing; nothing written
  kLookupLinksWritten = 0,       // objects and links written
  kLookupLinksUntranslated = 1,  // the source failed to translate; no links
};

// Links a lookup's objects to its source and its target property
// `viewer_property`, and writes the objects that the links need (expression
// objects, the expression of a variable target). `output_toggles` is the
// record's "OutputToggles".
int WriteLookupLinks(PageWriter* writer, const PropertyMap& record,
                     const std::string& viewer_property, int output_toggles);

// When the animated object is a chart pen, replaces `target` by the pen's
// attribute in its chart ("Chart1.pens[0][1]") and returns 1; 0 when the
// parent is not a pen; -1 when a key is missing.
int PenTarget(PageWriter* writer, std::string* target, const PropertyMap& record);

// Converts an output value for the viewer by `kind`; for a position inside a
// group the value is made relative to the group's position. 0 when the
// group's position is missing from the record (the value is then left as
// converted), else 1.
int ConvertAnimValue(PageWriter* writer, const PropertyMap& record, int kind, std::string* value);

// 1 when the viewer can animate `hmi_property` (viewer name
// `viewer_property`) of an object of `class_name`; otherwise queues the
// property name and returns 0.
int CheckAnimTarget(PageWriter* writer, const std::string& class_name,
                    const std::string& hmi_property, const std::string& viewer_property);

// For a colour animation of a group, adds to `links` the copy of `line` that
// colours the texts inside the group too. 0 when "ParentShape" is missing.
int AddGroupColorLinks(PageWriter* writer, const PropertyMap& record, const std::string& line,
                       const std::string& viewer_property, std::string* links);

// Puts a TAVScale stage between `source` and a position or size target:
// appends the stage to `objects` and its input link to `links`, and makes
// `source` the stage's output. 1 when done or not needed, 0 when a key is
// missing.
int AddScaleStage(PageWriter* writer, std::string* source, const PropertyMap& record,
                  std::string* objects, std::string* links);

// Translates `source` (in place) for the animation whose target object is
// `context`; appends the expression objects and links it needs. Returns the
// translator's result (0 when not translatable, the reason in `error`; also
// 0 when the writer has no translator).
int TranslateAnimationSource(PageWriter* writer, std::string* source, const std::string& context,
                             std::string* objects, std::string* links, std::string* error);

// One key to read from a record and where its value goes.
struct KeyValue {
  const char* key;
  std::string* value;
};

// Reads the keys in order with GetRecordValue (`context` before a
// fatal-error line); stops at the first missing key and returns 0.
int ReadRecordValues(PageWriter* writer, const PropertyMap& record, const std::string& context,
                     std::initializer_list<KeyValue> keys);

// A decimal record value as the C library reads it (no digits give 0).
int DecimalValue(const std::string& text);

// The expression object through which an animation drives an HMI variable.
std::string VariableExpressionObject(const std::string& variable);

}  // namespace quillon

#endif  // QUILLON_ANIMATION_ANIMATION_WRITERS_H_
