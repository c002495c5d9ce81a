// The JDF file as a whole: sections, groups, failures and the log.
#include "writer/page_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/format.h"
#include "platform/output_stage.h"
#include "writer_fixture.h"

#include <algorithm>

namespace quillon {
namespace {

TEST_F(WriterTest, OneRectangleWithAnimationDataSourceAndLinks) {
  AddObject("Rect", "Rect1", "HorizontalPosition\t10\t");
  AddRecord(&pictures, "AlarmTextLink", "Link1",
            "Name\tLink1\tClassName\tAlarmTextLink\tFullyQualifiedName\tPic1.Text1.Link1\t"
            "Source\tNODE1.T1.A_CUALM");
  AppendToSequence(&pictures, "AlarmTextLink", "Link1", kAnimationSequence);
  AppendLink(&pictures, "\t(Rect1.fgColor Map1.out)\n");

  EXPECT_EQ(Write(), 1);
  const std::string expected =
      "(properties \r\n"
      "\t(version 1.0)\r\n"
      "\t(width 1000)\r\n"
      "\t(height 1000)\r\n"
      "\t(bgColor 0xffffff)\r\n"
      ")\r\n"
      "(objects\r\n"
      "\t(Rect1 TAVRectangle\r\n"
      "\t\t(properties\r\n"
      "\t\t\t(x 10)\r\n"
      "\t\t)\r\n"
      "\t)\r\n"
      "\t\r\n"
      "(Source1 TAVWeb\r\n"
      "\t(properties\r\n"
      "\t\t(Server QEVSERV)\r\n"
      "\t\t(DefaultAttr Value)\r\n"
      "\t\t(UpdateCount 0)\r\n"
      "\t\t(UpdateRate 2 )))\r\n"
      "\r\n"
      ")\r\n"
      "(links\r\n"
      "\t(Rect1.fgColor Map1.out)\r\n"
      "\t(Text1.text Source1.NODE1.T1.A_CUALM)\r\n"
      ")";
  EXPECT_EQ(Jdf(), expected);
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(WriterTest, PagePropertiesComeFromThePictureRecord) {
  pictures.Set(kPictureProperties,
               "\tHeight\t600\tWidth\t800\tBackgroundColor\t0x102030\tUpdateRate\t5");
  AddObject("Rect", "Rect1", "");
  AppendToSequence(&pictures, "AlarmTextLink", "Missing", kAnimationSequence);
  EXPECT_EQ(Write(), 1);
  const std::string jdf = Jdf();
  const std::string header =
      "(properties \r\n\t(version 1.0)\r\n\t(width 800)\r\n\t(height 600)\r\n"
      "\t(bgColor 0x102030)\r\n)\r\n(objects\r\n";
  EXPECT_EQ(jdf.substr(0, header.size()), header);
  EXPECT_NE(jdf.find("\t\t(UpdateRate 5 )))\r\n"), std::string::npos);
  EXPECT_EQ(jdf.find("PROPERTIES"), std::string::npos);
}

TEST_F(WriterTest, NoAnimationsNoDataSourceAndEmptyLinksNoSection) {
  AddObject("Oval", "Oval1", "Width\t4\t");
  pictures.Set(kLinks, "");
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf(), DefaultHeader() +
                       "\t(Oval1 TAVEllipse\r\n\t\t(properties\r\n\t\t\t(width 4)\r\n\t\t)\r\n"
                       "\t)\r\n\r\n)");
}

TEST_F(WriterTest, GroupsNestedTwoDeepBecomeSymbols) {
  AddRecord(&pictures, "Group", "Group1",
            "\tName\tGroup1\tClassName\tGroup\tVisible\t0\tWidth\t9\t"
            "HorizontalScaleDirection\t0\t");
  AppendToSequence(&pictures, "Group", "Group1", kObjectSequence);
  AddRecord(&pictures, "Rect", "Rect1", "\tName\tRect1\tClassName\tRect\tVisible\t-1\t");
  AddRecord(&pictures, "Group", "Group2",
            "\tName\tGroup2\tClassName\tGroup\tVerticalScaleDirection\t1\t");
  AddRecord(&pictures, "Oval", "Oval1", "\tName\tOval1\tClassName\tOval\tEdgeWidth\t2\t");
  groups.Set("#Group1", "Rect1(Rect)\t#Group2\t");
  groups.Set("#Group2", "Oval1(Oval)\t");
  env.progress.ShowProgress();

  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf(), DefaultHeader() + Lines({
                                         "\t(Group1 TAVSymbol",
                                         "\t\t(properties",
                                         "\t\t\t(visibility 1)",
                                         "\t\t\t(anchorHoriz center)",
                                         "\t\t)",
                                         "\t\t(objects",
                                         "\t\t\t(Rect1 TAVRectangle",
                                         "\t\t\t\t(properties",
                                         "\t\t\t\t\t(visibility 1)",
                                         "\t\t\t\t)",
                                         "\t\t\t)",
                                         "\t\t\t(Group2 TAVSymbol",
                                         "\t\t\t\t(properties",
                                         "\t\t\t\t\t(anchorVert middle)",
                                         "\t\t\t\t)",
                                         "\t\t\t\t(objects",
                                         "\t\t\t\t\t(Oval1 TAVEllipse",
                                         "\t\t\t\t\t\t(properties",
                                         "\t\t\t\t\t\t\t(lineWidth 2)",
                                         "\t\t\t\t\t\t)",
                                         "\t\t\t\t\t)",
                                         "\t\t\t\t)",
                                         "\t\t\t)",
                                         "\t\t)",
                                         "\t)",
                                         "",
                                         ")",
                                     }));
  EXPECT_NE(std::find(env.ui.statuses.begin(), env.ui.statuses.end(), "Translating Objects..."),
            env.ui.statuses.end());
}

TEST_F(WriterTest, ClassWithoutEmitterIsReportedAndNothingConverted) {
  AddObject("Button", "Button1", "Width\t3\t");
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf(), DefaultHeader() + "\r\n)");
  const std::string reported =
      FormatText(Text(61), {"Button", "Button1(Button)"}) + Text(62);
  const std::string not_converted =
      "Pic1.grf could not be converted since it contains non-supported objects";
  EXPECT_EQ(Log(), ToCrLf(Text(79)) + Text(82) + reported + "\r\n" + Text(82) + not_converted +
                       "\r\n");
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].caption, Text(110));
  EXPECT_EQ(env.ui.boxes[0].text, not_converted);
}

