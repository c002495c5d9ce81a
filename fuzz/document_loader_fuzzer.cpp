// Fuzzes the loading of picture documents: any bytes either load or are
// refused with a reason, and a loaded document answers its walk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "hmi/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  hmi::ComPtr<standin::Document> document = hmi::MakeCom<standin::Document>();
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (hmi::Failed(document->LoadText(text, "/fuzz/Pic.grf"))) {
    if (document->load_error().empty()) __builtin_trap();
    return 0;
  }
  hmi::ComPtr<hmi::IHmiObject> root = document->Object();
  hmi::Variant names;
  if (root) root->PropertyNames(&names);
  return 0;
}
