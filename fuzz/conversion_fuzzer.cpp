// Fuzzes a whole conversion: a picture document from the fuzzer's bytes is
// read and written into a scratch folder. Nothing may crash or hang, and
// nothing may be written outside that folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "animation/animation_reader.h"
#include "driver/picture_converter.h"
#include "fuzz_support.h"
#include "hmi/document.h"
#include "hmi/standin_host.h"
#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  fuzz::FuzzEnvironment& environment = fuzz::Environment();
  hmi::ComPtr<standin::Document> document = hmi::MakeCom<standin::Document>();
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (hmi::Failed(document->LoadText(text, environment.directory + "/Pic.grf"))) return 0;

  static MemoryRegistry registry;
  static standin::StandInHost host;
  static ProcessState state;
  registry.calls.clear();  // the test registry records every call; keep it small
  RunContext context;
  context.services = environment.services;
  context.registry = &registry;
  context.hmi = &host;
  context.state = &state;
  const std::string output = environment.directory + "/out";
  std::filesystem::create_directories(output);
  int16_t status = 0;
  RunConvertPicture(context, hmi::Variant::Dispatch(document->Dispatch()), 1, 1, 0, 2,
                    output.c_str(), &status);
  // Everything written stays inside the output folder.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(environment.directory, error)) {
    if (entry.path().filename() != "out") __builtin_trap();
  }
  std::filesystem::remove_all(output, error);
  return 0;
}
