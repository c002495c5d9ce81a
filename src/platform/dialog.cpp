// The control model of a modal dialog.
#include "platform/dialog.h"

#include <nlohmann/json.hpp>

namespace quillon {
namespace {

ControlKind KindOf(const std::string& kind) {
  if (kind == "static" || kind == "group") return ControlKind::kStatic;
  if (kind == "edit" || kind == "combobox") return ControlKind::kEdit;
  if (kind == "button" || kind == "default-button") return ControlKind::kButton;
  if (kind == "checkbox") return ControlKind::kCheckBox;
  if (kind == "radio") return ControlKind::kRadio;
  if (kind == "updown") return ControlKind::kUpDown;
  if (kind == "listbox") return ControlKind::kList;
  return ControlKind::kOther;
}

}  // namespace

bool Dialog::LoadDescription(const std::string& json) {
  nlohmann::json description = nlohmann::json::parse(json, nullptr, false);
  if (!description.is_object()) return false;
  if (description.contains("caption") && description["caption"].is_string()) {
    caption_ = description["caption"].get<std::string>();
  }
  auto controls = description.find("controls");
  if (controls == description.end() || !controls->is_array()) return true;
  for (const auto& entry : *controls) {
    if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_number_integer()) continue;
    int id = entry["id"].get<int>();
    if (id < 0) continue;  // labels the converter never touches
    Control& control = controls_[id];
    if (control.id == 0) order_.push_back(id);
    control.id = id;
    if (entry.contains("kind") && entry["kind"].is_string()) {
      control.kind = KindOf(entry["kind"].get<std::string>());
    }
    if (entry.contains("text") && entry["text"].is_string()) {
      control.text = entry["text"].get<std::string>();
    }
    if (entry.contains("label") && entry["label"].is_string()) {
      control.label = entry["label"].get<std::string>();
    } else {
      control.label = control.text;
    }
  }
  return true;
}

void Dialog::Require(int id, ControlKind kind) {
  Control& control = controls_[id];
  if (control.id == 0) {
    order_.push_back(id);
    control.id = id;
    control.kind = kind;
  }
}

const Control* Dialog::Find(int id) const {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : &found->second;
}

Control* Dialog::Mutable(int id) {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : &found->second;
}

std::string Dialog::Text(int id) const {
  const Control* control = Find(id);
  return control != nullptr ? control->text : std::string();
}

void Dialog::SetText(int id, const std::string& text) {
  if (Control* control = Mutable(id)) control->text = text;
}

bool Dialog::Checked(int id) const {
  const Control* control = Find(id);
  return control != nullptr && control->checked;
}

void Dialog::SetCheck(int id, bool checked) {
  if (Control* control = Mutable(id)) control->checked = checked;
}

bool Dialog::Enabled(int id) const {
  const Control* control = Find(id);
  return control != nullptr && control->enabled;
}

void Dialog::Enable(int id, bool enabled) {
  if (Control* control = Mutable(id)) control->enabled = enabled;
}

bool Dialog::Visible(int id) const {
  const Control* control = Find(id);
  return control != nullptr && control->visible;
}

void Dialog::Show(int id, bool visible) {
  if (Control* control = Mutable(id)) control->visible = visible;
}

void Dialog::SetRange(int id, int low, int high) {
  if (Control* control = Mutable(id)) {
    control->range_low = low;
    control->range_high = high;
  }
}

void Dialog::SendMessage(int id, unsigned message, long, long) {
  Control* control = Mutable(id);
  if (control == nullptr) return;
  if (message == kListSelectFirst && control->kind == ControlKind::kList) {
    control->selected_entry = 0;
  }
}

void Dialog::UserTypes(int id, const std::string& text) {
  Control* control = Mutable(id);
  if (control == nullptr || !control->enabled || !control->visible) return;
  control->text = text;
  OnCommand(id, Notify::kChanged);
}

void Dialog::UserClicks(int id) {
  if (id == kControlOk) {
    OnOk();
    return;
  }
  if (id == kControlCancel) {
    OnCancel();
    return;
  }
  Control* control = Mutable(id);
  if (control == nullptr || !control->enabled || !control->visible) return;
  if (control->kind == ControlKind::kCheckBox) control->checked = !control->checked;
  if (control->kind == ControlKind::kRadio) {
    // Radio buttons of one dialog form one group.
    for (auto& entry : controls_) {
      if (entry.second.kind == ControlKind::kRadio) entry.second.checked = false;
    }
    control->checked = true;
  }
  OnCommand(id, Notify::kClicked);
}

void Dialog::Start(Ui* ui) {
  ui_ = ui;
  ended_ = false;
  painted_ = false;
  OnInitDialog();
}

void Dialog::Paint() {
  if (painted_) return;
  painted_ = true;
  OnPaint();
}

}  // namespace quillon
