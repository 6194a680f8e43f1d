// A tool's answer as MCP content items, for providers that need more than
// the one JSON object of callTool.
#pragma once

#include <qarn/mcp/input_requests.h>
#include <qarn/mcp/json_value.h>

namespace Qarn::mcp {

struct VMCPToolResult {
  VMCPJsonValue content = VMCPJsonValue::MakeArray();  // items (content.h)
  VMCPJsonValue structuredContent;                     // null: none
  bool isError = false;
  // When it holds requests, they are asked instead of answering.
  VMCPInputRequests input;
};

}  // namespace Qarn::mcp
