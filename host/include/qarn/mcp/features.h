// What the registered providers offer beyond declaring and calling tools:
// each question goes to every provider in registration order.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>
#include <qarn/mcp/tool_provider.h>

#include <functional>
#include <string>

namespace Qarn::mcp {

class QARN_MCP_API VMCPFeatures {
 public:
  // How a tool answered: not at all (unknown), with content items, or with
  // callTool's one JSON object.
  enum class ToolAnswer { Unknown, Content, Object };
  static ToolAnswer RunTool(const std::string& tool, const VMCPJsonValue& arguments,
                            const VMCPCallContext& context, VMCPToolResult& content,
                            VMCPJsonValue& object);

  static VMCPJsonValue ListResources();
  static VMCPJsonValue ListResourceTemplates();
  static bool ReadResource(const std::string& uri, const VMCPCallContext& context,
                           VMCPResourceResult& result);
  static VMCPJsonValue ListPrompts();
  static bool GetPrompt(const std::string& name, const VMCPJsonValue& arguments,
                        const VMCPCallContext& context, VMCPPromptResult& result);
  // False when no provider knows the reference.
  static bool Complete(const VMCPCompletionRequest& request, VMCPCompletion& completion);

  // A provider tells the clients that subscribed to the resource that it changed.
  static void ResourceUpdated(const std::string& uri);
  // Where ResourceUpdated goes; the server sets it, empty to stop.
  static void SetResourceObserver(std::function<void(const std::string& uri)> observer);
};

}  // namespace Qarn::mcp
