// The conversion run end to end over the stand-in HMI: exits, output files,
// the options dialog, lists of pictures and pictures given as objects.
#include "driver/picture_converter.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "driver/application.h"
#include "driver/dialogs.h"
#include "hmi/standin_host.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "quillon/quillon.h"
#include "support/test_env.h"

namespace quillon {
namespace {

constexpr char kPicture[] = R"({"name": "Pic1", "width": 320, "height": 200, "objects": [
    {"class": "Rect", "name": "Rect1", "properties": {"Width": 10.0, "Height": 5.0}}]})";

// An object that answers no interface but its own.
class BareObject : public hmi::IOleObject {
 public:
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  hmi::HRESULT QueryInterface(hmi::InterfaceId, void**) override { return hmi::E_NOINTERFACE; }

 private:
  uint32_t references_ = 0;
};

// A host whose object creation fails, or makes an object that cannot be
// loaded.
class FailingCreationHost : public hmi::HmiHost {
 public:
  explicit FailingCreationHost(bool create_bare) : create_bare_(create_bare) {}
  hmi::HRESULT OpenStorage(const std::string& path, uint32_t mode,
                           hmi::ComPtr<hmi::IStorage>* storage) override {
    return inner.OpenStorage(path, mode, storage);
  }
  hmi::HRESULT CreateObject(const std::string&, hmi::ClassContext, hmi::InterfaceId,
                            void** object) override {
    if (!create_bare_) return hmi::REGDB_E_CLASSNOTREG;
    hmi::ComPtr<BareObject> bare = hmi::MakeCom<BareObject>();
    bare->AddRef();
    *object = static_cast<hmi::IOleObject*>(bare.get());
    return hmi::S_OK;
  }
  hmi::HRESULT ClassIdFromProgId(const std::string& prog_id, std::string* class_id) override {
    return inner.ClassIdFromProgId(prog_id, class_id);
  }
  hmi::HRESULT GetRunningApplication(hmi::ComPtr<hmi::IHmiApplication>* application) override {
    return inner.GetRunningApplication(application);
  }
  standin::StandInHost inner;

 private:
  bool create_bare_;
};

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.File("pics"));
    registry.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", dir.File("out"));
    ::mkdir(dir.File("pics").c_str(), 0755);
    ::mkdir(dir.File("out").c_str(), 0755);
    context.services = env.services;
    context.registry = &registry;
    context.hmi = &host;
    env.ui.has_main_window_ = true;
  }
  std::string Picture(const std::string& name, const std::string& text = kPicture) {
    const std::string path = dir.File("pics/" + name);
    EXPECT_TRUE(WriteTextFile(path, text, WriteMode::kTruncate).ok());
    return path;
  }
  std::string Out(const std::string& name) const { return dir.File("out/" + name); }
  int Convert(const std::string& path, int show_options = 0, int action = 1) {
    return RunConvertQevPicFile(context, path, nullptr, show_options, action);
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : env.ui.boxes) texts.push_back(box.text);
    return texts;
  }

  TestServices env;
  TempDir dir;
  MemoryRegistry registry;
  standin::StandInHost host;
  RunContext context;
};

TEST_F(RunTest, APictureFileBecomesItsPageDescriptionPageAndLog) {
  const std::string path = Picture("Pic1.grf");
  EXPECT_EQ(Convert(path), 1);
  EXPECT_TRUE(FileExists(Out("Pic1.htm")));
  const std::string jdf = ReadFile(Out("Pic1.JDF"));
  EXPECT_NE(jdf.find("\t(width 320)\r\n\t(height 200)\r\n"), std::string::npos);
  EXPECT_NE(jdf.find("\t(Rect1 TAVRectangle\r\n"), std::string::npos);
  const std::string log = ReadFile(Out("Pic1.Log"));
  const std::string out = Out("Pic1");
  EXPECT_EQ(log.find(ToCrLf(env.Text(77) + FormatText(env.Text(78), {dir.File("pics/Pic1"), out,
                                                                      out}))),
            0u);
  EXPECT_NE(log.find(ToCrLf(env.Text(79))), std::string::npos);
  EXPECT_EQ(env.ui.calls, (std::vector<std::string>{"disable", "open", "close", "enable"}));
  EXPECT_EQ(env.ui.focus_count_, 1);
  EXPECT_EQ(env.ui.statuses.back(), "Conversion is Over");
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(RunTest, PathsThatAreNotPictureFiles) {
  EXPECT_EQ(Convert(""), 0);
  EXPECT_TRUE(env.ui.boxes.empty());
  EXPECT_EQ(Convert(Picture("Pic1.bmp")), 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{env.Text(70)}));
  EXPECT_TRUE(env.ui.calls.empty()) << "the main window was never touched";
  EXPECT_EQ(Convert(Picture("lower.grf")), 1) << "the extension in any case";
  EXPECT_EQ(Convert(Picture("Plant.Area.grf")), 1);
  EXPECT_TRUE(FileExists(Out("Plant.Area.Log")));
  EXPECT_TRUE(FileExists(Out("Plant.Area.JDF")));
}

