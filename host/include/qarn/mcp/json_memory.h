// Memory that the MCP library's JSON values keep for reuse.
#pragma once

#include <qarn/mcp/export.h>

namespace Qarn::mcp {

// Each thread keeps the blocks of the JSON values it frees, for the values it
// builds next. This gives the calling thread's back: for a thread that will
// be idle for a while. A thread's blocks also go when it ends.
QARN_MCP_API void ReleaseJsonBlocks() noexcept;

}  // namespace Qarn::mcp