TEST_F(WriterTest, LogOfAWriterRunKeepsHeadingsWithTheirLines) {
  AddObject("Rect", "Rect1", "");
  // A record without its name cannot be written: its lines go under a heading.
  AddRecord(&pictures, "Rect", "Nameless", "\tClassName\tRect\tWidth\t1\t");
  AppendToSequence(&pictures, "Rect", "Nameless", kObjectSequence);
  AddRecord(&pictures, "Bitmap", "Bmp1",
            "\tName\tBmp1\tClassName\tBitmap\tFullyQualifiedName\tPic1.Bmp1\t");
  AppendToSequence(&pictures, "Bitmap", "Bmp1", kObjectSequence);
  EXPECT_EQ(Write(), 1);
  const std::string fatal = " - (Fatal error in getting the property 'CurrentImage' from the "
                            "list\r\n";
  EXPECT_EQ(Log(), ToCrLf(Text(79)) + ToCrLf(FormatText(Text(83), {"Rect", "Nameless"})) +
                       Text(80) + "Name\r\n" +
                       ToCrLf(FormatText(Text(83), {"Bitmap", "Bmp1"})) + Text(80) + fatal +
                       "\r\n" + ToCrLf(Text(58)));
  // The bitmap was opened and closed again; the nameless record wrote nothing.
  EXPECT_NE(Jdf().find("\t(Bmp1 TAVImage\r\n\t\t(properties\r\n\t\t)\r\n\t)\r\n"),
            std::string::npos);
  EXPECT_EQ(Jdf().find("Nameless"), std::string::npos);
}

TEST_F(WriterTest, ObjectListedTwiceIsWrittenOnceAndReportedMissing) {
  AddObject("Rect", "Rect1", "");
  AppendToSequence(&pictures, "Rect", "Rect1", kObjectSequence);
  AppendToSequence(&pictures, "Oval", "Ghost", kObjectSequence);
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf().find("Rect1 TAVRectangle"), Jdf().rfind("Rect1 TAVRectangle"));
  const std::string missing = Text(82) + Text(94) + "\r\n";
  EXPECT_NE(Log().find(missing + missing), std::string::npos);
}

