#include "command_ui.h"

#include <algorithm>
#include <charconv>
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

// Appends `count` in decimal, as std::to_string writes it.
void AppendCount(std::string* out, size_t count) {
  char digits[24];
  const auto written = std::to_chars(digits, digits + sizeof digits, count);
  out->append(digits, written.ptr);
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
  last_message_.clear();
  last_progress_ms_ = 0;
  recent_ = {};
  next_recent_ = 0;
  held_back_.clear();
}

int CommandUi::MessageBox(const std::string& caption, const std::string& text, unsigned style) {
  std::string shown = rewrite_ ? rewrite_(text) : text;
  // A message the command says in its own words elsewhere is answered as a
  // box without a terminal is: by its first button.
  if (shown.empty()) return (style & 0x0f) == kMbYesNo || (style & 0x0f) == kMbYesNoCancel ? kIdYes : kIdOk;
  // The same failure is said once for the picture, however often it is met.
  last_message_ = shown;
  // "FOLDER/FILE: what" is the same failure for every file of one folder.
  std::string key = shown;
  const size_t colon = shown.find(": ");
  if (colon != std::string::npos && shown[0] == '/') {
    const std::string path = shown.substr(0, colon);
    key = path.substr(0, path.rfind('/') + 1) + shown.substr(colon);
  }
  auto said = said_.find(key);
  if (said != said_.end()) return said->second;
  const int answer = ConsoleUi::MessageBox(caption, shown, style);
  said_.emplace(key, answer);
  return answer;
}

void CommandUi::SetProgressText(const std::string& text) {
  if (IsObjectRead(text)) {
    ++objects_read_;
  } else if (IsObjectWritten(text)) {
    ++objects_written_;
  }
  // Object counts change for every object, and the statuses of reading one
  // object take turns: the line is redrawn at most ten times a second, and
  // at once for a status that is not among the last few drawn (a new step,
  // an image file made, a message). A line held back is drawn when the
  // progress closes, so the last counts are shown.
  const long long now = NowMs();
  const auto seen = std::find(recent_.begin(), recent_.end(), text);
  if (seen != recent_.end() && now - last_progress_ms_ < 100) {
    held_back_ = text;
    return;
  }
  if (seen == recent_.end()) {
    recent_[next_recent_] = text;
    next_recent_ = (next_recent_ + 1) % recent_.size();
  }
  held_back_.clear();
  last_progress_ms_ = now;
  DrawProgress(text);
}

void CommandUi::CloseProgress() {
  if (!held_back_.empty()) {
    const std::string text = std::move(held_back_);
    held_back_.clear();
    DrawProgress(text);
  }
  ConsoleUi::CloseProgress();
}

void CommandUi::DrawProgress(const std::string& text) {
  // Built in a buffer kept from line to line: the line is made for nearly
  // every object, as the step changes from reading to converting.
  std::string& line = progress_line_;
  line.clear();
  if (count_ > 0) {
    line += "picture ";
    AppendCount(&line, index_);
    line += " of ";
    AppendCount(&line, count_);
    line += ": ";
  }
  line += text;
  if (objects_read_ > 0 || objects_written_ > 0) {
    line += " (";
    AppendCount(&line, objects_read_);
    line += " objects read, ";
    AppendCount(&line, objects_written_);
    line += " written)";
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
