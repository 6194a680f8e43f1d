// Resources a provider offers: fixed ones by URI and templated ones by a
// URI template, read as text or binary contents.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/input_requests.h>
#include <qarn/mcp/json_value.h>

#include <string>
#include <string_view>

namespace Qarn::mcp {

// {"uri":...,"name":...,"description":...,"mimeType":...}; empty fields left out.
QARN_MCP_API VMCPJsonValue DeclareResource(const std::string& uri, const std::string& name,
                                           const std::string& description,
                                           const std::string& mimeType = {});
// {"uriTemplate":...,"name":...,"description":...,"mimeType":...}
QARN_MCP_API VMCPJsonValue DeclareResourceTemplate(const std::string& uriTemplate,
                                                   const std::string& name,
                                                   const std::string& description,
                                                   const std::string& mimeType = {});

// {"uri":...,"mimeType":...,"text":...}
QARN_MCP_API VMCPJsonValue TextResourceContents(const std::string& uri, const std::string& mimeType,
                                                const std::string& text);
// {"uri":...,"mimeType":...,"blob":<Base64 of bytes>}
QARN_MCP_API VMCPJsonValue BlobResourceContents(const std::string& uri, const std::string& mimeType,
                                                std::string_view bytes);

// Whether the URI fits a template of plain {name} expressions, each matching
// one or more characters other than '/'; the values go into variables (an
// object) by name.
QARN_MCP_API bool MatchUriTemplate(std::string_view uriTemplate, std::string_view uri,
                                   VMCPJsonValue& variables);

// What reading one resource gives.
struct VMCPResourceResult {
  VMCPJsonValue contents = VMCPJsonValue::MakeArray();  // from the *ResourceContents above
  VMCPInputRequests input;                              // asked instead of answering when not empty
};

}  // namespace Qarn::mcp
