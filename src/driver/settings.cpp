// The conversion settings in the registry.
#include "driver/settings.h"

#include <limits>

#include "platform/format.h"

namespace quillon {
namespace {

constexpr unsigned kMessageStyle = kMbOk | kMbIconExclamation;
constexpr RegistryRoot kSettingsRoot = RegistryRoot::kClassesRoot;

// Reads the default value of an opened key; closes it whatever the result.
bool QueryAndClose(Registry* registry, RegistryKey key, size_t buffer_size, std::string* value) {
  std::string text;
  bool read = registry->QueryValue(key, kDefaultValue, buffer_size, &text) == RegistryResult::kOk;
  registry->CloseKey(key);
  if (read) *value = text;
  return read;
}

}  // namespace

int32_t ReadDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int16_t LimitUpdateRate(int32_t value) {
  if (value < kMinUpdateRate || value > kMaxUpdateRate) return kDefaultUpdateRate;
  return static_cast<int16_t>(value);
}

bool ReadSettingValue(const Services& services, Registry* registry, const std::string& path,
                      size_t buffer_size, std::string* value) {
  RegistryKey key;
  if (registry->CreateKey(kSettingsRoot, path, kKeyAllAccess, &key) != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistryOpenFailed), kMessageStyle);
    return false;
  }
  std::string text;
  const bool read =
      registry->QueryValue(key, kDefaultValue, buffer_size, &text) == RegistryResult::kOk;
  if (registry->CloseKey(key) != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistryCloseFailed), kMessageStyle);
  }
  if (read) *value = text;
  return read;
}

int WriteSettingValue(const Services& services, Registry* registry, const std::string& path,
                      const std::string& text) {
  RegistryKey key;
  if (registry->CreateKey(kSettingsRoot, path, kKeyAllAccess, &key) != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistryOpenFailed), kMessageStyle);
    return 0;
  }
  if (registry->SetValue(key, kDefaultValue, text) != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistrySetFailed), kMessageStyle);
    registry->CloseKey(key);
    return 0;
  }
  if (registry->CloseKey(key) != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistryCloseFailed), kMessageStyle);
    return 0;
  }
  return 1;
}

void LoadSettings(const Services& services, Registry* registry, ConversionSettings* settings) {
  // Reading creates the keys that are missing: one rewrite of the store for
  // all of them.
  RegistryChanges changes(registry);
  std::string text;
  if (ReadSettingValue(services, registry, kWebOutPathKey, kAnyLength, &text)) {
    settings->output_directory = text;
  }
  if (ReadSettingValue(services, registry, kUpdateRateKey, kAnyLength, &text)) {
    settings->update_rate = LimitUpdateRate(ReadDecimal(text));
  }
  if (ReadSettingValue(services, registry, kOptionOutputBmpKey, kAnyLength, &text)) {
    settings->output_bmp = ReadDecimal(text);
  }
  if (ReadSettingValue(services, registry, kUseCabFilesKey, kAnyLength, &text)) {
    settings->use_cab_files = ReadDecimal(text);
  }
  if (ReadSettingValue(services, registry, kAllowPlayBackKey, kAnyLength, &text)) {
    settings->allow_play_back = ReadDecimal(text);
  }
  if (changes.Commit() != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistryOpenFailed), kMessageStyle);
  }
}

int SaveSettings(const Services& services, Registry* registry,
                 const ConversionSettings& settings) {
  const struct {
    const char* key;
    std::string text;
  } values[] = {
      {kWebOutPathKey, settings.output_directory},
      {kUpdateRateKey, StringF("%d", settings.update_rate)},
      {kOptionOutputBmpKey, StringF("%d", settings.output_bmp)},
      {kUseCabFilesKey, StringF("%d", settings.use_cab_files)},
      {kAllowPlayBackKey, StringF("%d", settings.allow_play_back)},
  };
  // One rewrite of the store for every value, or none at all.
  RegistryChanges changes(registry);
  for (const auto& value : values) {
    if (WriteSettingValue(services, registry, value.key, value.text) != 1) return 0;
  }
  if (changes.Commit() != RegistryResult::kOk) {
    services.Message(services.Text(kResRegistrySetFailed), kMessageStyle);
    return 0;
  }
  return 1;
}

