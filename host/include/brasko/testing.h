// Test hooks of the core library. Plug-ins and the application never use them.
#pragma once

#include <brasko/export.h>

#include <optional>
#include <string>

namespace Brasko::testing {

// Picks the directory that getExecutableDir reports; nullopt goes back to the real one.
BRASKO_API void setExecutableDirOverride(std::optional<std::string> directory);

}  // namespace Brasko::testing
