// The picture model: property records (TAB-separated key/value text), the
// picture map that holds every record of one picture with its list entries,
// the group map of group members, and the operations on them.
#ifndef QUILLON_MODEL_PICTURE_MAP_H_
#define QUILLON_MODEL_PICTURE_MAP_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "model/ordered_map.h"

namespace quillon {

class ConversionLog;

// Record key name(class) -> property record, plus the list entries below.
using PictureMap = OrderedMap;
// "#" + group name -> the group's member list.
using GroupMap = OrderedMap;
// One record's properties, key -> value, as ParseRecord makes them.
using PropertyMap = OrderedMap;

// Reserved entries of the picture map.
constexpr char kObjectList[] = "OBJ_LIST";
constexpr char kObjectSequence[] = "OBJ_SEQ";
constexpr char kAnimationSequence[] = "ANIM_SEQ";
constexpr char kLinks[] = "LINK";
constexpr char kPictureProperties[] = "PROPERTIES(QEV_PIC)";

// The key of a record: name + "(" + class + ")".
std::string RecordKey(const std::string& object_name, const std::string& class_name);

// Stores `record` under its record key (replacing one of the same key) and
// lists the key in "OBJ_LIST".
void AddRecord(PictureMap* map, const std::string& class_name, const std::string& object_name,
               const std::string& record);

// Lists name(class) in "OBJ_LIST"; does nothing while the map is empty.
void AppendToObjectList(PictureMap* map, const std::string& object_name,
                        const std::string& class_name);

// Appends name(class) to the list entry `sequence_key` ("OBJ_SEQ", "ANIM_SEQ").
void AppendToSequence(PictureMap* map, const std::string& class_name,
                      const std::string& object_name, const std::string& sequence_key);

// Appends `text` to the "LINK" entry.
void AppendLink(PictureMap* map, const std::string& text);

// Replaces the value of the first `key` of `record`; when the key is missing
// and `add_if_missing` is 1, appends key TAB value TAB (after one TAB when
// the record does not already end with one).
void SetRecordProperty(std::string* record, const std::string& key, const std::string& value,
                       int add_if_missing);

// Cuts `record` into key/value pairs (runs of TABs are one separator; a last
// key without a value is dropped) and returns the value of "ClassName".
std::string ParseRecord(const std::string& record, PropertyMap* properties);

// The value ParseRecord would give `key` in `record` (that of its last
// pair), or empty when the record has no such pair; without building the map.
std::string RecordValueOf(const std::string& record, std::string_view key);
// RecordValueOf for several keys in one pass: values[i] is the value of
// keys[i] (a view into `record`), or empty.
void RecordValuesOf(const std::string& record, std::initializer_list<std::string_view> keys,
                    std::string_view* values);

// The TAB-separated items of `text`, runs of TABs counting as one.
void SplitTabList(const std::string& text, std::vector<std::string>* items);

// Looks `key` up in `properties`. On a miss queues the fatal-error line
// (after `context`) at severity 1 on `log` (when given) and returns 0.
int GetRecordValue(const PropertyMap& properties, std::string_view key, std::string* value,
                   const std::string& context, ConversionLog* log);

// The class under which the object named by the last part of `reference`
// is listed in "OBJ_LIST"; 0 when it is not listed.
int FindObjectClass(const PictureMap& map, const std::string& reference,
                    std::string* class_name);

// For animation and variable classes, turns a dotted `reference` into its
// last part + "1" and returns 1; returns 0 for any other class.
int MakeSourceReference(std::string* reference, const std::string& class_name);

// Reduces a dotted source name to its owner (Pic.Grp.Obj.Anim -> Grp.Obj;
// with class "Support" -> Obj).
void OwnerName(std::string* source, const std::string& class_name);

// The "format" pair of a data link: "format" TAB mask TAB.
std::string MakeFormatMask(const std::string& format, long characters_per_line,
                           long number_of_lines);

// Puts `text` in double quotes, with a backslash before every double quote,
// backslash and apostrophe inside it.
void QuoteString(std::string* text);

// True when `text`, written where the page description takes a value
// without quotes, stays one word there: it holds no blank, TAB, line end,
// NUL, parenthesis, quote or apostrophe, or it is a whole quoted text as
// QuoteString makes one.
bool IsPageWord(std::string_view text);
// True when `text` may stand unquoted as a value of the page description:
// blanks around one page word, or nothing but blanks (a value that could not
// be read).
bool FitsUnquoted(std::string_view text);

// Replaces every `from` in `text` by `to`.
void ReplaceChar(std::string* text, char from, char to);

// The value of the first "Name" pair of a record as the reader builds it,
// or empty when there is none.
std::string RecordName(const std::string& record);

}  // namespace quillon

#endif  // QUILLON_MODEL_PICTURE_MAP_H_
