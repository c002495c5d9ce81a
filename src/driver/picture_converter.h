// One conversion of one picture: settings, log, progress window, opening
// the picture, the reading phase and the writing phase, with every exit.
#ifndef QUILLON_DRIVER_PICTURE_CONVERTER_H_
#define QUILLON_DRIVER_PICTURE_CONVERTER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "driver/conversion_log.h"
#include "driver/settings.h"
#include "platform/output_stage.h"
#include "reader/picture_reader.h"
#include "writer/page_writer.h"

namespace quillon {

class LogWindow;
class Registry;

// Resource strings of the run.
enum : int {
  kResOpenStorageFailed = 1,
  kResCreatePictureFailed = 2,
  kResNoPersistStorage = 3,
  kResLoadFailed = 4,
  kResNoDispatch = 5,
  kResNoPictureObject = 6,
  kResNotAPictureFile = 70,
  kResReadingFailed = 76,
};

// The message of a conversion stopped for want of memory; "%s" is the cause.
constexpr char kOutOfMemoryText[] =
    "The conversion ran out of memory (%s) and was stopped; the picture is not converted.";

class PictureConverter {
 public:
  // The run reports through `services`, keeps settings in `registry` (may
  // be null for a run given its settings), opens pictures through `hmi`
  // and hands animations to `connections` (null: the run's own animation
  // reader reads them).
  PictureConverter(const Services& services, Registry* registry, hmi::HmiHost* hmi,
                   ConnectionReader* connections, ProcessState* state = nullptr);
  ~PictureConverter();
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // Checks the path, names the picture, starts its log. 0 when the path
  // is not a picture file.
  int PrepareRun(const std::string& path, LogWindow* log_window);
  // Binds to a picture the HMI has open. 0 when `picture` holds no object.
  int PrepareRunFromObject(const hmi::Variant& picture);
  // Opens the picture file and reads the picture's own properties; 0 when
  // a step fails (its line is in the log).
  int OpenPicture();
  // Runs the walk over the picture's objects; its result. When
  // `pages_follow`, the page's objects and animations may be written meanwhile (see
  // PageWriter::EarlyWriters), for WritePages to take over.
  int ReadPicture(bool pages_follow = false);
  // Writes the HTML page and the JDF file from what was read.
  int WritePages();
  // Ends the run whose result is `result`: when it is 1 every file written
  // is published (the log last), otherwise only the log, and the previous
  // pages stay as they were. The run's result: 0 when a page could not be
  // published.
  int Finish(int result);

  // The settings of this run (loaded, or given by the caller).
  ConversionSettings settings;
  const std::string& picture_name() const { return picture_name_; }
  const std::string& source_path() const { return source_path_; }
  PictureReader* reader() { return &reader_; }
  ConversionLog* log() { return &log_; }
  // The fewest records (objects and animations) after which the page is
  // written while the picture is read; 0 never is.
  void set_early_items(size_t items) { early_items_ = items; }

 private:
  void StartPictureLog(const std::string& picture_directory);
  // Starts the stage that the picture's files are written through.
  void StartStage();

  const Services& services_;
  hmi::HmiHost* hmi_;
  Registry* registry_;
  ProcessState* state_;
  std::string picture_name_;
  std::string source_path_;
  LogWindow* log_window_ = nullptr;
  // The page was written whole: the log line saying so follows its publishing.
  bool converted_line_due_ = false;
  // Declared before everything that writes through it, so that it outlives them.
  std::unique_ptr<OutputStage> stage_;
  ConversionLog log_;
  std::unique_ptr<ConnectionReader> own_connections_;
  PictureReader reader_;
  size_t early_items_ = PageWriter::kParallelAnimations;
  // Declared after everything its thread uses, so that it ends first.
  std::unique_ptr<PageWriter::EarlyWriters> early_writers_;
};

// The picture name of a file path: the text after its last separator, cut
// before its last ".".
std::string PictureNameOfPath(const std::string& path);

// A picture name as it may stand in a file name of the output directory:
// separators inside it become "_".
std::string SafeFileName(std::string name);

// What a conversion needs from its host; the exports fill what is missing
// with the library's defaults.
struct RunContext {
  Services services;
  Registry* registry = nullptr;
  hmi::HmiHost* hmi = nullptr;
  ConnectionReader* connections = nullptr;
  ProcessState* state = nullptr;  // numbers and answers shared across conversions
  int screen_dpi = 96;
  // Where the HMI copies bitmap images, and what saves them (null: the
  // library's own).
  Clipboard* clipboard = nullptr;
  ImageWriter* image_writer = nullptr;
};

// The three conversions behind the exported functions.
int RunConvertQevPicFile(const RunContext& context, const std::string& path,
                         LogWindow* log_window, int show_options, int action);
int RunConvertPictureFile(const RunContext& context, const std::vector<std::string>& paths,
                          LogWindow* log_window, int show_options, int action);
int RunConvertPicture(const RunContext& context, const hmi::Variant& picture, int use_cab_files,
                      int allow_play_back, int output_bmp, int update_rate,
                      const char* output_directory, int16_t* status);

}  // namespace quillon

#endif  // QUILLON_DRIVER_PICTURE_CONVERTER_H_
