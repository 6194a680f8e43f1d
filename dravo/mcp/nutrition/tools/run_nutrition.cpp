// run_nutrition: preview and real run.
#include <dravo/mcp/nutrition/tools/collecting_progress.h>
#include <dravo/mcp/nutrition/tools/error_result.h>
#include <dravo/mcp/nutrition/tools/nutrition_lookup.h>
#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>
#include <dravo/mcp/nutrition/tools/nutrition_summary.h>
#include <dravo/mcp/nutrition/tools/parameter_arguments.h>
#include <dravo/mcp/nutrition/tools/strip_tags.h>
#include <dravo/mcp/nutrition/tools/system_message.h>
#include <dravo/mcp/nutrition/tools/tool_functions.h>
#include <dravo/mcp/nutrition/tools/working_directory.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace dravo::nutrition {

namespace {

namespace fs = std::filesystem;
using OutputSet = std::set<std::string>;

constexpr const char* kGpuMarker = "No CPU implementation";

struct RunRequest {
  NutritionPtr nutrition;
  std::string requestedName;
  InputFileSet inputs;
  std::string outputDir;
};

// What the nutrition expected, returned and reported.
struct Conversion {
  OutputSet expected;
  std::string errorText;
  std::vector<std::string> log;
};
// Or the failure text of an exception the nutrition raised.
using ConversionOutcome = std::variant<Conversion, std::string>;

VMCPJsonValue Preview(const RunRequest& run) {
  OutputSet predicted;
  run.nutrition->getOutputFiles(predicted, run.outputDir, run.inputs);
  auto result = VMCPJsonValue::MakeObject();
  result["success"] = true;
  result["name"] = run.nutrition->name.str();
  result["preview"] = true;
  result["predicted_output"] = ToJsonArray(predicted);
  result["note"] =
      "Nothing was written. These are the files this would produce; run again with "
      "preview=false to do it.";
  return result;
}

std::optional<std::string> SetParameters(const RunRequest& run, const VMCPJsonValue& arguments) {
  auto parsed = ParseParameterArguments(arguments["arguments"].asString(""));
  if (const auto* failure = std::get_if<std::string>(&parsed)) return "\"arguments\": " + *failure;
  return ApplyParameterAssignments(*run.nutrition, run.requestedName,
                                   std::get<ParameterAssignments>(parsed));
}

// Runs inside outputDir; the directory is back before this returns.
ConversionOutcome Convert(const RunRequest& run, WorkingDirectoryChange& directory) {
  const auto sink = Brasko::MakeStrong<CollectingProgress>();
  const Qarn::VNutrition::NameMap identity = [](const std::string& name) { return name; };
  Conversion conversion;
  try {
    run.nutrition->getOutputFiles(conversion.expected, run.outputDir, run.inputs);
    conversion.errorText =
        run.nutrition->convert(conversion.expected, run.outputDir, identity, run.inputs, sink);
  } catch (const std::exception& e) {
    directory.restore();
    return std::string("Conversion failed: ") + e.what();
  } catch (...) {
    directory.restore();
    return std::string("Conversion failed with an unknown error.");
  }
  directory.restore();
  conversion.log = sink->messages();
  return conversion;
}

VMCPJsonValue ConversionError(const RunRequest& run, const Conversion& conversion) {
  if (conversion.errorText.find(kGpuMarker) != std::string::npos) {
    auto result = ErrorResult(
        "\"" + run.requestedName +
        "\" is a GPU-only nutrition. Running it is not yet available over MCP (it needs the "
        "qtolm/quib/mcp plugin, which is not built). It can still be listed and described.");
    result["gpu_required"] = true;
    result["log"] = ToJsonArray(conversion.log);
    return result;
  }
  auto result = ErrorResult(StripTags(conversion.errorText));
  result["log"] = ToJsonArray(conversion.log);
  return result;
}

// Any kind of object counts; a failed query counts as nothing there.
bool Exists(const fs::path& path) {
  std::error_code error;
  const auto status = fs::status(path, error);
  return !error && status.type() != fs::file_type::not_found;
}

// A relative name counts where it is found from the working directory, else
// inside the output directory.
bool Written(const std::string& name, const fs::path& outputDir) {
  const auto path = Utf8Path(name);
  return Exists(path) || (!path.is_absolute() && Exists(outputDir / path));
}

VMCPJsonValue OutputCheck(const RunRequest& run, const Conversion& conversion) {
  const auto outputDir = Utf8Path(run.outputDir);
  auto written = VMCPJsonValue::MakeArray();
  auto missing = VMCPJsonValue::MakeArray();
  for (const auto& name : conversion.expected)
    (Written(name, outputDir) ? written : missing).push_back(VMCPJsonValue(name));

  auto result = VMCPJsonValue::MakeObject();
  result["success"] = true;
  result["name"] = run.nutrition->name.str();
  result["preview"] = false;
  result["output_files"] = std::move(written);
  result["log"] = ToJsonArray(conversion.log);
  if (missing.size() == 0) return result;
  result["expected_not_written"] = std::move(missing);
  result["note"] =
      "The conversion reported success, but some expected output files were not found on disk "
      "- the nutrition may not actually produce them.";
  return result;
}

VMCPJsonValue RealRun(const RunRequest& run, const VMCPJsonValue& arguments) {
  if (run.outputDir.empty())
    return ErrorResult("A real run (preview=false) needs an \"output_path\" to write into.");
  std::lock_guard lock(NutritionMutex());
  if (auto failure = SetParameters(run, arguments)) return ErrorResult(*failure);

  WorkingDirectoryChange directory;
  if (const auto error = directory.enter(Utf8Path(run.outputDir)))
    return ErrorResult("Cannot use output_path \"" + run.outputDir + "\": " + SystemMessage(error));
  const auto outcome = Convert(run, directory);
  if (const auto* failure = std::get_if<std::string>(&outcome)) return ErrorResult(*failure);
  const auto& conversion = std::get<Conversion>(outcome);
  if (!conversion.errorText.empty()) return ConversionError(run, conversion);
  return OutputCheck(run, conversion);
}

}  // namespace

VMCPJsonValue ToolRunNutrition(const VMCPJsonValue& arguments) {
  auto found = FindNutrition(arguments, kPlainNotFoundTail);
  if (auto* failure = std::get_if<VMCPJsonValue>(&found)) return std::move(*failure);
  RunRequest run{std::get<NutritionPtr>(std::move(found)), arguments["name"].asString(""), {}, {}};
  run.inputs = InputFilesOf(arguments);
  if (run.inputs.empty())
    return ErrorResult("Give the input files to convert, as a \"files\" array of paths.");
  run.outputDir = arguments["output_path"].asString("");
  const bool preview = !arguments.has("preview") || arguments["preview"].asBool(true);
  return preview ? Preview(run) : RealRun(run, arguments);
}

}  // namespace dravo::nutrition
