// The one failure result of every tool.
#pragma once

#include <qarn/mcp/json_value.h>

#include <string>

namespace dravo::nutrition {

// {"success": false, "error": message}
Qarn::mcp::VMCPJsonValue ErrorResult(const std::string& message);

}  // namespace dravo::nutrition
