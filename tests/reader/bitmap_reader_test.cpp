// Bitmaps: one image file per image and state that a standard decoder reads
// back, the extension in the record, the log list, cancelling, and every
// failure's warning.
#include "reader_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/format.h"
#include "platform/imaging.h"
#include "reader/class_readers.h"
#include "support/image_files.h"

namespace quillon {
namespace {

// Two images: red 8x6 / green 8x6, blue 4x2 / a PNG file.
constexpr char kImages[] = R"("images": [
    {"primary": {"rgb": 255, "width": 8, "height": 6},
     "secondary": {"rgb": 65280, "width": 8, "height": 6}},
    {"primary": {"rgb": 16711680, "width": 4, "height": 2}, "secondary": "pump.png"}])";

// An image writer that records what it is asked to save and may refuse to
// take the clipboard image.
class RecordingWriter : public ImageWriter {
 public:
  int ClipboardHasImage(const Clipboard& clipboard) override {
    return inner.ClipboardHasImage(clipboard);
  }
  int TakeClipboardImage(const Clipboard& clipboard, RgbImage* bitmap) override {
    if (refuse_take) return 0;
    return inner.TakeClipboardImage(clipboard, bitmap);
  }
  int SaveImage(const std::string& path, const RgbImage& bitmap, int format, int bits_per_pixel,
                int quality_factor) override {
    saves.push_back(StringF("%s %d %d %d", path.substr(path.rfind('/') + 1).c_str(), format,
                            bits_per_pixel, quality_factor));
    return inner.SaveImage(path, bitmap, format, bits_per_pixel, quality_factor);
  }
  FileImageWriter inner;
  bool refuse_take = false;
  std::vector<std::string> saves;
};

class BitmapReaderTest : public ReaderTest {
 protected:
  BitmapReaderTest() {
    ::mkdir(dir.File("img").c_str(), 0755);
    // The PNG lies beside the picture document.
    ::mkdir(dir.File("pics").c_str(), 0755);
    EXPECT_TRUE(WritePngFile(dir.File("pics/pump.png"), PlainImage(0x0000ffff, 5, 3)));
    // The stored directory has no separator at its end.
    reader.set_image_output(dir.File("img"), false);
    reader.set_imaging(&clipboard, nullptr);
  }

  // Loads a picture (from the pictures folder) whose objects are `objects`.
  void LoadPicture(const std::string& objects, const std::string& picture_keys = "") {
    document = hmi::MakeCom<standin::Document>();
    document->set_clipboard(&clipboard);
    const std::string json =
        R"({"name": "Pic1", )" + picture_keys + R"("objects": )" + objects + "}";
    ASSERT_EQ(document->LoadText(json, dir.File("pics/Pic1.grf")), hmi::S_OK)
        << document->load_error();
    ASSERT_EQ(reader.ReadPictureProperties(document->Dispatch().get()), hmi::S_OK);
  }
  // A bitmap "Bitmap1" with `keys` (each ending with ", ") and the images.
  void LoadBitmap(const std::string& keys = "", const std::string& picture_keys = "") {
    LoadPicture(R"([{"class": "Bitmap", "name": "Bitmap1", )" + keys + kImages + "}]",
                picture_keys);
  }
  std::string Image(const std::string& name) const { return dir.File("img/" + name); }
  std::string Warning(int level, const std::string& text) const {
    return Text(level == 1 ? 80 : 81) + text;
  }
  // The bitmap's image state in the HMI: "current/secondary/selected".
  std::string State() {
    hmi::ComPtr<hmi::IHmiBitmap> bitmap;
    EXPECT_EQ(Object("Bitmap1").As(&bitmap), hmi::S_OK);
    int16_t current = 0, secondary = 0;
    bitmap->CurrentImage(&current);
    bitmap->SecondaryImageDisplayed(&secondary);
    return StringF("%d/%d/%s", current, secondary, document->selected() ? "selected" : "-");
  }
  int Create(std::string* list) {
    log.ClearPending();
    return CreateImageFiles(&reader, Object("Bitmap1").get(), list);
  }

  Clipboard clipboard;
};

