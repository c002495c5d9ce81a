// The library's application object.
#include "driver/application.h"

#include "platform/ui.h"

namespace quillon {

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

Services CQuillonDllApp::ServicesFor(Ui* ui) {
  progress_.Bind(ui, &resources_);
  Services services;
  services.ui = ui;
  services.resources = &resources_;
  services.progress = &progress_;
  return services;
}

}  // namespace quillon
