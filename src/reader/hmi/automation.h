// The HMI application's automation objects as the converter sees them: the
// picture, its collections and objects, the per-kind shape interfaces, the
// animation objects and the running application. Each operation returns an
// HRESULT (negative = failure) and delivers its results through pointers;
// on failure the outputs are left as they were unless stated otherwise.
// Texts arrive in the converter's 8-bit code page.
#ifndef QUILLON_READER_HMI_AUTOMATION_H_
#define QUILLON_READER_HMI_AUTOMATION_H_

#include <cstdint>
#include <string>

#include "reader/hmi/com.h"
#include "reader/hmi/variant.h"

namespace quillon {
namespace hmi {

// An ordered collection of objects (a picture's or group's contents, a
// chart's pens, a data link's sources).
class IHmiObjectCollection : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiObjectCollection;
  virtual HRESULT Count(int32_t* count) = 0;
  // The item at `index` (a VT_I4 variant, from 1) as a dispatch reference;
  // ask it for IHmiObject. DISP_E_BADINDEX outside 1..Count.
  virtual HRESULT Item(const Variant& index, ComPtr<IDispatch>* item) = 0;

 protected:
  ~IHmiObjectCollection() override = default;
};

// One connection of an object's property to its source.
struct HmiConnection {
  std::string property;     // the connected property of the object
  std::string source;       // the source as entered
  std::string full_source;  // the fully qualified source
  // VT_ARRAY|VT_DISPATCH: the source objects (animation objects or data
  // items), one dimension.
  Variant objects;
};

// Every object of a picture (shapes, groups, animation objects, variables,
// pens, data items) and the picture document itself.
//
// A collection item that refuses this interface still answers the
// late-bound method "GetQevComponentDispatch" (DISPATCH_METHOD, one
// VT_BYREF|VT_DISPATCH argument): the dispatch reference it stores is the
// object's IHmiObject, to be taken with DispatchAs<IHmiObject> without a
// further query. An embedded alarm summary also answers "GetColHeadings"
// (DISPATCH_METHOD, one VT_BYREF|VT_BSTR argument): its visible column
// headings, each followed by ";".
class IHmiObject : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiObject;
  virtual HRESULT Name(std::string* name) = 0;
  virtual HRESULT ClassName(std::string* class_name) = 0;
  // "Shape" for drawable objects, "Animation" for animation objects,
  // "Support" for variables.
  virtual HRESULT Category(std::string* category) = 0;
  virtual HRESULT FullyQualifiedName(std::string* full_name) = 0;
  // The contained objects (a group's members, a data link's sources, a
  // picture's top-level objects); ask them for IHmiObjectCollection.
  virtual HRESULT ContainedObjects(ComPtr<IDispatch>* objects) = 0;
  // An object anywhere below this one whose Name or FullyQualifiedName is
  // `name`, without regard to case. Fails when there is none.
  virtual HRESULT ObjectByName(const std::string& name, ComPtr<IHmiObject>* object) = 0;
  // VT_ARRAY|VT_BSTR, one dimension: the names of the object's properties
  // in the order the object lists them.
  virtual HRESULT PropertyNames(Variant* names) = 0;
  virtual HRESULT PropertyValue(const std::string& name, Variant* value) = 0;
  virtual HRESULT SetPropertyValue(const std::string& name, const Variant& value) = 0;

  // Animation connections.
  virtual HRESULT ConnectionCount(int32_t* count) = 0;
  // Connection `index`, from 1; DISP_E_BADINDEX outside 1..ConnectionCount.
  virtual HRESULT ConnectionInfo(int32_t index, HmiConnection* connection) = 0;
  // The owning object: a group for its members, the picture for top-level
  // objects, the connected object for animation objects and data items, the
  // chart for pens, the data link for its sources. The picture has none.
  virtual HRESULT Parent(ComPtr<IHmiObject>* parent) = 0;
  // Whether `property` is connected: *connected is VARIANT_TRUE (-1) or
  // VARIANT_FALSE (0); *index is that connection's index (0 when not
  // connected) and *source_count the number of its source objects.
  virtual HRESULT IsConnected(const std::string& property, int16_t* connected, int32_t* index,
                              int32_t* source_count) = 0;

 protected:
  ~IHmiObject() override = default;
};

