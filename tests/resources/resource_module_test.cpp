// Checks the resource module as the converter uses it: loaded by name at run
// time, texts looked up by number, dialog descriptions parsed as JSON.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "driver/resource_abi.h"

namespace {

class ResourceModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    handle_ = dlopen(QUILLON_RESOURCE_MODULE_NAME, RTLD_NOW);
    if (handle_ == nullptr) {
      // Instrumented builds may not search the program's run path: the
      // module is built beside the test program.
      char program[4096] = {0};
      ssize_t length = ::readlink("/proc/self/exe", program, sizeof(program) - 1);
      std::string folder(program, length > 0 ? static_cast<size_t>(length) : 0);
      folder = folder.substr(0, folder.rfind('/'));
      handle_ = dlopen((folder + "/" QUILLON_RESOURCE_MODULE_NAME).c_str(), RTLD_NOW);
    }
    if (handle_ == nullptr) return;
    string_fn_ = reinterpret_cast<QuillonResourceStringFn>(
        dlsym(handle_, QUILLON_RESOURCE_STRING_SYMBOL));
    dialog_fn_ = reinterpret_cast<QuillonResourceDialogFn>(
        dlsym(handle_, QUILLON_RESOURCE_DIALOG_SYMBOL));
  }
  static void TearDownTestSuite() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(handle_, nullptr) << "cannot load " << QUILLON_RESOURCE_MODULE_NAME;
    ASSERT_NE(string_fn_, nullptr);
    ASSERT_NE(dialog_fn_, nullptr);
  }

  static std::string Text(int id) {
    const char* text = string_fn_(id);
    return text == nullptr ? std::string() : std::string(text);
  }

  static void* handle_;
  static QuillonResourceStringFn string_fn_;
  static QuillonResourceDialogFn dialog_fn_;
};

void* ResourceModuleTest::handle_ = nullptr;
QuillonResourceStringFn ResourceModuleTest::string_fn_ = nullptr;
QuillonResourceDialogFn ResourceModuleTest::dialog_fn_ = nullptr;

// The conversions of a printf-style text in order, e.g. "%s%d"; anything the
// converter's own substitution does not understand shows up as "%?".
std::string Placeholders(const std::string& text) {
  std::string found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    char kind = i + 1 < text.size() ? text[i + 1] : '\0';
    found += (kind == 's' || kind == 'd') ? std::string("%") + kind : "%?";
    ++i;
  }
  return found;
}

// Texts the log writes unchanged: they carry their own line ends.
const std::set<int> kUnchangedLogLines = {58, 77, 78, 79, 83, 99, 103};

TEST_F(ResourceModuleTest, EveryStringNumberAnswersWithText) {
  for (int id = 1; id <= 142; ++id) {
    const char* text = string_fn_(id);
    ASSERT_NE(text, nullptr) << "string " << id;
    EXPECT_STRNE(text, "") << "string " << id;
  }
}

TEST_F(ResourceModuleTest, NumbersOutsideTheTablesAnswerNull) {
  for (int id : {INT_MIN, -1, 0, 143, 146, 1536, INT_MAX}) {
    EXPECT_EQ(string_fn_(id), nullptr) << "string " << id;
  }
  for (int id : {INT_MIN, -146, 0, 1, 110, 145, 147, 1535, 8099, 8101, 8301, INT_MAX}) {
    EXPECT_EQ(dialog_fn_(id), nullptr) << "dialog " << id;
  }
}

TEST_F(ResourceModuleTest, TextsComparedWithTheHmiAreExact) {
  const std::map<int, std::string> fixed = {
      {110, "Picture Converter"}, {133, "Shape"},     {135, "Animation"},
      {141, "LOCALNODE"},         {111, "TIME"},      {112, "DATE"},
      {113, "TAG"},               {114, "STATUS"},    {115, "AREA"},
      {116, "PRIORITY"},          {117, "VALUE"},     {118, "UNITS"},
      {119, "DESC"},              {120, "Time"},      {121, "Date"},
      {122, "Tag"},               {123, "Status"},    {124, "Area"},
      {125, "Priority"},          {126, "Value"},     {127, "Units"},
      {128, "Description"},       {129, "Time In"},   {130, "Date In"},
      {131, "NODE"},              {132, "Node"},
  };
  for (const auto& [id, text] : fixed) EXPECT_EQ(Text(id), text) << "string " << id;
}

