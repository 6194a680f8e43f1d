// What tasks cost a client that never needs one: a quick tools/call (a
// 10-nutrition listing) with and without the tasks capability, and the memory
// a finished task of that listing's size holds while it waits to be collected.
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>

#include <dravo-host/mcp_server.h>
#include <dravo-host/task_store.h>

#include <scripted_nutritions/scripted_nutritions.h>

#include <brasko/executable_dir.h>
#include <brasko/testing.h>
#include <qarn/mcp/registry.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#if defined(__GLIBC__)
#  include <malloc.h>
#endif

namespace {

using Qarn::mcp::VMCPJsonValue;

// The example catalogue's first ten nutritions, and the nutrition tools, with
// an empty folder for the scan.
struct Listing {
  std::filesystem::path emptyDir = std::filesystem::temp_directory_path() / "dravo-task-bench";
  dravo::host::NutritionRegistration registration;

  Listing() {
    std::filesystem::create_directories(emptyDir);
    std::ifstream file(DRAVO_EXAMPLE_CATALOGUE, std::ios::binary);
    const auto example =
        VMCPJsonValue::Parse(std::string{std::istreambuf_iterator<char>(file), {}});
    auto document = VMCPJsonValue::MakeObject();
    for (const auto& entry : example["nutritions"].asArray())
      if (entry.isObject() && document["nutritions"].size() < 10)
        document["nutritions"].push_back(entry);
    for (const auto& n : dravo::host::BuildScriptedNutritions(document, "bench"))
      registration.add(n);
    Qarn::mcp::VMCPRegistry::Register(
        "nutrition", Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new Qarn::VNutritionMCPTools));
    Brasko::testing::setExecutableDirOverride(emptyDir.string());
  }
};

Listing& TheListing() {
  static Listing listing;
  return listing;
}

std::string CallLine(bool tasks) {
  return std::string(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{)"
                     R"("name":"list_nutritions","arguments":{},"_meta":{)"
                     R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                     R"("io.modelcontextprotocol/clientCapabilities":)") +
         (tasks ? R"({"extensions":{"io.modelcontextprotocol/tasks":{}}})" : "{}") + "}}}";
}

// The call runs on the calling thread, so each iteration is one whole call
// and its answer; with the capability it also arms and disarms the budget.
void BM_QuickCall(benchmark::State& state) {
  TheListing();
  dravo::host::ServerOptions options;
  options.workers = 1;
  dravo::host::McpServer server(options);
  std::size_t bytes = 0;
  auto peer = std::make_shared<dravo::host::Peer>(
      [&](std::string line, const dravo::host::LineRoute&) { bytes = line.size(); });
  const auto message = VMCPJsonValue::Parse(CallLine(state.range(0) != 0));
  for (auto _ : state) server.handleMessage(message, peer, 0, dravo::host::CallThread::Caller);
  state.counters["answer_bytes"] = double(bytes);
}
BENCHMARK(BM_QuickCall)->ArgName("tasks")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

std::size_t HeapInUse() {
#if defined(__GLIBC__)
  return mallinfo2().uordblks;
#else
  return 0;  // no portable figure: the counter reads 0
#endif
}

// 1,000 finished tasks, each holding a listing's result as its outcome.
void BM_FinishedTasks(benchmark::State& state) {
  TheListing();
  VMCPJsonValue result;
  Qarn::VNutritionMCPTools().callTool("list_nutritions", VMCPJsonValue::MakeObject(), {}, result);
  const std::string outcome = result.dump();
  constexpr int kTasks = 1000;
  double perTask = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    {
      dravo::host::TaskStore store({});
      for (int i = 0; i < kTasks; ++i) {
        const auto id = *store.create("client", nullptr);
        store.finish(id, dravo::host::TaskStatus::Completed, outcome);
      }
      perTask = double(HeapInUse() - before) / kTasks;
      benchmark::DoNotOptimize(store.size());
    }
  }
  state.counters["bytes_per_task"] = perTask;
  state.counters["outcome_bytes"] = double(outcome.size());
}
BENCHMARK(BM_FinishedTasks)->Unit(benchmark::kMillisecond);

}  // namespace
