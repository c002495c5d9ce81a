// The converter's modal dialogs.
#include "driver/dialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/format.h"
#include "platform/text_file.h"

namespace quillon {
namespace {

enum : int {
  kResNodeEmpty = 46,
  kResRateOutOfRange = 47,
  kResDirectoryEmpty = 48,
  kResDirectoryMissing = 49,
  kResDirectoryReadOnly = 50,
  kResDirectoryHidden = 51,
  kResNotADirectory = 52,
  kResCreateTitle = 95,
};

constexpr char kJunk[] = "Junk";

// Loads a dialog's description and makes sure the controls its behaviour
// uses are there.
void Describe(Dialog* dialog, const Services& services,
              std::initializer_list<std::pair<int, ControlKind>> controls) {
  if (services.resources != nullptr) {
    dialog->LoadDescription(services.resources->Dialog(dialog->template_id()));
  }
  for (const auto& control : controls) dialog->Require(control.first, control.second);
}

// The last part of a path, trailing separators passed over.
std::string LastComponent(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  size_t separator = LastSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

bool CreateDirectoryPath(const Services& services, const std::string& path) {
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
    const std::string part = path.substr(0, i);
    if (part.empty()) continue;
    struct stat info;
    if (::stat(part.c_str(), &info) == 0) continue;
    if (::mkdir(part.c_str(), 0777) == 0) continue;
    if (errno == EACCES || errno == EEXIST) continue;
    services.Message(std::strerror(errno), kMbOk | kMbIconError);
    return false;
  }
  return true;
}

CDirectoryDlg::CDirectoryDlg(const Services& services, const std::string& start_directory)
    : Dialog(kDirectoryDialog), start_directory_(start_directory) {
  Describe(this, services,
           {{1089, ControlKind::kOther},
            {1090, ControlKind::kOther},
            {kDirFileName, ControlKind::kEdit},
            {1120, ControlKind::kOther},
            {1136, ControlKind::kOther},
            {kDirList, ControlKind::kList},
            {kDirCurrent, ControlKind::kEdit}});
}

void CDirectoryDlg::OnInitDialog() {
  for (int id : {1089, 1090, static_cast<int>(kDirFileName), 1120, 1136}) Show(id, false);
  SetText(kDirFileName, kJunk);
  std::string start = start_directory_;
  if (start.empty()) {
    char cwd[4096];
    if (::getcwd(cwd, sizeof(cwd)) != nullptr) start = cwd;
  }
  SetText(kDirCurrent, start);
  SetFocus(kDirList);
}

void CDirectoryDlg::OnPaint() { SendMessage(kDirList, kListSelectFirst, 0, 0); }

std::string CDirectoryDlg::PathName() const {
  return JoinPath(Text(kDirCurrent), Text(kDirFileName));
}

CUsrOptDlg::CUsrOptDlg(const Services& services, Saver save)
    : Dialog(kOptionsDialog), services_(services), save_(std::move(save)) {
  Describe(this, services,
           {{kOptBrowse, ControlKind::kButton},
            {kOptDirectory, ControlKind::kEdit},
            {kOptApply, ControlKind::kButton},
            {kOptCabFiles, ControlKind::kCheckBox},
            {kOptPlayBack, ControlKind::kCheckBox},
            {kOptJpeg, ControlKind::kRadio},
            {kOptBmp, ControlKind::kRadio},
            {kOptUpdateRate, ControlKind::kEdit},
            {kOptUpdateSpin, ControlKind::kUpDown}});
}

void CUsrOptDlg::MembersToControls() {
  SetText(kOptDirectory, values.output_directory);
  SetText(kOptUpdateRate, StringF("%d", values.update_rate));
  SetCheck(kOptCabFiles, values.use_cab_files != 0);
  SetCheck(kOptPlayBack, values.allow_play_back != 0);
}

void CUsrOptDlg::OnInitDialog() {
  MembersToControls();
  SetCheck(kOptBmp, values.output_bmp == 1);
  SetCheck(kOptJpeg, values.output_bmp != 1);
  SetRange(kOptUpdateSpin, 1, 59);
  Enable(kOptApply, false);
}

void CUsrOptDlg::OnCommand(int id, Notify code) {
  switch (id) {
    case kOptDirectory:
    case kOptUpdateRate:
      if (code == Notify::kChanged) Enable(kOptApply, true);
      return;
    case kOptCabFiles:
    case kOptPlayBack:
    case kOptJpeg:
    case kOptBmp:
      if (code == Notify::kClicked) Enable(kOptApply, true);
      return;
    case kOptBrowse:
      Browse();
      return;
    case kOptApply:
      if (ValidateOptions() && save_ && save_(values) == 1) Enable(kOptApply, false);
      return;
    default:
      return;
  }
}

void CUsrOptDlg::Browse() {
  CDirectoryDlg picker(services_, TrimBlanks(Text(kOptDirectory)));
  if (ui() != nullptr && ui()->RunModal(&picker) == kIdOk) {
    const std::string path = picker.PathName();
    size_t junk = path.find(std::string("/") + kJunk);
    values.output_directory = junk == std::string::npos ? std::string() : path.substr(0, junk);
  }
  // Only the directory is refreshed: what the user typed into the other
  // fields stays as it was typed.
  SetText(kOptDirectory, values.output_directory);
}

void CUsrOptDlg::OnOk() {
  if (ValidateOptions()) EndDialog(kControlOk);
}

void CUsrOptDlg::OnHelp(int id) {
  if (ui() != nullptr) ui()->ShowHelp(kHelpContext, id);
}

bool CUsrOptDlg::ValidateOptions() {
  values.output_directory = Text(kOptDirectory);
  const std::string rate = Text(kOptUpdateRate);
  char* end = nullptr;
  long number = std::strtol(rate.c_str(), &end, 10);
  values.update_rate = (end != rate.c_str() && number >= -100000 && number <= 100000)
                           ? static_cast<int>(number)
                           : 0;
  values.use_cab_files = Checked(kOptCabFiles) ? 1 : 0;
  values.allow_play_back = Checked(kOptPlayBack) ? 1 : 0;

  if (!CheckOutputDirectory()) return false;
  if (values.update_rate < 1 || values.update_rate > 59) {
    services_.Message(services_.Text(kResRateOutOfRange), kMbOk | kMbIconExclamation);
    SetFocus(kOptUpdateRate);
    SelectAll(kOptUpdateRate);
    return false;
  }
  values.output_bmp = Checked(kOptBmp) ? 1 : 0;
  if (values.output_directory.empty() || (values.output_directory.back() != '/' &&
                                          values.output_directory.back() != '\\')) {
    values.output_directory += "/";
  }
  MembersToControls();
  return true;
}

bool CUsrOptDlg::CheckOutputDirectory() {
  const std::string directory = TrimBlanks(Text(kOptDirectory));
  if (directory.empty()) {
    services_.Message(services_.Text(kResDirectoryEmpty), kMbOk | kMbIconExclamation);
    SetFocus(kOptDirectory);
    return false;
  }
  values.output_directory = directory;
  struct stat info;
  if (::stat(directory.c_str(), &info) != 0) {
    int answer = services_.ui != nullptr
                     ? services_.ui->MessageBox(services_.Text(kResCreateTitle),
                                                services_.Text(kResDirectoryMissing),
                                                kMbOkCancel | kMbIconExclamation)
                     : kIdCancel;
    if (answer == kIdOk) {
      // Made or not, the user confirms again, now with a directory that exists.
      CreateDirectoryPath(services_, directory);
    } else {
      SetFocus(kOptDirectory);
    }
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    services_.Message(services_.Text(kResNotADirectory), kMbOk | kMbIconExclamation);
    return false;
  }
  if (::access(directory.c_str(), W_OK) != 0) {
    services_.Message(services_.Text(kResDirectoryReadOnly), kMbOk | kMbIconExclamation);
    return false;
  }
  const std::string name = LastComponent(directory);
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") {
    services_.Message(services_.Text(kResDirectoryHidden), kMbOk | kMbIconExclamation);
    return false;
  }
  return true;
}

CGetNodeDlg::CGetNodeDlg(const Services& services) : Dialog(kNodeDialog), services_(services) {
  Describe(this, services,
           {{kNodeName, ControlKind::kEdit}, {kNodeExplanation, ControlKind::kStatic}});
}

void CGetNodeDlg::OnInitDialog() {
  SetText(kNodeName, node_name);
  SetText(kNodeExplanation, explanation);
  SetFocus(kNodeName);
}

void CGetNodeDlg::OnOk() {
  node_name = Text(kNodeName);
  explanation = Text(kNodeExplanation);
  if (node_name.empty()) {
    services_.Message(services_.Text(kResNodeEmpty), kMbOk | kMbIconExclamation);
    return;
  }
  node_name = ToUpper(node_name);
  EndDialog(kControlOk);
}

}  // namespace quillon
