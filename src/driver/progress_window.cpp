// The progress window.
#include "driver/progress_window.h"

#include <nlohmann/json.hpp>

#include "driver/resources.h"
#include "platform/ui.h"

namespace quillon {
namespace {

std::string DialogCaption(const Resources* resources, int id) {
  if (resources == nullptr) return std::string();
  nlohmann::json dialog = nlohmann::json::parse(resources->Dialog(id), nullptr, false);
  if (!dialog.is_object()) return std::string();
  auto caption = dialog.find("caption");
  if (caption == dialog.end() || !caption->is_string()) return std::string();
  return caption->get<std::string>();
}

}  // namespace

void CFileConvDlg::ShowProgress() {
  cancel_flag_ = 0;
  if (ui_ == nullptr) return;
  if (open_) ui_->CloseProgress();
  ui_->OpenProgress(DialogCaption(resources_, kResProgressDialog));
  open_ = true;
}

void CFileConvDlg::SetStatus(const std::string& text) {
  if (open_ && ui_ != nullptr) ui_->SetProgressText(text);
}

int CFileConvDlg::PumpMessages() {
  if (ui_ == nullptr) return 1;
  for (;;) {
    switch (ui_->NextEvent()) {
      case UiEvent::kNone:
        return 1;
      case UiEvent::kQuit:
        ui_->PostQuit();
        return 0;
      case UiEvent::kCancel:
        if (open_) OnCancel();
        break;
      case UiEvent::kOther:
        break;
    }
  }
}

void CFileConvDlg::OnCancel() {
  cancel_flag_ = 1;
  if (!open_) return;
  open_ = false;
  if (ui_ != nullptr) ui_->CloseProgress();
}

}  // namespace quillon