TEST_F(WriterTest, GroupWithoutRecordOrMembersIsClosedAndReported) {
  // Group1 has no record; Group2 has a record but no member list.
  AppendToSequence(&pictures, "Group", "Group1", kObjectSequence);
  AddRecord(&pictures, "Group", "Group2", "\tName\tGroup2\tClassName\tGroup\t");
  AppendToSequence(&pictures, "Group", "Group2", kObjectSequence);
  AddObject("Rect", "Rect1", "");
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf(), DefaultHeader() + Lines({
                                         "\t(Group1 TAVSymbol",
                                         "\t\t(properties",
                                         "\t\t)",
                                         "\t)",
                                         "\t(Group2 TAVSymbol",
                                         "\t\t(properties",
                                         "\t\t)",
                                         "\t\t(objects",
                                         "\t\t)",
                                         "\t)",
                                         "\t(Rect1 TAVRectangle",
                                         "\t\t(properties",
                                         "\t\t)",
                                         "\t)",
                                         "",
                                         ")",
                                     }));
  const std::string log = Log();
  const std::string incomplete = Text(82) + Text(105) + "\r\n";
  const std::string not_written = Text(82) + Text(57) + "\r\n";
  EXPECT_NE(log.find(incomplete + not_written + incomplete + not_written), std::string::npos);
}

TEST_F(WriterTest, GroupListedAmongItsOwnMembersDoesNotRecurse) {
  AddRecord(&pictures, "Group", "Loop", "\tName\tLoop\tClassName\tGroup\t");
  AppendToSequence(&pictures, "Group", "Loop", kObjectSequence);
  AddRecord(&pictures, "Rect", "Rect1", "\tName\tRect1\tClassName\tRect\t");
  groups.Set("#Loop", "#Loop\tRect1(Rect)\t");
  EXPECT_EQ(Write(), 1);
  EXPECT_NE(Jdf().find("\t\t\t(Rect1 TAVRectangle"), std::string::npos);
  EXPECT_NE(Log().find(Text(105)), std::string::npos);
}

TEST_F(WriterTest, EmptyMapsWriteTheHeaderOnly) {
  EXPECT_EQ(Write(), 0);
  EXPECT_EQ(Jdf(), "(properties \r\n\t(version 1.0)\r\n\t(width 1000)\r\n\t(height 1000)\r\n"
                   "\t(bgColor 0xffffff)\r\n)\r\n");
  EXPECT_EQ(Log(), ToCrLf(Text(79) + Text(103)));
  EXPECT_EQ(html_result, 1);
}

TEST_F(WriterTest, MissingObjectSequenceClosesTheSectionAndReports) {
  AddRecord(&pictures, "Rect", "Rect1", "\tName\tRect1\tClassName\tRect\t");
  env.progress.ShowProgress();
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(Jdf(), DefaultHeader() + ")\r\n");
  EXPECT_NE(Log().find(Text(82) + Text(107) + "\r\n"), std::string::npos);
  EXPECT_FALSE(env.progress.is_open());
  EXPECT_EQ(env.ui.boxes.size(), 1u);  // nothing converted
}

TEST_F(WriterTest, CancelDuringAGroupStopsItsMembers) {
  AddRecord(&pictures, "Group", "Group1", "\tName\tGroup1\tClassName\tGroup\t");
  AppendToSequence(&pictures, "Group", "Group1", kObjectSequence);
  AddRecord(&pictures, "Rect", "Rect1", "\tName\tRect1\tClassName\tRect\t");
  AddRecord(&pictures, "Rect", "Rect2", "\tName\tRect2\tClassName\tRect\t");
  groups.Set("#Group1", "Rect1(Rect)\tRect2(Rect)\t");
  env.progress.ShowProgress();
  // Events are looked at before every object: the group, Rect1, Rect2.
  env.ui.PlayEventAt(3, UiEvent::kCancel);
  // A cancelled page is not written whole, and never reported as written.
  EXPECT_EQ(Write(), 0);
  const std::string jdf = Jdf();
  EXPECT_NE(jdf.find("Rect1 TAVRectangle"), std::string::npos);
  EXPECT_EQ(jdf.find("Rect2"), std::string::npos);
  EXPECT_NE(Log().find(Text(82) + Text(104) + "\r\n"), std::string::npos);
  EXPECT_EQ(Log().find(Text(104)), Log().rfind(Text(104))) << "said once";
  EXPECT_EQ(Log().find(Text(58)), std::string::npos) << "a cancelled run is not over";
}

