// Test hooks of the object library. Plug-ins and the application never use them.
#pragma once

#include <qarn/export.h>
#include <qarn/initialization.h>

#include <functional>
#include <string>
#include <vector>

namespace Qarn::testing {

using InitPluginHook = std::function<void(VInitialization::InitPluginReason,
                                          const std::string& plugin, const std::string& apiKey)>;

// Plug-ins that announced their load and not yet their unload, in order.
QARN_API std::vector<std::string> initialisedPlugins();
// Watches initPlugin calls; empty to stop.
QARN_API void setInitPluginHook(InitPluginHook hook);

}  // namespace Qarn::testing
