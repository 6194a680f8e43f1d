// Throughput of LAS -> binary PLY on a generated 10 million point file, with
// every attribute kept and with x, y, z and colour only, measured beside
// copying the same bytes with cp and beside a numpy peer writing the same
// properties, and the peak resident memory of the conversion (it streams,
// so it must stay small).
#include <demo_converters/core/las_format.h>
#include <demo_converters/nutritions/las_converter.h>

#include <brasko/loader_progress.h>
#include <brasko/progress_reporter.h>
#include <qarn/parameter.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dravo::demo::Point;

constexpr std::uint64_t kPoints = 10'000'000;

struct Workspace {
  Workspace() {
    std::random_device seed;
    dir = fs::temp_directory_path() / ("dravo_demo_bench_" + std::to_string(seed()));
    fs::create_directories(dir / "out");
    input = dir / "bench.las";
    dravo::demo::LasLayout layout;
    layout.pointFormat = 3;
    layout.offset = {500000, 4000000, 0};
    std::uint64_t i = 0;
    dravo::demo::WriteLas(input, layout, [&](Point& p) {
      if (i == kPoints) return false;
      p.x = 500000 + static_cast<double>(i % 10000) * 0.1;
      p.y = 4000000 + static_cast<double>(i / 10000) * 0.1;
      p.z = static_cast<double>(i % 977) * 0.01;
      p.red = static_cast<std::uint8_t>(i);
      p.classification = static_cast<std::uint8_t>(i % 7);
      ++i;
      return true;
    });
    bytes = fs::file_size(input);
  }
  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path dir, input;
  std::uintmax_t bytes = 0;
};

Workspace& Files() {
  static Workspace workspace;
  return workspace;
}

double bestAll = std::numeric_limits<double>::max();
double bestXyzRgb = std::numeric_limits<double>::max();
double bestNumpy = 0;
double bestCopy = std::numeric_limits<double>::max();
double bestStreamCopy = std::numeric_limits<double>::max();

// Peak resident set of this process in MB, where the system reports it.
double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return -1;
}

template <class F>
double Seconds(F&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The first Python with numpy, or empty.
std::string PythonWithNumpy() {
  for (const char* python : {"python3", "/usr/bin/python3"})
    if (std::system((std::string(python) + " -c 'import numpy' 2>/dev/null").c_str()) == 0)
      return python;
  return {};
}

void LasToBinaryPly(benchmark::State& state, const std::string& attributes, double& best) {
  Workspace& files = Files();
  dravo::demo::LasConverterNutrition las;
  int index = 0;
  las.getSlot("Attributes", index)
      ->parameter->setValueFromText(attributes, {}, "", false, {}, nullptr, nullptr);
  // A sink with a listener, as under a client that asked for progress: reports are paid for.
  const auto sink = Brasko::MakeStrong<Brasko::LoaderProgress>();
  struct Listener : Brasko::ProgressReporter {
    std::int64_t last = 0;
    void report(const std::string&, std::int64_t done, std::int64_t) override { last = done; }
  } listener;
  const Brasko::ScopedProgressReporter listening(&listener);
  for (auto _ : state) {
    // Freeing the last run's pages is not part of converting.
    fs::remove(files.dir / "out" / "bench.ply");
    std::string error;
    const double seconds = Seconds([&] {
      error = las.convert({}, (files.dir / "out").string(), {}, {files.input.string()}, sink);
    });
    benchmark::DoNotOptimize(listener.last);
    if (!error.empty()) state.SkipWithError(error.c_str());
    best = std::min(best, seconds);
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.bytes));
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void NumpyPeer(benchmark::State& state) {
  Workspace& files = Files();
  const std::string python = PythonWithNumpy();
  if (python.empty()) return state.SkipWithError("python3 with numpy is not installed");
  const std::string command = python + " " DRAVO_NUMPY_PEER " '" + files.input.string() + "' '" +
                              (files.dir / "out" / "numpy.ply").string() + "'";
  for (auto _ : state) {
    int status = 0;
    const double seconds = Seconds([&] { status = std::system(command.c_str()); });
    if (status != 0) state.SkipWithError("the numpy peer failed");
    bestNumpy = bestNumpy == 0 ? seconds : std::min(bestNumpy, seconds);
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.bytes));
}

void CopyWithCp(benchmark::State& state) {
  Workspace& files = Files();
  const std::string command =
      "cp '" + files.input.string() + "' '" + (files.dir / "copy.las").string() + "'";
  for (auto _ : state) {
    int status = 0;
    const double seconds = Seconds([&] { status = std::system(command.c_str()); });
    if (status != 0) state.SkipWithError("cp failed");
    bestCopy = std::min(bestCopy, seconds);
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.bytes));
}

// A plain read/write copy: cp may copy inside the kernel without the data
// passing through the process, which no converter can do.
void CopyThroughProcess(benchmark::State& state) {
  Workspace& files = Files();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    const double seconds = Seconds([&] {
      std::ifstream in(files.input, std::ios::binary);
      std::ofstream out(files.dir / "copy.las", std::ios::binary | std::ios::trunc);
      while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        out.write(buffer.data(), in.gcount());
    });
    bestStreamCopy = std::min(bestStreamCopy, seconds);
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.bytes));
}

// Alternated, so the page cache treats both alike.
BENCHMARK(CopyWithCp)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyThroughProcess)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LasToBinaryPly, xyz_rgb, "xyz,rgb", bestXyzRgb)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LasToBinaryPly, all_attributes, "all", bestAll)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(NumpyPeer)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Files();  // generate before anything is timed
  benchmark::RunSpecifiedBenchmarks();
  std::printf(
      "\n%llu points, %.1f MB of LAS, best of each: every attribute %.3f s, x y z and colour "
      "%.3f s (ratio %.2fx, at most 1.5x wanted), cp %.3f s (every attribute %.2fx), "
      "read/write copy %.3f s (%.2fx), peak RSS %.1f MB\n",
      static_cast<unsigned long long>(kPoints), static_cast<double>(Files().bytes) / 1e6, bestAll,
      bestXyzRgb, bestAll / bestXyzRgb, bestCopy, bestAll / bestCopy, bestStreamCopy,
      bestAll / bestStreamCopy, PeakRssMb());
  if (bestNumpy > 0)
    std::printf("numpy peer, same properties: %.3f s (every attribute takes %.2fx its time)\n",
                bestNumpy, bestAll / bestNumpy);
  else
    std::printf("numpy peer: skipped, no python3 with numpy found\n");
  benchmark::Shutdown();
  return 0;
}
