// The options dialog, the directory picker and the node prompt, driven
// through the scripted user interface.
#include "driver/dialogs.h"

#include <sys/stat.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/console_ui.h"
#include "platform/text_file.h"
#include "support/test_env.h"

namespace quillon {
namespace {

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() {
    dialog.values = {dir.path() + "/out", 2, 1, 1, 0};
    ::mkdir((dir.path() + "/out").c_str(), 0755);
  }
  int Run(ScriptedUi::DialogScript script) {
    env.ui.QueueDialog(std::move(script));
    return env.ui.RunModal(&dialog);
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : env.ui.boxes) texts.push_back(box.text);
    return texts;
  }

  TestServices env;
  TempDir dir;
  std::vector<OptionValues> saved;
  CUsrOptDlg dialog{env.services, [this](const OptionValues& values) {
                      saved.push_back(values);
                      return save_result;
                    }};
  int save_result = 1;
};

TEST_F(OptionsDialogTest, OpensWithTheValuesAndApplyDisabled) {
  dialog.values.output_bmp = 1;
  Run([](Dialog* d) {
    EXPECT_EQ(d->Text(kOptUpdateRate), "2");
    EXPECT_TRUE(d->Checked(kOptBmp));
    EXPECT_FALSE(d->Checked(kOptJpeg));
    EXPECT_TRUE(d->Checked(kOptCabFiles));
    EXPECT_FALSE(d->Enabled(kOptApply));
    EXPECT_EQ(d->Find(kOptUpdateSpin)->range_low, 1);
    EXPECT_EQ(d->Find(kOptUpdateSpin)->range_high, 59);
  });
  EXPECT_EQ(dialog.result(), kIdCancel);
  EXPECT_EQ(env.ui.dialogs_shown, (std::vector<int>{146}));
}

TEST_F(OptionsDialogTest, EveryChangeEnablesApplyAndApplySavesTheFiveValues) {
  const int changes[] = {kOptDirectory, kOptUpdateRate, kOptCabFiles, kOptPlayBack, kOptJpeg,
                         kOptBmp};
  for (int control : changes) {
    Run([control](Dialog* d) {
      if (control == kOptDirectory || control == kOptUpdateRate) {
        d->UserTypes(control, d->Text(control));
      } else {
        d->UserClicks(control);
      }
      EXPECT_TRUE(d->Enabled(kOptApply)) << control;
    });
  }
  Run([this](Dialog* d) {
    d->UserTypes(kOptUpdateRate, "7");
    d->UserClicks(kOptBmp);
    d->UserClicks(kOptApply);
    EXPECT_FALSE(d->Enabled(kOptApply));
    d->UserClicks(kOptPlayBack);
    EXPECT_TRUE(d->Enabled(kOptApply)) << "a later change enables it again";
    save_result = 0;
    d->UserClicks(kOptApply);
    EXPECT_TRUE(d->Enabled(kOptApply)) << "a failed save keeps it enabled";
  });
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].output_directory, dir.path() + "/out/");
  EXPECT_EQ(saved[0].update_rate, 7);
  EXPECT_EQ(saved[0].output_bmp, 1);
  EXPECT_EQ(saved[0].use_cab_files, 1);
  EXPECT_EQ(saved[1].allow_play_back, 0);
}

TEST_F(OptionsDialogTest, UpdateRateOutsideOneToFiftyNineKeepsTheDialogOpen) {
  for (const char* rate : {"0", "60", "abc", ""}) {
    Run([rate](Dialog* d) {
      d->UserTypes(kOptUpdateRate, rate);
      d->UserClicks(kControlOk);
      EXPECT_FALSE(d->ended()) << rate;
      EXPECT_EQ(d->focus(), kOptUpdateRate);
      EXPECT_EQ(d->selection(), kOptUpdateRate);
    });
  }
  EXPECT_EQ(BoxTexts(), std::vector<std::string>(4, env.Text(47)));
  Run([](Dialog* d) {
    d->UserTypes(kOptUpdateRate, "59");
    d->UserClicks(kControlOk);
  });
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_EQ(dialog.values.update_rate, 59);
  EXPECT_EQ(dialog.values.output_directory, dir.path() + "/out/") << "a separator is added";
}

