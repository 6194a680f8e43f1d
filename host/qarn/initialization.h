// How plug-ins announce themselves to the application.
#pragma once

#include <qarn/export.h>

#include <functional>
#include <string>
#include <vector>

namespace Qarn {

// The application's API version, the first half of a plug-in's export name.
inline constexpr const char* kApiVersionTag = "TOLM_API_2026_OCT_02";
// The key a plug-in asks about.
inline constexpr const char* kApiKey = "TOLM_API_VERSION";

class QARN_API VInitialization {
 public:
  enum InitPluginReason : int { Load = 0, Unload = 1 };
  using InitPluginHook =
      std::function<void(InitPluginReason, const std::string& plugin, const std::string& apiKey)>;

  VInitialization();
  virtual ~VInitialization();

  // True when the plug-in's API key is the one this application speaks.
  virtual bool IsCompatible(const std::string& apiKey) const;

  static void initPlugin(InitPluginReason reason, const std::string& pluginName,
                         const std::string& apiKey);
  // Plug-ins that announced their load and not yet their unload, in order.
  static std::vector<std::string> initialisedPlugins();
  // Lets the host (and tests) watch initPlugin calls; empty to stop.
  static void setInitPluginHook(InitPluginHook hook);
};

}  // namespace Qarn
