// The user interface the converter talks to: message boxes, the progress
// window and the host's main window. A console implementation serves the
// command line; tests use a scripted one that records what was asked.
#ifndef QUILLON_PLATFORM_UI_H_
#define QUILLON_PLATFORM_UI_H_

#include <string>

namespace quillon {

class Dialog;

// Message box styles: a button set in the low nibble, an icon in the next.
enum MessageBoxStyle : unsigned {
  kMbOk = 0x00,
  kMbOkCancel = 0x01,
  kMbYesNoCancel = 0x03,
  kMbYesNo = 0x04,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
};

// Buttons a message box or dialog ends with.
enum DialogResult { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

// What the user did while the converter was busy, one event at a time.
enum class UiEvent {
  kNone,    // nothing waiting
  kOther,   // something handled by the UI itself (repaint, typing, ...)
  kCancel,  // the progress window's Cancel button
  kQuit,    // the application is quitting
};

class Ui {
 public:
  virtual ~Ui() = default;

  // Shows a modal message box and returns the button that closed it.
  virtual int MessageBox(const std::string& caption, const std::string& text,
                         unsigned style) = 0;

  // The progress window: created with `title`, showing one status text.
  virtual void OpenProgress(const std::string& title) = 0;
  virtual void SetProgressText(const std::string& text) = 0;
  virtual void CloseProgress() = 0;

  // Takes the next waiting event, or kNone when nothing waits.
  virtual UiEvent NextEvent() = 0;
  // Puts the quit request back, so that the host's own loop sees it too.
  virtual void PostQuit() = 0;

  // Shows `dialog` modally: starts it, lets the user act on its controls
  // until it ends, and returns its result (kIdOk, kIdCancel).
  virtual int RunModal(Dialog* dialog) = 0;
  // Opens the help at `context` with help command `command`.
  virtual void ShowHelp(unsigned /*command*/, int /*context*/) {}

  // The host's main window, disabled for input while a conversion runs.
  virtual bool HasMainWindow() { return false; }
  virtual void EnableMainWindow(bool /*enable*/) {}
  virtual void FocusMainWindow() {}
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_UI_H_
