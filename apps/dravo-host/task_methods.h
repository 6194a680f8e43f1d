// The tasks extension on the request core: a tool call of a client that
// takes tasks runs as usual, and when it outlives its budget its answer is a
// task handle instead; tasks/get, tasks/update and tasks/cancel reach it
// later, and subscriptions/listen can follow it.
#pragma once

#include <dravo-host/peer.h>
#include <dravo-host/protocol.h>
#include <dravo-host/request_context.h>
#include <dravo-host/task_store.h>

#include <qarn/mcp/json_value.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace dravo::host {

struct ServerOptions;
using PeerPtr = std::shared_ptr<Peer>;

inline constexpr const char* kTasksExtension = "io.modelcontextprotocol/tasks";
inline constexpr int kMissingCapability = -32021;

// One tool call racing its budget: it either answers itself, or becomes a
// task whose handle is its answer.
class BudgetedCall {
 public:
  // At the call's end, with its whole answer line: true when the line went
  // to the call's task (or the call was refused one), so nothing is to be sent.
  bool finish(std::string& line, bool cancelled);

 private:
  friend class TaskMethods;
  enum class State { Running, Answered, Tasked, Refused };
  bool progress(const VMCPJsonValue& notification);

  class TaskMethods* methods = nullptr;
  std::mutex mutex;
  State state = State::Running;
  std::string task;
  std::string message;  // the last progress, for the task's first status
  std::string owner;
  VMCPJsonValue id;
  std::string request;
  std::chrono::steady_clock::time_point deadline;
  std::shared_ptr<Cancellation> cancellation;
  std::function<void(std::string line)> answer;
};

class TaskMethods {
 public:
  explicit TaskMethods(const ServerOptions& server);
  ~TaskMethods();
  TaskMethods(const TaskMethods&) = delete;
  TaskMethods& operator=(const TaskMethods&) = delete;

  // Whether this request declares the extension in its own capabilities.
  static bool Offered(const RequestContext& context);

  // Arms the budget of a tools/call before it is queued; `answer` sends the
  // request's one answer line. Null, and the call left as it is, for a
  // client that does not take tasks.
  std::shared_ptr<BudgetedCall> arm(RequestContext& context, const std::string& owner,
                                    std::function<void(std::string line)> answer);
  static bool Handles(const std::string& method);
  // Appends the result object of tasks/get, tasks/update or tasks/cancel.
  void answer(const std::string& method, const VMCPJsonValue& params, const RequestContext& context,
              const std::string& owner, std::string& out);
  // The part of a subscriptions/listen filter this side honours (an object,
  // empty when it asks for no tasks); the listener hears of those tasks until
  // `unlisten`.
  VMCPJsonValue listen(const RequestContext& context, const VMCPJsonValue& filter,
                       const PeerPtr& peer);
  void unlisten(const Peer& peer, const std::string& request);
  // At shutdown: no more tasks; then those that still run are stopped.
  void stopCreating();
  void cancelRunning();

  TaskStore& store() { return store_; }

 private:
  friend class BudgetedCall;
  struct Listener {
    PeerPtr peer;
    VMCPJsonValue id;
    std::set<std::string> tasks;
  };
  using ListenerKey = std::pair<const Peer*, std::string>;

  void watchBudgets();
  void convert(BudgetedCall& call);
  void disarm(BudgetedCall& call);
  void announce(const std::string& owner, const std::string& task);

  const ServerOptions& server_;
  TaskStore store_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::multimap<std::chrono::steady_clock::time_point, std::shared_ptr<BudgetedCall>> budgets_;
  std::chrono::steady_clock::time_point watchingUntil_ =
      std::chrono::steady_clock::time_point::max();
  std::map<ListenerKey, Listener> listeners_;
  std::thread watcher_;  // last: started when the rest is ready
};

}  // namespace dravo::host
