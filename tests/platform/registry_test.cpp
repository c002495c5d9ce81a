// The registry: key semantics shared by both stores, and the file store's
// format, writing and refusal of files it does not understand.
#include "platform/registry.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace quillon {
namespace {

constexpr RegistryRoot kClasses = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;

void WriteRaw(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Subkeys(Registry* registry, RegistryRoot root, const std::string& path) {
  RegistryKey key;
  EXPECT_EQ(registry->OpenKey(root, path, kKeyRead, &key), RegistryResult::kOk);
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; registry->EnumKey(key, i, kAnyLength, &name) == RegistryResult::kOk; ++i) {
    names.push_back(name);
  }
  registry->CloseKey(key);
  return names;
}

TEST(RegistryFileTest, RoundTripKeepsEscapesAndIsStable) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  {
    FileRegistry registry(path);
    ASSERT_EQ(registry.WriteString(kClasses, "Software\\Qev Dynamics\\PICPATH", kDefaultValue,
                                   "C:\\Pics\\ \"main\""),
              RegistryResult::kOk);
    ASSERT_EQ(registry.WriteString(kClasses, "QEV32\\DataSources\\Src", "OpcProgID", "a\\\\b"),
              RegistryResult::kOk);
    ASSERT_EQ(registry.WriteString(kClasses, "QEV32\\DataSources\\Src", kDefaultValue, "Src"),
              RegistryResult::kOk);
    ASSERT_EQ(registry.WriteString(kUser, "Software", "Two\nlines", "x\ny"), RegistryResult::kOk);
  }
  const std::string expected =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CLASSES_ROOT\\QEV32]\n\n"
      "[HKEY_CLASSES_ROOT\\QEV32\\DataSources]\n\n"
      "[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Src]\n"
      "@=\"Src\"\n"
      "\"OpcProgID\"=\"a\\\\\\\\b\"\n\n"
      "[HKEY_CLASSES_ROOT\\Software]\n\n"
      "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics]\n\n"
      "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\n"
      "@=\"C:\\\\Pics\\\\ \\\"main\\\"\"\n\n"
      "[HKEY_CURRENT_USER\\Software]\n"
      "\"Two\nlines\"=\"x\ny\"\n\n";
  EXPECT_EQ(ReadFile(path), expected);

  FileRegistry reread(path);
  std::string value;
  EXPECT_EQ(reread.ReadString(kClasses, "Software\\Qev Dynamics\\PICPATH", kDefaultValue, &value),
            RegistryResult::kOk);
  EXPECT_EQ(value, "C:\\Pics\\ \"main\"");
  EXPECT_EQ(reread.ReadString(kClasses, "QEV32\\DataSources\\Src", "OpcProgID", &value),
            RegistryResult::kOk);
  EXPECT_EQ(value, "a\\\\b");
  EXPECT_EQ(reread.ReadString(kUser, "Software", "two\nLINES", &value), RegistryResult::kOk);
  EXPECT_EQ(value, "x\ny");
  // Storing a value again changes nothing else in the file.
  ASSERT_EQ(reread.WriteString(kClasses, "QEV32\\DataSources\\Src", kDefaultValue, "Src"),
            RegistryResult::kOk);
  EXPECT_EQ(ReadFile(path), expected);
}

TEST(RegistryFileTest, ReadsOtherTypesCommentsCrLfAndUtf16AndKeepsTheValues) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  WriteRaw(path,
           "Windows Registry Editor Version 5.00\r\n\r\n"
           "; a comment\r\n"
           "[HKEY_LOCAL_MACHINE\\Other]\r\n"
           "\"Bin\"=hex:01,02,\\\r\n"
           "  03\r\n"
           "[hkey_classes_root\\A]\r\n"
           "\"N\" = dword:00000001\r\n"
           "@=\"text\"\r\n");
  FileRegistry registry(path);
  std::string value;
  EXPECT_EQ(registry.ReadString(kClasses, "A", kDefaultValue, &value), RegistryResult::kOk);
  EXPECT_EQ(value, "text");
  EXPECT_EQ(registry.ReadString(kClasses, "A", "N", &value), RegistryResult::kWrongType);
  ASSERT_EQ(registry.WriteString(kClasses, "A", "S", "s"), RegistryResult::kOk);
  EXPECT_EQ(ReadFile(path),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CLASSES_ROOT\\A]\n@=\"text\"\n\"N\"=dword:00000001\n\"S\"=\"s\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Other]\n\"Bin\"=hex:01,02,03\n\n");

  const std::string wide_path = dir.File("wide.reg");
  std::string wide = "\xFF\xFE";
  for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n@=\"\xE9\"\r\n")) {
    wide += c;
    wide += '\0';
  }
  WriteRaw(wide_path, wide);
  FileRegistry wide_registry(wide_path);
  EXPECT_EQ(wide_registry.ReadString(kUser, "K", kDefaultValue, &value), RegistryResult::kOk);
  EXPECT_EQ(value, "\xE9");
}

