// A tool provider whose tools each test scripts, and a guard that registers
// one for the life of a test. Every tool declares a property of each kind.
#pragma once

#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>

#include <functional>
#include <map>
#include <string>

namespace dravo::testing {

using Qarn::mcp::VMCPCallContext;
using Qarn::mcp::VMCPJsonValue;
using Tool = std::function<VMCPJsonValue(const VMCPJsonValue&, const VMCPCallContext&)>;

struct FakeTools : Qarn::mcp::VMCPToolProvider {
  std::map<std::string, Tool> tools;
  void declareTools(VMCPJsonValue& list) override {
    auto props = VMCPJsonValue::MakeObject();
    props["p"] = Qarn::mcp::StringProp("d");
    props["f"] = Qarn::mcp::StringArrayProp("e");
    props["b"] = Qarn::mcp::BoolProp("g");
    for (const auto& entry : tools)
      list.push_back(Qarn::mcp::DeclareTool(entry.first, "t", props, {"p"}));
  }
  bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                const VMCPCallContext& context, VMCPJsonValue& result) override {
    const auto found = tools.find(name);
    if (found == tools.end()) return false;
    result = found->second(arguments, context);
    return true;
  }
};

struct RegisteredTools {
  Brasko::StrongPtr<FakeTools> fake = Brasko::MakeStrong<FakeTools>();
  RegisteredTools() { Qarn::mcp::VMCPRegistry::Register("fake", fake); }
  ~RegisteredTools() { Qarn::mcp::VMCPRegistry::Unregister("fake"); }
  std::map<std::string, Tool>& operator*() { return fake->tools; }
};

}  // namespace dravo::testing
