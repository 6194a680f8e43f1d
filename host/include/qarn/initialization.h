// How plug-ins announce themselves to the application.
#pragma once

#include <qarn/api_version.h>
#include <qarn/export.h>

#include <string>

namespace Qarn {

// The application's API version, the first half of a plug-in's export name.
inline constexpr const char* kApiVersionTag = QARN_API_VERSION_TAG;
// The key a plug-in asks about.
inline constexpr const char* kApiKey = "TOLM_API_VERSION";

class QARN_API VInitialization {
 public:
  enum InitPluginReason : int { Load = 0, Unload = 1 };

  VInitialization();
  virtual ~VInitialization();

  // True when the plug-in's API key is the one this application speaks.
  virtual bool IsCompatible(const std::string& apiKey) const;

  static void initPlugin(InitPluginReason reason, const std::string& pluginName,
                         const std::string& apiKey);
};

}  // namespace Qarn
