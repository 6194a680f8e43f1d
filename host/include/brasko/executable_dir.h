// Where the running application lives.
#pragma once

#include <brasko/export.h>

#include <string>

namespace Brasko {

// The directory of the running executable as UTF-8; empty when unknown.
BRASKO_API std::string getExecutableDir();

}  // namespace Brasko
