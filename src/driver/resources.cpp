// Access to the texts and dialog descriptions of the resource module.
#include "driver/resources.h"

#include <dlfcn.h>

namespace quillon {

ResourceModule::~ResourceModule() { Unload(); }

bool ResourceModule::Load(const std::string& name) {
  Unload();
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return false;
  auto string_fn =
      reinterpret_cast<QuillonResourceStringFn>(::dlsym(handle, QUILLON_RESOURCE_STRING_SYMBOL));
  auto dialog_fn =
      reinterpret_cast<QuillonResourceDialogFn>(::dlsym(handle, QUILLON_RESOURCE_DIALOG_SYMBOL));
  if (string_fn == nullptr || dialog_fn == nullptr) {
    ::dlclose(handle);
    return false;
  }
  handle_ = handle;
  string_fn_ = string_fn;
  dialog_fn_ = dialog_fn;
  return true;
}

void ResourceModule::Unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
  string_fn_ = nullptr;
  dialog_fn_ = nullptr;
}

std::string ResourceModule::String(int id) const {
  if (string_fn_ == nullptr) return std::string();
  const char* text = string_fn_(id);
  return text != nullptr ? std::string(text) : std::string();
}

std::string ResourceModule::Dialog(int id) const {
  if (dialog_fn_ == nullptr) return std::string();
  const char* text = dialog_fn_(id);
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace quillon
