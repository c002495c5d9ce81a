// The picture reader: binds to a picture through the HMI's automation
// objects, walks every object (recursing into groups) and turns each
// supported one into a property record of the picture map.
#ifndef QUILLON_READER_PICTURE_READER_H_
#define QUILLON_READER_PICTURE_READER_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "driver/conversion_log.h"
#include "expression/process_state.h"
#include "model/picture_map.h"
#include "platform/imaging.h"
#include "reader/hmi/automation.h"
#include "reader/hmi/host.h"

namespace quillon {

class PictureReader;
class Registry;

// Reads one object into `record`: 0 or above read, -2 read with warnings
// (still stored), any other negative value failed (not stored).
using ClassReader = int (*)(PictureReader* reader, hmi::IHmiObject* object, std::string* record);

// Results of a class reader beyond "read".
constexpr int kReadWithWarnings = -2;

// The seam through which the walk hands objects to the animation reader.
// The default reads nothing.
class ConnectionReader {
 public:
  virtual ~ConnectionReader() = default;
  // Reads the animations connected to the properties of `object`.
  virtual int ReadConnections(PictureReader* reader, hmi::IHmiObject* object);
  // Registers an HMI variable (category "Support").
  virtual int ReadVariable(PictureReader* reader, hmi::IHmiObject* object,
                           const std::string& category);
  // Reads a chart pen's data source; `extra` is appended to its record.
  virtual int ReadPen(PictureReader* reader, hmi::IHmiObject* pen, const std::string& extra);
};

// Resource strings of the reader's messages.
enum : int {
  kResCountFailed = 7,
  kResItemFailed = 8,
  kResClassNameFailed = 10,
  kResCategoryFailed = 11,
  kResNameFailed = 12,
  kResPropertyNamesFailed = 13,
  kResPropertyNamesNotList = 14,
  kResLowerBoundFailed = 15,
  kResUpperBoundFailed = 16,
  kResPropertyNameFailed = 17,
  kResGroupMembersFailed = 18,
  kResGroupMembersNotList = 19,
  kResNoTextInterface = 20,
  kResTextClassFailed = 21,
  kResDataLinkFormatFailed = 22,
  kResNoPolygon = 23,
  kResNoPolyline = 24,
  kResNoPictureInterface = 25,
  kResNoPictureCollection = 26,
  kResNoArcOrPie = 34,
  kResCreateDocumentFailed = 71,
  kResNoPictureDirectory = 72,
  kResOpenDocumentFailed = 73,
  kResNoDocumentObject = 74,
  kResLoadDocumentFailed = 75,
  kResNoCollection = 91,
  kResBackgroundFailed = 92,
  kResPixelFailed = 93,
};

// How many levels of groups inside groups the walk follows.
constexpr int kMaxGroupDepth = 64;

// Limits that no real display reaches; an object beyond one is left out of
// the web page with a log line, so that a tiny document cannot make the run
// take unbounded memory or time. Images are limited by ImageSizeAllowed.
constexpr int32_t kMaxTextLines = 1000;     // lines of one text
constexpr int32_t kMaxBitmapImages = 256;   // images of one bitmap

// The degree factor of the HMI: 180 divided by 22/7.
constexpr double kDegreeFactor = 57.27272727272727;

constexpr char kDegrees[] = "Degrees";
constexpr char kRadians[] = "Radians";

class PictureReader {
 public:
  // Reports through `log` (and its services). `connections` may be null:
  // then no animation is read.
  PictureReader(ConversionLog* log, ConnectionReader* connections);
  ~PictureReader();
  PictureReader(const PictureReader&) = delete;
  PictureReader& operator=(const PictureReader&) = delete;

  // Fills the class table from the reader's table of classes.
  void PrepareClassTable();

  // Binds to `picture` (or the picture already kept when null), stores the
  // picture's own record and obtains the top-level collection.
  hmi::HRESULT ReadPictureProperties(hmi::IUnknown* picture);

