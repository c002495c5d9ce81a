// quillon: converts HMI display pictures into web pages from the command
// line, and shows or changes the stored conversion settings.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "driver/application.h"
#include "driver/conversion_log.h"
#include "driver/dialogs.h"
#include "driver/picture_converter.h"
#include "driver/settings.h"
#include "html5_page.h"
#include "serve_command.h"
#include "hmi/standin_host.h"
#include "command_ui.h"
#include "convert_command.h"
#include "run_registry.h"
#include "platform/console_ui.h"
#include "platform/imaging.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "quillon/quillon.h"

namespace {

// Prints every log line of a conversion on standard output.
class PrintingLogWindow : public quillon::LogWindow {
 public:
  void SendLogMessage(unsigned, unsigned long, const std::string& line) override {
    // The log's CR LF line ends, also inside a line written at once (the
    // banner), become the terminal's own.
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
      text += line[i];
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
};

// The HMI's own settings that a conversion reads: its picture folder, the
// local node's name and the local data source.
struct HmiSettings {
  std::string picture_folder, node_name, data_source;
};

HmiSettings ReadHmiSettings(quillon::Registry* registry) {
  HmiSettings hmi;
  registry->ReadString(quillon::RegistryRoot::kClassesRoot, quillon::kPicturePathKey,
                       quillon::kDefaultValue, &hmi.picture_folder);
  registry->ReadString(quillon::RegistryRoot::kClassesRoot, quillon::kNodeNameKey,
                       quillon::kDefaultValue, &hmi.node_name);
  hmi.data_source = quillon::FindOpcDataSource(registry);
  return hmi;
}

// The key of the local data source: the one the conversion finds, else a
// new "Local".
std::string LocalDataSourceKey(quillon::Registry* registry) {
  quillon::RegistryKey sources;
  std::string found;
  if (registry->OpenKey(quillon::RegistryRoot::kClassesRoot, quillon::kDataSourcesKey,
                        quillon::kKeyRead, &sources) == quillon::RegistryResult::kOk) {
    std::string name;
    for (uint32_t i = 0; found.empty() && registry->EnumKey(sources, i, quillon::kAnyLength,
                                                            &name) ==
                                              quillon::RegistryResult::kOk;
         ++i) {
      const std::string key = std::string(quillon::kDataSourcesKey) + "\\" + name;
      std::string prog_id, machine;
      if (registry->ReadString(quillon::RegistryRoot::kClassesRoot, key,
                               quillon::kOpcProgIdValue, &prog_id) ==
              quillon::RegistryResult::kOk &&
          prog_id == quillon::kLocalOpcProgId &&
          registry->ReadString(quillon::RegistryRoot::kClassesRoot, key,
                               quillon::kOpcServerMachineValue,
                               &machine) == quillon::RegistryResult::kOk &&
          machine.empty()) {
        found = key;
      }
    }
    registry->CloseKey(sources);
  }
  return found.empty() ? std::string(quillon::kDataSourcesKey) + "\\Local" : found;
}

void PrintSettings(const quillon::ConversionSettings& settings, const HmiSettings& hmi,
                   const std::string& registry_path) {
  auto or_unset = [](const std::string& value) {
    return value.empty() ? std::string("(not set)") : value;
  };
  std::printf("registry file:     %s\n", registry_path.c_str());
  std::printf("output directory:  %s\n", settings.output_directory.c_str());
  std::printf("update rate:       %d\n", settings.update_rate);
  std::printf("image format:      %s\n", settings.output_bmp == 1 ? "bmp" : "jpg");
  std::printf("cab files:         %d\n", settings.use_cab_files);
  std::printf("playback:          %d\n", settings.allow_play_back);
  std::printf("picture folder:    %s\n", or_unset(hmi.picture_folder).c_str());
  std::printf("node name:         %s\n", or_unset(hmi.node_name).c_str());
  std::printf("data source:       %s\n", or_unset(hmi.data_source).c_str());
}

// Prints the log that a conversion of `document` wrote into `directory`,
// line by line without the CR LF line ends.
void PrintLogOf(quillon::hmi::IDispatch* document, const std::string& directory) {
  quillon::hmi::ComPtr<quillon::hmi::IHmiPicture> picture;
  std::string name;
  quillon::hmi::ComPtr<quillon::hmi::IDispatch> held(document);
  if (quillon::hmi::Failed(held.As(&picture)) || quillon::hmi::Failed(picture->Name(&name))) {
    return;
  }
  std::ifstream log(quillon::JoinPath(directory, quillon::SafeFileName(name) + ".Log"),
                    std::ios::binary);
  std::string line;
  while (std::getline(log, line)) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("%s\n", line.c_str());
  }
}

// `error` as a user reads it: without the path it repeats from `path` and
// without the parser's own codes ("[json.exception.parse_error.101] ").
std::string PlainReason(const std::string& path, std::string error) {
  while (error.compare(0, path.size() + 2, path + ": ") == 0) error.erase(0, path.size() + 2);
  for (size_t at; (at = error.find("[json.exception.")) != std::string::npos;) {
    const size_t end = error.find("] ", at);
    if (end == std::string::npos) break;
    error.erase(at, end + 2 - at);
  }
  return error;
}

// A usage error: one line saying why, and exit status 2.
int UsageError(const std::string& reason) {
  std::fprintf(stderr, "quillon: %s (see quillon --help)\n", reason.c_str());
  return 2;
}

// Hands the platform to the library: the console, the settings file, the
// stand-in HMI and its clipboard.
void UsePlatform(quillon::ConsoleUi* ui, quillon::FileRegistry* registry,
                 quillon::standin::StandInHost* host, quillon::Clipboard* clipboard, int dpi) {
  quillon::Platform platform;
  platform.ui = ui;
  platform.registry = registry;
  platform.hmi = host;
  platform.clipboard = clipboard;
  platform.screen_dpi = dpi;
  quillon::SetPlatform(platform);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Converts HMI display pictures (.grf picture documents) into web pages: for each\n"
      "picture NAME a page description NAME.JDF, an HTML page NAME.htm, one image file\n"
      "per bitmap state and a log NAME.Log. `convert` writes them into the output\n"
      "directory of the stored settings; `export` into the directory it is given;\n"
      "both write beside them NAME.html, a page that current browsers show.\n"
      "Exit status: 0 when every picture was converted, 1 when one was not, 2 for a\n"
      "usage error.",
      "quillon"};
  app.set_version_flag("--version", quillon::QuillonVersion());
  app.require_subcommand(0, 1);

