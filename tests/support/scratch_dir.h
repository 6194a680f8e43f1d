// A fresh directory under the system's temporary one, removed with the
// object. Its name is random: parallel runs (several presets, several
// checkouts) never share one.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace dravo::testing {

struct ScratchDir {
  ScratchDir() { std::filesystem::create_directories(path); }
  ScratchDir(const ScratchDir&) = delete;
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }

  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("dravo_" + std::to_string(std::random_device()()) + std::to_string(std::random_device()()));
};

}  // namespace dravo::testing
