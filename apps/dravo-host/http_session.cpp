#include <dravo-host/http_session.h>

#include <algorithm>
#include <random>

namespace dravo::host {

void Exchange::push(std::string line, bool answer) {
  std::unique_lock lock(mutex_);
  if (ended_) return;
  lines_.push_back({std::move(line), answer});
  ended_ = answer;
  pushed(lock);
}

void Exchange::abandon() {
  std::unique_lock lock(mutex_);
  ended_ = true;
  pushed(lock);
}

void Exchange::pushed(std::unique_lock<std::mutex>& lock) {
  // Woken under the lock, so that a watcher that stops watching is never
  // called after it did.
  if (wake_) wake_();
  lock.unlock();
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

std::vector<Exchange::Line> Exchange::take(bool& over) {
  std::lock_guard lock(mutex_);
  std::vector<Line> lines(std::make_move_iterator(lines_.begin()),
                          std::make_move_iterator(lines_.end()));
  lines_.clear();
  over = ended_;
  return lines;
}

void Exchange::watch(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

HttpSession::HttpSession(const ServerOptions& options)
    : server_(std::make_unique<McpServer>(
          options,
          [this](std::string line, const LineRoute& where) { route(std::move(line), where); })) {}

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

void HttpSession::touch() {
  std::lock_guard lock(mutex_);
  lastUse_ = std::chrono::steady_clock::now();
}

void HttpSession::route(std::string line, const LineRoute& where) {
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
  exchange->push(std::move(line), where.answer);
}

SessionTable::SessionTable(std::size_t limit, std::chrono::milliseconds idleLimit)
    : limit_(limit), idleLimit_(idleLimit), sweeper_([this] { sweep(); }) {}

SessionTable::~SessionTable() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  sweeper_.join();
}

bool SessionTable::full() {
  const Sessions expired = removeIdle();
  std::lock_guard lock(mutex_);
  return sessions_.size() >= limit_;
}

std::string SessionTable::admit(std::shared_ptr<HttpSession> session) {
  const Sessions expired = removeIdle();
  std::lock_guard lock(mutex_);
  if (sessions_.size() >= limit_) return {};
  std::string id = NewSessionId();
  sessions_.emplace(id, std::move(session));
  return id;
}

std::shared_ptr<HttpSession> SessionTable::find(const std::string& id) {
  const Sessions expired = removeIdle();
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(id);
  if (found == sessions_.end()) return nullptr;
  found->second->touch();
  return found->second;
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

SessionTable::Sessions SessionTable::removeIdle() {
  const auto since = std::chrono::steady_clock::now() - idleLimit_;
  Sessions expired;
  std::lock_guard lock(mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->idleSince(since)) {
      expired.push_back(std::move(it->second));
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return expired;
}

void SessionTable::sweep() {
  // Often enough that an idle session's workers go soon after it expires.
  const auto period = std::clamp<std::chrono::milliseconds>(
      idleLimit_ / 4, std::chrono::milliseconds(10), std::chrono::minutes(1));
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, period, [this] { return stopping_; })) {
    lock.unlock();
    removeIdle();
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
