// Animations written on a second thread beside the objects, or while the
// picture is still being read: the page, the log, the statuses, the dialogs
// and the numbers are those of writing them one after another, whether the
// second thread's work is kept or dropped.
#include <unistd.h>

#include <functional>

#include "driver/dialogs.h"
#include "emitter_fixture.h"
#include "platform/dialog.h"
#include "platform/output_stage.h"
#include "platform/spill_file.h"

namespace quillon {
namespace {

struct Outcome {
  int result = -1;
  std::string jdf;
  std::string log;
  std::vector<std::string> statuses;
  std::vector<int> dialogs;
  size_t boxes = 0;
  int expressions = 0;
  int scale_stages = 0;
  std::string node;
  bool beside = false;
  bool early = false;
  bool objects_early = false;
  bool node_key = false;
  size_t set_aside = 0;
};

class ParallelAnimationsTest : public AnimationPageTest {
 protected:
  // Rectangles, then animations of every kind that the writer translates:
  // tables, scales, formats with stages, pens, expressions, clock values,
  // data items and alarm links.
  void AddPlant(int rectangles, int rounds, const std::function<void()>& after_round = nullptr) {
    for (int i = 2; i <= rectangles; ++i) {
      AddObject("Rect", "Rect" + std::to_string(i), "HorizontalPosition\t" + std::to_string(i) +
                                                        "\tWidth\t30\t");
    }
    const std::vector<Change> width = {
        {"inMin", "-32768"}, {"inMax", "32767"}, {"outMin", "-32768.0"}, {"outMax", "32767.0"}};
    for (int i = 0; i < rounds; ++i) {
      const std::string n = std::to_string(i);
      AddAnimation("Lookup", "L" + n, RecordText(LookupPairs("L" + n)));
      AddAnimation("Linear", "N" + n, RecordText(LinearPairs(), {{"Name", ("N" + n).c_str()}}));
      AddAnimation("Format", "F" + n,
                   RecordText(AnimationPairs("Format", "F" + n, "Width"), width));
      AddAnimation("Format", "E" + n,
                   RecordText(AnimationPairs("Format", "E" + n, "HorizontalPosition"),
                              [&]() {
                                std::vector<Change> changes = width;
                                changes.push_back({"Source",
                                                   "DS.NODE1.T1.F_CV + DS.NODE1.T2.F_CV"});
                                return changes;
                              }()));
      AddAnimation("Pen", "P" + n, RecordText(PenPairs(), {{"Name", ("P" + n).c_str()}}));
      AddAnimation("GlobalSysInfo", "Clock" + n,
                   RecordText({{"PropertyName", "Caption"},
                               {"FullyQualifiedSource", "System.CurrentTime"},
                               {"FullyQualifiedName", "Pic1.Text1.Caption"},
                               {"Name", "Clock" + n},
                               {"ClassName", "GlobalSysInfo"},
                               {"ParentProperty", "Caption"},
                               {"ParentShape", "Text"},
                               {"IsGroupScale", "0"}}));
      AddAnimation("COPCDataItem", "COPCDataItem-" + n,
                   RecordText({{"ClassName", "COpcDataItem"},
                               {"PropertyName", "Width"},
                               {"FullyQualifiedSource", "DS.NODE1.T1.F_CV"},
                               {"ParentFullName", "Pic1.Rect1"},
                               {"ParentShape", "Rect"},
                               {"IsGroupScale", "0"}},
                              width));
      AddAnimation("AlarmTextLink", "A" + n,
                   "\tName\tA" + n + "\tClassName\tAlarmTextLink\tFullyQualifiedName\tPic1.T" +
                       n + ".A" + n + "\tSource\tNODE1.T1.A_CUALM\t");
      // One that cannot be written, for a log line.
      AddAnimation("Lookup", "Bad" + n, RecordText(LookupPairs("Bad" + n), {{"Count", nullptr}}));
      if (with_groups) AddGroups(n);
      if (after_round) after_round();
    }
  }

