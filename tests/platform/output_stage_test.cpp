// The output stage and the file layer: files published whole by rename or
// not at all, names that are not regular files refused without being
// followed or opened, the picture lock, stale staging folders, line ends.
#include "platform/output_stage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int AllRanked(const std::string&) { return 0; }

TEST(LineEndsTest, PagesMakeEveryLfACrLfAndLogsKeepTheirCrLf) {
  const struct {
    std::string text;
    std::string page;
    std::string log;
  } cases[] = {
      {"a\nb", "a\r\nb", "a\r\nb"},
      {"AB\r\nCD", "AB\r\r\nCD", "AB\r\nCD"},
      {"\n\r\n\n", "\r\n\r\r\n\r\n", "\r\n\r\n\r\n"},
      {"no line end", "no line end", "no line end"},
      {"\r", "\r", "\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(WithLineEnds(c.text, LineEnds::kPage), c.page);
    EXPECT_EQ(WithLineEnds(c.text, LineEnds::kLog), c.log);
    // Appended after other text: a "\r" that text ends with is not the
    // one before a "\n" of this text.
    std::string page = "x\r", log = "x\r";
    AppendWithLineEnds(&page, c.text, LineEnds::kPage);
    AppendWithLineEnds(&log, c.text, LineEnds::kLog);
    EXPECT_EQ(page, "x\r" + c.page);
    EXPECT_EQ(log, "x\r" + c.log);
  }
}

// A file written through one stage and then written again while another
// stage, of another folder, is active goes to that stage only when it
// covers the file: here, straight to the disk.
TEST(OutputStageTest, AFileWrittenAgainUnderAnotherStageGoesWhereThatStageSays) {
  TempDir first_dir, second_dir;
  const std::string jdf = first_dir.File("Pic.JDF");
  AppendFile file(LineEnds::kPage);
  {
    OutputStage first(first_dir.path(), "Pic");
    first.Activate();
    // Not closed: the file still counts as the one written through a stage.
    ASSERT_TRUE(file.Append(jdf, "staged\n", WriteMode::kTruncate).ok());
    EXPECT_TRUE(first.Publish(AllRanked, nullptr));
  }
  OutputStage second(second_dir.path(), "Pic");
  second.Activate();
  ASSERT_TRUE(file.Append(jdf, "direct\n").ok());
  ASSERT_TRUE(file.Close().ok());
  EXPECT_FALSE(second.Has(jdf));
  EXPECT_EQ(ReadFile(jdf), "staged\r\ndirect\r\n");
  // Two files written in turns through one stage each keep their own text.
  const std::string log = second_dir.File("Pic.Log");
  const std::string page = second_dir.File("Pic.JDF");
  AppendFile log_file(LineEnds::kLog), page_file(LineEnds::kPage);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(log_file.Append(log, "l\r\n").ok());
    ASSERT_TRUE(page_file.Append(page, "p\n").ok());
  }
  ASSERT_TRUE(log_file.Close().ok());
  ASSERT_TRUE(page_file.Close().ok());
  EXPECT_TRUE(second.Publish(AllRanked, nullptr));
  EXPECT_EQ(ReadFile(log), "l\r\nl\r\nl\r\n");
  EXPECT_EQ(ReadFile(page), "p\r\np\r\np\r\n");
}

TEST(OutputStageTest, FilesAppearWholeOnPublishAndTheStagingFolderGoes) {
  TempDir dir;
  const std::string jdf = dir.File("Pic.JDF");
  ASSERT_TRUE(WriteTextFile(jdf, "old page\n", WriteMode::kTruncate).ok());
  {
    OutputStage stage(dir.path(), "Pic");
    stage.Activate();
    AppendFile file(LineEnds::kPage);
    ASSERT_TRUE(file.Append(jdf, "line 1\n", WriteMode::kTruncate).ok());
    ASSERT_TRUE(file.Append(jdf, std::string(3 << 20, 'x')).ok());  // past the buffer
    ASSERT_TRUE(file.Append(jdf, "\nlast").ok());
    ASSERT_TRUE(file.Close().ok());
    EXPECT_TRUE(stage.Has(jdf));
    EXPECT_TRUE(OutputFileExists(jdf));
    EXPECT_FALSE(OutputFileExists(dir.File("Pic.htm")));
    // Nothing published yet: the old page is there as it was.
    EXPECT_EQ(ReadFile(jdf), "old page\r\n");
    EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
    EXPECT_EQ(ReadFile(jdf), "line 1\r\n" + std::string(3 << 20, 'x') + "\r\nlast");
  }
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"Pic.JDF"}));
  EXPECT_EQ(OutputStage::Active(), nullptr);
}

