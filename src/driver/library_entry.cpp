// What the shared library adds to the converter when a host loads it: the
// resource module bound at load time, and the picture-document HMI as the
// HMI of hosts that give none.
#include "driver/application.h"
#include "hmi/standin_host.h"
#include "platform/console_ui.h"

namespace quillon {
namespace {

standin::StandInHost& DefaultHmi() {
  static standin::StandInHost host;
  return host;
}

// Without the resource module the built-in message is shown on the terminal
// and the library converts nothing.
__attribute__((constructor)) void AttachLibrary() {
  ConsoleUi ui;
  CQuillonDllApp& app = CQuillonDllApp::Instance();
  app.SetDefaultHmi(&DefaultHmi());
  app.InitInstance(&ui);
}

}  // namespace
}  // namespace quillon
