// list_nutritions and describe_nutrition: the tools that only read.
#include <dravo/mcp/nutrition/tools/contains_no_case.h>
#include <dravo/mcp/nutrition/tools/disabled_plugins.h>
#include <dravo/mcp/nutrition/tools/nutrition_lookup.h>
#include <dravo/mcp/nutrition/tools/nutrition_summary.h>
#include <dravo/mcp/nutrition/tools/tool_functions.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <variant>

namespace dravo::nutrition {

namespace {

constexpr const char* kDisabledNote =
    "Some plugins are disabled by a previous load failure "
    "(renamed to *.tolm~). A nutrition you expect may be missing for that reason rather than "
    "being uninstalled - see the 'disabled' list. A stale bcrypt.dll/secur32.dll copy is a "
    "common cause of such load failures.";
constexpr const char* kEmptyRegistryNote =
    "No nutritions are registered. If the running application did not load its converter "
    "plugins, there is nothing to list.";
constexpr const char* kNoMatchNote =
    "Nothing matched. Call it again without a filter/extension to see everything there is.";

bool MatchesFilter(const Qarn::VNutrition& nutrition, const std::string& name,
                   const std::string& filter) {
  if (ContainsNoCase(name, filter)) return true;
  if (ContainsNoCase(nutrition.description, filter)) return true;
  for (const auto& genre : nutrition.genres)
    if (ContainsNoCase(genre, filter)) return true;
  return false;
}

struct ListingFilter {
  std::string filter;
  std::string extension;

  bool Keeps(const Qarn::VNutrition& nutrition, const std::string& name) const {
    if (!extension.empty() && !HandlesExtension(nutrition, extension)) return false;
    return filter.empty() || MatchesFilter(nutrition, name, filter);
  }
};

VMCPJsonValue ListMatching(const ListingFilter& criteria) {
  auto listing = VMCPJsonValue::MakeArray();
  Qarn::VManagedObject::iterate(
      Qarn::VNutrition::domainType(),
      [&](int, const Brasko::StrongPtr<Qarn::VManagedObject>& object, const std::string& name) {
        // The walk holds the object; a plain cast needs no reference of its own.
        const auto* nutrition = dynamic_cast<const Qarn::VNutrition*>(object.get());
        if (nutrition && object->isAlive() && criteria.Keeps(*nutrition, name))
          listing.push_back(SummariseNutrition(*nutrition, name));
        return true;
      },
      std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
  return listing;
}

VMCPJsonValue ParameterEntry(const Brasko::StrongPtr<Qarn::VSlot>& slot) {
  auto entry = VMCPJsonValue::MakeObject();
  entry["name"] = slot->name;
  entry["help"] = slot->help;
  const auto& parameter = slot->parameter;
  entry["value"] =
      parameter.alive() ? parameter->getValueAsText({}, std::string(), false) : std::string();
  return entry;
}

VMCPJsonValue ParametersOf(const NutritionPtr& nutrition) {
  auto parameters = VMCPJsonValue::MakeArray();
  nutrition->iterate_inputs([&](const Brasko::StrongPtr<Qarn::VSlot>& slot, int) {
    parameters.push_back(ParameterEntry(slot));
    return true;
  });
  return parameters;
}

VMCPJsonValue ScriptsOf(const NutritionPtr& nutrition) {
  auto scripts = VMCPJsonValue::MakeArray();
  for (const auto& [id, script] : nutrition->outputScripts) {
    auto entry = VMCPJsonValue::MakeObject();
    entry["id"] = id;
    entry["shortname"] = script.shortname;
    entry["description"] = script.description;
    scripts.push_back(std::move(entry));
  }
  return scripts;
}

}  // namespace

VMCPJsonValue ToolListNutritions(const VMCPJsonValue& arguments) {
  const ListingFilter criteria{arguments["filter"].asString(""),
                               arguments["extension"].asString("")};
  auto listing = ListMatching(criteria);

  auto result = VMCPJsonValue::MakeObject();
  result["success"] = true;
  result["count"] = static_cast<std::int64_t>(listing.size());
  const bool nothingListed = listing.size() == 0;
  result["nutritions"] = std::move(listing);

  auto disabled = DisabledPlugins();
  if (disabled.size() > 0) {
    result["disabled"] = std::move(disabled);
    result["note"] = kDisabledNote;
  } else if (nothingListed) {
    const bool unfiltered = criteria.filter.empty() && criteria.extension.empty();
    result["note"] = unfiltered ? kEmptyRegistryNote : kNoMatchNote;
  }
  return result;
}

VMCPJsonValue ToolDescribeNutrition(const VMCPJsonValue& arguments) {
  auto lookup = FindNutrition(arguments, kDescribeNotFoundTail);
  if (auto* failure = std::get_if<VMCPJsonValue>(&lookup)) return std::move(*failure);
  const NutritionPtr nutrition = std::get<NutritionPtr>(std::move(lookup));

  auto parameters = ParametersOf(nutrition);
  auto scripts = ScriptsOf(nutrition);

  auto result = VMCPJsonValue::MakeObject();
  result["success"] = true;
  result["name"] = nutrition->name.str();
  result["description"] = nutrition->description;
  result["extensions"] = ExtensionsOf(*nutrition);
  result["output_extensions"] = ToJsonArray(nutrition->outputExtensions);
  result["genres"] = ToJsonArray(nutrition->genres);
  result["parameters"] = std::move(parameters);
  if (scripts.size() > 0) result["output_scripts"] = std::move(scripts);
  return result;
}

}  // namespace dravo::nutrition
