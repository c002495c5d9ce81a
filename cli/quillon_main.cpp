// quillon: converts HMI display pictures into web pages from the command
// line, and shows or changes the stored conversion settings.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "driver/application.h"
#include "driver/dialogs.h"
#include "driver/settings.h"
#include "html5_page.h"
#include "hmi/standin_host.h"
#include "platform/console_ui.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "quillon/quillon.h"

namespace {

// Prints every log line of a conversion on standard output.
class PrintingLogWindow : public quillon::LogWindow {
 public:
  void SendLogMessage(unsigned, unsigned long, const std::string& line) override {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
};

void PrintSettings(const quillon::ConversionSettings& settings,
                   const std::string& registry_path) {
  std::printf("registry file:     %s\n", registry_path.c_str());
  std::printf("output directory:  %s\n", settings.output_directory.c_str());
  std::printf("update rate:       %d\n", settings.update_rate);
  std::printf("image format:      %s\n", settings.output_bmp == 1 ? "bmp" : "jpg");
  std::printf("cab files:         %d\n", settings.use_cab_files);
  std::printf("playback:          %d\n", settings.allow_play_back);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Converts HMI display pictures (.grf picture documents) into web pages: for each\n"
      "picture NAME a page description NAME.JDF, an HTML page NAME.htm, one image file\n"
      "per bitmap state and a log NAME.Log, all in the output directory of the stored\n"
      "settings, and beside them NAME.html, a page that current browsers show.\n"
      "Exit status: 0 when every picture was converted, 1 when one was not,\n"
      "2 for a usage error.",
      "quillon"};
  app.set_version_flag("--version", quillon::QuillonVersion());
  app.require_subcommand(1);

  std::string registry_path;
  app.add_option("--registry", registry_path,
                 "Settings file (registry export format); default $QUILLON_REGISTRY, else "
                 "$XDG_CONFIG_HOME/quillon/registry.reg, else ~/.config/quillon/registry.reg");

  CLI::App* convert = app.add_subcommand("convert", "Convert picture files into web pages");
  std::vector<std::string> pictures;
  bool show_options = false, read_only = false, verbose = false;
  std::string node;
  std::vector<std::string> open_documents;
  int dpi = 96;
  convert->add_option("PICTURE", pictures, "Picture files (.grf) to convert, in order")
      ->required();
  convert->add_flag("--options", show_options,
                    "Show the options dialog (on the terminal) before the first picture");
  convert->add_flag("--read-only", read_only,
                    "Read the pictures and write their logs only; no page is written");
  convert->add_flag("-v,--verbose", verbose, "Print every log line on standard output");
  convert->add_option("--node", node,
                      "Node name that answers the node prompt of system values");
  convert->add_option("--open", open_documents,
                      "Document (.grf or .qvg) to open in the running HMI first; repeatable");
  convert->add_option("--dpi", dpi, "Screen resolution that text heights are sized for")
      ->check(CLI::Range(1, 10000));
  bool no_html5 = false;
  convert->add_flag("--no-html5", no_html5,
                    "Write no HTML5 page (NAME.html, the page that current browsers show)");

  CLI::App* view = app.add_subcommand(
      "view",
      "Write the HTML5 page (NAME.html) of an existing page description NAME.JDF.\n"
      "Exit status 1 when the description is malformed (the page is still written and\n"
      "says what is wrong and where) or a file cannot be read or written.");
  std::string view_jdf, view_out;
  view->add_option("JDF", view_jdf, "Page description to show")->required();
  view->add_option("--out", view_out, "Page to write; default NAME.html beside NAME.JDF");

  CLI::App* settings = app.add_subcommand(
      "settings", "Show the stored settings, or change those given as options");
  std::string output_directory, image_format;
  int update_rate = 0, cab_files = -1, playback = -1;
  settings->add_option("--output-dir", output_directory, "Directory that receives the pages");
  settings->add_option("--update-rate", update_rate, "Data refresh rate of the pages, 1 to 59")
      ->check(CLI::Range(1, 59));
  settings->add_option("--image-format", image_format, "Image files as bmp or jpg")
      ->check(CLI::IsMember({"bmp", "jpg"}));
  settings->add_option("--cab-files", cab_files, "Name the viewer's cab archive (1) or not (0)")
      ->check(CLI::Range(0, 1));
  settings->add_option("--playback", playback, "Allow the viewer's playback (1) or not (0)")
      ->check(CLI::Range(0, 1));

  CLI11_PARSE(app, argc, argv);
  if (*view) return quillon::cli::RunView(view_jdf, view_out);

  if (registry_path.empty()) registry_path = quillon::DefaultRegistryPath();
  quillon::FileRegistry registry(registry_path);
  quillon::ConsoleUi ui;
  if (!node.empty()) ui.Preset(quillon::kNodeDialog, quillon::kNodeName, node);

  quillon::CQuillonDllApp& library = quillon::CQuillonDllApp::Instance();
  if (!library.ready() && library.InitInstance(&ui) == 0) return 1;
  quillon::Services services = library.ServicesFor(&ui);

  if (*settings) {
    bool change = !output_directory.empty() || update_rate != 0 || !image_format.empty() ||
                  cab_files >= 0 || playback >= 0;
    quillon::ConversionSettings values;
    values.output_directory = quillon::ReadPicturePath(services, &registry);
    quillon::LoadSettings(services, &registry, &values);
    if (!change) {
      PrintSettings(values, registry_path);
      return 0;
    }
    if (!output_directory.empty()) values.output_directory = output_directory;
    if (update_rate != 0) values.update_rate = static_cast<int16_t>(update_rate);
    if (!image_format.empty()) values.output_bmp = image_format == "bmp" ? 1 : 0;
    if (cab_files >= 0) values.use_cab_files = cab_files;
    if (playback >= 0) values.allow_play_back = playback;
    if (quillon::SaveSettings(services, &registry, values) != 1) return 1;
    PrintSettings(values, registry_path);
    return 0;
  }

  // The HMI copies bitmap images to the clipboard that the converter reads.
  quillon::Clipboard clipboard;
  quillon::standin::StandInHost host;
  host.set_clipboard(&clipboard);
  for (const std::string& document : open_documents) {
    std::string error;
    if (quillon::hmi::Failed(host.OpenInApplication(document, &error))) {
      std::fprintf(stderr, "quillon: cannot open %s in the HMI: %s\n", document.c_str(),
                   error.c_str());
      return 1;
    }
  }
  quillon::Platform platform;
  platform.ui = &ui;
  platform.registry = &registry;
  platform.hmi = &host;
  platform.clipboard = &clipboard;
  platform.screen_dpi = dpi;
  quillon::SetPlatform(platform);

  PrintingLogWindow log_window;
  int failed = 0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    int result = quillon::ConvertQevPicFile(pictures[i], verbose ? &log_window : nullptr,
                                            (show_options && i == 0) ? 1 : 0, read_only ? 0 : 1);
    if (result == 1) {
      std::printf("converted %s\n", pictures[i].c_str());
      if (!no_html5 && !quillon::cli::WriteHtml5PageOfPicture(services, &registry, pictures[i])) {
        ++failed;
      }
    } else if (!read_only) {
      std::fprintf(stderr, "quillon: %s was not converted; see its log\n", pictures[i].c_str());
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
