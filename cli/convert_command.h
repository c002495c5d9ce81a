// `quillon convert`: the pictures and folders given, converted one after the
// other with the stored settings, each told in one true line, the run in a
// last line, and optionally a report and an index of the output folder.
#ifndef QUILLON_CLI_CONVERT_COMMAND_H_
#define QUILLON_CLI_CONVERT_COMMAND_H_

#include <functional>
#include <string>
#include <vector>

#include "command_ui.h"
#include "driver/services.h"
#include "platform/registry.h"
#include "quillon/quillon.h"
#include "run_outcome.h"

namespace quillon {
namespace cli {

struct ConvertOptions {
  std::vector<std::string> inputs;  // picture files and folders, in order
  bool recursive = false;           // folders: their subfolders too
  bool show_options = false;
  bool read_only = false;
  bool verbose = false;
  bool strict = false;              // losses fail the run too
  std::string output_directory;     // for this run only; empty: the stored one
  std::string report_path;          // --report FILE.json
};

// One picture of the run: its file, and the folder its files go to when
// it must be kept apart from a picture of the same name.
struct PlannedPicture {
  std::string path;
  std::string subfolder;  // relative to the output directory; empty: none
};

// The pictures the inputs name: a file as it is, a folder's picture
// documents (*.grf, any case) in name order, its subfolders' too when
// `recursive`. Pictures whose pages would share a name are given mirrored
// subfolders of the folders they come from. Inputs that name nothing
// usable are told in `problems`.
std::vector<PlannedPicture> PlanPictures(const std::vector<std::string>& inputs, bool recursive,
                                         std::vector<std::string>* problems);

// Called after a picture's page was published, to write the pages the
// command adds beside it; false with `error` set when that fails.
using AfterPicture = std::function<bool(const PictureOutcome&, std::string* error)>;

// Runs the conversion; the exit status of the command.
// `platform` is what the library is given; its registry is seen through
// the run's own view (the output directory of the command line).
int RunConvert(const ConvertOptions& options, const Services& services, CommandUi* ui,
               Platform platform, LogWindow* verbose_window, const AfterPicture& after);

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_CONVERT_COMMAND_H_
