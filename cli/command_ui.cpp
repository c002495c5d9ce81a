#include "command_ui.h"

#include <ctime>

#include "driver/progress_window.h"

namespace quillon {
namespace cli {
namespace {

long long NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Statuses that say an object was read or written.
bool IsObjectRead(const std::string& text) { return text == kStatusConvertingObject; }
bool IsObjectWritten(const std::string& text) { return text == kStatusWritingObject; }

}  // namespace

CommandUi::CommandUi(std::FILE* err, int interactive) : ConsoleUi(err, interactive) {
  CatchInterrupts();
}

CommandUi::~CommandUi() = default;

void CommandUi::StartPicture(size_t index, size_t count) {
  index_ = index;
  count_ = count;
  objects_read_ = objects_written_ = 0;
  said_.clear();
  last_progress_ms_ = 0;
  last_kind_.clear();
}

int CommandUi::MessageBox(const std::string& caption, const std::string& text, unsigned style) {
  std::string shown = rewrite_ ? rewrite_(text) : text;
  // A message the command says in its own words elsewhere is answered as a
  // box without a terminal is: by its first button.
  if (shown.empty()) return (style & 0x0f) == kMbYesNo || (style & 0x0f) == kMbYesNoCancel ? kIdYes : kIdOk;
  // The same failure is said once for the picture, however often it is met.
  auto said = said_.find(shown);
  if (said != said_.end()) return said->second;
  const int answer = ConsoleUi::MessageBox(caption, shown, style);
  said_.emplace(shown, answer);
  return answer;
}

void CommandUi::SetProgressText(const std::string& text) {
  std::string kind = text;
  if (IsObjectRead(text)) {
    ++objects_read_;
  } else if (IsObjectWritten(text)) {
    ++objects_written_;
  }
  // Object counts change for every object: the line is redrawn at most ten
  // times a second, and at once when the step changes.
  const long long now = NowMs();
  if (kind == last_kind_ && now - last_progress_ms_ < 100) return;
  last_kind_ = kind;
  last_progress_ms_ = now;
  std::string line;
  if (count_ > 0) {
    line = "picture " + std::to_string(index_) + " of " + std::to_string(count_) + ": ";
  }
  line += text;
  if (objects_read_ > 0 || objects_written_ > 0) {
    line += " (" + std::to_string(objects_read_) + " objects read, " +
            std::to_string(objects_written_) + " written)";
  }
  ConsoleUi::SetProgressText(line);
}

UiEvent CommandUi::NextEvent() {
  UiEvent event = ConsoleUi::NextEvent();
  if (event == UiEvent::kCancel || event == UiEvent::kQuit) cancel_seen_ = true;
  return event;
}

bool CommandUi::interrupted() const { return cancel_seen_ || Interrupts() > 0; }

}  // namespace cli
}  // namespace quillon
