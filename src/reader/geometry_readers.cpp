// Shape geometry: corner diameters of rounded rectangles, point lists of
// polygons and polylines, and the circle box, start angle and arc length of
// arcs and pies as the viewer draws them.
#include <algorithm>
#include <cmath>

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

struct ArcPoints {
  double start_x = 0, start_y = 0, center_x = 0, center_y = 0, end_x = 0, end_y = 0;
};

// Reads the six coordinates; queues the name of the first that fails.
HRESULT ReadArcPoints(PictureReader* reader, hmi::IHmiArcPoints* arc, ArcPoints* points) {
  struct Coordinate {
    const char* name;
    HRESULT (hmi::IHmiArcPoints::*get)(double*);
    double* value;
  };
  const Coordinate coordinates[] = {
      {"StartX", &hmi::IHmiArcPoints::StartX, &points->start_x},
      {"StartY", &hmi::IHmiArcPoints::StartY, &points->start_y},
      {"CenterX", &hmi::IHmiArcPoints::CenterX, &points->center_x},
      {"CenterY", &hmi::IHmiArcPoints::CenterY, &points->center_y},
      {"EndX", &hmi::IHmiArcPoints::EndX, &points->end_x},
      {"EndY", &hmi::IHmiArcPoints::EndY, &points->end_y},
  };
  for (const Coordinate& c : coordinates) {
    HRESULT hr = (arc->*c.get)(c.value);
    if (hmi::Failed(hr)) {
      reader->Warn(c.name, kSeveritySevere);
      return hr;
    }
  }
  return hmi::S_OK;
}

long Truncate(double value) {
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;
  return static_cast<long>(value);
}

// Writes the circle box of an arc or pie and returns the box centre.
void SetCircleBox(PictureReader* reader, double ox, double oy, double r, std::string* box,
                  double* bx, double* by) {
  const double left = ox - r, top = oy - r, right = ox + r, bottom = oy + r;
  const double height = std::max(top, bottom) - std::min(top, bottom);
  const double width = std::max(left, right) - std::min(left, right);
  *box = StringF("%ld", reader->ToPixel(height, false)) + "\t" +
         StringF("%ld", reader->ToPixel(width, true)) + "\t" +
         StringF("%ld", reader->ToPixel(left, true)) + "\t" +
         StringF("%ld", reader->ToPixel(top, false));
  *bx = left + (right - left) / 2;
  *by = top + (bottom - top) / 2;
}

void ApplyCircleBox(const std::string& box, std::string* record) {
  std::vector<std::string> values;
  SplitTabList(box, &values);
  const char* keys[] = {"Height", "Width", "HorizontalPosition", "VerticalPosition"};
  for (size_t i = 0; i < 4 && i < values.size(); ++i) {
    SetRecordProperty(record, keys[i], values[i], 1);
  }
}

enum class Curve { kArc, kPie };

int ReadCurve(PictureReader* reader, hmi::IHmiObject* object, std::string* record, Curve curve) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hr < 0 && hr != kReadWithWarnings) return hr;
  int result = hr;
  ComPtr<hmi::IHmiArcPoints> arc;
  if (curve == Curve::kArc) {
    ComPtr<hmi::IHmiArc> typed;
    hr = Query(object, &typed);
    arc = typed;
  } else {
    ComPtr<hmi::IHmiPie> typed;
    hr = Query(object, &typed);
    arc = typed;
  }
  ArcPoints p;
  if (hmi::Failed(hr)) {
    reader->Warn(reader->Text(kResNoArcOrPie), kSeverityWarning);
    result = hr;
  } else {
    hr = ReadArcPoints(reader, arc.get(), &p);
    if (hmi::Failed(hr)) result = hr;
  }
  if (hmi::Succeeded(hr)) {
    double ox = p.center_x, oy = p.center_y;
    if (curve == Curve::kArc) {
      CircleCentre(p.start_x, p.start_y, p.center_x, p.center_y, p.end_x, p.end_y, &ox, &oy);
    }
    const double r = std::sqrt((p.end_x - ox) * (p.end_x - ox) + (p.end_y - oy) * (p.end_y - oy));
    std::string box;
    double bx = 0, by = 0;
    SetCircleBox(reader, ox, oy, r, &box, &bx, &by);
    double a_start = 0, a_end = 0, a_middle = 0;
    int q_start = 0, q_end = 0, q_middle = 0;
    PointAngle(bx, by, p.start_x, p.start_y, &a_start, &q_start);
    PointAngle(bx, by, p.end_x, p.end_y, &a_end, &q_end);
    if (curve == Curve::kArc) {
      PointAngle(bx, by, p.center_x, p.center_y, &a_middle, &q_middle);
    } else {
      PointAngle(bx, by, (p.start_x + p.end_x) / 2, (p.start_y + p.end_y) / 2, &a_middle,
                 &q_middle);
    }
    if (a_start > a_end) {
      std::swap(a_start, a_end);
      std::swap(q_start, q_end);
    }
    const double span = a_end - a_start;
    double arc_length;
    if (curve == Curve::kArc) {
      // The arc runs through its middle point: the span when that point lies
      // between the two ends, the rest of the circle otherwise.
      arc_length = (a_start <= a_middle && a_middle <= a_end) ? span : -(360 - span);
    } else {
      arc_length = (a_start > a_middle || a_middle > a_end) ? a_end - (a_start + 360) : span;
    }
    AppendF(record, "startAngle\t%d\tarcLength\t%d\t", static_cast<int>(Truncate(a_start)),
            static_cast<int>(Truncate(arc_length)));
    result = reader->ApplyInvisibleEdge(object, record);
    ApplyCircleBox(box, record);
  }
  if (curve == Curve::kArc) {
    SetRecordProperty(record, "BackgroundColor",
                      StringF("%ld", static_cast<long>(reader->background_color())), 1);
  }
  return result;
}