  std::string registry_path;
  app.add_option("--registry", registry_path,
                 "Settings file (registry export format); default $QUILLON_REGISTRY, else "
                 "$XDG_CONFIG_HOME/quillon/registry.reg, else ~/.config/quillon/registry.reg");

  // Options of both conversion commands.
  bool verbose = false;
  std::string node;
  std::vector<std::string> open_documents;
  int dpi = 96;
  quillon::standin::LoadOptions hmi_options;
  auto add_common = [&](CLI::App* command) {
    command->add_flag("-v,--verbose", verbose, "Print every log line on standard output");
    command->add_option("--node", node,
                        "Node name that answers the node prompt of system values");
    // One document per use: the pictures after it stay pictures.
    command
        ->add_option("--open", open_documents,
                     "Document (.grf or .qvg) to open in the running HMI first; repeatable, "
                     "one document per use")
        ->allow_extra_args(false);
    command->add_option("--dpi", dpi, "Screen resolution that text heights are sized for")
        ->check(CLI::Range(1, 10000));
    command->add_option("--registry", registry_path,
                        "Settings file (as the global option of the same name)");
    command->add_flag("--allow-outside-images", hmi_options.allow_outside_images,
                      "Let pictures show image files from outside their own folder (refused "
                      "with a log line otherwise)");
  };

