// run_nutrition: preview and real run.
#include "error_result.h"
#include "tool_functions.h"

namespace dravo::nutrition {

VMCPJsonValue ToolRunNutrition(const VMCPJsonValue&) {
  return ErrorResult("run_nutrition is not available in this build.");
}

}  // namespace dravo::nutrition