int ReadPointList(PictureReader* reader, hmi::IHmiObject* object, std::string* record,
                  bool polygon) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (polygon && hr >= 0) reader->ApplyThinEdge(object, record);
  if (hr < 0 && hr != kReadWithWarnings) return hr;
  ComPtr<hmi::IHmiPointList> list;
  if (polygon) {
    ComPtr<hmi::IHmiPolygon> typed;
    hr = Query(object, &typed);
    list = typed;
  } else {
    ComPtr<hmi::IHmiPolyline> typed;
    hr = Query(object, &typed);
    list = typed;
  }
  if (hmi::Failed(hr)) {
    reader->Warn(reader->Text(polygon ? kResNoPolygon : kResNoPolyline), kSeverityWarning);
    return hr;
  }
  int32_t count = 0;
  hr = list->NumberOfPoints(&count);
  if (hmi::Failed(hr)) {
    reader->Warn("NumberOfPoints", kSeveritySevere);
    return hr;
  }
  int result = 0;
  std::string text = "points\t(";
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<hmi::IHmiPoint> point;
    double x = 0, y = 0;
    const char* failed = nullptr;
    if (hmi::Failed(hr = list->Point(i, &point)) || !point) {
      failed = "Points";
      if (hmi::Succeeded(hr)) hr = hmi::E_POINTER;
    } else if (hmi::Failed(hr = point->X(&x))) {
      failed = "x";
    } else if (hmi::Failed(hr = point->Y(&y))) {
      failed = "y";
    }
    if (failed != nullptr) {
      reader->Warn(failed, kSeveritySevere);
      text.clear();
      result = hr;
      break;
    }
    AppendF(&text, "(%ld %ld) ", reader->ToPixel(x, true), reader->ToPixel(y, false));
  }
  if (!text.empty()) *record += text + ")";
  if (!polygon && result >= 0) result = reader->ApplyInvisibleEdge(object, record);
  return result;
}

}  // namespace

void PointAngle(double cx, double cy, double px, double py, double* angle, int* quadrant) {
  if (px >= cx && cy >= py) {
    *quadrant = 1;
  } else if (px < cx && cy > py) {
    *quadrant = 2;
  } else if (px < cx && cy < py) {
    *quadrant = 3;
  } else {
    *quadrant = 4;
  }
  const double d = std::sqrt((cy - py) * (cy - py) + (cx - px) * (cx - px));
  if (d == 0.0) {
    // A point at the centre has no direction of its own.
    *angle = 0.0;
    *quadrant = 1;
    return;
  }
  switch (*quadrant) {
    case 1:
      *angle = std::acos((px - cx) / d) * kDegreeFactor;
      break;
    case 2:
      *angle = 180 - std::asin((cy - py) / d) * kDegreeFactor;
      break;
    case 3:
      *angle = std::atan((py - cy) / (cx - px)) * kDegreeFactor + 180;
      break;
    default:
      *angle = 360 - std::acos((px - cx) / d) * kDegreeFactor;
      break;
  }
}

void CircleCentre(double x1, double y1, double x2, double y2, double x3, double y3, double* x,
                  double* y) {
  const double s1 = x2 == x1 ? 1e35 : (y2 - y1) / (x2 - x1);
  const double s2 = x3 == x2 ? 1e35 : (y3 - y2) / (x3 - x2);
  double a = s2 - s1;
  if (a == 0) a = 1e-35;
  const double c1 = -(s1 * (y2 + y1) / 2 + (x2 + x1) / 2);
  const double c2 = -(s2 * (y2 + y3) / 2 + (x2 + x3) / 2);
  *x = (s1 * c2 - c1 * s2) / a;
  *y = (c1 - c2) / a;
}

int ReadRoundRect(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hr >= 0) reader->ApplyThinEdge(object, record);
  if (hr < 0 && hr != kReadWithWarnings) return hr;
  long roundness[2] = {0, 0};
  const char* names[2] = {"RoundnessX", "RoundnessY"};
  for (int i = 0; i < 2; ++i) {
    hmi::Variant value, number;
    HRESULT get = object->PropertyValue(names[i], &value);
    if (hmi::Succeeded(get)) get = hmi::ChangeType(value, hmi::VT_I4, &number);
    if (hmi::Failed(get)) {
      reader->Warn(names[i], kSeveritySevere);
      return get;
    }
    roundness[i] = number.i4();
  }
  AppendF(record, "diameter\t%ld\t", roundness[1] < roundness[0] ? roundness[0] : roundness[1]);
  return hr;
}

int ReadPolygon(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return ReadPointList(reader, object, record, true);
}

int ReadPolyline(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return ReadPointList(reader, object, record, false);
}

int ReadArc(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return ReadCurve(reader, object, record, Curve::kArc);
}

int ReadPie(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  return ReadCurve(reader, object, record, Curve::kPie);
}

}  // namespace quillon