TEST(OutputStageTest, ADiscardedOrFailedFileLeavesThePreviousOne) {
  TempDir dir;
  const std::string jdf = dir.File("Pic.JDF");
  const std::string log = dir.File("Pic.Log");
  ASSERT_TRUE(WriteTextFile(jdf, "old page", WriteMode::kTruncate).ok());
  {
    ScopedFileFault full_disk("Pic.JDF", FileStage::kWrite, ENOSPC);
    OutputStage stage(dir.path(), "Pic");
    stage.Activate();
    ASSERT_TRUE(WriteTextFile(log, "log\n", WriteMode::kAppend).ok());
    // The write reaches the file at the end, and fails there.
    FileResult written = WriteTextFile(jdf, "new page", WriteMode::kTruncate, LineEnds::kPage);
    EXPECT_EQ(written.stage, FileStage::kWrite);
    EXPECT_EQ(written.cause, kFileErrorDiskFull);
    std::vector<std::string> failed;
    EXPECT_FALSE(stage.Publish(AllRanked, [&](const std::string& path, const FileResult&) {
      failed.push_back(path);
    }));
    EXPECT_EQ(failed, std::vector<std::string>{jdf});
  }
  EXPECT_EQ(ReadFile(jdf), "old page");
  EXPECT_EQ(ReadFile(log), "log\r\n");
  {
    OutputStage stage(dir.path(), "Pic");
    stage.Activate();
    ASSERT_TRUE(WriteTextFile(jdf, "newer page", WriteMode::kTruncate).ok());
    stage.Discard();
  }
  EXPECT_EQ(ReadFile(jdf), "old page");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"Pic.JDF", "Pic.Log"}));
}

// Every kind of name that is not a regular file of its own, made at `path`;
// `target` is a file elsewhere that a followed link would change.
void MakeOddName(const std::string& kind, const std::string& path, const std::string& target) {
  if (kind == "symlink") {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  } else if (kind == "dangling symlink") {
    ASSERT_EQ(::symlink((target + ".missing").c_str(), path.c_str()), 0);
  } else if (kind == "hard link") {
    ASSERT_EQ(::link(target.c_str(), path.c_str()), 0);
  } else if (kind == "fifo") {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  } else if (kind == "directory") {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  }
}

TEST(OutputStageTest, NamesThatAreNotRegularFilesAreRefusedAndLeftAlone) {
  for (const char* kind : {"symlink", "dangling symlink", "hard link", "fifo", "directory"}) {
    for (bool staged : {true, false}) {
      SCOPED_TRACE(std::string(kind) + (staged ? " staged" : " direct"));
      TempDir dir;
      TempDir elsewhere;
      const std::string target = elsewhere.File("precious");
      ASSERT_TRUE(WriteTextFile(target, "keep me", WriteMode::kTruncate).ok());
      const std::string path = dir.File("Pic.JDF");
      MakeOddName(kind, path, target);
      std::vector<std::string> notices;
      {
        OutputStage stage(staged ? dir.path() : elsewhere.File("other"), "Pic");
        stage.set_notice([&](const std::string& text) { notices.push_back(text); });
        stage.Activate();
        // A FIFO must not block: the test would hang here.
        FileResult result = WriteTextFile(path, "page", WriteMode::kTruncate);
        EXPECT_EQ(result.stage, FileStage::kOpen);
        EXPECT_EQ(result.cause, kFileRefusedNotRegular);
        FileResult opened;
        EXPECT_EQ(OpenOutputStream(dir.File("Pic.JDF"), &opened), nullptr);
        EXPECT_EQ(opened.cause, kFileRefusedNotRegular);
        EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
      }
      if (staged) {
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices[0], NotRegularFileText(path));
      }
      EXPECT_EQ(ReadFile(target), "keep me");
      struct stat status;
      ASSERT_EQ(::lstat(path.c_str(), &status), 0) << "the odd name itself is kept";
      EXPECT_FALSE(S_ISREG(status.st_mode) && status.st_nlink == 1);
    }
  }
}

TEST(OutputStageTest, ANameTurnedIntoALinkBeforePublishingIsNotReplaced) {
  TempDir dir;
  TempDir elsewhere;
  const std::string target = elsewhere.File("precious");
  ASSERT_TRUE(WriteTextFile(target, "keep me", WriteMode::kTruncate).ok());
  const std::string path = dir.File("Pic.htm");
  OutputStage stage(dir.path(), "Pic");
  stage.Activate();
  ASSERT_TRUE(WriteTextFile(path, "page", WriteMode::kTruncate).ok());
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  FileResult failure;
  EXPECT_FALSE(stage.Publish(AllRanked, [&](const std::string&, const FileResult& result) {
    failure = result;
  }));
  EXPECT_EQ(failure.cause, kFileRefusedNotRegular);
  EXPECT_EQ(ReadFile(target), "keep me");
}

