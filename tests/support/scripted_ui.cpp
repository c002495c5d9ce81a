// A user interface for tests.
#include "support/scripted_ui.h"

#include "platform/dialog.h"

namespace quillon {

int ScriptedUi::MessageBox(const std::string& caption, const std::string& text,
                           unsigned style) {
  boxes.push_back({caption, text, style});
  if (answers_.empty()) return kIdOk;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void ScriptedUi::OpenProgress(const std::string& title) {
  progress_open = true;
  progress_titles.push_back(title);
  calls.push_back("open");
}

void ScriptedUi::SetProgressText(const std::string& text) { statuses.push_back(text); }

void ScriptedUi::CloseProgress() {
  progress_open = false;
  calls.push_back("close");
}

UiEvent ScriptedUi::NextEvent() {
  if (quit_posted_) {
    quit_posted_ = false;
    return UiEvent::kQuit;
  }
  // Round r is the r-th time the caller drains the queue; it ends with kNone.
  for (auto it = script_.begin(); it != script_.end(); ++it) {
    if (it->pump == pumps_ + 1) {
      UiEvent event = it->event;
      script_.erase(it);
      return event;
    }
  }
  ++pumps_;
  return UiEvent::kNone;
}

int ScriptedUi::RunModal(Dialog* dialog) {
  dialogs_shown.push_back(dialog->template_id());
  dialog->Start(this);
  dialog->Paint();
  if (!dialog_scripts_.empty()) {
    DialogScript script = std::move(dialog_scripts_.front());
    dialog_scripts_.pop_front();
    script(dialog);
  }
  if (!dialog->ended()) dialog->UserClicks(kControlCancel);
  return dialog->result();
}

void ScriptedUi::EnableMainWindow(bool enable) {
  main_window_enabled = enable;
  calls.push_back(enable ? "enable" : "disable");
}

}  // namespace quillon
