#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <dravo/mcp/nutrition/tools/contains_no_case.h>
#include <dravo/mcp/nutrition/tools/disabled_plugins.h>

#include "test_nutrition.h"

#include <brasko/executable_dir.h>
#include <brasko/testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;
using Qarn::mcp::VMCPJsonValue;
using Names = std::vector<std::string>;

const std::string kDisabledNote =
    "Some plugins are disabled by a previous load failure (renamed to *.tolm~). A nutrition you "
    "expect may be missing for that reason rather than being uninstalled - see the 'disabled' "
    "list. A stale bcrypt.dll/secur32.dll copy is a common cause of such load failures.";
const std::string kEmptyNote =
    "No nutritions are registered. If the running application did not load its converter "
    "plugins, there is nothing to list.";
const std::string kNoMatchNote =
    "Nothing matched. Call it again without a filter/extension to see everything there is.";

std::string utf8(const fs::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

// A fresh directory that getExecutableDir reports, and the registry guard.
class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_);
    Brasko::testing::setExecutableDirOverride(utf8(root_));
  }
  void TearDown() override {
    Brasko::testing::setExecutableDirOverride(std::nullopt);
    std::error_code ignored;
    fs::permissions(root_ / "locked", fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }
  fs::path file(const fs::path& relative) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << "x";
    return root_ / relative;
  }
  static Names sortedScan() {  // the walk keeps the file system's order
    Names names;
    const auto found = dravo::nutrition::DisabledPlugins();
    for (const auto& name : found.asArray()) names.push_back(name.asString());
    std::sort(names.begin(), names.end());
    return names;
  }
  static VMCPJsonValue list(const std::string& filter, const std::string& extension) {
    auto arguments = VMCPJsonValue::MakeObject();
    if (!filter.empty()) arguments["filter"] = filter;
    if (extension != "-") arguments["extension"] = extension;  // "-": leave it out
    VMCPJsonValue result;
    EXPECT_TRUE(Qarn::VNutritionMCPTools().callTool("list_nutritions", arguments, {}, result));
    return result;
  }

  fs::path root_ = fs::temp_directory_path() / ("dravo-" + std::to_string(std::random_device{}()));
  dravo::testing::RegisteredObjects registry_;
};

TEST(ContainsNoCase, FoldsOnlyAsciiLetters) {
  const struct {
    std::string text, needle;
    bool found;
  } cases[] = {{"", "", true},
               {"MyABCReader", "abc", true},
               {"ab", "abc", false},
               {"a-b-c", "abc", false},
               {"[\\]^_`", "{|}~\x7f", false},
               {"@Z[", "z", true},
               {"\xC3\x84pfel", "\xC3\xA4pfel", false},
               {"\xC3\xA4pfel", "\xC3\xA4PFEL", true}};
  for (const auto& c : cases)
    EXPECT_EQ(dravo::nutrition::ContainsNoCase(c.text, c.needle), c.found) << c.text;
}

TEST_F(Catalogue, ScanReportsRegularTolmTildeFilesDownToDepthTwo) {
  for (const char* name : {"top.tolm~", "d/mid.tolm~", "d/d/low.tolm~", "d/d/d/deep.tolm~",
                           "dup/top.tolm~", "x.tolm.tolm~", ".tolm~", "a.TOLM~", "a.tolm",
                           "a.tolm~.bak", "atolm~", "dir.tolm~/in.tolm~", "real/target.bin"})
    file(name);
  std::error_code noLinks;  // some systems cannot make symbolic links at all
  fs::create_symlink(root_ / "real/target.bin", root_ / "link.tolm~", noLinks);
  if (!noLinks) {
    fs::create_symlink(root_ / "missing", root_ / "dangling.tolm~");
    fs::create_directory_symlink(root_ / "d", root_ / "dirlink.tolm~");  // not followed
  }
  Names expected{"in.tolm~", "low.tolm~", "mid.tolm~", "top.tolm~", "top.tolm~", "x.tolm.tolm~"};
  if (!noLinks) expected.insert(expected.begin() + 1, "link.tolm~");
  EXPECT_EQ(sortedScan(), expected);
}

