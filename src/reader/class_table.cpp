// The classes the picture walk converts, and how an embedded control is
// recognised.
#include "reader/class_readers.h"

namespace quillon {
namespace {

// Every class not listed here is reported as unsupported.
constexpr ClassTableRow kClassTable[] = {
    {"Rect", ReadRect},           {"Oval", ReadOval},       {"Line", ReadLine},
    {"Button", ReadButton},       {"RoundRect", ReadRoundRect}, {"Polygon", ReadPolygon},
    {"PolyLine", ReadPolyline},   {"Arc", ReadArc},         {"Pie", ReadPie},
    {"Text", ReadText},           {"DataLink", ReadText},
};

}  // namespace

const ClassTableRow* ClassTable(size_t* count) {
  *count = sizeof(kClassTable) / sizeof(kClassTable[0]);
  return kClassTable;
}

void IdentifyControl(PictureReader*, hmi::IHmiObject*, std::string*) {}

}  // namespace quillon
