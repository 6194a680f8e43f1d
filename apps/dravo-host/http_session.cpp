#include <dravo-host/http_session.h>

#include <random>
#include <vector>

namespace dravo::host {

void Exchange::push(std::string line, bool answer) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    lines_.push_back({std::move(line), answer});
    ended_ = answer;
  }
  ready_.notify_one();
}

void Exchange::abandon() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  ready_.notify_one();
}

std::optional<Exchange::Line> Exchange::next() {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [this] { return ended_ || !lines_.empty(); });
  if (lines_.empty()) return std::nullopt;
  Line line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

HttpSession::HttpSession(const ServerOptions& options)
    : server_(std::make_unique<McpServer>(
          options,
          [this](const std::string& line, const LineRoute& where) { route(line, where); })) {}

std::shared_ptr<Exchange> HttpSession::open(const std::string& request) {
  std::lock_guard lock(mutex_);
  auto& slot = open_[request];
  if (slot) return nullptr;
  slot = std::make_shared<Exchange>();
  return slot;
}

void HttpSession::abandon(const std::string& request) {
  std::shared_ptr<Exchange> exchange;
  {
    std::lock_guard lock(mutex_);
    auto found = open_.find(request);
    if (found == open_.end()) return;
    exchange = std::move(found->second);
    open_.erase(found);
    lastUse_ = std::chrono::steady_clock::now();
  }
  exchange->abandon();
}

bool HttpSession::idleSince(std::chrono::steady_clock::time_point since) {
  std::lock_guard lock(mutex_);
  return open_.empty() && lastUse_ < since;
}

void HttpSession::route(const std::string& line, const LineRoute& where) {
  std::shared_ptr<Exchange> exchange;
  {
    std::lock_guard lock(mutex_);
    auto found = open_.find(where.request);
    if (found == open_.end()) return;  // nobody waits: the request was cancelled
    exchange = found->second;
    if (where.answer) {
      open_.erase(found);
      lastUse_ = std::chrono::steady_clock::now();
    }
  }
  exchange->push(line, where.answer);
}

SessionTable::SessionTable(std::size_t limit, std::chrono::seconds idleLimit)
    : limit_(limit), idleLimit_(idleLimit), sweeper_([this] { expireIdle(); }) {}

SessionTable::~SessionTable() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  sweeper_.join();
}

bool SessionTable::full() {
  std::lock_guard lock(mutex_);
  return sessions_.size() >= limit_;
}

std::string SessionTable::admit(std::shared_ptr<HttpSession> session) {
  std::lock_guard lock(mutex_);
  if (sessions_.size() >= limit_) return {};
  std::string id = NewSessionId();
  sessions_.emplace(id, std::move(session));
  return id;
}

std::shared_ptr<HttpSession> SessionTable::find(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(id);
  return found == sessions_.end() ? nullptr : found->second;
}

bool SessionTable::end(const std::string& id) {
  std::shared_ptr<HttpSession> ended;  // released outside the lock: it drains
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(id);
  if (found == sessions_.end()) return false;
  ended = std::move(found->second);
  sessions_.erase(found);
  return true;
}

void SessionTable::expireIdle() {
  const auto period = std::max<std::chrono::seconds>(idleLimit_ / 4, std::chrono::seconds(1));
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, period, [this] { return stopping_; })) {
    const auto since = std::chrono::steady_clock::now() - idleLimit_;
    std::vector<std::shared_ptr<HttpSession>> expired;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (it->second->idleSince(since)) {
        expired.push_back(std::move(it->second));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
    lock.unlock();
    expired.clear();
    lock.lock();
  }
}

std::string NewSessionId() {
  static std::mutex mutex;
  static std::random_device source;
  static const char* const kHex = "0123456789abcdef";
  std::string id;
  std::lock_guard lock(mutex);
  for (int word = 0; word < 4; ++word) {
    auto bits = source();
    for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4) id += kHex[bits & 0xf];
  }
  return id;
}

}  // namespace dravo::host
