// The converter's modal dialogs: the options dialog with its directory
// picker, and the node-name prompt. Their behaviour works on the control
// model of platform/dialog.h, so any Ui can present them.
#ifndef QUILLON_DRIVER_DIALOGS_H_
#define QUILLON_DRIVER_DIALOGS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "driver/services.h"
#include "platform/dialog.h"

namespace quillon {

// Control identifiers.
enum : int {
  kOptBrowse = 1000,
  kOptDirectory = 1001,
  kOptApply = 1002,
  kOptCabFiles = 1015,
  kOptPlayBack = 1016,
  kOptJpeg = 1017,
  kOptBmp = 1018,
  kOptUpdateRate = 1025,
  kOptUpdateSpin = 1027,
  kDirCurrent = 1088,
  kDirFileName = 1152,
  kDirList = 1121,
  kNodeExplanation = 1005,
  kNodeName = 1030,
};

// Dialog templates of the resource module.
enum : int {
  kOptionsDialog = 146,
  kDirectoryDialog = 1536,
  kProgressDialogTemplate = 8100,
  kNodeDialog = 8300,
};

// Help command that opens the help at a context.
constexpr unsigned kHelpContext = 15;

// The five values the options dialog edits.
struct OptionValues {
  std::string output_directory;
  int update_rate = 0;
  int use_cab_files = 0;
  int allow_play_back = 0;
  int output_bmp = 0;
};

// Makes every directory of `path` that does not exist yet. A directory that
// cannot be made because access is denied or it exists already is passed
// over; any other failure shows the system's message and returns false.
bool CreateDirectoryPath(const Services& services, const std::string& path);

// The directory picker: the user walks to a directory, and OK gives the
// path of the file "Junk" in it.
class CDirectoryDlg : public Dialog {
 public:
  CDirectoryDlg(const Services& services, const std::string& start_directory);
  // The path chosen with OK: the directory, a separator and the file name.
  std::string PathName() const;

 protected:
  void OnInitDialog() override;
  void OnPaint() override;

 private:
  std::string start_directory_;
};

// The options dialog.
class CUsrOptDlg : public Dialog {
 public:
  // `save` stores the five values (as SaveSettings does) and returns 1 when
  // it could.
  using Saver = std::function<int(const OptionValues&)>;

  CUsrOptDlg(const Services& services, Saver save);

  // The members, filled by the run before the dialog is shown and read
  // after it ended with OK.
  OptionValues values;

  // Takes the controls into the members and checks them; on success puts
  // them back and returns true.
  bool ValidateOptions();
  // Checks the output directory; may create it after asking.
  bool CheckOutputDirectory();

 protected:
  void OnInitDialog() override;
  void OnCommand(int id, Notify code) override;
  void OnOk() override;
  void OnHelp(int id) override;

 private:
  void MembersToControls();
  void Browse();

  const Services& services_;
  Saver save_;
};

// The node-name prompt: the name of the node a system value comes from.
class CGetNodeDlg : public Dialog {
 public:
  explicit CGetNodeDlg(const Services& services);

  std::string node_name;    // exchanged with 1030
  std::string explanation;  // exchanged with 1005

 protected:
  void OnInitDialog() override;
  void OnOk() override;

 private:
  const Services& services_;
};

}  // namespace quillon

#endif  // QUILLON_DRIVER_DIALOGS_H_
