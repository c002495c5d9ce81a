// The conversion settings kept in the registry between runs, the HMI's
// picture directory, and the two look-ups of the expression translator (the
// local OPC data source and the node-alias option flag).
#ifndef QUILLON_DRIVER_SETTINGS_H_
#define QUILLON_DRIVER_SETTINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/services.h"
#include "platform/registry.h"

namespace quillon {

// Registry messages, shown with the converter's caption.
enum SettingsMessage : int {
  kResRegistryOpenFailed = 96,   // a key could not be opened or created
  kResRegistrySetFailed = 97,    // a value could not be set
  kResRegistryCloseFailed = 98,  // a key could not be closed
};

// Keys under the classes root; each setting is the default value of its own
// key, stored as decimal text for the numbers.
constexpr char kWebOutPathKey[] = "Software\\Qev Dynamics\\Quillon\\WebOutPath";
constexpr char kUpdateRateKey[] = "Software\\Qev Dynamics\\Quillon\\UpdateRate";
constexpr char kOptionOutputBmpKey[] = "Software\\Qev Dynamics\\Quillon\\OptionOutputBMP";
constexpr char kUseCabFilesKey[] = "Software\\Qev Dynamics\\Quillon\\UseCabFiles";
constexpr char kAllowPlayBackKey[] = "Software\\Qev Dynamics\\Quillon\\AllowPlayBack";
constexpr char kPicturePathKey[] = "Software\\Qev Dynamics\\PICPATH";
constexpr char kNodeNameKey[] = "Software\\Qev Dynamics\\NODENAME";
constexpr char kDataSourcesKey[] = "QEV32\\DataSources";

// The option flag's key is these three texts joined in order.
constexpr char kOptionKeyBase[] = "Software\\Qev Dynamics";
constexpr char kOptionKeyOptions[] = "\\OPTIONS";
constexpr char kOptionKeyFlag[] = "\\QEVQUILLON";

// Data sources: the values of each subkey of kDataSourcesKey.
constexpr char kOpcProgIdValue[] = "OpcProgID";
constexpr char kOpcServerMachineValue[] = "OpcServerMachineName";
constexpr char kLocalOpcProgId[] = "Velquist.OPCEDA";

constexpr char kQevNotInstalled[] = "Qev is not installed.";
constexpr char kOptionSetText[] = "TRUE";

// Buffer sizes in bytes, the terminating zero included: a longer value
// cannot be read. The settings, the picture directory and the node name are
// read whole, whatever their length.
constexpr size_t kDataSourceNameSize = 260;  // subkey names and the source's name
constexpr size_t kOpcValueSize = 1024;
constexpr size_t kOptionBufferSize = 80;

constexpr int16_t kDefaultUpdateRate = 2;
constexpr int16_t kMinUpdateRate = 1;
constexpr int16_t kMaxUpdateRate = 59;

// The five user settings of a conversion, with their defaults.
struct ConversionSettings {
  std::string output_directory;  // the HMI picture directory until loaded
  int16_t update_rate = kDefaultUpdateRate;
  int32_t output_bmp = 0;  // exactly 1: images are ".BMP", else ".JPG"
  int32_t use_cab_files = 1;
  int32_t allow_play_back = 1;
};

// A plain decimal conversion: leading blanks, an optional sign, then digits
// up to the first other character; 0 when no digit follows. Values beyond
// the 32-bit range stop at its ends.
int32_t ReadDecimal(const std::string& text);

// `value` when it lies in 1 to 59, else the default update rate.
int16_t LimitUpdateRate(int32_t value);

// Reads the default value of the key `path` under the classes root as
// every setting is read: the key is opened with full access (created when
// missing), its default value read into a buffer of `buffer_size` bytes, and
// the key closed. A failure to open or create the key shows message 96 and
// a failure to close it message 98; a missing value, or one that does not
// fit the buffer, is not reported. True when the value was read (a value
// read is kept even when the key then fails to close).
bool ReadSettingValue(const Services& services, Registry* registry, const std::string& path,
                      size_t buffer_size, std::string* value);

// Writes `text` as the default value of the key `path` under the classes
// root, opening it as ReadSettingValue does. Shows message 96, 97 or 98 for
// the operation that fails and returns 0 at once; 1 when written and closed.
int WriteSettingValue(const Services& services, Registry* registry, const std::string& path,
                      const std::string& text);

// Reads WebOutPath, UpdateRate, OptionOutputBMP, UseCabFiles and
// AllowPlayBack in this order. A value that can be read replaces the
// current one (the update rate limited to 1 to 59); any other leaves it.
void LoadSettings(const Services& services, Registry* registry, ConversionSettings* settings);

// Writes the five settings in the same order, the output directory as it
// is and the numbers with "%d". Stops at the first key that cannot be
// written (after its message) and returns 0; 1 when all are written.
int SaveSettings(const Services& services, Registry* registry, const ConversionSettings& settings);

// The HMI's picture directory. When it cannot be read the message box
// "Qev is not installed." is shown and the result is empty.
std::string ReadPicturePath(const Services& services, Registry* registry);

// Checks the output directory that a run took from the settings in
// `registry` (the stored WebOutPath, else the HMI picture directory) before
// anything is written there. Returns why it cannot be used: the settings
// store cannot be read (with its reason), the directory is empty (the
// settings name none), or it holds a NUL character. Returns an empty text
// when it can be used; a "\" at its end (as Windows users write it) is then
// made "/", so that file names go inside it.
std::string CheckOutputDirectory(Registry* registry, std::string* directory);

// The name of the local OPC data source: the default value of the first
// subkey of QEV32\DataSources whose OpcProgID is "Velquist.OPCEDA" and whose
// OpcServerMachineName reads as empty. Empty when there is none; nothing is
// reported. A subkey whose name or values cannot be read is passed over.
std::string FindOpcDataSource(Registry* registry);

// True when the option flag's default value reads as exactly "TRUE": under
// the current user's root, or under the classes root when the key is not
// under the current user's. Nothing is reported.
bool IsOptionSet(Registry* registry);

}  // namespace quillon

#endif  // QUILLON_DRIVER_SETTINGS_H_
