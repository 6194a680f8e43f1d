#include "fake_tools.h"

#include <gtest/gtest.h>

namespace {

using dravo::testing::VMCPJsonValue;
using Qarn::mcp::VMCPRegistry;

TEST(McpRegistry, ListsAcrossProvidersRoutesCallsAndReleasesOnUnregister) {
  std::vector<Brasko::WeakPtr<dravo::testing::FakeTools>> providers;
  for (const std::string tool : {"first", "second"}) {
    auto provider = Brasko::MakeStrong<dravo::testing::FakeTools>();
    provider->tools[tool] = [](const VMCPJsonValue& arguments, auto&) { return arguments; };
    VMCPRegistry::Register(tool, provider);
    providers.emplace_back(provider);
  }
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
  VMCPRegistry::Unregister("first");
  EXPECT_TRUE(!providers[0].alive() && providers[1].alive());  // it held the only reference
  VMCPRegistry::Unregister("second");
  EXPECT_TRUE(VMCPRegistry::Names().empty());
}

}  // namespace
