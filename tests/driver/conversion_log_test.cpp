// The log, the file-error reports and the progress window.
#include "driver/conversion_log.h"

#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "driver/application.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "quillon/quillon.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class RecordingWindow : public LogWindow {
 public:
  void SendLogMessage(unsigned message, unsigned long wparam, const std::string& line) override {
    EXPECT_EQ(message, 1123u);
    EXPECT_EQ(wparam, 0u);
    lines.push_back(line);
  }
  std::vector<std::string> lines;
};

class ConversionLogTest : public ::testing::Test {
 protected:
  TestServices env;
  TempDir dir;
  ConversionLog log{&env.services};
  std::string Text(int id) const { return env.Text(id); }
  std::string Content() const { return ReadFile(dir.File("Pic1.Log")); }
};

TEST_F(ConversionLogTest, RunBannerNamesPictureAndOutput) {
  log.StartLog("Pic1.Log", "Pic1", dir.path() + "/", "/pics/", nullptr,
               ConversionLog::Banner::kRun);
  const std::string out = dir.path() + "/Pic1";
  EXPECT_EQ(Content(), ToCrLf(Text(77) + FormatText(Text(78), {"/pics/Pic1", out, out})));
}

TEST_F(ConversionLogTest, CodesChoosePrefixAndLineEnd) {
  log.StartLog("Pic1.Log", "Pic1", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
  EXPECT_EQ(log.WriteLogLine("plain", 5), 1);
  EXPECT_EQ(log.WriteLogLine("warn", kLogWarning), 1);
  EXPECT_EQ(log.WriteLogLine("err", kLogError), 1);
  EXPECT_EQ(log.WriteLogLine("two\nlines\r\n", 0), 1);
  // The directory has no trailing separator: the log still lands inside it.
  EXPECT_EQ(Content(), ToCrLf(Text(79)) + "plain" + Text(81) + "warn\r\n" + Text(82) +
                           "err\r\n" + "two\r\nlines\r\n");
}

TEST_F(ConversionLogTest, QueuedLinesStandTogetherUnderOneHeading) {
  log.StartLog("Pic1.Log", "Pic1", dir.path() + "/", "", nullptr,
               ConversionLog::Banner::kWriter);
  const std::string banner = Content();
  log.QueueLine("one", kSeveritySevere);
  log.QueueLine("two", kSeverityWarning);
  log.QueueLine("three", 7);
  EXPECT_EQ(Content(), banner) << "queued lines are not written yet";
  log.FlushObject("Rect", "Rect1");
  const std::string expected = banner + ToCrLf(FormatText(Text(83), {"Rect", "Rect1"})) +
                               Text(80) + "one\r\n" + Text(81) + "two\r\n" + Text(82) +
                               "three\r\n";
  EXPECT_EQ(Content(), expected);
  EXPECT_TRUE(log.pending().empty());
  log.FlushObject("Rect", "Rect1");
  EXPECT_EQ(Content(), expected) << "a second flush writes nothing";
}

TEST_F(ConversionLogTest, LogWindowReceivesEveryLine) {
  RecordingWindow window;
  log.StartLog("Pic1.Log", "Pic1", dir.path(), "", &window, ConversionLog::Banner::kWriter);
  log.WriteLogLine("x", kLogError);
  ASSERT_EQ(window.lines.size(), 2u);
  EXPECT_EQ(window.lines[0], Text(79));
  EXPECT_EQ(window.lines[1], Text(82) + "x\r\n");
}

TEST_F(ConversionLogTest, ALogRemovedBetweenLinesIsStartedAgainAsEveryLineOpensIt) {
  log.StartLog("Pic1.Log", "Pic1", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
  std::remove(dir.File("Pic1.Log").c_str());
  EXPECT_EQ(log.WriteLogLine("after", 0), 1);
  EXPECT_EQ(Content(), "after");
  // Another writer of the same file appends between our lines.
  ASSERT_TRUE(WriteTextFile(dir.File("Pic1.Log"), "|other|", WriteMode::kAppend).ok());
  EXPECT_EQ(log.WriteLogLine("again", 0), 1);
  EXPECT_EQ(Content(), "after|other|again");
}

TEST_F(ConversionLogTest, WithoutFileNameTheDefaultNameIsUsed) {
  ConversionLog bare(&env.services);
  EXPECT_EQ(bare.WriteLogLine("x", 0), 1);  // the current directory
  EXPECT_EQ(bare.file_name(), "Quillon.log");
  std::remove("Quillon.log");
}

TEST_F(ConversionLogTest, UnopenableLogReportsTheFileErrorAndGoesOn) {
  log.StartLog("Pic1.Log", "Pic1", dir.File("missing/"), "", nullptr,
               ConversionLog::Banner::kWriter);
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].caption, Text(110));
  EXPECT_EQ(env.ui.boxes[0].text, FileErrorText(3, dir.File("missing/Pic1.Log")));
  EXPECT_EQ(log.WriteLogLine("x", 0), 0);
  EXPECT_EQ(env.ui.boxes.size(), 2u);
}

