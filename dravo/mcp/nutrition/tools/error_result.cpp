#include <dravo/mcp/nutrition/tools/error_result.h>

namespace dravo::nutrition {

Qarn::mcp::VMCPJsonValue ErrorResult(const std::string& message) {
  auto result = Qarn::mcp::VMCPJsonValue::MakeObject();
  result["success"] = false;
  result["error"] = message;
  return result;
}

}  // namespace dravo::nutrition
