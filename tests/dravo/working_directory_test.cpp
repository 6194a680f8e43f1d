#include <dravo/mcp/nutrition/tools/working_directory.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using dravo::nutrition::ChangeWorkingDirectory;

class WorkingDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Unique per run: other builds of this suite may run at the same time.
    root_ = fs::temp_directory_path() / (std::string("dravo_wd_") + info->name() + "_" +
                                         std::to_string(std::random_device{}()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    std::ofstream(root_ / "plain.txt") << "not a directory";
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
  }
  fs::path saved_;
  fs::path root_;
};

TEST_F(WorkingDirectory, ChangesIntoAnExistingDirectory) {
  EXPECT_FALSE(ChangeWorkingDirectory(root_ / "out"));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root_ / "out"));
}

TEST_F(WorkingDirectory, RelativePathIsTakenFromTheCurrentDirectory) {
  fs::current_path(root_);
  EXPECT_FALSE(ChangeWorkingDirectory("out"));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root_ / "out"));
}

TEST_F(WorkingDirectory, MissingDirectoryIsASystemErrorAndChangesNothing) {
  fs::current_path(root_);
  const auto error = ChangeWorkingDirectory(root_ / "missing" / "deeper");
  ASSERT_TRUE(error);
  EXPECT_EQ(error.category(), std::system_category());
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root_));
  // The system's own code, not the C runtime's errno value.
#if defined(_WIN32)
  EXPECT_EQ(error.value(), ERROR_PATH_NOT_FOUND);
#else
  EXPECT_EQ(error.value(), ENOENT);
#endif
}

TEST_F(WorkingDirectory, RegularFileIsNotADirectory) {
  fs::current_path(root_);
  const auto error = ChangeWorkingDirectory(root_ / "plain.txt");
  ASSERT_TRUE(error);
  EXPECT_EQ(error.category(), std::system_category());
  EXPECT_TRUE(fs::equivalent(fs::current_path(), root_));
#if defined(_WIN32)
  EXPECT_EQ(error.value(), ERROR_DIRECTORY);
#else
  EXPECT_EQ(error.value(), ENOTDIR);
#endif
}

#if defined(_WIN32)
// Paths reach the module as UTF-8 text; on Windows making a wide path of
// text that is not UTF-8 must raise, not produce a mangled name.
TEST(PathConversion, InvalidUtf8RaisesTheConversionError) {
  const std::u8string text = u8"out" + std::u8string(1, char8_t(0xff));
  try {
    const fs::path path(text);
    FAIL() << "converted to " << path.string();
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("Cannot convert character sequence"),
              std::string::npos)
        << error.what();
  }
}

TEST(PathConversion, Utf8BecomesTheSameWideName) {
  const fs::path path(std::u8string(u8"caf\u00e9/\u6587"));
  EXPECT_EQ(path.wstring(), L"caf\u00e9/\u6587");
  EXPECT_EQ(path.u8string(), u8"caf\u00e9/\u6587");
}
#endif

}  // namespace
