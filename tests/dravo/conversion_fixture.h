// Shared pieces of the run_nutrition and analyse_nutrition tests: a scratch
// directory per test, the working directory put back, and argument builders.
#pragma once

#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>
#include "test_nutrition.h"

#include <qarn/mcp/json_value.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace dravo::testing {

namespace fs = std::filesystem;
using Qarn::mcp::VMCPJsonValue;

inline VMCPJsonValue StringArray(const std::vector<std::string>& strings) {
  auto array = VMCPJsonValue::MakeArray();
  for (const auto& s : strings) array.push_back(VMCPJsonValue(s));
  return array;
}

inline VMCPJsonValue RunArgs(const std::string& name, const std::vector<std::string>& files) {
  auto args = VMCPJsonValue::MakeObject();
  args["name"] = name;
  args["files"] = StringArray(files);
  return args;
}

inline VMCPJsonValue RealRunArgs(const std::string& name, const std::vector<std::string>& files,
                                 const std::string& outputPath, const std::string& arguments = "") {
  auto args = RunArgs(name, files);
  args["output_path"] = outputPath;
  if (!arguments.empty()) args["arguments"] = arguments;
  args["preview"] = false;
  return args;
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

// Each test gets its own directory under the system's temporary directory
// and leaves the process working directory as it found it.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startDir_ = fs::current_path();
    static std::atomic<int> counter{0};
    const auto tag = std::to_string(std::random_device{}()) + "_" + std::to_string(++counter);
    root_ = fs::temp_directory_path() / ("dravo_conversion_" + tag);
    ASSERT_TRUE(fs::create_directories(root_));
    root_ = fs::canonical(root_);
  }
  void TearDown() override {
    fs::current_path(startDir_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  const fs::path& startDir() const { return startDir_; }
  const fs::path& root() const { return root_; }
  fs::path makeDir(const std::string& name) const {
    fs::create_directories(root_ / name);
    return root_ / name;
  }

  RegisteredObjects registry;

 private:
  fs::path startDir_;
  fs::path root_;
};

}  // namespace dravo::testing
