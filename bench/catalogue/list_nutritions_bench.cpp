// list_nutritions over a registry of 1,000 nutritions.
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include "scratch_tree.h"

#include <dravo-host/mcp_methods.h>

#include <scripted_nutritions/scripted_nutritions.h>

#include <brasko/executable_dir.h>
#include <brasko/testing.h>
#include <qarn/nutrition.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

using Qarn::mcp::VMCPJsonValue;

constexpr int kNutritions = 1000;

// The example catalogue's entries renamed in turn, as the host benchmark
// loads them: objects shaped like the ones a real listing walks. The scan
// sees an empty directory, so that the listing itself is what is measured.
struct Registry {
  dravo::bench::ScratchDir emptyDir{"dravo-bench-exe-"};
  dravo::host::NutritionRegistration registration;

  Registry() {
    std::ifstream file(DRAVO_EXAMPLE_CATALOGUE, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const auto example = VMCPJsonValue::Parse(text);
    const auto entries = example["nutritions"].asArray();
    auto document = VMCPJsonValue::MakeObject();
    auto& nutritions = document["nutritions"];
    for (int i = 0; i < kNutritions; ++i) {
      auto entry = entries[std::size_t(i) % entries.size()];
      entry["name"] = entry["name"].asString() + " " + std::to_string(i);
      nutritions.push_back(std::move(entry));
    }
    for (const auto& n : dravo::host::BuildScriptedNutritions(document, "bench"))
      registration.add(n);
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
  arguments["filter"] = "POINT";
  arguments["extension"] = "laz";
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
