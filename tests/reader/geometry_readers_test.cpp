// Shape geometry: point angles, circle centres, corner diameters, point
// lists in pixels, and the circle box and angles of arcs and pies.
#include "reader_fixture.h"

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {
namespace {

TEST(PointAngleTest, AngleAndQuadrant) {
  struct Row {
    double cx, cy, px, py, angle;
    int quadrant;
  };
  const Row rows[] = {
      {0, 0, 10, 0, 0.0, 1},
      {0, 0, 0, -10, 89.96378962552589, 1},  // straight above: written as 89
      {20, 20, 28, 14, 36.85506350361537, 1},
      {0, 0, -10, -10, 135.01810518723707, 2},
      {0, 0, -10, 10, 224.98189481276296, 3},
      {0, 0, 0, 10, 270.0362103744741, 4},
      {0, 0, -10, 0, 180.07242074894822, 4},  // level to the left counts as quadrant 4
      {0, 0, 10, 10, 315.01810518723704, 4},
      {5, 5, 5, 5, 0.0, 1},  // the centre itself
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(StringF("(%g %g) from (%g %g)", row.px, row.py, row.cx, row.cy));
    double angle = -1;
    int quadrant = -1;
    PointAngle(row.cx, row.cy, row.px, row.py, &angle, &quadrant);
    EXPECT_NEAR(angle, row.angle, 1e-9);
    EXPECT_EQ(quadrant, row.quadrant);
  }
}

TEST(CircleCentreTest, CentreOfThreePoints) {
  struct Row {
    double x1, y1, x2, y2, x3, y3, x, y;
  };
  const Row rows[] = {
      {0, -10, 10, 0, 0, 10, 0, 0},
      {20, 10, 30, 20, 20, 30, 20, 20},
      {0, 5, 5, 0, 10, 5, 5, 5},
      {0, 0, 0, 10, 10, 10, 5, 5},  // first chord upright
      {10, 10, 0, 10, 0, 0, 5, 5},  // second chord upright
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(StringF("(%g %g) (%g %g) (%g %g)", row.x1, row.y1, row.x2, row.y2, row.x3,
                         row.y3));
    double x = -1, y = -1;
    CircleCentre(row.x1, row.y1, row.x2, row.y2, row.x3, row.y3, &x, &y);
    EXPECT_NEAR(x, row.x, 1e-9);
    EXPECT_NEAR(y, row.y, 1e-9);
  }
}

class GeometryReaderTest : public ReaderTest {
 protected:
  int ReadOnce(ClassReader read, const std::string& name, std::string* record) {
    log.ClearPending();
    return read(&reader, Object(name).get(), record);
  }
};

TEST_F(GeometryReaderTest, RoundRectDiameterIsTheLargerRoundness) {
  LoadObjects(R"([{"class": "RoundRect", "name": "R1",
                   "properties": {"RoundnessX": 10, "RoundnessY": 20}},
                  {"class": "RoundRect", "name": "R2",
                   "properties": {"RoundnessX": 20, "RoundnessY": 10}}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("R1(RoundRect)", "diameter"), "20");
  EXPECT_EQ(Value("R2(RoundRect)", "diameter"), "20");
}

TEST_F(GeometryReaderTest, PointListsInPixelsEndTheRecord) {
  Load(R"({"pixelsPerUnit": [2.0, 3.0], "objects": [
            {"class": "Polygon", "name": "P1", "points": [[1.5, 2], [10, 0.5]]},
            {"class": "Polygon", "name": "P2", "points": []},
            {"class": "PolyLine", "name": "L1", "points": [[1, 1]]},
            {"class": "PolyLine", "name": "L2", "points": [[1, 1]],
             "properties": {"EdgeStyle": 5}}]})");
  EXPECT_EQ(Walk(), 0);
  auto ends_with = [](const std::string& record, const std::string& tail) {
    return record.size() >= tail.size() &&
           record.compare(record.size() - tail.size(), tail.size(), tail) == 0;
  };
  EXPECT_PRED2(ends_with, Record("P1(Polygon)"), "\tpoints\t((3 6) (20 2) )");
  EXPECT_PRED2(ends_with, Record("P2(Polygon)"), "\tpoints\t()");
  EXPECT_PRED2(ends_with, Record("L1(PolyLine)"), "\tpoints\t((2 3) )");
  // An invisible edge adds its pair after the points without gluing onto them.
  EXPECT_PRED2(ends_with, Record("L2(PolyLine)"), "\tpoints\t((2 3) )\tVisible\t0\t");
  EXPECT_EQ(Value("L2(PolyLine)", "points"), "((2 3) )");
  EXPECT_EQ(Value("L1(PolyLine)", "Visible"), "<missing>");
}

