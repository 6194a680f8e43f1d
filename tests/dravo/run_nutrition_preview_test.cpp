#include <dravo/mcp/nutrition/tools/tool_functions.h>
#include "conversion_fixture.h"

#include <stdexcept>

namespace {

using dravo::nutrition::ToolRunNutrition;
using dravo::testing::RunArgs;
using Qarn::mcp::VMCPJsonValue;
namespace fs = std::filesystem;

const char* kNote =
    "Nothing was written. These are the files this would produce; run again with preview=false "
    "to do it.";

class RunNutritionPreview : public dravo::testing::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    count->setValueFromText("1", {}, "", false, {}, nullptr, nullptr);
    nutrition->addInput("Count", "how many", count);
    nutrition->outputFiles = [this](std::set<std::string>& outputs, const std::string& outputDir,
                                    const std::set<std::string>& inputs) {
      seenInputs = inputs;
      seenOutputDir = outputDir;
      seenDirectory = fs::current_path();
      for (const auto& input : inputs) outputs.insert(input + ".out");
      outputs.insert("shared.out");
    };
    nutrition->conversion = [this](auto&&...) {
      converted = true;
      return std::string();
    };
  }

  Brasko::StrongPtr<dravo::testing::TestNutrition> nutrition = registry.add("Las Tiler");
  Brasko::StrongPtr<Qarn::VParameter> count = Qarn::VParameter::MakeInteger(1);
  std::set<std::string> seenInputs;
  std::string seenOutputDir = "(not called)";
  fs::path seenDirectory;
  bool converted = false;
};

TEST_F(RunNutritionPreview, FrontHalfChecksNameThenLookupThenFiles) {
  struct Case {
    const char* json;
    const char* error;
  } cases[] = {
      {R"({})", "Say which nutrition, by the name list_nutritions gives it."},
      {R"({"name":""})", "Say which nutrition, by the name list_nutritions gives it."},
      {R"({"name":"Nope"})", "There is no nutrition called \"Nope\"."},
      {R"({"name":"las tiler","files":["a.las"]})", "There is no nutrition called \"las tiler\"."},
      {R"({"name":"Las Tiler"})",
       "Give the input files to convert, as a \"files\" array of paths."},
      {R"({"name":"Las Tiler","files":"a.las","preview":false,"output_path":"x"})",
       "Give the input files to convert, as a \"files\" array of paths."},
      {R"({"name":"Las Tiler","files":[""]})",
       "Give the input files to convert, as a \"files\" array of paths."},
  };
  for (const auto& c : cases) {
    const auto result = ToolRunNutrition(VMCPJsonValue::Parse(c.json));
    EXPECT_EQ(result.dump(), R"({"success":false,"error":)" + VMCPJsonValue(c.error).dump() + "}")
        << c.json;
  }
  EXPECT_EQ(seenOutputDir, "(not called)");
}

TEST_F(RunNutritionPreview, PredictsWithoutTouchingAnything) {
  auto args = RunArgs("Las Tiler", {"b.las", "a.las", "b.las"});
  args["arguments"] = "not an assignment";  // a preview never reads it
  const std::vector<VMCPJsonValue> previews = {VMCPJsonValue(), true, "false", 0};
  for (const auto& preview : previews) {
    if (!preview.isNull()) args["preview"] = preview;
    const auto result = ToolRunNutrition(args);
    EXPECT_EQ(result.dump(),
              R"({"success":true,"name":"Las Tiler","preview":true,"predicted_output":)"
              R"(["a.las.out","b.las.out","shared.out"],"note":")" +
                  std::string(kNote) + "\"}")
        << preview.dump();
    EXPECT_EQ(seenInputs, (std::set<std::string>{"a.las", "b.las"}));
    EXPECT_EQ(seenOutputDir, "");
    EXPECT_EQ(seenDirectory, startDir());
  }
  EXPECT_EQ(fs::current_path(), startDir());
  EXPECT_EQ(count->getInteger(), 1);
  EXPECT_FALSE(converted);
}

TEST_F(RunNutritionPreview, PassesOutputPathUnchangedAndKeepsPredictedForms) {
  nutrition->outputFiles = [this](std::set<std::string>& outputs, const std::string& outputDir,
                                  const std::set<std::string>&) {
    seenOutputDir = outputDir;
    outputs.insert("rel/b.out");
    outputs.insert("/abs/a.out");
    outputs.insert("rel/b.out");
  };
  auto args = RunArgs("Las Tiler", {"a.las"});
  args["output_path"] = " missing dir/ ";
  const auto result = ToolRunNutrition(args);
  EXPECT_EQ(result["predicted_output"].dump(), R"(["/abs/a.out","rel/b.out"])");
  EXPECT_EQ(seenOutputDir, " missing dir/ ");
}

// Only a real run can find out that a nutrition needs a GPU.
TEST_F(RunNutritionPreview, EmptyPredictionOfGpuOnlyNutritionIsStillSuccess) {
  nutrition->outputFiles = nullptr;
  nutrition->conversion = [](auto&&...) { return std::string("No CPU implementation"); };
  EXPECT_EQ(ToolRunNutrition(RunArgs("Las Tiler", {"a.las"})).dump(),
            R"({"success":true,"name":"Las Tiler","preview":true,"predicted_output":[],"note":")" +
                std::string(kNote) + "\"}");
}

TEST_F(RunNutritionPreview, ExceptionFromPredictionPassesThrough) {
  nutrition->outputFiles = [](auto&&...) { throw std::runtime_error("cannot predict"); };
  EXPECT_THROW(ToolRunNutrition(RunArgs("Las Tiler", {"a.las"})), std::runtime_error);
  EXPECT_TRUE(dravo::testing::NutritionMutexIsFree());
}

}  // namespace