  // A group G<n> of the top level, as the reader leaves it: its members
  // (a rectangle and a group H<n> holding an oval) first, then its record.
  void AddGroups(const std::string& n) {
    AddRecord(&pictures, "Rect", "GR" + n, "\tName\tGR" + n + "\tClassName\tRect\tWidth\t5\t");
    AddRecord(&pictures, "Oval", "GO" + n, "\tName\tGO" + n + "\tClassName\tOval\t");
    groups.Set("#G" + n, "GR" + n + "(Rect)\t#H" + n + "\t");
    groups.Set("#H" + n, "GO" + n + "(Oval)\t");
    AddRecord(&pictures, "Group", "H" + n, "\tName\tH" + n + "\tClassName\tGroup\t");
    AddRecord(&pictures, "Group", "G" + n, "\tName\tG" + n + "\tClassName\tGroup\tVisible\t0\t");
    AppendToSequence(&pictures, "Group", "G" + n, kObjectSequence);
  }

  // Writes the page into a stage, from copies of the maps, the numbers and
  // the settings as they are now; `parallel` as set_parallel_animations.
  Outcome WriteStagedPage(size_t parallel) {
    const PictureMap saved_pictures = pictures;
    const GroupMap saved_groups = groups;
    const ProcessState saved_state = state;
    StartPage();
    Outcome outcome;
    {
      OutputStage stage(dir.path(), "Pic1");
      stage.Activate();
      WritePageInto(&outcome, parallel, nullptr);
      stage.Publish([](const std::string&) { return 0; }, nullptr);
    }
    Collect(&outcome);
    pictures = saved_pictures;
    groups = saved_groups;
    state = saved_state;
    return outcome;
  }

  // Builds the plant as the reader does, handing what it added to a writer
  // of early animations after every round (the reader does so after every
  // object); `after_read` may then change the map and the numbers, as a
  // reader might after handing records over. Writes the page in a stage;
  // `*read_state` gets the numbers as reading left them.
  Outcome WriteEarlyPage(int rectangles, int rounds,
                         const std::function<void(PictureMap*, ProcessState*)>& after_read,
                         ProcessState* read_state) {
    StartPage();
    Outcome outcome;
    {
      OutputStage stage(dir.path(), "Pic1");
      stage.Activate();
      PageWriter::EarlySetup setup;
      setup.services = &env.services;
      setup.output_base = base();
      setup.use_cab_files = 1;
      setup.allow_play_back = 1;
      setup.registry = &settings;
      setup.state = &state;
      setup.min_items = 1;
      setup.most_queued = most_queued;
      std::unique_ptr<PageWriter::EarlyWriters> early =
          PageWriter::PrepareEarlyWriters(setup);
      AddPlant(rectangles, rounds, [&]() { early->Feed(pictures, groups); });
      if (after_read) after_read(&pictures, &state);
      early->Feed(pictures, groups);
      EXPECT_TRUE(early->started());
      *read_state = state;
      WritePageInto(&outcome, 1, std::move(early));
      stage.Publish([](const std::string&) { return 0; }, nullptr);
    }
    Collect(&outcome);
    return outcome;
  }

  void StartPage() {
    ::unlink(dir.File("Pic1.JDF").c_str());
    ::unlink(dir.File("Pic1.Log").c_str());
    env.ui.statuses.clear();
    env.ui.dialogs_shown.clear();
    env.ui.boxes.clear();
    env.progress.ShowProgress();
    for (int i = 0; i < prompts; ++i) env.ui.QueueDialog(answer);
  }

  void WritePageInto(Outcome* outcome, size_t parallel,
                     std::unique_ptr<PageWriter::EarlyWriters> early) {
    PageWriter writer(&env.services);
    EXPECT_EQ(writer.Init(base(), 1, 1, &groups, &pictures, 0, nullptr), 1);
    writer.SetTranslation(&settings, &state);
    writer.set_parallel_animations(parallel);
    writer.AdoptEarlyWriters(std::move(early));
    long height = 0, width = 0;
    std::string background;
    int rate = 0;
    writer.LoadPageProperties(&height, &width, &background, &rate);
    outcome->result = writer.WriteDocument(height, width, background, "1.0");
    outcome->beside = writer.animations_written_beside();
    outcome->early = writer.animations_written_early();
    outcome->objects_early = writer.objects_written_early();
    outcome->set_aside = writer.lines_set_aside();
  }

