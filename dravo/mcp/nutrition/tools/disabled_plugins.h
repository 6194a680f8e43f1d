// Plug-in files the application renamed to *.tolm~ after a failed load.
#pragma once

#include <qarn/mcp/json_value.h>

namespace dravo::nutrition {

// Bare names of the regular files ending in ".tolm~" at depth 0 to 2 below
// the executable directory, in walk order. Never fails: on any error it
// answers with what it had found so far.
Qarn::mcp::VMCPJsonValue DisabledPlugins();

}  // namespace dravo::nutrition