TEST_F(Catalogue, ScanSkipsUnreadableDirectories) {
  file("a.tolm~");
  file("locked/hidden.tolm~");
  fs::permissions(root_ / "locked", fs::perms::none);
  std::error_code denied;
  fs::directory_iterator probe(root_ / "locked", denied);
  if (!denied) GTEST_SKIP() << "this user is not held back by permissions";
  EXPECT_EQ(sortedScan(), (Names{"a.tolm~"}));
}

TEST_F(Catalogue, ScanOfAnUnwalkableDirectoryIsEmpty) {
  for (const std::string& where : {utf8(root_ / "absent"), utf8(file("f.tolm~")), std::string()}) {
    Brasko::testing::setExecutableDirOverride(where);
    EXPECT_EQ(dravo::nutrition::DisabledPlugins(), VMCPJsonValue::MakeArray()) << where;
  }
}

TEST_F(Catalogue, FilterAndExtensionSelectInRegistryOrder) {
  const struct {
    const char *name, *description, *genre, *extension;
  } nutritions[] = {{"zMyABCReader", "", "", "las"}, {"Described", "reads aBc", "", "LAS"},
                    {"Genred", "", "Abc", ".las"},   {"ExtOnly", "", "", "abc"},
                    {"\xC3\x84rger", "", "", "las"}, {"\xC3\xA4rgerlich", "", "", "xyz"}};
  for (const auto& n : nutritions) {
    auto added = registry_.add(n.name);
    added->description = n.description;
    if (*n.genre) added->genres = {n.genre};
    added->addExtension(n.extension);
    added->outputExtensions = {"abc"};
  }
  registry_.add("Gone")->retire();
  const struct {
    std::string filter, extension;
    Names listed;
  } cases[] = {
      {"",
       "-",
       {"zMyABCReader", "Described", "Genred", "ExtOnly", "\xC3\x84rger", "\xC3\xA4rgerlich"}},
      {"abc", "", {"zMyABCReader", "Described", "Genred"}},
      {"", "las", {"zMyABCReader", "\xC3\x84rger"}},
      {"abc", "las", {"zMyABCReader"}},
      {"\xC3\xA4RGER", "-", {"\xC3\xA4rgerlich"}},
  };
  for (const auto& c : cases) {
    const auto result = list(c.filter, c.extension);
    Names names;
    for (const auto& record : result["nutritions"].asArray())
      names.push_back(record["name"].asString());
    EXPECT_EQ(names, c.listed) << c.filter << '/' << c.extension;
    EXPECT_EQ(result["count"], VMCPJsonValue(int(names.size())));
    EXPECT_EQ(result.keys(), (Names{"success", "count", "nutritions"}));
  }
}

TEST_F(Catalogue, NotesAndTheirPrecedence) {
  EXPECT_EQ(list("", "-").dump(),
            R"({"success":true,"count":0,"nutritions":[],"note":")" + kEmptyNote + R"("})");
  EXPECT_EQ(list("", "")["note"].asString(), kEmptyNote);  // empty equals omitted
  EXPECT_EQ(list("x", "-")["note"].asString(), kNoMatchNote);
  EXPECT_EQ(list("", "x")["note"].asString(), kNoMatchNote);
  registry_.add("Reader");
  EXPECT_EQ(list("x", "")["note"].asString(), kNoMatchNote);
  file("sub/broken.tolm~");
  for (const auto& [filter, extension] : {std::pair{"", "-"}, std::pair{"x", "-"}}) {
    const auto result = list(filter, extension);
    EXPECT_EQ(result.keys(), (Names{"success", "count", "nutritions", "disabled", "note"}));
    EXPECT_EQ(result["disabled"], VMCPJsonValue::Parse(R"(["broken.tolm~"])"));
    EXPECT_EQ(result["note"].asString(), kDisabledNote);
  }
}

}  // namespace
