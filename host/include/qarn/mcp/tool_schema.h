// Tool declarations with whole JSON Schema (2020-12) input and output
// schemas, passed to clients as given.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <string>

namespace Qarn::mcp {

// {"name":...,"description":...,"inputSchema":<as given>,"outputSchema":<as
// given, left out when null>}. The input schema must be an object schema.
QARN_MCP_API VMCPJsonValue DeclareToolWithSchemas(const std::string& name,
                                                  const std::string& description,
                                                  const VMCPJsonValue& inputSchema,
                                                  const VMCPJsonValue& outputSchema = {});

// Asks clients to send the property's value also as the HTTP header
// "Mcp-Param-<header>", so that a gateway can route on it without reading
// the body: sets "x-mcp-header" on the property of an input schema.
QARN_MCP_API void MirrorInHeader(VMCPJsonValue& inputSchema, const std::string& property,
                                 const std::string& header);

}  // namespace Qarn::mcp
