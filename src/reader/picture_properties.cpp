// Binding to the picture: its own properties become the page's record, and
// its contents the walk's top-level collection. Also the data links' format
// and data-entry mode.
#include "platform/format.h"
#include "reader/picture_reader.h"
#include "writer/value_mapping.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

HRESULT PictureReader::ReadPictureProperties(hmi::IUnknown* picture) {
  if (picture != nullptr) picture_object_ = ComPtr<hmi::IUnknown>(picture);
  HRESULT hr = picture_object_ ? Query(picture_object_.get(), &picture_interface_) : hmi::E_POINTER;
  if (hmi::Failed(hr)) {
    Report(Text(kResNoPictureInterface));
    ReleasePictureReferences();
    return hr;
  }
  hr = picture_interface_->ContainedObjects(&contained_objects_);
  if (hmi::Failed(hr) || !contained_objects_) {
    Report(Text(kResItemFailed));
    ReleasePictureReferences();
    return hmi::Failed(hr) ? hr : hmi::E_POINTER;
  }
  hr = contained_objects_.As(&top_collection_);
  if (hmi::Failed(hr)) {
    Report(Text(kResNoPictureCollection));
    ReleasePictureReferences();
    return hr;
  }

  // Full names start with the document's name; the page's files are named
  // after the page.
  std::string document_name;
  renames_.clear();
  if (!page_name_.empty() && hmi::Succeeded(picture_interface_->Name(&document_name)) &&
      NameText(document_name) != NameText(page_name_)) {
    renames_.push_back({document_name, NameText(page_name_), std::string()});
  }

  int32_t color = 0xFFFFFF;
  if (hmi::Failed(picture_interface_->BackgroundColor(&color))) {
    color = 0xFFFFFF;
    Report(Text(kResBackgroundFailed), kLogWarning);
  }
  background_color_ = color;
  double height = 75.0, width = 100.0;
  picture_interface_->Height(&height);
  picture_interface_->Width(&width);
  int32_t pixel_width = 0, pixel_height = 0;
  if (hmi::Failed(picture_interface_->LogicalToPixel(width, height, &pixel_width,
                                                     &pixel_height))) {
    Report(Text(kResPixelFailed));
  }
  std::string record = StringF("\tHeight\t%d\tWidth\t%d\tBackgroundColor\t", pixel_height,
                               pixel_width);
  record += ColorToHex(color);
  AppendF(&record, "\tUpdateRate\t%d", update_rate_);
  AddRecord(&picture_map_, "QEV_PIC", "PROPERTIES", record);
  return hmi::S_OK;
}

int PictureReader::ReadDataEntry(hmi::IHmiObject* object, std::string* text,
                                 long characters_per_line, long number_of_lines) {
  text->clear();
  ComPtr<hmi::IDispatch> contained;
  HRESULT hr = object->ContainedObjects(&contained);
  if (hmi::Failed(hr)) return hr;
  ComPtr<hmi::IHmiObjectCollection> sources;
  hr = contained ? contained.As(&sources) : hmi::E_POINTER;
  if (hmi::Failed(hr)) return hr;
  int32_t count = 0;
  hr = sources->Count(&count);
  if (hmi::Failed(hr)) return hr;
  int result = 0;
  for (int32_t i = 1; i <= count; ++i) {
    ComPtr<hmi::IDispatch> item;
    hr = sources->Item(hmi::Variant::I4(i), &item);
    if (hmi::Failed(hr)) return hr;
    ComPtr<hmi::IHmiDataLinkSource> source;
    if (!item || hmi::Failed(item.As(&source))) {
      result = kReadWithWarnings;
      continue;
    }
    std::string format;
    hr = source->Format(&format);
    if (hmi::Failed(hr)) return hr;
    *text += MakeFormatMask(RecordText(format), characters_per_line, number_of_lines);
    int16_t mode = 0;
    hr = source->DataEntry(&mode);
    if (hmi::Succeeded(hr)) AppendF(text, "DataEntry\t%d\t", mode);
    return hr;
  }
  return result;
}

}  // namespace quillon
