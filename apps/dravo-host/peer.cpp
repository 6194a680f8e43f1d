#include <dravo-host/peer.h>

namespace dravo::host {

bool LegacySession::initialized() const {
  std::lock_guard lock(mutex_);
  return initialized_;
}

bool LegacySession::initialize(ClientState client) {
  std::lock_guard lock(mutex_);
  if (initialized_) return false;
  client_ = std::move(client);
  initialized_ = true;
  return true;
}

ClientState LegacySession::client() const {
  std::lock_guard lock(mutex_);
  return client_;
}

bool LegacySession::batches() const {
  std::lock_guard lock(mutex_);
  return initialized_ && client_.protocolVersion == "2025-03-26";
}

void Peer::send(std::string line, const LineRoute& route) {
  std::lock_guard lock(mutex_);
  send_(std::move(line), route);
}

}  // namespace dravo::host
