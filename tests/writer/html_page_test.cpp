// The HTML page that embeds the viewer.
#include "platform/text_file.h"
#include "writer_fixture.h"

namespace quillon {
namespace {

const std::string kPic1Page = Lines({
    "<html>",
    "<head>",
    "<title>Pic1.JDF</title>",
    "</head>",
    "<body>",
    "<center>",
    "<script language=\"JavaScript\">",
    "<!--//",
    "var appName = navigator.appName;",
    "var appVersion = parseFloat(navigator.appVersion);",
    "if((appName == 'Netscape') && (appVersion <4.0)){",
    "document.write('<applet code = TAVApplet codebase = Classes archive=\"tav.zip\" "
    "Width=800 Height=600>')",
    "} else {",
    "document.write('<applet code = TAVApplet codebase = Classes archive=\"tav.jar\" "
    "Width=800 Height=600>')",
    "}",
    "// -->",
    "</script>",
    "<param name = file value = \"Pic1.JDF\">",
    "<param name=cabbase value=\"tav.cab\">",
    "<param name=vcr value=0>",
    "<param name=stretchtext value=0>",
    "</applet>",
    "</center>",
    "</body>",
    "</html>",
});

std::string Page(const TempDir& dir) { return ReadFile(dir.File("Pic1.htm")); }

TEST_F(WriterTest, PageForPic1WithCabFilesAndWithoutPlayBack) {
  pictures.Set(kPictureProperties, "\tHeight\t600\tWidth\t800\t");
  Write(/*use_cab_files=*/1, /*allow_play_back=*/0);
  EXPECT_EQ(html_result, 1);
  EXPECT_EQ(Page(dir), kPic1Page);
}

TEST_F(WriterTest, OptionalParameterLinesFollowTheSettings) {
  pictures.Set(kPictureProperties, "\tHeight\t600\tWidth\t800\t");
  Write(/*use_cab_files=*/0, /*allow_play_back=*/1);
  std::string expected = kPic1Page;
  for (const char* line : {"<param name=cabbase value=\"tav.cab\">\r\n",
                           "<param name=vcr value=0>\r\n"}) {
    expected.erase(expected.find(line), std::string(line).size());
  }
  EXPECT_EQ(Page(dir), expected);
}

TEST_F(WriterTest, PageWithoutPropertiesRecordUsesTheDefaultSizeAndReplacesAnOldPage) {
  ASSERT_TRUE(WriteTextFile(dir.File("Pic1.htm"), std::string(5000, 'x'), WriteMode::kTruncate).ok());
  Write(1, 0);
  const std::string page = Page(dir);
  EXPECT_NE(page.find("\"tav.zip\" Width=1000 Height=1000>"), std::string::npos);
  EXPECT_NE(page.find("\"tav.jar\" Width=1000 Height=1000>"), std::string::npos);
  EXPECT_EQ(page.find('x' + std::string("xxxx")), std::string::npos);
  EXPECT_EQ(page.size(), kPic1Page.size() + 4);  // two sizes of four digits, not three
}

}  // namespace
}  // namespace quillon