  // The walk.
  int ReadObjects(hmi::IHmiObjectCollection* collection, const std::string& parent_group);
  int ReadObject(hmi::IHmiObject* object, const std::string& parent_group);
  int ReadGroup(hmi::IHmiObject* object, const std::string& group_name,
                const std::string& parent_group, std::string* record);
  void AddToGroup(const std::string& class_name, const std::string& name,
                  const std::string& group);
  // Releases every automation reference held for the current picture.
  void ReleasePictureReferences();

  // Names on the page. Two objects of a page must not share a name once
  // unsafe characters are replaced (nor by being named alike), and two
  // bitmaps must not share image files: the walk claims each shape's and
  // group's name before reading it, and a name already taken gets "_2",
  // "_3", ... (said in the log). While that object, its members and its
  // animations are read, its names and full names are written renamed.
  //
  // The page's own name (its file name, as `page_name`) stands at the head
  // of every full name in place of the document's name, so that the image
  // files of two pictures with the same document name stay apart.
  void set_page_name(const std::string& page_name) { page_name_ = page_name; }
  // `raw` (a full name as the HMI gives it) as the page writes it.
  std::string PageFullName(const std::string& raw) const;
  // `raw` (the name of `object`, as the HMI gives it) as the page writes it.
  std::string PageName(hmi::IHmiObject* object, const std::string& raw) const;
  // The base of the image file names of a bitmap whose page full name is
  // `full_name`: dots and separators made "_".
  static std::string ImageBaseName(std::string full_name);

  // The generic property reading shared by every class reader.
  hmi::HRESULT ReadProperties(hmi::IHmiObject* object, std::string* record);
  long ToPixel(double value, bool horizontal);
  int ConvertSpecialProperty(const std::string& name, const hmi::Variant& value,
                             std::string* text);
  int ReadRotation(hmi::IHmiObject* object, std::string* text);
  // The kind of conversion ConvertSpecialProperty gives the property `name`:
  // 0 for none.
  static int SpecialKindOf(std::string_view name);
  hmi::HRESULT ApplyThinEdge(hmi::IHmiObject* object, std::string* record);
  hmi::HRESULT ApplyInvisibleEdge(hmi::IHmiObject* object, std::string* record);

  // A data link's format and data-entry pairs.
  int ReadDataEntry(hmi::IHmiObject* object, std::string* text, long characters_per_line,
                    long number_of_lines);

  // Reports `text` in the log at `code` and as the progress status.
  void Report(const std::string& text, int code = kLogError);
  // Queues a warning about the current object.
  void Warn(const std::string& text, int severity) { log_->QueueLine(text, severity); }
  // Resource string `id` of the log's services.
  std::string Text(int id) const { return log_->services().Text(id); }
  const Services& services() const { return log_->services(); }

