// Fuzzes the translation of data sources and expressions.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/conversion_log.h"
#include "driver/settings.h"
#include "expression/translator.h"
#include "fuzz_support.h"
#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  fuzz::FuzzEnvironment& environment = fuzz::Environment();
  static MemoryRegistry registry = [] {
    MemoryRegistry made;
    made.Put(RegistryRoot::kClassesRoot, "QEV32\\DataSources\\Local", "", "DS");
    made.Put(RegistryRoot::kClassesRoot, "QEV32\\DataSources\\Local", "OpcProgID",
             "Velquist.OPCEDA");
    made.Put(RegistryRoot::kClassesRoot, "QEV32\\DataSources\\Local", "OpcServerMachineName", "");
    made.Put(RegistryRoot::kClassesRoot, kNodeNameKey, "", "NODE1");
    return made;
  }();
  static ProcessState state;
  static PictureMap pictures = [] {
    PictureMap made;
    AddRecord(&made, "Lookup", "Lookup1", "\t");
    AddRecord(&made, "Rect", "Rect1", "\t");
    return made;
  }();
  static ConversionLog log(&environment.services);
  static bool started = false;
  if (!started) {
    log.StartLog("Fuzz.Log", "Fuzz", environment.directory, "", nullptr,
                 ConversionLog::Banner::kWriter);
    started = true;
  }
  registry.calls.clear();  // the test registry records every call; keep it small
  ExpressionTranslator translator(&log, &registry, &state, &pictures, "Pic1.JDF");
  std::string source(reinterpret_cast<const char*>(data), size);
  std::string object, links, error;
  const int result = translator.TranslateSource(&source, "Rect1", &object, &links, &error);
  if (result < 0 || result > 4) __builtin_trap();
  if (result == 1 && object.find("TAVExpression") == std::string::npos) __builtin_trap();
  return 0;
}
