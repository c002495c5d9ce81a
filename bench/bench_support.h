// What a measured conversion runs in: a user interface nobody sits at, the
// resource module, settings in memory naming a scratch folder, and the
// picture-document HMI.
#ifndef QUILLON_BENCH_BENCH_SUPPORT_H_
#define QUILLON_BENCH_BENCH_SUPPORT_H_

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "driver/picture_converter.h"
#include "driver/progress_window.h"
#include "driver/resources.h"
#include "driver/services.h"
#include "driver/settings.h"
#include "expression/process_state.h"
#include "hmi/standin_host.h"
#include "platform/dialog.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "platform/ui.h"

namespace quillon {
namespace bench {

// Every message box answers OK and every dialog is confirmed as it stands,
// the node prompt with THISNODE (the settings' node). Nothing is shown.
class SilentUi : public Ui {
 public:
  int MessageBox(const std::string&, const std::string&, unsigned) override {
    ++message_boxes;
    return kIdOk;
  }
  void OpenProgress(const std::string&) override {}
  void SetProgressText(const std::string&) override {}
  void CloseProgress() override {}
  UiEvent NextEvent() override { return UiEvent::kNone; }
  void PostQuit() override {}
  int RunModal(Dialog* dialog) override {
    ++dialogs;
    dialog->Start(this);
    dialog->Paint();
    dialog->UserTypes(kNodeNameControl, "THISNODE");
    dialog->UserClicks(kControlOk);
    if (!dialog->ended()) dialog->UserClicks(kControlCancel);
    return dialog->result();
  }

  int message_boxes = 0;
  int dialogs = 0;

 private:
  // The name field of the node prompt.
  static constexpr int kNodeNameControl = 1030;
};

// A conversion setting: pictures are read from `pictures()` and the pages
// written into `output()`, both inside a fresh scratch folder that is
// removed with the setting. The local data source is "DS" on node "NODE1".
class ConversionSetting {
 public:
  ConversionSetting() : progress_(&ui_, &resources_) {
    char pattern[] = "/tmp/quillon-bench-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made != nullptr) folder_ = made;
    std::error_code error;
    std::filesystem::create_directories(pictures(), error);
    std::filesystem::create_directories(output(), error);
    ready_ = made != nullptr && !error && resources_.Load();

    registry_.Put(RegistryRoot::kClassesRoot, kPicturePathKey, "", pictures());
    registry_.Put(RegistryRoot::kClassesRoot, kWebOutPathKey, "", output());
    registry_.Put(RegistryRoot::kClassesRoot, kNodeNameKey, "", "NODE1");
    const std::string source = "QEV32\\DataSources\\Local";
    registry_.Put(RegistryRoot::kClassesRoot, source, "", "DS");
    registry_.Put(RegistryRoot::kClassesRoot, source, "OpcProgID", "Velquist.OPCEDA");
    registry_.Put(RegistryRoot::kClassesRoot, source, "OpcServerMachineName", "");
    host_.set_clipboard(&clipboard_);
  }
  ~ConversionSetting() {
    if (folder_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }
  ConversionSetting(const ConversionSetting&) = delete;
  ConversionSetting& operator=(const ConversionSetting&) = delete;

  // False when the scratch folder or the resource module could not be had.
  bool ready() const { return ready_; }
  std::string pictures() const { return folder_ + "/pictures"; }
  std::string output() const { return folder_ + "/out"; }

  // Writes `document` as pictures()/NAME.grf; the path, or empty on failure.
  std::string WritePicture(const std::string& name, const std::string& document) const {
    const std::string path = pictures() + "/" + name + ".grf";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "";
    const bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
    return std::fclose(file) == 0 && written ? path : "";
  }

  // Converts the picture file at `path` end to end with the stored settings,
  // numbering viewer objects afresh; 1 when it was converted.
  int Convert(const std::string& path) {
    ProcessState state;
    RunContext context;
    context.services.ui = &ui_;
    context.services.resources = &resources_;
    context.services.progress = &progress_;
    context.registry = &registry_;
    context.hmi = &host_;
    context.state = &state;
    context.clipboard = &clipboard_;
    const int result =
        RunConvertQevPicFile(context, path, nullptr, /*show_options=*/0, /*action=*/1);
    // The in-memory registry keeps a line per call; nobody reads them here.
    registry_.calls.clear();
    return result;
  }

  // Removes everything from the output folder.
  void ClearOutput() const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(output(), error)) {
      std::filesystem::remove_all(entry.path(), error);
    }
  }

  const SilentUi& ui() const { return ui_; }
  // Resource string `id` of the resource module.
  std::string Text(int id) const { return resources_.String(id); }

 private:
  std::string folder_;
  bool ready_ = false;
  SilentUi ui_;
  ResourceModule resources_;
  CFileConvDlg progress_;
  MemoryRegistry registry_;
  Clipboard clipboard_;
  standin::StandInHost host_;
};

}  // namespace bench
}  // namespace quillon

#endif  // QUILLON_BENCH_BENCH_SUPPORT_H_