std::string ReadPicturePath(const Services& services, Registry* registry) {
  std::string path;
  if (!ReadSettingValue(services, registry, kPicturePathKey, kAnyLength, &path)) {
    services.Message(kQevNotInstalled, kMessageStyle);
    return std::string();
  }
  return path;
}

std::string CheckOutputDirectory(Registry* registry, std::string* directory) {
  // A store that cannot be read gives no setting at all: the directory the
  // run holds would be a default, not the one the user chose.
  RegistryKey key;
  const RegistryResult opened = registry->OpenKey(kSettingsRoot, kWebOutPathKey, kKeyRead, &key);
  if (opened == RegistryResult::kOk) {
    registry->CloseKey(key);
  } else if (opened != RegistryResult::kNotFound) {
    const auto* file = dynamic_cast<const FileRegistry*>(registry);
    const std::string why =
        file != nullptr && !file->error().empty() ? file->error() : RegistryResultName(opened);
    return "the settings cannot be read (" + why + ")";
  }
  if (directory->empty()) {
    return "the settings name no output directory (the stored one is empty, or neither an "
           "output nor a picture directory is stored)";
  }
  if (directory->find('\0') != std::string::npos) {
    return "the output directory holds a NUL character";
  }
  if (directory->back() == '\\') directory->back() = '/';
  return std::string();
}

namespace {

// What the searches below are remembered under (Registry::Remember).
constexpr char kLocalSourceAnswer[] = "local OPC data source";
constexpr char kOptionAnswer[] = "option flag";

std::string SearchOpcDataSource(Registry* registry) {
  RegistryKey sources;
  if (registry->OpenKey(kSettingsRoot, kDataSourcesKey, kKeyRead, &sources) !=
      RegistryResult::kOk) {
    return std::string();
  }
  std::string result;
  for (uint32_t index = 0;; ++index) {
    std::string name;
    RegistryResult listed = registry->EnumKey(sources, index, kDataSourceNameSize, &name);
    if (listed == RegistryResult::kMoreData) continue;  // a name too long to read
    if (listed != RegistryResult::kOk) break;
    RegistryKey source;
    if (registry->OpenKey(kSettingsRoot, std::string(kDataSourcesKey) + "\\" + name,
                          kKeyQueryValue, &source) != RegistryResult::kOk) {
      continue;
    }
    std::string prog_id;
    std::string machine;
    std::string source_name;
    const bool local =
        registry->QueryValue(source, kOpcProgIdValue, kOpcValueSize, &prog_id) ==
            RegistryResult::kOk &&
        prog_id == kLocalOpcProgId &&
        registry->QueryValue(source, kOpcServerMachineValue, kOpcValueSize, &machine) ==
            RegistryResult::kOk &&
        machine.empty();
    const bool found = local && QueryAndClose(registry, source, kDataSourceNameSize, &source_name);
    if (!local) registry->CloseKey(source);
    if (found) {
      result = source_name;
      break;
    }
  }
  registry->CloseKey(sources);
  return result;
}

bool ReadOptionFlag(Registry* registry) {
  const std::string path = std::string(kOptionKeyBase) + kOptionKeyOptions + kOptionKeyFlag;
  RegistryKey key;
  if (registry->OpenKey(RegistryRoot::kCurrentUser, path, kKeyRead, &key) != RegistryResult::kOk &&
      registry->OpenKey(RegistryRoot::kClassesRoot, path, kKeyRead, &key) != RegistryResult::kOk) {
    return false;
  }
  std::string text;
  return QueryAndClose(registry, key, kOptionBufferSize, &text) && text == kOptionSetText;
}

}  // namespace

std::string FindOpcDataSource(Registry* registry) {
  // Asked for every data source of a picture: the search through the keys
  // is made again only when the settings changed since the last one.
  std::string found;
  if (registry->Recall(kLocalSourceAnswer, &found)) return found;
  found = SearchOpcDataSource(registry);
  registry->Remember(kLocalSourceAnswer, found);
  return found;
}

bool IsOptionSet(Registry* registry) {
  std::string answer;
  if (registry->Recall(kOptionAnswer, &answer)) return answer == "1";
  const bool set = ReadOptionFlag(registry);
  registry->Remember(kOptionAnswer, set ? "1" : "0");
  return set;
}

}  // namespace quillon
