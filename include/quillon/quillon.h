// The picture converter: turns HMI display pictures into web pages (a page
// description for the browser viewer, an HTML page, image files and a log).
#ifndef QUILLON_QUILLON_H_
#define QUILLON_QUILLON_H_

#include <string>

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

// The version of the converter library, "MAJOR.MINOR.PATCH".
QUILLON_EXPORT const char* QuillonVersion();

}  // namespace quillon

#endif  // QUILLON_QUILLON_H_
