// Shared pieces of the fuzz targets: services over a silent user interface
// and the resource module, and a scratch folder.
#ifndef QUILLON_FUZZ_FUZZ_SUPPORT_H_
#define QUILLON_FUZZ_FUZZ_SUPPORT_H_

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/progress_window.h"
#include "driver/resources.h"
#include "driver/services.h"
#include "platform/dialog.h"
#include "platform/ui.h"

namespace quillon {
namespace fuzz {

// A user interface nobody sits at: every box answers OK, every dialog is
// confirmed as it stands (the node prompt with THISNODE), nothing is printed.
class SilentUi : public Ui {
 public:
  int MessageBox(const std::string&, const std::string&, unsigned) override { return kIdOk; }
  void OpenProgress(const std::string&) override {}
  void SetProgressText(const std::string&) override {}
  void CloseProgress() override {}
  UiEvent NextEvent() override { return UiEvent::kNone; }
  void PostQuit() override {}
  int RunModal(Dialog* dialog) override {
    dialog->Start(this);
    dialog->Paint();
    dialog->UserTypes(1030, "THISNODE");
    dialog->UserClicks(kControlOk);
    if (!dialog->ended()) dialog->UserClicks(kControlCancel);
    return dialog->result();
  }
};

// The services of a fuzz run, set up once.
struct FuzzEnvironment {
  FuzzEnvironment() : progress(&ui, &resources) {
    if (!resources.Load()) {
      std::fprintf(stderr, "the resource module did not load\n");
      std::abort();
    }
    services.ui = &ui;
    services.resources = &resources;
    services.progress = &progress;
    char pattern[] = "/tmp/quillon-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr) std::abort();
    directory = made;
  }
  ~FuzzEnvironment() {
    std::error_code error;
    std::filesystem::remove_all(directory, error);
  }
  SilentUi ui;
  ResourceModule resources;
  CFileConvDlg progress;
  Services services;
  std::string directory;
};

inline FuzzEnvironment& Environment() {
  static FuzzEnvironment environment;
  return environment;
}

}  // namespace fuzz
}  // namespace quillon

#endif  // QUILLON_FUZZ_FUZZ_SUPPORT_H_
