#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <dravo/mcp/nutrition/tools/error_result.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Qarn::mcp::VMCPJsonValue;

std::vector<std::string> stringsOf(const VMCPJsonValue& array) {
  std::vector<std::string> out;
  for (const auto& e : array.asArray()) out.push_back(e.asString());
  return out;
}

TEST(DeclareTools, AppendsFourToolsInCatalogueOrderAfterExistingEntries) {
  Qarn::VNutritionMCPTools tools;
  auto array = VMCPJsonValue::MakeArray();
  array.push_back(VMCPJsonValue("already there"));
  tools.declareTools(array);
  ASSERT_EQ(array.size(), 5u);
  EXPECT_EQ(array.asArray()[0].asString(), "already there");
  std::vector<std::string> names;
  for (std::size_t i = 1; i < 5; ++i) names.push_back(array.asArray()[i]["name"].asString());
  EXPECT_EQ(names, (std::vector<std::string>{"list_nutritions", "describe_nutrition",
                                             "analyse_nutrition", "run_nutrition"}));
}

TEST(DeclareTools, SchemasCarryExactPropertiesAndRequiredLists) {
  Qarn::VNutritionMCPTools tools;
  auto array = VMCPJsonValue::MakeArray();
  tools.declareTools(array);
  const auto& list = array.asArray();
  struct Expect {
    std::vector<std::string> properties, required;
  } expected[] = {
      {{"filter", "extension"}, {}},
      {{"name"}, {"name"}},
      {{"name", "files"}, {"name", "files"}},
      {{"name", "files", "output_path", "arguments", "preview"}, {"name", "files"}},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    const auto& schema = list[i]["inputSchema"];
    EXPECT_EQ(schema["type"].asString(), "object");
    EXPECT_EQ(schema["properties"].keys(), expected[i].properties) << i;
    EXPECT_EQ(stringsOf(schema["required"]), expected[i].required) << i;
    EXPECT_TRUE(schema["required"].isArray());
  }
  const std::string nameHelp = "The nutrition's name, exactly as list_nutritions gives it.";
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(list[i]["inputSchema"]["properties"]["name"]["description"].asString(), nameHelp);
  const auto& run = list[3]["inputSchema"]["properties"];
  EXPECT_EQ(run["files"]["type"].asString(), "array");
  EXPECT_EQ(run["files"]["items"]["type"].asString(), "string");
  EXPECT_EQ(run["preview"]["type"].asString(), "boolean");
  EXPECT_FALSE(run["preview"].has("default"));
  EXPECT_EQ(list[2]["description"].asString(),
            "Inspect input files with a nutrition without converting anything: a quick "
            "filename-level summary, a deeper analysis that opens the files, and whether each "
            "file is one this nutrition can handle. Reads only; writes nothing.");
  EXPECT_EQ(list[0]["inputSchema"]["properties"]["extension"]["description"].asString(),
            "Only list nutritions registered for this input file extension (no dot, e.g. "
            "\"las\" or \"sdc\"). Omit for all.");
}

TEST(CallTool, MatchesOnlyTheWholeExactName) {
  Qarn::VNutritionMCPTools tools;
  const auto arguments = VMCPJsonValue::MakeObject();
  for (const char* name : {"List_nutritions", "LIST_NUTRITIONS", " list_nutritions",
                           "list_nutritions ", "run", "run_nutritions", "", "describe"}) {
    VMCPJsonValue result = 42;
    EXPECT_FALSE(tools.callTool(name, arguments, {}, result)) << '"' << name << '"';
    EXPECT_EQ(result, VMCPJsonValue(42)) << name;
  }
  for (const char* name :
       {"list_nutritions", "describe_nutrition", "analyse_nutrition", "run_nutrition"}) {
    VMCPJsonValue result = 42;
    EXPECT_TRUE(tools.callTool(name, arguments, {}, result)) << name;
    EXPECT_TRUE(result.isObject()) << name;
    EXPECT_TRUE(result.has("success")) << name;
  }
}

TEST(ErrorResult, HasExactlySuccessFalseAndTheMessage) {
  const auto result = dravo::nutrition::ErrorResult("Say \"what\".");
  EXPECT_EQ(result.keys(), (std::vector<std::string>{"success", "error"}));
  EXPECT_EQ(result["success"], VMCPJsonValue(false));
  EXPECT_EQ(result["error"].asString(), "Say \"what\".");
  EXPECT_EQ(result.dump(), R"({"success":false,"error":"Say \"what\"."})");
}

}  // namespace
