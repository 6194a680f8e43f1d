// Prompts a provider offers: named message templates with arguments.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/input_requests.h>
#include <qarn/mcp/json_value.h>

#include <string>

namespace Qarn::mcp {

// {"name":...,"description":...,"required":...}
QARN_MCP_API VMCPJsonValue PromptArgument(const std::string& name, const std::string& description,
                                          bool required);
// {"name":...,"description":...,"arguments":[PromptArgument...]}; no
// arguments member when the array is empty.
QARN_MCP_API VMCPJsonValue DeclarePrompt(const std::string& name, const std::string& description,
                                         const VMCPJsonValue& arguments = VMCPJsonValue());
// {"role":"user"|"assistant","content":<one content item>}
QARN_MCP_API VMCPJsonValue PromptMessage(const std::string& role, const VMCPJsonValue& content);

// What getting one prompt gives.
struct VMCPPromptResult {
  std::string description;  // left out when empty
  VMCPJsonValue messages = VMCPJsonValue::MakeArray();
  VMCPInputRequests input;  // asked instead of answering when not empty
};

}  // namespace Qarn::mcp