// The picture document.
class IHmiPicture : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPicture;
  virtual HRESULT Name(std::string* name) = 0;
  // 0x00BBGGRR.
  virtual HRESULT BackgroundColor(int32_t* color) = 0;
  // Logical units.
  virtual HRESULT Height(double* height) = 0;
  virtual HRESULT Width(double* width) = 0;
  // Converts a logical point to pixels (a linear conversion per axis).
  virtual HRESULT LogicalToPixel(double x, double y, int32_t* pixel_x, int32_t* pixel_y) = 0;
  // The top-level objects; ask them for IHmiObjectCollection.
  virtual HRESULT ContainedObjects(ComPtr<IDispatch>* objects) = 0;

 protected:
  ~IHmiPicture() override = default;
};

// The picture's window in the HMI.
class IHmiPictureWindow : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPictureWindow;
  // Puts on the clipboard the image that the selected bitmap object shows
  // now. Fails when no bitmap is selected.
  virtual HRESULT CopyToClipboard() = 0;

 protected:
  ~IHmiPictureWindow() override = default;
};

// A point of a shape (rotation point, centre point, polygon vertex).
class IHmiPoint : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPoint;
  virtual HRESULT X(double* x) = 0;
  virtual HRESULT Y(double* y) = 0;

 protected:
  ~IHmiPoint() override = default;
};

// Geometry common to every shape.
class IHmiGeometry : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiGeometry;
  virtual HRESULT RotationPoint(ComPtr<IHmiPoint>* point) = 0;
  virtual HRESULT CenterPoint(ComPtr<IHmiPoint>* point) = 0;
  // 1 = radians; anything else degrees.
  virtual HRESULT AngleUnit(int32_t* unit) = 0;
  // Logical units.
  virtual HRESULT EdgeWidth(double* width) = 0;

 protected:
  ~IHmiGeometry() override = default;
};

// Static texts and data links.
class IHmiText : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiText;
  virtual HRESULT MaxCharactersPerLine(int32_t* count) = 0;
  virtual HRESULT NumberOfLines(int32_t* count) = 0;
  // Points.
  virtual HRESULT FontSize(int32_t* size) = 0;
  virtual HRESULT Caption(std::string* caption) = 0;
  virtual HRESULT Name(std::string* name) = 0;
  // Logical units.
  virtual HRESULT VerticalPosition(double* y) = 0;
  virtual HRESULT Height(double* height) = 0;

 protected:
  ~IHmiText() override = default;
};

// A source of a data link (one of the data link's contained objects).
class IHmiDataLinkSource : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiDataLinkSource;
  // The display format, e.g. "%5.2f".
  virtual HRESULT Format(std::string* format) = 0;
  virtual HRESULT DataEntry(int16_t* mode) = 0;

 protected:
  ~IHmiDataLinkSource() override = default;
};

// The vertices of a polygon or polyline.
class IHmiPointList : public IDispatch {
 public:
  virtual HRESULT NumberOfPoints(int32_t* count) = 0;
  // Vertex `index`, from 0; DISP_E_BADINDEX outside 0..NumberOfPoints-1.
  virtual HRESULT Point(int32_t index, ComPtr<IHmiPoint>* point) = 0;

 protected:
  ~IHmiPointList() override = default;
};

class IHmiPolygon : public IHmiPointList {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPolygon;

 protected:
  ~IHmiPolygon() override = default;
};

class IHmiPolyline : public IHmiPointList {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPolyline;

 protected:
  ~IHmiPolyline() override = default;
};

// The three defining points of an arc or pie, in logical units.
class IHmiArcPoints : public IDispatch {
 public:
  virtual HRESULT StartX(double* value) = 0;
  virtual HRESULT StartY(double* value) = 0;
  virtual HRESULT CenterX(double* value) = 0;
  virtual HRESULT CenterY(double* value) = 0;
  virtual HRESULT EndX(double* value) = 0;
  virtual HRESULT EndY(double* value) = 0;

 protected:
  ~IHmiArcPoints() override = default;
};

class IHmiArc : public IHmiArcPoints {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiArc;

 protected:
  ~IHmiArc() override = default;
};

class IHmiPie : public IHmiArcPoints {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPie;

 protected:
  ~IHmiPie() override = default;
};

