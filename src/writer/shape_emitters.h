// The emitters that write the picture's shapes as viewer objects, and the
// alarm text link, which adds a link instead of an object.
#ifndef QUILLON_WRITER_SHAPE_EMITTERS_H_
#define QUILLON_WRITER_SHAPE_EMITTERS_H_

#include "model/picture_map.h"

namespace quillon {

class PageWriter;

int EmitRectangle(PageWriter* writer, const PropertyMap& record);
int EmitRealTime(PageWriter* writer, const PropertyMap& record);
int EmitRoundRect(PageWriter* writer, const PropertyMap& record);
int EmitEllipse(PageWriter* writer, const PropertyMap& record);
int EmitArc(PageWriter* writer, const PropertyMap& record);
int EmitPie(PageWriter* writer, const PropertyMap& record);
int EmitPolygon(PageWriter* writer, const PropertyMap& record);
int EmitPolyline(PageWriter* writer, const PropertyMap& record);
int EmitLine(PageWriter* writer, const PropertyMap& record);
int EmitText(PageWriter* writer, const PropertyMap& record);
int EmitImage(PageWriter* writer, const PropertyMap& record);
int EmitAlarmDisplay(PageWriter* writer, const PropertyMap& record);
int EmitButton(PageWriter* writer, const PropertyMap& record);
int EmitAlarmTextLink(PageWriter* writer, const PropertyMap& record);

}  // namespace quillon

#endif  // QUILLON_WRITER_SHAPE_EMITTERS_H_
