// quillon-bench: converts generated pictures of 1,000, 10,000 and 50,000
// objects (or the sizes given with --objects=N,N,...) end to end: the
// picture file is read, the page description, page, images and log are
// written. Reports objects per second and the peak memory of each size.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "picture_generator.h"

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

}  // namespace

int main(int argc, char** argv) {
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
  return 0;
}
