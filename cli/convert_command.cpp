#include "convert_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "allocator.h"
#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "hmi/regular_file.h"
#include "platform/format.h"
#include "quillon/quillon.h"
#include "run_registry.h"

namespace quillon {
namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 130;

bool IsPictureFile(const fs::path& path) {
  std::string extension = path.extension().string();
  return ToUpper(extension) == ".GRF";
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The folder of `path`, absolute and without "." and ".." parts.
fs::path FolderOf(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) absolute = fs::path(path);
  return absolute.lexically_normal().parent_path();
}

// The deepest folder that holds every folder of `folders`.
fs::path CommonFolder(const std::vector<fs::path>& folders) {
  if (folders.empty()) return fs::path();
  fs::path common = folders.front();
  for (const fs::path& folder : folders) {
    fs::path shared;
    auto a = common.begin(), b = folder.begin();
    while (a != common.end() && b != folder.end() && *a == *b) {
      shared /= *a;
      ++a;
      ++b;
    }
    common = shared;
  }
  return common;
}

// "Page description: BASE.JDF" of the log's banner: where the page went.
std::string OutputBaseFromLog(const Services& services, const std::vector<std::string>& lines) {
  // The banner's second part names the page description on a line of its own.
  const std::string banner = services.Text(78);
  const size_t start = banner.find("\r\n");
  if (start == std::string::npos) return std::string();
  std::string format = banner.substr(start + 2);
  format = format.substr(0, format.find("\r\n"));  // "Page description: %s.JDF"
  const size_t hole = format.find("%s");
  if (hole == std::string::npos) return std::string();
  const std::string before = format.substr(0, hole), after = format.substr(hole + 2);
  for (const std::string& line : lines) {
    if (line.size() >= before.size() + after.size() && line.compare(0, before.size(), before) == 0 &&
        line.compare(line.size() - after.size(), after.size(), after) == 0) {
      return line.substr(before.size(), line.size() - before.size() - after.size());
    }
  }
  return std::string();
}

// The output directory the settings (as this run sees them) give: the
// stored output directory, else the HMI's picture folder. Nothing is said
// here: the conversion says what is missing.
std::string SettingsOutputDirectory(Registry* registry) {
  std::string directory;
  if (registry->ReadString(RegistryRoot::kClassesRoot, kWebOutPathKey, kDefaultValue,
                           &directory) == RegistryResult::kOk &&
      !directory.empty()) {
    return directory;
  }
  directory.clear();
  registry->ReadString(RegistryRoot::kClassesRoot, kPicturePathKey, kDefaultValue, &directory);
  return directory;
}

// The file's bytes; empty when it cannot be read.
std::string ReadWhole(const std::string& path) {
  std::string text, error;
  standin::ReadRegularFile(path, &text, &error);
  return text;
}

// Fills the outcome's files and status from the log and the disk, and its
// tags when `want_tags` (only the run report shows them, and finding them
// reads the whole page description again).
void Settle(const Services& services, const LogReading& reading, int result, bool read_only,
            bool interrupted, bool want_tags, PictureOutcome* outcome) {
  const std::string base = outcome->output_directory.empty()
                               ? outcome->name
                               : JoinPath(outcome->output_directory, outcome->name);
  outcome->log_path = base + ".Log";
  outcome->log_written = Exists(outcome->log_path);
  outcome->objects_left_out = reading.objects_left_out;
  outcome->animations_lost = reading.animations_lost;
  outcome->warnings = reading.warnings;

  const bool lost = !reading.objects_left_out.empty() || !reading.animations_lost.empty() ||
                    !reading.warnings.empty();
  if (reading.cancelled || (interrupted && !(result == 1 && reading.converted_line))) {
    outcome->status = PictureStatus::kCancelled;
    outcome->reason = "cancelled by the user";
  } else if (read_only) {
    if (reading.first_failure.empty() && !reading.nothing_converted && outcome->log_written) {
      outcome->status = PictureStatus::kRead;
    } else {
      outcome->status = PictureStatus::kFailed;
      outcome->reason = !reading.first_failure.empty() ? reading.first_failure
                        : !outcome->log_written        ? "its log could not be written"
                                                       : "it could not be read";
    }
  } else if (result == 1 && reading.converted_line && !reading.nothing_converted) {
    outcome->status = lost ? PictureStatus::kConvertedWithLosses : PictureStatus::kConverted;
  } else {
    outcome->status = PictureStatus::kFailed;
    if (reading.nothing_converted) {
      outcome->reason =
          "nothing in it can be shown on a web page (it holds no objects, or only objects "
          "the page cannot show)";
    } else if (!reading.first_failure.empty()) {
      outcome->reason = reading.first_failure;
    } else if (!outcome->log_written) {
      outcome->reason = "no log could be written in " +
                        (outcome->output_directory.empty() ? std::string(".")
                                                           : outcome->output_directory) +
                        "; see the message above";
    } else {
      outcome->reason = "see its log";
    }
  }

  if (outcome->status == PictureStatus::kConverted ||
      outcome->status == PictureStatus::kConvertedWithLosses) {
    for (const char* extension : {".JDF", ".htm"}) {
      if (Exists(base + extension)) outcome->files.push_back(base + extension);
    }
    // The image files the log lists.
    std::vector<std::string> images;
    for (const std::string& line : reading.image_files) {
      if (Exists(line)) images.push_back(line);
    }
    outcome->files.insert(outcome->files.end(), images.begin(), images.end());
    if (want_tags) outcome->tags = DataSourceTags(ReadWhole(base + ".JDF"));
  }
  if (outcome->log_written) outcome->files.push_back(outcome->log_path);
  (void)services;
}

}  // namespace