  CLI::App* convert = app.add_subcommand(
      "convert",
      "Convert pictures into web pages with the stored settings. Prints one line per picture "
      "(converted; converted with losses; not converted, and why) and a last line for the "
      "run. Exit status 0 when every picture was converted (losses allowed), 1 when one "
      "failed, 130 when the run was cancelled (Ctrl-C), 2 for a usage error");
  quillon::cli::ConvertOptions convert_options;
  convert->add_option("PICTURE", convert_options.inputs,
                      "Picture files (.grf) and folders of pictures to convert, in order")
      ->required();
  convert->add_flag("-r,--recursive", convert_options.recursive,
                    "Folders: convert the pictures of their subfolders too");
  convert->add_flag("--options", convert_options.show_options,
                    "Show the options dialog (on the terminal) before the first picture");
  convert->add_flag("--read-only", convert_options.read_only,
                    "Read the pictures and write their logs only; no page or image is written");
  convert->add_flag("--strict", convert_options.strict,
                    "A picture converted with losses fails the run (exit status 1)");
  convert->add_option("--output-dir", convert_options.output_directory,
                      "Output directory for this run only (the stored setting is not changed)");
  convert->add_option("--report", convert_options.report_path,
                      "Write a report of the run as JSON to this file");
  add_common(convert);

  CLI::App* exporter = app.add_subcommand(
      "export",
      "Convert one picture into the directory given, with the options given; the stored "
      "conversion settings are neither read nor changed");
  std::string export_picture, export_directory;
  int export_rate = quillon::kDefaultUpdateRate;
  bool export_bmp = false, export_no_cab = false, export_no_playback = false;
  exporter->add_option("PICTURE", export_picture, "Picture file (.grf) to convert")->required();
  exporter->add_option("--out", export_directory, "Directory that receives the page")
      ->required();
  exporter->add_option("--rate", export_rate, "Data refresh rate of the page, 1 to 59 (default 2)")
      ->check(CLI::Range(1, 59));
  exporter->add_flag("--bmp", export_bmp, "Image files as BMP (default JPEG)");
  exporter->add_flag("--no-cab", export_no_cab, "Do not name the viewer's cab archive");
  exporter->add_flag("--no-playback", export_no_playback, "Turn the viewer's playback off");
  add_common(exporter);
  bool no_html5 = false;
  for (CLI::App* command : {convert, exporter}) {
    command->add_flag("--no-html5", no_html5,
                      "Write no HTML5 page (NAME.html, the page that current browsers show)");
  }

  CLI::App* view = app.add_subcommand(
      "view",
      "Write the HTML5 page (NAME.html) of an existing page description NAME.JDF.\n"
      "Exit status 1 when the description is malformed (the page is still written and\n"
      "says what is wrong and where) or a file cannot be read or written.");
  std::string view_jdf, view_out;
  view->add_option("JDF", view_jdf, "Page description to show")->required();
  view->add_option("--out", view_out, "Page to write; default NAME.html beside NAME.JDF");

  CLI::App* serve = app.add_subcommand(
      "serve",
      "Serve an output folder over HTTP: an index of its pictures, their pages and files,\n"
      "and /feed, the tag values of the live pages (Server-Sent Events), simulated or\n"
      "replayed from a CSV file of time,tag,value lines. Ctrl-C stops it with exit\n"
      "status 0; 1 when the folder, the values file or the address cannot be used.");
  quillon::cli::ServeOptions serve_options;
  serve->add_option("DIR", serve_options.directory, "Folder to serve")->required();
  serve->add_option("--port", serve_options.port, "Port to listen on; 0 takes a free one")
      ->check(CLI::Range(0, 65535));
  serve->add_option("--host", serve_options.host,
                    "Address to listen on (default 127.0.0.1: this machine only)");
  serve->add_option("--values", serve_options.values_file,
                    "CSV file of time,tag,value lines to replay (seconds after a page connects)");

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
  settings->add_option("--registry", registry_path,
                       "Settings file (as the global option of the same name)");
  std::string picture_folder, node_name, data_source;
  settings->add_option("--picture-folder", picture_folder,
                       "The HMI's picture folder (where shared tables NAME.qvg are found, and "
                       "the output directory when none is stored)");
  settings->add_option("--node-name", node_name,
                       "The local node's name, which THISNODE stands for in system values");
  settings->add_option("--data-source", data_source,
                       "The name of the local data source: references that start with it are "
                       "process values");

