// analyse_nutrition: inspect input files without converting.
#include <dravo/mcp/nutrition/tools/error_result.h>
#include <dravo/mcp/nutrition/tools/nutrition_lookup.h>
#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>
#include <dravo/mcp/nutrition/tools/strip_tags.h>
#include <dravo/mcp/nutrition/tools/tool_functions.h>

#include <exception>
#include <mutex>
#include <string>

namespace dravo::nutrition {

namespace {

// Asks in a fixed order: each file's verdict, the quick summary, the analysis.
VMCPJsonValue Analyse(const NutritionPtr& nutrition, const InputFileSet& files) {
  auto digestible = VMCPJsonValue::MakeObject();
  for (const auto& file : files) digestible[file] = nutrition->isDigestible(file);
  const std::string quickInfo = nutrition->getQuickInfo(files);
  const auto texts = nutrition->analyse(files);

  auto result = VMCPJsonValue::MakeObject();
  result["success"] = true;
  result["name"] = nutrition->name.str();
  result["quickinfo"] = StripTags(quickInfo);
  result["analysis"] = StripTags(texts.analysis);
  result["log"] = texts.log;
  result["digestible"] = std::move(digestible);
  return result;
}

}  // namespace

VMCPJsonValue ToolAnalyseNutrition(const VMCPJsonValue& arguments) {
  auto found = FindNutrition(arguments, kPlainNotFoundTail);
  if (auto* failure = std::get_if<VMCPJsonValue>(&found)) return std::move(*failure);
  const auto& nutrition = std::get<NutritionPtr>(found);
  const auto files = InputFilesOf(arguments);
  if (files.empty())
    return ErrorResult("Give the input files to analyse, as a \"files\" array of paths.");

  std::lock_guard lock(NutritionMutex());
  try {
    return Analyse(nutrition, files);
  } catch (const std::exception& e) {
    return ErrorResult(std::string("Analysis failed: ") + e.what());
  } catch (...) {
    return ErrorResult("Analysis failed with an unknown error.");
  }
}

}  // namespace dravo::nutrition