std::vector<PlannedPicture> PlanPictures(const std::vector<std::string>& inputs, bool recursive,
                                         std::vector<std::string>* problems) {
  std::vector<PlannedPicture> plan;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status status = fs::status(input, ec);
    if (!fs::is_directory(status)) {
      plan.push_back({input, ""});
      continue;
    }
    std::vector<std::string> found;
    auto add = [&](const fs::directory_entry& entry) {
      std::error_code entry_ec;
      if (entry.is_regular_file(entry_ec) && IsPictureFile(entry.path())) {
        found.push_back(entry.path().string());
      }
    };
    if (recursive) {
      for (fs::recursive_directory_iterator it(input, fs::directory_options::skip_permission_denied,
                                               ec),
           end;
           !ec && it != end; it.increment(ec)) {
        add(*it);
      }
    } else {
      for (fs::directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec)) {
        add(*it);
      }
    }
    if (ec) {
      problems->push_back("cannot read the folder " + input + ": " + ec.message());
      continue;
    }
    if (found.empty()) {
      problems->push_back("no picture documents (*.grf) in " + input +
                          (recursive ? "" : " (use -r for its subfolders)"));
      continue;
    }
    std::sort(found.begin(), found.end());
    for (const std::string& path : found) plan.push_back({path, ""});
  }

  // Pages are named after their pictures: pictures of one name from several
  // folders are written into subfolders mirroring where they come from.
  std::map<std::string, int> names;
  for (const PlannedPicture& picture : plan) {
    ++names[ToUpper(SafeFileName(PictureNameOfPath(picture.path)))];
  }
  const bool clash = std::any_of(names.begin(), names.end(),
                                 [](const auto& entry) { return entry.second > 1; });
  if (clash) {
    std::vector<fs::path> folders;
    for (const PlannedPicture& picture : plan) folders.push_back(FolderOf(picture.path));
    const fs::path common = CommonFolder(folders);
    for (size_t i = 0; i < plan.size(); ++i) {
      plan[i].subfolder = folders[i].lexically_relative(common).string();
      if (plan[i].subfolder == ".") plan[i].subfolder.clear();
    }
  }
  return plan;
}

