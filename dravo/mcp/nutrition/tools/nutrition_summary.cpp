#include <dravo/mcp/nutrition/tools/nutrition_summary.h>

namespace dravo::nutrition {

VMCPJsonValue ExtensionsOf(const Qarn::VNutrition& nutrition) {
  auto extensions = VMCPJsonValue::MakeArray();
  nutrition.getExtensions([&](const std::string& e) { extensions.push_back(VMCPJsonValue(e)); });
  return extensions;
}

bool HandlesExtension(const Qarn::VNutrition& nutrition, const std::string& extension) {
  bool found = false;
  nutrition.getExtensions([&](const std::string& e) {
    if (e == extension) found = true;
  });
  return found;
}

VMCPJsonValue SummariseNutrition(const Qarn::VNutrition& nutrition, const std::string& name) {
#if defined(__GNUC__)
  // Fetched side by side now rather than one after another below: a walk
  // over many nutritions finds most of them out of the cache.
  __builtin_prefetch(nutrition.description.data());
  if (!nutrition.outputExtensions.empty()) __builtin_prefetch(&*nutrition.outputExtensions.begin());
  if (!nutrition.genres.empty()) __builtin_prefetch(&*nutrition.genres.begin());
#endif
  auto record = VMCPJsonValue::MakeObject();
  record["name"] = name;
  record["description"] = nutrition.description;
  record["extensions"] = ExtensionsOf(nutrition);
  record["output_extensions"] = ToJsonArray(nutrition.outputExtensions);
  record["genres"] = ToJsonArray(nutrition.genres);
  return record;
}

}  // namespace dravo::nutrition
