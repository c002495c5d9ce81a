// Embedded controls: recognising the alarm summary and the command button
// among the "OleObject"s, reading them, the column order of an alarm
// summary and the alarm text link that binds it to the alarm history.
#include <cctype>

#include "platform/format.h"
#include "reader/class_readers.h"
#include "reader/picture_reader.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

// Resource strings of the controls' messages and column headings.
enum : int {
  kResNoEmitterText = 61,
  kResNoEmitterEndText = 62,
  kResCanonicalTime = 111,
  kResCanonicalDate = 112,
};

constexpr char kAlarmSummaryClass[] = "AlarmSummary";
constexpr char kCommandButtonClass[] = "CommandButton";
constexpr char kAlarmTextLinkClass[] = "AlarmTextLink";
constexpr char kAlarmHistorySource[] = "ALARMHISTORY.A_CV";
constexpr char kColumnHeadingsMethod[] = "GetColHeadings";

// A heading as the alarm summary reports it (either of two resource
// strings; 0 when there is only one), its canonical heading and its column.
struct HeadingRow {
  int reported;
  int reported_also;
  int canonical;
  long column;
};

// Compared in this order.
constexpr HeadingRow kHeadings[] = {
    {120, 129, 111, 1}, {121, 130, 112, 0}, {132, 0, 131, 2}, {123, 0, 114, 4}, {124, 0, 115, 5},
    {122, 0, 113, 3},   {125, 0, 116, 6},   {126, 0, 117, 7}, {127, 0, 118, 8}, {128, 0, 119, 9},
};

// The "order" value of an alarm summary from its headings text (each
// heading followed by ";"): the column of every known heading in turn, the
// time and date columns once each.
std::string ColumnOrder(PictureReader* reader, const std::string& headings) {
  const std::string time = reader->Text(kResCanonicalTime);
  const std::string date = reader->Text(kResCanonicalDate);
  std::string order = "(";
  std::string rest = headings;
  size_t end = rest.find(';');
  while (end != std::string::npos && end > 0) {
    std::string heading = rest.substr(0, end);
    long column = 0;
    if (MapColumnHeading(reader, &heading, &column) != 0) {
      const bool is_time = EqualsIgnoringCase(heading, time);
      const bool is_date = EqualsIgnoringCase(heading, date);
      if ((!is_time && !is_date) || (is_time && order.find('1') == std::string::npos) ||
          (is_date && order.find('0') == std::string::npos)) {
        AppendF(&order, " %ld", column);
      }
    }
    rest = rest.substr(end + 1);
    end = rest.find(';');
  }
  return order + ")";
}

}  // namespace

void IdentifyControl(PictureReader* reader, hmi::IHmiObject* object, std::string* class_name) {
  ComPtr<hmi::IHmiOleControl> control;
  std::string prog_id;
  if (hmi::Failed(Query(object, &control)) || hmi::Failed(control->ProgID(&prog_id))) {
    reader->Report(reader->Text(kResNoCollection));
    return;
  }
  std::string class_id;
  if (reader->host() == nullptr ||
      hmi::Failed(reader->host()->ClassIdFromProgId(prog_id, &class_id))) {
    return;
  }
  if (hmi::SameGuid(class_id, hmi::kAlarmSummaryClassId)) {
    *class_name = kAlarmSummaryClass;
  } else if (hmi::SameGuid(class_id, hmi::kCommandButtonClassId)) {
    *class_name = kCommandButtonClass;
  }
}

int MapColumnHeading(PictureReader* reader, std::string* heading, long* column) {
  for (const HeadingRow& row : kHeadings) {
    if (EqualsIgnoringCase(*heading, reader->Text(row.reported)) ||
        (row.reported_also != 0 &&
         EqualsIgnoringCase(*heading, reader->Text(row.reported_also)))) {
      *heading = reader->Text(row.canonical);
      *column = row.column;
      return 1;
    }
  }
  return 0;
}

int AddAlarmTextLink(PictureReader* reader, const std::string& record) {
  PropertyMap properties;
  ParseRecord(record, &properties);
  const std::string* full_name = properties.Find("FullyQualifiedName");
  const std::string* name = properties.Find("Name");
  if (full_name == nullptr || name == nullptr) {
    const std::string* known = name != nullptr ? name : full_name;
    reader->Report(
        reader->services().Text(kResNoEmitterText, {kAlarmTextLinkClass, known ? *known : ""}) +
        reader->Text(kResNoEmitterEndText));
    return kReadWithWarnings;
  }
  const std::string link =
      StringF("FullyQualifiedName\t%s\tName\t%s\tClassName\t%s\tSource\t%s", full_name->c_str(),
              name->c_str(), kAlarmTextLinkClass, kAlarmHistorySource);
  AddRecord(reader->picture_map(), kAlarmTextLinkClass, *name, link);
  AppendToSequence(reader->picture_map(), kAlarmTextLinkClass, *name, kAnimationSequence);
  return 1;
}

int ReadCommandButton(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  SetRecordProperty(record, "ClassName", kCommandButtonClass, 1);
  return hr;
}

int ReadAlarmSummary(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  const HRESULT read = reader->ReadProperties(object, record);
  if (hmi::Succeeded(read)) SetRecordProperty(record, "ClassName", kAlarmSummaryClass, 1);
  HRESULT result = read;
  hmi::IDispatch* item = reader->current_item();
  if (item != nullptr) {
    hmi::DISPID dispid = 0;
    result = item->GetIDsOfNames(kColumnHeadingsMethod, hmi::kLocaleSystemDefault, &dispid);
    if (hmi::Succeeded(result)) {
      hmi::Variant headings;
      std::vector<hmi::Variant> args = {
          hmi::Variant::ByRef(hmi::VT_BYREF | hmi::VT_BSTR, &headings)};
      result = item->Invoke(dispid, hmi::kLocaleSystemDefault, hmi::DISPATCH_METHOD, args, nullptr);
      if (hmi::Succeeded(result)) {
        const std::string text = headings.vt() == hmi::VT_BSTR ? headings.bstr() : std::string();
        SetRecordProperty(record, "order", ColumnOrder(reader, RecordText(text)), 1);
      }
    }
    if (hmi::Failed(result)) reader->Report(reader->Text(kResItemFailed));
  }
  AddAlarmTextLink(reader, *record);
  // A record whose properties could not be read stays unread, whatever the
  // headings gave: it has no name to be stored under.
  if (hmi::Failed(read) && read != kReadWithWarnings) return read;
  return result;
}

}  // namespace quillon
