// The disabled plug-in scan on a large installation tree, beside find(1)
// asked the same question on the same tree.
#include <dravo/mcp/nutrition/tools/disabled_plugins.h>
#include "scratch_tree.h"

#include <brasko/executable_dir.h>
#include <brasko/testing.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Installation {
  dravo::bench::ScratchDir dir{"dravo-bench-tree-"};
  dravo::bench::TreeStats stats = dravo::bench::BuildTree(dir.path(), {});
};

const Installation& installation() {
  static const Installation tree;
  return tree;
}

std::string FindCommand() {
  return "find '" + installation().dir.utf8() + "' -maxdepth 3 -name '*.tolm~' -type f > /dev/null";
}

double MedianSeconds(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

void Describe(benchmark::State& state) {
  const auto& stats = installation().stats;
  state.counters["dirs"] = stats.directories;
  state.counters["files"] = stats.files;
  state.counters["deepest_dir"] = stats.deepestDirectory;
}

void BM_DisabledPlugins(benchmark::State& state) {
  const auto& tree = installation();
  Brasko::testing::setExecutableDirOverride(tree.dir.utf8());
  if (int(dravo::nutrition::DisabledPlugins().size()) != tree.stats.disabledWithinReach)
    state.SkipWithError("the scan found a different number of files than the tree holds");
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(dravo::nutrition::DisabledPlugins());
    samples.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  Brasko::testing::setExecutableDirOverride(std::nullopt);
  Describe(state);
  state.counters["found"] = tree.stats.disabledWithinReach;
  state.counters["median_us"] = MedianSeconds(samples) * 1e6;
}

double ScanMedianSeconds() {
  Brasko::testing::setExecutableDirOverride(installation().dir.utf8());
  std::vector<double> samples;
  for (int i = 0; i < 51; ++i) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(dravo::nutrition::DisabledPlugins());
    samples.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  Brasko::testing::setExecutableDirOverride(std::nullopt);
  return MedianSeconds(samples);
}

// Includes starting the find process, as a user running it would see.
void BM_FindMaxDepth3(benchmark::State& state) {
  const std::string command = FindCommand();
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
    samples.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  Describe(state);
  const double findSeconds = MedianSeconds(samples);
  state.counters["median_us"] = findSeconds * 1e6;
  state.counters["scan_vs_find"] = ScanMedianSeconds() / findSeconds;  // target: <= 1.5
}

BENCHMARK(BM_DisabledPlugins)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindMaxDepth3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
