// The terminal presentation of the user interface: message boxes on standard
// error, the progress window as one status line, Ctrl-C as its Cancel button.
#ifndef QUILLON_PLATFORM_CONSOLE_UI_H_
#define QUILLON_PLATFORM_CONSOLE_UI_H_

#include <cstdio>
#include <string>

#include "platform/ui.h"

namespace quillon {

class ConsoleUi : public Ui {
 public:
  // Writes to `err` (standard error by default). `interactive` says whether
  // `err` is a terminal (status redrawn in place, questions asked); by
  // default it is found out from the stream.
  explicit ConsoleUi(std::FILE* err = stderr, int interactive = -1);
  ~ConsoleUi() override;

  int MessageBox(const std::string& caption, const std::string& text, unsigned style) override;
  void OpenProgress(const std::string& title) override;
  void SetProgressText(const std::string& text) override;
  void CloseProgress() override;
  UiEvent NextEvent() override;
  void PostQuit() override;

 private:
  void EndStatusLine();

  std::FILE* err_;
  bool interactive_;
  bool progress_open_ = false;
  bool status_shown_ = false;
  bool quit_posted_ = false;
  std::string last_status_;
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_CONSOLE_UI_H_