  void Collect(Outcome* result) {
    Outcome& outcome = *result;
    outcome.jdf = Jdf();
    outcome.log = Log();
    outcome.statuses = env.ui.statuses;
    outcome.dialogs = env.ui.dialogs_shown;
    outcome.boxes = env.ui.boxes.size();
    outcome.expressions = state.expressions;
    outcome.scale_stages = state.scale_stages;
    outcome.node = state.remembered_node;
    std::string ignored;
    outcome.node_key = settings.ReadString(RegistryRoot::kClassesRoot,
                                           "Software\\Qev Dynamics\\NODENAME", "",
                                           &ignored) == RegistryResult::kOk;
  }

  // Both ways, from the same start; the second thread's work kept or not.
  // A dialog the second thread had answered before its work was dropped is
  // asked again by the calling thread.
  void ExpectSameBothWays(bool kept_beside) {
    MemoryRegistry start = settings;
    const Outcome one_after_another = WriteStagedPage(0);
    const MemoryRegistry after_one = settings;
    settings = start;
    const Outcome beside = WriteStagedPage(1);
    EXPECT_EQ(one_after_another.result, 1);
    EXPECT_FALSE(one_after_another.beside);
    EXPECT_EQ(beside.beside, kept_beside);
    ExpectSame(beside, one_after_another, kept_beside);
    EXPECT_EQ(settings.generation() - start.generation(),
              after_one.generation() - start.generation());
  }

  void ExpectSame(const Outcome& beside, const Outcome& one_after_another, bool kept_beside) {
    EXPECT_EQ(beside.result, one_after_another.result);
    EXPECT_TRUE(beside.jdf == one_after_another.jdf);
    EXPECT_EQ(beside.log, one_after_another.log);
    EXPECT_EQ(beside.statuses, one_after_another.statuses);
    if (kept_beside) {
      EXPECT_EQ(beside.dialogs, one_after_another.dialogs);
    } else {
      EXPECT_GE(beside.dialogs.size(), one_after_another.dialogs.size());
    }
    EXPECT_EQ(beside.boxes, one_after_another.boxes);
    EXPECT_EQ(beside.expressions, one_after_another.expressions);
    EXPECT_EQ(beside.scale_stages, one_after_another.scale_stages);
    EXPECT_EQ(beside.node, one_after_another.node);
    EXPECT_EQ(beside.node_key, one_after_another.node_key);
  }

  // The plant written while it is read, and after reading from the numbers
  // reading left; the early thread's work kept or not. Returns the first.
  Outcome ExpectSameEarly(const std::function<void(PictureMap*, ProcessState*)>& after_read,
                          bool kept, bool objects_kept, int rectangles = 30) {
    const MemoryRegistry start = settings;
    const ProcessState start_state = state;
    ProcessState read_state;
    const Outcome early = WriteEarlyPage(rectangles, 40, after_read, &read_state);
    settings = start;
    state = read_state;
    const Outcome one_after_another = WriteStagedPage(0);
    state = start_state;
    EXPECT_EQ(one_after_another.result, 1);
    EXPECT_EQ(early.early, kept);
    EXPECT_EQ(early.objects_early, objects_kept);
    ExpectSame(early, one_after_another, kept && objects_kept);
    return early;
  }

