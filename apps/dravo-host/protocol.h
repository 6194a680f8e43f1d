// The wire vocabulary both protocol eras share: error codes, versions, the
// keys a stateless request carries in `_meta`, and the lines that frame a
// result or an error.
#pragma once

#include <qarn/mcp/json_value.h>

#include <string>
#include <string_view>
#include <vector>

namespace dravo::host {

using Qarn::mcp::VMCPJsonValue;

// JSON-RPC and MCP error codes.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kNotInitialized = -32002,
  kUnsupportedProtocolVersion = -32022,
  kHeaderMismatch = -32020,
};

// The stateless revision: no handshake, every request says who it is.
inline constexpr std::string_view kStatelessVersion = "2026-07-28";
// Where a stateless request carries what a session used to hold.
inline constexpr const char* kMetaProtocolVersion = "io.modelcontextprotocol/protocolVersion";
inline constexpr const char* kMetaClientCapabilities = "io.modelcontextprotocol/clientCapabilities";
inline constexpr const char* kMetaClientInfo = "io.modelcontextprotocol/clientInfo";
inline constexpr const char* kMetaServerInfo = "io.modelcontextprotocol/serverInfo";
inline constexpr const char* kMetaSubscriptionId = "io.modelcontextprotocol/subscriptionId";

// The revisions of the initialize handshake, newest first; the first one is
// offered when the client's is unknown.
const std::vector<std::string>& SupportedProtocolVersions();
std::string NegotiateProtocolVersion(const std::string& requested);
// Every revision the server speaks, newest first.
const std::vector<std::string>& AllProtocolVersions();
bool IsSupportedVersion(std::string_view version);

// A request that ends in a JSON-RPC error instead of a result.
struct RpcError {
  int code;
  std::string message;
  VMCPJsonValue data = VMCPJsonValue();  // null: none
  int httpStatus = 0;                    // what an HTTP transport answers with it; 0: 200
};

bool IsRequestId(const VMCPJsonValue& id);
std::string Quoted(const std::string& text);

// A result line up to where the result's JSON text goes.
std::string ResultLinePrefix(const VMCPJsonValue& id);
std::string ErrorLine(const VMCPJsonValue& id, const RpcError& error);

}  // namespace dravo::host
