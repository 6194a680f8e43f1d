#include <dravo/mcp/nutrition/tools/nutrition_lookup.h>

#include <dravo/mcp/nutrition/tools/error_result.h>

namespace dravo::nutrition {

LookupResult FindNutrition(const Qarn::mcp::VMCPJsonValue& arguments,
                           const std::string& notFoundTail) {
  const std::string name = arguments["name"].asString("");
  if (name.empty())
    return ErrorResult("Say which nutrition, by the name list_nutritions gives it.");
  auto object = Qarn::VManagedObject::find(Qarn::VNutrition::domainType(), name);
  auto nutrition = Brasko::DynamicCast<Qarn::VNutrition>(object);
  if (!nutrition.alive())
    return ErrorResult("There is no nutrition called \"" + name + notFoundTail);
  return nutrition;
}

InputFileSet InputFilesOf(const Qarn::mcp::VMCPJsonValue& arguments) {
  InputFileSet files;
  const auto& list = arguments["files"];
  if (list.kind != Qarn::mcp::VMCPJsonValue::Array) return files;
  for (const auto& element : list.asArray()) {
    std::string path = element.asString("");
    if (!path.empty()) files.insert(std::move(path));
  }
  return files;
}

}  // namespace dravo::nutrition