TEST_F(BitmapReaderTest, EveryImageAndStateBecomesAJpegFile) {
  LoadBitmap(R"("properties": {"CurrentImage": 2, "SecondaryImageDisplayed": -1}, )");
  EXPECT_EQ(Walk(), 0);
  struct Row {
    const char* name;
    int32_t color, width, height;
  };
  const Row rows[] = {{"Pic1_Bitmap1_P1.JPG", 0x0000ff, 8, 6},
                      {"Pic1_Bitmap1_S1.JPG", 0x00ff00, 8, 6},
                      {"Pic1_Bitmap1_P2.JPG", 0xff0000, 4, 2},
                      {"Pic1_Bitmap1_S2.JPG", 0x00ffff, 5, 3}};
  std::string list;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeJpegFile(Image(row.name), &image, &error)) << error;
    EXPECT_EQ(image.width, row.width);
    EXPECT_EQ(image.height, row.height);
    EXPECT_TRUE(AllPixelsNear(image, row.color, 4));
    list += Image(row.name) + "\r\n";
  }
  EXPECT_EQ(Value("Bitmap1(Bitmap)", "FileExt"), ".JPG");
  EXPECT_EQ(Value("Bitmap1(Bitmap)", "CurrentImage"), "2");
  EXPECT_EQ(Value("Bitmap1(Bitmap)", "SecondaryImageDisplayed"), "-1");
  EXPECT_EQ(Log(), FormatText(Text(99), {"Bitmap1"}) + list);
  EXPECT_EQ(State(), "2/-1/-");  // put back and deselected
  EXPECT_EQ(env.ui.boxes.size(), 0u);
}

TEST_F(BitmapReaderTest, WithBmpOutputEveryFileIsABmp) {
  reader.set_image_output(dir.File("img") + "/", true);
  LoadBitmap();
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Bitmap1(Bitmap)", "FileExt"), ".BMP");
  const std::pair<const char*, int32_t> files[] = {{"Pic1_Bitmap1_P1.BMP", 0x0000ff},
                                                   {"Pic1_Bitmap1_S1.BMP", 0x00ff00},
                                                   {"Pic1_Bitmap1_P2.BMP", 0xff0000},
                                                   {"Pic1_Bitmap1_S2.BMP", 0x00ffff}};
  for (const auto& [name, color] : files) {
    SCOPED_TRACE(name);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeBmpFile(Image(name), &image, &error)) << error;
    EXPECT_TRUE(AllPixelsNear(image, color, 0));
    EXPECT_FALSE(
        FileExists(Image(std::string(name).replace(std::string(name).size() - 3, 3, "JPG"))));
  }
}

TEST_F(BitmapReaderTest, SaveParametersOfBothFormats) {
  RecordingWriter writer;
  reader.set_imaging(&clipboard, &writer);
  LoadBitmap();
  std::string list;
  EXPECT_EQ(Create(&list), 1);
  reader.set_image_output(dir.File("img"), true);
  EXPECT_EQ(Create(&list), 1);
  EXPECT_EQ(writer.saves,
            (std::vector<std::string>{"Pic1_Bitmap1_P1.JPG 10 24 2", "Pic1_Bitmap1_S1.JPG 10 24 2",
                                      "Pic1_Bitmap1_P2.JPG 10 24 2", "Pic1_Bitmap1_S2.JPG 10 24 2",
                                      "Pic1_Bitmap1_P1.BMP 6 24 0", "Pic1_Bitmap1_S1.BMP 6 24 0",
                                      "Pic1_Bitmap1_P2.BMP 6 24 0", "Pic1_Bitmap1_S2.BMP 6 24 0"}));
}

TEST_F(BitmapReaderTest, AnImageThatCannotBeTakenIsSkipped) {
  RecordingWriter writer;
  writer.refuse_take = true;
  reader.set_imaging(&clipboard, &writer);
  LoadBitmap();
  std::string list;
  EXPECT_EQ(Create(&list), 1);
  EXPECT_TRUE(writer.saves.empty());
  EXPECT_EQ(list, "");
  EXPECT_TRUE(log.pending().empty());
}

TEST_F(BitmapReaderTest, NoImagesMeansNoFileAndNoLogLine) {
  LoadPicture(R"([{"class": "Bitmap", "name": "Bitmap1", "images": []}])");
  EXPECT_EQ(Walk(), 0);
  EXPECT_EQ(Value("Bitmap1(Bitmap)", "FileExt"), ".JPG");
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("img")));
}

TEST_F(BitmapReaderTest, SeparatorsInTheNameStayInsideTheOutputDirectory) {
  LoadBitmap(R"("fullName": "Pic1.a/b\\..\\c", )");
  std::string list;
  EXPECT_EQ(Create(&list), 1);
  EXPECT_TRUE(FileExists(Image("Pic1_a_b____c_P1.JPG")));
  EXPECT_EQ(list.find(Image("Pic1_a_b____c_P1.JPG") + "\r\n"), 0u);
}

TEST_F(BitmapReaderTest, CancellingStopsAtOnceWithoutPuttingTheStateBack) {
  LoadBitmap(R"("properties": {"CurrentImage": 2, "SecondaryImageDisplayed": -1}, )");
  env.progress.ShowProgress();
  // Pumps: image 1, its primary state, its secondary state.
  env.ui.PlayEventAt(3, UiEvent::kCancel);
  std::string list;
  EXPECT_EQ(Create(&list), 0);
  EXPECT_EQ(list, Image("Pic1_Bitmap1_P1.JPG") + "\r\n");
  EXPECT_FALSE(FileExists(Image("Pic1_Bitmap1_S1.JPG")));
  EXPECT_EQ(State(), "1/0/selected");
  EXPECT_NE(Log().find(Text(104)), std::string::npos);
  EXPECT_NE(std::find(env.ui.statuses.begin(), env.ui.statuses.end(), "Creating image files..."),
            env.ui.statuses.end());
  EXPECT_NE(std::find(env.ui.statuses.begin(), env.ui.statuses.end(),
                      "Created image file " + Image("Pic1_Bitmap1_P1.JPG")),
            env.ui.statuses.end());
}

