// Everything one request works with beyond its parameters. A stateless
// request brings it in `_meta`; a legacy session's handshake supplies it
// otherwise, so the methods below never ask which era they serve.
#pragma once

#include <dravo-host/peer.h>

#include <qarn/mcp/json_value.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace dravo::host {

struct ServerOptions;

// A call's cancellation: set once, by the client or by shutdown. The mutex
// makes "not cancelled, so send" one step, so nothing goes out after it. A
// client that cancelled expects no answer; one whose call shutdown stopped
// gets the answer the stopped call gave.
struct Cancellation {
  std::atomic<bool> requested{false};
  bool byServer = false;
  std::mutex mutex;
};

struct RequestContext {
  VMCPJsonValue id;
  std::string request;  // the id as JSON text
  ClientState client;
  bool stateless = false;  // the 2026-07-28 era: results carry resultType and server info
  const char* resultType = "complete";  // or "input_required" when it asks the client first
  const ServerOptions* server = nullptr;
  std::shared_ptr<Cancellation> cancellation = std::make_shared<Cancellation>();
  // Sends a notification about this request unless it was cancelled.
  std::function<void(const VMCPJsonValue& notification)> notify;
  // Progress goes to `notify` even when the client gave no token.
  bool reportProgress = false;
};

}  // namespace dravo::host
