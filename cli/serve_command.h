// `quillon serve DIR`: the pages of an output folder over HTTP, with a feed
// of tag values for the live pages.
#ifndef QUILLON_CLI_SERVE_COMMAND_H_
#define QUILLON_CLI_SERVE_COMMAND_H_

#include <map>
#include <string>
#include <vector>

namespace quillon {
namespace cli {

struct ServeOptions {
  std::string directory;
  std::string host = "127.0.0.1";
  int port = 8080;          // 0: any free port (the one taken is printed)
  std::string values_file;  // CSV time,tag,value[,quality]; empty: simulated values
};

// One value of the feed: at `time` seconds after a client connects.
struct FeedValue {
  double time = 0;
  std::string tag;
  std::string value;
  std::string quality = "good";
};

// Reads a CSV file of values (`time,tag,value` with an optional fourth
// column `quality`; a first line `time,tag,value...` is a heading; blank
// lines and lines starting with # are skipped). False with `error` naming
// the line when a line cannot be read.
bool ReadFeedValues(const std::string& text, std::vector<FeedValue>* values, std::string* error);

// The JSON text of one batch of values, as the feed sends it:
// [{"tag":...,"value":...,"quality":...}] (a value that reads as a number is
// a JSON number).
std::string FeedBatchJson(const std::vector<FeedValue>& batch);

// The file under `root` that a request path names, or "" when it leads out
// of `root` (a `..`, a symbolic link pointing out), is not a regular file or
// is a hidden file.
std::string ResolveServedFile(const std::string& root, const std::string& request_path);

// Serves until SIGINT or SIGTERM. Returns the exit status: 0 after a clean
// stop, 1 when the folder, the values file or the address cannot be used.
int RunServe(const ServeOptions& options);

}  // namespace cli
}  // namespace quillon

#endif  // QUILLON_CLI_SERVE_COMMAND_H_
