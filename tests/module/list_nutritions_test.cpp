#include "nutrition_mcp_tools.h"
#include "tools/contains_no_case.h"

#include "test_nutrition.h"

#include <brasko/executable_dir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dravo::nutrition::ContainsNoCase;
using Qarn::mcp::VMCPJsonValue;
using Names = std::vector<std::string>;

const std::string kDisabledNote =
    "Some plugins are disabled by a previous load failure (renamed to *.tolm~). A nutrition you "
    "expect may be missing for that reason rather than being uninstalled - see the 'disabled' "
    "list. A stale bcrypt.dll/secur32.dll copy is a common cause of such load failures.";
const std::string kEmptyRegistryNote =
    "No nutritions are registered. If the running application did not load its converter "
    "plugins, there is nothing to list.";
const std::string kNoMatchNote =
    "Nothing matched. Call it again without a filter/extension to see everything there is.";

TEST(ContainsNoCase, FoldsOnlyAsciiLetters) {
  struct Case {
    std::string text, needle;
    bool found;
  } cases[] = {
      {"", "", true},
      {"anything", "", true},
      {"", "a", false},
      {"MyABCReader", "abc", true},
      {"abc", "ABC", true},
      {"ab", "abc", false},
      {"a-b-c", "abc", false},
      {"[\\]^_`", "{|}~\x7f", false},  // the bytes beside A-Z and a-z do not fold
      {"@Z[", "z", true},
      {"\xC3\x84pfel", "\xC3\xA4pfel", false},  // Ä and ä are different bytes
      {"\xC3\xA4pfel", "\xC3\xA4PFEL", true},   // yet the ASCII around them folds
      {"x\xC3\xA4y", "\xC3\xA4", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ContainsNoCase(c.text, c.needle), c.found)
        << '"' << c.text << "\" / \"" << c.needle << '"';
}

// Points the disabled scan at a directory of the test's own.
class ListNutritions : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("dravo-list-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_);
    const auto text = root_.u8string();
    Brasko::setExecutableDirOverride(std::string(text.begin(), text.end()));
  }
  void TearDown() override {
    Brasko::setExecutableDirOverride(std::nullopt);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void disable(const std::string& name) { std::ofstream(root_ / name) << "x"; }

  static VMCPJsonValue list(const std::string& filter = "", const std::string& extension = "",
                            bool passArguments = true) {
    auto arguments = VMCPJsonValue::MakeObject();
    if (passArguments) {
      arguments["filter"] = filter;
      arguments["extension"] = extension;
    }
    Qarn::VNutritionMCPTools tools;
    VMCPJsonValue result;
    EXPECT_TRUE(tools.callTool("list_nutritions", arguments, {}, result));
    return result;
  }

  static Names namesOf(const VMCPJsonValue& result) {
    Names names;
    for (const auto& record : result["nutritions"].asArray())
      names.push_back(record["name"].asString());
    EXPECT_EQ(result["count"], VMCPJsonValue(int(names.size())));
    return names;
  }

  dravo::testing::RegisteredObjects registry_;
  fs::path root_;
};

TEST_F(ListNutritions, EmptyRegistryGivesItsNoteWithEveryMemberInOrder) {
  for (bool passEmptyStrings : {false, true}) {
    const auto result = list("", "", passEmptyStrings);
    EXPECT_EQ(result.dump(), R"({"success":true,"count":0,"nutritions":[],"note":")" +
                                 kEmptyRegistryNote + R"("})");
  }
}

TEST_F(ListNutritions, NothingMatchingGivesTheNoMatchNote) {
  for (const auto& [filter, extension] :
       std::vector<std::pair<std::string, std::string>>{{"zzz", ""}, {"", "zzz"}, {"a", "b"}}) {
    EXPECT_EQ(list(filter, extension)["note"].asString(), kNoMatchNote) << "empty registry";
  }
  registry_.add("Reader")->addExtension("las");
  const auto result = list("", "laz");
  EXPECT_EQ(result["count"], VMCPJsonValue(0));
  EXPECT_EQ(result["note"].asString(), kNoMatchNote);
  EXPECT_FALSE(result.has("disabled"));
}

TEST_F(ListNutritions, ListingWithoutDisabledFilesHasNoNote) {
  registry_.add("Reader");
  const auto result = list();
  EXPECT_EQ(result.keys(), (Names{"success", "count", "nutritions"}));
  EXPECT_EQ(result["nutritions"].asArray()[0].keys(),
            (Names{"name", "description", "extensions", "output_extensions", "genres"}));
}

TEST_F(ListNutritions, KeepsTheRegistryOrderAndSkipsOtherObjects) {
  registry_.add("zeta");
  registry_.add("Alpha");
  registry_.add("mid")->retire();
  registry_.add("beta");
  EXPECT_EQ(namesOf(list()), (Names{"zeta", "Alpha", "beta"}));
}

TEST_F(ListNutritions, FilterSearchesNameDescriptionAndGenresButNeverExtensions) {
  registry_.add("MyABCReader");
  registry_.add("Described")->description = "reads xaBcx files";
  registry_.add("Genred")->genres = {"Point cloud", "Abc"};
  auto extOnly = registry_.add("ExtensionOnly");
  extOnly->addExtension("abc");
  extOnly->outputExtensions = {"abc"};
  registry_.add("Unrelated")->description = "a b c";
  EXPECT_EQ(namesOf(list("abc")), (Names{"MyABCReader", "Described", "Genred"}));
}

TEST_F(ListNutritions, FilterDoesNotFoldNonAsciiLetters) {
  registry_.add("\xC3\x84rger");      // Ärger
  registry_.add("\xC3\xA4rgerlich");  // ärgerlich
  EXPECT_EQ(namesOf(list("\xC3\xA4RGER")), (Names{"\xC3\xA4rgerlich"}));
}

TEST_F(ListNutritions, ExtensionMatchesExactlyAndCombinesWithTheFilter) {
  auto withExtension = [&](const char* name, std::vector<std::string> extensions) {
    auto n = registry_.add(name);
    for (auto& e : extensions) n->addExtension(e);
  };
  withExtension("Las Reader", {"laz", "las"});
  withExtension("Upper LAS", {"LAS"});
  withExtension("Dotted las", {".las"});
  withExtension("Las Writer", {"xyz"});
  withExtension("Other", {"las"});
  EXPECT_EQ(namesOf(list("", "las")), (Names{"Las Reader", "Other"}));
  EXPECT_EQ(namesOf(list("las", "las")), (Names{"Las Reader"}));
  EXPECT_EQ(namesOf(list("LAS", "")),
            (Names{"Las Reader", "Upper LAS", "Dotted las", "Las Writer"}));
}

TEST_F(ListNutritions, DisabledFilesBringTheirNoteWhateverWasListed) {
  disable("broken.tolm~");
  auto expectDisabled = [&](const VMCPJsonValue& result) {
    EXPECT_EQ(result["disabled"], VMCPJsonValue::Parse(R"(["broken.tolm~"])"));
    EXPECT_EQ(result["note"].asString(), kDisabledNote);
    EXPECT_EQ(result.keys(), (Names{"success", "count", "nutritions", "disabled", "note"}));
  };
  expectDisabled(list());  // empty registry
  registry_.add("Reader");
  expectDisabled(list());           // something listed
  expectDisabled(list("nomatch"));  // nothing matched
}

}  // namespace
