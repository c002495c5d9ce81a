// quillon-bench: converts generated pictures of 1,000, 10,000 and 50,000
// objects (or the sizes given with --objects=N,N,...) end to end: the
// picture file is read, the page description, page, images and log are
// written. Reports objects per second and the peak memory of each size.
//
// With --whole-process it then runs the built `quillon` command (the one
// beside this program, or the one --quillon=PATH names) with a settings file
// on the same pictures, as a user does, and reports its wall time, the peak
// memory of the child and, when strace is installed, the system calls per
// object, beside the in-process figures.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "picture_generator.h"

extern char** environ;

namespace {

using quillon::bench::ConversionSetting;

// The sizes measured unless --objects names others.
constexpr int kDefaultSizes[] = {1000, 10000, 50000};

// How many conversions a size is timed over: one for the large pictures,
// whose conversion takes seconds.
int IterationsFor(int objects) {
  if (objects <= 2000) return 10;
  if (objects <= 20000) return 3;
  return 1;
}

// Takes "--objects=N,N,..." out of the arguments (Google Benchmark refuses
// flags it does not know). False when the list is malformed.
bool TakeSizes(int* argc, char** argv, std::vector<int>* sizes) {
  const std::string flag = "--objects=";
  int kept = 1;
  bool ok = true;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg.compare(0, flag.size(), flag) != 0) {
      argv[kept++] = argv[i];
      continue;
    }
    sizes->clear();
    std::stringstream list(arg.substr(flag.size()));
    std::string item;
    while (std::getline(list, item, ',')) {
      char* end = nullptr;
      const long objects = std::strtol(item.c_str(), &end, 10);
      if (item.empty() || *end != '\0' || objects < 1 || objects > 10000000) {
        ok = false;
        break;
      }
      sizes->push_back(static_cast<int>(objects));
    }
    if (sizes->empty()) ok = false;
  }
  *argc = kept;
  return ok;
}

ConversionSetting& Setting() {
  static ConversionSetting setting;
  return setting;
}

std::string StringOf(double value, const char* unit = "") {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f%s", value, unit);
  return text;
}

// Seconds of one conversion, wall clock and processor, for the growth
// ratios printed at the end.
struct Seconds {
  double wall = 0.0;
  double cpu = 0.0;
};
std::map<int, Seconds>& SecondsBySize() {
  static std::map<int, Seconds> seconds;
  return seconds;
}