TEST_F(RunTest, ReadingOnlyWritesTheLogAndNoPage) {
  ASSERT_TRUE(WriteTextFile(Out("Pic1.Log"), "old run\n", WriteMode::kTruncate).ok());
  EXPECT_EQ(Convert(Picture("Pic1.grf"), 0, /*action=*/0), 0);
  EXPECT_FALSE(FileExists(Out("Pic1.JDF")));
  EXPECT_FALSE(FileExists(Out("Pic1.htm")));
  const std::string log = ReadFile(Out("Pic1.Log"));
  EXPECT_EQ(log.find("old run"), std::string::npos) << "the old log is deleted first";
  EXPECT_EQ(log.find(env.Text(79)), std::string::npos);
  EXPECT_TRUE(env.ui.main_window_enabled);
  EXPECT_FALSE(env.ui.progress_open);
}

TEST_F(RunTest, EachStepOfOpeningAPictureHasItsMessage) {
  struct Case {
    std::string document;  // empty: no file at all
    int message;
  };
  const Case cases[] = {
      {"", 1},
      {"not json", 4},
      {R"({"refuse": ["Dispatch"]})", 5},
      {R"({"refuse": ["Picture"]})", 6},
      {R"({"refuse": ["Picture"], "fail": ["Load"]})", 4},
  };
  for (const Case& c : cases) {
    std::remove(dir.File("pics/Pic1.grf").c_str());
    const std::string path = c.document.empty() ? dir.File("pics/Pic1.grf")
                                                : Picture("Pic1.grf", c.document);
    env.ui.statuses.clear();
    EXPECT_EQ(Convert(path), 0) << c.document;
    const std::string log = ReadFile(Out("Pic1.Log"));
    EXPECT_NE(log.find(env.Text(82) + env.Text(c.message)), std::string::npos)
        << c.document;
    EXPECT_EQ(env.ui.statuses.back(), "Aborting Conversion...") << c.document;
    EXPECT_FALSE(FileExists(Out("Pic1.JDF")));
    EXPECT_TRUE(env.ui.main_window_enabled);
  }
  // The log line says why a document could not be loaded, naming the file.
  Convert(Picture("Pic1.grf", R"({"objects": [{"class": "Rect"}]})"));
  const std::string log = ReadFile(Out("Pic1.Log"));
  const size_t line = log.find(env.Text(82) + env.Text(4) + " (");
  ASSERT_NE(line, std::string::npos) << log;
  EXPECT_NE(log.find(dir.File("pics/Pic1.grf"), line), std::string::npos) << log;
  EXPECT_NE(log.find("name", line), std::string::npos) << log;
  for (bool bare : {false, true}) {
    FailingCreationHost failing(bare);
    context.hmi = &failing;
    EXPECT_EQ(Convert(Picture("Pic1.grf")), 0);
    EXPECT_NE(ReadFile(Out("Pic1.Log")).find(env.Text(82) + env.Text(bare ? 3 : 2) + "\r\n"),
              std::string::npos);
  }
}

TEST_F(RunTest, AFailingReadingPhaseNamesTheOutputDirectory) {
  EXPECT_EQ(Convert(Picture("Pic1.grf", R"({"fail": ["Count"], "objects": []})")), 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{FormatText(env.Text(76), {dir.File("out")})}));
  EXPECT_EQ(env.ui.statuses.back(), "Aborting Conversion...");
  EXPECT_FALSE(FileExists(Out("Pic1.JDF")));
}

