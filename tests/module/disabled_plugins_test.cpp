#include "tools/disabled_plugins.h"

#include <brasko/executable_dir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dravo::nutrition::DisabledPlugins;

std::string utf8(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A fresh directory that the scan takes for the executable directory.
class ScanRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() / ("dravo-disabled-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_);
    Brasko::setExecutableDirOverride(utf8(root_));
  }
  void TearDown() override {
    Brasko::setExecutableDirOverride(std::nullopt);
    std::error_code ignored;
    for (const auto& locked : locked_) fs::permissions(locked, fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  fs::path file(const fs::path& relative) {
    const auto path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path;
  }
  fs::path dir(const fs::path& relative) {
    fs::create_directories(root_ / relative);
    return root_ / relative;
  }
  void lock(const fs::path& directory) {
    fs::permissions(directory, fs::perms::none);
    locked_.push_back(directory);
  }

  static std::vector<std::string> sortedScan() {
    const auto found = DisabledPlugins();
    EXPECT_TRUE(found.isArray());
    std::vector<std::string> names;
    for (const auto& name : found.asArray()) names.push_back(name.asString());
    std::sort(names.begin(), names.end());  // the walk keeps the file system's order
    return names;
  }

  fs::path root_;
  std::vector<fs::path> locked_;
};

using Names = std::vector<std::string>;

TEST_F(ScanRoot, ReportsDepthsZeroToTwoButNotThree) {
  file("top.tolm~");
  file("one/mid.tolm~");
  file("one/two/low.tolm~");
  file("one/two/three/deep.tolm~");
  file("one/two/three/four/deeper.tolm~");
  EXPECT_EQ(sortedScan(), (Names{"low.tolm~", "mid.tolm~", "top.tolm~"}));
}

TEST_F(ScanRoot, MatchesOnlyTheExactSuffixAfterAtLeastOneByte) {
  for (const char* name :
       {".tolm~", "a.TOLM~", "a.tolm", "a.tolm~.bak", "atolm~", "a.Tolm~", "a.tolm~ ", "a.tolm-"})
    file(name);
  file("a.tolm~");
  file("x.tolm.tolm~");
  EXPECT_EQ(sortedScan(), (Names{"a.tolm~", "x.tolm.tolm~"}));
}

TEST_F(ScanRoot, OnlyRegularFilesCountAfterFollowingLinks) {
  dir("folder.tolm~");
  file("folder.tolm~/inside.tolm~");  // the directory is walked, just not reported
  const auto target = file("target.bin");
  fs::create_symlink(target, root_ / "linked.tolm~");
  fs::create_symlink(root_ / "missing.bin", root_ / "dangling.tolm~");
  fs::create_directory_symlink(root_ / "folder.tolm~", root_ / "dirlink.tolm~");
  EXPECT_EQ(sortedScan(), (Names{"inside.tolm~", "linked.tolm~"}));
}

TEST_F(ScanRoot, DirectorySymlinksAreNotFollowed) {
  file("real/once.tolm~");
  fs::create_directory_symlink(root_ / "real", root_ / "alias");
  EXPECT_EQ(sortedScan(), (Names{"once.tolm~"}));
}

TEST_F(ScanRoot, SameNameInTwoDirectoriesIsReportedTwice) {
  file("same.tolm~");
  file("sub/same.tolm~");
  EXPECT_EQ(sortedScan(), (Names{"same.tolm~", "same.tolm~"}));
}

TEST_F(ScanRoot, UnreadableDirectoryIsSkippedAndTheRestFound) {
  file("a/before.tolm~");
  file("z/after.tolm~");
  file("locked/hidden.tolm~");
  lock(root_ / "locked");
  std::error_code openError;
  fs::directory_iterator probe(root_ / "locked", openError);
  if (!openError) GTEST_SKIP() << "permissions are not enforced for this user";
  EXPECT_EQ(sortedScan(), (Names{"after.tolm~", "before.tolm~"}));
}

TEST_F(ScanRoot, UnwalkableExecutableDirectoryGivesEmptyArray) {
  const auto plain = file("plain.tolm~");
  for (const std::string& where : {utf8(root_ / "absent"), utf8(plain), std::string()}) {
    Brasko::setExecutableDirOverride(where);
    const auto found = DisabledPlugins();
    EXPECT_TRUE(found.isArray()) << where;
    EXPECT_EQ(found.size(), 0u) << where;
  }
}

}  // namespace
