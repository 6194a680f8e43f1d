// Real runs of run_nutrition through the MCP module on the sample files,
// with the written outputs checked on disk.
#include "demo_test_support.h"

#include <demo_converters/nutritions/demo_nutritions.h>

#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <qarn/managed_object.h>
#include <qarn/mcp/json_value.h>

namespace dravo::demo::testing {
namespace {

using Qarn::mcp::VMCPJsonValue;

// Registers the demo nutritions for one test, as loading the plug-in would.
class ModuleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    nutritions_ = MakeDemoNutritions();
    for (const auto& nutrition : nutritions_) Qarn::RegisterManaged<Qarn::VNutrition>(nutrition);
  }
  void TearDown() override {
    for (const auto& nutrition : nutritions_)
      Qarn::VManagedObject::unregisterObject(nutrition.get());
  }

  VMCPJsonValue run(const std::string& name, const fs::path& file, const std::string& arguments) {
    auto args = VMCPJsonValue::MakeObject();
    args["name"] = name;
    args["files"] = VMCPJsonValue::MakeArray();
    args["files"].push_back(file.string());
    args["output_path"] = out.str();
    args["arguments"] = arguments;
    args["preview"] = false;
    Qarn::VNutritionMCPTools tools;
    VMCPJsonValue result;
    EXPECT_TRUE(tools.callTool("run_nutrition", args, {}, result));
    return result;
  }

  static std::vector<std::string> Strings(const VMCPJsonValue& array) {
    std::vector<std::string> texts;
    for (const auto& item : array.asArray()) texts.push_back(item.asString());
    return texts;
  }

  ScratchDir out;

 private:
  std::vector<Brasko::StrongPtr<Qarn::VNutrition>> nutritions_;
};

TEST_F(ModuleRun, XyzToPlyWritesTheFileAndLogsProgress) {
  const auto result = run("XYZ to PLY", Sample("cloud.csv"), "SkipLines=1\nBinary=false");
  ASSERT_TRUE(result["success"].asBool(false)) << result.dump();
  EXPECT_EQ(Strings(result["output_files"]), std::vector<std::string>{out.str() + "/cloud.ply"});
  EXPECT_FALSE(result.has("expected_not_written"));
  const auto log = Strings(result["log"]);
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Wrote 3000 points with colour"), std::string::npos);
  EXPECT_EQ(ReadBytes(out.path() / "cloud.ply").rfind("ply\nformat ascii 1.0\n", 0), 0u);
}

TEST_F(ModuleRun, LasTilesReportTheEmptyOnesAsNotWritten) {
  const auto result = run("LAS to PLY/XYZ", Sample("tiles_with_gap.las"), "TileLength=250;250;0");
  ASSERT_TRUE(result["success"].asBool(false)) << result.dump();
  const std::string dir = out.str() + "/";
  EXPECT_EQ(Strings(result["output_files"]),
            (std::vector<std::string>{dir + "tiles_with_gap_tile_0_0.ply",
                                      dir + "tiles_with_gap_tile_1_1.ply"}));
  EXPECT_EQ(Strings(result["expected_not_written"]),
            (std::vector<std::string>{dir + "tiles_with_gap_tile_0_1.ply",
                                      dir + "tiles_with_gap_tile_1_0.ply"}));
  EXPECT_TRUE(result.has("note"));
}

TEST_F(ModuleRun, LasToXyzWithClassFilter) {
  const auto result =
      run("LAS to PLY/XYZ", Sample("las_format1.las"), "OutputFormat=xyz;ClassFilter=2,6");
  ASSERT_TRUE(result["success"].asBool(false)) << result.dump();
  EXPECT_EQ(ReadXyzFile(out.path() / "las_format1.xyz").size(), 1000u);
}

TEST_F(ModuleRun, BrokenInputIsAnErrorNamingTheFile) {
  WriteBytes(out.path() / "broken.las", "LASF but nothing more");
  const auto result = run("LAS to PLY/XYZ", out.path() / "broken.las", "");
  EXPECT_FALSE(result["success"].asBool(true));
  EXPECT_NE(result["error"].asString().find("broken.las"), std::string::npos) << result.dump();
  EXPECT_NE(result["error"].asString().find("truncated LAS header"), std::string::npos);
}

TEST_F(ModuleRun, MandelbrotIsGpuOnly) {
  const auto result = run("Mandelbrot Demo", out.path() / "view.mandel", "Iterations=64");
  EXPECT_FALSE(result["success"].asBool(true));
  EXPECT_TRUE(result["gpu_required"].asBool(false)) << result.dump();
}

}  // namespace
}  // namespace dravo::demo::testing
