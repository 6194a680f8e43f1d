// The summary record of a nutrition and the small pieces it is made of.
#pragma once

#include <qarn/mcp/json_value.h>
#include <qarn/nutrition.h>

#include <set>
#include <string>

namespace dravo::nutrition {

using Qarn::mcp::VMCPJsonValue;

// name, description, extensions, output_extensions, genres. The name is the
// one the registry walk already read, so it is not copied out a second time.
VMCPJsonValue SummariseNutrition(const Qarn::VNutrition& nutrition, const std::string& name);
// Input extensions in the nutrition's order, repetitions kept.
VMCPJsonValue ExtensionsOf(const Qarn::VNutrition& nutrition);
VMCPJsonValue ToJsonArray(const std::set<std::string>& strings);
// Exact byte match against the reported input extensions.
bool HandlesExtension(const Qarn::VNutrition& nutrition, const std::string& extension);

}  // namespace dravo::nutrition
