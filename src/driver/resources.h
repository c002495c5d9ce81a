// Access to the texts and dialog descriptions of the resource module.
#ifndef QUILLON_DRIVER_RESOURCES_H_
#define QUILLON_DRIVER_RESOURCES_H_

#include <string>

#include "driver/resource_abi.h"

namespace quillon {

// Resource numbers the converter uses by name.
enum ResourceId : int {
  kResCaption = 110,          // caption of every message box
  kResPrefixSevere = 80,      // queued at severity 1
  kResPrefixWarning = 81,     // queued at severity 0, written with code -1
  kResPrefixError = 82,       // any other severity, written with code -2
  kResObjectHeading = 83,     // per-object heading of queued lines
  kResRunBanner = 77,
  kResRunBannerPaths = 78,
  kResWriterBanner = 79,
  kResProgressDialog = 8100,
  kResProgressStatusControl = 1003,
};

// Built into the converter: shown when the resource module cannot be loaded.
constexpr char kResourceModuleMissing[] = "Error Loading the QuillonDllResource.dll";

class Resources {
 public:
  virtual ~Resources() = default;
  // The text of string `id`; empty when there is none.
  virtual std::string String(int id) const = 0;
  // The JSON description of dialog `id`; empty when there is none.
  virtual std::string Dialog(int id) const = 0;
};

// The resource module, loaded by name with the system's library search.
class ResourceModule : public Resources {
 public:
  ResourceModule() = default;
  ~ResourceModule() override;
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;

  // Loads the module `name`; false (and nothing held) when it cannot be
  // loaded or lacks its entry points.
  bool Load(const std::string& name = QUILLON_RESOURCE_MODULE_NAME);
  // Frees the module if it was loaded.
  void Unload();
  bool loaded() const { return handle_ != nullptr; }

  std::string String(int id) const override;
  std::string Dialog(int id) const override;

 private:
  void* handle_ = nullptr;
  QuillonResourceStringFn string_fn_ = nullptr;
  QuillonResourceDialogFn dialog_fn_ = nullptr;
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_RESOURCES_H_
