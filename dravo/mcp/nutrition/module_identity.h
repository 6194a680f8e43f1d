// The fixed names by which the module presents itself to the host.
#pragma once

namespace dravo::nutrition {

inline constexpr const char* kPluginName = "dravo_mcp_nutrition";
inline constexpr const char* kApiKey = "TOLM_API_VERSION";
// A hyphen where the plug-in name has an underscore.
inline constexpr const char* kProviderName = "dravo-nutrition";

}  // namespace dravo::nutrition
