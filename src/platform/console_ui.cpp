// The terminal presentation of the user interface.
#include "platform/console_ui.h"

#include "platform/dialog.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace quillon {
namespace {

// Set from the signal handlers, read by NextEvent.
volatile std::sig_atomic_t g_cancel_requested = 0;
volatile std::sig_atomic_t g_quit_requested = 0;
// Every Ctrl-C and SIGTERM of the process, never reset.
volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void OnInterrupt(int) {
  g_cancel_requested = 1;
  g_interrupts = g_interrupts + 1;
}
extern "C" void OnTerminate(int) {
  g_quit_requested = 1;
  g_interrupts = g_interrupts + 1;
}

long long NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct sigaction g_old_int;
struct sigaction g_old_term;

void InstallHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, &g_old_int);
  action.sa_handler = OnTerminate;
  sigaction(SIGTERM, &action, &g_old_term);
}

void RestoreHandlers() {
  sigaction(SIGINT, &g_old_int, nullptr);
  sigaction(SIGTERM, &g_old_term, nullptr);
}

// A status text is one line on the terminal.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

// The node prompt (dialog 8300, node name 1030): nobody at a terminal can
// answer it, so the local node does, and a batch run never waits for it.
constexpr int kNodePrompt = 8300;
constexpr int kNodePromptName = 1030;

ConsoleUi::ConsoleUi(std::FILE* err, int interactive)
    : err_(err),
      interactive_(interactive < 0 ? ::isatty(::fileno(err)) == 1 : interactive != 0) {
  Preset(kNodePrompt, kNodePromptName, "THISNODE");
}

ConsoleUi::~ConsoleUi() {
  if (progress_open_) CloseProgress();
}

void ConsoleUi::EndStatusLine() {
  if (status_shown_ && interactive_) std::fputs("\n", err_);
  status_shown_ = false;
}

int ConsoleUi::MessageBox(const std::string& caption, const std::string& text,
                          unsigned style) {
  EndStatusLine();
  std::fprintf(err_, "%s: %s\n", caption.c_str(), text.c_str());
  unsigned buttons = style & 0x0f;
  if (buttons == kMbOk) return kIdOk;
  bool yes_no = buttons == kMbYesNo || buttons == kMbYesNoCancel;
  if (interactive_ && ::isatty(STDIN_FILENO) == 1) {
    std::fputs(yes_no ? "[y/n] " : "[OK/cancel] ", err_);
    std::fflush(err_);
    char answer[64] = {0};
    if (std::fgets(answer, sizeof(answer), stdin) != nullptr) {
      char first = answer[0];
      if (yes_no) return (first == 'y' || first == 'Y') ? kIdYes : kIdNo;
      return (first == 'c' || first == 'C' || first == 'n' || first == 'N') ? kIdCancel
                                                                             : kIdOk;
    }
  }
  // Without a terminal to ask, the first button answers, as its default.
  return yes_no ? kIdYes : kIdOk;
}

void ConsoleUi::OpenProgress(const std::string& title) {
  if (progress_open_) return;
  progress_open_ = true;
  g_cancel_requested = 0;
  InstallHandlers();
  last_status_.clear();
  if (interactive_ && !title.empty()) {
    std::fprintf(err_, "%s\n", OneLine(title).c_str());
  }
}

void ConsoleUi::SetProgressText(const std::string& text) {
  if (!progress_open_) return;
  std::string line = OneLine(text);
  if (interactive_) {
    std::fprintf(err_, "\r\033[K%s", line.c_str());
    std::fflush(err_);
    status_shown_ = true;
  } else if (line != last_status_) {
    // Off a terminal a status is one line, at most one a second, so that a
    // long conversion shows its progress without flooding the output.
    long long now = NowMs();
    if (last_print_ms_ == 0 || now - last_print_ms_ >= 1000) {
      std::fprintf(err_, "%s\n", line.c_str());
      last_print_ms_ = now;
      pending_status_.clear();
    } else {
      pending_status_ = line;
    }
  }
  last_status_ = line;
}

