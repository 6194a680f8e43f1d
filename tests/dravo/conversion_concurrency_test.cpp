// The module-wide lock: what waits for a real run, and what does not.
#include "tool_fixture.h"

#include <chrono>
#include <future>
#include <mutex>

namespace {

using namespace dravo::testing;

// A conversion that stops half way until the test lets it go on.
struct Gate {
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();

  void passThrough() {
    entered.set_value();
    released.wait();
  }
};

class ConversionConcurrency : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    fs::create_directories("second");
    first->addInput("Count", "how many", count);
    first->conversion = [this](auto&&...) {
      gate.passThrough();
      return std::string();
    };
  }

  Brasko::StrongPtr<TestNutrition> first = registry.add("First");
  Brasko::StrongPtr<TestNutrition> second = registry.add("Second");
  Brasko::StrongPtr<Qarn::VParameter> count = Qarn::VParameter::MakeInteger(1);
  Gate gate;
};

// Each of these would hang here if it took the lock.
TEST_F(ConversionConcurrency, ReadersPreviewsAndMissingOutputPathDoNotWaitForARun) {
  std::thread run([&] { Call("run_nutrition", RealRunArgs("First", "out", "Count=5")); });
  gate.entered.get_future().wait();
  EXPECT_FALSE(NutritionMutexIsFree());
  EXPECT_TRUE(Call("run_nutrition", R"({"name":"First","files":["a"]})")["success"].asBool(false));
  EXPECT_EQ(Call("list_nutritions", "{}")["count"], VMCPJsonValue(2));
  // A run in progress shows the values it has set.
  EXPECT_EQ(
      Call("describe_nutrition", R"({"name":"First"})")["parameters"].asArray()[0]["value"].dump(),
      R"("5")");
  EXPECT_EQ(Call("run_nutrition", R"({"name":"Second","files":["a"],"preview":false})")["error"]
                .asString(),
            "A real run (preview=false) needs an \"output_path\" to write into.");
  gate.release.set_value();
  run.join();
  EXPECT_TRUE(NutritionMutexIsFree());
}

// The second run must stop at the lock until the first has checked its outputs.
TEST_F(ConversionConcurrency, SecondRunWaitsUntilTheFirstHasCheckedItsOutputs) {
  std::atomic<bool> secondAsked{false};
  // Seen from the second run's directory only: the first run must not find it.
  Touch(root / "second" / "marker.txt");
  first->outputFiles = [](std::set<std::string>& outputs, auto&&...) {
    outputs.insert("marker.txt");
  };
  second->outputFiles = [&](auto&&...) { secondAsked = true; };
  VMCPJsonValue firstResult;
  std::thread one([&] { firstResult = Call("run_nutrition", RealRunArgs("First", "out")); });
  gate.entered.get_future().wait();
  std::thread two([&] { Call("run_nutrition", RealRunArgs("Second", "second")); });
  // Without the lock the second run reaches its nutrition well within this
  // wait; with it, it never can, so the wait only bounds how long a fault takes to show.
  for (int i = 0; i < 200 && !secondAsked; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(secondAsked) << "the second run asked its nutrition during the first";
  gate.release.set_value();
  one.join();
  two.join();
  EXPECT_TRUE(secondAsked);
  EXPECT_EQ(firstResult["expected_not_written"].dump(), R"(["marker.txt"])");
  EXPECT_EQ(fs::current_path(), root);
}

// Many threads, the first of them creating the lock: whatever they call,
// no two are ever inside a nutrition, and each converts in its own directory.
TEST_F(ConversionConcurrency, RunsAndAnalysesNeverOverlap) {
  std::atomic<int> active{0}, faults{0};
  int visits = 0;  // unguarded on purpose: only the module's lock protects it
  auto visit = [&](const fs::path& where) {
    if (++active != 1 || (!where.empty() && fs::current_path() != where)) ++faults;
    ++visits;
    --active;
  };
  for (auto* nutrition : {first.get(), second.get()}) {
    const fs::path dir = root / nutrition->name.str();
    fs::create_directories(dir);
    nutrition->outputFiles = [&, dir](auto&&...) { visit(dir); };
    nutrition->conversion = [&](auto&&...) { return visit({}), std::string(); };
    nutrition->analysis = [&](auto&&) { return visit({}), Qarn::VNutrition::AnalysisTexts{}; };
  }
  std::vector<std::thread> threads;
  for (const char* name : {"First", "Second", "First", "Second"})
    threads.emplace_back([&, name] {
      for (int round = 0; round < 8; ++round) {
        Call("analyse_nutrition", RealRunArgs(name, ""));
        Call("run_nutrition", RealRunArgs(name, name));
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(visits, 4 * 8 * 3);
  EXPECT_EQ(fs::current_path(), root);
}

}  // namespace
