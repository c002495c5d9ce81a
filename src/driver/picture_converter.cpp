// One conversion of one picture, and the three conversions behind the
// exported functions.
#include "driver/picture_converter.h"

#include <cctype>
#include <cstdio>
#include <new>

#include "animation/animation_reader.h"
#include "driver/dialogs.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "writer/page_writer.h"

namespace quillon {

using hmi::ComPtr;
using hmi::HRESULT;

namespace {

constexpr char kVersion[] = "1.0";

constexpr char kPathWithNul[] = "The picture path holds a NUL character and is not converted.";
constexpr char kOutputDirectoryUnusable[] =
    "The output directory cannot be used: %s. The picture %s is not converted.";

// An output directory as the run keeps it: with "/" at the end (a "\" there
// is taken as the separator it stands for), or empty for the current
// directory.
std::string WithSeparator(const std::string& directory) {
  if (directory.empty()) return directory;
  char last = directory.back();
  if (last == '\\') return directory.substr(0, directory.size() - 1) + "/";
  return last == '/' ? directory : directory + "/";
}

// The host's main window is disabled while a conversion runs.
class MainWindowLock {
 public:
  explicit MainWindowLock(Ui* ui, bool disable) : ui_(ui) {
    if (ui_ != nullptr && ui_->HasMainWindow()) {
      found_ = true;
      if (disable) ui_->EnableMainWindow(false);
    }
  }
  ~MainWindowLock() {
    if (found_) {
      ui_->EnableMainWindow(true);
      ui_->FocusMainWindow();
    }
  }
  MainWindowLock(const MainWindowLock&) = delete;
  MainWindowLock& operator=(const MainWindowLock&) = delete;

