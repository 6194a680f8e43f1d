#include <qarn/mcp/features.h>
#include <qarn/mcp/registry.h>

#include <mutex>
#include <vector>

namespace Qarn::mcp {

bool VMCPToolProvider::runTool(const std::string&, const VMCPJsonValue&, const VMCPCallContext&,
                               VMCPToolResult&) {
  return false;
}
void VMCPToolProvider::declareResources(VMCPJsonValue&) {}
void VMCPToolProvider::declareResourceTemplates(VMCPJsonValue&) {}
bool VMCPToolProvider::readResource(const std::string&, const VMCPCallContext&,
                                    VMCPResourceResult&) {
  return false;
}
void VMCPToolProvider::declarePrompts(VMCPJsonValue&) {}
bool VMCPToolProvider::getPrompt(const std::string&, const VMCPJsonValue&, const VMCPCallContext&,
                                 VMCPPromptResult&) {
  return false;
}
bool VMCPToolProvider::complete(const VMCPCompletionRequest&, VMCPCompletion&) {
  return false;
}

namespace {

// The live providers, each held for the length of the question.
std::vector<Brasko::StrongPtr<VMCPToolProvider>> Providers() {
  std::vector<Brasko::StrongPtr<VMCPToolProvider>> providers;
  for (const auto& name : VMCPRegistry::Names())
    if (auto provider = VMCPRegistry::Find(name); provider.alive())
      providers.push_back(std::move(provider));
  return providers;
}

template <typename Declare>
VMCPJsonValue Collect(Declare declare) {
  auto all = VMCPJsonValue::MakeArray();
  for (auto& provider : Providers()) declare(*provider, all);
  return all;
}

}  // namespace

VMCPFeatures::ToolAnswer VMCPFeatures::RunTool(const std::string& tool,
                                               const VMCPJsonValue& arguments,
                                               const VMCPCallContext& context,
                                               VMCPToolResult& content, VMCPJsonValue& object) {
  for (auto& provider : Providers()) {
    if (provider->runTool(tool, arguments, context, content)) return ToolAnswer::Content;
    if (provider->callTool(tool, arguments, context, object)) return ToolAnswer::Object;
  }
  return ToolAnswer::Unknown;
}

VMCPJsonValue VMCPFeatures::ListResources() {
  return Collect([](VMCPToolProvider& p, VMCPJsonValue& all) { p.declareResources(all); });
}

VMCPJsonValue VMCPFeatures::ListResourceTemplates() {
  return Collect([](VMCPToolProvider& p, VMCPJsonValue& all) { p.declareResourceTemplates(all); });
}

VMCPJsonValue VMCPFeatures::ListPrompts() {
  return Collect([](VMCPToolProvider& p, VMCPJsonValue& all) { p.declarePrompts(all); });
}

bool VMCPFeatures::ReadResource(const std::string& uri, const VMCPCallContext& context,
                                VMCPResourceResult& result) {
  for (auto& provider : Providers())
    if (provider->readResource(uri, context, result)) return true;
  return false;
}

bool VMCPFeatures::GetPrompt(const std::string& name, const VMCPJsonValue& arguments,
                             const VMCPCallContext& context, VMCPPromptResult& result) {
  for (auto& provider : Providers())
    if (provider->getPrompt(name, arguments, context, result)) return true;
  return false;
}

namespace {
struct ResourceObserver {
  std::mutex mutex;
  std::function<void(const std::string&)> observer;
};
ResourceObserver& Observer() {
  static ResourceObserver& instance = *new ResourceObserver;  // plug-ins may call it at exit
  return instance;
}
}  // namespace

void VMCPFeatures::ResourceUpdated(const std::string& uri) {
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard lock(Observer().mutex);
    observer = Observer().observer;
  }
  if (observer) observer(uri);
}

void VMCPFeatures::SetResourceObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard lock(Observer().mutex);
  Observer().observer = std::move(observer);
}

bool VMCPFeatures::Complete(const VMCPCompletionRequest& request, VMCPCompletion& completion) {
  for (auto& provider : Providers())
    if (provider->complete(request, completion)) return true;
  return false;
}

}  // namespace Qarn::mcp