TEST_F(ResourceModuleTest, PlaceholdersMatchHowTheConverterFillsThem) {
  const std::map<int, std::string> formatted = {
      {17, "%d"},      // element index
      {61, "%s%s"},    // class, then name or key
      {76, "%s"},      // output directory
      {78, "%s%s%s"},  // source picture, output base, output base
      {83, "%s%s"},    // class, then object name
      {90, "%s%s"},    // pen name, chart name
      {99, "%s"},      // object name
  };
  for (int id = 1; id <= 142; ++id) {
    auto it = formatted.find(id);
    EXPECT_EQ(Placeholders(Text(id)), it == formatted.end() ? "" : it->second)
        << "string " << id << ": " << Text(id);
  }
}

TEST_F(ResourceModuleTest, OnlyUnchangedLogLinesCarryLineEnds) {
  for (int id = 1; id <= 142; ++id) {
    const std::string text = Text(id);
    if (kUnchangedLogLines.count(id) == 0) {
      EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos)
          << "string " << id << " must not hold a line end";
      continue;
    }
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "string " << id;
    // Every line end is a full CR LF pair: no lone CR or LF inside.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') {
        EXPECT_EQ(text[i + 1], '\n') << "string " << id;
      } else if (text[i] == '\n') {
        EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "string " << id;
      }
    }
  }
}

TEST_F(ResourceModuleTest, LogPrefixesAreDistinctAndEndInABlank) {
  std::set<std::string> prefixes;
  for (int id : {80, 81, 82}) {
    const std::string text = Text(id);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), ' ') << "string " << id;
    prefixes.insert(text);
  }
  EXPECT_EQ(prefixes.size(), 3u);
}

// These texts are glued directly after a property or object name (or after
// string 61), so they must bring their own separator.
TEST_F(ResourceModuleTest, TextsThatFollowANameStartWithASeparator) {
  for (int id : {40, 41, 42, 43, 44, 45, 53, 54, 55, 62, 63, 64, 65, 66, 67, 69, 84, 85}) {
    const std::string text = Text(id);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(text[0] == ':' || text[0] == ' ') << "string " << id << ": " << text;
  }
}

TEST_F(ResourceModuleTest, DialogsHoldTheControlsTheConverterDrives) {
  struct Expected {
    int id;
    std::map<int, std::string> controls;  // identifier -> kind
  };
  const std::vector<Expected> dialogs = {
      {146, {{1001, "edit"}, {1000, "button"}, {1025, "edit"}, {1027, "updown"},
             {1015, "checkbox"}, {1016, "checkbox"}, {1017, "radio"}, {1018, "radio"},
             {1002, "button"}, {1, "default-button"}, {2, "button"}}},
      {1536, {{1089, "static"}, {1090, "static"}, {1152, "edit"}, {1120, "listbox"},
              {1136, "combobox"}, {1121, "listbox"}, {1, "default-button"}, {2, "button"}}},
      {8100, {{1003, "static"}, {2, "button"}}},
      {8300, {{1030, "edit"}, {1005, "edit"}, {1, "default-button"}, {2, "button"}}},
  };
  const std::set<std::string> kinds = {"static",   "edit",    "button",  "default-button",
                                        "checkbox", "radio",   "updown",  "listbox",
                                        "combobox", "group"};
  for (const Expected& expected : dialogs) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    const char* text = dialog_fn_(expected.id);
    ASSERT_NE(text, nullptr);
    nlohmann::json dialog;
    ASSERT_NO_THROW(dialog = nlohmann::json::parse(text));
    EXPECT_EQ(dialog.at("id").get<int>(), expected.id);
    EXPECT_FALSE(dialog.at("caption").get<std::string>().empty());
    const int width = dialog.at("width").get<int>();
    const int height = dialog.at("height").get<int>();
    ASSERT_TRUE(dialog.at("controls").is_array());

    std::map<int, std::string> found;
    for (const nlohmann::json& control : dialog.at("controls")) {
      const int id = control.at("id").get<int>();
      const std::string kind = control.at("kind").get<std::string>();
      SCOPED_TRACE("control " + std::to_string(id));
      EXPECT_EQ(kinds.count(kind), 1u) << kind;
      EXPECT_TRUE(control.at("text").is_string());
      EXPECT_TRUE(control.at("label").is_string());
      const int x = control.at("x").get<int>(), y = control.at("y").get<int>();
      const int w = control.at("width").get<int>(), h = control.at("height").get<int>();
      EXPECT_TRUE(x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= width && y + h <= height)
          << "control lies outside the dialog";
      if (id == -1) continue;  // untouched static texts and group boxes
      EXPECT_TRUE(found.emplace(id, kind).second) << "identifier used twice";
    }
    for (const auto& [id, kind] : expected.controls) {
      auto it = found.find(id);
      if (it == found.end()) {
        ADD_FAILURE() << "missing control " << id;
        continue;
      }
      EXPECT_EQ(it->second, kind) << "control " << id;
    }
  }
}

}  // namespace