TEST_F(BitmapReaderTest, FailuresQueueTheirWarnings) {
  struct Row {
    const char* what;
    std::string bitmap_keys, picture_keys;
    std::vector<std::string> warnings;
    int result;
    size_t files;
  };
  const Row rows[] = {
      {"no bitmap interface", R"("refuse": ["Bitmap"], )", "", {Warning(0, Text(35))}, 0, 0},
      {"no picture window", "", R"("refuse": ["PictureWindow"], )", {Warning(0, Text(36))}, 0, 0},
      {"image count", R"("fail": ["ImageCount"], )", "", {Warning(1, "ImageCount")}, 0, 0},
      {"selection", R"("fail": ["Select:-1"], )", "", {Warning(1, "SelectObject")}, 0, 0},
      {"full name",
       R"("fail": ["FullyQualifiedName"], )",
       "",
       {Warning(1, "FullyQualifiedName")},
       0,
       0},
      {"copy", "", R"("fail": ["CopyToClipboard"], )", {Warning(0, "Copy to Clipboard")}, 0, 0},
      {"copy, state not put back",
       R"("properties": {"SecondaryImageDisplayed": -1}, "fail": ["SecondaryImageDisplayed:-1"], )",
       R"("fail": ["CopyToClipboard"], )",
       {Warning(1, "SecondaryImageDisplayed"), Warning(0, "Copy to Clipboard")},
       0,
       0},
      {"image not put back",
       R"("properties": {"ImageCount": 1, "CurrentImage": 2}, "fail": ["CurrentImage:2"], )",
       "",
       {Warning(1, "CurrentImage")},
       0,
       2},
      {"deselection", R"("fail": ["Select:0"], )", "", {Warning(0, Text(39))}, 0, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::filesystem::remove_all(dir.File("img"));
    ::mkdir(dir.File("img").c_str(), 0755);
    LoadBitmap(row.bitmap_keys, row.picture_keys);
    std::string list;
    EXPECT_EQ(Create(&list), row.result);
    EXPECT_EQ(log.pending(), row.warnings);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("img"))) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, row.files);
  }
}

TEST_F(BitmapReaderTest, AnImageTheClipboardDoesNotGetEndsTheExport) {
  LoadPicture(R"([{"class": "Bitmap", "name": "Bitmap1", "images": [
      {"primary": {"rgb": 255}, "secondary": "missing.png"},
      {"primary": {"rgb": 255}, "secondary": {"rgb": 255}}]}])");
  std::string list;
  EXPECT_EQ(Create(&list), 0);
  // The warning names the HMI's reason.
  EXPECT_EQ(log.pending(), std::vector<std::string>{Warning(0, Text(38)) + " (" +
                                                    dir.File("pics/missing.png") +
                                                    ": No such file or directory)"});
  EXPECT_EQ(list, Image("Pic1_Bitmap1_P1.JPG") + "\r\n");
  EXPECT_EQ(State(), "1/0/selected");  // put back, still selected
}

TEST_F(BitmapReaderTest, FilesThatCannotBeSavedAreNotListed) {
  reader.set_image_output(dir.File("no-such-folder"), false);
  LoadBitmap();
  EXPECT_EQ(Walk(), 0);
  const std::string record = Record("Bitmap1(Bitmap)");
  EXPECT_NE(record.find("FileExt\t.JPG\t"), std::string::npos);
  const std::string saved = Warning(1, Text(37));
  // Stored, with its warnings written under its own heading.
  EXPECT_EQ(Log(), FormatText(Text(83), {"Bitmap", "Bitmap1"}) + saved + "\r\n" + saved +
                       "\r\n" + saved + "\r\n" + saved + "\r\n");
  EXPECT_TRUE(log.pending().empty());
}

TEST_F(BitmapReaderTest, AnUnreadableNameFailsTheBitmapAfterItsFiles) {
  LoadBitmap(R"("fail": ["Name"], )");
  std::string record;
  log.ClearPending();
  EXPECT_LT(ReadBitmap(&reader, Object("Pic1.Bitmap1").get(), &record), 0);
  EXPECT_TRUE(FileExists(Image("Pic1_Bitmap1_S2.JPG")));
  EXPECT_NE(Log().find(Text(10)), std::string::npos);
  EXPECT_EQ(Log().find(FormatText(Text(99), {""})), std::string::npos);
}

}  // namespace
}  // namespace quillon
