// The conversion settings: loading with limits and defaults, saving in order,
// the registry messages, the picture directory and the translator's look-ups.
#include "driver/settings.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace quillon {
namespace {

using Op = MemoryRegistry::Operation;
constexpr RegistryRoot kClasses = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;
const std::string kOptionKey = "Software\\Qev Dynamics\\OPTIONS\\QEVQUILLON";

class SettingsTest : public ::testing::Test {
 protected:
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& box : env.ui.boxes) {
      EXPECT_EQ(box.caption, env.Text(kResCaption));
      texts.push_back(box.text);
    }
    return texts;
  }
  ConversionSettings Load() {
    ConversionSettings settings;
    LoadSettings(env.services, &registry, &settings);
    EXPECT_EQ(registry.open_keys(), 0u);
    return settings;
  }

  TestServices env;
  MemoryRegistry registry;
};

TEST(DecimalTest, ReadsAsAPlainDecimalConversion) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"12", 12},   {"  -3", -3}, {"+4", 4},           {"12abc", 12},
      {"abc", 0},   {"", 0},      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.expected) << c.text;
}

TEST_F(SettingsTest, UpdateRateOutsideOneToFiftyNineLoadsAsTwo) {
  const struct {
    const char* stored;
    int16_t expected;
  } cases[] = {
      {"0", 2}, {"60", 2}, {"abc", 2}, {"59", 59}, {"1", 1}, {"-5", 2}, {"65537", 2}, {" 7s", 7},
  };
  for (const auto& c : cases) {
    registry.Put(kClasses, kUpdateRateKey, kDefaultValue, c.stored);
    EXPECT_EQ(Load().update_rate, c.expected) << c.stored;
  }
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(SettingsTest, StoredValuesReplaceTheDefaultsInOrder) {
  registry.Put(kClasses, kWebOutPathKey, kDefaultValue, "/srv/web/");
  registry.Put(kClasses, kOptionOutputBmpKey, kDefaultValue, "2");
  registry.Put(kClasses, kUseCabFilesKey, kDefaultValue, "0");
  registry.Put(kClasses, kAllowPlayBackKey, kDefaultValue, "x");
  ConversionSettings settings = Load();
  EXPECT_EQ(settings.output_directory, "/srv/web/");
  EXPECT_EQ(settings.update_rate, 2) << "missing: the default stays";
  EXPECT_EQ(settings.output_bmp, 2) << "any value but 1 selects JPEG images";
  EXPECT_EQ(settings.use_cab_files, 0);
  EXPECT_EQ(settings.allow_play_back, 0) << "text that is not a number reads as 0";
  std::vector<std::string> creates;
  for (const std::string& call : registry.calls) {
    if (call.compare(0, 7, "create ") == 0) creates.push_back(call.substr(7));
  }
  EXPECT_EQ(creates, (std::vector<std::string>{kWebOutPathKey, kUpdateRateKey,
                                               kOptionOutputBmpKey, kUseCabFilesKey,
                                               kAllowPlayBackKey}));
  EXPECT_TRUE(registry.HasKey(kClasses, kUpdateRateKey)) << "a missing key is created";
}

TEST_F(SettingsTest, OutputDirectoryIsReadWholeWhateverItsLength) {
  // A fixed buffer once refused 256 characters and more without a word, and
  // the pages went to the picture directory instead.
  for (size_t length : {255u, 256u, 5000u}) {
    registry.Put(kClasses, kWebOutPathKey, kDefaultValue, std::string(length, 'd'));
    ConversionSettings settings;
    settings.output_directory = "/pics";
    LoadSettings(env.services, &registry, &settings);
    EXPECT_EQ(settings.output_directory, std::string(length, 'd'));
  }
  registry.Put(kClasses, kUpdateRateKey, kDefaultValue, std::string(300, '0') + "7");
  EXPECT_EQ(Load().update_rate, 7);
  registry.Put(kClasses, kPicturePathKey, kDefaultValue, "/" + std::string(4000, 'p'));
  EXPECT_EQ(ReadPicturePath(env.services, &registry), "/" + std::string(4000, 'p'));
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST(OutputDirectoryCheckTest, UnusableDirectoriesAreNamedAndUsableOnesKept) {
  const struct {
    std::string directory;
    std::string problem;  // the start of the reason; empty: usable
    std::string kept;     // the directory as the run uses it
  } cases[] = {
      {"/srv/web", "", "/srv/web"},
      {"/srv/web/", "", "/srv/web/"},
      {"C:\\web\\", "", "C:\\web/"},
      {"out\\", "", "out/"},
      {"", "the settings name no output directory", ""},
      {std::string("/srv/a\0b", 9), "the output directory holds a NUL character", ""},
  };
  for (const auto& c : cases) {
    MemoryRegistry registry;
    std::string directory = c.directory;
    const std::string problem = CheckOutputDirectory(&registry, &directory);
    EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem) << c.directory;
    EXPECT_EQ(problem.empty(), c.problem.empty()) << c.directory;
    if (c.problem.empty()) {
      EXPECT_EQ(directory, c.kept);
    }
  }
}

TEST(OutputDirectoryCheckTest, ASettingsFileThatCannotBeReadIsTheReason) {
  TempDir dir;
  const std::string path = dir.File("settings.reg");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("not a settings file\n", file);
  std::fclose(file);
  FileRegistry registry(path);
  std::string directory = "/srv/web";
  const std::string problem = CheckOutputDirectory(&registry, &directory);
  EXPECT_EQ(problem.rfind("the settings cannot be read (", 0), 0u) << problem;
  EXPECT_NE(problem.find("settings.reg"), std::string::npos) << problem;
}

TEST_F(SettingsTest, OutputDirectoryFallsBackToThePictureDirectory) {
  registry.Put(kClasses, kPicturePathKey, kDefaultValue, "/hmi/pics");
  ConversionSettings settings;
  settings.output_directory = ReadPicturePath(env.services, &registry);
  LoadSettings(env.services, &registry, &settings);
  EXPECT_EQ(settings.output_directory, "/hmi/pics");
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(SettingsTest, WithoutPictureDirectoryQevIsNotInstalledIsShownOnce) {
  ConversionSettings settings;
  settings.output_directory = ReadPicturePath(env.services, &registry);
  LoadSettings(env.services, &registry, &settings);
  EXPECT_EQ(settings.output_directory, "");
  EXPECT_EQ(Messages(), std::vector<std::string>{"Qev is not installed."});
}

TEST_F(SettingsTest, PictureDirectoryKeyThatCannotBeOpenedShowsBothMessages) {
  registry.Put(kClasses, kPicturePathKey, kDefaultValue, "/hmi/pics");
  registry.SetFailure(Op::kCreate, "PICPATH");
  EXPECT_EQ(ReadPicturePath(env.services, &registry), "");
  EXPECT_EQ(Messages(), (std::vector<std::string>{env.Text(96), "Qev is not installed."}));
}

TEST_F(SettingsTest, LoadFailuresShowTheirMessageAndKeepOrTakeTheValue) {
  const struct {
    Op operation;
    std::vector<int> messages;
    int16_t update_rate;
  } cases[] = {
      {Op::kCreate, {96}, 2},  // not read: the current value stays
      {Op::kQuery, {}, 2},     // a value that cannot be read is not reported
      {Op::kClose, {98}, 9},   // read, then the close fails
  };
  for (const auto& c : cases) {
    MemoryRegistry store;
    store.Put(kClasses, kUpdateRateKey, kDefaultValue, "9");
    store.Put(kClasses, kUseCabFilesKey, kDefaultValue, "0");
    store.SetFailure(c.operation, "UpdateRate");
    TestServices services;
    ConversionSettings settings;
    LoadSettings(services.services, &store, &settings);
    EXPECT_EQ(settings.update_rate, c.update_rate);
    EXPECT_EQ(settings.use_cab_files, 0) << "the other settings are still loaded";
    std::vector<std::string> expected;
    for (int id : c.messages) expected.push_back(services.Text(id));
    std::vector<std::string> shown;
    for (const auto& box : services.ui.boxes) shown.push_back(box.text);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(store.open_keys(), 0u);
  }
}

TEST_F(SettingsTest, SaveWritesTheFiveValuesAsDecimalText) {
  ConversionSettings settings{"/out/", 59, 1, 0, -1};
  EXPECT_EQ(SaveSettings(env.services, &registry, settings), 1);
  const struct {
    const char* key;
    const char* text;
  } stored[] = {{kWebOutPathKey, "/out/"},
                {kUpdateRateKey, "59"},
                {kOptionOutputBmpKey, "1"},
                {kUseCabFilesKey, "0"},
                {kAllowPlayBackKey, "-1"}};
  for (const auto& s : stored) {
    std::string value;
    EXPECT_TRUE(registry.Get(kClasses, s.key, kDefaultValue, &value)) << s.key;
    EXPECT_EQ(value, s.text) << s.key;
  }
  EXPECT_TRUE(env.ui.boxes.empty());
  EXPECT_EQ(registry.open_keys(), 0u);
  EXPECT_EQ(Load().output_directory, "/out/");
}

TEST_F(SettingsTest, SaveStopsAtTheFirstKeyThatCannotBeWritten) {
  const struct {
    Op operation;
    int message;
  } cases[] = {{Op::kCreate, 96}, {Op::kSetValue, 97}, {Op::kClose, 98}};
  for (const auto& c : cases) {
    MemoryRegistry store;
    store.SetFailure(c.operation, "UseCabFiles");
    TestServices services;
    EXPECT_EQ(SaveSettings(services.services, &store, ConversionSettings{}), 0);
    ASSERT_EQ(services.ui.boxes.size(), 1u);
    EXPECT_EQ(services.ui.boxes[0].text, services.Text(c.message));
    // The values are saved together or not at all: the keys before are undone.
    EXPECT_FALSE(store.HasKey(kClasses, kOptionOutputBmpKey)) << "a part of the change is kept";
    EXPECT_FALSE(store.HasKey(kClasses, kAllowPlayBackKey)) << "the key after is not touched";
    EXPECT_EQ(store.open_keys(), 0u);
  }
}

TEST_F(SettingsTest, LocalDataSourceIsTheFirstLocalOneInOrder) {
  const struct {
    const char* name;
    const char* prog_id;
    const char* machine;  // null: no value
    const char* source;   // null: no default value
  } sources[] = {
      {"A_Remote", "Velquist.OPCEDA", "plant2", "RemoteSrc"},
      {"B_Other", "Other.Server", "", "OtherSrc"},
      {"C_Case", "velquist.opceda", "", "CaseSrc"},
      {"D_NoMachine", "Velquist.OPCEDA", nullptr, "NoMachineSrc"},
      {"E_NoName", "Velquist.OPCEDA", "", nullptr},
      {"F_Local", "Velquist.OPCEDA", "", "LocalSrc"},
      {"G_Later", "Velquist.OPCEDA", "", "LaterSrc"},
  };
  EXPECT_EQ(FindOpcDataSource(&registry), "") << "no data sources at all";
  for (const auto& s : sources) {
    const std::string key = std::string(kDataSourcesKey) + "\\" + s.name;
    registry.Put(kClasses, key, "OpcProgID", s.prog_id);
    if (s.machine != nullptr) registry.Put(kClasses, key, "OpcServerMachineName", s.machine);
    if (s.source != nullptr) registry.Put(kClasses, key, kDefaultValue, s.source);
  }
  // Listed first, and too long a name to read: passed over.
  registry.Put(kClasses, std::string(kDataSourcesKey) + "\\" + std::string(260, '0'), "OpcProgID",
               "Velquist.OPCEDA");
  EXPECT_EQ(FindOpcDataSource(&registry), "LocalSrc");
  EXPECT_EQ(registry.open_keys(), 0u);
  EXPECT_TRUE(env.ui.boxes.empty());
}

TEST_F(SettingsTest, OptionIsSetOnlyByExactlyTrue) {
  const struct {
    const char* user;     // null: no key under the current user
    const char* classes;  // null: no key under the classes root
    bool expected;
  } cases[] = {
      {"TRUE", nullptr, true},   {"true", nullptr, false},  {nullptr, "TRUE", true},
      {"FALSE", "TRUE", false},  {"TRUE ", nullptr, false}, {nullptr, nullptr, false},
  };
  for (const auto& c : cases) {
    MemoryRegistry store;
    if (c.user != nullptr) store.Put(kUser, kOptionKey, kDefaultValue, c.user);
    if (c.classes != nullptr) store.Put(kClasses, kOptionKey, kDefaultValue, c.classes);
    EXPECT_EQ(IsOptionSet(&store), c.expected)
        << (c.user ? c.user : "-") << " / " << (c.classes ? c.classes : "-");
    EXPECT_EQ(store.open_keys(), 0u);
  }
  // A key under the current user without a value does not defer to the classes root.
  registry.Put(kUser, kOptionKey, "Other", "x");
  registry.Put(kClasses, kOptionKey, kDefaultValue, "TRUE");
  EXPECT_FALSE(IsOptionSet(&registry));
}

}  // namespace
}  // namespace quillon
