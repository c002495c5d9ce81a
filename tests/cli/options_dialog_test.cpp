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
  // Every question is answered with its offer (Enter), then OK.
  std::string shown;
  char buffer[4096];
  int status = 0;
  bool ended = false;
  for (int round = 0; round < 400 && !ended; ++round) {
    struct pollfd wait = {master, POLLIN, 0};
    if (::poll(&wait, 1, 50) > 0) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got > 0) shown.append(buffer, static_cast<size_t>(got));
      if (shown.size() > 0 && (shown.back() == ' ' || shown.back() == ':')) {
        ASSERT_EQ(::write(master, "\n", 1), 1);
      }
    }
    ended = ::waitpid(child, &status, WNOHANG) == child;
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
