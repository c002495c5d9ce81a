// quillon-generate: writes a synthetic picture document of N objects for
// measuring conversions. The same N, seed and name give the same bytes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "picture_generator.h"

namespace {

constexpr char kUsage[] =
    "usage: quillon-generate [--seed S] [--name NAME] [--stats] N OUTPUT\n"
    "\n"
    "Writes a picture document of N objects (shapes, texts, data links, charts,\n"
    "bitmaps, alarm summaries and buttons, most of them animated, some in groups)\n"
    "to OUTPUT (\"-\" for standard output). The same N, seed and name always give\n"
    "the same bytes.\n"
    "\n"
    "  --seed S     seed of the random choices (default 1)\n"
    "  --name NAME  the picture's name (default: OUTPUT's file name without its\n"
    "               extension, \"Bench\" for standard output)\n"
    "  --stats      print what the picture holds on standard error\n";

bool ParseNumber(const char* text, unsigned long long max, unsigned long long* value) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

std::string NameOfPath(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') == std::string::npos
                                     ? 0
                                     : path.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "Bench" : name;
}

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "quillon-generate: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  quillon::bench::GeneratorOptions options;
  bool name_given = false, print_stats = false;
  std::string positional[2];
  int positionals = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--seed") {
      unsigned long long seed = 0;
      if (i + 1 >= argc || !ParseNumber(argv[++i], ~0ull, &seed)) {
        return Usage("--seed needs a whole number");
      }
      options.seed = seed;
    } else if (arg == "--name") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage("--name needs a name");
      options.name = argv[++i];
      name_given = true;
    } else if (arg == "--stats") {
      print_stats = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else if (positionals < 2) {
      positional[positionals++] = arg;
    } else {
      return Usage("too many arguments");
    }
  }
  if (positionals != 2) return Usage("N and OUTPUT are required");
  unsigned long long objects = 0;
  if (!ParseNumber(positional[0].c_str(), 10000000ull, &objects) || objects == 0) {
    return Usage("N must be a whole number from 1 to 10000000");
  }
  options.objects = static_cast<int>(objects);
  const std::string& output = positional[1];
  if (!name_given) options.name = output == "-" ? "Bench" : NameOfPath(output);

  quillon::bench::GeneratorStats stats;
  const std::string document = quillon::bench::GeneratePictureDocument(options, &stats);

  FILE* file = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "quillon-generate: cannot create %s: %s\n", output.c_str(),
                 std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
  const bool closed = file == stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "quillon-generate: cannot write %s\n", output.c_str());
    return 1;
  }

  if (print_stats) {
    std::fprintf(stderr, "objects %d, in groups %d, groups %d (nested %d), animated %d, "
                 "connections %d, %zu bytes\n",
                 stats.shapes, stats.grouped, stats.groups, stats.nested_groups, stats.animated,
                 stats.connections, document.size());
    for (const auto& entry : stats.classes) {
      std::fprintf(stderr, "  %-16s %d\n", entry.first.c_str(), entry.second);
    }
    for (const auto& entry : stats.animations) {
      std::fprintf(stderr, "  %-16s %d\n", entry.first.c_str(), entry.second);
    }
  }
  return 0;
}
