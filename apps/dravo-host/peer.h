// One client as the request core sees it: where the lines of its requests
// go, and what its 2025 handshake set up. A stdio client is one peer for the
// life of the process; over HTTP a legacy session is one, and so is each
// sessionless request.
#pragma once

#include <qarn/mcp/json_value.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace dravo::host {

using Qarn::mcp::VMCPJsonValue;

// Where an outgoing line belongs: the id (as JSON text) of the request it
// answers, or of the request a notification reports on; empty for neither.
// `answer` marks the one line that ends the request; an empty answer line
// ends it without one (a cancelled call).
struct LineRoute {
  std::string request;
  bool answer = true;
  int httpStatus = 0;  // an error the HTTP status reports too; 0: 200
};

// What a request works with: from its own `_meta` (stateless) or from the
// session's handshake (legacy).
struct ClientState {
  std::string protocolVersion;
  VMCPJsonValue capabilities;
  VMCPJsonValue info;
};

// The 2025 handshake's state: set once by initialize.
class LegacySession {
 public:
  bool initialized() const;
  // False when it was initialized already.
  bool initialize(ClientState client);
  ClientState client() const;
  bool batches() const;  // the one revision that has batch arrays

 private:
  mutable std::mutex mutex_;
  bool initialized_ = false;
  ClientState client_;
};

class Peer : public std::enable_shared_from_this<Peer> {
 public:
  // Receives each outgoing line without its newline; called under the
  // peer's lock, so lines never interleave.
  using Send = std::function<void(std::string line, const LineRoute& route)>;

  explicit Peer(Send send) : send_(std::move(send)) {}
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  void send(std::string line, const LineRoute& route);
  LegacySession& session() { return session_; }
  // Who the client is, for what outlives a request (its tasks): every peer
  // of one client has the same scope. Set before the first message.
  void setScope(std::string scope) { scope_ = std::move(scope); }
  const std::string& scope() const { return scope_; }

 private:
  std::mutex mutex_;
  Send send_;
  LegacySession session_;
  std::string scope_;
};

}  // namespace dravo::host