TEST(OutputStageTest, StaleStagingFoldersOfThePictureAreRemovedOthersKept) {
  TempDir dir;
  for (const char* name : {".Pic.quillon-abc123", ".Pic.quillon-zzzzzz", ".Pic2.quillon-abc123",
                           ".Pic.quillon-abc1234", "Pic.quillon-abc123"}) {
    ASSERT_EQ(::mkdir(dir.File(name).c_str(), 0755), 0);
    ASSERT_TRUE(WriteTextFile(dir.File(name) + "/Pic.JDF", "half", WriteMode::kTruncate).ok());
  }
  {
    OutputStage stage(dir.path(), "Pic");
    stage.Activate();
    ASSERT_TRUE(WriteTextFile(dir.File("Pic.Log"), "x", WriteMode::kAppend).ok());
    EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
  }
  EXPECT_EQ(Entries(dir.path()),
            (std::vector<std::string>{".Pic.quillon-abc1234", ".Pic2.quillon-abc123", "Pic.Log",
                                      "Pic.quillon-abc123"}));
}

TEST(OutputStageTest, ASecondStageOfThePictureWaitsForTheFirst) {
  TempDir dir;
  auto first = std::make_unique<OutputStage>(dir.path(), "Pic");
  first->Activate();
  ASSERT_TRUE(WriteTextFile(dir.File("Pic.JDF"), "first", WriteMode::kTruncate).ok());
  std::atomic<bool> waiting{false};
  std::atomic<bool> done{false};
  std::thread second([&]() {
    // Another stage, as another run has it (the lock is taken per open file).
    OutputStage stage(dir.path(), "Pic");
    stage.set_notice([&](const std::string& text) {
      EXPECT_NE(text.find("being converted by another run"), std::string::npos);
      waiting = true;
    });
    FileResult result = stage.Write(dir.File("Pic.JDF"), "second", WriteMode::kTruncate);
    EXPECT_TRUE(result.ok());
    done = true;
    EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
  });
  for (int i = 0; i < 500 && !waiting; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(waiting.load());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(done.load()) << "the second stage did not wait";
  EXPECT_TRUE(first->Publish(AllRanked, nullptr));
  first.reset();
  second.join();
  EXPECT_TRUE(done.load());
  EXPECT_EQ(ReadFile(dir.File("Pic.JDF")), "second");
}

// Writes `bytes` as the image file `path` through a stage and publishes it.
void PublishImage(const std::string& folder, const std::string& path, const std::string& bytes) {
  OutputStage stage(folder, "Pic");
  stage.Activate();
  FileResult result;
  std::FILE* stream = OpenOutputStream(path, &result);
  ASSERT_NE(stream, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  ASSERT_TRUE(CloseOutputStream(stream, path, /*keep=*/true).ok());
  EXPECT_TRUE(OutputFileExists(path));
  EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
}

ino_t InodeOf(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_ino;
}

TEST(OutputStageTest, AnImageWithTheSameBytesIsLeftAsItIsAChangedOneReplaced) {
  TempDir dir;
  const std::string path = dir.File("Pic_B_P1.JPG");
  PublishImage(dir.path(), path, "image one");
  ASSERT_EQ(ReadFile(path), "image one");
  const ino_t first = InodeOf(path);
  PublishImage(dir.path(), path, "image one");
  EXPECT_EQ(InodeOf(path), first) << "an unchanged image was written again";
  PublishImage(dir.path(), path, "image two");
  EXPECT_EQ(ReadFile(path), "image two");
  PublishImage(dir.path(), path, "image");  // shorter: not a prefix match
  EXPECT_EQ(ReadFile(path), "image");
  // A failed image is not published and the previous one stays.
  {
    OutputStage stage(dir.path(), "Pic");
    stage.Activate();
    FileResult result;
    std::FILE* stream = OpenOutputStream(path, &result);
    ASSERT_NE(stream, nullptr);
    std::fputs("half", stream);
    EXPECT_TRUE(CloseOutputStream(stream, path, /*keep=*/false).ok());
    EXPECT_FALSE(stage.Has(path));
    EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
  }
  EXPECT_EQ(ReadFile(path), "image");
}

TEST(OutputStageTest, APictureWithTheLongestFileNamesStillHasItsFiles) {
  TempDir dir;
  const std::string name(251, 'n');  // NAME.grf: 255 characters
  for (int run = 0; run < 2; ++run) {
    OutputStage stage(dir.path(), name);
    stage.Activate();
    ASSERT_TRUE(WriteTextFile(dir.File(name + ".Log"), "log", WriteMode::kAppend).ok());
    EXPECT_TRUE(stage.Publish(AllRanked, nullptr));
  }
  EXPECT_EQ(ReadFile(dir.File(name + ".Log")), "log");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{name + ".Log"});
}

TEST(OutputStageTest, OnlyFilesDirectlyInTheFolderAreStaged) {
  OutputStage stage("/out/", "Pic");
  EXPECT_TRUE(stage.Covers("/out/Pic.JDF"));
  EXPECT_FALSE(stage.Covers("/out/sub/Pic.JDF"));
  EXPECT_FALSE(stage.Covers("/other/Pic.JDF"));
  EXPECT_FALSE(stage.Covers("/out/"));
  OutputStage here("", "Pic");
  EXPECT_TRUE(here.Covers("Pic.JDF"));
  EXPECT_FALSE(here.Covers("/out/Pic.JDF"));
}

}  // namespace
}  // namespace quillon
