#include <dravo-host/http_session.h>

#include <algorithm>
#include <random>

namespace dravo::host {

void Exchange::push(Line line) {
  std::lock_guard lock(mutex_);
  if (ended_) return;
  ended_ = line.answer;
  lines_.push_back(std::move(line));
  // Woken under the lock, so that a watcher that stops watching is never
  // called after it did.
  if (wake_) wake_();
}

void Exchange::abandon() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  if (wake_) wake_();
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
  // What came before the watcher did would otherwise wait for the next line.
  if (wake_ && (ended_ || !lines_.empty())) wake_();
}

HttpPeer::HttpPeer()
    : peer_(std::make_shared<Peer>([routes = routes_](std::string line, const LineRoute& where) {
        routes->route(std::move(line), where);
      })) {}

std::shared_ptr<Exchange> HttpPeer::open(const std::string& request) {
  std::lock_guard lock(routes_->mutex);
  auto& slot = routes_->open[request];
  if (slot) return nullptr;
  slot = std::make_shared<Exchange>();
  return slot;
}

void HttpPeer::abandon(const std::string& request) {
  routes_->abandon(request);
}

bool HttpPeer::idle() {
  std::lock_guard lock(routes_->mutex);
  return routes_->open.empty();
}

std::chrono::steady_clock::time_point HttpPeer::lastUse() {
  std::lock_guard lock(routes_->mutex);
  return routes_->lastUse;
}

void HttpPeer::touch() {
  std::lock_guard lock(routes_->mutex);
  routes_->lastUse = std::chrono::steady_clock::now();
}

void HttpPeer::Routes::abandon(const std::string& request) {
  std::shared_ptr<Exchange> exchange;
  {
    std::lock_guard lock(mutex);
    auto found = open.find(request);
    if (found == open.end()) return;
    exchange = std::move(found->second);
    open.erase(found);
    lastUse = std::chrono::steady_clock::now();
  }
  exchange->abandon();
}

void HttpPeer::Routes::route(std::string line, const LineRoute& where) {
  if (where.answer && line.empty()) return abandon(where.request);  // cancelled: no answer
  std::shared_ptr<Exchange> exchange;
  {
    std::lock_guard lock(mutex);
    auto found = open.find(where.request);
    if (found == open.end()) return;  // nobody waits for it any more
    exchange = found->second;
    if (where.answer) {
      open.erase(found);
      lastUse = std::chrono::steady_clock::now();
    }
  }
  exchange->push({std::move(line), where.answer, where.httpStatus});
}

SessionTable::SessionTable(McpServer& server, std::size_t limit,
                           std::chrono::milliseconds idleLimit)
    : server_(server), limit_(limit), idleLimit_(idleLimit), sweeper_([this] { sweep(); }) {}

SessionTable::~SessionTable() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  sweeper_.join();
}

std::string SessionTable::admit(std::shared_ptr<HttpPeer> session) {
  Sessions ended = removeIdle();
  std::string id;
  {
    std::lock_guard lock(mutex_);
    if (sessions_.size() >= limit_) {
      // Clients that never end their sessions must not lock out new ones.
      auto oldest = sessions_.end();
      for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
        if (it->second->idle() &&
            (oldest == sessions_.end() || it->second->lastUse() < oldest->second->lastUse()))
          oldest = it;
      if (oldest == sessions_.end()) return {};
      ended.push_back(std::move(oldest->second));
      sessions_.erase(oldest);
    }
    id = NewSessionId();
    sessions_.emplace(id, std::move(session));
  }
  endAll(ended);
  return id;
}

std::shared_ptr<HttpPeer> SessionTable::find(const std::string& id) {
  endAll(removeIdle());
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(id);
  if (found == sessions_.end()) return nullptr;
  found->second->touch();
  return found->second;
}

bool SessionTable::end(const std::string& id) {
  std::shared_ptr<HttpPeer> ended;
  {
    std::lock_guard lock(mutex_);
    auto found = sessions_.find(id);
    if (found == sessions_.end()) return false;
    ended = std::move(found->second);
    sessions_.erase(found);
  }
  endAll({ended});
  return true;
}

void SessionTable::endAll(const Sessions& sessions) {
  for (const auto& session : sessions) server_.cancelAll(*session->peer());
}

SessionTable::Sessions SessionTable::removeIdle() {
  const auto since = std::chrono::steady_clock::now() - idleLimit_;
  Sessions expired;
  std::lock_guard lock(mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->idle() && it->second->lastUse() < since) {
      expired.push_back(std::move(it->second));
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return expired;
}

void SessionTable::sweep() {
  const auto period = std::clamp<std::chrono::milliseconds>(
      idleLimit_ / 4, std::chrono::milliseconds(10), std::chrono::minutes(1));
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, period, [this] { return stopping_; })) {
    lock.unlock();
    endAll(removeIdle());
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
