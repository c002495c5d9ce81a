// Texts and data links: the display format, the text height from the font
// size, and one record per line for a text of several lines (the viewer
// shows one line per text object). The walk calls the reader once per line.
#include <cctype>
#include <cmath>
#include <string>

#include "platform/format.h"
#include "reader/class_readers.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

constexpr char kPlainFormat[] = "format\t#\t";
constexpr char kTooManyLines[] =
    "The text has %d lines, more than the %d a page can show, and is left out of the web page.";

// Line `wanted` of a caption: lines end at a carriage return or when a line
// holds more than `per_line` characters.
std::string CaptionLine(const std::string& caption, long per_line, long wanted) {
  std::string line;
  long column = 0;
  long number = 0;
  for (char c : caption) {
    ++column;
    if (c == '\r' || column > per_line) {
      ++number;
      column = 1;
    }
    if (number == wanted && c != '\r') line += c;
  }
  return line.empty() ? std::string("\r") : line;
}

// Makes the record of the line the repeat counter points at. Returns 0, or
// -2 after queuing what could not be read.
int MakeLineRecord(PictureReader* reader, hmi::IHmiObject* object, hmi::IHmiText* text, long lines,
                   std::string* record) {
  const long counter = reader->repeat_counter();
  const long taken = counter - 1;
  const long k = lines - counter;
  std::string caption, name;
  double top_logical = 0.0;
  int32_t font_size = 0, per_line = 0;
  const char* failed = hmi::Failed(text->Caption(&caption))                   ? "Caption"
                       : hmi::Failed(text->VerticalPosition(&top_logical))    ? "VerticalPosition"
                       : hmi::Failed(text->FontSize(&font_size))              ? "FontSize"
                       : hmi::Failed(text->Name(&name))                       ? "Name"
                       : hmi::Failed(text->MaxCharactersPerLine(&per_line))   ? "MaxCharactersPerLine"
                       : reader->screen_dpi() <= 0                            ? "GetDC"
                                                                              : nullptr;
  if (failed != nullptr) {
    reader->Warn(failed, kSeveritySevere);
    // The remaining lines cannot be made either: stop repeating.
    reader->set_repeat_counter(0);
    return kReadWithWarnings;
  }
  const long font_pixels = MulDiv(font_size, reader->screen_dpi(), 72);
  const long top = reader->ToPixel(top_logical, false);
  double line_height = static_cast<double>(font_pixels) * 1.2;
  if (line_height - std::floor(line_height) > 0.5) line_height += 1.0;
  const long y = top + static_cast<long>((lines - 1) * line_height) -
                 static_cast<long>(line_height) * k;
  SetRecordProperty(record, "Caption", RecordText(CaptionLine(caption, per_line, taken)), 1);
  SetRecordProperty(record, "Height", std::to_string(font_pixels), 1);
  SetRecordProperty(record, "VerticalPosition", std::to_string(y), 1);
  SetRecordProperty(record, "Name",
                    reader->PageName(object, name) + StringF("l%d", static_cast<int>(k)), 1);
  return 0;
}

}  // namespace

int ReadText(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hr < 0 && hr != kReadWithWarnings) return hr;
  ComPtr<hmi::IHmiText> text;
  if (hmi::Failed(Query(object, &text))) {
    reader->Warn(reader->Text(kResNoTextInterface), kSeverityWarning);
    return kReadWithWarnings;
  }
  int32_t per_line = -1, lines = -1;
  if (hmi::Failed(text->MaxCharactersPerLine(&per_line))) {
    reader->Warn("MaxCharactersPerLine", kSeveritySevere);
    return kReadWithWarnings;
  }
  if (hmi::Failed(text->NumberOfLines(&lines))) {
    reader->Warn("NumberOfLines", kSeveritySevere);
    return kReadWithWarnings;
  }
  if (lines > kMaxTextLines) {
    reader->Warn(StringF(kTooManyLines, static_cast<int>(lines), static_cast<int>(kMaxTextLines)),
                 kSeveritySevere);
    reader->set_repeat_counter(0);
    return -1;
  }
  std::string class_name;
  if (hmi::Failed(object->ClassName(&class_name))) {
    reader->Warn(reader->Text(kResTextClassFailed), kSeverityWarning);
    return -1;
  }
  int data_entry = 0;
  if (EqualsIgnoringCase(class_name, "DataLink")) {
    std::string format;
    data_entry = reader->ReadDataEntry(object, &format, per_line, lines);
    if (data_entry < 0 && data_entry != kReadWithWarnings) {
      reader->Warn(reader->Text(kResDataLinkFormatFailed), kSeverityWarning);
      return kReadWithWarnings;
    }
    if (data_entry == kReadWithWarnings) format = kPlainFormat;
    *record += format;
  } else if (EqualsIgnoringCase(class_name, "Text")) {
    *record += kPlainFormat;
  }

  if (reader->repeat_counter() == 0) reader->set_repeat_counter(lines);
  if (lines > 1 && reader->repeat_counter() > 0) {
    if (MakeLineRecord(reader, object, text.get(), lines, record) != 0) return kReadWithWarnings;
  }
  reader->set_repeat_counter(reader->repeat_counter() - 1);

  int32_t font_size = 0;
  if (hmi::Succeeded(text->FontSize(&font_size)) && reader->screen_dpi() > 0) {
    SetRecordProperty(record, "Height", std::to_string(MulDiv(font_size, reader->screen_dpi(), 72)),
                      1);
  } else {
    double height = 0.0;
    text->Height(&height);
    SetRecordProperty(record, "Height", std::to_string(reader->ToPixel(height, false)), 1);
  }
  return (data_entry == kReadWithWarnings && lines == 1) ? kReadWithWarnings : 0;
}

}  // namespace quillon