TEST_F(RunTest, CancelWhileReadingEndsTheRunWithoutPages) {
  env.ui.PlayEventAt(1, UiEvent::kCancel);
  EXPECT_EQ(Convert(Picture("Pic1.grf")), 0);
  EXPECT_FALSE(FileExists(Out("Pic1.JDF")));
  EXPECT_TRUE(env.ui.main_window_enabled);
  EXPECT_EQ(env.ui.focus_count_, 1);
}

TEST_F(RunTest, TheOptionsDialogsValuesAreStoredAndUsed) {
  ::mkdir(dir.File("web").c_str(), 0755);
  env.ui.QueueDialog([&](Dialog* d) {
    EXPECT_EQ(d->Text(kOptDirectory), dir.File("out"));
    d->UserTypes(kOptDirectory, dir.File("web"));
    d->UserClicks(kOptBmp);
    d->UserClicks(kControlOk);
  });
  EXPECT_EQ(Convert(Picture("Pic1.grf"), /*show_options=*/1), 1);
  EXPECT_TRUE(FileExists(dir.File("web/Pic1.JDF")));
  std::string stored;
  registry.Get(RegistryRoot::kClassesRoot, kWebOutPathKey, "", &stored);
  EXPECT_EQ(stored, dir.File("web") + "/");
  registry.Get(RegistryRoot::kClassesRoot, kOptionOutputBmpKey, "", &stored);
  EXPECT_EQ(stored, "1");

  env.ui.QueueDialog([](Dialog* d) { d->UserClicks(kControlCancel); });
  EXPECT_EQ(Convert(Picture("Pic2.grf"), 1), 0);
  EXPECT_FALSE(FileExists(dir.File("web/Pic2.Log")));

  registry.SetFailure(MemoryRegistry::Operation::kSetValue);
  env.ui.QueueDialog([](Dialog* d) { d->UserClicks(kControlOk); });
  EXPECT_EQ(Convert(Picture("Pic3.grf"), 1), 0);
  EXPECT_FALSE(FileExists(dir.File("web/Pic3.Log")));
}

TEST_F(RunTest, AListStopsAtTheFirstFailureAndAsksForOptionsOnce) {
  env.ui.QueueDialog([](Dialog* d) { d->UserClicks(kControlOk); });
  env.ui.QueueDialog([](Dialog* d) { d->UserClicks(kControlOk); });
  const std::vector<std::string> paths = {Picture("A.grf"), Picture("B.bmp"), Picture("C.grf")};
  EXPECT_EQ(RunConvertPictureFile(context, paths, nullptr, 1, 1), 0);
  EXPECT_TRUE(FileExists(Out("A.JDF")));
  EXPECT_FALSE(FileExists(Out("C.Log")));
  EXPECT_EQ(env.ui.dialogs_shown, (std::vector<int>{146}));
  EXPECT_EQ(RunConvertPictureFile(context, {}, nullptr, 0, 1), 0);
  EXPECT_EQ(RunConvertPictureFile(context, {Picture("A.grf"), Picture("C.grf")}, nullptr, 0, 1),
            1);
}

class ObjectRunTest : public RunTest {
 protected:
  hmi::Variant Load(const std::string& text) {
    hmi::ComPtr<hmi::IDispatch> document;
    std::string error;
    EXPECT_EQ(host.LoadDocument(Picture("Doc.grf", text), &document, &error), hmi::S_OK) << error;
    return hmi::Variant::Dispatch(document);
  }
};

TEST_F(ObjectRunTest, APictureGivenAsObjectIsWrittenWithTheGivenSettings) {
  int16_t status = -5;
  const std::string out = dir.File("out");
  EXPECT_EQ(RunConvertPicture(context, Load(kPicture), 0, 0, 1, 7, out.c_str(), &status), 1);
  EXPECT_EQ(status, 1);
  const std::string page = ReadFile(Out("Pic1.htm"));
  EXPECT_EQ(page.find("cabbase"), std::string::npos);
  EXPECT_NE(page.find("<param name=vcr value=0>"), std::string::npos);
  EXPECT_NE(ReadFile(Out("Pic1.Log")).find(FormatText(env.Text(78), {"Pic1", Out("Pic1"),
                                                                      Out("Pic1")})),
            std::string::npos);
  EXPECT_EQ(env.ui.calls, (std::vector<std::string>{"open", "close", "enable"}))
      << "the main window is not disabled";
}

