// The console as the command presents a run: the progress line says which
// picture of how many is converting and how many objects were read and
// written; a message is said once per picture, not once per log line; and
// Ctrl-C at any moment of the run is remembered, so that the run stops
// after the picture it cancelled.
#ifndef QUILLON_CLI_COMMAND_UI_H_
#define QUILLON_CLI_COMMAND_UI_H_

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "platform/console_ui.h"

namespace quillon {
namespace cli {

class CommandUi : public ConsoleUi {
 public:
  explicit CommandUi(std::FILE* err = stderr, int interactive = -1);
  ~CommandUi() override;

  // The picture now converting, for the progress line ("picture 2 of 5").
  void StartPicture(size_t index, size_t count);
  // A message box text the command says in its own words; return the text
  // to show, or empty to show none.
  void set_rewrite(std::function<std::string(const std::string&)> rewrite) {
    rewrite_ = std::move(rewrite);
  }

  int MessageBox(const std::string& caption, const std::string& text, unsigned style) override;
  void SetProgressText(const std::string& text) override;
  void CloseProgress() override;
  UiEvent NextEvent() override;

  // True once Ctrl-C was pressed during the run (or SIGTERM received).
  bool interrupted() const;

  size_t objects_read() const { return objects_read_; }
  // The last message shown for the current picture; empty when none.
  const std::string& last_message() const { return last_message_; }
  size_t objects_written() const { return objects_written_; }

 private:
  // Draws the line with `text` as its status and the picture's counts.
  void DrawProgress(const std::string& text);

  std::function<std::string(const std::string&)> rewrite_;
  std::map<std::string, int> said_;  // messages shown for the current picture, and the answers
  size_t index_ = 0, count_ = 0;
  size_t objects_read_ = 0, objects_written_ = 0;
  long long last_progress_ms_ = 0;
  // The last distinct statuses drawn for the current picture, oldest
  // replaced first.
  std::array<std::string, 4> recent_;
  size_t next_recent_ = 0;
  std::string held_back_;      // a status not drawn yet, or empty
  std::string progress_line_;  // the line being built, kept for its room
  bool cancel_seen_ = false;
  std::string last_message_;
};

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_COMMAND_UI_H_
