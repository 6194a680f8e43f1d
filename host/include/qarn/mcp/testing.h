// Test hooks of the MCP library. Plug-ins and the application never use them.
#pragma once

#include <qarn/mcp/export.h>

#include <functional>
#include <string>

namespace Qarn::mcp::testing {

enum class RegistryEvent { Registered, Unregistered };
using RegistryObserver = std::function<void(RegistryEvent, const std::string& name)>;

// Watches provider registrations; empty to stop.
QARN_MCP_API void setRegistryObserver(RegistryObserver observer);

}  // namespace Qarn::mcp::testing
