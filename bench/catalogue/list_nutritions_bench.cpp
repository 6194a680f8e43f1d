// list_nutritions over a registry of 1,000 nutritions.
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include "scratch_tree.h"

#include <dravo-host/mcp_server.h>

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

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

void RunList(benchmark::State& state, const VMCPJsonValue& arguments) {
  Registry& registry = TheRegistry();
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

// The listing as the host answers it: built, then written into the line.
void BM_ListAllAnswered(benchmark::State& state) {
  Registry& registry = TheRegistry();
  Brasko::testing::setExecutableDirOverride(registry.emptyDir.utf8());
  Qarn::VNutritionMCPTools tools;
  const auto arguments = VMCPJsonValue::MakeObject();
  std::size_t bytes = 0;
  for (auto _ : state) {
    VMCPJsonValue result;
    tools.callTool("list_nutritions", arguments, {}, result);
    std::string line = R"({"jsonrpc":"2.0","id":1,"result":)";
    dravo::host::AppendToolResult(std::move(result), line);
    bytes = line.size();
    benchmark::DoNotOptimize(line);
  }
  Brasko::testing::setExecutableDirOverride(std::nullopt);
  state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
}

BENCHMARK(BM_ListAllAnswered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListFiltered)->Unit(benchmark::kMicrosecond);

}  // namespace
