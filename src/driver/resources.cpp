// Access to the texts and dialog descriptions of the resource module.
#include "driver/resources.h"

#include <dlfcn.h>

namespace quillon {

ResourceModule::~ResourceModule() { Unload(); }

namespace {

// The folder of the module (program or library) that holds this code.
std::string OwnFolder() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool ResourceModule::Load(const std::string& name) {
  Unload();
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  // The module normally lies beside the converter; look there too when the
  // library search does not reach it (as under some instrumented builds).
  if (handle == nullptr && name.find('/') == std::string::npos) {
    const std::string folder = OwnFolder();
    if (!folder.empty()) handle = ::dlopen((folder + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  }
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
