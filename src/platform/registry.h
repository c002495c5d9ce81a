// The settings store: a tree of keys under two roots, each key holding a
// default value and named string values. Key and value names compare without
// regard to case and subkeys are listed alphabetically without regard to
// case. The default store is a text file in the registry export format; an
// in-memory store with switchable failures serves the tests.
#ifndef QUILLON_PLATFORM_REGISTRY_H_
#define QUILLON_PLATFORM_REGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quillon {

enum class RegistryRoot { kClassesRoot, kCurrentUser };

// What an opened key may be used for; an operation outside its key's access
// fails with kAccessDenied.
enum RegistryAccess : unsigned {
  kKeyQueryValue = 0x1,
  kKeySetValue = 0x2,
  kKeyEnumerateSubKeys = 0x8,
  kKeyRead = kKeyQueryValue | kKeyEnumerateSubKeys,
  kKeyAllAccess = kKeyQueryValue | kKeySetValue | kKeyEnumerateSubKeys,
};

enum class RegistryResult {
  kOk,
  kNotFound,       // no such key (open) or no such value (query)
  kMoreData,       // the value or name does not fit the capacity given
  kNoMoreItems,    // enumeration index past the last subkey
  kAccessDenied,   // the key was not opened for this operation
  kInvalidHandle,  // not an open key, or its key no longer exists
  kInvalidName,    // a key path with an empty part or a line break
  kWrongType,      // the value is not a string
  kUnreadable,     // the store cannot be read or is malformed
  kWriteFailed,    // the change could not be stored
};

// Name of a result, for diagnostics ("ok", "not found", ...).
const char* RegistryResultName(RegistryResult result);

// A handle to an opened key; valid until CloseKey.
struct RegistryKey {
  uint32_t id = 0;
  bool valid() const { return id != 0; }
};

// The name of the default value of a key.
constexpr char kDefaultValue[] = "";
// A capacity that any value fits.
constexpr size_t kAnyLength = std::numeric_limits<size_t>::max();

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens the existing key `path` ("A\B\C", "\" between parts; empty for the
  // root itself) under `root`. kNotFound when it does not exist.
  virtual RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                                 RegistryKey* key) = 0;
  // Opens `path`, creating it and every missing key above it first.
  virtual RegistryResult CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                                   RegistryKey* key) = 0;
  // Reads the string value `name` (kDefaultValue for the default value).
  // `capacity` counts bytes including a terminating zero, as a caller's
  // buffer would: a value of capacity bytes or more gives kMoreData and
  // leaves *value unchanged, as does every other failure.
  virtual RegistryResult QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                                    std::string* value) = 0;
  // Stores `value` as the string value `name`, replacing any value of that
  // name whatever its type.
  virtual RegistryResult SetValue(RegistryKey key, const std::string& name,
                                  const std::string& value) = 0;
  // The name of the subkey at `index` in alphabetical order without regard
  // to case; kNoMoreItems past the last one. `capacity` as for QueryValue.
  virtual RegistryResult EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                                 std::string* name) = 0;
  // Releases the handle. The handle is released even when the result
  // reports a failure.
  virtual RegistryResult CloseKey(RegistryKey key) = 0;

  // Conveniences over the operations above: read one string value of an
  // existing key, or write one, creating the key.
  RegistryResult ReadString(RegistryRoot root, const std::string& path, const std::string& name,
                            std::string* value);
  RegistryResult WriteString(RegistryRoot root, const std::string& path, const std::string& name,
                             const std::string& value);

  // Changes made between BeginChanges and EndChanges are stored together,
  // as one rewrite of the store, by EndChanges(true); EndChanges(false)
  // undoes them. Pairs may nest: the outermost pair stores. A store that
  // keeps nothing outside the process may ignore both.
  virtual void BeginChanges() {}
  virtual RegistryResult EndChanges(bool store) {
    (void)store;
    return RegistryResult::kOk;
  }

  // A number that changes whenever an answer of this registry may have
  // changed (a value set, a key made, a change undone, the store read
  // again); kUnknownGeneration when the registry cannot tell.
  static constexpr uint64_t kUnknownGeneration = 0;
  virtual uint64_t generation() const { return kUnknownGeneration; }

  // An answer worked out from several operations (a search through keys),
  // remembered under `what` for as long as generation() stays what it was
  // when it was remembered: a value changed since is seen by the next
  // search. Nothing is remembered while the generation is unknown.
  bool Recall(const std::string& what, std::string* answer) const;
  void Remember(const std::string& what, const std::string& answer);

 private:
  struct Remembered {
    uint64_t generation;
    std::string answer;
  };
  std::map<std::string, Remembered> remembered_;
};

