// The library's application object: binds the resource module when the
// library starts, owns the single progress window, and frees the module when
// the library is unloaded.
#ifndef QUILLON_DRIVER_APPLICATION_H_
#define QUILLON_DRIVER_APPLICATION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "driver/progress_window.h"
#include "driver/resources.h"
#include "driver/services.h"
#include "expression/process_state.h"
#include "quillon/quillon.h"

namespace quillon {

class Ui;

class CQuillonDllApp {
 public:
  CQuillonDllApp();
  ~CQuillonDllApp();
  CQuillonDllApp(const CQuillonDllApp&) = delete;
  CQuillonDllApp& operator=(const CQuillonDllApp&) = delete;

  // The one application object of the library.
  static CQuillonDllApp& Instance();

  // Loads the resource module `module_name`. When it cannot be loaded, shows
  // the built-in message through `ui` and returns 0; the library then
  // converts nothing. Returns 1 when the module is bound.
  int InitInstance(Ui* ui, const std::string& module_name = QUILLON_RESOURCE_MODULE_NAME);
  // Frees the resource module if it was loaded; returns 0.
  int ExitInstance();

  // True while the resource module is bound.
  bool ready() const { return resources_.loaded(); }
  const Resources& resources() const { return resources_; }
  CFileConvDlg& progress() { return progress_; }

  // The services of one conversion shown through `ui`: binds the progress
  // window to it.
  Services ServicesFor(Ui* ui);

  // The host's platform; null members fall back to the defaults.
  void SetPlatform(const Platform& platform) { platform_ = platform; }
  // Used when the host gives no HMI.
  void SetDefaultHmi(hmi::HmiHost* hmi) { default_hmi_ = hmi; }
  // The platform with every default filled in.
  Platform EffectivePlatform();

  // True while a conversion runs: conversions must not overlap.
  bool busy() const { return busy_; }
  // The numbers and answers shared by every conversion of the process.
  ProcessState* process_state() { return &process_state_; }
  void set_busy(bool busy) { busy_ = busy; }

 private:
  ResourceModule resources_;
  CFileConvDlg progress_;
  Platform platform_;
  hmi::HmiHost* default_hmi_ = nullptr;
  std::unique_ptr<Ui> default_ui_;
  std::unique_ptr<Registry> default_registry_;
  bool busy_ = false;
  ProcessState process_state_;
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_APPLICATION_H_
