// The picture converter: turns HMI display pictures into web pages (a page
// description for the browser viewer, an HTML page, image files and a log).
#ifndef QUILLON_QUILLON_H_
#define QUILLON_QUILLON_H_

#include <cstdint>
#include <string>
#include <vector>

#define QUILLON_EXPORT __attribute__((visibility("default")))

namespace quillon {

// Window message number with which every log line reaches the log window.
constexpr unsigned kLogLineMessage = 1123;

// A window of the host that mirrors the conversion log. Every log line is
// handed to it synchronously, as it is written, on the converting thread;
// the receiver must not block waiting for that thread.
class QUILLON_EXPORT LogWindow {
 public:
  virtual ~LogWindow();
  // `message` is kLogLineMessage, `wparam` 0, and `line` the text of the
  // line as written (prefix and line end included); it is valid only
  // during the call.
  virtual void SendLogMessage(unsigned message, unsigned long wparam,
                              const std::string& line) = 0;
};

class Ui;
class Registry;
class Clipboard;
class ImageWriter;
namespace hmi {
class HmiHost;
class Variant;
}  // namespace hmi

// The services a host hands the converter (see the project's headers for the
// interfaces). A member left null is replaced by the library's default: the
// console user interface, the registry file, the picture-document HMI, the
// process's clipboard and the library's BMP/JPEG image writer. The HMI copies
// bitmap images to `clipboard`, so a host that gives its own HMI gives it
// the same clipboard.
struct Platform {
  Ui* ui = nullptr;
  Registry* registry = nullptr;
  hmi::HmiHost* hmi = nullptr;
  Clipboard* clipboard = nullptr;
  ImageWriter* image_writer = nullptr;
  int screen_dpi = 96;  // dots per inch of the screen that texts are sized for
};

// Sets the services of the following conversions. Not while one runs.
QUILLON_EXPORT void SetPlatform(const Platform& platform);

// Converts the picture file `path` (".GRF"): settings from the registry (and
// the options dialog when `show_options` is 1), log lines to `log_window`
// (may be null). With `action` 1 the pages are written; otherwise the picture
// is only read and the result is 0. Returns 1 on success, 0 otherwise.
QUILLON_EXPORT int ConvertQevPicFile(std::string path, LogWindow* log_window, int show_options,
                                     int action);

// Converts each path in order as ConvertQevPicFile does (the options dialog
// at most once, for the first); stops at the first result other than 1 and
// returns it. An empty list gives 0.
QUILLON_EXPORT int ConvertPictureFile(const std::vector<std::string>& paths,
                                      LogWindow* log_window, int show_options, int action);

// Converts a picture the HMI has open (`picture` holds its object) into
// `output_directory` with the given settings; no registry setting is read or
// written. *status (when given) is 1 on entry and 0 after a failure or a
// cancel. Returns 1 on success, 0 otherwise.
QUILLON_EXPORT int ConvertPicture(const hmi::Variant& picture, int use_cab_files,
                                  int allow_play_back, int output_bmp, int update_rate,
                                  const char* output_directory, int16_t* status);

// The version of the converter library, "MAJOR.MINOR.PATCH".
QUILLON_EXPORT const char* QuillonVersion();

}  // namespace quillon

#endif  // QUILLON_QUILLON_H_
