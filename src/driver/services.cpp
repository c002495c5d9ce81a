// The services a conversion reports through.
#include "driver/services.h"

#include "platform/format.h"

namespace quillon {

std::string Services::Text(int id) const {
  return resources != nullptr ? resources->String(id) : std::string();
}

std::string Services::Text(int id, std::initializer_list<std::string> args) const {
  return FormatText(Text(id), args);
}

int Services::Message(const std::string& text, unsigned style) const {
  if (ui == nullptr) return kIdOk;
  return ui->MessageBox(Text(kResCaption), text, style);
}

void Services::Status(const std::string& text) const {
  if (progress != nullptr) progress->SetStatus(text);
}

bool Services::Cancelled() const { return progress != nullptr && progress->cancelled(); }

}  // namespace quillon