TEST(RegistryFileTest, MissingFileIsEmptyAndCreatedWithItsFolderOnFirstChange) {
  TempDir dir;
  const std::string path = dir.File("config/quillon/registry.reg");
  FileRegistry registry(path);
  RegistryKey key;
  EXPECT_EQ(registry.OpenKey(kClasses, "Software", kKeyRead, &key), RegistryResult::kNotFound);
  EXPECT_EQ(registry.OpenKey(kClasses, "", kKeyRead, &key), RegistryResult::kOk);
  std::string name;
  EXPECT_EQ(registry.EnumKey(key, 0, kAnyLength, &name), RegistryResult::kNoMoreItems);
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kOk);
  EXPECT_FALSE(FileExists(path)) << "reading writes nothing";

  ASSERT_EQ(registry.CreateKey(kClasses, "Software\\Qev", kKeyAllAccess, &key),
            RegistryResult::kOk);
  EXPECT_EQ(ReadFile(path),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CLASSES_ROOT\\Software]\n\n[HKEY_CLASSES_ROOT\\Software\\Qev]\n\n");
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kOk);
}

TEST(RegistryFileTest, WritesLeaveNoTemporaryFileAndPickUpChangesOnDisk) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  FileRegistry registry(path);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(registry.WriteString(kClasses, "K" + std::to_string(i), kDefaultValue, "v"),
              RegistryResult::kOk);
  }
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.reg"});

  // Another program rewrites the file: the file was read once, so the
  // registry keeps its values until it is told to read the file again.
  WriteRaw(path, "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\Other]\n@=\"o\"\n");
  std::string value;
  EXPECT_EQ(registry.ReadString(kClasses, "K1", kDefaultValue, &value), RegistryResult::kOk);
  registry.Reload();
  EXPECT_EQ(registry.ReadString(kClasses, "K1", kDefaultValue, &value), RegistryResult::kNotFound);
  EXPECT_EQ(registry.ReadString(kClasses, "Other", kDefaultValue, &value), RegistryResult::kOk);
  EXPECT_EQ(value, "o");
  std::filesystem::remove(path);
  registry.Reload();
  EXPECT_EQ(registry.ReadString(kClasses, "Other", kDefaultValue, &value),
            RegistryResult::kNotFound);
}

// The file's identity and time of change: a rewrite gives it a new inode.
std::pair<ino_t, std::string> Stamp(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return {status.st_ino, std::to_string(status.st_mtim.tv_sec) + "." +
                             std::to_string(status.st_mtim.tv_nsec)};
}

TEST(RegistryFileTest, TheSameValueAgainWritesNothing) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  FileRegistry registry(path);
  ASSERT_EQ(registry.WriteString(kClasses, "K", kDefaultValue, "v"), RegistryResult::kOk);
  const auto before = Stamp(path);
  EXPECT_EQ(registry.WriteString(kClasses, "K", kDefaultValue, "v"), RegistryResult::kOk);
  EXPECT_EQ(registry.WriteString(kClasses, "k", "", "v"), RegistryResult::kOk);
  EXPECT_EQ(Stamp(path), before);
  // Another text is a change.
  ASSERT_EQ(registry.WriteString(kClasses, "K", kDefaultValue, "w"), RegistryResult::kOk);
  EXPECT_NE(Stamp(path), before);
}

