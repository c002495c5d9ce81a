// The terminal presentation of the user interface.
#include "platform/console_ui.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace quillon {
namespace {

// Set from the signal handlers, read by NextEvent.
volatile std::sig_atomic_t g_cancel_requested = 0;
volatile std::sig_atomic_t g_quit_requested = 0;

extern "C" void OnInterrupt(int) { g_cancel_requested = 1; }
extern "C" void OnTerminate(int) { g_quit_requested = 1; }

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

ConsoleUi::ConsoleUi(std::FILE* err, int interactive)
    : err_(err),
      interactive_(interactive < 0 ? ::isatty(::fileno(err)) == 1 : interactive != 0) {}

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
    // Off a terminal every distinct status is one line, so logs stay readable.
    std::fprintf(err_, "%s\n", line.c_str());
  }
  last_status_ = line;
}

void ConsoleUi::CloseProgress() {
  if (!progress_open_) return;
  progress_open_ = false;
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

}  // namespace quillon
