// Base of every MCP tool provider a plug-in registers.
#pragma once

#include <brasko/reference.h>
#include <qarn/mcp/call_context.h>
#include <qarn/mcp/completion.h>
#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>
#include <qarn/mcp/prompts.h>
#include <qarn/mcp/resources.h>
#include <qarn/mcp/tool_result.h>

#include <string>

namespace Qarn::mcp {

class QARN_MCP_API VMCPToolProvider : public Brasko::ReferenceBase<VMCPToolProvider> {
 public:
  ~VMCPToolProvider() override;

  // Appends the provider's tool declarations to the array.
  virtual void declareTools(VMCPJsonValue& tools) = 0;
  // Runs one tool; false when the name is not one of this provider's tools.
  virtual bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                        const VMCPCallContext& context, VMCPJsonValue& result) = 0;

  // Optional. Each answers false, or adds nothing, unless overridden.
  // Runs one tool that answers with content items or asks for input first;
  // asked before callTool. False when it is not such a tool.
  virtual bool runTool(const std::string& name, const VMCPJsonValue& arguments,
                       const VMCPCallContext& context, VMCPToolResult& result);
  // Appends declarations (resources.h) of fixed resources and of templates.
  virtual void declareResources(VMCPJsonValue& resources);
  virtual void declareResourceTemplates(VMCPJsonValue& templates);
  // Reads one resource; false when the URI is not one of this provider's.
  virtual bool readResource(const std::string& uri, const VMCPCallContext& context,
                            VMCPResourceResult& result);
  // Appends prompt declarations (prompts.h).
  virtual void declarePrompts(VMCPJsonValue& prompts);
  // Fills one prompt's messages; false when the name is not one of this
  // provider's prompts. Arguments is an object of strings.
  virtual bool getPrompt(const std::string& name, const VMCPJsonValue& arguments,
                         const VMCPCallContext& context, VMCPPromptResult& result);
  // Completes an argument of one of this provider's prompts or templates;
  // false when the reference is not one of them.
  virtual bool complete(const VMCPCompletionRequest& request, VMCPCompletion& completion);
};

}  // namespace Qarn::mcp
