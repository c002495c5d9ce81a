// A user interface for tests: records every message box, progress window and
// status text, answers message boxes from a script, and plays events (such
// as the Cancel button) at chosen moments.
#ifndef QUILLON_TESTS_SUPPORT_SCRIPTED_UI_H_
#define QUILLON_TESTS_SUPPORT_SCRIPTED_UI_H_

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace quillon {

class ScriptedUi : public Ui {
 public:
  struct Box {
    std::string caption;
    std::string text;
    unsigned style;
  };

  int MessageBox(const std::string& caption, const std::string& text, unsigned style) override;
  void OpenProgress(const std::string& title) override;
  void SetProgressText(const std::string& text) override;
  void CloseProgress() override;
  UiEvent NextEvent() override;
  void PostQuit() override { quit_posted_ = true; }
  bool HasMainWindow() override { return has_main_window_; }
  void EnableMainWindow(bool enable) override;
  void FocusMainWindow() override { ++focus_count_; }
  // Runs the next queued dialog script on `dialog` (started and painted
  // first); a dialog the script leaves open is cancelled.
  int RunModal(Dialog* dialog) override;
  void ShowHelp(unsigned command, int context) override {
    helps.push_back({command, context});
  }

  using DialogScript = std::function<void(Dialog*)>;
  // The user's actions for the coming dialogs, in order; a dialog without
  // a script is cancelled.
  void QueueDialog(DialogScript script) { dialog_scripts_.push_back(std::move(script)); }
  std::vector<int> dialogs_shown;  // template numbers
  std::vector<std::pair<unsigned, int>> helps;

  // Answers for the coming message boxes, in order; OK when none is left.
  void QueueAnswer(int button) { answers_.push_back(button); }
  // Plays `event` when the queue is drained for the `pump`-th time (each
  // PumpMessages of the progress window drains it once), counted from 1.
  void PlayEventAt(int pump, UiEvent event) { script_.push_back({pump, event}); }

  std::vector<Box> boxes;
  std::vector<std::string> statuses;
  std::vector<std::string> progress_titles;
  std::vector<std::string> calls;  // "open", "close", "enable", "disable"
  bool progress_open = false;
  bool quit_posted() const { return quit_posted_; }
  int pumps() const { return pumps_; }
  bool main_window_enabled = true;
  bool has_main_window_ = false;
  int focus_count_ = 0;

 private:
  struct Scripted {
    int pump;
    UiEvent event;
  };
  std::deque<int> answers_;
  std::deque<DialogScript> dialog_scripts_;
  std::vector<Scripted> script_;
  int pumps_ = 0;
  bool quit_posted_ = false;
};

}  // namespace quillon

#endif  // QUILLON_TESTS_SUPPORT_SCRIPTED_UI_H_