  // `quillon help [COMMAND]` is --help said as a command.
  if (argc >= 2 && std::string(argv[1]) == "help") {
    CLI::App* about = &app;
    if (argc >= 3) {
      try {
        about = app.get_subcommand(argv[2]);
      } catch (const CLI::Error&) {
        return UsageError(std::string("no command named ") + argv[2]);
      }
    }
    std::printf("%s", about->help().c_str());
    return 0;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (app.get_subcommands().empty()) {
    return UsageError("a command is required: convert, export, serve, settings or view");
  }
  if (*view) return quillon::cli::RunView(view_jdf, view_out);
  if (*serve) return quillon::cli::RunServe(serve_options);

  if (registry_path.empty()) registry_path = quillon::DefaultRegistryPath();
  quillon::FileRegistry registry(registry_path);
  {
    // A settings file that cannot be used is said once, with its reason,
    // before anything reads a setting from it.
    std::string ignored;
    registry.ReadString(quillon::RegistryRoot::kClassesRoot, "", quillon::kDefaultValue,
                        &ignored);
    if (!registry.error().empty()) {
      std::fprintf(stderr,
                   "quillon: the settings file cannot be used: %s. Correct or remove it, or "
                   "name another with --registry.\n",
                   registry.error().c_str());
      return 1;
    }
  }
  quillon::cli::CommandUi ui;
  if (!node.empty()) ui.Preset(quillon::kNodeDialog, quillon::kNodeName, node);
  // The bare "not installed" says which setting is missing and how to give it.
  ui.set_rewrite([registry_path](const std::string& text) {
    // A log line that could not be written comes as the bare cause number.
    if (!text.empty() && text.size() < 4 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
      const std::string said = quillon::FileErrorText(std::stoi(text), "Writing the log");
      if (!said.empty()) {
        return said + " Make room on the disk of the output directory, or choose another "
                      "output directory, and convert the picture again.";
      }
    }
    if (text == quillon::kQevNotInstalled) {
      return "The HMI's picture folder is not set in the settings file " + registry_path +
             ": give it with 'quillon settings --picture-folder DIR' (shared tables are found "
             "there, and pages are written there when no output directory is stored).";
    }
    return text;
  });

  quillon::CQuillonDllApp& library = quillon::CQuillonDllApp::Instance();
  if (!library.ready() && library.InitInstance(&ui) == 0) return 1;
  quillon::Services services = library.ServicesFor(&ui);

  if (*settings) {
    const bool hmi_change =
        !picture_folder.empty() || !node_name.empty() || !data_source.empty();
    const bool change = !output_directory.empty() || update_rate != 0 ||
                        !image_format.empty() || cab_files >= 0 || playback >= 0;
    // Read through the run's view: reading never adds a key to the file.
    quillon::cli::RunRegistry view(&registry);
    if (hmi_change) {
      auto write = [&](const std::string& key, const std::string& name, const std::string& value) {
        if (view.WriteString(quillon::RegistryRoot::kClassesRoot, key, name, value) !=
            quillon::RegistryResult::kOk) {
          std::fprintf(stderr, "quillon: cannot change the settings file %s%s%s\n",
                       registry_path.c_str(), registry.error().empty() ? "" : ": ",
                       registry.error().c_str());
          return false;
        }
        return true;
      };
      if (!picture_folder.empty() &&
          !write(quillon::kPicturePathKey, quillon::kDefaultValue, picture_folder)) {
        return 1;
      }
      if (!node_name.empty() && !write(quillon::kNodeNameKey, quillon::kDefaultValue, node_name)) {
        return 1;
      }
      if (!data_source.empty()) {
        const std::string key = LocalDataSourceKey(&view);
        if (!write(key, quillon::kDefaultValue, data_source) ||
            !write(key, quillon::kOpcProgIdValue, quillon::kLocalOpcProgId) ||
            !write(key, quillon::kOpcServerMachineValue, "")) {
          return 1;
        }
      }
    }
    const HmiSettings hmi = ReadHmiSettings(&view);
    quillon::ConversionSettings values;
    values.output_directory = hmi.picture_folder;
    quillon::LoadSettings(services, &view, &values);
    if (!change) {
      PrintSettings(values, hmi, registry_path);
      return 0;
    }
    if (!output_directory.empty()) {
      // A new output directory is made at once, so that the next run can
      // write into it.
      std::error_code ec;
      if (!std::filesystem::is_directory(output_directory, ec)) {
        std::filesystem::create_directories(output_directory, ec);
        if (ec) {
          std::fprintf(stderr, "quillon: cannot make the output directory %s: %s\n",
                       output_directory.c_str(), ec.message().c_str());
          return 1;
        }
        std::fprintf(stderr, "quillon: made the output directory %s\n", output_directory.c_str());
      }
      values.output_directory = output_directory;
    }
    if (update_rate != 0) values.update_rate = static_cast<int16_t>(update_rate);
    if (!image_format.empty()) values.output_bmp = image_format == "bmp" ? 1 : 0;
    if (cab_files >= 0) values.use_cab_files = cab_files;
    if (playback >= 0) values.allow_play_back = playback;
    if (quillon::SaveSettings(services, &view, values) != 1) return 1;
    PrintSettings(values, hmi, registry_path);
    return 0;
  }

  // The HMI copies bitmap images to the clipboard that the converter reads.
  quillon::Clipboard clipboard;
  quillon::standin::StandInHost host(hmi_options);
  host.set_clipboard(&clipboard);
  for (const std::string& document : open_documents) {
    std::string error;
    if (quillon::hmi::Failed(host.OpenInApplication(document, &error))) {
      std::fprintf(stderr, "quillon: cannot open %s in the HMI: %s. Correct the document, or "
                   "leave out --open.\n", document.c_str(), PlainReason(document, error).c_str());
      return 1;
    }
  }
  UsePlatform(&ui, &registry, &host, &clipboard, dpi);
  PrintingLogWindow log_window;

  if (*exporter) {
    // The picture is opened as the HMI opens it, then handed over as an
    // object, with the options of the command line instead of the settings.
    quillon::hmi::ComPtr<quillon::hmi::IDispatch> document;
    std::string error;
    if (quillon::hmi::Failed(host.LoadDocument(export_picture, &document, &error))) {
      std::fprintf(stderr, "quillon: %s was not converted: %s\n", export_picture.c_str(),
                   error.c_str());
      return 1;
    }
    int16_t status = 0;
    int result = quillon::ConvertPicture(quillon::hmi::Variant::Dispatch(document),
                                         export_no_cab ? 0 : 1, export_no_playback ? 0 : 1,
                                         export_bmp ? 1 : 0, export_rate,
                                         export_directory.c_str(), &status);
    // An object conversion takes no log window: -v prints its log after it.
    if (verbose) PrintLogOf(document.get(), export_directory);
    if (result == 1 && status == 1) {
      std::printf("converted %s\n", export_picture.c_str());
      if (!no_html5 && !quillon::cli::WriteHtml5PageOfDocument(document.get(), export_directory)) {
        return 1;
      }
      return 0;
    }
    std::fprintf(stderr, "quillon: %s was not converted; see its log in %s\n",
                 export_picture.c_str(), export_directory.c_str());
    return 1;
  }

  convert_options.verbose = verbose;
  quillon::Platform platform;
  platform.ui = &ui;
  platform.registry = &registry;
  platform.hmi = &host;
  platform.clipboard = &clipboard;
  platform.screen_dpi = dpi;
  quillon::cli::AfterPicture html5_page;
  if (!no_html5) html5_page = quillon::cli::WriteHtml5PageOfOutcome;
  return quillon::cli::RunConvert(convert_options, services, &ui, platform, &log_window,
                                  html5_page);
}