TEST_F(ObjectRunTest, NoObjectIsRefusedWithItsMessage) {
  int16_t status = 1;
  EXPECT_EQ(RunConvertPicture(context, hmi::Variant(), 1, 1, 0, 2, dir.path().c_str(), &status),
            0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{env.Text(91)}));
  EXPECT_EQ(env.ui.statuses.back(), "Aborting Conversion...");
  // A missing status flag is not written through.
  EXPECT_EQ(RunConvertPicture(context, hmi::Variant(), 1, 1, 0, 2, dir.path().c_str(), nullptr),
            0);
}

TEST_F(ObjectRunTest, NamesAndDirectoriesStayInsideTheOutputDirectory) {
  hmi::Variant picture = Load(R"({"name": "../up/Pic", "objects": []})");
  int16_t status = 0;
  EXPECT_EQ(RunConvertPicture(context, picture, 1, 1, 0, 2, dir.File("out").c_str(), &status),
            1);
  EXPECT_TRUE(FileExists(Out(".._up_Pic.JDF")));
  EXPECT_FALSE(FileExists(dir.File("up")));

  // A directory written with "\\" at its end, as on Windows, is that directory.
  hmi::Variant inside = Load(R"({"name": "Inside", "objects": []})");
  EXPECT_EQ(RunConvertPicture(context, inside, 1, 1, 0, 2, (dir.File("out") + "\\").c_str(),
                              &status),
            1);
  EXPECT_TRUE(FileExists(Out("Inside.JDF")));
  EXPECT_TRUE(FileExists(Out("Inside.Log")));
  EXPECT_FALSE(FileExists(dir.File("out\\Inside.JDF")));

  // An empty output directory is the current one, never the root.
  hmi::Variant here = Load(R"({"name": "QuillonHere", "objects": []})");
  EXPECT_EQ(RunConvertPicture(context, here, 1, 1, 0, 2, "", &status), 1);
  EXPECT_TRUE(FileExists("QuillonHere.JDF"));
  EXPECT_FALSE(FileExists("/QuillonHere.JDF"));
  for (const char* name : {"QuillonHere.JDF", "QuillonHere.htm", "QuillonHere.Log"}) {
    std::remove(name);
  }
}

TEST(ExportsTest, WithoutTheResourceModuleEveryExportReturnsZero) {
  CQuillonDllApp& app = CQuillonDllApp::Instance();
  app.ExitInstance();
  int16_t status = 1;
  EXPECT_EQ(ConvertQevPicFile("x.grf", nullptr, 0, 1), 0);
  EXPECT_EQ(ConvertPictureFile({"x.grf"}, nullptr, 0, 1), 0);
  EXPECT_EQ(ConvertPicture(hmi::Variant(), 1, 1, 0, 2, "", &status), 0);
  EXPECT_EQ(status, 0);
}

TEST(ExportsTest, ConvertThroughTheLibraryWithTheHostsPlatform) {
  TempDir dir;
  ScriptedUi ui;
  MemoryRegistry registry;
  standin::StandInHost host;
  registry.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", dir.path());
  ASSERT_TRUE(WriteTextFile(dir.File("P.grf"), kPicture, WriteMode::kTruncate).ok());
  CQuillonDllApp& app = CQuillonDllApp::Instance();
  ASSERT_EQ(app.InitInstance(&ui), 1);
  Platform platform;
  platform.ui = &ui;
  platform.registry = &registry;
  platform.hmi = &host;
  SetPlatform(platform);
  EXPECT_EQ(ConvertQevPicFile(dir.File("P.grf"), nullptr, 0, 1), 1);
  EXPECT_TRUE(FileExists(dir.File("P.JDF")));
  SetPlatform(Platform());
  app.ExitInstance();
}

}  // namespace
}  // namespace quillon
