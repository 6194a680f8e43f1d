// Throw-away directory trees for the benchmarks.
#pragma once

#include <filesystem>
#include <string>

namespace dravo::bench {

// A new empty directory under the system's temporary directory; removed
// with everything in it when the object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix);
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();

  const std::filesystem::path& path() const { return path_; }
  std::string utf8() const;

 private:
  std::filesystem::path path_;
};

struct TreeShape {
  int directories = 2000;
  int filesPerDirectory = 10;
  int fanOut = 6;          // subdirectories per directory, filled breadth first
  int disabledEvery = 41;  // every n-th file is named *.tolm~
};

struct TreeStats {
  int directories = 0;
  int files = 0;
  int deepestDirectory = 0;     // depth of the deepest directory; 0 is directly in the root
  int disabledWithinReach = 0;  // *.tolm~ files at depth 0 to 2
};

TreeStats BuildTree(const std::filesystem::path& root, const TreeShape& shape);

}  // namespace dravo::bench
