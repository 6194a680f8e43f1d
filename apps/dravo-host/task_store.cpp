#include <dravo-host/http_session.h>
#include <dravo-host/task_store.h>

#include <qarn/mcp/json_value.h>

#include <cstdio>
#include <vector>

namespace dravo::host {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using std::chrono::system_clock;

const char* StatusName(TaskStatus status) {
  switch (status) {
    case TaskStatus::Working: return "working";
    case TaskStatus::Completed: return "completed";
    case TaskStatus::Failed: return "failed";
    default: return "cancelled";
  }
}

}  // namespace

std::string IsoTime(system_clock::time_point time) {
  const auto day = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{std::chrono::floor<milliseconds>(time - day)};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

TaskStore::TaskStore(TaskLimits limits, Watcher watcher)
    : limits_(std::move(limits)), watcher_(std::move(watcher)) {}

std::optional<std::string> TaskStore::create(const std::string& owner,
                                             std::shared_ptr<Cancellation> cancellation) {
  std::lock_guard lock(mutex_);
  auto& counts = owners_[owner];
  if (counts.running >= limits_.maxRunning) return std::nullopt;
  std::string id = NewSessionId();  // unguessable: the id alone reaches the task
  Task task;
  task.owner = owner;
  task.cancellation = std::move(cancellation);
  tasks_.emplace(id, std::move(task));
  ++counts.running;
  return id;
}

void TaskStore::progress(const std::string& id, std::string message) {
  std::lock_guard lock(mutex_);
  auto found = tasks_.find(id);
  if (found == tasks_.end() || found->second.status != TaskStatus::Working) return;
  found->second.message = std::move(message);
  found->second.updated = system_clock::now();
}

void TaskStore::finish(const std::string& id, TaskStatus status, std::string outcome) {
  std::string owner;
  {
    std::lock_guard lock(mutex_);
    auto found = tasks_.find(id);
    if (found == tasks_.end() || found->second.status != TaskStatus::Working) return;
    auto& task = found->second;
    task.status = status;
    task.outcome = std::move(outcome);
    task.cancellation.reset();
    task.updated = system_clock::now();
    if (status == TaskStatus::Cancelled) task.message = "Cancelled.";
    task.expires = steady_clock::now() + limits_.ttl;
    auto& counts = owners_[task.owner];
    --counts.running;
    counts.finished.push_back(id);
    if (counts.finished.size() > limits_.maxKept) drop(counts);
    owner = task.owner;
  }
  if (watcher_) watcher_(owner, id);
}

void TaskStore::drop(Owner& owner) {
  tasks_.erase(owner.finished.front());
  owner.finished.pop_front();
}

void TaskStore::expire(steady_clock::time_point now) {
  for (auto& [name, owner] : owners_)
    while (!owner.finished.empty() && tasks_.at(owner.finished.front()).expires <= now) drop(owner);
}

std::string TaskStore::describe(const std::string& id, const Task& task) const {
  using Qarn::mcp::VMCPJsonValue;
  VMCPJsonValue object = VMCPJsonValue::MakeObject();
  object["taskId"] = id;
  object["status"] = StatusName(task.status);
  if (!task.message.empty()) object["statusMessage"] = task.message;
  object["createdAt"] = IsoTime(task.created);
  object["lastUpdatedAt"] = IsoTime(task.updated);
  // Counted from creation, so a task that ran long still has its whole ttl
  // once it finished.
  auto ttl = limits_.ttl;
  if (task.status != TaskStatus::Working)
    ttl += duration_cast<milliseconds>(task.updated - task.created);
  object["ttlMs"] = std::int64_t(ttl.count());
  object["pollIntervalMs"] = std::int64_t(limits_.pollInterval.count());
  std::string text = object.dump();
  const char* key = task.status == TaskStatus::Completed ? R"(,"result":)"
                    : task.status == TaskStatus::Failed  ? R"(,"error":)"
                                                         : nullptr;
  if (key) {
    text.pop_back();
    text.append(key).append(task.outcome).push_back('}');
  }
  return text;
}

std::optional<std::string> TaskStore::detail(const std::string& owner, const std::string& id) {
  std::lock_guard lock(mutex_);
  expire(steady_clock::now());
  auto found = tasks_.find(id);
  if (found == tasks_.end() || found->second.owner != owner) return std::nullopt;
  return describe(id, found->second);
}

bool TaskStore::knows(const std::string& owner, const std::string& id) {
  std::lock_guard lock(mutex_);
  expire(steady_clock::now());
  auto found = tasks_.find(id);
  return found != tasks_.end() && found->second.owner == owner;
}

bool TaskStore::cancel(const std::string& owner, const std::string& id) {
  std::shared_ptr<Cancellation> cancellation;
  {
    std::lock_guard lock(mutex_);
    expire(steady_clock::now());
    auto found = tasks_.find(id);
    if (found == tasks_.end() || found->second.owner != owner) return false;
    cancellation = found->second.cancellation;
  }
  if (cancellation) {  // a finished task stays as it ended
    std::lock_guard lock(cancellation->mutex);
    cancellation->requested = true;
  }
  return true;
}

void TaskStore::cancelAll() {
  std::vector<std::shared_ptr<Cancellation>> running;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, task] : tasks_)
      if (task.cancellation) running.push_back(task.cancellation);
  }
  for (const auto& cancellation : running) {
    std::lock_guard lock(cancellation->mutex);
    cancellation->byServer = !cancellation->requested;
    cancellation->requested = true;
  }
}

std::size_t TaskStore::size() {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

}  // namespace dravo::host
