// Reading the stand-in HMI's input files (picture documents, shared-table
// documents, images) so that a FIFO, a device or a folder given in place of
// a file is refused at once instead of blocking the run.
#ifndef QUILLON_HMI_REGULAR_FILE_H_
#define QUILLON_HMI_REGULAR_FILE_H_

#include <string>

namespace quillon {
namespace standin {

enum class FileReadResult {
  kOk,
  kMissing,     // no such file
  kNotRegular,  // a folder, FIFO, socket or device
  kFailed,      // it could not be opened or read
};

// Reads the whole file at `path`. The file is opened without blocking and
// must be a regular file; a path holding a NUL character is refused as
// missing. On failure *contents is left as it was and *error says why
// (with the path).
FileReadResult ReadRegularFile(const std::string& path, std::string* contents,
                               std::string* error);

}  // namespace standin
}  // namespace quillon

#endif  // QUILLON_HMI_REGULAR_FILE_H_
