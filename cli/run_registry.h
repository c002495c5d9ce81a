// The settings as one run of the command sees them: the stored settings,
// with the output directory of the command line (for this run only) put
// over the stored one, and reading that never creates a key.
#ifndef QUILLON_CLI_RUN_REGISTRY_H_
#define QUILLON_CLI_RUN_REGISTRY_H_

#include <map>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace quillon {
namespace cli {

class RunRegistry : public Registry {
 public:
  explicit RunRegistry(Registry* stored) : stored_(stored) {}

  // The output directory that this run reads instead of the stored one;
  // nothing is written. Cleared by reset_output_directory.
  void set_output_directory(const std::string& directory) {
    output_directory_ = directory;
    ++generation_;
  }
  void reset_output_directory() {
    output_directory_.reset();
    ++generation_;
  }

  // Changes with the stored settings' generation and with the run's output
  // directory; unknown while the stored one is.
  uint64_t generation() const override;

  RegistryResult OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                         RegistryKey* key) override;
  // A key that does not exist yet is made only when a value is set in it:
  // reading the settings never adds keys to the file.
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
  struct Handle {
    RegistryRoot root;
    std::string path;
    unsigned access;
    RegistryKey stored;  // invalid while the key is only promised
  };
  Handle* Find(RegistryKey key);
  RegistryKey Add(Handle handle);
  bool IsOutputDirectory(const Handle& handle, const std::string& name) const;

  Registry* stored_;
  std::optional<std::string> output_directory_;
  std::map<uint32_t, Handle> handles_;
  uint32_t next_id_ = 1;
  mutable uint64_t stored_generation_ = kUnknownGeneration;  // as last seen
  mutable uint64_t generation_ = 1;
};

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_RUN_REGISTRY_H_