TEST(RegistryFileTest, AGroupOfChangesIsOneRewriteOrNone) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  WriteRaw(path, "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"old\"\n\n");
  const std::string original = ReadFile(path);
  {
    FileRegistry registry(path);
    RegistryChanges changes(&registry);
    ASSERT_EQ(registry.WriteString(kClasses, "A", kDefaultValue, "new"), RegistryResult::kOk);
    ASSERT_EQ(registry.WriteString(kClasses, "B\\C", "x", "1"), RegistryResult::kOk);
    // Nothing reaches the file before the group ends.
    EXPECT_EQ(ReadFile(path), original);
    std::string value;
    EXPECT_EQ(registry.ReadString(kClasses, "B\\C", "x", &value), RegistryResult::kOk);
    EXPECT_EQ(value, "1");
    // Abandoned (no Commit): undone in memory too.
  }
  EXPECT_EQ(ReadFile(path), original);
  FileRegistry registry(path);
  {
    RegistryChanges changes(&registry);
    ASSERT_EQ(registry.WriteString(kClasses, "A", kDefaultValue, "new"), RegistryResult::kOk);
    ASSERT_EQ(registry.WriteString(kClasses, "B\\C", "x", "1"), RegistryResult::kOk);
    EXPECT_EQ(changes.Commit(), RegistryResult::kOk);
  }
  registry.Reload();
  std::string value;
  EXPECT_EQ(registry.ReadString(kClasses, "A", kDefaultValue, &value), RegistryResult::kOk);
  EXPECT_EQ(value, "new");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.reg"});
}

TEST(RegistryFileTest, AChangeRemovesTheOldTemporariesOfKilledRewrites) {
  TempDir dir;
  const std::string path = dir.File("registry.reg");
  WriteRaw(dir.File(".registry.reg.k1lled"), "half");
  WriteRaw(dir.File(".registry.reg.fresh1"), "another rewrite in progress");
  WriteRaw(dir.File(".registry.reg.old"), "not one of ours");
  struct timeval old_times[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
  ASSERT_EQ(::utimes(dir.File(".registry.reg.k1lled").c_str(), old_times), 0);
  ASSERT_EQ(::utimes(dir.File(".registry.reg.old").c_str(), old_times), 0);
  FileRegistry registry(path);
  ASSERT_EQ(registry.WriteString(kClasses, "K", kDefaultValue, "v"), RegistryResult::kOk);
  EXPECT_EQ(FolderEntries(dir.path()),
            (std::vector<std::string>{".registry.reg.fresh1", ".registry.reg.old", "registry.reg"}));
}

// A store whose writes fail after the first `good` ones, counting them.
class CountingStore : public TreeRegistry {
 public:
  int writes = 0;
  int good = 1000;

 protected:
  RegistryResult Persist() override {
    return ++writes <= good ? RegistryResult::kOk : RegistryResult::kWriteFailed;
  }
};

TEST(RegistryKeyTest, AGroupThatCannotBeStoredIsUndoneWhole) {
  CountingStore registry;
  ASSERT_EQ(registry.WriteString(kClasses, "A", kDefaultValue, "1"), RegistryResult::kOk);
  const int writes = registry.writes;
  registry.good = writes;
  registry.BeginChanges();
  registry.BeginChanges();  // nested: only the outer end stores
  EXPECT_EQ(registry.WriteString(kClasses, "A", kDefaultValue, "2"), RegistryResult::kOk);
  EXPECT_EQ(registry.WriteString(kClasses, "N", kDefaultValue, "n"), RegistryResult::kOk);
  EXPECT_EQ(registry.EndChanges(true), RegistryResult::kOk);
  EXPECT_EQ(registry.writes, writes);
  EXPECT_EQ(registry.EndChanges(true), RegistryResult::kWriteFailed);
  EXPECT_EQ(registry.writes, writes + 1);
  std::string value;
  EXPECT_EQ(registry.ReadString(kClasses, "A", kDefaultValue, &value), RegistryResult::kOk);
  EXPECT_EQ(value, "1");
  EXPECT_EQ(registry.ReadString(kClasses, "N", kDefaultValue, &value), RegistryResult::kNotFound);
}

TEST(RegistryFileTest, MalformedFileIsReportedAndNeverOverwritten) {
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"[HKEY_CLASSES_ROOT\\A]\n", "line 1: not a registry file"},
      {"Windows Registry Editor Version 5.00\n@=\"x\"\n", "line 2: a value before the first"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\n", "line 3: a string"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n@=\"\\n\"\n", "unknown escape"},
      {"Windows Registry Editor Version 5.00\n[-HKEY_CLASSES_ROOT\\A]\n", "deletions"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n\"v\"=-\n", "deletions"},
      {"Windows Registry Editor Version 5.00\n[SOFTWARE\\A]\n", "unknown root"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A\\\\B]\n", "empty key name"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\" y\n", "after the value"},
      {"Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\A]\n@=qword:1\n", "unknown type"},
      {"Windows Registry Editor Version 5.00\nA=B\n", "line 2: unexpected text"},
      {std::string("\xFF\xFEW\0\x01\x01", 6), "outside the 8-bit code page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    const std::string path = dir.File("registry.reg");
    const std::string& text = c.text;
    WriteRaw(path, text);
    FileRegistry registry(path);
    RegistryKey key;
    EXPECT_EQ(registry.CreateKey(kClasses, "New", kKeyAllAccess, &key),
              RegistryResult::kUnreadable);
    EXPECT_EQ(registry.OpenKey(kClasses, "A", kKeyRead, &key), RegistryResult::kUnreadable);
    EXPECT_NE(registry.error().find(c.error), std::string::npos) << registry.error();
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.reg"});

    // Once mended, the file is read again and used.
    WriteRaw(path, "Windows Registry Editor Version 5.00\n");
    EXPECT_EQ(registry.CreateKey(kClasses, "New", kKeyAllAccess, &key), RegistryResult::kOk);
    EXPECT_TRUE(registry.error().empty());
  }
}