// Processor seconds the process has used so far.
double CpuSeconds() {
  struct timespec now {};
  if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return 0.0;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Lets the peak resident size start again from the current size, so that
// each size reports its own peak. False where the system does not allow it.
bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// The peak resident size of the process in bytes.
double PeakMemoryBytes() {
  struct rusage usage {};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void ConvertPicture(benchmark::State& state) {
  ConversionSetting& setting = Setting();
  if (!setting.ready()) {
    state.SkipWithError("no scratch folder or resource module");
    return;
  }
  const int objects = static_cast<int>(state.range(0));
  quillon::bench::GeneratorOptions options;
  options.objects = objects;
  options.name = "Bench" + std::to_string(objects);
  std::string path;
  {
    const std::string document = quillon::bench::GeneratePictureDocument(options);
    path = setting.WritePicture(options.name, document);
  }
  if (path.empty()) {
    state.SkipWithError("the picture could not be written");
    return;
  }
  // The output of smaller sizes stays: deleting thousands of files just
  // before makes the file system slow to create the next ones, which would
  // be charged to the conversion.
  const bool peak_reset = ResetPeakMemory();

  Seconds seconds;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    const int result = setting.Convert(path);
    seconds.cpu += CpuSeconds() - cpu_start;
    seconds.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 1) {
      // The scratch folder goes at exit: show the log now.
      std::ifstream log(setting.output() + "/" + options.name + ".Log", std::ios::binary);
      std::fprintf(stderr, "%s was not converted; its log:\n", path.c_str());
      std::fflush(stderr);
      if (log) std::cerr << log.rdbuf() << std::endl;
      std::cerr.clear();
      state.SkipWithError("the picture was not converted (its log is on standard error)");
      break;
    }
  }
  if (state.iterations() > 0) {
    SecondsBySize()[objects] = {seconds.wall / state.iterations(), seconds.cpu / state.iterations()};
  }

  state.counters["objects"] = objects;
  state.counters["objects_per_second"] =
      benchmark::Counter(objects, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_memory"] =
      benchmark::Counter(PeakMemoryBytes(), benchmark::Counter::kDefaults,
                         benchmark::Counter::OneK::kIs1024);
  if (!peak_reset) state.SetLabel("peak memory of the whole run so far");
}

// Takes "--whole-process" and "--quillon=PATH" out of the arguments.
void TakeWholeProcess(int* argc, char** argv, bool* whole_process, std::string* quillon) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--whole-process") {
      *whole_process = true;
    } else if (arg.rfind("--quillon=", 0) == 0) {
      *whole_process = true;
      *quillon = arg.substr(10);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

// The folder this program is in.
std::string OwnFolder() {
  char buffer[4096];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// One run of a program with standard input, output and error on /dev/null
// (the output into `output` when it is not empty): its exit status, wall
// seconds and peak resident size in bytes.
struct ChildRun {
  int status = -1;
  double wall = 0.0;
  double cpu = 0.0;  // user and system seconds
  double peak = 0.0;
};
ChildRun RunChild(std::vector<std::string> args, const std::string& output = "") {
  ChildRun run;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.empty() ? "/dev/null" : output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The peak resident size survives exec: the child starts at the size of
  // this process, which is therefore kept small while children run.
  run.peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
  run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The system calls of `strace -c -f` output (its "total" line); -1 when
// there is none.
long StraceTotal(const std::string& report) {
  std::ifstream in(report);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    if (!words.empty() && words.back() == "total" && words.size() >= 4) {
      return std::strtol(words[words.size() - 3].c_str(), nullptr, 10);
    }
  }
  return -1;
}

// One size's figures of the whole process.
struct WholeProcessFigures {
  int status = 0;
  ChildRun median;
  double peak = 0.0;
  std::string calls = "-";
};

// Runs `quillon convert` with a settings file on each size's picture (made
// by quillon-generate beside `quillon`), three times, and once more under
// strace when it is installed. Run before anything grows this process.
std::map<int, WholeProcessFigures> MeasureWholeProcess(const std::string& quillon,
                                                       const std::vector<int>& sizes,
                                                       ConversionSetting& setting) {
  std::map<int, WholeProcessFigures> figures;
  const std::string folder = setting.pictures() + "/../whole";
  const std::string out = folder + "/out";
  std::error_code error;
  std::filesystem::create_directories(out, error);
  const std::string settings = folder + "/settings.reg";
  {
    std::ofstream file(settings);
    file << "Windows Registry Editor Version 5.00\n\n"
         << "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\PICPATH]\n@=\"" << folder
         << "\"\n\n[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\NODENAME]\n@=\"NODE1\"\n\n"
         << "[HKEY_CLASSES_ROOT\\Software\\Qev Dynamics\\Quillon\\WebOutPath]\n@=\"" << out
         << "\"\n\n[HKEY_CLASSES_ROOT\\QEV32\\DataSources\\Local]\n@=\"DS\"\n"
         << "\"OpcProgID\"=\"Velquist.OPCEDA\"\n\"OpcServerMachineName\"=\"\"\n";
  }
  const std::string generator = quillon.substr(0, quillon.rfind('/') + 1) + "quillon-generate";
  const bool have_strace = RunChild({"strace", "-V"}).status == 0;
  for (int objects : sizes) {
    WholeProcessFigures& size = figures[objects];
    const std::string path = folder + "/Bench" + std::to_string(objects) + ".grf";
    if (RunChild({generator, std::to_string(objects), path}).status != 0) {
      size.status = -1;
      continue;
    }
    std::vector<ChildRun> runs;
    for (int i = 0; i < 3; ++i) {
      runs.push_back(RunChild({quillon, "--registry", settings, "convert", path}));
      if (runs.back().status != 0) break;
    }
    size.status = runs.back().status;
    if (size.status != 0) continue;
    std::sort(runs.begin(), runs.end(),
              [](const ChildRun& a, const ChildRun& b) { return a.wall < b.wall; });
    size.median = runs[runs.size() / 2];
    for (const ChildRun& run : runs) size.peak = std::max(size.peak, run.peak);
    if (have_strace) {
      const std::string report = folder + "/strace.txt";
      ChildRun traced = RunChild(
          {"strace", "-c", "-f", "-o", report, quillon, "--registry", settings, "convert", path});
      long total = traced.status == 0 ? StraceTotal(report) : -1;
      if (total >= 0) size.calls = StringOf(static_cast<double>(total) / objects);
    }
  }
  return figures;
}

// Prints the whole process's figures beside the in-process ones; the number
// of sizes that failed.
int PrintWholeProcess(const std::string& quillon, const std::map<int, WholeProcessFigures>& figures) {
  std::printf("\nWhole process: %s --registry FILE convert PICTURE (median of 3 runs by wall "
              "time; system calls of one more run under strace -c -f)\n",
              quillon.c_str());
  std::printf("%8s %11s %11s %12s %13s | %11s %11s\n", "objects", "wall", "CPU", "peak memory",
              "calls/object", "in-process", "(CPU)");
  int failures = 0;
  std::map<int, double> wall_by_size;
  for (const auto& [objects, size] : figures) {
    if (size.status != 0) {
      std::printf("%8d   quillon failed (exit status %d)\n", objects, size.status);
      ++failures;
      continue;
    }
    const auto found = SecondsBySize().find(objects);
    const bool measured = found != SecondsBySize().end();
    std::printf("%8d %9.3f s %9.3f s %8.1f MiB %13s | %11s %11s\n", objects, size.median.wall,
                size.median.cpu, size.peak / (1024.0 * 1024.0), size.calls.c_str(),
                measured ? StringOf(found->second.wall, " s").c_str() : "-",
                measured ? StringOf(found->second.cpu, " s").c_str() : "-");
    wall_by_size[objects] = size.median.wall;
  }
  for (auto smaller = wall_by_size.begin(), larger = smaller;
       smaller != wall_by_size.end() && ++larger != wall_by_size.end(); ++smaller) {
    std::printf("  whole process %d / %d objects (%.2f): wall time %.2f\n", larger->first,
                smaller->first, static_cast<double>(larger->first) / smaller->first,
                larger->second / smaller->second);
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  bool whole_process = false;
  std::string quillon = OwnFolder() + "/quillon";
  TakeWholeProcess(&argc, argv, &whole_process, &quillon);
  std::vector<int> sizes(std::begin(kDefaultSizes), std::end(kDefaultSizes));
  if (!TakeSizes(&argc, argv, &sizes)) {
    std::fprintf(stderr, "quillon-bench: --objects takes a list of sizes, as in "
                         "--objects=1000,5000,20000\n");
    return 2;
  }
  for (int objects : sizes) {
    benchmark::RegisterBenchmark("ConvertPicture", ConvertPicture)
        ->Arg(objects)
        ->Iterations(IterationsFor(objects))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::map<int, WholeProcessFigures> whole;
  if (whole_process && Setting().ready()) whole = MeasureWholeProcess(quillon, sizes, Setting());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // Each size's time against the next smaller size's: with linear growth
  // the ratio equals the ratio of the sizes. The processor time is the
  // steadier figure on a machine that other work shares.
  const std::map<int, Seconds>& seconds = SecondsBySize();
  if (seconds.size() > 1) {
    std::printf("Growth of the conversion time (linear growth: the ratio of the sizes):\n");
    for (auto smaller = seconds.begin(), larger = std::next(smaller); larger != seconds.end();
         ++smaller, ++larger) {
      if (smaller->second.wall <= 0.0 || smaller->second.cpu <= 0.0) continue;
      std::printf("  %d / %d objects (%.2f): wall time %.2f, processor time %.2f\n",
                  larger->first, smaller->first,
                  static_cast<double>(larger->first) / smaller->first,
                  larger->second.wall / smaller->second.wall,
                  larger->second.cpu / smaller->second.cpu);
    }
  }
  if (whole_process) {
    if (!Setting().ready()) return 1;
    return PrintWholeProcess(quillon, whole) == 0 ? 0 : 1;
  }
  return 0;
}