  MemoryRegistry& settings = registry;
  int prompts = 0;
  bool with_groups = false;
  size_t most_queued = 256;
  std::function<void(Dialog*)> answer = [](Dialog* d) {
    d->UserTypes(kNodeName, "node1");
    d->UserClicks(kControlOk);
  };
};

TEST_F(ParallelAnimationsTest, EveryKindOfAnimationGivesTheSamePage) {
  struct Case {
    const char* what;
    bool node_key;
    const char* answer;
  };
  const Case cases[] = {
      {"a node given", true, "node1"},
      // This node's name is read from the settings, whose key is made.
      {"this node, no node name in the settings", false, "THISNODE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPicture();
    if (c.node_key) {
      settings.Put(RegistryRoot::kClassesRoot, "Software\\Qev Dynamics\\NODENAME", "", "NODE1");
    }
    AddPlant(300, 40);
    // Each clock value asks for the node; the answers come from the calling
    // thread's user interface in both ways.
    prompts = 40;
    const std::string given = c.answer;
    answer = [given](Dialog* d) {
      d->UserTypes(kNodeName, given);
      d->UserClicks(kControlOk);
    };
    ExpectSameBothWays(true);
    const Outcome outcome = WriteStagedPage(1);
    EXPECT_NE(outcome.jdf.find("(Exp"), std::string::npos);
    EXPECT_NE(outcome.jdf.find("TAVScale-"), std::string::npos);
    EXPECT_NE(outcome.log.find("Bad0"), std::string::npos);
    EXPECT_EQ(outcome.node_key, true);
  }
}

TEST_F(ParallelAnimationsTest, WhatOnlyTheCallingThreadMayDoDropsTheSecondThreadsWork) {
  struct Case {
    const char* what;
    std::function<void(PictureMap*)> arrange;
  };
  const Case cases[] = {
      {"an object of an animation class among the objects",
       [](PictureMap* pictures) {
         AddRecord(pictures, "Lookup", "Early", RecordText(LookupPairs("Early")));
         AppendToSequence(pictures, "Lookup", "Early", kObjectSequence);
       }},
      {"a group first among the animations",
       [](PictureMap* pictures) {
         AddRecord(pictures, "Group", "G1", "\tName\tG1\tClassName\tGroup\t");
         AppendToSequence(pictures, "Group", "G1", kAnimationSequence);
       }},
      {"an animation listed among the objects too",
       [](PictureMap* pictures) {
         AddRecord(pictures, "Lookup", "L99", RecordText(LookupPairs("L99")));
         AppendToSequence(pictures, "Lookup", "L99", kObjectSequence);
         AppendToSequence(pictures, "Lookup", "L99", kAnimationSequence);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPicture();
    settings = MemoryRegistry();
    const std::string key = "QEV32\\DataSources\\X";
    settings.Put(RegistryRoot::kClassesRoot, key, "", "DS");
    settings.Put(RegistryRoot::kClassesRoot, key, "OpcProgID", "Velquist.OPCEDA");
    settings.Put(RegistryRoot::kClassesRoot, "Software\\Qev Dynamics\\NODENAME", "", "NODE1");
    c.arrange(&pictures);
    AddPlant(20, 5);
    prompts = 10;
    ExpectSameBothWays(false);
  }
}

TEST_F(ParallelAnimationsTest, FewAnimationsStayOnTheCallingThread) {
  AddPlant(5, 2);
  EXPECT_FALSE(WriteStagedPage(100).beside);
  EXPECT_FALSE(WriteStagedPage(0).beside);
  EXPECT_TRUE(WriteStagedPage(18).beside);
}

TEST_F(ParallelAnimationsTest, ObjectsAndAnimationsWrittenWhileReadingGiveTheSamePage) {
  struct Case {
    const char* what;
    std::function<void(PictureMap*, ProcessState*)> after_read;
    bool kept;          // the animations
    bool objects_kept;  // the objects
  };
  GroupMap* group_map = &groups;
  const Case cases[] = {
      {"nothing changed after it was handed over", nullptr, true, true},
      {"an animation record changed afterwards",
       [](PictureMap* pictures, ProcessState*) {
         std::string* record = pictures->FindMutable(RecordKey("F3", "Format"));
         ASSERT_NE(record, nullptr);
         SetRecordProperty(record, "outMax", "99.0", 1);
       },
       false, true},
      {"an object record changed afterwards",
       [](PictureMap* pictures, ProcessState*) {
         std::string* record = pictures->FindMutable(RecordKey("Rect7", "Rect"));
         ASSERT_NE(record, nullptr);
         SetRecordProperty(record, "Width", "31", 1);
       },
       true, false},
      {"a group member's record changed afterwards",
       [](PictureMap* pictures, ProcessState*) {
         std::string* record = pictures->FindMutable(RecordKey("GO2", "Oval"));
         ASSERT_NE(record, nullptr);
         SetRecordProperty(record, "Visible", "0", 1);
       },
       true, false},
      {"a group given another member afterwards",
       [group_map](PictureMap*, ProcessState*) { *group_map->FindMutable("#G3") += "Rect2(Rect)\t"; },
       true, false},
      {"two groups of the same name",
       [group_map](PictureMap*, ProcessState*) { group_map->Set("#Z#G4", "Rect3(Rect)\t"); },
       true, false},
      {"a key named twice in the animation sequence",
       [](PictureMap* pictures, ProcessState*) {
         AppendToSequence(pictures, "Lookup", "L2", kAnimationSequence);
       },
       false, true},
      // Written once; the second time its record is missing, as it is when
      // the objects are written after reading.
      {"an object listed twice",
       [](PictureMap* pictures, ProcessState*) {
         AppendToSequence(pictures, "Rect", "Rect9", kObjectSequence);
       },
       true, true},
      {"an object referred to that was read after the reference",
       [](PictureMap* pictures, ProcessState*) {
         AddRecord(pictures, "Lookup", "Late", RecordText(LookupPairs("Late")));
       },
       false, true},
      {"an animation listed among the objects too",
       [](PictureMap* pictures, ProcessState*) {
         AppendToSequence(pictures, "Lookup", "L5", kObjectSequence);
       },
       false, false},
      {"a number the reader drew that the thread drew too",
       [](PictureMap*, ProcessState* state) { state->expressions += 5; }, false, true},
      {"a number only the reader drew",
       [](PictureMap*, ProcessState* state) { state->data_items += 7; }, true, true},
  };
  with_groups = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPicture();
    settings.Put(RegistryRoot::kClassesRoot, "Software\\Qev Dynamics\\NODENAME", "", "NODE1");
    // A reference to an object of this picture, looked for when its
    // animation is written.
    AddAnimation("Linear", "Ref", RecordText(LinearPairs(), {{"Name", "Ref"},
                                                            {"Source", "Pic1.Late.Value"}}));
    prompts = 40;
    ExpectSameEarly(c.after_read, c.kept, c.objects_kept);
  }
}

TEST_F(ParallelAnimationsTest, LinesKeptOnDiskUntilTakenOverGiveTheSamePage) {
  // Enough objects and animations for each thread to keep lines beyond one
  // piece.
  const struct Case {
    const char* what;
    FileStage stage;
    int error_number;
    bool on_disk;
  } cases[] = {
      {"kept on disk", FileStage::kDone, 0, true},
      {"no file without a name can be made", FileStage::kOpen, EOPNOTSUPP, false},
      {"the file takes nothing", FileStage::kWrite, ENOSPC, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPicture();
    ScopedFileFault fault(c.stage == FileStage::kDone ? "" : SpillFile::kName, c.stage,
                          c.error_number);
    const Outcome early = ExpectSameEarly(nullptr, true, true, 2500);
    EXPECT_EQ(early.set_aside > 2 * 64 * 1024, c.on_disk) << early.set_aside;
  }
}

TEST_F(ParallelAnimationsTest, LinesKeptOnDiskAndLostFailThePageDescription) {
  ScopedFileFault fault(SpillFile::kName, FileStage::kClose, EIO);
  ProcessState read_state;
  const Outcome early = WriteEarlyPage(2500, 40, nullptr, &read_state);
  EXPECT_EQ(early.result, 0);
  EXPECT_NE(early.log.find("Error writing to the file"), std::string::npos) << early.log;
}

TEST_F(ParallelAnimationsTest, ReadingWaitsForAThreadThatFallsBehindAndShowsItsDialogs) {
  // Every batch handed over waits until the threads took it; the node
  // prompt a thread waits for is answered meanwhile.
  with_groups = true;
  most_queued = 0;
  settings.Put(RegistryRoot::kClassesRoot, "Software\\Qev Dynamics\\NODENAME", "", "NODE1");
  prompts = 40;
  ExpectSameEarly(nullptr, true, true);
}

}  // namespace
}  // namespace quillon
