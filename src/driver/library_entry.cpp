// The exported entry points of the converter library.
#include "driver/application.h"
#include "platform/console_ui.h"
#include "quillon/quillon.h"

namespace quillon {
namespace {

// Binds the resource module as soon as the library is loaded; without it the
// built-in message is shown on the terminal and the library converts nothing.
__attribute__((constructor)) void AttachLibrary() {
  ConsoleUi ui;
  CQuillonDllApp::Instance().InitInstance(&ui);
}

}  // namespace

QUILLON_EXPORT const char* QuillonVersion() { return "0.1.0"; }

}  // namespace quillon
