#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>

#include "test_nutrition.h"

#include <gtest/gtest.h>

namespace {

using Qarn::VParameter;
using Qarn::mcp::VMCPJsonValue;

VMCPJsonValue describe(const char* name) {
  auto arguments = VMCPJsonValue::MakeObject();
  if (name) arguments["name"] = name;
  VMCPJsonValue result;
  EXPECT_TRUE(Qarn::VNutritionMCPTools().callTool("describe_nutrition", arguments, {}, result));
  return result;
}

TEST(DescribeNutrition, LookupFailuresCarryTheListHint) {
  dravo::testing::RegisteredObjects registry;
  registry.add("Las Reader");
  const auto sayWhich = "Say which nutrition, by the name list_nutritions gives it.";
  EXPECT_EQ(describe(nullptr)["error"].asString(), sayWhich);
  EXPECT_EQ(describe("")["error"].asString(), sayWhich);
  EXPECT_EQ(describe("las reader ").dump(),
            R"({"success":false,"error":"There is no nutrition called \"las reader \". )"
            R"(list_nutritions says what there is."})");
}

TEST(DescribeNutrition, ListsEverySlotWithItsValueTextAndTheScripts) {
  dravo::testing::RegisteredObjects registry;
  auto n = registry.add("Tiler");
  n->description = "Cuts <b>tiles</b>";
  for (const char* e : {"las", "LAZ", "las"}) n->addExtension(e);
  n->outputExtensions = {"tif", "las"};
  n->genres = {"raster", "Points"};
  auto count = VParameter::MakeInteger(-3);
  n->addInput("Scale", "Scale factor", VParameter::MakeFloat(0.25));
  n->addInput("Count", "How many", count);
  n->addInput("Mode", "Which way", VParameter::MakeChoice({"fast", "exact"}, 1));
  n->addInput("TileLength", "x;y;z", VParameter::MakeVector3({250, 250, 0}));
  n->addInput("Group", "A heading, no value", {});
  auto gone = VParameter::MakeBool(true);
  n->addInput("Gone", "Retired parameter", gone);
  gone->retire();
  n->outputScripts[7] = {"zeta", "Shown last"};
  n->outputScripts[2] = {"alpha", "Shown first"};
  ASSERT_TRUE(count->setValueFromText("42", {}, "", false, {}, nullptr, nullptr));

  const auto result = describe("Tiler");
  EXPECT_EQ(result.keys(), (std::vector<std::string>{"success", "name", "description", "extensions",
                                                     "output_extensions", "genres", "parameters",
                                                     "output_scripts"}));
  EXPECT_EQ(result.dump(),
            VMCPJsonValue::Parse(R"({
    "success": true, "name": "Tiler", "description": "Cuts <b>tiles</b>",
    "extensions": ["las", "LAZ", "las"], "output_extensions": ["las", "tif"],
    "genres": ["Points", "raster"],
    "parameters": [
      {"name": "Scale", "help": "Scale factor", "value": "0.25"},
      {"name": "Count", "help": "How many", "value": "42"},
      {"name": "Mode", "help": "Which way", "value": "exact"},
      {"name": "TileLength", "help": "x;y;z", "value": "250;250;0"},
      {"name": "Group", "help": "A heading, no value", "value": ""},
      {"name": "Gone", "help": "Retired parameter", "value": ""}],
    "output_scripts": [
      {"id": 2, "shortname": "alpha", "description": "Shown first"},
      {"id": 7, "shortname": "zeta", "description": "Shown last"}]})")
                .dump());  // dump() compares the key order too
}

TEST(DescribeNutrition, BareNutritionHasEmptyParametersAndNoScriptsKey) {
  dravo::testing::RegisteredObjects registry;
  registry.add("Bare");
  EXPECT_EQ(describe("Bare").dump(),
            R"({"success":true,"name":"Bare","description":"","extensions":[],)"
            R"("output_extensions":[],"genres":[],"parameters":[]})");
}

}  // namespace
