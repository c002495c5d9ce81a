// Trend charts: the pens' colours and widths, pen 1's value limits, the grid
// and label colours and the axis divisions that the viewer's chart needs; a
// transparent chart takes the picture's background colour, and every pen
// goes to the animation reader with pen 1's limits.
#include "platform/format.h"
#include "reader/class_readers.h"
#include "reader/picture_reader.h"
#include "writer/value_mapping.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

// Resource strings of the chart's warnings.
enum : int {
  kResNoChart = 27,
  kResPensNotList = 28,
  kResPenCountFailed = 29,
  kResPenFailed = 30,
  kResNoPen = 31,
};

// The colour of a grid that cannot be read.
constexpr long kDefaultGridColor = 35723;

// The axis counts, in the order they are read.
constexpr const char* kAxisProperties[] = {"TimeAxisNumLabels", "TimeAxisNumTicks",
                                           "ValueAxisNumLabels", "ValueAxisNumTicks"};

// A grid colour as the chart reports it, or the default when it cannot.
long GridColor(hmi::IHmiChart* chart, HRESULT (hmi::IHmiChart::*getter)(int32_t*)) {
  int32_t color = 0;
  if (hmi::Failed((chart->*getter)(&color))) return kDefaultGridColor;
  return static_cast<long>(color);
}

// Appends `text` to a record, keeping one TAB between pairs.
void AppendToRecord(std::string* record, const std::string& text) {
  if (text.empty()) return;
  if (!record->empty() && record->back() != '\t') *record += "\t";
  *record += text;
}

}  // namespace

HRESULT ReadPens(PictureReader* reader, hmi::IHmiObject* object, std::string* text) {
  text->clear();
  ComPtr<hmi::IHmiChart> chart;
  HRESULT hr = Query(object, &chart);
  if (hmi::Failed(hr)) {
    reader->Warn(reader->Text(kResNoChart), kSeverityWarning);
    return hr;
  }
  ComPtr<hmi::IDispatch> pens_dispatch;
  hr = chart->Pens(&pens_dispatch);
  if (hmi::Succeeded(hr) && !pens_dispatch) hr = hmi::E_POINTER;
  if (hmi::Failed(hr)) {
    reader->Warn("Pens", kSeveritySevere);
    return hr;
  }
  ComPtr<hmi::IHmiObjectCollection> pens;
  hr = pens_dispatch.As(&pens);
  if (hmi::Failed(hr)) {
    reader->Warn(reader->Text(kResPensNotList), kSeverityWarning);
    return hr;
  }
  int32_t count = 0;
  hr = pens->Count(&count);
  if (hmi::Failed(hr)) {
    reader->Warn(reader->Text(kResPenCountFailed), kSeverityWarning);
    return hr;
  }

  std::string pen_text = "pens\t(";
  std::string limits, grid_colors, label_colors, hi, lo;
  // Any failure inside the loop leaves no text.
  auto give_up = [text](HRESULT failure) {
    text->clear();
    return failure;
  };
  for (int32_t i = 1; i <= count; ++i) {
    ComPtr<hmi::IDispatch> item;
    hr = pens->Item(hmi::Variant::I4(i), &item);
    if (hmi::Succeeded(hr) && !item) hr = hmi::E_POINTER;
    if (hmi::Failed(hr)) {
      reader->Warn(reader->Text(kResPenFailed), kSeverityWarning);
      return give_up(hr);
    }
    ComPtr<hmi::IHmiPen> pen;
    hr = item.As(&pen);
    if (hmi::Failed(hr)) {
      reader->Warn(reader->Text(kResNoPen), kSeverityWarning);
      return give_up(hr);
    }
    int32_t color = 0;
    hr = pen->PenLineColor(&color);
    if (hmi::Failed(hr)) {
      reader->Warn("PenLineColor", kSeveritySevere);
      return give_up(hr);
    }
    const std::string color_text = ColorToHex(color);
    pen_text += "(" + color_text + " ";
    if (i == 1) {
      label_colors = StringF("timeLabelColor\t%s\tvalueLabelColor\t%s\t", color_text.c_str(),
                             color_text.c_str());
    }
    int32_t width = 0;
    hr = pen->PenLineWidth(&width);
    if (hmi::Failed(hr)) {
      reader->Warn("PenLineWidth", kSeveritySevere);
      return give_up(hr);
    }
    AppendF(&pen_text, "%ld)", static_cast<long>(width));
    if (i == 1) {
      double hi_limit = 0.0, lo_limit = 0.0;
      hr = pen->HiLimit(&hi_limit);
      if (hmi::Failed(hr)) {
        reader->Warn("HiLimit", kSeveritySevere);
        return give_up(hr);
      }
      hr = pen->LoLimit(&lo_limit);
      if (hmi::Failed(hr)) {
        reader->Warn("LoLimit", kSeveritySevere);
        return give_up(hr);
      }
      hi = StringF("%7.1f", hi_limit);
      lo = StringF("%7.1f", lo_limit);
      limits = "HiLimit\t" + hi + "\tLoLimit\t" + lo + "\t";
      const long value_color = GridColor(chart.get(), &hmi::IHmiChart::ValueGridColor);
      const long time_color = GridColor(chart.get(), &hmi::IHmiChart::TimeGridColor);
      grid_colors = StringF(
          "majorValueDivColor\t%ld\tminorValueDivColor\t%ld\tminorTimeDivColor\t%ld\t"
          "majorTimeDivColor\t%ld\t",
          value_color, value_color, time_color, time_color);
    }
    ComPtr<hmi::IHmiObject> pen_object;
    if (reader->connections() != nullptr && hmi::Succeeded(item.As(&pen_object))) {
      const std::string hand_over = "\tHiOutValue\t" + hi + "\tLoOutValue\t" + lo +
                                    StringF("\tPenIndex\t%ld", static_cast<long>(i - 1));
      reader->connections()->ReadPen(reader, pen_object.get(), hand_over);
    }
  }
  *text = pen_text + ")\t" + limits + grid_colors + label_colors;
  return hmi::S_OK;
}

