// Bitmaps: the viewer cannot read the HMI's bitmaps, so every image of a
// bitmap is drawn by the HMI in its primary and its secondary state, copied
// through the clipboard and saved as a BMP or JPEG file of the output
// directory; the record names the extension of those files.
#include <cstdio>

#include "driver/progress_window.h"
#include "platform/format.h"
#include "platform/imaging.h"
#include "platform/text_file.h"
#include "reader/class_readers.h"
#include "reader/picture_reader.h"
#include "writer/page_writer.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

// Resource strings of the bitmap's messages.
enum : int {
  kResNoBitmap = 35,
  kResNoPictureWindow = 36,
  kResImageNotSaved = 37,
  kResNoClipboardImage = 38,
  kResNotDeselected = 39,
  kResImageFilesMade = 99,
};

constexpr char kCreatedImageFile[] = "Created image file ";
constexpr char kCopyToClipboard[] = "Copy to Clipboard";
constexpr char kCurrentImage[] = "CurrentImage";
constexpr char kSecondaryImage[] = "SecondaryImageDisplayed";
constexpr char kTooManyImages[] =
    "The bitmap has %d images, more than the %d a bitmap can show, and is left out of the web "
    "page.";
constexpr char kImageNotMade[] = "An image of the bitmap could not be made (%s); the bitmap is "
                                 "left out of the web page.";

// CreateImageFiles: the bitmap lies beyond a limit and is left out.
constexpr int kLeftOut = -1;

// `text` followed by the HMI's reason in parentheses, when it gave one.
std::string WithCause(const std::string& text) {
  const std::string cause = hmi::TakeErrorInfo();
  return cause.empty() ? text : text + " (" + cause + ")";
}

const char* Extension(bool bmp) { return bmp ? ".BMP" : ".JPG"; }

// The image state of a bitmap as it was before the export began.
struct ImageState {
  int16_t image = 0;
  int16_t secondary = 0;
};

// Puts the kept image state back; a failure queues a warning naming the
// property. True when both were set.
bool RestoreState(PictureReader* reader, hmi::IHmiBitmap* bitmap, const ImageState& kept) {
  bool restored = true;
  if (hmi::Failed(bitmap->SetCurrentImage(kept.image))) {
    reader->Warn(kCurrentImage, kSeveritySevere);
    restored = false;
  }
  if (hmi::Failed(bitmap->SetSecondaryImageDisplayed(kept.secondary))) {
    reader->Warn(kSecondaryImage, kSeveritySevere);
    restored = false;
  }
  return restored;
}

// Shows `status`, lets pending window messages run, and reports a cancel.
bool CancelledWhilePumping(PictureReader* reader, const char* status) {
  if (status != nullptr) reader->services().Status(status);
  if (reader->services().progress != nullptr) reader->services().progress->PumpMessages();
  if (!reader->services().Cancelled()) return false;
  reader->Report(reader->Text(kResCancelled));
  return true;
}

}  // namespace

