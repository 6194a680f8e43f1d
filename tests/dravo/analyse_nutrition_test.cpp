#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <dravo/mcp/nutrition/tools/tool_functions.h>
#include "conversion_fixture.h"

#include <stdexcept>

namespace {

using dravo::nutrition::ToolAnalyseNutrition;
using dravo::testing::NutritionMutexIsFree;
using dravo::testing::RunArgs;
using Qarn::mcp::VMCPJsonValue;

class AnalyseNutrition : public ::testing::Test {
 protected:
  void SetUp() override {
    nutrition->digestible = [this](const std::string& path) {
      calls.push_back("digestible " + path);
      return path.ends_with(".las");
    };
    nutrition->quickInfo = [this](const std::set<std::string>& files) {
      calls.push_back("quickinfo " + std::to_string(files.size()));
      return std::string("<b>3 files</b>\n");
    };
    nutrition->analysis = [this](const std::set<std::string>& files) {
      calls.push_back("analyse " + std::to_string(files.size()));
      if (thrower) thrower();
      return Qarn::VNutrition::AnalysisTexts{" <i>raw</i> log\n", "<p>Two points</p> &amp; more "};
    };
  }

  dravo::testing::RegisteredObjects registry;
  Brasko::StrongPtr<dravo::testing::TestNutrition> nutrition = registry.add("Las Reader");
  std::vector<std::string> calls;
  std::function<void()> thrower;
};

TEST_F(AnalyseNutrition, AsksInFixedOrderAndStripsOnlySummaryAndAnalysis) {
  const auto result = ToolAnalyseNutrition(RunArgs("Las Reader", {"b.las", "A.txt", "b.las"}));
  EXPECT_EQ(result.dump(), R"({"success":true,"name":"Las Reader","quickinfo":"3 files",)"
                           R"("analysis":"Two points &amp; more","log":" <i>raw</i> log\n",)"
                           R"("digestible":{"A.txt":false,"b.las":true}})");
  EXPECT_EQ(calls, (std::vector<std::string>{"digestible A.txt", "digestible b.las", "quickinfo 2",
                                             "analyse 2"}));
}

TEST_F(AnalyseNutrition, ArgumentChecksComeFirst) {
  struct Case {
    const char* json;
    const char* error;
  } cases[] = {
      {R"({"files":["a.las"]})", "Say which nutrition, by the name list_nutritions gives it."},
      {R"({"name":"Nope"})", "There is no nutrition called \"Nope\"."},
      {R"({"name":"Las Reader","files":[]})",
       "Give the input files to analyse, as a \"files\" array of paths."},
      {R"({"name":"Las Reader"})",
       "Give the input files to analyse, as a \"files\" array of paths."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToolAnalyseNutrition(VMCPJsonValue::Parse(c.json)).dump(),
              R"({"success":false,"error":)" + VMCPJsonValue(c.error).dump() + "}");
  EXPECT_TRUE(calls.empty());
}

TEST_F(AnalyseNutrition, ExceptionsBecomeFailuresAndFreeTheLock) {
  struct Case {
    std::function<void()> thrower;
    std::string error;
  } cases[] = {
      {[] { throw std::runtime_error("unreadable header"); }, "Analysis failed: unreadable header"},
      {[] { throw 7; }, "Analysis failed with an unknown error."},
  };
  for (const auto& c : cases) {
    thrower = c.thrower;
    EXPECT_EQ(ToolAnalyseNutrition(RunArgs("Las Reader", {"a.las"})).dump(),
              R"({"success":false,"error":)" + VMCPJsonValue(c.error).dump() + "}");
    EXPECT_TRUE(NutritionMutexIsFree());
  }
  thrower = nullptr;
  EXPECT_TRUE(ToolAnalyseNutrition(RunArgs("Las Reader", {"a.las"}))["success"].asBool(false));
}

TEST_F(AnalyseNutrition, ExceptionFromVerdictIsCaughtToo) {
  nutrition->digestible = [](const std::string&) -> bool { throw std::out_of_range("bad path"); };
  EXPECT_EQ(ToolAnalyseNutrition(RunArgs("Las Reader", {"a.las"}))["error"].asString(),
            "Analysis failed: bad path");
  EXPECT_TRUE(NutritionMutexIsFree());
}

TEST_F(AnalyseNutrition, AnswersThroughTheProvider) {
  Qarn::VNutritionMCPTools tools;
  auto result = VMCPJsonValue::MakeObject();
  ASSERT_TRUE(tools.callTool("analyse_nutrition", RunArgs("Las Reader", {"a.las"}), {}, result));
  EXPECT_EQ(result["quickinfo"].asString(), "3 files");
  ASSERT_TRUE(tools.callTool("run_nutrition", RunArgs("Las Reader", {"a.las"}), {}, result));
  EXPECT_TRUE(result["preview"].asBool(false));
}

}  // namespace
