// The HTTP transport's peers: the exchange that carries one request's lines
// back to its POST, and the legacy sessions of 2025-era clients.
#pragma once

#include <dravo-host/mcp_server.h>
#include <dravo-host/peer.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace dravo::host {

// The lines of one request on their way back, up to and with its answer.
class Exchange {
 public:
  struct Line {
    std::string text;
    bool answer;
    int httpStatus = 0;
  };
  void push(Line line);
  // Ends the exchange without an answer (the request was cancelled).
  void abandon();
  // Without waiting: the lines there now; `over` once nothing more comes.
  std::vector<Line> take(bool& over);
  // Called on the pushing thread after each line and at the end, until
  // replaced (by nullptr to stop), and at once when lines wait already; it
  // must not wait.
  void watch(std::function<void()> wake);

 private:
  std::mutex mutex_;
  std::deque<Line> lines_;
  std::function<void()> wake_;
  bool ended_ = false;  // nothing more comes after lines_
};

// A peer whose request lines go to the exchanges of their POSTs: a legacy
// session, or one sessionless request.
class HttpPeer {
 public:
  HttpPeer();
  // The exchange for a request id (JSON text); nullptr while one with the
  // same id is still open.
  std::shared_ptr<Exchange> open(const std::string& request);
  // Lets a request's waiter go without an answer.
  void abandon(const std::string& request);
  const PeerPtr& peer() const { return peer_; }

  // True when no request is open.
  bool idle();
  std::chrono::steady_clock::time_point lastUse();
  // Marks it used now; an idle session expires counting from its last use.
  void touch();

 private:
  // Shared with the peer's sender, which calls may hold after this is gone.
  struct Routes {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Exchange>> open;
    std::chrono::steady_clock::time_point lastUse = std::chrono::steady_clock::now();
    void route(std::string line, const LineRoute& where);
    void abandon(const std::string& request);
  };
  std::shared_ptr<Routes> routes_ = std::make_shared<Routes>();
  PeerPtr peer_;
};

// Legacy sessions by id, with a bound on their number and expiry when idle.
// A session idle for longer than the limit is gone at once, whether or not
// the sweeper has come by yet; at the bound, the one idle longest makes room.
class SessionTable {
 public:
  SessionTable(McpServer& server, std::size_t limit, std::chrono::milliseconds idleLimit);
  ~SessionTable();

  // The id under which the session is kept; empty when every session is busy.
  std::string admit(std::shared_ptr<HttpPeer> session);
  std::shared_ptr<HttpPeer> find(const std::string& id);
  bool end(const std::string& id);

 private:
  using Sessions = std::vector<std::shared_ptr<HttpPeer>>;
  // Takes the expired sessions out; the caller ends them after unlocking.
  Sessions removeIdle();
  void endAll(const Sessions& sessions);
  void sweep();

  McpServer& server_;
  const std::size_t limit_;
  const std::chrono::milliseconds idleLimit_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::map<std::string, std::shared_ptr<HttpPeer>> sessions_;
  std::thread sweeper_;  // last: started when the rest is ready
};

// 128 random bits from the system's secure source, as 32 hex digits.
std::string NewSessionId();

}  // namespace dravo::host
