// Shared fixtures of the tests: a temporary folder, file reading, and the
// services of a conversion over the real resource module and a scripted UI.
#ifndef QUILLON_TESTS_SUPPORT_TEST_ENV_H_
#define QUILLON_TESTS_SUPPORT_TEST_ENV_H_

#include <cstdio>
#include <memory>
#include <string>

#include "driver/progress_window.h"
#include "driver/resources.h"
#include "driver/services.h"
#include "platform/text_file.h"
#include "support/scripted_ui.h"

namespace quillon {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// All that was written to `file` (a std::tmpfile() a test writes through),
// from its start.
std::string WrittenTo(std::FILE* file);

// Makes the file layer fail for output files whose name ends with
// `name_suffix` (see SetFileFaultForTesting) while it lives.
class ScopedFileFault {
 public:
  ScopedFileFault(const std::string& name_suffix, FileStage stage, int error_number) {
    SetFileFaultForTesting(name_suffix, stage, error_number);
  }
  ~ScopedFileFault() { SetFileFaultForTesting("", FileStage::kDone, 0); }
  ScopedFileFault(const ScopedFileFault&) = delete;
  ScopedFileFault& operator=(const ScopedFileFault&) = delete;
};

// The loaded resource module, shared by every test of a program.
const ResourceModule& TestResources();

// A scripted UI, the resource module and a progress window bound to both.
struct TestServices {
  TestServices();
  ScriptedUi ui;
  CFileConvDlg progress;
  Services services;
  std::string Text(int id) const { return services.Text(id); }
};

}  // namespace quillon

#endif  // QUILLON_TESTS_SUPPORT_TEST_ENV_H_