// Every row is a circle of radius 10 about (20, 20) at 2 pixels a unit.
TEST_F(GeometryReaderTest, ArcsAndPiesGetCircleBoxAndAngles) {
  struct Row {
    const char* cls;
    double sx, sy, cx, cy, ex, ey;
    const char* start;
    const char* length;
  };
  const Row rows[] = {
      // Arcs: the middle point decides which way round the circle goes.
      {"Arc", 20, 10, 30, 20, 20, 30, "89", "-179"},  // top, right, bottom: the right half
      {"Arc", 20, 30, 30, 20, 20, 10, "89", "-179"},  // the same, drawn the other way
      {"Arc", 20, 10, 10, 20, 20, 30, "89", "180"},   // top, left, bottom: the left half
      {"Arc", 30, 20, 20, 10, 10, 20, "0", "180"},    // right, top, left
      {"Arc", 30, 20, 20, 30, 10, 20, "0", "-179"},   // right, bottom, left
      {"Arc", 30, 20, 28, 14, 20, 10, "0", "89"},     // a quarter
      {"Arc", 30, 20, 14, 28, 20, 10, "0", "-270"},   // three quarters
      // Pies: the centre is given; the chord's midpoint picks the side.
      {"Pie", 30, 20, 20, 20, 20, 10, "0", "89"},
      {"Pie", 20, 10, 20, 20, 30, 20, "0", "89"},
      {"Pie", 20, 30, 20, 20, 30, 20, "0", "-89"},
      {"Pie", 10, 20, 20, 20, 20, 10, "89", "90"},
  };
  std::string objects;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    AppendF(&objects,
            R"(%s{"class": "%s", "name": "C%zu", "properties": {"StartX": %g, "StartY": %g, )"
            R"("CenterX": %g, "CenterY": %g, "EndX": %g, "EndY": %g, "BackgroundColor": 255}})",
            i ? "," : "", r.cls, i, r.sx, r.sy, r.cx, r.cy, r.ex, r.ey);
  }
  Load(R"({"backgroundColor": 12632256, "pixelsPerUnit": [2.0, 2.0], "objects": [)" + objects +
       "]}");
  EXPECT_EQ(Walk(), 0);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const std::string key = StringF("C%zu(%s)", i, rows[i].cls);
    SCOPED_TRACE(key);
    EXPECT_EQ(Value(key, "startAngle"), rows[i].start);
    EXPECT_EQ(Value(key, "arcLength"), rows[i].length);
    EXPECT_EQ(Value(key, "Height"), "40");
    EXPECT_EQ(Value(key, "Width"), "40");
    EXPECT_EQ(Value(key, "HorizontalPosition"), "20");
    EXPECT_EQ(Value(key, "VerticalPosition"), "20");
    // An arc is drawn on the picture's background; a pie keeps its own colour.
    EXPECT_EQ(Value(key, "BackgroundColor"), rows[i].cls[0] == 'A' ? "12632256" : "255");
  }
}

TEST_F(GeometryReaderTest, ArcFromOriginCircle) {
  LoadObjects(R"([{"class": "Arc", "name": "A1", "properties": {"StartX": 0, "StartY": -10,
                   "CenterX": 10, "CenterY": 0, "EndX": 0, "EndY": 10, "EdgeStyle": 5}}])");
  std::string record;
  EXPECT_EQ(ReadOnce(ReadArc, "A1", &record), 0);
  PropertyMap values;
  ParseRecord(record, &values);
  const char* expected[][2] = {{"Height", "20"}, {"Width", "20"}, {"HorizontalPosition", "-10"},
                               {"VerticalPosition", "-10"}, {"startAngle", "89"},
                               {"arcLength", "-179"}, {"Visible", "0"},
                               {"BackgroundColor", "16777215"}};
  for (const auto& pair : expected) {
    EXPECT_EQ(values.Find(pair[0]) ? *values.Find(pair[0]) : "<missing>", pair[1]) << pair[0];
  }
}

