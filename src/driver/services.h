// The services a conversion reports through: the user interface, the texts
// of the resource module and the library's progress window.
#ifndef QUILLON_DRIVER_SERVICES_H_
#define QUILLON_DRIVER_SERVICES_H_

#include <initializer_list>
#include <string>

#include "driver/progress_window.h"
#include "driver/resources.h"
#include "platform/ui.h"

namespace quillon {

struct Services {
  Ui* ui = nullptr;
  const Resources* resources = nullptr;
  CFileConvDlg* progress = nullptr;

  // Resource string `id`, empty when there is none.
  std::string Text(int id) const;
  // Resource string `id` with its placeholders filled in order.
  std::string Text(int id, std::initializer_list<std::string> args) const;
  // A message box with the converter's caption; returns the button pressed
  // (OK when there is no user interface).
  int Message(const std::string& text, unsigned style = kMbOk) const;
  // Shows a progress status text (nothing when no window is open).
  void Status(const std::string& text) const;
  // True after the user cancelled in the progress window.
  bool Cancelled() const;
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_SERVICES_H_