// Ctrl-C is seen while top-level objects are written too, not only
// between the members of a group.
TEST_F(WriterTest, CancelBetweenTopLevelObjectsStopsThePage) {
  for (const char* name : {"Rect1", "Rect2", "Rect3"}) {
    AddRecord(&pictures, "Rect", name, std::string("\tName\t") + name + "\tClassName\tRect\t");
    AppendToSequence(&pictures, "Rect", name, kObjectSequence);
  }
  env.progress.ShowProgress();
  env.ui.PlayEventAt(2, UiEvent::kCancel);
  EXPECT_EQ(Write(), 0);
  const std::string jdf = Jdf();
  EXPECT_NE(jdf.find("Rect1 TAVRectangle"), std::string::npos);
  EXPECT_EQ(jdf.find("Rect2"), std::string::npos);
  EXPECT_EQ(jdf.find("Rect3"), std::string::npos);
  EXPECT_EQ(Log().find(Text(58)), std::string::npos);
}

TEST_F(WriterTest, ConversionOverClosesTheProgressWindow) {
  AddObject("Rect", "Rect1", "");
  env.progress.ShowProgress();
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(env.ui.statuses.back(), "Conversion is Over");
  EXPECT_FALSE(env.progress.is_open());
  EXPECT_EQ(Log(), ToCrLf(Text(79) + Text(58)));
}

TEST_F(WriterTest, MissingOutputFolderIsReportedAndNothingWrittenElsewhere) {
  AddObject("Rect", "Rect1", "");
  PageWriter writer(&env.services);
  const std::string base = dir.File("gone/Pic1");
  ASSERT_EQ(writer.Init(base, 1, 1, &groups, &pictures, 0, nullptr), 1);
  EXPECT_EQ(writer.WriteHtmlPage(base, 10, 10), 0);
  EXPECT_EQ(writer.WriteDocument(10, 10, "0xffffff", "1.0"), 0);
  std::vector<std::string> texts;
  for (const auto& box : env.ui.boxes) texts.push_back(box.text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       FileErrorText(3, dir.File("gone/Pic1.Log")),
                       FileErrorText(3, base + ".htm"),
                       FileErrorText(3, base + ".JDF"),
                   }));
  EXPECT_FALSE(FileExists(dir.File("gone")));
}

TEST_F(WriterTest, ReadOnlyOutputFolderIsReportedAsAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes anywhere";
  AddObject("Rect", "Rect1", "");
  ::chmod(dir.path().c_str(), 0555);
  EXPECT_EQ(Write(), 0);
  ASSERT_FALSE(env.ui.boxes.empty());
  EXPECT_EQ(env.ui.boxes.back().text, FileErrorText(5, base() + ".JDF"));
}

TEST_F(WriterTest, AFailedWriteStopsTheDocumentAndIsNotReportedAsWritten) {
  // The JDF file sits on a full disk.
  ScopedFileFault full_disk("Pic1.JDF", FileStage::kWrite, ENOSPC);
  AddObject("Rect", "Rect1", "");
  PageWriter writer(&env.services);
  ASSERT_EQ(writer.Init(base(), 1, 1, &groups, &pictures, 0, nullptr), 1);
  EXPECT_EQ(writer.WriteLine("(objects\n"), 0);
  ASSERT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(env.ui.boxes[0].text, "13");
  EXPECT_EQ(Log(), ToCrLf(Text(79)) + Text(82) + "Error writing to the file\r\n");
  // The file is incomplete from here on: nothing more is written to it.
  EXPECT_EQ(writer.WriteLine("(more\n"), 0);
  EXPECT_EQ(env.ui.boxes.size(), 1u);
  EXPECT_EQ(writer.WriteDocument(10, 10, "0xffffff", "1.0"), 0);
  EXPECT_EQ(env.ui.boxes.size(), 2u);
}

