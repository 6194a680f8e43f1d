// list_nutritions and describe_nutrition: the tools that only read.
#include "error_result.h"
#include "tool_functions.h"

namespace dravo::nutrition {

VMCPJsonValue ToolListNutritions(const VMCPJsonValue&) {
  return ErrorResult("list_nutritions is not available in this build.");
}

VMCPJsonValue ToolDescribeNutrition(const VMCPJsonValue&) {
  return ErrorResult("describe_nutrition is not available in this build.");
}

}  // namespace dravo::nutrition
