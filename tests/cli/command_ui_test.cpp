// The command's progress line: counts of objects read and written, redrawn
// at most ten times a second however fast the statuses of the objects come.
#include "command_ui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/progress_window.h"
#include "support/test_env.h"

namespace quillon {
namespace cli {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The statuses of one object take turns for every object: the line is not
// redrawn for each of them, and the last counts are shown when it closes.
TEST(CommandUiTest, StatusesOfEveryObjectAreDrawnAtMostTenTimesASecond) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    CommandUi ui(err, /*interactive=*/1);
    ui.StartPicture(1, 2);
    ui.OpenProgress("Converting");
    for (int i = 0; i < 3000; ++i) {
      ui.SetProgressText(kStatusReadingObjects);
      ui.SetProgressText(kStatusConvertingObject);
      ui.SetProgressText(kStatusConvertingAnimation);
    }
    // A status new to the picture starts a step: drawn at once.
    ui.SetProgressText(kStatusWritingObject);
    EXPECT_NE(WrittenTo(err).find("Writing object ... (3000 objects read, 1 written)"),
              std::string::npos);
    ui.SetProgressText(kStatusWritingObject);
    ui.CloseProgress();
    EXPECT_EQ(ui.objects_read(), 3000u);
    EXPECT_EQ(ui.objects_written(), 2u);
  }
  const std::string text = WrittenTo(err);
  // Each of the first three statuses once, the step to writing, and what
  // the run's time allowed at ten a second; 9001 without the limit.
  EXPECT_LT(Count(text, "\r\033[K"), 40u) << text;
  EXPECT_NE(text.find("picture 1 of 2: Writing object ... (3000 objects read, 2 written)\n"),
            std::string::npos)
      << text;
  std::fclose(err);
}

// A new picture starts its steps afresh: its first status is drawn at once.
TEST(CommandUiTest, ANewPictureDrawsItsFirstStatusAtOnce) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  {
    CommandUi ui(err, /*interactive=*/1);
    ui.StartPicture(1, 2);
    ui.OpenProgress("Converting");
    ui.SetProgressText(kStatusConvertingObject);
    ui.CloseProgress();
    ui.StartPicture(2, 2);
    ui.OpenProgress("Converting");
    ui.SetProgressText(kStatusConvertingObject);
    ui.CloseProgress();
  }
  const std::string text = WrittenTo(err);
  EXPECT_NE(text.find("picture 2 of 2: Converting object ... (1 objects read, 0 written)"),
            std::string::npos)
      << text;
  std::fclose(err);
}

}  // namespace
}  // namespace cli
}  // namespace quillon