  PictureMap* picture_map() { return &picture_map_; }
  GroupMap* group_map() { return &group_map_; }
  ConversionLog* log() { return log_; }
  const std::string& angle_unit() const { return angle_unit_; }
  void set_angle_unit(const std::string& unit) { angle_unit_ = unit; }
  int repeat_counter() const { return repeat_counter_; }
  void set_repeat_counter(int count) { repeat_counter_ = count; }
  hmi::IDispatch* current_item() const { return current_item_.get(); }
  int32_t background_color() const { return background_color_; }
  int update_rate() const { return update_rate_; }
  void set_update_rate(int rate) { update_rate_ = rate; }
  // Screen resolution used for font heights, in dots per inch.
  int screen_dpi() const { return screen_dpi_; }
  void set_screen_dpi(int dpi) { screen_dpi_ = dpi; }
  hmi::IHmiObjectCollection* top_collection() const { return top_collection_.get(); }
  hmi::IHmiPicture* picture() const { return picture_interface_.get(); }
  hmi::HmiHost* host() const { return host_; }
  void set_host(hmi::HmiHost* host) { host_ = host; }
  // The clipboard the HMI copies bitmap images to and the writer that saves
  // them (not owned); null gives the process's clipboard and the library's
  // writer.
  void set_imaging(Clipboard* clipboard, ImageWriter* image_writer) {
    clipboard_ = clipboard;
    image_writer_ = image_writer;
  }
  Clipboard* clipboard() const { return clipboard_ != nullptr ? clipboard_ : &SystemClipboard(); }
  ImageWriter* image_writer() const {
    return image_writer_ != nullptr ? image_writer_ : &DefaultImageWriter();
  }
  // The output directory that image files are written to, and whether they
  // are BMP (else JPEG) files.
  void set_image_output(const std::string& directory, bool bmp) {
    image_directory_ = directory;
    output_bmp_ = bmp;
  }
  const std::string& image_directory() const { return image_directory_; }
  bool output_bmp() const { return output_bmp_; }
  // Whether the bitmaps' image files are made: not when the pictures are
  // only read (a run that writes logs only).
  void set_write_images(bool write) { write_images_ = write; }
  bool write_images() const { return write_images_; }
  // The settings, where the HMI's picture directory is found.
  Registry* registry() const { return registry_; }
  void set_registry(Registry* registry) { registry_ = registry; }
  // The numbers and answers shared by every conversion of the process.
  ProcessState* process_state() const { return process_state_; }
  void set_process_state(ProcessState* state) { process_state_ = state; }
  // Called with the picture and group maps after each object at the picture's top
  // level (its members and animations read); null for none.
  void set_object_read(std::function<void(const PictureMap&, const GroupMap&)> call) {
    object_read_ = std::move(call);
  }

  // Finds the object that `reference` (document name, ".", object) names in
  // another HMI document: first among the running HMI's open documents,
  // then in the document file in the picture directory. 0 with *object set
  // when found; otherwise *object is null and the result is the last
  // status (1 when the picture directory cannot be read).
  int FindExternalObject(const std::string& reference, hmi::ComPtr<hmi::IHmiObject>* object);
  // Releases the document file loaded by FindExternalObject.
  void ReleaseExternalDocument();
  const std::map<std::string, ClassReader>& class_table() const { return class_table_; }
  ConnectionReader* connections() const { return connections_; }

  // References the run holds for the opened picture document, released by
  // ReleasePictureReferences in this order.
  struct DocumentReferences {
    hmi::ComPtr<hmi::IOleObject> ole_object;
    hmi::ComPtr<hmi::IPersistStorage> persist_storage;
    hmi::ComPtr<hmi::IStorage> storage;
    hmi::ComPtr<hmi::IHmiObject> animation_shape;
    hmi::ComPtr<hmi::IDispatch> document_dispatch;
  };
  DocumentReferences* document() { return &document_; }

 private:
  // Reads a group's members when the nesting allows it.
  int ReadGroupMembers(hmi::IHmiObject* object, const std::string& group_name);
  // Makes *name (a shape's or group's safe name) unique on the page, see
  // set_page_name; a new name is kept in renames_ until the caller drops it.
  void ClaimPageName(hmi::IHmiObject* object, bool bitmap, std::string* name);

  // A full name (as the HMI gives it, and every full name below it) and the
  // full name and name the page writes for it.
  struct Rename {
    std::string raw_full;
    std::string full;
    std::string name;
  };
  std::vector<Rename> renames_;

  // The names of a property list as ReadProperties uses them, worked out
  // once per name array that the HMI hands out (an object whose names are
  // those of another may hand out the same, unchangeable, array).
  struct PropertyName {
    std::string text;    // as it stands in a record
    std::string key;     // text and the TAB after it, as a record's pair starts
    int special = 0;     // SpecialKindOf(text)
    int role = 0;        // kPlainName, kObjectName or kFullName
  };
  enum : int { kPlainName = 0, kObjectName = 1, kFullName = 2 };
  using PropertyNames = std::vector<PropertyName>;
  // The names of `names` (a property name array); null, after reporting,
  // when it is not a list of texts or cannot be read whole.
  std::shared_ptr<const PropertyNames> PropertyNamesOf(const hmi::Variant& names);
  // Appends the rotation block of an object whose geometry is `geometry`
  // (see ReadRotation) to *out.
  int AppendRotation(hmi::IHmiGeometry* geometry, std::string* out);
  // ConvertSpecialProperty for a property whose kind is known.
  int ConvertSpecial(int kind, const std::string& name, const hmi::Variant& value,
                     std::string* text);
  struct NameList {
    std::shared_ptr<const hmi::SafeArray> array;  // kept, so that its address is not reused
    std::shared_ptr<const PropertyNames> names;
  };
  static constexpr size_t kMaxNameLists = 256;
  std::string record_buffer_;  // ReadProperties builds its record here
  std::unordered_map<const hmi::SafeArray*, NameList> name_lists_;

