// list_nutritions over a registry of 1,000 nutritions.
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include "scratch_tree.h"

#include <brasko/executable_dir.h>
#include <brasko/testing.h>
#include <qarn/nutrition.h>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using Qarn::mcp::VMCPJsonValue;

constexpr int kNutritions = 1000;

// Registered for the whole run; the scan sees an empty directory so that
// the listing itself is what gets measured.
struct Registry {
  dravo::bench::ScratchDir emptyDir{"dravo-bench-exe-"};
  std::vector<Brasko::StrongPtr<Qarn::VNutrition>> nutritions;

  Registry() {
    const char* genres[] = {"Point cloud", "Raster", "Mesh", "Vector"};
    for (int i = 0; i < kNutritions; ++i) {
      auto n = Brasko::MakeStrong<Qarn::VNutrition>("Nutrition " + std::to_string(i));
      n->description = "Converts format " + std::to_string(i % 50) + " files into tiles.";
      n->addExtension("ext" + std::to_string(i % 50));
      n->addExtension(i % 2 ? "las" : "laz");
      n->outputExtensions = {"tif", "las"};
      n->genres = {genres[i % 4]};
      Qarn::RegisterManaged(n);
      nutritions.push_back(n);
    }
  }
  ~Registry() {
    for (const auto& n : nutritions) Qarn::VManagedObject::unregisterObject(n.get());
  }
};

void RunList(benchmark::State& state, const VMCPJsonValue& arguments) {
  static Registry registry;
  Brasko::testing::setExecutableDirOverride(registry.emptyDir.utf8());
  Qarn::VNutritionMCPTools tools;
  std::int64_t listed = 0;
  for (auto _ : state) {
    VMCPJsonValue result;
    tools.callTool("list_nutritions", arguments, {}, result);
    listed = result["count"].asInt();
    benchmark::DoNotOptimize(result);
  }
  Brasko::testing::setExecutableDirOverride(std::nullopt);
  state.counters["listed"] = double(listed);
}

void BM_ListAll(benchmark::State& state) {
  RunList(state, VMCPJsonValue::MakeObject());
}

void BM_ListFiltered(benchmark::State& state) {
  auto arguments = VMCPJsonValue::MakeObject();
  arguments["filter"] = "RASTER";
  arguments["extension"] = "las";
  RunList(state, arguments);
}

BENCHMARK(BM_ListAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListFiltered)->Unit(benchmark::kMicrosecond);

}  // namespace