// Begins a group of changes and ends it unstored unless Commit was called:
// a group abandoned on an early return leaves the store as it was.
class RegistryChanges {
 public:
  explicit RegistryChanges(Registry* registry) : registry_(registry) {
    if (registry_ != nullptr) registry_->BeginChanges();
  }
  ~RegistryChanges() {
    if (registry_ != nullptr) registry_->EndChanges(false);
  }
  RegistryChanges(const RegistryChanges&) = delete;
  RegistryChanges& operator=(const RegistryChanges&) = delete;
  // Stores the group; the result of the store.
  RegistryResult Commit() {
    Registry* registry = registry_;
    registry_ = nullptr;
    return registry != nullptr ? registry->EndChanges(true) : RegistryResult::kOk;
  }

 private:
  Registry* registry_;
};

// A registry held in memory as a flat, sorted table of keys. The two stores
// below build on it: they hook in before every operation (to bring the
// table up to date) and after every change (to store it).
class TreeRegistry : public Registry {
 public:
  RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                         RegistryKey* key) override;
  RegistryResult CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                           RegistryKey* key) override;
  RegistryResult QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                            std::string* value) override;
  RegistryResult SetValue(RegistryKey key, const std::string& name,
                          const std::string& value) override;
  RegistryResult EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                         std::string* name) override;
  RegistryResult CloseKey(RegistryKey key) override;
  void BeginChanges() override;
  RegistryResult EndChanges(bool store) override;

  // Number of handles not yet closed.
  size_t open_keys() const { return handles_.size(); }

  // One stored value: a string, or a value of another type kept as the
  // text that stands after "=" in the file ("dword:00000001", "hex:...").
  struct Value {
    std::string name;  // as first stored; empty for the default value
    std::string data;
    bool is_string = true;
  };
  struct Key {
    std::string path;  // root name and path as first stored, "\" between parts
    std::vector<Value> values;  // the default value first, then in the order first stored
  };
  // Keys by their full path folded to capitals, so that the table is sorted
  // alphabetically without regard to case and parents come before children.
  using Table = std::map<std::string, Key>;

  // The name of `root` as it stands in the file ("HKEY_CLASSES_ROOT", ...).
  static const char* RootName(RegistryRoot root);
  // `text` with the small letters a-z made capitals.
  static std::string Fold(const std::string& text);

  // Creates the key `full_path` (a root name, then "\" and the path) and
  // every missing key above it in `table`; returns the key. Each part is
  // kept as written when its key is new.
  static Key& AddKey(Table* table, const std::string& full_path);
  // Stores a value in `key`, replacing any value of the same name.
  static void PutValue(Key* key, const std::string& name, const std::string& data,
                       bool is_string);

 protected:
  // Brings the table up to date before an operation; a failure ends the
  // operation with that result.
  virtual RegistryResult Refresh() { return RegistryResult::kOk; }
  // Stores the table after a change; on a failure the change is undone and
  // the operation ends with that result.
  virtual RegistryResult Persist() { return RegistryResult::kOk; }

  // The table to change: every use counts as a change of the answers.
  Table& table() {
    Touched();
    return table_;
  }
  const Table& table() const { return table_; }
  // Counts a change of the answers; changes() is the count (from 1), which
  // a store whose answers change only through this class may give as its
  // generation().
  void Touched() { ++changes_; }
  uint64_t changes() const { return changes_; }

 private:
  struct Handle {
    std::string folded_path;
    unsigned access;
  };
  RegistryResult Open(RegistryRoot root, const std::string& path, unsigned access, bool create,
                      RegistryKey* key);
  // The key of an open handle, checking its access; null with *result set
  // when the operation cannot go on.
  Key* Resolve(RegistryKey key, unsigned needed, RegistryResult* result);

  // Stores the table after a change, or leaves it for the end of the
  // group of changes in progress; on a failure the table is `before` again.
  RegistryResult Changed(Table* before);

  Table table_;
  uint64_t changes_ = 1;
  std::map<uint32_t, Handle> handles_;
  uint32_t next_handle_ = 1;
  int change_depth_ = 0;     // open BeginChanges calls
  bool changes_made_ = false;  // a change waits for the end of the group
  Table group_start_;        // the table when the outermost group began
};

// The registry kept in a file in the registry export text format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\Software\Qev Dynamics\Quillon\UpdateRate]
//   @="2"
//   "Name"="C:\\dir \"quoted\""
//
// A missing file is an empty registry; the file (and its folder) is created
// by the first change. Every change (or group of changes, see BeginChanges)
// writes the whole file to a temporary file in the same folder, which then
// replaces the file by renaming, so the file is never seen half-written. A
// value set to the text it already has is no change. The file is read once,
// by the first operation, and not looked at again until Reload: a run reads
// its settings once, and a change made by another program meanwhile is seen
// by the next run.
//
// A file that cannot be read or parsed makes every operation but CloseKey
// fail with kUnreadable (error() says why), and no change is written until
// the file is mended or removed: a file this class does not understand is
// never replaced. Values of other types (dword:, hex:) are kept as written,
// comment lines (";") are read over and not kept.
//
// Sections are written sorted by key path without regard to case, each key
// with a section of its own; values in the order first stored, the default
// value first. Lines end with LF; lines ending with CR LF, a UTF-8 byte
// order mark, and UTF-16LE files whose characters all lie in the 8-bit
// code page are read too.
class FileRegistry : public TreeRegistry {
 public:
  explicit FileRegistry(std::string path);

