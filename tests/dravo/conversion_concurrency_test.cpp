#include <dravo/mcp/nutrition/tools/tool_functions.h>
#include "conversion_fixture.h"

#include <future>
#include <mutex>
#include <thread>

namespace {

using dravo::nutrition::ToolAnalyseNutrition;
using dravo::nutrition::ToolDescribeNutrition;
using dravo::nutrition::ToolListNutritions;
using dravo::nutrition::ToolRunNutrition;
using dravo::testing::NutritionMutexIsFree;
using dravo::testing::RealRunArgs;
using dravo::testing::RunArgs;
using dravo::testing::TestNutrition;
using Qarn::mcp::VMCPJsonValue;
namespace fs = std::filesystem;

// A conversion that stops half way until the test lets it go on.
struct Gate {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();

  void passThrough() {
    entered.set_value();
    released.wait();
  }
};

class ConversionConcurrency : public dravo::testing::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    fs::current_path(root());
  }

  Brasko::StrongPtr<TestNutrition> first = registry.add("First");
  Brasko::StrongPtr<TestNutrition> second = registry.add("Second");
};

TEST_F(ConversionConcurrency, LockIsHeldExactlyWhereTheNutritionIsAsked) {
  std::vector<std::string> heldIn;
  auto note = [&](const char* where) {
    if (!NutritionMutexIsFree()) heldIn.push_back(where);
  };
  first->outputFiles = [&](auto&&...) { note("outputs"); };
  first->conversion = [&](auto&&...) {
    note("convert");
    return std::string();
  };
  first->digestible = [&](const std::string&) {
    note("digestible");
    return true;
  };
  first->quickInfo = [&](auto&&) {
    note("quickinfo");
    return std::string();
  };
  first->analysis = [&](auto&&) {
    note("analyse");
    return Qarn::VNutrition::AnalysisTexts{};
  };
  makeDir("out");
  ToolRunNutrition(RunArgs("First", {"a.las"}));
  EXPECT_TRUE(heldIn.empty()) << "a preview takes no lock";
  ToolRunNutrition(RealRunArgs("First", {"a.las"}, "out"));
  ToolAnalyseNutrition(RunArgs("First", {"a.las"}));
  EXPECT_EQ(heldIn,
            (std::vector<std::string>{"outputs", "convert", "digestible", "quickinfo", "analyse"}));
}

TEST_F(ConversionConcurrency, ReadersAndPreviewsDoNotWaitForARunningConversion) {
  Gate gate;
  first->conversion = [&](auto&&...) {
    gate.passThrough();
    return std::string();
  };
  makeDir("out");
  std::thread run([&] { ToolRunNutrition(RealRunArgs("First", {"a.las"}, "out")); });
  gate.entered.get_future().wait();
  EXPECT_FALSE(NutritionMutexIsFree());
  // Each of these would hang here if it took the lock.
  EXPECT_TRUE(ToolRunNutrition(RunArgs("First", {"a.las"}))["success"].asBool(false));
  EXPECT_TRUE(ToolListNutritions(VMCPJsonValue::MakeObject()).isObject());
  EXPECT_TRUE(ToolDescribeNutrition(RunArgs("First", {})).isObject());
  gate.release.set_value();
  run.join();
  EXPECT_TRUE(NutritionMutexIsFree());
}

TEST_F(ConversionConcurrency, SecondRunWaitsUntilTheFirstHasCheckedItsOutputs) {
  Gate gate;
  std::atomic<bool> firstInside{false};
  std::atomic<bool> overlapped{false};
  makeDir("out-first");
  makeDir("out-second");
  // Seen from the second run's directory only: the first run must not find it.
  dravo::testing::Touch(root() / "out-second" / "marker.txt");
  first->outputFiles = [&](std::set<std::string>& outputs, auto&&...) {
    firstInside = true;
    outputs.insert("marker.txt");
  };
  first->conversion = [&](auto&&...) {
    gate.passThrough();
    firstInside = false;
    return std::string();
  };
  second->outputFiles = [&](auto&&...) { overlapped = overlapped || firstInside; };

  VMCPJsonValue firstResult;
  std::thread one(
      [&] { firstResult = ToolRunNutrition(RealRunArgs("First", {"a"}, "out-first")); });
  gate.entered.get_future().wait();
  std::promise<void> calling;
  std::thread two([&] {
    calling.set_value();
    ToolRunNutrition(RealRunArgs("Second", {"b"}, "out-second"));
  });
  calling.get_future().wait();
  gate.release.set_value();
  one.join();
  two.join();

  EXPECT_FALSE(overlapped);
  EXPECT_EQ(firstResult["expected_not_written"].dump(), R"(["marker.txt"])");
  EXPECT_EQ(fs::current_path(), root());
}

TEST_F(ConversionConcurrency, RunsAndAnalysesNeverOverlap) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 8;
  std::atomic<int> active{0};
  std::atomic<int> collisions{0};
  int touches = 0;  // unguarded on purpose: only the module's lock protects it
  std::atomic<int> wrongDirectory{0};
  auto enter = [&] {
    if (++active != 1) ++collisions;
    ++touches;
    std::this_thread::yield();
    --active;
  };
  for (auto* nutrition : {first.get(), second.get()}) {
    const fs::path dir = makeDir(nutrition->name.str());
    nutrition->outputFiles = [&, dir](auto&&...) {
      enter();
      if (fs::current_path() != dir) ++wrongDirectory;
    };
    nutrition->conversion = [&](auto&&...) {
      enter();
      return std::string();
    };
    nutrition->analysis = [&](auto&&) {
      enter();
      return Qarn::VNutrition::AnalysisTexts{};
    };
  }
  auto analyses = [](int t, int round) { return (round + t) % 3 == 0; };
  int expectedTouches = 0;
  for (int t = 0; t < kThreads; ++t)
    for (int round = 0; round < kRounds; ++round) expectedTouches += analyses(t, round) ? 1 : 2;

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string name = t % 2 ? "First" : "Second";
      for (int round = 0; round < kRounds; ++round) {
        if (analyses(t, round))
          ToolAnalyseNutrition(RunArgs(name, {"a.las"}));
        else
          ToolRunNutrition(RealRunArgs(name, {"a.las"}, (root() / name).string()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(collisions, 0);
  EXPECT_EQ(wrongDirectory, 0);
  EXPECT_EQ(touches, expectedTouches);
  EXPECT_EQ(fs::current_path(), root());
}

}  // namespace
