#include "scratch_tree.h"

#include <deque>
#include <fstream>
#include <random>
#include <utility>

namespace dravo::bench {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& prefix)
    : path_(fs::temp_directory_path() / (prefix + std::to_string(std::random_device{}()))) {
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::utf8() const {
  const auto text = path_.u8string();
  return std::string(text.begin(), text.end());
}

namespace {

void Fill(const fs::path& directory, int depth, const TreeShape& shape, TreeStats& stats) {
  for (int i = 0; i < shape.filesPerDirectory; ++i) {
    const bool disabled = ++stats.files % shape.disabledEvery == 0;
    const auto name = "file" + std::to_string(i) + (disabled ? ".tolm~" : ".dat");
    std::ofstream(directory / name) << "x";
    if (disabled && depth <= 2) ++stats.disabledWithinReach;
  }
}

}  // namespace

TreeStats BuildTree(const fs::path& root, const TreeShape& shape) {
  TreeStats stats;
  Fill(root, 0, shape, stats);
  // Breadth first, so every level fills before the next starts.
  std::deque<std::pair<fs::path, int>> pending{{root, -1}};
  while (stats.directories < shape.directories && !pending.empty()) {
    auto [parent, parentDepth] = pending.front();
    pending.pop_front();
    for (int i = 0; i < shape.fanOut && stats.directories < shape.directories; ++i) {
      const auto child = parent / ("dir" + std::to_string(i));
      fs::create_directory(child);
      ++stats.directories;
      stats.deepestDirectory = std::max(stats.deepestDirectory, parentDepth + 1);
      Fill(child, parentDepth + 2, shape, stats);
      pending.emplace_back(child, parentDepth + 1);
    }
  }
  return stats;
}

}  // namespace dravo::bench
