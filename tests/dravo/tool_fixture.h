// Shared pieces of the module's tests: tool calls through the provider, a
// scratch directory that is the working directory and the executable's
// directory for one test, and a probe of the module-wide lock.
#pragma once

#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>
#include "scratch_dir.h"
#include "test_nutrition.h"

#include <brasko/testing.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace dravo::testing {

namespace fs = std::filesystem;
using Qarn::mcp::VMCPJsonValue;

// An object's keys in the order they were first set.
inline Names KeysOf(const VMCPJsonValue& object) {
  Names keys;
  for (const auto& member : object.members()) keys.push_back(std::string(member.key()));
  return keys;
}

inline std::string Utf8(const fs::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

// One call through the provider, as the host makes it.
inline VMCPJsonValue Call(const std::string& tool, const VMCPJsonValue& arguments) {
  VMCPJsonValue result;
  EXPECT_TRUE(Qarn::VNutritionMCPTools().callTool(tool, arguments, {}, result)) << tool;
  return result;
}
inline VMCPJsonValue Call(const std::string& tool, const char* json) {
  return Call(tool, VMCPJsonValue::Parse(json));
}

// The arguments of a real run of run_nutrition on a.las.
inline VMCPJsonValue RealRunArgs(const std::string& name, const std::string& output,
                                 const std::string& arguments = "") {
  auto args = VMCPJsonValue::Parse(R"({"files":["a.las"],"preview":false})");
  args["name"] = name;
  args["output_path"] = output;
  args["arguments"] = arguments;
  return args;
}

// The dump of the failure result with this message.
inline std::string Failure(const std::string& message) {
  return R"({"success":false,"error":)" + VMCPJsonValue(message).dump() + "}";
}

inline void Touch(const fs::path& path) {
  std::ofstream(path) << "x";
}

// Asked from another thread: a std::mutex may not be try-locked by its owner.
inline bool NutritionMutexIsFree() {
  bool free = false;
  std::thread([&] {
    if (!nutrition::NutritionMutex().try_lock()) return;
    free = true;
    nutrition::NutritionMutex().unlock();
  }).join();
  return free;
}

// A scratch directory is the working directory and what getExecutableDir
// reports during the test; the old ones are put back after it.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::create_directories(root / "out"));
    fs::current_path(root);
    Brasko::testing::setExecutableDirOverride(Utf8(root));
  }
  void TearDown() override {
    Brasko::testing::setExecutableDirOverride(std::nullopt);
    fs::current_path(startDir);
  }
  fs::path file(const fs::path& relative) {
    fs::create_directories((root / relative).parent_path());
    Touch(root / relative);
    return root / relative;
  }

  const fs::path startDir = fs::current_path();
  ScratchDir scratch;
  const fs::path root = fs::canonical(scratch.path);
  RegisteredObjects registry;
};

}  // namespace dravo::testing
