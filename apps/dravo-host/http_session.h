// MCP sessions of the HTTP transport: each owns a server core of its own and
// hands every outgoing line to the POST that waits for it.
#pragma once

#include <dravo-host/mcp_server.h>

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
  void push(std::string line, bool answer);
  // Ends the exchange without an answer (the client cancelled the request).
  void abandon();
  struct Line {
    std::string text;
    bool answer;
  };
  // Waits for the next line; nullopt once the answer or abandonment was taken.
  std::optional<Line> next();
  // Without waiting: the lines there now; `over` once nothing more comes.
  std::vector<Line> take(bool& over);
  // Called on the pushing thread after each line and at the end, until
  // replaced (by nullptr to stop); it must not wait.
  void watch(std::function<void()> wake);

 private:
  void pushed(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Line> lines_;
  std::function<void()> wake_;
  bool ended_ = false;  // nothing more comes after lines_
};

class HttpSession {
 public:
  explicit HttpSession(const ServerOptions& options);

  // The exchange for a request id (JSON text); nullptr while one with the same
  // id is still open.
  std::shared_ptr<Exchange> open(const std::string& request);
  // Lets a cancelled request's waiter go.
  void abandon(const std::string& request);
  McpServer& server() { return *server_; }

  // True when no request is open and the last one ended before `since`.
  bool idleSince(std::chrono::steady_clock::time_point since);
  // Marks it used now; an idle session expires counting from its last use.
  void touch();

 private:
  void route(std::string line, const LineRoute& where);

  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Exchange>> open_;
  std::chrono::steady_clock::time_point lastUse_ = std::chrono::steady_clock::now();
  std::unique_ptr<McpServer> server_;  // last: drained before the rest goes
};

// Sessions by id, with a bound on their number and expiry when idle. A
// session idle for longer than the limit is gone at once, whether or not the
// sweeper has come by yet.
class SessionTable {
 public:
  SessionTable(std::size_t limit, std::chrono::milliseconds idleLimit);
  ~SessionTable();

  bool full();
  // The id under which the session is kept; empty when the table is full.
  std::string admit(std::shared_ptr<HttpSession> session);
  std::shared_ptr<HttpSession> find(const std::string& id);
  bool end(const std::string& id);

 private:
  using Sessions = std::vector<std::shared_ptr<HttpSession>>;
  // Takes the expired sessions out; the caller lets them go after unlocking,
  // as ending one waits for its requests.
  Sessions removeIdle();
  void sweep();

  const std::size_t limit_;
  const std::chrono::milliseconds idleLimit_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::map<std::string, std::shared_ptr<HttpSession>> sessions_;
  std::thread sweeper_;  // last: started when the rest is ready
};

// 128 random bits from the system's secure source, as 32 hex digits.
std::string NewSessionId();

}  // namespace dravo::host