  // Names of the page's shapes and groups, and image file name bases of its
  // bitmaps: only asked whether they hold a name (maps used as sets: one
  // probe of a flat index per name rather than a node allocated for each).
  OrderedMap page_names_;
  OrderedMap image_bases_;
  std::string page_name_;

  ConversionLog* log_;
  ConnectionReader* connections_;
  hmi::HmiHost* host_ = nullptr;
  Clipboard* clipboard_ = nullptr;
  ImageWriter* image_writer_ = nullptr;
  std::string image_directory_;
  bool output_bmp_ = false;
  bool write_images_ = true;
  Registry* registry_ = nullptr;
  std::function<void(const PictureMap&, const GroupMap&)> object_read_;
  ProcessState* process_state_ = nullptr;
  // A document file loaded for an external reference.
  struct ExternalDocument {
    hmi::ComPtr<hmi::IStorage> storage;
    hmi::ComPtr<hmi::IOleObject> ole_object;
    hmi::ComPtr<hmi::IPersistStorage> persist_storage;
    hmi::ComPtr<hmi::IDispatch> dispatch;
    hmi::ComPtr<hmi::IHmiObject> object;
  };
  ExternalDocument external_;
  PictureMap picture_map_;
  GroupMap group_map_;
  std::unordered_map<std::string, std::string> group_keys_;  // group name -> its key
  std::map<std::string, ClassReader> class_table_;
  std::string angle_unit_ = kDegrees;
  int repeat_counter_ = 0;
  int group_depth_ = 0;
  hmi::ComPtr<hmi::IDispatch> current_item_;
  int32_t background_color_ = 0xFFFFFF;
  int update_rate_ = 2;
  int screen_dpi_ = 96;
  DocumentReferences document_;
  hmi::ComPtr<hmi::IUnknown> picture_object_;
  hmi::ComPtr<hmi::IHmiPicture> picture_interface_;
  hmi::ComPtr<hmi::IDispatch> contained_objects_;
  hmi::ComPtr<hmi::IHmiObjectCollection> top_collection_;
};

// Text as it may stand in a record: a TAB would split the record, so it
// becomes a blank.
std::string RecordText(std::string text);

// An object's name (or full name) as it may stand in the page description,
// where names are separated by blanks and lists by parentheses: a blank,
// parenthesis, quote, apostrophe, TAB, CR, LF or NUL inside it becomes "_",
// and so does "#", which marks groups in the group map; an empty name is "_".
std::string NameText(std::string text);

// Formats a value for a record (offset added to numbers); an empty text
// becomes one blank.
int FormatValue(const hmi::Variant& value, float offset, std::string* text);
// Appends what FormatValue gives for `value` to *out.
void AppendValue(const hmi::Variant& value, float offset, std::string* out);

// Rounds to the nearest integer, halves away from zero: a * b / c.
long MulDiv(long a, long b, long c);

// The angle (degrees, counter-clockwise, y growing downward) and quadrant
// of a point seen from a centre.
void PointAngle(double cx, double cy, double px, double py, double* angle, int* quadrant);
// The centre of the circle through three points.
void CircleCentre(double x1, double y1, double x2, double y2, double x3, double y3, double* x,
                  double* y);

}  // namespace quillon

#endif  // QUILLON_READER_PICTURE_READER_H_
