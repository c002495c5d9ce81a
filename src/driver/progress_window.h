// The progress window: shows the step a conversion is at and offers Cancel.
// One instance serves the whole library; conversions must not overlap.
#ifndef QUILLON_DRIVER_PROGRESS_WINDOW_H_
#define QUILLON_DRIVER_PROGRESS_WINDOW_H_

#include <cstdint>
#include <string>

namespace quillon {

class Ui;
class Resources;

// Status texts of the progress window.
constexpr char kStatusReadingObjects[] = "Reading objects for conversion...";
constexpr char kStatusConvertingObject[] = "Converting object ...";
constexpr char kStatusConvertingAnimation[] = "Converting animation for the object ...";
// Set for every object written to the page description.
constexpr char kStatusWritingObject[] = "Writing object ...";
constexpr char kStatusCreatingImages[] = "Creating image files...";
constexpr char kStatusTranslating[] = "Translating Objects...";
constexpr char kStatusConversionOver[] = "Conversion is Over";
constexpr char kStatusAborting[] = "Aborting Conversion...";

class CFileConvDlg {
 public:
  CFileConvDlg() = default;
  CFileConvDlg(Ui* ui, const Resources* resources) : ui_(ui), resources_(resources) {}

  // Sets the user interface and resources the window is shown through.
  void Bind(Ui* ui, const Resources* resources) {
    ui_ = ui;
    resources_ = resources;
  }

  // Creates the window (dialog 8100) without a parent; clears the cancel flag.
  void ShowProgress();
  // Shows `text` in the status control while the window exists.
  void SetStatus(const std::string& text);
  // Lets the user interface handle what is waiting. Returns 0 when the
  // application is quitting (the quit request is put back), else 1.
  int PumpMessages();
  // The Cancel button: sets the cancel flag and destroys the window.
  void OnCancel();
  // Closes the window through the Cancel handler, so the flag is set too.
  void CloseProgress() { OnCancel(); }

  // 1 after the user cancelled (or the window was closed), else 0.
  int32_t cancel_flag() const { return cancel_flag_; }
  bool cancelled() const { return cancel_flag_ == 1; }
  bool is_open() const { return open_; }

 private:
  Ui* ui_ = nullptr;
  const Resources* resources_ = nullptr;
  bool open_ = false;
  int32_t cancel_flag_ = 0;
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_PROGRESS_WINDOW_H_
