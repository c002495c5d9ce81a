// Ctrl-C during a run: the picture it interrupts is never reported as
// converted unless its page was published whole, the run stops promptly,
// lists what was not converted and exits 130.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/run_program.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

long long NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Ctrl-C while the picture is read (its animations are then being written
// on a second thread) or while its page is written: the run stops promptly
// with status 130, and nothing of the picture is published unless the page
// was whole.
TEST(CancelTest, CtrlCDuringTheReadingOrWritingPhaseStopsTheRunAndIsNeverConverted) {
#ifndef QUILLON_GENERATE_PROGRAM
  GTEST_SKIP() << "the picture generator is not built";
#else
  struct Case {
    const char* phase;
    const char* file;  // "stdout" or "stderr", where `text` shows the phase
    const char* text;
    int wait_ms;  // after the text shows, before Ctrl-C
  };
  // -v prints each log line as it is written (the log file itself is
  // published only at the end); the progress line goes to stderr.
  const Case cases[] = {
      // Late enough for the second thread to have started.
      {"reading", "stderr", "Reading objects for conversion", 100},
      {"writing", "stdout", "Writing the web page.", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase);
    TempDir dir;
    ::mkdir(dir.File("out").c_str(), 0755);
    ASSERT_EQ(RunProgram(QUILLON_GENERATE_PROGRAM, {"--seed", "3", "12000", dir.File("Big.grf")})
                  .status,
              0);
    ASSERT_EQ(RunProgram(QUILLON_GENERATE_PROGRAM, {"--seed", "4", "50", dir.File("Next.grf")})
                  .status,
              0);
    std::ofstream(dir.File("settings.reg"), std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\r\n@=\""
        << dir.path()
        << "\"\r\n\r\n[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\r\n@=\""
        << dir.File("out") << "\"\r\n";

    const std::string out_path = dir.File("stdout");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execl(QUILLON_PROGRAM, QUILLON_PROGRAM, "--registry", dir.File("settings.reg").c_str(),
              "convert", "-v", "--node", "THISNODE", "--no-html5", dir.File("Big.grf").c_str(),
              dir.File("Next.grf").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ctrl-C as soon as the phase shows.
    const long long start = NowMs();
    bool shown = false;
    while (!shown && NowMs() - start < 60000) {
      shown = ReadFile(dir.File(c.file)).find(c.text) != std::string::npos;
      if (!shown) ::usleep(1000);
    }
    ASSERT_TRUE(shown) << ReadFile(dir.File("stderr"));
    ::usleep(c.wait_ms * 1000);
    ASSERT_EQ(::kill(child, SIGINT), 0);
    const long long signalled = NowMs();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const long long took = NowMs() - signalled;
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    // Promptly: well under the second a person waits for, with room for a
    // slow (sanitizer) build.
    EXPECT_LT(took, 5000) << "the run took " << took << " ms to stop";

    const std::string out = ReadFile(out_path);
    const bool cancelled = out.find("\ncancelled " + dir.File("Big.grf")) != std::string::npos;
    RecordProperty(std::string("outcome of ") + c.phase, cancelled ? "cancelled" : "converted");
    if (cancelled) {
      // Nothing of the picture was published.
      EXPECT_FALSE(fs::exists(dir.File("out/Big.JDF"))) << out;
      EXPECT_FALSE(fs::exists(dir.File("out/Big.htm"))) << out;
    } else {
      // The signal came after the page was whole: then it is converted, and
      // whole.
      EXPECT_NE(out.find("\nconverted"), std::string::npos) << out;
      EXPECT_EQ(out.find("\nnot converted"), std::string::npos) << out;
      const std::string jdf = ReadFile(dir.File("out/Big.JDF"));
      ASSERT_GT(jdf.size(), 3u);
      EXPECT_EQ(jdf.substr(jdf.size() - 3), "\r\n)");
    }
    EXPECT_NE(out.find("not started " + dir.File("Next.grf") + ": the run was cancelled\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(dir.File("out/Next.JDF")));
    EXPECT_NE(out.find("2 pictures: "), std::string::npos) << out;
  }
#endif
}

}  // namespace
}  // namespace quillon
