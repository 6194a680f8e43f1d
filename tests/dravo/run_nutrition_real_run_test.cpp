#include <dravo/mcp/nutrition/tools/tool_functions.h>
#include "conversion_fixture.h"

#include <stdexcept>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace {

#if defined(_WIN32)
bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#endif

using dravo::nutrition::ToolRunNutrition;
using dravo::testing::NutritionMutexIsFree;
using dravo::testing::RealRunArgs;
using dravo::testing::Touch;
using Qarn::mcp::VMCPJsonValue;
namespace fs = std::filesystem;

const std::string kNote =
    "The conversion reported success, but some expected output files were not found on disk - "
    "the nutrition may not actually produce them.";
const std::string kGpuMessage =
    "\"Tiler\" is a GPU-only nutrition. Running it is not yet available over MCP (it needs the "
    "qtolm/quib/mcp plugin, which is not built). It can still be listed and described.";

class RunNutritionRealRun : public dravo::testing::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    nutrition->addInput("Count", "how many", count);
    nutrition->outputFiles = [this](std::set<std::string>& outputs, const std::string&,
                                    const std::set<std::string>&) {
      countWhenPredicting = count->getInteger();
      outputs = expected;
    };
    nutrition->conversion = [this](const std::set<std::string>& outputs, const std::string&,
                                   const Qarn::VNutrition::NameMap& nameMap,
                                   const std::set<std::string>&,
                                   const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) {
      directoryWhileConverting = fs::current_path();
      mappedName = nameMap("a.out");
      progress->openingFile("a.las");
      progress->progress("hidden", 1, 2);
      progress->message("<b>wrote</b>");
      for (const auto& name : outputs)
        if (name.find("missing") == std::string::npos) Touch(name);
      if (thrower) thrower();
      return errorText;
    };
    output = makeDir("out");
  }

  VMCPJsonValue run(const std::string& arguments = "") {
    return ToolRunNutrition(RealRunArgs("Tiler", {"a.las"}, output.string(), arguments));
  }

  // Every way out leaves the directory as it was and the lock free for the next call.
  void expectCleanExit() {
    EXPECT_EQ(fs::current_path(), startDir());
    EXPECT_TRUE(NutritionMutexIsFree());
    const auto saved = std::exchange(nutrition->conversion, nullptr);
    EXPECT_TRUE(
        ToolRunNutrition(RealRunArgs("Tiler", {"a.las"}, output.string()))["success"].asBool(
            false));
    nutrition->conversion = saved;
  }

  Brasko::StrongPtr<dravo::testing::TestNutrition> nutrition = registry.add("Tiler");
  Brasko::StrongPtr<Qarn::VParameter> count = Qarn::VParameter::MakeInteger(1);
  std::set<std::string> expected;
  std::string errorText;
  std::function<void()> thrower;
  fs::path output;
  fs::path directoryWhileConverting;
  std::string mappedName;
  std::int64_t countWhenPredicting = 0;
};

TEST_F(RunNutritionRealRun, ConvertsInsideOutputDirAndReportsWhatLanded) {
  expected = {"b.out", "a.out", "missing.out"};
  const auto result = run("Count=4");
  EXPECT_EQ(result.dump(),
            R"({"success":true,"name":"Tiler","preview":false,"output_files":["a.out","b.out"],)"
            R"("log":["open: a.las","<b>wrote</b>"],"expected_not_written":["missing.out"],)"
            R"("note":")" +
                kNote + "\"}");
  EXPECT_EQ(directoryWhileConverting, output);
  EXPECT_EQ(countWhenPredicting, 4);
  EXPECT_EQ(mappedName, "a.out");
  EXPECT_TRUE(fs::exists(output / "a.out"));
  expectCleanExit();
}

TEST_F(RunNutritionRealRun, NothingExpectedAndNothingSaid) {
  nutrition->conversion = [](auto&&...) { return std::string(); };
  EXPECT_EQ(run().dump(),
            R"({"success":true,"name":"Tiler","preview":false,"output_files":[],"log":[]})");
}

TEST_F(RunNutritionRealRun, ArgumentFailuresStopBeforeTheDirectoryChange) {
  struct Case {
    std::string arguments;
    std::string error;
    std::int64_t countAfter;
  } cases[] = {
      {"foo;Count=5",
       "\"arguments\": cannot read \"foo\" as a parameter: it carries no '=' and continues "
       "nothing. Write name=value, separating parameters with newlines or semicolons; a value "
       "may itself contain semicolons, as in TileLength=250;250;0.",
       1},
      {"Count=6;Nope=1",
       "\"Tiler\" has no parameter named \"Nope\". describe_nutrition lists "
       "its parameters.",
       6},
      {"Count=7\nCount=x",
       "Could not set parameter \"Count\" to \"x\" (wrong type or format). "
       "describe_nutrition shows each parameter's current value as an example.",
       7},
  };
  for (const auto& c : cases) {
    const auto result = run(c.arguments);
    EXPECT_EQ(result.dump(), R"({"success":false,"error":)" + VMCPJsonValue(c.error).dump() + "}");
    EXPECT_EQ(count->getInteger(), c.countAfter) << c.arguments;
    EXPECT_TRUE(directoryWhileConverting.empty()) << c.arguments;
    expectCleanExit();
    directoryWhileConverting.clear();
  }
}

