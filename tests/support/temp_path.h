// Temporary paths that parallel test runs (several presets, several
// checkouts) never share.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace dravo::testing {

inline std::filesystem::path UniqueTempPath(const std::string& label) {
  std::random_device random;
  return std::filesystem::temp_directory_path() /
         ("dravo_" + label + "_" + std::to_string(random()) + std::to_string(random()));
}

}  // namespace dravo::testing