TEST(RegistryPathTest, ResolvesFromTheEnvironment) {
  const struct {
    const char* quillon;
    const char* xdg;
    const char* home;
    const char* expected;
  } cases[] = {
      {"/etc/q.reg", "/x", "/home/u", "/etc/q.reg"},
      {"", "/x", "/home/u", "/x/quillon/registry.reg"},
      {nullptr, "/x/", "/home/u", "/x/quillon/registry.reg"},
      {nullptr, "relative", "/home/u", "/home/u/.config/quillon/registry.reg"},
      {nullptr, "", "/home/u/", "/home/u/.config/quillon/registry.reg"},
      {nullptr, nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveRegistryPath(c.quillon, c.xdg, c.home), c.expected);
  }
}

// The key semantics are the same for both stores; these run on the memory one.
TEST(RegistryKeyTest, NamesCompareWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  MemoryRegistry registry;
  ASSERT_EQ(registry.WriteString(kClasses, "Software\\Qev", "Name", "1"), RegistryResult::kOk);
  ASSERT_EQ(registry.WriteString(kClasses, "SOFTWARE\\qev", "NAME", "2"), RegistryResult::kOk);
  std::string value;
  EXPECT_EQ(registry.ReadString(kClasses, "software\\QEV", "name", &value), RegistryResult::kOk);
  EXPECT_EQ(value, "2");
  EXPECT_EQ(Subkeys(&registry, kClasses, "SOFTWARE"), std::vector<std::string>{"Qev"});
  EXPECT_FALSE(registry.HasKey(kUser, "Software")) << "the roots are apart";
}

TEST(RegistryKeyTest, SubkeysAreListedAlphabeticallyWithoutRegardToCase) {
  MemoryRegistry registry;
  for (const char* name : {"beta", "_x", "Alpha", "gamma\\deep", "Delta", "alpha2", "A-B"}) {
    registry.Put(kClasses, std::string("Root\\") + name, kDefaultValue, "");
  }
  EXPECT_EQ(Subkeys(&registry, kClasses, "Root"),
            (std::vector<std::string>{"A-B", "Alpha", "alpha2", "beta", "Delta", "gamma", "_x"}));

  RegistryKey key;
  ASSERT_EQ(registry.OpenKey(kClasses, "Root", kKeyRead, &key), RegistryResult::kOk);
  std::string name = "kept";
  EXPECT_EQ(registry.EnumKey(key, 1, 5, &name), RegistryResult::kMoreData);
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(registry.EnumKey(key, 1, 6, &name), RegistryResult::kOk);
  EXPECT_EQ(name, "Alpha");
  EXPECT_EQ(registry.EnumKey(key, 7, kAnyLength, &name), RegistryResult::kNoMoreItems);
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kOk);
  EXPECT_EQ(registry.open_keys(), 0u);
}

