// Text set aside in a file without a name: read back whole and in order,
// never seen in its folder, and never read back past a failed append.
#include "platform/spill_file.h"

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace quillon {
namespace {

std::string ReadBackWhole(const SpillFile& file, size_t piece, bool* ok, int* error_number) {
  std::string text;
  *ok = file.ReadBack(
      [&](std::string_view part) {
        EXPECT_LE(part.size(), piece);
        EXPECT_FALSE(part.empty());
        text.append(part.data(), part.size());
      },
      error_number, piece);
  return text;
}

TEST(SpillFileTest, WhatIsAppendedComesBackInOrderInPiecesAndNothingIsSeenInTheFolder) {
  const std::vector<std::string> appends = {"(objects\n", std::string(70000, 'x'), "",
                                            "\t(Rect1 TAVRect\n", std::string(3, '\0') + "end"};
  std::string all;
  for (const std::string& text : appends) all += text;
  for (size_t piece : {size_t{1} << 20, size_t{7}, size_t{65536}, all.size()}) {
    SCOPED_TRACE(piece);
    TempDir dir;
    SpillFile file;
    ASSERT_TRUE(file.Open(dir.path()));
    for (const std::string& text : appends) EXPECT_TRUE(file.Append(text));
    EXPECT_EQ(file.size(), all.size());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    bool ok = false;
    int error_number = 0;
    EXPECT_TRUE(ReadBackWhole(file, piece, &ok, &error_number) == all);
    EXPECT_TRUE(ok);
    // Read back again: reading does not use it up.
    EXPECT_TRUE(ReadBackWhole(file, piece, &ok, &error_number) == all);
    file.Close();
    EXPECT_FALSE(file.is_open());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

TEST(SpillFileTest, AnAppendThatFailsPartWayIsNotReadBackAndNothingMoreIsTaken) {
  TempDir dir;
  SpillFile file;
  ASSERT_TRUE(file.Open(dir.path()));
  ASSERT_TRUE(file.Append(std::string(5000, 'a')));
  // A file size limit stops the next append after some of its bytes, as a
  // full disk would (EFBIG rather than the signal).
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &before);
  struct rlimit limit {}, saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 8192;
  setrlimit(RLIMIT_FSIZE, &limit);
  const bool failed_append = file.Append(std::string(6000, 'b'));
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &before, nullptr);
  EXPECT_FALSE(failed_append);
  EXPECT_FALSE(file.Append("c"));
  EXPECT_EQ(file.size(), 5000u);
  bool ok = false;
  int error_number = 0;
  EXPECT_TRUE(ReadBackWhole(file, 4096, &ok, &error_number) == std::string(5000, 'a'));
  EXPECT_TRUE(ok);
}

TEST(SpillFileTest, FailuresAreReportedAndLeaveNothingBehind) {
  TempDir dir;
  {
    SpillFile file;
    EXPECT_FALSE(file.Open(dir.File("no such folder")));
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(file.Append("text"));
  }
  {
    ScopedFileFault fault(SpillFile::kName, FileStage::kOpen, EACCES);
    SpillFile file;
    EXPECT_FALSE(file.Open(dir.path()));
  }
  {
    SpillFile file;
    ASSERT_TRUE(file.Open(dir.path()));
    {
      ScopedFileFault fault(SpillFile::kName, FileStage::kWrite, ENOSPC);
      EXPECT_FALSE(file.Append("lost"));
    }
    EXPECT_FALSE(file.Append("refused after a failure"));
    EXPECT_EQ(file.size(), 0u);
  }
  {
    SpillFile file;
    ASSERT_TRUE(file.Open(dir.path()));
    ASSERT_TRUE(file.Append("kept"));
    ScopedFileFault fault(SpillFile::kName, FileStage::kClose, EIO);
    bool ok = true;
    int error_number = 0;
    ReadBackWhole(file, 1024, &ok, &error_number);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error_number, EIO);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace quillon
