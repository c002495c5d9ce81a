// The per-class readers of the picture walk and the table that names them.
#ifndef QUILLON_READER_CLASS_READERS_H_
#define QUILLON_READER_CLASS_READERS_H_

#include <string>

#include "reader/picture_reader.h"

namespace quillon {

// Rectangles, ovals, lines and buttons: the generic properties and edges.
int ReadRect(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadOval(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadLine(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadButton(PictureReader* reader, hmi::IHmiObject* object, std::string* record);

// Rounded rectangles, polygons, polylines, arcs and pies: shape geometry.
int ReadRoundRect(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadPolygon(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadPolyline(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadArc(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadPie(PictureReader* reader, hmi::IHmiObject* object, std::string* record);

// Texts and data links, one record per line of text.
int ReadText(PictureReader* reader, hmi::IHmiObject* object, std::string* record);

// Trend charts: pens, limits, grid and label colours, axes; each pen is
// handed to the animation reader.
int ReadChart(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
// The "pens" text with pen 1's limits and the grid and label colours.
hmi::HRESULT ReadPens(PictureReader* reader, hmi::IHmiObject* object, std::string* text);
// The axis divisions.
hmi::HRESULT ReadAxes(PictureReader* reader, hmi::IHmiObject* object, std::string* text);

// Bitmaps: every image state saved as an image file of the output directory.
int ReadBitmap(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
// Saves every image of the bitmap in both states; `list` receives each
// saved path followed by CR LF. 1 when all images were handled, 0 when it
// gave up, -1 when the bitmap lies beyond a limit (too many images, an image
// too large) and is to be left out of the page.
int CreateImageFiles(PictureReader* reader, hmi::IHmiObject* object, std::string* list);

// Embedded alarm summaries and command buttons.
int ReadAlarmSummary(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
int ReadCommandButton(PictureReader* reader, hmi::IHmiObject* object, std::string* record);
// Replaces an alarm column heading by its canonical heading and gives its
// column number; 0 (leaving both) when the heading is not a known one.
int MapColumnHeading(PictureReader* reader, std::string* heading, long* column);
// Stores and lists the alarm text link of an alarm summary's record: 1, or
// -2 when the record has no FullyQualifiedName or Name.
int AddAlarmTextLink(PictureReader* reader, const std::string& record);

struct ClassTableRow {
  const char* class_name;
  ClassReader reader;
};

// The classes the walk converts, with their readers.
const ClassTableRow* ClassTable(size_t* count);

// Recognises the control embedded in an "OleObject" and may change
// `class_name` to the class the converter reads it as.
void IdentifyControl(PictureReader* reader, hmi::IHmiObject* object, std::string* class_name);

}  // namespace quillon

#endif  // QUILLON_READER_CLASS_READERS_H_
