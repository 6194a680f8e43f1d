// The named tool providers of the running application.
#pragma once

#include <brasko/reference.h>
#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>
#include <qarn/mcp/tool_provider.h>

#include <string>
#include <vector>

namespace Qarn::mcp {

// Thread-safe. Providers are called outside the lock, each kept alive by a
// reference of the caller's for the length of the call.
class QARN_MCP_API VMCPRegistry {
 public:
  // Keeps the provider under the name; a provider already there is replaced.
  static void Register(const std::string& name,
                       const Brasko::StrongPtr<VMCPToolProvider>& provider);
  static void Unregister(const std::string& name);

  static Brasko::StrongPtr<VMCPToolProvider> Find(const std::string& name);
  static std::vector<std::string> Names();

  // Every provider's declarations, in registration order.
  static VMCPJsonValue ListTools();
  // Hands the call to the first provider that knows the tool; false if none.
  static bool CallTool(const std::string& tool, const VMCPJsonValue& arguments,
                       const VMCPCallContext& context, VMCPJsonValue& result);
};

}  // namespace Qarn::mcp