TEST(RegistryKeyTest, OperationsCheckHandlesAccessNamesAndCapacity) {
  MemoryRegistry registry;
  registry.Put(kClasses, "K", kDefaultValue, std::string(255, 'v'));
  RegistryKey key;
  ASSERT_EQ(registry.OpenKey(kClasses, "K", kKeyQueryValue, &key), RegistryResult::kOk);
  std::string value = "kept";
  EXPECT_EQ(registry.QueryValue(key, kDefaultValue, 255, &value), RegistryResult::kMoreData);
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(registry.QueryValue(key, kDefaultValue, 256, &value), RegistryResult::kOk);
  EXPECT_EQ(value.size(), 255u);
  EXPECT_EQ(registry.QueryValue(key, "missing", 256, &value), RegistryResult::kNotFound);
  EXPECT_EQ(registry.SetValue(key, "x", "y"), RegistryResult::kAccessDenied);
  std::string name;
  EXPECT_EQ(registry.EnumKey(key, 0, kAnyLength, &name), RegistryResult::kAccessDenied);
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kOk);
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kInvalidHandle);
  EXPECT_EQ(registry.QueryValue(key, kDefaultValue, 256, &value), RegistryResult::kInvalidHandle);

  for (const char* bad : {"A\\\\B", "\\A", "A\\", "A\nB"}) {
    EXPECT_EQ(registry.CreateKey(kClasses, bad, kKeyAllAccess, &key), RegistryResult::kInvalidName)
        << bad;
  }
}

// A store whose every write fails: a change that cannot be stored is undone.
class FailingStore : public TreeRegistry {
 protected:
  RegistryResult Persist() override { return RegistryResult::kWriteFailed; }
};

TEST(RegistryKeyTest, ChangeThatCannotBeStoredIsUndone) {
  FailingStore registry;
  RegistryKey key;
  EXPECT_EQ(registry.CreateKey(kClasses, "A\\B", kKeyAllAccess, &key),
            RegistryResult::kWriteFailed);
  EXPECT_EQ(registry.OpenKey(kClasses, "A", kKeyRead, &key), RegistryResult::kNotFound);
  EXPECT_EQ(registry.open_keys(), 0u);
}

TEST(MemoryRegistryTest, FailuresApplyToMatchingKeysAndCallsAreRecorded) {
  MemoryRegistry registry;
  registry.SetFailure(MemoryRegistry::Operation::kSetValue, "rate");
  registry.SetFailure(MemoryRegistry::Operation::kClose, "", RegistryResult::kInvalidHandle);
  RegistryKey key;
  ASSERT_EQ(registry.CreateKey(kClasses, "Q\\UpdateRate", kKeyAllAccess, &key),
            RegistryResult::kOk);
  EXPECT_EQ(registry.SetValue(key, kDefaultValue, "5"), RegistryResult::kAccessDenied);
  EXPECT_EQ(registry.CloseKey(key), RegistryResult::kInvalidHandle);
  EXPECT_EQ(registry.open_keys(), 0u) << "a failing close still releases";
  EXPECT_EQ(registry.calls, (std::vector<std::string>{
                                "create Q\\UpdateRate",
                                "set Q\\UpdateRate @=5 -> access denied",
                                "close Q\\UpdateRate -> invalid handle",
                            }));
  registry.ClearFailures();
  EXPECT_EQ(registry.WriteString(kClasses, "Q\\UpdateRate", kDefaultValue, "5"),
            RegistryResult::kOk);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST(RegistryTextTest, TypedValuesWithOddCharactersAreRefusedNotRewrittenDifferently) {
  const std::string text = std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\K]\n") +
                           "@=dword:\x01" + std::string(1, '\0') + "pc\\\\\n" + "\x9a\\\\\n";
  TreeRegistry::Table table;
  std::string error;
  EXPECT_FALSE(ParseRegistryText(text, &table, &error));
  EXPECT_NE(error.find("unexpected character"), std::string::npos) << error;
  // A continuation with nothing after it leaves no trailing blank behind.
  const std::string dangling = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\K]\n"
                               "@=dword:0001 \\";
  ASSERT_TRUE(ParseRegistryText(dangling, &table, &error)) << error;
  const std::string rewritten = FormatRegistryText(table);
  TreeRegistry::Table reread;
  ASSERT_TRUE(ParseRegistryText(rewritten, &reread, &error)) << error;
  EXPECT_EQ(FormatRegistryText(reread), rewritten);
  // Well-formed typed values still round-trip.
  const std::string good =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\K]\n\"D\"=dword:00000001\n"
      "\"H\"=hex:01,02,\\\n  03\n";
  ASSERT_TRUE(ParseRegistryText(good, &table, &error)) << error;
  const std::string written = FormatRegistryText(table);
  TreeRegistry::Table again;
  ASSERT_TRUE(ParseRegistryText(written, &again, &error)) << error;
  EXPECT_EQ(FormatRegistryText(again), written);
}

}  // namespace
}  // namespace quillon