  const std::string& path() const { return path_; }
  // Makes the next operation read the file again.
  void Reload() { loaded_ = false; }
  // Why the last operation could not use the file; empty when it could.
  const std::string& error() const { return error_; }
  // Unknown until the file is read (a file that cannot be read is tried
  // again by every operation).
  uint64_t generation() const override { return loaded_ ? changes() : kUnknownGeneration; }

 protected:
  RegistryResult Refresh() override;
  RegistryResult Persist() override;

 private:
  std::string path_;
  std::string error_;
  bool loaded_ = false;
};

// Parses the text of a registry file into `table` (emptied first). False,
// with the reason and its line number in *error, when the text is not a
// registry file this class can keep.
bool ParseRegistryText(const std::string& text, TreeRegistry::Table* table, std::string* error);
// The file text of `table`.
std::string FormatRegistryText(const TreeRegistry::Table& table);

// Where the registry file is: `quillon_registry` when set, else
// `xdg_config_home` + "/quillon/registry.reg" when set and absolute, else
// `home` + "/.config/quillon/registry.reg". Empty or null arguments count as
// unset; empty when no argument is usable.
std::string ResolveRegistryPath(const char* quillon_registry, const char* xdg_config_home,
                                const char* home);
// The same from the environment ($QUILLON_REGISTRY, $XDG_CONFIG_HOME,
// $HOME, and the user's home folder of the password database when $HOME is
// unset).
std::string DefaultRegistryPath();

// The in-memory registry of the tests: the same semantics as the file, with
// failures switched on per operation and key, and a record of every call.
class MemoryRegistry : public TreeRegistry {
 public:
  enum class Operation { kOpen, kCreate, kQuery, kSetValue, kEnumerate, kClose };

  // Makes `operation` fail with `result` on every key whose path (without
  // the root) contains `path_part` without regard to case; an empty
  // `path_part` matches every key. A failing close still releases its handle.
  void SetFailure(Operation operation, const std::string& path_part = "",
                  RegistryResult result = RegistryResult::kAccessDenied);
  void ClearFailures() {
    failures_.clear();
    Touched();
  }
  // Failures switched on or off change it too.
  uint64_t generation() const override { return changes(); }

  // Stores a string value directly, creating the key: no failure applies and
  // nothing is recorded.
  void Put(RegistryRoot root, const std::string& path, const std::string& name,
           const std::string& value);
  // Reads a string value directly; false when the key or value is missing.
  bool Get(RegistryRoot root, const std::string& path, const std::string& name,
           std::string* value) const;
  bool HasKey(RegistryRoot root, const std::string& path) const;

  // One line per call, in order: "open PATH", "create PATH", "query PATH
  // [NAME]", "set PATH [NAME]=VALUE", "enum PATH #INDEX", "close PATH",
  // each followed by " -> " and the result name when it was not ok.
  std::vector<std::string> calls;

  RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                         RegistryKey* key) override;
  RegistryResult CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                           RegistryKey* key) override;
  RegistryResult QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                            std::string* value) override;
  RegistryResult SetValue(RegistryKey key, const std::string& name,
                          const std::string& value) override;
  RegistryResult EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                         std::string* name) override;
  RegistryResult CloseKey(RegistryKey key) override;

 private:
  struct Failure {
    Operation operation;
    std::string folded_part;
    RegistryResult result;
  };
  // The injected result for `operation` on `path`, kOk when none applies.
  RegistryResult Injected(Operation operation, const std::string& path) const;
  void Record(const std::string& call, RegistryResult result);

  std::vector<Failure> failures_;
  std::map<uint32_t, std::string> paths_;  // handle -> path as opened
};

// Another registry used by two threads at once: every operation takes a
// lock. Answers remembered (Recall, Remember) are this object's own, and
// only one of the threads may use them.
class LockedRegistry : public Registry {
 public:
  explicit LockedRegistry(Registry* shared) : shared_(shared) {}

  uint64_t generation() const override;
  RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                         RegistryKey* key) override;
  RegistryResult CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                           RegistryKey* key) override;
  RegistryResult QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                            std::string* value) override;
  RegistryResult SetValue(RegistryKey key, const std::string& name,
                          const std::string& value) override;
  RegistryResult EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                         std::string* name) override;
  RegistryResult CloseKey(RegistryKey key) override;
  void BeginChanges() override;
  RegistryResult EndChanges(bool store) override;

 private:
  Registry* shared_;
  mutable std::mutex mutex_;
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_REGISTRY_H_
