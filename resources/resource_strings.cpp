// The string table of the resource module: every text the converter shows,
// logs or compares, looked up by number (1 to 142).
//
// Conventions the converter relies on:
// - Placeholders are "%s" and "%d" only, in the order the converter fills them.
// - Lines the log writes unchanged (banners, per-object headings, the final
//   lines of the writer) end with "\r\n"; every other text has no line end.
// - Texts marked "follows a name" are glued directly after a property or
//   object name, so they begin with their own separator.
// - 110 (the caption of every message box), 111 to 133, 135 and 141 are
//   fixed: the others are compared with what the HMI reports or writes, so
//   change them only together with the HMI.
#include <cstddef>
#include <type_traits>

#include "driver/resource_abi.h"

namespace {

constexpr int kFirstString = 1;
constexpr int kLastString = 142;

struct StringEntry {
  int id;
  const char* text;
};

// In number order, every number present (checked below).
constexpr StringEntry kStrings[] = {
    // --- Opening a picture file (log lines; the run stops) ---
    {1, "The picture file could not be opened for reading."},  // file open failed
    {2, "The HMI picture object could not be created. Check that the HMI is installed."},  // picture object not created
    {3, "The HMI picture object cannot be loaded from a file."},  // no storage-loading interface
    {4, "The picture could not be loaded from its file. The file may be damaged."},  // load from storage failed
    {5, "The HMI picture object offers no automation interface."},  // no dispatch interface
    {6, "The HMI picture object does not offer the picture interface the converter needs."},  // no picture interface

    // --- Picture walk (log lines, also shown as progress text) ---
    {7, "The number of objects in the picture could not be read."},  // collection count failed
    {8, "An object or its contents could not be obtained from the HMI."},  // item, contained objects or column headings failed
    {9, "An object does not offer the automation interface the converter needs."},  // general interface refusal
    {10, "The class or name of an object could not be read."},  // class name (or bitmap name) failed
    {11, "The category of an object could not be read."},  // category failed
    {12, "The name of an object could not be read."},  // name failed

    // --- Generic property reading ---
    {13, "The property names of the object could not be read."},  // level-0 warning
    {14, "The property list of the object is not a list of names; no property was read."},  // wrong list type
    {15, "The start of the object's property list could not be read."},  // lower bound failed
    {16, "The end of the object's property list could not be read."},  // upper bound failed
    {17, "Property name number %d of the object could not be read."},  // element failed; %d = element index
    {18, "The members of a group could not be read."},  // group contents failed
    {19, "The members of a group do not form an object list."},  // group contents not a collection

    // --- Texts and data links (level-0 warnings) ---
    {20, "The text object offers no text interface; its line and font settings are missing."},  // no text interface
    {21, "The class name of the text object could not be read."},  // text class name failed
    {22, "The display format of the data link could not be read."},  // data-entry/format read failed

    // --- Polygons, polylines, the picture itself, charts, arcs ---
    {23, "The polygon offers no polygon interface; its points are missing."},  // no polygon interface
    {24, "The polyline offers no polyline interface; its points are missing."},  // no polyline interface
    {25, "The picture offers no picture interface."},  // picture properties: interface refused
    {26, "The objects of the picture do not form an object list."},  // picture properties: no collection
    {27, "The chart offers no chart interface; its pens are missing."},  // no chart interface
    {28, "The pens of the chart do not form a pen list."},  // pens not a collection
    {29, "The number of pens of the chart could not be read."},  // pen count failed
    {30, "A pen of the chart could not be obtained."},  // pen item failed
    {31, "A pen of the chart offers no pen interface."},  // no pen interface
    {32, "The axes of the chart could not be read."},  // chart axes (general)
    {33, "The corner size of the rounded rectangle could not be read."},  // rounded corners (general)
    {34, "The arc or pie offers no arc interface; its geometry is missing."},  // no arc/pie interface

    // --- Bitmaps and image files ---
    {35, "The bitmap offers no bitmap interface; no image files were made."},  // level-0 warning
    {36, "The picture window could not be reached; no image files were made."},  // level-0 warning
    {37, "An image file of the bitmap could not be saved."},  // level-1 warning
    {38, "The clipboard holds no image after copying the bitmap; its image files are incomplete."},  // level-0 warning
    {39, "The bitmap could not be deselected after its images were saved."},  // level-0 warning

    // --- Shared lookup tables (follows a property name) ---
    {40, ": the shared table named by this lookup is not a lookup table."},  // owner has wrong class
    {41, ": the shared table of this lookup was found neither in the HMI nor in its document file."},  // owner not found

    // --- Data-source translation errors (follows a property name) ---
    {42, ": the reference to another object names no property."},  // no property part
    {43, ": the referenced property has no counterpart on the web page."},  // property not mapped
    {44, ": references to user data cannot be converted."},  // "User" head
    {45, ": the data source is neither a process value, a system value nor an object of this picture."},  // unknown head

    // --- Dialog messages (message boxes) ---
    {46, "Please enter a node name."},  // node prompt left empty
    {47, "The update rate must be a whole number from 1 to 59."},  // update rate out of range
    {48, "Please enter an output directory."},  // output directory empty
    {49, "The output directory does not exist. Do you want to create it?"},  // question; title is 95
    {50, "The output directory is read-only. Please choose a directory that can be written to."},  // read-only
    {51, "The output directory is hidden. Please choose another directory."},  // hidden
    {52, "The output path names a file, not a directory. Please choose a directory."},  // not a directory

    // --- Animation target checks (follows a property name) ---
    {53, ": the font size can only be animated on a chart."},  // font size on a non-chart
    {54, ": this property cannot be animated on the web page."},  // no viewer property
    {55, ": this property cannot be driven by this kind of animation on the web page."},  // kind rejected

    // --- Page writer ---
    {56, "A property value could not be converted for the web page."},  // value conversion (general)
    {57, "A group could not be written to the page description."},  // symbol failed, level -2
    {58, "The picture was converted.\r\n"},  // final log line, level 0
    {59, "The web page could not be written."},  // HTML page (general)
    {60, "The page description file could not be written."},  // page description (general)
    {61, "The %s object %s is not supported"},  // unsupported class; %s = class, then name or key; 62 follows
    {62, " and is left out of the web page."},  // completes 61

    // --- Animation reading (follows a property name) ---
    {63, ": the lookup animation could not be read from the HMI."},  // no lookup interface
    {64, ": the linear animation could not be read from the HMI."},  // no linear interface
    {65, ": the format animation could not be read from the HMI."},  // no format interface
    {66, ": the system value could not be read from the HMI."},  // no system-value interface
    {67, ": the variable object is missing."},  // no variable object
    {68, "A chart pen could not be reached; its data source is not converted."},  // no pen object, level -1
    {69, ": the referenced object is neither an animation nor a variable."},  // translation error (follows a property name)

    // --- Run ---
    {70, "This is not a picture file. Only files with the extension .GRF can be converted."},  // message box

    // --- Shared documents of the HMI (log lines, also progress text) ---
    {71, "The HMI document object could not be created."},  // document class failed
    {72, "The HMI picture directory is not known; shared documents cannot be searched."},  // picture directory unreadable
    {73, "The HMI document file could not be opened."},  // document storage failed
    {74, "The HMI document does not offer the interface needed to load it."},  // interface refused
    {75, "The HMI document could not be loaded from its file."},  // load failed
    {76, "The objects of the picture could not be read. See the log in %s for details."},  // message box; %s = output directory

    // --- Log banners, prefixes and headings ---
    {77, "Picture conversion log\r\n"},  // run banner, level 0
    {78, "Source picture: %s\r\nPage description: %s.JDF\r\nWeb page: %s.htm\r\n"},  // run banner, level 0; %s = picture, output base, output base
    {79, "Writing the web page.\r\n"},  // writer banner, level 0
    {80, "Error: "},  // prefix of queued severity-1 lines (an animation or property lost)
    {81, "Warning: "},  // prefix of queued severity-0 lines and code -1 lines (object read in part)
    {82, "Serious error: "},  // prefix of code -2 lines and other severities (object left out, run stopped)
    {83, "Messages for the %s object %s:\r\n"},  // per-object heading, level 0; %s = class, then name

    // --- Animation reading ---
    {84, ": a property of the animation could not be read."},  // follows a property name
    {85, ": the object driven by the animation could not be read."},  // follows a property name
    {86, "A chart pen could not be read; its data source is not converted."},  // pen name/parent failed, level -1
    {87, "The name, class or category of an animated object could not be read; its animations are not converted."},  // level -1
    {88, "A connection of an animated object could not be read; its remaining animations are not converted."},  // level -1
    {89, "The companion animation of a uniformly scaled object could not be made."},  // level -1
    {90, "The data source of pen %s of %s cannot be translated"},  // %s = pen name, chart name; the translation error follows

    // --- Reader and run ---
    {91, "The HMI object needed here was not handed over or could not be reached."},  // no picture / collection / control
    {92, "The background colour of the picture could not be read; white is used."},  // log line
    {93, "A position or size could not be converted to pixels; 0 is used."},  // log line
    {94, "An object listed for the page has no description and is left out."},  // record missing, level -2
    {95, "Create Directory"},  // title of question 49

    // --- Settings (message boxes) ---
    {96, "A settings key could not be opened or created."},  // key open/create failed
    {97, "A setting could not be saved."},  // value write failed
    {98, "A settings key could not be closed."},  // key close failed
    {99, "Image files made for %s:\r\n"},  // heading of the image list, level 0; %s = object name
    {100, "The position of a group could not be read; its animation is not made relative to the group."},  // level -1
    {101, "The web page file could not be opened."},  // HTML page (general)
    {102, "The page description file could not be opened."},  // page description (general)
    {103, "The picture holds no objects to convert.\r\n"},  // nothing to write, level 0 (also progress text)
    {104, "The conversion was cancelled."},  // user cancelled
    {105, "The description or member list of a group is missing; the group is incomplete."},  // level -2
    {106, "A group could not be read."},  // groups (general)
    {107, "The picture lists no objects to write."},  // object sequence missing, level -2
    {108, "Choose the output directory"},  // directory picker (general)
    {109, "Picture Converter Options"},  // options dialog (general)
    {110, "Picture Converter"},  // caption of every message box (fixed)

    // --- Alarm summary column headings (fixed: the HMI reports these) ---
    {111, "TIME"},  // canonical heading, column 1
    {112, "DATE"},  // canonical heading, column 0
    {113, "TAG"},  // canonical heading, column 3
    {114, "STATUS"},  // canonical heading, column 4
    {115, "AREA"},  // canonical heading, column 5
    {116, "PRIORITY"},  // canonical heading, column 6
    {117, "VALUE"},  // canonical heading, column 7
    {118, "UNITS"},  // canonical heading, column 8
    {119, "DESC"},  // canonical heading, column 9
    {120, "Time"},  // reported heading -> 111
    {121, "Date"},  // reported heading -> 112
    {122, "Tag"},  // reported heading -> 113
    {123, "Status"},  // reported heading -> 114
    {124, "Area"},  // reported heading -> 115
    {125, "Priority"},  // reported heading -> 116
    {126, "Value"},  // reported heading -> 117
    {127, "Units"},  // reported heading -> 118
    {128, "Description"},  // reported heading -> 119
    {129, "Time In"},  // reported heading -> 111
    {130, "Date In"},  // reported heading -> 112
    {131, "NODE"},  // canonical heading, column 2
    {132, "Node"},  // reported heading -> 131

    // --- HMI words ---
    {133, "Shape"},  // shape category (fixed)
    {134, "Support"},  // category of variables (not looked up: the walk compares its own copy)
    {135, "Animation"},  // animation category (fixed)
    {136, "Group"},  // class of groups (not looked up: the walk compares its own copy)
    {137, "Variable"},  // class of variables (not looked up: the walk compares its own copy)
    {138, "System"},  // head of system values (not looked up: the translator compares its own copy)
    {139, "User"},  // head of user data (not looked up: the translator compares its own copy)
    {140, "THISNODE"},  // word for the node of the local data source (not looked up: the translator compares its own copy)
    {141, "LOCALNODE"},  // alias word for the local node (fixed)
    {142, "the tag name is longer than 30 characters and may be cut off by the data server"},  // follows a reference and " -- ", level -1
};

constexpr std::size_t kStringCount = sizeof(kStrings) / sizeof(kStrings[0]);

constexpr bool NumbersAreConsecutive() {
  for (std::size_t i = 0; i < kStringCount; ++i) {
    if (kStrings[i].id != kFirstString + static_cast<int>(i)) return false;
  }
  return true;
}

static_assert(kStringCount == kLastString - kFirstString + 1,
              "the string table must hold every number from the first to the last");
static_assert(NumbersAreConsecutive(), "the string table must be in number order without gaps");

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* QuillonResourceString(int id) {
  if (id < kFirstString || id > kLastString) return nullptr;
  return kStrings[id - kFirstString].text;
}

static_assert(std::is_same_v<decltype(&QuillonResourceString), QuillonResourceStringFn>,
              "the string lookup must match the module's binary interface");
