#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>

#include <gtest/gtest.h>

namespace {

using Qarn::mcp::VMCPJsonValue;
using Qarn::mcp::VMCPRegistry;

struct EchoProvider : Qarn::mcp::VMCPToolProvider {
  explicit EchoProvider(std::string tool, bool* destroyed = nullptr)
      : tool(std::move(tool)), destroyed(destroyed) {}
  ~EchoProvider() override {
    if (destroyed) *destroyed = true;
  }
  void declareTools(VMCPJsonValue& tools) override {
    tools.push_back(Qarn::mcp::DeclareTool(tool, "", VMCPJsonValue::MakeObject(), {}));
  }
  bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                const Qarn::mcp::VMCPCallContext&, VMCPJsonValue& result) override {
    if (name != tool) return false;
    result = arguments;
    return true;
  }
  std::string tool;
  bool* destroyed;
};

TEST(McpRegistry, ListsAcrossProvidersAndRoutesCalls) {
  bool destroyed = false;
  VMCPRegistry::Register(
      "one", Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new EchoProvider("first", &destroyed)));
  VMCPRegistry::Register("two", Brasko::MakeStrong<EchoProvider>("second"));
  const auto tools = VMCPRegistry::ListTools();
  ASSERT_EQ(tools.size(), 2u);
  EXPECT_EQ(tools.asArray()[0]["name"].asString(), "first");
  EXPECT_EQ(tools.asArray()[1]["name"].asString(), "second");

  VMCPJsonValue result;
  EXPECT_TRUE(VMCPRegistry::CallTool("second", VMCPJsonValue("hi"), {}, result));
  EXPECT_EQ(result.asString(), "hi");
  result = VMCPJsonValue();
  EXPECT_FALSE(VMCPRegistry::CallTool("third", VMCPJsonValue("hi"), {}, result));
  EXPECT_TRUE(result.isNull());

  VMCPRegistry::Unregister("one");
  EXPECT_TRUE(destroyed);  // the registry held the only reference
  VMCPRegistry::Unregister("two");
  EXPECT_TRUE(VMCPRegistry::Names().empty());
}

}  // namespace
