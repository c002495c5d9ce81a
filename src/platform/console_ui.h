// The terminal presentation of the user interface: message boxes on standard
// error, the progress window as one status line, Ctrl-C as its Cancel button.
#ifndef QUILLON_PLATFORM_CONSOLE_UI_H_
#define QUILLON_PLATFORM_CONSOLE_UI_H_

#include <cstdio>
#include <map>
#include <string>
#include <utility>

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
  // On a terminal every visible edit, check box and radio button is asked
  // for in turn, then OK is pressed (asked again while the dialog stays
  // open). Without a terminal the presets are filled in and OK is pressed
  // once; a dialog that stays open is cancelled.
  int RunModal(Dialog* dialog) override;
  void ShowHelp(unsigned command, int context) override;

  // Text put into control `control` of dialog `template_id` before OK is
  // pressed without a terminal (and offered as the answer on one).
  void Preset(int template_id, int control, const std::string& text);

  // How many times Ctrl-C or SIGTERM arrived since the process started.
  static int Interrupts();
  // Makes Ctrl-C and SIGTERM counted, not fatal, also while no progress
  // window is open, so that a host can end its run in order.
  static void CatchInterrupts();

 private:
  void EndStatusLine();

  std::FILE* err_;
  bool interactive_;
  bool progress_open_ = false;
  bool status_shown_ = false;
  bool quit_posted_ = false;
  std::string last_status_;
  std::string pending_status_;  // off a terminal: not printed yet
  long long last_print_ms_ = 0;
  std::map<std::pair<int, int>, std::string> presets_;
  std::FILE* in_ = stdin;

 public:
  // Reads answers from `in` instead of standard input (for tests).
  void set_input(std::FILE* in) { in_ = in; }
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_CONSOLE_UI_H_