TEST_F(RunNutritionRealRun, NeedsOutputPathAndSetsNothingWithoutIt) {
  auto args = RealRunArgs("Tiler", {"a.las"}, "", "Count=9");
  EXPECT_EQ(ToolRunNutrition(args)["error"].asString(),
            "A real run (preview=false) needs an \"output_path\" to write into.");
  args.erase("output_path");
  EXPECT_EQ(ToolRunNutrition(args)["error"].asString(),
            "A real run (preview=false) needs an \"output_path\" to write into.");
  EXPECT_EQ(count->getInteger(), 1);
  EXPECT_EQ(countWhenPredicting, 0);
}

TEST_F(RunNutritionRealRun, UnusableOutputDirUsesTheSystemWording) {
  Touch(root() / "plain file");
  // The operating system's own words, full stop included; wine words them its own way.
#if defined(_WIN32)
  const bool wine = RunningUnderWine();
#endif
  struct Case {
    fs::path directory;
    std::string message;
  } cases[] = {
#if defined(_WIN32)
    {root() / "does not exist" / "deeper",
     wine ? "Path not found." : "The system cannot find the path specified."},
    {root() / "plain file", wine ? "Directory name invalid." : "The directory name is invalid."},
#else
    {root() / "does not exist" / "deeper", "No such file or directory"},
    {root() / "plain file", "Not a directory"},
#endif
  };
  for (const auto& c : cases) {
    const auto result =
        ToolRunNutrition(RealRunArgs("Tiler", {"a.las"}, c.directory.string(), "Count=3"));
    EXPECT_EQ(result["error"].asString(),
              "Cannot use output_path \"" + c.directory.string() + "\": " + c.message);
    EXPECT_EQ(count->getInteger(), 3);  // applied before the directory change
    EXPECT_EQ(countWhenPredicting, 0);
    EXPECT_EQ(fs::current_path(), startDir());
    EXPECT_TRUE(NutritionMutexIsFree());
  }
}

TEST_F(RunNutritionRealRun, ErrorTextsAreStrippedOrReportedAsGpuOnly) {
  const std::string marker = "No CPU implementation";
  struct Case {
    std::string errorText;
    std::string error;
    bool gpu;
  } cases[] = {
      {"<b>Bad</b> header\n", "Bad header", false},
      {"<p> </p>\r\n", "", false},
      {"Sorry: " + marker + " for this filter.", kGpuMessage, true},
      {marker, kGpuMessage, true},
      {marker.substr(0, 20), marker.substr(0, 20), false},
      {"no cpu implementation", "no cpu implementation", false},
      {"<i>" + marker.substr(0, 10) + "</i>" + marker.substr(10), marker, false},
  };
  expected = {"a.out"};
  for (const auto& c : cases) {
    errorText = c.errorText;
    auto wanted = VMCPJsonValue::MakeObject();
    wanted["success"] = false;
    wanted["error"] = c.error;
    if (c.gpu) wanted["gpu_required"] = true;
    wanted["log"] = dravo::testing::StringArray({"open: a.las", "<b>wrote</b>"});
    EXPECT_EQ(run().dump(), wanted.dump()) << c.errorText;
    expectCleanExit();
  }
}

TEST_F(RunNutritionRealRun, ExceptionsRestoreTheDirectoryAndCarryNoLog) {
  struct Case {
    std::function<void()> thrower;
    bool whilePredicting;
    std::string error;
  } cases[] = {
      {[] { throw std::runtime_error("disk full"); }, false, "Conversion failed: disk full"},
      {[] { throw std::logic_error("<b>kept</b>"); }, true, "Conversion failed: <b>kept</b>"},
      {[] { throw 42; }, false, "Conversion failed with an unknown error."},
      {[] { throw "text"; }, true, "Conversion failed with an unknown error."},
  };
  for (const auto& c : cases) {
    thrower = c.thrower;
    const auto predict = nutrition->outputFiles;
    if (c.whilePredicting) nutrition->outputFiles = [&](auto&&...) { thrower(); };
    EXPECT_EQ(run("Count=8").dump(),
              R"({"success":false,"error":)" + VMCPJsonValue(c.error).dump() + "}");
    EXPECT_EQ(count->getInteger(), 8);
    nutrition->outputFiles = predict;
    thrower = nullptr;
    expectCleanExit();
  }
}

TEST_F(RunNutritionRealRun, RelativeOutputPathAndRelativeNames) {
  fs::current_path(root());
  Touch(root() / "beside.txt");  // found from the working directory
  makeDir("out/sub");            // a directory counts as written
  Touch(root() / "absolute.txt");
  nutrition->conversion = [this](auto&&...) {
    directoryWhileConverting = fs::current_path();
    return std::string();
  };
  expected = {"beside.txt",
              "sub",
              "only-in-out.txt",
              "nowhere.txt",
              (root() / "absolute.txt").string(),
              (root() / "absent.txt").string()};
  Touch(output / "only-in-out.txt");

  auto result = ToolRunNutrition(RealRunArgs("Tiler", {"a.las"}, "out"));
  EXPECT_EQ(directoryWhileConverting, output);
  EXPECT_EQ(fs::current_path(), root());
  auto written = dravo::testing::StringArray(
      {(root() / "absolute.txt").string(), "beside.txt", "only-in-out.txt", "sub"});
  EXPECT_EQ(result["output_files"].dump(), written.dump());
  EXPECT_EQ(result["expected_not_written"].dump(),
            dravo::testing::StringArray({(root() / "absent.txt").string(), "nowhere.txt"}).dump());
  EXPECT_EQ(result["note"].asString(), kNote);
}

}  // namespace