TEST_F(GeometryReaderTest, RefusedArcStillTakesThePictureBackground) {
  Load(R"({"backgroundColor": 12632256, "objects": [{"class": "Arc", "name": "A1",
           "properties": {"BackgroundColor": 255}, "refuse": ["Arc"]}]})");
  std::string record;
  EXPECT_EQ(ReadOnce(ReadArc, "A1", &record), hmi::E_NOINTERFACE);
  EXPECT_EQ(log.pending(), std::vector<std::string>{Text(81) + Text(34)});
  PropertyMap values;
  ParseRecord(record, &values);
  ASSERT_NE(values.Find("BackgroundColor"), nullptr);
  EXPECT_EQ(*values.Find("BackgroundColor"), "12632256");
}

TEST_F(GeometryReaderTest, FailuresQueueTheirWarningsAndDropTheShape) {
  struct Row {
    const char* name;
    ClassReader read;
    std::string json;  // class, properties and failures
    int result;
    std::string warning;
    const char* missing;  // the key the failure leaves out
  };
  const std::string two_points = R"("points": [[1, 2], [3, 4]])";
  const std::string arc =
      R"("properties": {"StartX": 0, "StartY": -10, "CenterX": 10, "CenterY": 0, )"
      R"("EndX": 0, "EndY": 10})";
  const Row rows[] = {
      {"G1", ReadPolygon, R"("class": "Polygon", "refuse": ["Polygon"], )" + two_points,
       hmi::E_NOINTERFACE, Text(81) + Text(23), "points"},
      {"G2", ReadPolyline, R"("class": "PolyLine", "refuse": ["Polyline"], )" + two_points,
       hmi::E_NOINTERFACE, Text(81) + Text(24), "points"},
      {"G3", ReadPolygon, R"("class": "Polygon", "fail": ["NumberOfPoints"], )" + two_points,
       hmi::E_FAIL, Text(80) + "NumberOfPoints", "points"},
      {"G4", ReadPolygon, R"("class": "Polygon", "fail": ["Point:1"], )" + two_points, hmi::E_FAIL,
       Text(80) + "Points", "points"},
      {"G5", ReadPolygon, R"("class": "Polygon", "fail": ["Point.x:1"], )" + two_points,
       hmi::E_FAIL, Text(80) + "x", "points"},
      {"G6", ReadPolyline, R"("class": "PolyLine", "fail": ["Point.y:0"], )" + two_points,
       hmi::E_FAIL, Text(80) + "y", "points"},
      {"G7", ReadPolyline, R"("class": "PolyLine", "fail": ["EdgeStyle"], )" + two_points,
       hmi::E_FAIL, Text(80) + "visibility", "Visible"},
      {"G8", ReadRoundRect, R"("class": "RoundRect", "properties": {"RoundnessX": 10})",
       hmi::DISP_E_MEMBERNOTFOUND, Text(80) + "RoundnessY", "diameter"},
      {"G9", ReadRoundRect,
       R"("class": "RoundRect", "fail": ["RoundnessX"], "properties": {"RoundnessX": 10,
          "RoundnessY": 20})",
       hmi::E_FAIL, Text(80) + "RoundnessX", "diameter"},
      {"G10", ReadArc, R"("class": "Arc", "fail": ["EndY"], )" + arc, hmi::E_FAIL,
       Text(80) + "EndY", "startAngle"},
      {"G11", ReadPie, R"("class": "Pie", "refuse": ["Pie"], )" + arc, hmi::E_NOINTERFACE,
       Text(81) + Text(34), "startAngle"},
      {"G12", ReadPie, R"("class": "Pie", "fail": ["CenterX"], )" + arc, hmi::E_FAIL,
       Text(80) + "CenterX", "startAngle"},
  };
  std::string objects;
  for (const Row& row : rows) {
    objects += StringF(R"(%s{"name": "%s", )", objects.empty() ? "" : ",", row.name) + row.json +
               "}";
  }
  LoadObjects("[" + objects + "]");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string record;
    EXPECT_EQ(ReadOnce(row.read, row.name, &record), row.result);
    EXPECT_EQ(log.pending(), std::vector<std::string>{row.warning});
    EXPECT_EQ(record.find(std::string("\t") + row.missing + "\t"), std::string::npos) << record;
  }
  // A failed shape is not stored at all.
  log.ClearPending();
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Record(kObjectSequence), "<missing>");
}

}  // namespace
}  // namespace quillon
