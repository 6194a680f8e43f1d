// Reading the "name" and "files" arguments the same way in every tool.
#pragma once

#include <brasko/reference.h>
#include <qarn/mcp/json_value.h>
#include <qarn/nutrition.h>

#include <set>
#include <string>
#include <variant>

namespace dravo::nutrition {

using InputFileSet = std::set<std::string>;
using NutritionPtr = Brasko::StrongPtr<Qarn::VNutrition>;
using LookupResult = std::variant<Brasko::StrongPtr<Qarn::VNutrition>, Qarn::mcp::VMCPJsonValue>;

// Tails that follow the quoted name in the not-found message.
inline constexpr const char* kDescribeNotFoundTail = "\". list_nutritions says what there is.";
inline constexpr const char* kPlainNotFoundTail = "\".";

// The live nutrition named by "name", or the failure result to return.
LookupResult FindNutrition(const Qarn::mcp::VMCPJsonValue& arguments,
                           const std::string& notFoundTail);

// The distinct non-empty strings of the "files" array, ascending byte order.
InputFileSet InputFilesOf(const Qarn::mcp::VMCPJsonValue& arguments);

}  // namespace dravo::nutrition
