// Building MCP tool declarations and their input schemas.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <string>
#include <vector>

namespace Qarn::mcp {

// {"type":"string","description":...}
QARN_MCP_API VMCPJsonValue StringProp(const std::string& description);
// {"type":"array","items":{"type":"string"},"description":...}
QARN_MCP_API VMCPJsonValue StringArrayProp(const std::string& description);
// {"type":"boolean","description":...}
QARN_MCP_API VMCPJsonValue BoolProp(const std::string& description);

// {"name":...,"description":...,"inputSchema":{"type":"object",
//  "properties":...,"required":[...]}}
QARN_MCP_API VMCPJsonValue DeclareTool(const std::string& name, const std::string& description,
                                       const VMCPJsonValue& properties,
                                       const std::vector<std::string>& required);

}  // namespace Qarn::mcp
