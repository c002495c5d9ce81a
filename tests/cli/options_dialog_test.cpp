// `quillon convert --options` on a terminal: the options dialog asks for
// every control by what it says, never by its number.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>

#include "support/test_env.h"

namespace quillon {
namespace {

TEST(OptionsDialogTest, OnATerminalTheOptionsAreAskedForByTheirCaptions) {
  TempDir dir;
  std::ofstream(dir.File("settings.reg"), std::ios::binary)
      << "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\""
      << QUILLON_SOURCE_DIR << "/examples/pictures\"\r\n\r\n"
      << "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\r\n@=\""
      << dir.path() << "\"\r\n";
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string picture = std::string(QUILLON_SOURCE_DIR) + "/examples/pictures/Trends.grf";
    ::execl(QUILLON_PROGRAM, QUILLON_PROGRAM, "--registry", dir.File("settings.reg").c_str(),
            "convert", "--options", "--no-html5", picture.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Every question is answered with its offer (Enter), then OK; the output
  // is read until the terminal closes, then the command is waited for.
  std::string shown;
  char buffer[4096];
  int status = 0;
  bool ended = false;
  const time_t deadline = ::time(nullptr) + 30;
  for (;;) {
    struct pollfd wait = {master, POLLIN, 0};
    if (::poll(&wait, 1, 100) <= 0) {
      if (::time(nullptr) > deadline) break;
      continue;
    }
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // the command closed the terminal
    shown.append(buffer, static_cast<size_t>(got));
    if (shown.back() == ' ' || shown.back() == ':') {
      ASSERT_EQ(::write(master, "\n", 1), 1);
    }
  }
  while (!ended && ::time(nullptr) <= deadline) {
    ended = ::waitpid(child, &status, WNOHANG) == child;
    if (!ended) ::usleep(10000);
  }
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  ::close(master);
  EXPECT_TRUE(ended) << shown;
  for (const char* caption : {"Use the packed viewer archive", "Allow playback of recorded values",
                              "BMP (exact colours, larger files)"}) {
    EXPECT_NE(shown.find(caption), std::string::npos) << caption << " in:\n" << shown;
  }
  for (const char* number : {"1015 [", "1016 [", "1017 [", "1018 ["}) {
    EXPECT_EQ(shown.find(number), std::string::npos) << number << " in:\n" << shown;
  }
}

}  // namespace
}  // namespace quillon
