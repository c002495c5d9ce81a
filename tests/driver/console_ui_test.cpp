// The terminal presentation: message boxes and status lines on the error
// stream, Ctrl-C as the progress window's Cancel button.
#include "platform/console_ui.h"

#include <csignal>
#include <cstdio>

#include <gtest/gtest.h>

#include "driver/progress_window.h"
#include "support/test_env.h"

namespace quillon {
namespace {

TEST(ConsoleUiTest, OffATerminalStatusesAreLinesAtMostOneASecond) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    ConsoleUi ui(err, /*interactive=*/0);
    ui.SetProgressText("not shown: no window");
    ui.OpenProgress("Converting");
    ui.SetProgressText("Reading objects for conversion...");
    ui.SetProgressText("Reading objects for conversion...");
    ui.SetProgressText("Two\r\nlines\r\n");
    EXPECT_EQ(ui.MessageBox("Picture Converter", "Could not find a.JDF", kMbOk), kIdOk);
    EXPECT_EQ(ui.MessageBox("Picture Converter", "Create it?", kMbOkCancel), kIdOk);
    ui.CloseProgress();
  }
  // The second status came within the second: it is printed when the window closes.
  EXPECT_EQ(WrittenTo(err),
            "Reading objects for conversion...\n"
            "Picture Converter: Could not find a.JDF\nPicture Converter: Create it?\n"
            "Two lines\n");
  std::fclose(err);
}

TEST(ConsoleUiTest, OnATerminalTheStatusIsRedrawnInPlace) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    ConsoleUi ui(err, /*interactive=*/1);
    ui.OpenProgress("Converting");
    ui.SetProgressText("one");
    ui.SetProgressText("two");
    ui.CloseProgress();
  }
  EXPECT_EQ(WrittenTo(err), "Converting\n\r\033[Kone\r\033[Ktwo\n");
  std::fclose(err);
}

TEST(ConsoleUiTest, InterruptIsTheCancelButtonWhileTheWindowIsOpen) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  ConsoleUi ui(err, 0);
  CFileConvDlg window(&ui, &TestResources());
  window.ShowProgress();
  EXPECT_EQ(window.PumpMessages(), 1);
  EXPECT_FALSE(window.cancelled());
  std::raise(SIGINT);
  EXPECT_EQ(window.PumpMessages(), 1);
  EXPECT_TRUE(window.cancelled());
  EXPECT_FALSE(window.is_open());
  std::fclose(err);
}

TEST(ConsoleUiTest, TerminateIsAQuitThatStaysPosted) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  ConsoleUi ui(err, 0);
  CFileConvDlg window(&ui, &TestResources());
  window.ShowProgress();
  std::raise(SIGTERM);
  EXPECT_EQ(window.PumpMessages(), 0);
  EXPECT_EQ(window.PumpMessages(), 0) << "the quit is put back for the host";
  EXPECT_FALSE(window.cancelled());
  window.CloseProgress();
  std::fclose(err);
}

}  // namespace
}  // namespace quillon