 private:
  Ui* ui_;
  bool found_ = false;
};

void Abort(const Services& services) {
  services.Status(kStatusAborting);
  if (services.progress != nullptr) services.progress->CloseProgress();
}

}  // namespace

std::string PictureNameOfPath(const std::string& path) {
  size_t separator = LastSeparator(path);
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string SafeFileName(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  }
  return name;
}

PictureConverter::PictureConverter(const Services& services, Registry* registry,
                                   hmi::HmiHost* hmi, ConnectionReader* connections,
                                   ProcessState* state)
    : services_(services),
      hmi_(hmi),
      registry_(registry),
      state_(state),
      log_(&services_),
      own_connections_(connections == nullptr ? std::make_unique<AnimationReader>() : nullptr),
      reader_(&log_, connections != nullptr ? connections : own_connections_.get()) {
  if (registry != nullptr) settings.output_directory = ReadPicturePath(services, registry);
  reader_.set_host(hmi);
  reader_.set_registry(registry);
  reader_.set_process_state(state);
}

PictureConverter::~PictureConverter() {
  reader_.ReleasePictureReferences();
  reader_.picture_map()->clear();
  log_.ClearPending();
}

void PictureConverter::StartStage() {
  stage_ = std::make_unique<OutputStage>(settings.output_directory, picture_name_);
  const Services* services = &services_;
  stage_->set_notice([services](const std::string& text) {
    services->Status(text);
    services->Message(text, kMbOk | kMbIconExclamation);
  });
  stage_->Activate();
}

void PictureConverter::StartPictureLog(const std::string& picture_directory) {
  const std::string log_name = picture_name_ + ".Log";
  // The log of this run starts empty in the stage and replaces the previous
  // one when the run ends.
  StartStage();
  log_.StartLog(log_name, picture_name_, settings.output_directory, picture_directory,
                log_window_, ConversionLog::Banner::kRun);
}

int PictureConverter::PrepareRun(const std::string& path, LogWindow* log_window) {
  if (path.find('\0') != std::string::npos) {
    // The file system would see only the part before it: another file.
    services_.Message(kPathWithNul, kMbOk | kMbIconExclamation);
    return 0;
  }
  if (ToUpper(path).find(".GRF") == std::string::npos) {
    services_.Message(services_.Text(kResNotAPictureFile), kMbOk | kMbIconExclamation);
    return 0;
  }
  source_path_ = path;
  log_window_ = log_window;
  picture_name_ = SafeFileName(PictureNameOfPath(path));
  reader_.set_page_name(picture_name_);
  reader_.PrepareClassTable();
  size_t separator = LastSeparator(path);
  StartPictureLog(separator == std::string::npos ? std::string() : path.substr(0, separator + 1));
  return 1;
}

int PictureConverter::PrepareRunFromObject(const hmi::Variant& picture) {
  ComPtr<hmi::IHmiPicture> picture_interface;
  std::string name;
  if (picture.vt() != hmi::VT_DISPATCH || !picture.dispatch() ||
      hmi::Failed(picture.dispatch().As(&picture_interface)) ||
      hmi::Failed(picture_interface->Name(&name))) {
    services_.Message(services_.Text(kResNoCollection), kMbOk | kMbIconExclamation);
    return 0;
  }
  reader_.document()->document_dispatch = picture.dispatch();
  log_window_ = nullptr;
  picture_name_ = SafeFileName(RecordText(name));
  reader_.set_page_name(picture_name_);
  reader_.PrepareClassTable();
  StartPictureLog(std::string());
  return 1;
}

int PictureConverter::OpenPicture() {
  PictureReader::DocumentReferences* document = reader_.document();
  hmi::TakeErrorInfo();
  auto fail = [this](int message) {
    // The HMI may say why: the log line names the cause after the message.
    const std::string cause = hmi::TakeErrorInfo();
    log_.WriteLogLine(services_.Text(message) + (cause.empty() ? "" : " (" + cause + ")"),
                      kLogError);
    reader_.ReleasePictureReferences();
    return 0;
  };
  if (hmi_ == nullptr ||
      hmi::Failed(hmi_->OpenStorage(source_path_, hmi::kStorageReadTransacted,
                                    &document->storage))) {
    return fail(kResOpenStorageFailed);
  }
  if (hmi::Failed(hmi_->CreateInstance(hmi::kPictureClassId, hmi::ClassContext::kInProcessServer,
                                       &document->ole_object))) {
    return fail(kResCreatePictureFailed);
  }
  if (hmi::Failed(document->ole_object.As(&document->persist_storage))) {
    return fail(kResNoPersistStorage);
  }
  if (hmi::Failed(document->persist_storage->Load(document->storage.get()))) {
    return fail(kResLoadFailed);
  }
  // The loaded document holds all it needs: the storage goes now, and with
  // it the file's text that the host may keep in memory.
  document->storage = nullptr;
  if (hmi::Failed(document->ole_object.As(&document->document_dispatch))) {
    return fail(kResNoDispatch);
  }
  ComPtr<hmi::IHmiPicture> picture;
  if (hmi::Failed(document->document_dispatch.As(&picture))) return fail(kResNoPictureObject);
  reader_.set_update_rate(settings.update_rate);
  reader_.set_image_output(settings.output_directory, settings.output_bmp != 0);
  if (hmi::Failed(reader_.ReadPictureProperties(picture.get()))) return 0;
  return 1;
}

int PictureConverter::ReadPicture(bool pages_follow) {
  early_writers_.reset();
  Registry* settings_registry = registry_ != nullptr ? registry_ : reader_.registry();
  // A page written through the stage writes its objects and animations on
  // two more threads while the picture is still being read; the reader and
  // those threads share the settings meanwhile, through a lock.
  if (pages_follow && stage_ && early_items_ > 0 &&
      (reader_.registry() == nullptr || reader_.registry() == settings_registry)) {
    PageWriter::EarlySetup setup;
    setup.services = &services_;
    setup.output_base = JoinPath(settings.output_directory, picture_name_);
    setup.use_cab_files = settings.use_cab_files;
    setup.allow_play_back = settings.allow_play_back;
    setup.image_format = settings.output_bmp;
    setup.registry = settings_registry;
    setup.state = state_;
    setup.min_items = early_items_;
    early_writers_ = PageWriter::PrepareEarlyWriters(setup);
  }
  if (!early_writers_) return reader_.ReadObjects(reader_.top_collection(), std::string());
  Registry* const reader_registry = reader_.registry();
  if (reader_registry != nullptr) reader_.set_registry(early_writers_->registry());
  PageWriter::EarlyWriters* early = early_writers_.get();
  reader_.set_object_read(
      [early](const PictureMap& map, const GroupMap& groups) { early->Feed(map, groups); });
  struct Restore {
    PictureReader& reader;
    Registry* registry;
    ~Restore() {
      reader.set_object_read(nullptr);
      reader.set_registry(registry);
    }
  } restore{reader_, reader_registry};
  const int result = reader_.ReadObjects(reader_.top_collection(), std::string());
  early->Feed(*reader_.picture_map(), *reader_.group_map());
  return result;
}

int PictureConverter::WritePages() {
  PageWriter writer(&services_);
  const std::string base = JoinPath(settings.output_directory, picture_name_);
  // The writer takes the maps over rather than copying them: the run has no
  // use for them afterwards.
  if (writer.Init(base, settings.use_cab_files, settings.allow_play_back, nullptr, nullptr,
                  settings.output_bmp, log_window_) != 1) {
    return 0;
  }
  *writer.group_map() = std::move(*reader_.group_map());
  *writer.picture_map() = std::move(*reader_.picture_map());
  // Writing needs nothing more of the picture document: it goes before the
  // page description is built rather than when the run ends.
  reader_.ReleasePictureReferences();
  writer.SetTranslation(registry_ != nullptr ? registry_ : reader_.registry(), state_);
  long height = 0, width = 0;
  std::string background;
  int rate = 0;
  writer.LoadPageProperties(&height, &width, &background, &rate);
  writer.set_defer_converted_line(true);
  writer.AdoptEarlyWriters(std::move(early_writers_));
  int page = writer.WriteHtmlPage(base, height, width);
  int document = writer.WriteDocument(height, width, background, kVersion);
  converted_line_due_ = page == 1 && document == 1 && writer.converted_line_due();
  return page == 1 && document == 1 ? 1 : 0;
}

int PictureConverter::Finish(int result) {
  // Animations written while a picture was read that no page took over.
  early_writers_.reset();
  if (!stage_) return result;
  const std::string log_path = JoinPath(settings.output_directory, picture_name_ + ".Log");
  const std::string jdf_path = JoinPath(settings.output_directory, picture_name_ + ".JDF");
  const std::string page_path = JoinPath(settings.output_directory, picture_name_ + ".htm");
  // Image files first, then the page description, then the page that loads
  // it; the log last, so that it can still say what could not be published.
  auto rank = [&](const std::string& path) {
    if (path == log_path) return -1;
    if (result != 1) return -1;
    return path == jdf_path ? 1 : path == page_path ? 2 : 0;
  };
  bool published = stage_->Publish(rank, [&](const std::string& path, const FileResult& failed) {
    const std::string text = FileErrorText(failed.cause, path);
    services_.Message(text, kMbOk | kMbIconExclamation);
    log_.WriteLogLine(text, kLogError);
  });
  if (!published) result = 0;
  if (result == 1 && converted_line_due_) {
    log_.WriteLogLine(services_.Text(kResObjectsConverted), kLogPlain);
  }
  stage_->Publish([&](const std::string& path) { return path == log_path ? 0 : -1; },
                  [&](const std::string&, const FileResult& failed) {
                    if (failed.stage == FileStage::kOpen) {
                      ReportFileError(services_, failed.cause, log_path);
                    } else {
                      ReportWriteFailure(services_, failed.cause);
                    }
                  });
  // Whatever was not published (the pages of a failed run) is removed.
  stage_->Discard();
  return result;
}

namespace {

// The steps of RunConvertQevPicFile after the run is prepared.
int ConvertPrepared(PictureConverter& run, const Services& services, int action) {
  try {
    MainWindowLock main_window(services.ui, /*disable=*/true);
    if (services.progress != nullptr) services.progress->ShowProgress();
    if (run.OpenPicture() != 1) {
      Abort(services);
      return 0;
    }
    if (run.ReadPicture(action == 1) < 0) {
      Abort(services);
      services.Message(services.Text(kResReadingFailed, {run.settings.output_directory}),
                       kMbOk | kMbIconExclamation);
      return 0;
    }
    if (services.Cancelled()) return 0;
    if (action != 1) {
      if (services.progress != nullptr) services.progress->CloseProgress();
      return 0;
    }
    // A page that could not be written whole is not reported as converted;
    // the writer has said why.
    return run.WritePages();
  } catch (const std::bad_alloc& failure) {
    // The picture asked for more memory than the machine gives: the log and
    // the message say so.
    const std::string text = FormatText(kOutOfMemoryText, {failure.what()});
    run.log()->WriteLogLine(text, kLogError);
    Abort(services);
    services.Message(text, kMbOk | kMbIconExclamation);
    return 0;
  }
}

}  // namespace

int RunConvertQevPicFile(const RunContext& context, const std::string& path,
                         LogWindow* log_window, int show_options, int action) {
  if (path.empty()) return 0;
  const Services& services = context.services;
  PictureConverter run(services, context.registry, context.hmi, context.connections,
                       context.state);
  run.reader()->set_screen_dpi(context.screen_dpi);
  run.reader()->set_imaging(context.clipboard, context.image_writer);
  if (context.registry != nullptr) LoadSettings(services, context.registry, &run.settings);

  if (show_options == 1) {
    CUsrOptDlg dialog(services, [&](const OptionValues& values) {
      ConversionSettings saved = run.settings;
      saved.output_directory = values.output_directory;
      saved.update_rate = static_cast<int16_t>(values.update_rate);
      saved.output_bmp = values.output_bmp;
      saved.use_cab_files = values.use_cab_files;
      saved.allow_play_back = values.allow_play_back;
      return context.registry != nullptr ? SaveSettings(services, context.registry, saved) : 0;
    });
    dialog.values = {run.settings.output_directory, run.settings.update_rate,
                     run.settings.use_cab_files, run.settings.allow_play_back,
                     run.settings.output_bmp};
    if (services.ui == nullptr || services.ui->RunModal(&dialog) != kIdOk) return 0;
    run.settings.output_directory = dialog.values.output_directory;
    run.settings.update_rate = static_cast<int16_t>(dialog.values.update_rate);
    run.settings.output_bmp = dialog.values.output_bmp;
    run.settings.use_cab_files = dialog.values.use_cab_files;
    run.settings.allow_play_back = dialog.values.allow_play_back;
    if (context.registry == nullptr || SaveSettings(services, context.registry, run.settings) != 1) {
      return 0;
    }
  }

  if (context.registry != nullptr) {
    // Before the log is started: it would be written to the wrong place.
    const std::string problem =
        CheckOutputDirectory(context.registry, &run.settings.output_directory);
    if (!problem.empty()) {
      services.Message(FormatText(kOutputDirectoryUnusable, {problem, path}),
                       kMbOk | kMbIconExclamation);
      return 0;
    }
  }
  if (run.PrepareRun(path, log_window) != 1) return 0;
  // A run that only reads writes the log and nothing else.
  run.reader()->set_write_images(action == 1);
  return run.Finish(ConvertPrepared(run, services, action));
}

int RunConvertPictureFile(const RunContext& context, const std::vector<std::string>& paths,
                          LogWindow* log_window, int show_options, int action) {
  if (paths.empty()) return 0;
  int result = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    result = RunConvertQevPicFile(context, paths[i], log_window, i == 0 ? show_options : 0,
                                  action);
    if (result != 1) return result;
  }
  return result;
}

