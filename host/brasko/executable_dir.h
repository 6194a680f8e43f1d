// Where the running application lives.
#pragma once

#include <brasko/export.h>

#include <optional>
#include <string>

namespace Brasko {

// The directory of the running executable as UTF-8; empty when unknown.
BRASKO_API std::string getExecutableDir();

// Lets a test pick the directory that getExecutableDir reports; nullopt
// goes back to the real one. The application never calls this.
BRASKO_API void setExecutableDirOverride(std::optional<std::string> directory);

}  // namespace Brasko
