#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>

#include <gtest/gtest.h>

namespace {

using Qarn::mcp::VMCPJsonValue;
using Qarn::mcp::VMCPRegistry;

// Declares one tool, with a property of each kind, and answers it with its arguments.
struct EchoProvider : Qarn::mcp::VMCPToolProvider {
  EchoProvider(std::string tool, bool& destroyed) : tool(std::move(tool)), destroyed(destroyed) {}
  ~EchoProvider() override { destroyed = true; }
  void declareTools(VMCPJsonValue& tools) override {
    auto props = VMCPJsonValue::MakeObject();
    props["p"] = Qarn::mcp::StringProp("d");
    props["f"] = Qarn::mcp::StringArrayProp("e");
    props["b"] = Qarn::mcp::BoolProp("g");
    tools.push_back(Qarn::mcp::DeclareTool(tool, "t", props, {"p"}));
  }
  bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                const Qarn::mcp::VMCPCallContext&, VMCPJsonValue& result) override {
    if (name == tool) result = arguments;
    return name == tool;
  }
  std::string tool;
  bool& destroyed;
};

TEST(McpRegistry, ListsAcrossProvidersRoutesCallsAndReleasesOnUnregister) {
  bool destroyed[2] = {false, false};
  VMCPRegistry::Register("one", Brasko::MakeStrong<EchoProvider>("first", destroyed[0]));
  VMCPRegistry::Register("two", Brasko::MakeStrong<EchoProvider>("second", destroyed[1]));
  const std::string schema =
      R"("description":"t","inputSchema":{"type":"object","properties":{"p":{"type":"string",)"
      R"("description":"d"},"f":{"type":"array","items":{"type":"string"},"description":"e"},)"
      R"("b":{"type":"boolean","description":"g"}},"required":["p"]}})";
  EXPECT_EQ(VMCPRegistry::ListTools().dump(),
            R"([{"name":"first",)" + schema + R"(,{"name":"second",)" + schema + "]");
  VMCPJsonValue result;
  EXPECT_TRUE(VMCPRegistry::CallTool("second", VMCPJsonValue("hi"), {}, result));
  EXPECT_EQ(result.asString(), "hi");
  result = VMCPJsonValue();
  EXPECT_FALSE(VMCPRegistry::CallTool("third", VMCPJsonValue("hi"), {}, result));
  EXPECT_TRUE(result.isNull());
  VMCPRegistry::Unregister("one");
  EXPECT_TRUE(destroyed[0] && !destroyed[1]);  // the registry held the only reference
  VMCPRegistry::Unregister("two");
  EXPECT_TRUE(VMCPRegistry::Names().empty());
}

}  // namespace
