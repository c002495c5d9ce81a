// The control model of a modal dialog: its controls (identified by number)
// with their text, check state, enabled and visible state, the focus and
// the selection. The dialog's behaviour is the converter's own code (a
// subclass reacting to the user's actions); a Ui presents the controls and
// turns what the user does into those actions.
#ifndef QUILLON_PLATFORM_DIALOG_H_
#define QUILLON_PLATFORM_DIALOG_H_

#include <map>
#include <string>
#include <vector>

namespace quillon {

class Ui;

enum class ControlKind { kStatic, kEdit, kButton, kCheckBox, kRadio, kUpDown, kList, kOther };

struct Control {
  int id = 0;
  ControlKind kind = ControlKind::kOther;
  std::string label;  // what the control is for, as the dialog description says
  std::string text;
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  int range_low = 0;  // an up-down control's range
  int range_high = 0;
  int selected_entry = -1;  // a list's selected entry
};

// Buttons every dialog has.
constexpr int kControlOk = 1;
constexpr int kControlCancel = 2;

// Message that makes a list select an entry.
constexpr unsigned kListSelectFirst = 390;

class Dialog {
 public:
  enum class Notify { kClicked, kChanged };

  explicit Dialog(int template_id) : template_id_(template_id) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  int template_id() const { return template_id_; }
  const std::string& caption() const { return caption_; }

  // Builds the controls from a dialog description (the JSON text of the
  // resource module). Controls the converter relies on but the description
  // lacks are added by Require. Returns false for a malformed description.
  bool LoadDescription(const std::string& json);
  // Makes sure control `id` exists with `kind`.
  void Require(int id, ControlKind kind);

  const Control* Find(int id) const;
  const std::vector<int>& order() const { return order_; }
  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  bool Checked(int id) const;
  void SetCheck(int id, bool checked);
  bool Enabled(int id) const;
  void Enable(int id, bool enabled);
  bool Visible(int id) const;
  void Show(int id, bool visible);
  void SetRange(int id, int low, int high);
  void SetFocus(int id) { focus_ = id; }
  int focus() const { return focus_; }
  // Selects the whole text of control `id`.
  void SelectAll(int id) { selection_ = id; }
  int selection() const { return selection_; }
  // Sends a control message (kListSelectFirst to a list).
  void SendMessage(int id, unsigned message, long wparam, long lparam);

  // The user's actions, as the Ui reports them.
  void UserTypes(int id, const std::string& text);
  void UserClicks(int id);
  void UserAsksHelp(int id) { OnHelp(id); }
  // The Ui calls these once each, before the first user action.
  void Start(Ui* ui);
  void Paint();

  void EndDialog(int result) {
    ended_ = true;
    result_ = result;
  }
  bool ended() const { return ended_; }
  int result() const { return result_; }

 protected:
  virtual void OnInitDialog() {}
  virtual void OnPaint() {}
  virtual void OnCommand(int /*id*/, Notify /*code*/) {}
  virtual void OnOk() { EndDialog(kControlOk); }
  virtual void OnCancel() { EndDialog(kControlCancel); }
  virtual void OnHelp(int /*id*/) {}
  Ui* ui() const { return ui_; }

 private:
  Control* Mutable(int id);

  int template_id_;
  std::string caption_;
  std::map<int, Control> controls_;
  std::vector<int> order_;
  int focus_ = 0;
  int selection_ = 0;
  bool ended_ = false;
  int result_ = 0;
  bool painted_ = false;
  Ui* ui_ = nullptr;
};

}  // namespace quillon

#endif  // QUILLON_PLATFORM_DIALOG_H_