int CreateImageFiles(PictureReader* reader, hmi::IHmiObject* object, std::string* list) {
  ComPtr<hmi::IHmiBitmap> bitmap;
  if (hmi::Failed(Query(object, &bitmap))) {
    reader->Warn(reader->Text(kResNoBitmap), kSeverityWarning);
    return 0;
  }
  ComPtr<hmi::IHmiPictureWindow> window;
  if (hmi::Failed(Query(reader->picture(), &window))) {
    reader->Warn(reader->Text(kResNoPictureWindow), kSeverityWarning);
    return 0;
  }
  int32_t count = 0;
  if (hmi::Failed(bitmap->ImageCount(&count))) {
    reader->Warn("ImageCount", kSeveritySevere);
    return 0;
  }
  if (count > kMaxBitmapImages) {
    reader->Warn(StringF(kTooManyImages, static_cast<int>(count),
                         static_cast<int>(kMaxBitmapImages)),
                 kSeveritySevere);
    return kLeftOut;
  }
  if (hmi::Failed(bitmap->SetSelected(-1))) {
    reader->Warn("SelectObject", kSeveritySevere);
    return 0;
  }

  std::string full_name;
  if (hmi::Failed(object->FullyQualifiedName(&full_name))) {
    reader->Warn("FullyQualifiedName", kSeveritySevere);
    return 0;
  }
  // Named as the page names it: the full name as the record holds it.
  const std::string base_name = PictureReader::ImageBaseName(reader->PageFullName(full_name));
  ImageState kept;
  if (hmi::Failed(bitmap->CurrentImage(&kept.image))) {
    reader->Warn(kCurrentImage, kSeveritySevere);
    return 0;
  }
  if (hmi::Failed(bitmap->SecondaryImageDisplayed(&kept.secondary))) {
    reader->Warn(kSecondaryImage, kSeveritySevere);
    return 0;
  }

  const bool bmp = reader->output_bmp();
  const int format = bmp ? kImageFormatBmp : kImageFormatJpeg;
  const int quality = bmp ? kBmpQualityFactor : kJpegQualityFactor;
  Clipboard* clipboard = reader->clipboard();
  ImageWriter* writer = reader->image_writer();
  // Image numbers are 16-bit in the HMI.
  const int32_t last = count > 32767 ? 32767 : count;
  for (int32_t i = 1; i <= last; ++i) {
    if (CancelledWhilePumping(reader, kStatusCreatingImages)) return 0;
    // Without the image drawn, or without knowing its state, the files
    // would show the wrong image: give up like a failed copy.
    if (hmi::Failed(bitmap->SetCurrentImage(static_cast<int16_t>(i)))) {
      RestoreState(reader, bitmap.get(), kept);
      reader->Warn(kCurrentImage, kSeveritySevere);
      return 0;
    }
    int16_t image_secondary = 0;
    if (hmi::Failed(bitmap->SecondaryImageDisplayed(&image_secondary))) {
      RestoreState(reader, bitmap.get(), kept);
      reader->Warn(kSecondaryImage, kSeveritySevere);
      return 0;
    }
    for (int16_t state : {int16_t{0}, int16_t{-1}}) {
      if (CancelledWhilePumping(reader, nullptr)) return 0;
      if (hmi::Failed(bitmap->SetSecondaryImageDisplayed(state))) {
        RestoreState(reader, bitmap.get(), kept);
        reader->Warn(kSecondaryImage, kSeveritySevere);
        return 0;
      }
      hmi::TakeErrorInfo();
      const HRESULT copied = window->CopyToClipboard();
      if (copied == hmi::E_OUTOFMEMORY) {
        RestoreState(reader, bitmap.get(), kept);
        reader->Warn(StringF(kImageNotMade, hmi::TakeErrorInfo().c_str()), kSeveritySevere);
        return kLeftOut;
      }
      if (hmi::Failed(copied)) {
        RestoreState(reader, bitmap.get(), kept);
        reader->Warn(kCopyToClipboard, kSeverityWarning);
        return 0;
      }
      if (writer->ClipboardHasImage(*clipboard) == 0) {
        RestoreState(reader, bitmap.get(), kept);
        reader->Warn(WithCause(reader->Text(kResNoClipboardImage)), kSeverityWarning);
        return 0;
      }
      RgbImage image;
      if (writer->TakeClipboardImage(*clipboard, &image) != 1) continue;
      if (!ImageSizeAllowed(image.width, image.height)) {
        RestoreState(reader, bitmap.get(), kept);
        reader->Warn(StringF(kImageNotMade, ImageTooLargeText(image.width, image.height).c_str()),
                     kSeveritySevere);
        return kLeftOut;
      }
      const std::string path =
          JoinPath(reader->image_directory(),
                   StringF(state == 0 ? "%s_P%d" : "%s_S%d", base_name.c_str(), i)) +
          Extension(bmp);
      if (writer->SaveImage(path, image, format, kImageBitsPerPixel, quality) != 1) {
        // Only files that exist are listed.
        reader->Warn(reader->Text(kResImageNotSaved), kSeveritySevere);
        continue;
      }
      *list += path + "\r\n";
      reader->services().Status(kCreatedImageFile + path);
    }
    if (hmi::Failed(bitmap->SetSecondaryImageDisplayed(image_secondary))) {
      reader->Warn(kSecondaryImage, kSeveritySevere);
      return 0;
    }
  }

  if (!RestoreState(reader, bitmap.get(), kept)) return 0;
  if (hmi::Failed(bitmap->SetSelected(0))) {
    reader->Warn(reader->Text(kResNotDeselected), kSeverityWarning);
    return 0;
  }
  return 1;
}

int ReadBitmap(PictureReader* reader, hmi::IHmiObject* object, std::string* record) {
  const HRESULT result = reader->ReadProperties(object, record);
  if (hmi::Failed(result) && result != kReadWithWarnings) return result;
  std::string list;
  if (reader->write_images() && CreateImageFiles(reader, object, &list) == kLeftOut) {
    // The files of the images made before are not wanted either.
    for (size_t start = 0; start < list.size();) {
      size_t end = list.find("\r\n", start);
      if (end == std::string::npos) end = list.size();
      std::remove(list.substr(start, end - start).c_str());
      start = end + 2;
    }
    return -1;
  }
  if (!list.empty()) {
    std::string name;
    HRESULT hr = object->Name(&name);
    if (hmi::Failed(hr)) {
      reader->Report(reader->Text(kResClassNameFailed));
      return hr;
    }
    reader->Report(reader->services().Text(kResImageFilesMade, {RecordText(name)}), kLogPlain);
    reader->log()->WriteLogLine(list, kLogPlain);
  }
  if (!record->empty() && record->back() != '\t') *record += "\t";
  *record += std::string("FileExt\t") + Extension(reader->output_bmp()) + "\t";
  return result;
}

}  // namespace quillon
