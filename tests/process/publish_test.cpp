// The `quillon` command as users run it, killed while it writes a picture's
// files and run twice at once on one picture: a published file is always
// the whole file of one run.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "support/test_env.h"

extern char** environ;

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;

// A picture of `count` objects of `shape`, with a bitmap, so that the run
// writes a page description, a page, an image file and a log.
std::string Picture(const char* shape, int count) {
  std::string text = R"({"width": 1600, "height": 1200, "objects": [)";
  for (int i = 0; i < count; ++i) {
    text += "{\"class\": \"" + std::string(shape) + "\", \"name\": \"S" + std::to_string(i) +
            "\", \"properties\": {\"HorizontalPosition\": " + std::to_string(i % 1500) +
            ".0, \"VerticalPosition\": " + std::to_string(i % 1100) +
            ".0, \"Width\": 20.0, \"Height\": 10.0}},";
  }
  text += R"({"class": "Bitmap", "name": "B", "images": [
      {"primary": {"rgb": 255, "width": 8, "height": 8}},
      {"primary": {"rgb": )" +
          std::to_string(count) + R"(, "width": 8, "height": 8}}]}]})";
  return text;
}

class PublishTest : public ::testing::Test {
 protected:
  PublishTest() {
    ::mkdir(dir.File("a").c_str(), 0755);
    ::mkdir(dir.File("b").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    std::ofstream(dir.File("a/Pic.grf")) << Picture("Rect", 6000);
    std::ofstream(dir.File("b/Pic.grf")) << Picture("Oval", 4000);
    std::ofstream(dir.File("settings.reg"))
        << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\n@=\"" << dir.path()
        << "\"\n\n[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\n@=\""
        << dir.File("out") << "\"\n";
  }

  // Starts `quillon convert` of version `version` ("a" or "b").
  pid_t Start(const std::string& version) {
    const std::string picture = dir.File(version + "/Pic.grf");
    const std::string registry = dir.File("settings.reg");
    std::vector<std::string> args = {QUILLON_PROGRAM, "--registry", registry, "convert", picture};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, QUILLON_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Run(const std::string& version) { return Wait(Start(version)); }

  // The published files of the output folder (staging folders and the lock
  // apart) and the names of the staging folders.
  Files Published(std::vector<std::string>* staging = nullptr) const {
    Files files;
    DIR* folder = ::opendir(dir.File("out").c_str());
    while (struct dirent* entry = folder ? ::readdir(folder) : nullptr) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || name == ".Pic.quillon-lock") continue;
      // The HTML5 page and the folder's index are written by the command
      // after the picture, each through a temporary file of its own.
      if (name.rfind(".quillon-html5-", 0) == 0 || name.rfind(".index.html.", 0) == 0) continue;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0) continue;
      if (name.rfind(".Pic.quillon-", 0) == 0) {
        if (staging != nullptr) staging->push_back(name);
        continue;
      }
      files[name] = ReadFile(dir.File("out/" + name));
    }
    if (folder != nullptr) ::closedir(folder);
    return files;
  }
  // True once the run has begun its writing phase: the page of the picture
  // is in a staging folder.
  bool Writing() const {
    std::vector<std::string> staging;
    Published(&staging);
    for (const std::string& name : staging) {
      struct stat status;
      if (::stat(dir.File("out/" + name + "/Pic.htm").c_str(), &status) == 0) return true;
    }
    return false;
  }
  // Starts a run of `version` and waits for its writing phase; false when
  // the run ended first.
  bool StartWriting(const std::string& version, pid_t* pid) {
    *pid = Start(version);
    while (!Writing()) {
      int status;
      if (::waitpid(*pid, &status, WNOHANG) == *pid) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }

  TempDir dir;
};

TEST_F(PublishTest, AKilledRunLeavesEveryPublishedFileWholeFromOneRun) {
  ASSERT_EQ(Run("b"), 0);
  const Files version_b = Published();
  ASSERT_EQ(Run("a"), 0);
  const Files version_a = Published();
  ASSERT_NE(version_a.at("Pic.JDF"), version_b.at("Pic.JDF"));
  ASSERT_EQ(version_a.size(), 4u) << "JDF, page, log and an image file";
  ASSERT_EQ(version_a.count("Pic_B_P1.JPG"), 1u);

  // How long the writing phase lasts, from the page's start to the end.
  pid_t pid;
  ASSERT_TRUE(StartWriting("b", &pid));
  const auto start = Clock::now();
  ASSERT_EQ(Wait(pid), 0);
  const auto writing = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  ASSERT_EQ(Published(), version_b);

  std::mt19937 random(20261208);
  int killed_while_writing = 0;
  for (int trial = 0; trial < 30; ++trial) {
    const std::string version = trial % 2 == 0 ? "a" : "b";
    const Files& target = version == "a" ? version_a : version_b;
    const Files before = Published();
    if (!StartWriting(version, &pid)) continue;
    std::uniform_int_distribution<long> delay(0, writing.count() * 11 / 10);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    if (Wait(pid) == 128 + SIGKILL) ++killed_while_writing;
    const Files after = Published();
    SCOPED_TRACE("trial " + std::to_string(trial));
    for (const auto& name : {"Pic.JDF", "Pic.htm", "Pic.Log", "Pic_B_P1.JPG"}) {
      ASSERT_EQ(after.count(name), 1u) << name << " is gone";
      const std::string& now = after.at(name);
      EXPECT_TRUE(now == before.at(name) || now == target.at(name))
          << name << " is neither the earlier file nor the new one (" << now.size() << " bytes)";
    }
    EXPECT_EQ(after.size(), 4u) << (after.empty() ? "" : after.rbegin()->first);
  }
  EXPECT_GE(killed_while_writing, 20);

  // The next run removes what the killed runs left and publishes its page.
  ASSERT_EQ(Run("a"), 0);
  std::vector<std::string> staging;
  EXPECT_EQ(Published(&staging), version_a);
  EXPECT_TRUE(staging.empty()) << staging.size() << " staging folders left";
}

TEST_F(PublishTest, TwoRunsOfOnePictureAtOnceBothEndWithAWholePage) {
  ASSERT_EQ(Run("a"), 0);
  const Files version_a = Published();
  for (int round = 0; round < 3; ++round) {
    pid_t first = Start("a");
    pid_t second = Start("a");
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    std::vector<std::string> staging;
    EXPECT_EQ(Published(&staging), version_a);
    EXPECT_TRUE(staging.empty());
  }
}

}  // namespace
}  // namespace quillon
