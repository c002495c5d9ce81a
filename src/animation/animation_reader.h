// The animation reader: follows the connections of every shape, variable,
// pen and animation object, and turns each connected animation into an
// animation record of the picture map (Lookup, Linear, Format, system value,
// data item, pen), registered in "ANIM_SEQ".
#ifndef QUILLON_ANIMATION_ANIMATION_READER_H_
#define QUILLON_ANIMATION_ANIMATION_READER_H_

#include <functional>
#include <string>

#include "reader/picture_reader.h"

namespace quillon {

// Resource strings of the animation reader.
enum : int {
  kResSharedTableNotLookup = 40,
  kResSharedTableNotFound = 41,
  kResNoLookup = 63,
  kResNoLinear = 64,
  kResNoFormat = 65,
  kResNoSystemValue = 66,
  kResNoVariable = 67,
  kResNoPen = 68,
  kResPropertyReadFailed = 84,
  kResParentReadFailed = 85,
  kResPenReadFailed = 86,
  kResObjectIdentityFailed = 87,
  kResConnectionFailed = 88,
  kResCompanionFailed = 89,
  kResGroupPositionFailed = 100,
  kResShapeCategory = 133,
  kResAnimationCategory = 135,
};

class AnimationReader : public ConnectionReader {
 public:
  AnimationReader() = default;

  int ReadConnections(PictureReader* reader, hmi::IHmiObject* object) override;
  int ReadVariable(PictureReader* reader, hmi::IHmiObject* variable,
                   const std::string& message_name) override;
  int ReadPen(PictureReader* reader, hmi::IHmiObject* pen, const std::string& extra) override;

  int ReadLookup(PictureReader* reader, hmi::IHmiObject* lookup, hmi::IHmiObject* parent,
                 const std::string& property);
  int ReadLinear(PictureReader* reader, hmi::IHmiObject* linear, hmi::IHmiObject* parent,
                 const std::string& property);
  int ReadFormat(PictureReader* reader, hmi::IHmiObject* format, hmi::IHmiObject* parent,
                 const std::string& property);
  int ReadGlobalSysInfo(PictureReader* reader, hmi::IHmiObject* info, hmi::IHmiObject* parent,
                        const std::string& prefix, const std::string& property);
  int ReadOpcDataItem(PictureReader* reader, hmi::IHmiObject* item, hmi::IHmiObject* parent,
                      const std::string& prefix, const std::string& property);

  // The parent block of an animation record; false when a read failed.
  bool AppendParentInfo(PictureReader* reader, hmi::IHmiObject* animation,
                        hmi::IHmiObject* parent, std::string* text);
  // The scale block, for position, size and rotation targets only.
  void AppendScaleRange(PictureReader* reader, std::string* record, const std::string& property);
  // The group block: a group's position animations are relative to it.
  void AppendGroupScale(PictureReader* reader, std::string* record);
  // Queues `name` and resource string `id` (nothing for -1); returns 1.
  int ReportUnsupported(PictureReader* reader, const std::string& name, int id);
  // Adds the record that animates the other dimension of a uniformly scaled
  // shape whose one dimension `record` animates.
  void AddUniformScaleCompanion(PictureReader* reader, hmi::IHmiObject* parent,
                                const std::string& kind, const std::string& record);

  // The shape whose connections are being read.
  struct ShapeContext {
    std::string property;
    std::string class_name;
    int flag = 0;
  };
  const ShapeContext& shape_context() const { return shape_; }

 private:
  // Starts an animation record: the object's properties, its name and the
  // parent block. 0 when read, else the (reported) result 1.
  int StartRecord(PictureReader* reader, hmi::IHmiObject* object, hmi::IHmiObject* parent,
                  const std::string& property, std::string* record, std::string* name);

  // Changes a line's record before it is registered: (line, line count,
  // font size, record).
  using LineAdjust = std::function<void(int, int, int, std::string*)>;
  enum class LineNames { kKeep, kChain };

  // Registers `record` of `kind` once under `name`, or once per line when
  // `parent` is a text of several lines (under the line's full name; with
  // kChain the record names are name + line numbers, N2, N21, N210).
  // `record` is left as last registered. Returns -2 when the parent's class
  // or lines could not be read (a warning is queued; the record is then
  // registered once), else 0.
  int RegisterLines(PictureReader* reader, hmi::IHmiObject* parent, const std::string& kind,
                    const std::string& name, std::string* record, LineNames names,
                    bool needs_font_size, const LineAdjust& adjust);

  ShapeContext shape_;
};

}  // namespace quillon

#endif  // QUILLON_ANIMATION_ANIMATION_READER_H_
