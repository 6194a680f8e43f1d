// The module's one MCP tool provider: four tools over the nutritions.
#pragma once

#include <qarn/mcp/tool_provider.h>

namespace Qarn {

// Stateless: every call reads the application afresh, so no lock is needed.
class VNutritionMCPTools : public mcp::VMCPToolProvider {
 public:
  ~VNutritionMCPTools() override;

  void declareTools(mcp::VMCPJsonValue& tools) override;
  bool callTool(const std::string& name, const mcp::VMCPJsonValue& arguments,
                const mcp::VMCPCallContext& context, mcp::VMCPJsonValue& result) override;
};

}  // namespace Qarn
