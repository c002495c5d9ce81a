// The vocabulary between the HMI and the browser viewer: property names with
// their conversion kinds, value conversions, the properties each class does
// not write, and the check whether the viewer can animate a property.
#ifndef QUILLON_WRITER_VALUE_MAPPING_H_
#define QUILLON_WRITER_VALUE_MAPPING_H_

#include <string>
#include <string_view>
#include <vector>

#include "model/picture_map.h"

namespace quillon {

class ConversionLog;
class PageWriter;

// How a value is converted for the viewer.
enum ConversionKind : int {
  kPlain = 0,
  kColor = 1,
  kFlag = 2,
  kHorizontalAnchor = 3,
  kVerticalAnchor = 4,
  kHorizontalFillDirection = 5,
  kVerticalFillDirection = 6,
  kLineStyle = 7,
  kFontName = 8,
  kFontStyle = 9,
  kQuotedText = 10,
  kJustification = 11,
  kAngle = 12,
  kInterval = 13,
};

// Resource strings of the animation check.
enum : int {
  kResFontSizeNotAnimatable = 53,
  kResPropertyNotMapped = 54,
  kResKindNotAnimatable = 55,
};

// The viewer name and conversion kind of an HMI property; 1 when the name
// has a row in the table, else 0 (with an empty name and kind 0).
int MapPropertyName(const std::string& hmi_name, std::string* viewer_name, int* kind);
// The same, giving the viewer name as the table's text (null on a miss).
int MapPropertyName(std::string_view hmi_name, const char** viewer_name, int* kind);

// Converts `value` in place by `kind`; 0 for the angle kind and for kinds
// outside the table (the value then stays as it is), else 1.
int ConvertValue(int kind, std::string* value);

// "0x" and the red, green and blue bytes of a 0x00BBGGRR colour.
std::string ColorToHex(long color);

// The HMI names that records of `class_name` do not write.
using ExclusionList = std::vector<std::string>;

// Fills `list` with the exclusions of `class_name`; 1 when the class has
// any. An empty class name returns 0 and leaves the list as it is.
int SelectExclusions(const std::string& class_name, ExclusionList* list);

// True when records of `class_name` do not write `hmi_name`: what
// IsExcluded says of a list just selected for the class.
bool ClassExcludes(const std::string& class_name, std::string_view hmi_name);

// 1 when `hmi_name` is in the list; its first entry is then removed.
int IsExcluded(const std::string& hmi_name, ExclusionList* list);

// Writes the fixed anchor and visibility properties of a group's symbol.
int WriteGroupProperties(PageWriter* writer, const PropertyMap& group_record);

// 1 when the viewer can animate the record's target property with the
// record's animation class; otherwise queues the reason on `log`, returns 0.
int CheckAnimatedProperty(const PropertyMap& animation_record, ConversionLog* log);

}  // namespace quillon

#endif  // QUILLON_WRITER_VALUE_MAPPING_H_