// A page written into a stage goes to the file in pieces of many lines; the
// file it publishes holds the same bytes as a page written line by line,
// indentation of groups and line ends included, and a write that fails
// while the page is being written (the stage writes out once it holds a
// megabyte) still stops the page.
class StagedWriterTest : public WriterTest {
 protected:
  void AddManyObjects() {
    env.progress.ShowProgress();
    for (int i = 0; i < 12000; ++i) {
      AddObject("Rect", "Rect" + std::to_string(i),
                "HorizontalPosition\t" + std::to_string(i) +
                    "\tVerticalPosition\t7\tWidth\t30\tHeight\t40\t");
    }
    AddRecord(&pictures, "Group", "G1", "\tName\tG1\tClassName\tGroup\tVisible\t0\t");
    AppendToSequence(&pictures, "Group", "G1", kObjectSequence);
    AddRecord(&pictures, "Rect", "Inner", "\tName\tInner\tClassName\tRect\tEdgeWidth\t3\t");
    groups.Set("#G1", "Inner(Rect)\t");
  }
  int WriteStaged() {
    OutputStage stage(dir.path(), "Pic1");
    stage.Activate();
    const int written = Write();
    // The log always, the page only when it was written whole.
    stage.Publish(
        [&](const std::string& path) {
          return written == 1 || path == dir.File("Pic1.Log") ? 0 : -1;
        },
        nullptr);
    return written;
  }
};

TEST_F(StagedWriterTest, APageWrittenInPiecesEqualsOneWrittenLineByLine) {
  AddManyObjects();
  const PictureMap saved_pictures = pictures;
  const GroupMap saved_groups = groups;
  ASSERT_EQ(Write(), 1);
  const std::string by_line = Jdf();
  ASSERT_GT(by_line.size(), size_t{1} << 20);
  ASSERT_NE(by_line.find("\t\t\t(Inner TAVRectangle"), std::string::npos);
  ::unlink(dir.File("Pic1.JDF").c_str());
  pictures = saved_pictures;
  groups = saved_groups;
  // The first run closed the progress window, which the second would take
  // for a cancel.
  env.progress.ShowProgress();
  ASSERT_EQ(WriteStaged(), 1);
  EXPECT_TRUE(Jdf() == by_line);
}

TEST_F(StagedWriterTest, AWriteThatFailsWhileAStagedPageIsWrittenStopsIt) {
  AddManyObjects();
  ScopedFileFault full_disk("Pic1.JDF", FileStage::kWrite, ENOSPC);
  EXPECT_EQ(WriteStaged(), 0);
  EXPECT_NE(Log().find("Error writing to the file"), std::string::npos);
    EXPECT_FALSE(OutputFileExists(dir.File("Pic1.JDF")));
}

TEST_F(WriterTest, InitRefusesAnEmptyOutputBase) {
  PageWriter writer(&env.services);
  EXPECT_EQ(writer.Init("", 1, 1, &groups, &pictures, 0, nullptr), 0);
  EXPECT_TRUE(env.ui.boxes.empty());
  ASSERT_EQ(writer.Init("Pic9", 1, 1, nullptr, nullptr, 1, nullptr), 1);
  EXPECT_EQ(writer.output_directory(), "");
  EXPECT_EQ(writer.picture_name(), "Pic9");
  EXPECT_EQ(writer.jdf_path(), "Pic9.JDF");
  EXPECT_EQ(writer.image_extension(), ".BMP");
  std::remove("Pic9.Log");
}

TEST_F(WriterTest, FindGroupKeyMatchesThePartAfterTheLastHash) {
  groups.Set("#Outer#Inner", "");
  groups.Set("#Inner2", "");
  PageWriter writer(&env.services);
  ASSERT_EQ(writer.Init(base(), 1, 1, &groups, &pictures, 0, nullptr), 1);
  EXPECT_EQ(writer.FindGroupKey("Inner"), "#Outer#Inner");
  EXPECT_EQ(writer.FindGroupKey("Inner2"), "#Inner2");
  EXPECT_EQ(writer.FindGroupKey("Outer"), "");
}

}  // namespace
}  // namespace quillon