// A bitmap object: a list of images, each with a primary and a secondary
// state; setting the current image or state changes what is drawn.
class IHmiBitmap : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiBitmap;
  virtual HRESULT ImageCount(int32_t* count) = 0;
  // From 1.
  virtual HRESULT CurrentImage(int16_t* image) = 0;
  virtual HRESULT SetCurrentImage(int16_t image) = 0;
  // VARIANT_TRUE (-1) while the secondary state is drawn, else 0.
  virtual HRESULT SecondaryImageDisplayed(int16_t* displayed) = 0;
  virtual HRESULT SetSecondaryImageDisplayed(int16_t displayed) = 0;
  // Selects (-1) or deselects (0) the object in its picture window.
  virtual HRESULT SetSelected(int16_t selected) = 0;

 protected:
  ~IHmiBitmap() override = default;
};

// A trend chart.
class IHmiChart : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiChart;
  // The pens; ask them for IHmiObjectCollection.
  virtual HRESULT Pens(ComPtr<IDispatch>* pens) = 0;
  // 0x00BBGGRR.
  virtual HRESULT ValueGridColor(int32_t* color) = 0;
  virtual HRESULT TimeGridColor(int32_t* color) = 0;

 protected:
  ~IHmiChart() override = default;
};

// A pen of a chart.
class IHmiPen : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiPen;
  // 0x00BBGGRR.
  virtual HRESULT PenLineColor(int32_t* color) = 0;
  virtual HRESULT PenLineWidth(int32_t* width) = 0;
  virtual HRESULT HiLimit(double* limit) = 0;
  virtual HRESULT LoLimit(double* limit) = 0;
  // Position in the chart's pens, from 1.
  virtual HRESULT PenIndex(int32_t* index) = 0;
  virtual HRESULT FullName(std::string* full_name) = 0;

 protected:
  ~IHmiPen() override = default;
};

// An embedded control.
class IHmiOleControl : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiOleControl;
  virtual HRESULT ProgID(std::string* prog_id) = 0;

 protected:
  ~IHmiOleControl() override = default;
};

// A lookup table animation.
class IHmiLookup : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiLookup;
  virtual HRESULT Name(std::string* name) = 0;
  // 0 when the lookup uses the table of the lookup named by SharedTable.
  virtual HRESULT LevelCount(int32_t* count) = 0;
  // Level `index`, from 1: its input (lower or exact) value, output value,
  // second (upper) input value and toggle output value. A value the level
  // does not have is VT_EMPTY. DISP_E_BADINDEX outside 1..LevelCount.
  virtual HRESULT Level(int32_t index, Variant* input, Variant* output, Variant* input2,
                        Variant* toggle_output) = 0;
  // 1 when the levels carry toggle outputs.
  virtual HRESULT OutputToggles(int16_t* toggles) = 0;
  // VARIANT_TRUE for an exact-value table, VARIANT_FALSE for ranges.
  virtual HRESULT ExactMatch(int16_t* exact) = 0;
  virtual HRESULT Tolerance(float* tolerance) = 0;
  // The VT_ type of the source values.
  virtual HRESULT SourceDataType(int32_t* type) = 0;
  virtual HRESULT Source(std::string* source) = 0;
  // Full name of the lookup whose table this one shares (empty when none).
  virtual HRESULT SharedTable(std::string* owner) = 0;

 protected:
  ~IHmiLookup() override = default;
};

// A linear scaling animation.
class IHmiLinear : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiLinear;
  virtual HRESULT Name(std::string* name) = 0;
  // 1 when the outputs are relative to the connected property's current value.
  virtual HRESULT Offset(int32_t* offset) = 0;
  virtual HRESULT SourceDataType(int32_t* type) = 0;

 protected:
  ~IHmiLinear() override = default;
};

// A format animation.
class IHmiFormat : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiFormat;
  virtual HRESULT Name(std::string* name) = 0;
  virtual HRESULT SourceDataType(int32_t* type) = 0;

 protected:
  ~IHmiFormat() override = default;
};

// A system value source (date, time, ...).
class IHmiGlobalSysInfo : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiGlobalSysInfo;
  virtual HRESULT Name(std::string* name) = 0;

 protected:
  ~IHmiGlobalSysInfo() override = default;
};

// The running HMI application.
class IHmiApplication : public IDispatch {
 public:
  static constexpr InterfaceId kIid = InterfaceId::kHmiApplication;
  // The open document called `name` (without regard to case); ask it for
  // IHmiObject. Fails when no open document has that name.
  virtual HRESULT DocumentByName(const std::string& name, ComPtr<IDispatch>* document) = 0;

 protected:
  ~IHmiApplication() override = default;
};

}  // namespace hmi
}  // namespace quillon

#endif  // QUILLON_READER_HMI_AUTOMATION_H_