int RunConvert(const ConvertOptions& options, const Services& services, CommandUi* ui,
               Platform platform, LogWindow* verbose_window, const AfterPicture& after) {
  std::vector<std::string> problems;
  const std::vector<PlannedPicture> plan =
      PlanPictures(options.inputs, options.recursive, &problems);
  for (const std::string& problem : problems) std::fprintf(stderr, "quillon: %s\n", problem.c_str());

  RunRegistry run_registry(platform.registry);
  if (!options.output_directory.empty()) {
    // The folder given for the run is made when missing, as mkdir -p would.
    std::error_code ec;
    fs::create_directories(options.output_directory, ec);
    if (ec && !fs::is_directory(options.output_directory)) {
      std::fprintf(stderr, "quillon: cannot make the output directory %s: %s\n",
                   options.output_directory.c_str(), ec.message().c_str());
      return kExitFailed;
    }
    run_registry.set_output_directory(options.output_directory);
  }
  platform.registry = &run_registry;
  SetPlatform(platform);
  // The reads below go through the run's view too: the override answers
  // for the stored output directory.
  const std::string output_root = SettingsOutputDirectory(&run_registry);

  std::vector<PictureOutcome> outcomes;
  std::vector<std::string> not_started;
  LogCollector collector(options.verbose ? verbose_window : nullptr);
  for (size_t i = 0; i < plan.size(); ++i) {
    const PlannedPicture& picture = plan[i];
    if (ui->interrupted()) {
      not_started.push_back(picture.path);
      continue;
    }
    if (!picture.subfolder.empty()) {
      // Kept apart from the pictures of the same name.
      const std::string folder = JoinPath(output_root, picture.subfolder);
      std::error_code ec;
      fs::create_directories(folder, ec);
      run_registry.set_output_directory(folder);
    } else if (options.output_directory.empty()) {
      run_registry.reset_output_directory();
    } else {
      run_registry.set_output_directory(options.output_directory);
    }

    ui->StartPicture(i + 1, plan.size());
    collector.Clear();
    const int result =
        ConvertQevPicFile(picture.path, &collector, (options.show_options && i == 0) ? 1 : 0,
                          options.read_only ? 0 : 1);
    // What the picture freed goes back before its HTML5 page and the next
    // picture are made, rather than adding to their peak.
    ReturnFreedMemory();
    LogReading reading = ReadLogLines(services, collector.lines());

    PictureOutcome outcome;
    outcome.source = picture.path;
    outcome.name = SafeFileName(PictureNameOfPath(picture.path));
    const std::string base = OutputBaseFromLog(services, collector.lines());
    if (!base.empty()) {
      const size_t slash = base.find_last_of('/');
      outcome.output_directory = slash == std::string::npos ? "" : base.substr(0, slash);
      outcome.name = slash == std::string::npos ? base : base.substr(slash + 1);
    } else {
      outcome.output_directory = picture.subfolder.empty()
                                     ? output_root
                                     : JoinPath(output_root, picture.subfolder);
    }
    Settle(services, reading, result, options.read_only, ui->interrupted(),
           !options.report_path.empty(), &outcome);
    // A picture stopped before its log says so in the message shown.
    if (outcome.status == PictureStatus::kFailed && !outcome.log_written &&
        reading.first_failure.empty() && !ui->last_message().empty()) {
      outcome.reason = ui->last_message();
    }

    if ((outcome.status == PictureStatus::kConverted ||
         outcome.status == PictureStatus::kConvertedWithLosses) &&
        after) {
      std::string error;
      if (!after(outcome, &error)) {
        outcome.status = PictureStatus::kFailed;
        outcome.reason = error;
      } else {
        const std::string html = JoinPath(outcome.output_directory, outcome.name) + ".html";
        if (Exists(html)) outcome.files.insert(outcome.files.begin() + 2, html);
      }
    }
    std::printf("%s\n", PictureLine(outcome).c_str());
    std::fflush(stdout);
    outcomes.push_back(std::move(outcome));
  }
  for (const std::string& source : not_started) {
    std::printf("not started %s: the run was cancelled\n", source.c_str());
  }
  std::printf("%s\n", RunSummaryLine(outcomes, not_started.size()).c_str());

  int status = kExitConverted;
  if (!problems.empty()) status = kExitFailed;
  for (const PictureOutcome& outcome : outcomes) {
    if (outcome.status == PictureStatus::kFailed ||
        (options.strict && outcome.status == PictureStatus::kConvertedWithLosses)) {
      status = kExitFailed;
    }
  }
  if (ui->interrupted()) status = kExitCancelled;

  // The index goes where the pages went, once a page of the run is there.
  const bool any_page = std::any_of(outcomes.begin(), outcomes.end(), [](const PictureOutcome& o) {
    return o.status == PictureStatus::kConverted ||
           o.status == PictureStatus::kConvertedWithLosses;
  });
  std::string index_directory = output_root;
  while (index_directory.size() > 1 &&
         (index_directory.back() == '/' || index_directory.back() == '\\')) {
    index_directory.pop_back();
  }
  if (!options.read_only && any_page && !index_directory.empty()) {
    std::string error;
    if (!WriteIndexPage(index_directory, outcomes, &error)) {
      std::fprintf(stderr, "quillon: %s\n", error.c_str());
      if (status == kExitConverted) status = kExitFailed;
    }
  }
  if (!options.report_path.empty()) {
    const std::string text = RunReport(outcomes, not_started, options.read_only).dump(2) + "\n";
    const std::string temporary = options.report_path + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out || std::rename(temporary.c_str(), options.report_path.c_str()) != 0) {
      std::remove(temporary.c_str());
      std::fprintf(stderr, "quillon: cannot write the report %s\n", options.report_path.c_str());
      if (status == kExitConverted) status = kExitFailed;
    }
  }
  return status;
}

}  // namespace cli
}  // namespace quillon
