// The library's application object.
#include "driver/application.h"

#include "platform/console_ui.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "platform/ui.h"

namespace quillon {

CQuillonDllApp::CQuillonDllApp() = default;
CQuillonDllApp::~CQuillonDllApp() { ExitInstance(); }

CQuillonDllApp& CQuillonDllApp::Instance() {
  static CQuillonDllApp app;
  return app;
}

int CQuillonDllApp::InitInstance(Ui* ui, const std::string& module_name) {
  if (resources_.Load(module_name)) return 1;
  // The module holds the captions too, so this message is built in.
  if (ui != nullptr) ui->MessageBox("", kResourceModuleMissing, kMbOk | kMbIconError);
  return 0;
}

int CQuillonDllApp::ExitInstance() {
  resources_.Unload();
  return 0;
}

Platform CQuillonDllApp::EffectivePlatform() {
  Platform effective = platform_;
  if (effective.ui == nullptr) {
    if (!default_ui_) default_ui_ = std::make_unique<ConsoleUi>();
    effective.ui = default_ui_.get();
  }
  if (effective.registry == nullptr) {
    if (!default_registry_) default_registry_ = std::make_unique<FileRegistry>(DefaultRegistryPath());
    effective.registry = default_registry_.get();
  }
  if (effective.hmi == nullptr) effective.hmi = default_hmi_;
  if (effective.clipboard == nullptr) effective.clipboard = &SystemClipboard();
  if (effective.image_writer == nullptr) effective.image_writer = &DefaultImageWriter();
  if (effective.screen_dpi <= 0) effective.screen_dpi = 96;
  return effective;
}

Services CQuillonDllApp::ServicesFor(Ui* ui) {
  progress_.Bind(ui, &resources_);
  Services services;
  services.ui = ui;
  services.resources = &resources_;
  services.progress = &progress_;
  return services;
}

}  // namespace quillon
