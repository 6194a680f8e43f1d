#include <qarn/initialization.h>
#include <qarn/testing.h>

#include <algorithm>
#include <mutex>

namespace Qarn {

namespace {

struct InitState {
  std::mutex mutex;
  std::vector<std::string> plugins;
  testing::InitPluginHook hook;
};

InitState& state() {
  static InitState instance;
  return instance;
}

}  // namespace

VInitialization::VInitialization() = default;
VInitialization::~VInitialization() = default;

bool VInitialization::IsCompatible(const std::string& apiKey) const {
  return apiKey == kApiKey;
}

void VInitialization::initPlugin(InitPluginReason reason, const std::string& pluginName,
                                 const std::string& apiKey) {
  testing::InitPluginHook hook;
  {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (reason == Load) {
      s.plugins.push_back(pluginName);
    } else if (auto it = std::find(s.plugins.begin(), s.plugins.end(), pluginName);
               it != s.plugins.end()) {
      s.plugins.erase(it);
    }
    hook = s.hook;
  }
  if (hook) hook(reason, pluginName, apiKey);
}

}  // namespace Qarn

namespace Qarn::testing {

std::vector<std::string> initialisedPlugins() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.plugins;
}

void setInitPluginHook(InitPluginHook hook) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.hook = std::move(hook);
}

}  // namespace Qarn::testing
