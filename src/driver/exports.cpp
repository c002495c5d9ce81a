// The exported conversions: each runs in the library's own context, on the
// host's platform, and never lets an exception reach the host.
#include <new>
#include <string>

#include "driver/application.h"
#include "driver/picture_converter.h"
#include "platform/format.h"
#include "platform/registry.h"
#include "quillon/quillon.h"

namespace quillon {
namespace {

// Marks a conversion as running for its whole duration.
class BusyScope {
 public:
  explicit BusyScope(CQuillonDllApp* app) : app_(app), entered_(!app->busy()) {
    if (entered_) app_->set_busy(true);
  }
  ~BusyScope() {
    if (entered_) app_->set_busy(false);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  bool entered() const { return entered_; }

 private:
  CQuillonDllApp* app_;
  bool entered_;
};

// Runs `convert` with the run context of the library, or returns 0 when the
// library has no resources or a conversion is already running.
template <class Convert>
int Guarded(Convert convert) {
  CQuillonDllApp& app = CQuillonDllApp::Instance();
  if (!app.ready()) return 0;
  BusyScope busy(&app);
  if (!busy.entered()) return 0;
  try {
    Platform platform = app.EffectivePlatform();
    RunContext context;
    context.services = app.ServicesFor(platform.ui);
    context.registry = platform.registry;
    context.hmi = platform.hmi;
    context.screen_dpi = platform.screen_dpi;
    context.clipboard = platform.clipboard;
    context.image_writer = platform.image_writer;
    context.state = app.process_state();
    return convert(context);
  } catch (const std::bad_alloc& failure) {
    // The picture asked for more memory than the machine gives: say so
    // rather than fail without a reason.
    app.ServicesFor(app.EffectivePlatform().ui)
        .Message(FormatText(kOutOfMemoryText, {failure.what()}), kMbOk | kMbIconExclamation);
    return 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

QUILLON_EXPORT void SetPlatform(const Platform& platform) {
  CQuillonDllApp& app = CQuillonDllApp::Instance();
  if (!app.busy()) app.SetPlatform(platform);
}

QUILLON_EXPORT int ConvertQevPicFile(std::string path, LogWindow* log_window, int show_options,
                                     int action) {
  return Guarded([&](const RunContext& context) {
    return RunConvertQevPicFile(context, path, log_window, show_options, action);
  });
}

QUILLON_EXPORT int ConvertPictureFile(const std::vector<std::string>& paths,
                                      LogWindow* log_window, int show_options, int action) {
  return Guarded([&](const RunContext& context) {
    return RunConvertPictureFile(context, paths, log_window, show_options, action);
  });
}

QUILLON_EXPORT int ConvertPicture(const hmi::Variant& picture, int use_cab_files,
                                  int allow_play_back, int output_bmp, int update_rate,
                                  const char* output_directory, int16_t* status) {
  int result = Guarded([&](const RunContext& context) {
    return RunConvertPicture(context, picture, use_cab_files, allow_play_back, output_bmp,
                             update_rate, output_directory, status);
  });
  if (result == 0 && status != nullptr) *status = 0;
  return result;
}

}  // namespace quillon

namespace quillon {

QUILLON_EXPORT const char* QuillonVersion() { return "0.1.0"; }

}  // namespace quillon