void ConsoleUi::CloseProgress() {
  if (!progress_open_) return;
  progress_open_ = false;
  if (!pending_status_.empty()) std::fprintf(err_, "%s\n", pending_status_.c_str());
  pending_status_.clear();
  last_print_ms_ = 0;
  EndStatusLine();
  RestoreHandlers();
}

UiEvent ConsoleUi::NextEvent() {
  if (quit_posted_ || g_quit_requested) {
    quit_posted_ = false;
    g_quit_requested = 0;
    return UiEvent::kQuit;
  }
  if (g_cancel_requested) {
    g_cancel_requested = 0;
    return progress_open_ ? UiEvent::kCancel : UiEvent::kNone;
  }
  return UiEvent::kNone;
}

void ConsoleUi::PostQuit() { quit_posted_ = true; }

int ConsoleUi::Interrupts() { return g_interrupts; }

void ConsoleUi::CatchInterrupts() { InstallHandlers(); }

}  // namespace quillon

namespace quillon {
namespace {

// Reads one line from `in` without its line end; false at the end of input.
bool ReadLine(std::FILE* in, std::string* line) {
  line->clear();
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') return true;
    if (c != '\r') *line += static_cast<char>(c);
  }
  return !line->empty();
}

bool IsYes(const std::string& answer) {
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace

void ConsoleUi::Preset(int template_id, int control, const std::string& text) {
  presets_[{template_id, control}] = text;
}

void ConsoleUi::ShowHelp(unsigned command, int context) {
  std::fprintf(err_, "Help is not available on the terminal (topic %d, command %u).\n", context,
               command);
}

int ConsoleUi::RunModal(Dialog* dialog) {
  EndStatusLine();
  dialog->Start(this);
  dialog->Paint();
  for (const auto& preset : presets_) {
    if (preset.first.first == dialog->template_id()) {
      dialog->UserTypes(preset.first.second, preset.second);
    }
  }
  const bool ask = interactive_ && ::isatty(::fileno(in_)) == 1;
  if (!ask) {
    if (!dialog->ended()) dialog->UserClicks(kControlOk);
    if (!dialog->ended()) dialog->UserClicks(kControlCancel);
    return dialog->result();
  }
  if (!dialog->caption().empty()) std::fprintf(err_, "%s\n", dialog->caption().c_str());
  while (!dialog->ended()) {
    std::string answer;
    for (int id : dialog->order()) {
      const Control* control = dialog->Find(id);
      if (control == nullptr || !control->visible || !control->enabled) continue;
      // A check box or radio button is named by its caption; an edit by the
      // label beside it. The number only when neither says anything.
      std::string label = control->label;
      if (label.empty() && control->kind != ControlKind::kEdit) label = control->text;
      if (label.empty()) label = std::to_string(id);
      if (control->kind == ControlKind::kEdit) {
        std::fprintf(err_, "%s [%s]: ", label.c_str(), control->text.c_str());
        std::fflush(err_);
        if (!ReadLine(in_, &answer)) {
          dialog->UserClicks(kControlCancel);
          return dialog->result();
        }
        if (!answer.empty()) dialog->UserTypes(id, answer);
      } else if (control->kind == ControlKind::kCheckBox ||
                 (control->kind == ControlKind::kRadio && !control->checked)) {
        std::fprintf(err_, "%s [%s] (y/n): ", label.c_str(), control->checked ? "y" : "n");
        std::fflush(err_);
        if (!ReadLine(in_, &answer)) {
          dialog->UserClicks(kControlCancel);
          return dialog->result();
        }
        if (!answer.empty() && IsYes(answer) != control->checked) dialog->UserClicks(id);
      }
    }
    std::fputs("OK? [Y/n] ", err_);
    std::fflush(err_);
    if (!ReadLine(in_, &answer) || (!answer.empty() && !IsYes(answer))) {
      dialog->UserClicks(kControlCancel);
    } else {
      dialog->UserClicks(kControlOk);
    }
  }
  return dialog->result();
}

}  // namespace quillon
