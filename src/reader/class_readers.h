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
