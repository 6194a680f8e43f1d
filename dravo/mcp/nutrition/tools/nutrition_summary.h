// The summary record of a nutrition and the small pieces it is made of.
#pragma once

#include <qarn/mcp/json_value.h>
#include <qarn/nutrition.h>

#include <ranges>
#include <string>

namespace dravo::nutrition {

using Qarn::mcp::VMCPJsonValue;

// name, description, extensions, output_extensions, genres. The name is the
// one the registry walk already read, so it is not copied out a second time.
VMCPJsonValue SummariseNutrition(const Qarn::VNutrition& nutrition, const std::string& name);
// Input extensions in the nutrition's order, repetitions kept.
VMCPJsonValue ExtensionsOf(const Qarn::VNutrition& nutrition);
// The strings in the container's order: sets come out in ascending order.
template <std::ranges::input_range Strings>
VMCPJsonValue ToJsonArray(const Strings& strings) {
  auto array = VMCPJsonValue::MakeArray();
  for (const auto& s : strings) array.push_back(VMCPJsonValue(s));
  return array;
}
// Exact byte match against the reported input extensions.
bool HandlesExtension(const Qarn::VNutrition& nutrition, const std::string& extension);

}  // namespace dravo::nutrition
