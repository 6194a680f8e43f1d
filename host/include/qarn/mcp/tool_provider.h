// Base of every MCP tool provider a plug-in registers.
#pragma once

#include <brasko/reference.h>
#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <atomic>
#include <string>

namespace Qarn::mcp {

// What the server knows about the call being made.
struct VMCPCallContext {
  std::string requestId;                         // the JSON-RPC id as text; empty outside a request
  const std::atomic<bool>* cancelled = nullptr;  // set when the client gave up on the request
};

class QARN_MCP_API VMCPToolProvider : public Brasko::ReferenceBase<VMCPToolProvider> {
 public:
  ~VMCPToolProvider() override;

  // Appends the provider's tool declarations to the array.
  virtual void declareTools(VMCPJsonValue& tools) = 0;
  // Runs one tool; false when the name is not one of this provider's tools.
  virtual bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                        const VMCPCallContext& context, VMCPJsonValue& result) = 0;
};

}  // namespace Qarn::mcp
