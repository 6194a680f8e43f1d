// What the server knows about the call being made, and what the call may use
// of it: cancellation, progress, the client's capabilities and the answers
// the client gave to the call's earlier input requests.
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace Qarn::mcp {

struct QARN_MCP_API VMCPCallContext {
  std::string requestId;                         // the JSON-RPC id as text; empty outside a request
  const std::atomic<bool>* cancelled = nullptr;  // set when the client gave up on the request
  // Sends one progress report when the client asked for them; false once
  // the call was cancelled. Empty when nobody listens.
  std::function<bool(double progress, double total, const std::string& message)> progress;
  // The client's declared capabilities (an object); null when unknown.
  const VMCPJsonValue* clientCapabilities = nullptr;
  // On a retry: the client's answers by input request key, and the state the
  // provider handed out with the requests, checked by the server. Null on a
  // first call.
  const VMCPJsonValue* inputResponses = nullptr;
  const VMCPJsonValue* requestState = nullptr;

  bool isCancelled() const noexcept { return cancelled && cancelled->load(); }
  // total 0: unknown. True while the call goes on.
  bool reportProgress(double done, double total = 0, const std::string& message = {}) const;
  // Whether the client declared the capability ("elicitation", "sampling", ...).
  bool clientSupports(std::string_view capability) const;
  // The answer under the key, or a null value.
  const VMCPJsonValue& inputResponse(std::string_view key) const;
  // The content the user accepted under the key; null when they declined,
  // cancelled or were not asked.
  const VMCPJsonValue& acceptedContent(std::string_view key) const;
};

}  // namespace Qarn::mcp
