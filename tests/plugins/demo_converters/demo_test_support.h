// Helpers for the demo converter tests: sample paths and a scratch directory.
#pragma once

#include "temp_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dravo::demo::testing {

namespace fs = std::filesystem;

inline std::string Sample(const std::string& name) {
  return (fs::path(DRAVO_SAMPLES_DIR) / name).string();
}

class ScratchDir {
 public:
  ScratchDir() { fs::create_directories(path_); }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string str() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> names() const {  // sorted
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_ = dravo::testing::UniqueTempPath("demo");
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace dravo::demo::testing
