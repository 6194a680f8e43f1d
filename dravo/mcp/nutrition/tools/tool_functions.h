// The four tool functions: arguments object in, one result object out.
#pragma once

#include <qarn/mcp/json_value.h>

namespace dravo::nutrition {

using Qarn::mcp::VMCPJsonValue;

VMCPJsonValue ToolListNutritions(const VMCPJsonValue& arguments);
VMCPJsonValue ToolDescribeNutrition(const VMCPJsonValue& arguments);
VMCPJsonValue ToolAnalyseNutrition(const VMCPJsonValue& arguments);
VMCPJsonValue ToolRunNutrition(const VMCPJsonValue& arguments);

}  // namespace dravo::nutrition
