// The translator's look-ups in the settings (the local data source, the
// option flag) are searched once and remembered while the settings stay as
// they are: a value changed, a key added, a failure met or the file read
// again is seen by the next look-up, and a store that cannot tell whether
// it changed is searched every time.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "driver/settings.h"
#include "support/test_env.h"

namespace quillon {
namespace {

using Op = MemoryRegistry::Operation;
constexpr RegistryRoot kClasses = RegistryRoot::kClassesRoot;
const std::string kLocal = std::string(kDataSourcesKey) + "\\Local";
const std::string kOptionPath =
    std::string(kOptionKeyBase) + kOptionKeyOptions + kOptionKeyFlag;

void PutLocalSource(MemoryRegistry* registry, const std::string& name) {
  registry->Put(kClasses, kLocal, "OpcProgID", kLocalOpcProgId);
  registry->Put(kClasses, kLocal, "OpcServerMachineName", "");
  registry->Put(kClasses, kLocal, kDefaultValue, name);
}

TEST(SettingsMemoTest, TheLocalSourceIsSearchedAgainOnlyAfterAChange) {
  MemoryRegistry registry;
  PutLocalSource(&registry, "DS");
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
  const size_t searched = registry.calls.size();
  EXPECT_GT(searched, 0u);
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
  EXPECT_EQ(registry.calls.size(), searched) << "remembered: no key opened again";

  // Each way the answer may change is seen by the next look-up.
  struct Change {
    const char* what;
    std::function<void()> make;
    const char* expected;
  };
  const Change changes[] = {
      {"a value set through a key",
       [&] { registry.WriteString(kClasses, kLocal, kDefaultValue, "DS2"); }, "DS2"},
      {"a value stored directly", [&] { PutLocalSource(&registry, "DS3"); }, "DS3"},
      {"the source made remote",
       [&] { registry.WriteString(kClasses, kLocal, "OpcServerMachineName", "far"); }, ""},
      {"made local again",
       [&] { registry.WriteString(kClasses, kLocal, "OpcServerMachineName", ""); }, "DS3"},
      {"a failure switched on",
       [&] { registry.SetFailure(Op::kOpen, "DataSources", RegistryResult::kAccessDenied); },
       ""},
      {"the failure switched off", [&] { registry.ClearFailures(); }, "DS3"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    change.make();
    const size_t before = registry.calls.size();
    EXPECT_EQ(FindOpcDataSource(&registry), change.expected);
    EXPECT_GT(registry.calls.size(), before) << "searched again";
    const size_t after = registry.calls.size();
    EXPECT_EQ(FindOpcDataSource(&registry), change.expected);
    EXPECT_EQ(registry.calls.size(), after) << "and remembered again";
  }
  EXPECT_EQ(registry.open_keys(), 0u);
}

TEST(SettingsMemoTest, AGroupOfChangesUndoneIsSeenToo) {
  MemoryRegistry registry;
  PutLocalSource(&registry, "DS");
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
  {
    RegistryChanges changes(&registry);
    registry.WriteString(kClasses, kLocal, kDefaultValue, "Inside");
    EXPECT_EQ(FindOpcDataSource(&registry), "Inside") << "a change within the group";
  }  // abandoned: undone
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
}

TEST(SettingsMemoTest, TheOptionFlagFollowsItsValue) {
  MemoryRegistry registry;
  EXPECT_FALSE(IsOptionSet(&registry));
  const size_t searched = registry.calls.size();
  EXPECT_FALSE(IsOptionSet(&registry));
  EXPECT_EQ(registry.calls.size(), searched);
  registry.Put(RegistryRoot::kCurrentUser, kOptionPath, kDefaultValue, kOptionSetText);
  EXPECT_TRUE(IsOptionSet(&registry));
  EXPECT_TRUE(IsOptionSet(&registry));
  registry.Put(RegistryRoot::kCurrentUser, kOptionPath, kDefaultValue, "FALSE");
  EXPECT_FALSE(IsOptionSet(&registry));
}

// A store that answers through another and cannot say whether it changed.
class ForwardingRegistry : public Registry {
 public:
  explicit ForwardingRegistry(MemoryRegistry* inner) : inner_(inner) {}
  RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                         RegistryKey* key) override {
    return inner_->OpenKey(root, path, access, key);
  }
  RegistryResult CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                           RegistryKey* key) override {
    return inner_->CreateKey(root, path, access, key);
  }
  RegistryResult QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                            std::string* value) override {
    return inner_->QueryValue(key, name, capacity, value);
  }
  RegistryResult SetValue(RegistryKey key, const std::string& name,
                          const std::string& value) override {
    return inner_->SetValue(key, name, value);
  }
  RegistryResult EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                         std::string* name) override {
    return inner_->EnumKey(key, index, capacity, name);
  }
  RegistryResult CloseKey(RegistryKey key) override { return inner_->CloseKey(key); }

 private:
  MemoryRegistry* inner_;
};

TEST(SettingsMemoTest, AStoreThatCannotTellIsSearchedEveryTime) {
  MemoryRegistry inner;
  PutLocalSource(&inner, "DS");
  ForwardingRegistry registry(&inner);
  EXPECT_EQ(registry.generation(), Registry::kUnknownGeneration);
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
  const size_t searched = inner.calls.size();
  EXPECT_EQ(FindOpcDataSource(&registry), "DS");
  EXPECT_GT(inner.calls.size(), searched);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string SettingsFile(const std::string& source) {
  return "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\n"
         "@=\"" + source + "\"\n"
         "\"OpcProgID\"=\"Velquist.OPCEDA\"\n"
         "\"OpcServerMachineName\"=\"\"\n";
}

TEST(SettingsMemoTest, TheSettingsFileIsSeenAsItIsReadAndChanged) {
  TempDir dir;
  const std::string path = dir.File("settings.reg");
  WriteText(path, "this is no registry file\n");
  FileRegistry registry(path);
  EXPECT_EQ(FindOpcDataSource(&registry), "") << "unreadable";
  EXPECT_EQ(registry.generation(), Registry::kUnknownGeneration)
      << "a file that cannot be read is tried again";
  WriteText(path, SettingsFile("DS"));
  EXPECT_EQ(FindOpcDataSource(&registry), "DS") << "read once mended";
  EXPECT_NE(registry.generation(), Registry::kUnknownGeneration);

  // Another program's edit is seen once the file is read again.
  WriteText(path, SettingsFile("Edited"));
  EXPECT_EQ(FindOpcDataSource(&registry), "DS") << "the file is read once per run";
  registry.Reload();
  EXPECT_EQ(FindOpcDataSource(&registry), "Edited");

  // A change made through the registry, stored in the file.
  ASSERT_EQ(registry.WriteString(kClasses, kLocal, kDefaultValue, "Set"), RegistryResult::kOk);
  EXPECT_EQ(FindOpcDataSource(&registry), "Set");
  EXPECT_NE(ReadFile(path).find("@=\"Set\""), std::string::npos);
}

}  // namespace
}  // namespace quillon
