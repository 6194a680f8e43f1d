#include <qarn/mcp/registry.h>
#include <qarn/mcp/testing.h>

#include <mutex>
#include <utility>

namespace Qarn::mcp {

VMCPToolProvider::~VMCPToolProvider() = default;

namespace {

struct Entry {
  std::string name;
  Brasko::StrongPtr<VMCPToolProvider> provider;
};

struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
  testing::RegistryObserver observer;
};

// Never destroyed: a plug-in's static registration may unregister at exit
// after this library's statics are gone, whichever order they die in.
Registry& registry() {
  static Registry& instance = *new Registry;
  return instance;
}

std::vector<Entry> snapshot() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  return r.entries;
}

void notify(testing::RegistryEvent event, const std::string& name) {
  testing::RegistryObserver observer;
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    observer = r.observer;
  }
  if (observer) observer(event, name);
}

}  // namespace

void VMCPRegistry::Register(const std::string& name,
                            const Brasko::StrongPtr<VMCPToolProvider>& provider) {
  Brasko::StrongPtr<VMCPToolProvider> replaced;  // released outside the lock
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    bool found = false;
    for (auto& entry : r.entries) {
      if (entry.name != name) continue;
      replaced = std::exchange(entry.provider, provider);
      found = true;
    }
    if (!found) r.entries.push_back({name, provider});
  }
  notify(testing::RegistryEvent::Registered, name);
}

void VMCPRegistry::Unregister(const std::string& name) {
  std::vector<Entry> removed;
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.entries.begin(); it != r.entries.end();) {
      if (it->name == name) {
        removed.push_back(std::move(*it));
        it = r.entries.erase(it);
      } else {
        ++it;
      }
    }
  }
  notify(testing::RegistryEvent::Unregistered, name);
  removed.clear();  // the provider goes here, after the observer saw the event
}

Brasko::StrongPtr<VMCPToolProvider> VMCPRegistry::Find(const std::string& name) {
  for (auto& entry : snapshot())
    if (entry.name == name) return entry.provider;
  return {};
}

std::vector<std::string> VMCPRegistry::Names() {
  std::vector<std::string> names;
  for (const auto& entry : snapshot()) names.push_back(entry.name);
  return names;
}

VMCPJsonValue VMCPRegistry::ListTools() {
  auto tools = VMCPJsonValue::MakeArray();
  for (auto& entry : snapshot())
    if (entry.provider.alive()) entry.provider->declareTools(tools);
  return tools;
}

bool VMCPRegistry::CallTool(const std::string& tool, const VMCPJsonValue& arguments,
                            const VMCPCallContext& context, VMCPJsonValue& result) {
  for (auto& entry : snapshot())
    if (entry.provider.alive() && entry.provider->callTool(tool, arguments, context, result))
      return true;
  return false;
}

void testing::setRegistryObserver(RegistryObserver observer) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.observer = std::move(observer);
}

}  // namespace Qarn::mcp
