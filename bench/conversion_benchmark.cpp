// quillon-bench: converts generated pictures of 1,000, 10,000 and 50,000
// objects end to end (the picture file is read, the page description, page,
// images and log are written) and reports objects per second and the peak
// memory of each conversion.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "picture_generator.h"

namespace {

using quillon::bench::ConversionSetting;

// The sizes measured and how many conversions each is timed over: the
// largest takes tens of seconds on a small machine.
struct Size {
  int objects;
  int iterations;
};
constexpr Size kSizes[] = {{1000, 10}, {10000, 3}, {50000, 1}};

ConversionSetting& Setting() {
  static ConversionSetting setting;
  return setting;
}

// Wall seconds of one conversion, by size, for the growth ratio printed at
// the end.
std::map<int, double>& SecondsBySize() {
  static std::map<int, double> seconds;
  return seconds;
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
  setting.ClearOutput();
  const bool peak_reset = ResetPeakMemory();

  double seconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int result = setting.Convert(path);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 1) {
      state.SkipWithError("the picture was not converted; see its log");
      break;
    }
  }
  if (state.iterations() > 0) SecondsBySize()[objects] = seconds / state.iterations();

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
  for (const Size& size : kSizes) {
    benchmark::RegisterBenchmark("ConvertPicture", ConvertPicture)
        ->Arg(size.objects)
        ->Iterations(size.iterations)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const std::map<int, double>& seconds = SecondsBySize();
  const auto small = seconds.find(10000), large = seconds.find(50000);
  if (small != seconds.end() && large != seconds.end() && small->second > 0.0) {
    std::printf("Growth: the 50000-object conversion takes %.1f times as long as the "
                "10000-object one (linear growth would be 5.0)\n",
                large->second / small->second);
  }
  return 0;
}
