#include "nutrition_mcp_tools.h"

#include "test_nutrition.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Qarn::VParameter;
using Qarn::mcp::VMCPJsonValue;

VMCPJsonValue describeWith(const VMCPJsonValue& arguments) {
  Qarn::VNutritionMCPTools tools;
  VMCPJsonValue result;
  EXPECT_TRUE(tools.callTool("describe_nutrition", arguments, {}, result));
  return result;
}

VMCPJsonValue describe(const std::string& name) {
  auto arguments = VMCPJsonValue::MakeObject();
  arguments["name"] = name;
  return describeWith(arguments);
}

TEST(DescribeNutrition, LookupFailuresCarryTheListHint) {
  dravo::testing::RegisteredObjects registry;
  registry.add("Las Reader");
  const std::string sayWhich =
      R"({"success":false,"error":"Say which nutrition, by the name list_nutritions gives it."})";
  EXPECT_EQ(describeWith(VMCPJsonValue::MakeObject()).dump(), sayWhich);
  EXPECT_EQ(describe("").dump(), sayWhich);
  EXPECT_EQ(describe("las reader").dump(),
            R"({"success":false,"error":"There is no nutrition called \"las reader\". )"
            R"(list_nutritions says what there is."})");
  EXPECT_EQ(describe("Las Reader ")["error"].asString(),
            "There is no nutrition called \"Las Reader \". list_nutritions says what there is.");
}

TEST(DescribeNutrition, ListsEverySlotWithItsValueTextAndTheScripts) {
  dravo::testing::RegisteredObjects registry;
  auto n = registry.add("Tiler");
  n->description = "Cuts <b>tiles</b>";
  n->addExtension("las");
  n->addExtension("LAZ");
  n->addExtension("las");
  n->outputExtensions = {"tif", "las"};
  n->genres = {"raster", "Points"};
  n->addInput("Scale", "Scale factor", VParameter::MakeFloat(0.25));
  n->addInput("Count", "How many", VParameter::MakeInteger(-3));
  n->addInput("Enabled", "On or off", VParameter::MakeBool(true));
  n->addInput("Mode", "Which way", VParameter::MakeChoice({"fast", "exact"}, 1));
  n->addInput("TileLength", "x;y;z", VParameter::MakeVector3({250, 250, 0}));
  n->addInput("Label", "Free text", VParameter::MakeString("a; b"));
  n->addInput("Group", "A heading, no value", {});
  auto gone = VParameter::MakeInteger(9);
  n->addInput("Gone", "Its parameter was retired", gone);
  gone->retire();
  n->outputScripts[7] = {"zeta", "Shown last"};
  n->outputScripts[2] = {"alpha", "Shown first"};

  const auto result = describe("Tiler");
  EXPECT_EQ(result.keys(), (std::vector<std::string>{"success", "name", "description", "extensions",
                                                     "output_extensions", "genres", "parameters",
                                                     "output_scripts"}));
  EXPECT_EQ(result, VMCPJsonValue::Parse(R"({
    "success": true, "name": "Tiler", "description": "Cuts <b>tiles</b>",
    "extensions": ["las", "LAZ", "las"], "output_extensions": ["las", "tif"],
    "genres": ["Points", "raster"],
    "parameters": [
      {"name": "Scale", "help": "Scale factor", "value": "0.25"},
      {"name": "Count", "help": "How many", "value": "-3"},
      {"name": "Enabled", "help": "On or off", "value": "true"},
      {"name": "Mode", "help": "Which way", "value": "exact"},
      {"name": "TileLength", "help": "x;y;z", "value": "250;250;0"},
      {"name": "Label", "help": "Free text", "value": "a; b"},
      {"name": "Group", "help": "A heading, no value", "value": ""},
      {"name": "Gone", "help": "Its parameter was retired", "value": ""}],
    "output_scripts": [
      {"id": 2, "shortname": "alpha", "description": "Shown first"},
      {"id": 7, "shortname": "zeta", "description": "Shown last"}]})"));
  EXPECT_EQ(result["parameters"].asArray()[0].keys(),
            (std::vector<std::string>{"name", "help", "value"}));
  EXPECT_EQ(result["output_scripts"].asArray()[0].keys(),
            (std::vector<std::string>{"id", "shortname", "description"}));
}

TEST(DescribeNutrition, BareNutritionHasEmptyParametersAndNoScriptsKey) {
  dravo::testing::RegisteredObjects registry;
  registry.add("Bare");
  EXPECT_EQ(describe("Bare").dump(),
            R"({"success":true,"name":"Bare","description":"","extensions":[],)"
            R"("output_extensions":[],"genres":[],"parameters":[]})");
}

TEST(DescribeNutrition, ValueTextIsTheCurrentValue) {
  dravo::testing::RegisteredObjects registry;
  auto n = registry.add("Live");
  auto count = VParameter::MakeInteger(1);
  n->addInput("Count", "", count);
  ASSERT_TRUE(count->setValueFromText("42", {}, "", false, {}, nullptr, nullptr));
  EXPECT_EQ(describe("Live")["parameters"].asArray()[0]["value"].asString(), "42");
}

}  // namespace
