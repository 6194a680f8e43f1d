// MCP content items: what a tool result or a prompt message is made of.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <string>
#include <string_view>

namespace Qarn::mcp {

// The bytes as standard Base64 with padding.
QARN_MCP_API std::string Base64(std::string_view bytes);

// {"type":"text","text":...}
QARN_MCP_API VMCPJsonValue TextContent(const std::string& text);
// {"type":"image"|"audio","data":<Base64 of bytes>,"mimeType":...}
QARN_MCP_API VMCPJsonValue ImageContent(std::string_view bytes, const std::string& mimeType);
QARN_MCP_API VMCPJsonValue AudioContent(std::string_view bytes, const std::string& mimeType);
// {"type":"resource","resource":<contents from TextResourceContents or
// BlobResourceContents>}
QARN_MCP_API VMCPJsonValue EmbeddedResource(const VMCPJsonValue& contents);
// {"type":"resource_link","uri":...,"name":...} and the optional fields
// that are not empty.
QARN_MCP_API VMCPJsonValue ResourceLink(const std::string& uri, const std::string& name,
                                        const std::string& description = {},
                                        const std::string& mimeType = {});

}  // namespace Qarn::mcp