TEST_F(OptionsDialogTest, AMissingDirectoryIsMadeWholeAfterAskingAndConfirmedAgain) {
  const std::string deep = dir.path() + "/a/b/c";
  env.ui.QueueAnswer(kIdOk);
  Run([&](Dialog* d) {
    d->UserTypes(kOptDirectory, "  " + deep + "  ");
    d->UserClicks(kControlOk);
    EXPECT_FALSE(d->ended());
    EXPECT_TRUE(FileExists(deep));
    d->UserClicks(kControlOk);
  });
  EXPECT_EQ(dialog.result(), kIdOk);
  EXPECT_EQ(dialog.values.output_directory, deep + "/");
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].caption, env.Text(95));
  EXPECT_EQ(env.ui.boxes[0].text, env.Text(49));
  EXPECT_EQ(env.ui.boxes[0].style, 0x31u);
}

TEST_F(OptionsDialogTest, DirectoryChecks) {
  ASSERT_TRUE(WriteTextFile(dir.File("file"), "x", WriteMode::kTruncate).ok());
  ::mkdir(dir.File(".hidden").c_str(), 0755);
  struct Case {
    std::string directory;
    int answer;  // to the question of a missing directory
    int message;
    bool focus_directory;
  };
  const Case cases[] = {
      {"   ", kIdOk, 48, true},
      {dir.File("file"), kIdOk, 52, false},
      {dir.File(".hidden"), kIdOk, 51, false},
      {dir.File("missing"), kIdCancel, 49, true},
  };
  for (const Case& c : cases) {
    env.ui.boxes.clear();
    env.ui.QueueAnswer(c.answer);
    Run([&c](Dialog* d) {
      d->SetFocus(0);
      d->UserTypes(kOptDirectory, c.directory);
      d->UserClicks(kControlOk);
      EXPECT_FALSE(d->ended()) << c.directory;
      EXPECT_EQ(d->focus() == kOptDirectory, c.focus_directory) << c.directory;
    });
    ASSERT_EQ(env.ui.boxes.size(), 1u) << c.directory;
    EXPECT_EQ(env.ui.boxes[0].text, env.Text(c.message)) << c.directory;
  }
  EXPECT_FALSE(FileExists(dir.File("missing"))) << "cancelled: nothing made";
}

TEST_F(OptionsDialogTest, BrowseTakesTheChosenDirectoryAndKeepsWhatWasTyped) {
  ::mkdir(dir.File("picked").c_str(), 0755);
  env.ui.QueueDialog([this](Dialog* d) {
    dialog.UserTypes(kOptUpdateRate, "9");
    dialog.UserClicks(kOptBrowse);
    EXPECT_EQ(d->Text(kOptDirectory), dir.File("picked"));
    EXPECT_EQ(d->Text(kOptUpdateRate), "9");
    // The picker again, with its file name replaced: no directory is taken.
    dialog.UserClicks(kOptBrowse);
    EXPECT_EQ(d->Text(kOptDirectory), "");
  });
  env.ui.QueueDialog([this](Dialog* picker) {
    EXPECT_FALSE(picker->Visible(kDirFileName));
    EXPECT_EQ(picker->Text(kDirFileName), "Junk");
    EXPECT_EQ(picker->focus(), kDirList);
    EXPECT_EQ(picker->Find(kDirList)->selected_entry, 0);
    EXPECT_EQ(picker->Text(kDirCurrent), dir.path() + "/out");
    picker->UserTypes(kDirCurrent, dir.File("picked"));
    picker->UserClicks(kControlOk);
  });
  env.ui.QueueDialog([this](Dialog* picker) {
    picker->SetText(kDirFileName, "Other");
    picker->UserClicks(kControlOk);
  });
  env.ui.RunModal(&dialog);
  EXPECT_EQ(env.ui.dialogs_shown, (std::vector<int>{146, 1536, 1536}));
}

TEST_F(OptionsDialogTest, HelpOpensAtTheControlsContext) {
  Run([](Dialog* d) { d->UserAsksHelp(kOptUpdateRate); });
  EXPECT_EQ(env.ui.helps, (std::vector<std::pair<unsigned, int>>{{15u, kOptUpdateRate}}));
}