int RunConvertPicture(const RunContext& context, const hmi::Variant& picture, int use_cab_files,
                      int allow_play_back, int output_bmp, int update_rate,
                      const char* output_directory, int16_t* status) {
  int16_t ignored = 0;
  if (status == nullptr) status = &ignored;
  *status = 1;
  const Services& services = context.services;
  // No setting is read; the registry still names the picture directory for
  // tables in other documents, and the node of system values.
  PictureConverter run(services, nullptr, context.hmi, context.connections, context.state);
  run.reader()->set_registry(context.registry);
  run.reader()->set_screen_dpi(context.screen_dpi);
  run.reader()->set_imaging(context.clipboard, context.image_writer);
  run.settings.output_directory =
      WithSeparator(output_directory != nullptr ? output_directory : "");
  run.settings.use_cab_files = static_cast<int16_t>(use_cab_files);
  run.settings.allow_play_back = static_cast<int16_t>(allow_play_back);
  run.settings.output_bmp = static_cast<int16_t>(output_bmp);
  run.settings.update_rate = static_cast<int16_t>(update_rate);

  MainWindowLock main_window(services.ui, /*disable=*/false);
  if (services.progress != nullptr) services.progress->ShowProgress();
  auto abort = [&]() {
    Abort(services);
    *status = 0;
    return 0;
  };
  if (run.PrepareRunFromObject(picture) != 1) return abort();
  auto finish = [&](int result) {
    result = run.Finish(result);
    if (result != 1) *status = 0;
    return result;
  };
  run.reader()->set_update_rate(run.settings.update_rate);
  run.reader()->set_image_output(run.settings.output_directory, run.settings.output_bmp != 0);
  ComPtr<hmi::IUnknown> object(picture.dispatch().get());
  if (hmi::Failed(run.reader()->ReadPictureProperties(object.get()))) return finish(abort());
  if (run.ReadPicture(true) < 0) {
    Abort(services);
    services.Message(services.Text(kResReadingFailed, {run.settings.output_directory}),
                     kMbOk | kMbIconExclamation);
    return finish(0);
  }
  if (services.Cancelled()) return finish(0);
  return finish(run.WritePages());
}

}  // namespace quillon
