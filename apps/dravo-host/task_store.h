// The tasks a client can start, leave and collect: a tool call that outlived
// its budget, kept with its outcome until its time to live runs out, and
// visible only to the client that started it.
#pragma once

#include <dravo-host/request_context.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace dravo::host {

struct TaskLimits {
  // A call that has not finished this long after it started becomes a task.
  std::chrono::milliseconds budget{1'000};
  // How long a finished task is kept for its client to collect.
  std::chrono::milliseconds ttl{3'600'000};
  static constexpr std::chrono::milliseconds kMaxTtl{86'400'000};
  std::chrono::milliseconds pollInterval{500};
  std::size_t maxRunning = 16;  // per client; a call beyond it is refused
  std::size_t maxKept = 1000;   // finished tasks per client; the oldest goes first
};

enum class TaskStatus { Working, Completed, Failed, Cancelled };

class TaskStore {
 public:
  // Told of every change of a task's status, outside the store's lock.
  using Watcher = std::function<void(const std::string& owner, const std::string& id)>;

  explicit TaskStore(TaskLimits limits, Watcher watcher = nullptr);

  const TaskLimits& limits() const { return limits_; }
  // A new working task of the owner; nullopt when the owner runs the most it may.
  std::optional<std::string> create(const std::string& owner,
                                    std::shared_ptr<Cancellation> cancellation);
  void progress(const std::string& id, std::string message);
  // Ends a running task. `outcome` is the JSON text of the result (completed)
  // or of the JSON-RPC error (failed).
  void finish(const std::string& id, TaskStatus status, std::string outcome);
  // The task's JSON object as its client sees it; nullopt when the owner has
  // no task of that id (never had, or it expired).
  std::optional<std::string> detail(const std::string& owner, const std::string& id);
  bool knows(const std::string& owner, const std::string& id);
  // Asks a running task to stop; false when the owner has no such task.
  bool cancel(const std::string& owner, const std::string& id);
  // Stops every running task, as shutdown stops calls.
  void cancelAll();
  std::size_t size();

 private:
  struct Task {
    std::string owner;
    TaskStatus status = TaskStatus::Working;
    std::string message;
    std::chrono::system_clock::time_point created = std::chrono::system_clock::now();
    std::chrono::system_clock::time_point updated = created;
    std::chrono::steady_clock::time_point expires;  // once finished
    std::string outcome;
    std::shared_ptr<Cancellation> cancellation;  // while it runs
  };
  struct Owner {
    std::size_t running = 0;
    std::deque<std::string> finished;  // in the order they finished, which is their expiry's
  };
  void expire(std::chrono::steady_clock::time_point now);
  void drop(Owner& owner);
  std::string describe(const std::string& id, const Task& task) const;

  const TaskLimits limits_;
  const Watcher watcher_;
  std::mutex mutex_;
  std::unordered_map<std::string, Task> tasks_;
  std::map<std::string, Owner> owners_;
};

// An instant as ISO 8601 in UTC with milliseconds, e.g. 2026-07-28T10:30:00.125Z.
std::string IsoTime(std::chrono::system_clock::time_point time);

}  // namespace dravo::host