TEST(NodeDialogTest, AnEmptyNameIsRefusedAndANameUpperCased) {
  TestServices env;
  CGetNodeDlg dialog(env.services);
  dialog.explanation = "Node of PUMP1";
  env.ui.QueueDialog([](Dialog* d) {
    EXPECT_EQ(d->Text(kNodeExplanation), "Node of PUMP1");
    d->UserClicks(kControlOk);
    EXPECT_FALSE(d->ended());
    d->UserTypes(kNodeName, "scada1");
    d->UserClicks(kControlOk);
  });
  EXPECT_EQ(env.ui.RunModal(&dialog), kIdOk);
  EXPECT_EQ(dialog.node_name, "SCADA1");
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].text, env.Text(46));
}

TEST(ConsoleDialogTest, WithoutATerminalPresetsAreFilledAndOkPressed) {
  TestServices env;
  std::FILE* err = std::tmpfile();
  ConsoleUi ui(err, 0);
  // Nobody can answer the node prompt: the local node does.
  CGetNodeDlg node(env.services);
  EXPECT_EQ(ui.RunModal(&node), kIdOk);
  EXPECT_EQ(node.node_name, "THISNODE");
  ui.Preset(kNodeDialog, kNodeName, "scada2");
  CGetNodeDlg again(env.services);
  EXPECT_EQ(ui.RunModal(&again), kIdOk);
  EXPECT_EQ(again.node_name, "SCADA2");
  // A dialog that cannot be confirmed as it stands is cancelled.
  CGetNodeDlg empty(env.services);
  ui.Preset(kNodeDialog, kNodeName, "");
  EXPECT_EQ(ui.RunModal(&empty), kIdCancel);
  std::fclose(err);
}

// On a terminal the options dialog asks for every control by what it says:
// the check boxes and radio buttons by their captions, never by number.
TEST(ConsoleDialogTest, OnATerminalEveryControlIsAskedForByItsCaption) {
  TestServices env;
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  // Every question answered with its offer, then OK.
  const std::string answers(12, '\n');
  ASSERT_EQ(::write(master, answers.data(), answers.size()),
            static_cast<ssize_t>(answers.size()));
  std::FILE* in = ::fdopen(slave, "r");
  std::FILE* err = std::tmpfile();
  {
    ConsoleUi ui(err, 1);
    ui.set_input(in);
    std::vector<OptionValues> saved;
    CUsrOptDlg dialog{env.services, [&saved](const OptionValues& values) {
                        saved.push_back(values);
                        return 1;
                      }};
    dialog.values = {"/tmp", 2, 1, 1, 0};
    ui.RunModal(&dialog);
  }
  std::fflush(err);
  std::rewind(err);
  std::string shown;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, err)) > 0) shown.append(buffer, got);
  for (const char* caption : {"Use the packed viewer archive", "Allow playback of recorded values",
                              "BMP (exact colours, larger files)"}) {
    EXPECT_NE(shown.find(caption), std::string::npos) << caption << " in:\n" << shown;
  }
  for (const char* number : {"1015 [", "1016 [", "1017 [", "1018 ["}) {
    EXPECT_EQ(shown.find(number), std::string::npos) << number << " in:\n" << shown;
  }
  std::fclose(err);
  std::fclose(in);
  ::close(master);
}

TEST(CreateDirectoryPathTest, MakesEveryLevelAndReportsWhatCannotBeMade) {
  TestServices env;
  TempDir dir;
  EXPECT_TRUE(CreateDirectoryPath(env.services, dir.File("x/y/z")));
  EXPECT_TRUE(FileExists(dir.File("x/y/z")));
  EXPECT_TRUE(CreateDirectoryPath(env.services, dir.File("x/y/z/")));
  ASSERT_TRUE(WriteTextFile(dir.File("f"), "x", WriteMode::kTruncate).ok());
  EXPECT_FALSE(CreateDirectoryPath(env.services, dir.File("f/sub")));
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_FALSE(env.ui.boxes[0].text.empty());
}

}  // namespace
}  // namespace quillon