HRESULT ReadAxes(PictureReader* reader, hmi::IHmiObject* object, std::string* text) {
  text->clear();
  int16_t counts[4] = {};
  for (size_t i = 0; i < 4; ++i) {
    hmi::Variant value, number;
    HRESULT hr = object->PropertyValue(kAxisProperties[i], &value);
    if (hmi::Succeeded(hr)) hr = hmi::ChangeType(value, hmi::VT_I2, &number);
    if (hmi::Failed(hr)) {
      reader->Warn(kAxisProperties[i], kSeveritySevere);
      return hr;
    }
    counts[i] = number.i2();
  }
  // The tick counts do not reach the viewer: one division per label.
  *text =
      StringF("timeDivsPerLabel\t1\tmajorTimeDivs\t%d\tvalueDivsPerLabel\t1\tmajorValueDivs\t%d\t",
              counts[0], counts[2] - 1);
  return hmi::S_OK;
}

int ReadChart(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  HRESULT hr = reader->ReadProperties(object, record);
  if (hmi::Failed(hr) && hr != kReadWithWarnings) return hr;
  std::string text;
  if (hmi::Succeeded(ReadPens(reader, object, &text))) {
    AppendToRecord(record, text);
    if (hmi::Succeeded(ReadAxes(reader, object, &text))) AppendToRecord(record, text);
  }
  hmi::Variant transparent;
  hr = object->PropertyValue("Transparent", &transparent);
  if (hmi::Failed(hr)) {
    reader->Warn("Transparency", kSeveritySevere);
    return hr;
  }
  hmi::Variant flag;
  if (hmi::Succeeded(hmi::ChangeType(transparent, hmi::VT_I4, &flag)) && flag.i4() != 0) {
    const std::string background = StringF("%ld", static_cast<long>(reader->background_color()));
    SetRecordProperty(record, "ForegroundColor", background, 1);
    SetRecordProperty(record, "BackgroundColor", background, 1);
  }
  return hr;
}

}  // namespace quillon
