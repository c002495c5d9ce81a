// The classes the picture walk converts.
#include "reader/class_readers.h"

namespace quillon {
namespace {

// Every class not listed here is reported as unsupported.
constexpr ClassTableRow kClassTable[] = {
    {"Rect", ReadRect},
    {"Oval", ReadOval},
    {"Line", ReadLine},
    {"Button", ReadButton},
    {"RoundRect", ReadRoundRect},
    {"Polygon", ReadPolygon},
    {"PolyLine", ReadPolyline},
    {"Arc", ReadArc},
    {"Pie", ReadPie},
    {"Text", ReadText},
    {"DataLink", ReadText},
    {"Chart", ReadChart},
    {"Bitmap", ReadBitmap},
    {"AlarmSummary", ReadAlarmSummary},
    {"CommandButton", ReadCommandButton},
};

}  // namespace

const ClassTableRow* ClassTable(size_t* count) {
  *count = sizeof(kClassTable) / sizeof(kClassTable[0]);
  return kClassTable;
}

}  // namespace quillon
