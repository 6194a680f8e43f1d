// The MCP methods of the host. Each appends its result object's JSON text to
// `out` or throws RpcError; the request core frames it into a line.
#pragma once

#include <dravo-host/protocol.h>
#include <dravo-host/request_context.h>

#include <qarn/mcp/json_value.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace dravo::host {

struct ServerOptions;

void Discover(const ServerOptions& server, std::string& out);
void InitializeResult(const ServerOptions& server, const std::string& version, std::string& out);
void ListTools(const VMCPJsonValue& params, const RequestContext& context, std::string& out);
// Runs the tool on the calling thread; progress and cancellation go through
// the context.
void CallTool(const VMCPJsonValue& params, RequestContext& context, std::string& out);

// Appends the JSON text of the MCP tool result that carries a provider's
// result, which it consumes.
void AppendToolResult(VMCPJsonValue result, std::string& out);
// Adds what every stateless result carries (resultType, the server's info
// in `_meta`, beside the members of `meta`) to the result object that runs
// from `start` to the end of `out`.
void FinishStatelessResult(const ServerOptions& server, std::size_t start, std::string& out,
                           std::string_view resultType = "complete",
                           VMCPJsonValue meta = VMCPJsonValue::MakeObject());

}  // namespace dravo::host