TEST_F(ConversionLogTest, DiskFullShowsTheNumericCause) {
  ScopedFileFault full_disk("full.Log", FileStage::kWrite, ENOSPC);
  ConversionLog full(&env.services);
  full.StartLog("full.Log", "full", dir.path(), "", nullptr, ConversionLog::Banner::kWriter);
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].text, "13");
  EXPECT_EQ(full.WriteLogLine("x", kLogError), 0);
}

TEST(FileErrorTextTest, EveryCauseHasItsText) {
  EXPECT_EQ(FileErrorText(2, "a.JDF"), "Could not find a.JDF");
  EXPECT_EQ(FileErrorText(1, "f"), "f: An Unspecific Error occurred");
  EXPECT_EQ(FileErrorText(3, "f"),
            "f: The destination directory does not exist.\nEnter a valid destination "
            "directory and try again.");
  EXPECT_EQ(FileErrorText(13, "f"), "f: Disk Drive full.");
  EXPECT_EQ(FileErrorText(14, "f"), "f: Reached end of file.");
  EXPECT_EQ(FileErrorText(0, "f"), "");
  EXPECT_EQ(FileErrorText(15, "f"), "");
  // A file name holding a placeholder is shown as it stands.
  EXPECT_EQ(FileErrorText(2, "%s%d"), "Could not find %s%d");
  for (int cause = 1; cause <= 14; ++cause) {
    EXPECT_NE(FileErrorText(cause, "F").find('F'), std::string::npos) << cause;
  }
}

TEST(FileErrorTextTest, AnUnknownCauseStillShowsABox) {
  TestServices env;
  ReportFileError(env.services, 99, "x");
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].text, "");
}

TEST(ProgressWindowTest, StatusCancelAndClose) {
  TestServices env;
  CFileConvDlg& window = env.progress;
  window.SetStatus("before");  // no window yet: nothing shown
  window.ShowProgress();
  EXPECT_EQ(window.cancel_flag(), 0);
  window.SetStatus(kStatusReadingObjects);
  EXPECT_EQ(env.ui.statuses, (std::vector<std::string>{"Reading objects for conversion..."}));
  EXPECT_FALSE(env.ui.progress_titles.at(0).empty()) << "the window has a caption";

  env.ui.PlayEventAt(2, UiEvent::kCancel);
  EXPECT_EQ(window.PumpMessages(), 1);
  EXPECT_FALSE(window.cancelled());
  EXPECT_EQ(window.PumpMessages(), 1);
  EXPECT_TRUE(window.cancelled());
  EXPECT_FALSE(window.is_open());
  window.SetStatus("after");
  window.CloseProgress();  // already gone: not closed twice
  EXPECT_EQ(env.ui.calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(env.ui.statuses.size(), 1u);

  window.ShowProgress();
  EXPECT_EQ(window.cancel_flag(), 0) << "a new window clears the flag";
  window.CloseProgress();
  EXPECT_TRUE(window.cancelled()) << "closing counts as a cancel";
}

TEST(ProgressWindowTest, QuitIsPutBack) {
  TestServices env;
  env.progress.ShowProgress();
  env.ui.PlayEventAt(1, UiEvent::kOther);
  env.ui.PlayEventAt(1, UiEvent::kQuit);
  EXPECT_EQ(env.progress.PumpMessages(), 0);
  EXPECT_TRUE(env.ui.quit_posted());
  EXPECT_FALSE(env.progress.cancelled());
}

TEST(ApplicationTest, MissingResourceModuleShowsTheBuiltInMessage) {
  ScriptedUi ui;
  CQuillonDllApp app;
  EXPECT_EQ(app.InitInstance(&ui, "libNoSuchResourceModule.so"), 0);
  EXPECT_FALSE(app.ready());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Error Loading the QuillonDllResource.dll");
  Services services = app.ServicesFor(&ui);
  EXPECT_EQ(services.Text(110), "");
}

TEST(ApplicationTest, LoadsTheResourceModuleByName) {
  ScriptedUi ui;
  CQuillonDllApp app;
  EXPECT_EQ(app.InitInstance(&ui), 1);
  EXPECT_TRUE(ui.boxes.empty());
  Services services = app.ServicesFor(&ui);
  EXPECT_EQ(services.Text(110), "Picture Converter");
  services.Message("hello");
  EXPECT_EQ(ui.boxes.at(0).caption, "Picture Converter");
  app.ExitInstance();
  EXPECT_FALSE(app.ready());
}

TEST(FormatTextTest, SubstitutesInOrderAndNeverReadsPastTheArguments) {
  struct Case {
    const char* text;
    std::initializer_list<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      {"%s and %s", {"a", "b"}, "a and b"},
      {"%d%%", {"5"}, "5%"},
      {"%ld-%s-%s", {"1", "x"}, "1-x-"},
      {"100%", {}, "100%"},
      {"%f %x", {"a"}, "%f %x"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatText(c.text, c.args), c.expected) << c.text;
  EXPECT_EQ(ToCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace quillon
