#include "run_registry.h"

#include "driver/settings.h"

namespace quillon {
namespace cli {

uint64_t RunRegistry::generation() const {
  const uint64_t stored = stored_->generation();
  if (stored == kUnknownGeneration) return kUnknownGeneration;
  if (stored != stored_generation_) {
    stored_generation_ = stored;
    ++generation_;
  }
  return generation_;
}

RunRegistry::Handle* RunRegistry::Find(RegistryKey key) {
  auto found = handles_.find(key.id);
  return found == handles_.end() ? nullptr : &found->second;
}

RegistryKey RunRegistry::Add(Handle handle) {
  RegistryKey key;
  key.id = next_id_++;
  handles_.emplace(key.id, std::move(handle));
  return key;
}

bool RunRegistry::IsOutputDirectory(const Handle& handle, const std::string& name) const {
  return output_directory_ && handle.root == RegistryRoot::kClassesRoot && name.empty() &&
         TreeRegistry::Fold(handle.path) == TreeRegistry::Fold(kWebOutPathKey);
}

RegistryResult RunRegistry::OpenKey(RegistryRoot root, const std::string& path, unsigned access,
                                    RegistryKey* key) {
  RegistryKey stored;
  RegistryResult result = stored_->OpenKey(root, path, access, &stored);
  // The run's own output directory is there even when none is stored.
  if (result == RegistryResult::kNotFound && output_directory_ &&
      root == RegistryRoot::kClassesRoot &&
      TreeRegistry::Fold(path) == TreeRegistry::Fold(kWebOutPathKey)) {
    *key = Add({root, path, access, RegistryKey()});
    return RegistryResult::kOk;
  }
  if (result != RegistryResult::kOk) return result;
  *key = Add({root, path, access, stored});
  return result;
}

RegistryResult RunRegistry::CreateKey(RegistryRoot root, const std::string& path, unsigned access,
                                      RegistryKey* key) {
  RegistryKey stored;
  RegistryResult result = stored_->OpenKey(root, path, access, &stored);
  if (result == RegistryResult::kNotFound) {
    // Promised: made in the store by the first value set in it.
    *key = Add({root, path, access, RegistryKey()});
    return RegistryResult::kOk;
  }
  if (result != RegistryResult::kOk) return result;
  *key = Add({root, path, access, stored});
  return result;
}

RegistryResult RunRegistry::QueryValue(RegistryKey key, const std::string& name, size_t capacity,
                                       std::string* value) {
  Handle* handle = Find(key);
  if (handle == nullptr) return RegistryResult::kInvalidHandle;
  if ((handle->access & kKeyQueryValue) == 0) return RegistryResult::kAccessDenied;
  if (IsOutputDirectory(*handle, name)) {
    if (output_directory_->size() >= capacity) return RegistryResult::kMoreData;
    *value = *output_directory_;
    return RegistryResult::kOk;
  }
  if (!handle->stored.valid()) return RegistryResult::kNotFound;
  return stored_->QueryValue(handle->stored, name, capacity, value);
}

RegistryResult RunRegistry::SetValue(RegistryKey key, const std::string& name,
                                     const std::string& value) {
  Handle* handle = Find(key);
  if (handle == nullptr) return RegistryResult::kInvalidHandle;
  if (!handle->stored.valid()) {
    RegistryResult made = stored_->CreateKey(handle->root, handle->path, handle->access,
                                             &handle->stored);
    if (made != RegistryResult::kOk) return made;
  }
  return stored_->SetValue(handle->stored, name, value);
}

RegistryResult RunRegistry::EnumKey(RegistryKey key, uint32_t index, size_t capacity,
                                    std::string* name) {
  Handle* handle = Find(key);
  if (handle == nullptr) return RegistryResult::kInvalidHandle;
  if (!handle->stored.valid()) {
    return (handle->access & kKeyEnumerateSubKeys) == 0 ? RegistryResult::kAccessDenied
                                                        : RegistryResult::kNoMoreItems;
  }
  return stored_->EnumKey(handle->stored, index, capacity, name);
}

RegistryResult RunRegistry::CloseKey(RegistryKey key) {
  auto found = handles_.find(key.id);
  if (found == handles_.end()) return RegistryResult::kInvalidHandle;
  RegistryKey stored = found->second.stored;
  handles_.erase(found);
  return stored.valid() ? stored_->CloseKey(stored) : RegistryResult::kOk;
}

}  // namespace cli
}  // namespace quillon
