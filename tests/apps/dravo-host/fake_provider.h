// A tool provider whose tools each test scripts, registered for one test.
#pragma once

#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>

#include <functional>
#include <map>
#include <string>

namespace dravo::testing {

using Qarn::mcp::VMCPCallContext;
using Qarn::mcp::VMCPJsonValue;

class FakeProvider : public Qarn::mcp::VMCPToolProvider {
 public:
  using Tool = std::function<VMCPJsonValue(const VMCPJsonValue&, const VMCPCallContext&)>;
  std::map<std::string, Tool> tools;

  void declareTools(VMCPJsonValue& list) override {
    for (const auto& [name, tool] : tools)
      list.push_back(
          Qarn::mcp::DeclareTool(name, "test tool " + name, VMCPJsonValue::MakeObject(), {}));
  }
  bool callTool(const std::string& name, const VMCPJsonValue& arguments,
                const VMCPCallContext& context, VMCPJsonValue& result) override {
    auto found = tools.find(name);
    if (found == tools.end()) return false;
    result = found->second(arguments, context);
    return true;
  }
};

// Registers a FakeProvider under "fake" for the life of the guard.
struct RegisteredFake {
  Brasko::StrongPtr<FakeProvider> provider = Brasko::MakeStrong<FakeProvider>();
  RegisteredFake() { Qarn::mcp::VMCPRegistry::Register("fake", provider); }
  ~RegisteredFake() { Qarn::mcp::VMCPRegistry::Unregister("fake"); }
};

}  // namespace dravo::testing
