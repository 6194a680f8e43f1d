// analyse_nutrition: inspect input files without converting.
#include "error_result.h"
#include "tool_functions.h"

namespace dravo::nutrition {

VMCPJsonValue ToolAnalyseNutrition(const VMCPJsonValue&) {
  return ErrorResult("analyse_nutrition is not available in this build.");
}

}  // namespace dravo::nutrition
