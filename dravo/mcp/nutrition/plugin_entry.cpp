// Entry of the plug-in: the one export and the load/unload steps.
//
// The steps are tied to two static objects, constructed when the platform
// attaches the module and destroyed in reverse order when it detaches it,
// so the host sees initPlugin(0), Register ... Unregister, initPlugin(1).
#include <dravo/mcp/nutrition/module_identity.h>
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>

#include <qarn/initialization.h>
#include <qarn/mcp/registry.h>

#if defined(_WIN32)
#  define DRAVO_EXPORT __declspec(dllexport)
#else
#  define DRAVO_EXPORT __attribute__((visibility("default")))
#endif

// The one export, named by the build: API tag, two underscores, plug-in name.
extern "C" DRAVO_EXPORT bool DRAVO_PLUGIN_ENTRY(Qarn::VInitialization* initialization) {
  return initialization->IsCompatible(dravo::nutrition::kApiKey);
}

namespace {

using dravo::nutrition::kApiKey;
using dravo::nutrition::kPluginName;
using dravo::nutrition::kProviderName;

struct PluginAnnouncement {
  PluginAnnouncement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Load, kPluginName, kApiKey);
  }
  ~PluginAnnouncement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Unload, kPluginName, kApiKey);
  }
};

struct ProviderRegistration {
  ProviderRegistration() {
    // The registry's reference is the only one once ours goes out of scope.
    Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider> provider(new Qarn::VNutritionMCPTools);
    Qarn::mcp::VMCPRegistry::Register(kProviderName, provider);
  }
  ~ProviderRegistration() {
    dravo::nutrition::DestroyNutritionMutex();
    Qarn::mcp::VMCPRegistry::Unregister(kProviderName);
  }
};

// Order matters: construction runs top to bottom, destruction bottom to top.
const PluginAnnouncement announcement;
const ProviderRegistration registration;

}  // namespace
