#include <dravo-host/mcp_server.h>
#include <dravo-host/task_methods.h>

#include <utility>
#include <vector>

namespace dravo::host {

namespace {

using std::chrono::steady_clock;

RpcError MissingCapability(const std::string& what) {
  RpcError error{kMissingCapability,
                 "Missing required client capability: " + what + " needs the extension \"" +
                     kTasksExtension + "\" in the request's client capabilities.",
                 VMCPJsonValue::MakeObject(), 400};
  error.data["requiredCapabilities"]["extensions"][kTasksExtension] = VMCPJsonValue::MakeObject();
  return error;
}

RpcError UnknownTask(const std::string& id) {
  return {kInvalidParams, "Task not found: " + Quoted(id) + " (unknown, expired or not yours)."};
}

std::string TaskIdOf(const VMCPJsonValue& params) {
  if (!params["taskId"].isString())
    throw RpcError{kInvalidParams, "Invalid params: \"taskId\" must be a string."};
  return params["taskId"].asString();
}

// A progress notification as a status message: its text, then how far it
// got as "(DONE of TOTAL)" or "(DONE)".
std::string StatusMessage(const VMCPJsonValue& notification) {
  const auto& params = notification["params"];
  std::string text = params["message"].isString() ? params["message"].asString() : "Working";
  const auto count = [](const VMCPJsonValue& value) { return std::to_string(value.asInt()); };
  if (params.has("progress")) {
    text += " (" + count(params["progress"]);
    if (params.has("total")) text += " of " + count(params["total"]);
    text += ")";
  }
  return text;
}

}  // namespace

TaskMethods::TaskMethods(const ServerOptions& server)
    : server_(server),
      store_(server.tasks,
             [this](const std::string& owner, const std::string& task) { announce(owner, task); }),
      watcher_([this] { watchBudgets(); }) {}

TaskMethods::~TaskMethods() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    budgets_.clear();
  }
  changed_.notify_all();
  watcher_.join();
}

bool TaskMethods::Offered(const RequestContext& context) {
  return context.stateless && context.client.capabilities["extensions"][kTasksExtension].isObject();
}

bool TaskMethods::Handles(const std::string& method) {
  return method == "tasks/get" || method == "tasks/update" || method == "tasks/cancel";
}

std::shared_ptr<BudgetedCall> TaskMethods::arm(RequestContext& context, const std::string& owner,
                                               std::function<void(std::string)> answer) {
  if (!Offered(context)) return nullptr;
  auto call = std::make_shared<BudgetedCall>();
  call->methods = this;
  call->owner = owner;
  call->id = context.id;
  call->request = context.request;
  call->cancellation = context.cancellation;
  call->answer = std::move(answer);
  call->deadline = steady_clock::now() + server_.tasks.budget;
  // Progress is wanted even without a token: it becomes the task's status.
  context.reportProgress = true;
  context.notify = [call, token = std::move(context.notify)](const VMCPJsonValue& note) {
    if (!call->progress(note) && IsRequestId(note["params"]["progressToken"])) token(note);
  };
  bool earlier = false;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return nullptr;
    budgets_.emplace(call->deadline, call);
    earlier = call->deadline < watchingUntil_;
  }
  // The watcher sleeps until the earliest deadline it knows; only one before
  // it needs to wake it, which keeps a quick call free of a thread switch.
  if (earlier) changed_.notify_all();
  return call;
}

// One thread waits for the earliest budget to run out; a call that ends
// before takes its entry out and lets it sleep on.
void TaskMethods::watchBudgets() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (budgets_.empty()) {
      watchingUntil_ = steady_clock::time_point::max();
      changed_.wait(lock);
      continue;
    }
    watchingUntil_ = budgets_.begin()->first;
    const auto next = watchingUntil_;  // a copy: the entry may go while waiting
    if (changed_.wait_until(lock, next) != std::cv_status::timeout) continue;
    std::vector<std::shared_ptr<BudgetedCall>> due;
    const auto now = steady_clock::now();
    while (!budgets_.empty() && budgets_.begin()->first <= now) {
      due.push_back(std::move(budgets_.begin()->second));
      budgets_.erase(budgets_.begin());
    }
    lock.unlock();
    for (const auto& call : due) convert(*call);
    lock.lock();
  }
}

void TaskMethods::disarm(BudgetedCall& call) {
  std::lock_guard lock(mutex_);
  auto [first, last] = budgets_.equal_range(call.deadline);
  for (auto it = first; it != last; ++it)
    if (it->second.get() == &call) {
      budgets_.erase(it);
      return;
    }
}

// The task exists before its handle goes out, so a tasks/get right after it
// finds it.
void TaskMethods::convert(BudgetedCall& call) {
  bool refused = false;
  {
    std::lock_guard lock(call.mutex);
    if (call.state != BudgetedCall::State::Running) return;
    {
      std::lock_guard stopping(mutex_);
      if (stopping_) return;  // the call answers itself before the process ends
    }
    std::string line;
    if (auto task = store_.create(call.owner, call.cancellation)) {
      call.state = BudgetedCall::State::Tasked;
      call.task = *task;
      if (!call.message.empty()) store_.progress(call.task, call.message);
      line = ResultLinePrefix(call.id) + *store_.detail(call.owner, call.task);
      line.pop_back();
      VMCPJsonValue meta = VMCPJsonValue::MakeObject();
      meta[kMetaServerInfo]["name"] = server_.name;
      meta[kMetaServerInfo]["version"] = server_.version;
      line.append(R"(,"resultType":"task","_meta":)");
      meta.dumpTo(line);
      line.append("}}");
    } else {
      call.state = BudgetedCall::State::Refused;
      refused = true;
      line = ErrorLine(
          call.id, {kInternalError, "Too many tasks: this client already runs " +
                                        std::to_string(server_.tasks.maxRunning) +
                                        ", the most the host keeps; collect or cancel one, then "
                                        "call again."});
    }
    call.answer(std::move(line));
  }
  if (refused) {
    std::lock_guard lock(call.cancellation->mutex);
    call.cancellation->requested = true;
  }
}

bool BudgetedCall::progress(const VMCPJsonValue& notification) {
  std::lock_guard lock(mutex);
  message = StatusMessage(notification);
  if (state != State::Tasked) return false;
  methods->store_.progress(task, message);
  return true;
}

bool BudgetedCall::finish(std::string& line, bool cancelled) {
  std::lock_guard lock(mutex);
  switch (state) {
    case State::Running:
      state = State::Answered;
      methods->disarm(*this);
      return false;
    case State::Refused: return true;
    case State::Answered: return false;
    case State::Tasked: break;
  }
  const std::string prefix = ResultLinePrefix(id);
  if (cancelled || line.empty()) {
    methods->store_.finish(task, TaskStatus::Cancelled, {});
  } else if (line.starts_with(prefix)) {  // the result object, as it would have gone out
    methods->store_.finish(task, TaskStatus::Completed,
                           line.substr(prefix.size(), line.size() - prefix.size() - 1));
  } else {
    methods->store_.finish(task, TaskStatus::Failed, VMCPJsonValue::Parse(line)["error"].dump());
  }
  return true;
}

void TaskMethods::answer(const std::string& method, const VMCPJsonValue& params,
                         const RequestContext& context, const std::string& owner,
                         std::string& out) {
  if (!Offered(context)) throw MissingCapability(Quoted(method));
  const std::string id = TaskIdOf(params);
  if (method == "tasks/get") {
    const auto detail = store_.detail(owner, id);
    if (!detail) throw UnknownTask(id);
    out.append(*detail);
    return;
  }
  // tasks/update carries answers to questions; the tools ask none, so it is
  // acknowledged as it is.
  const bool known = method == "tasks/cancel" ? store_.cancel(owner, id) : store_.knows(owner, id);
  if (!known) throw UnknownTask(id);
  out.append("{}");
}

VMCPJsonValue TaskMethods::listen(const RequestContext& context, const VMCPJsonValue& filter,
                                  const PeerPtr& peer) {
  VMCPJsonValue honoured = VMCPJsonValue::MakeObject();
  if (!filter.has("taskIds")) return honoured;
  if (!Offered(context)) throw MissingCapability("following tasks");
  Listener listener{peer, context.id, {}};
  honoured["taskIds"] = VMCPJsonValue::MakeArray();
  if (filter["taskIds"].isArray())
    for (const auto& task : filter["taskIds"].asArray())
      if (task.isString() && store_.knows(peer->scope(), task.asString()) &&
          listener.tasks.insert(task.asString()).second)
        honoured["taskIds"].push_back(task);
  std::lock_guard lock(mutex_);
  listeners_[{peer.get(), context.request}] = std::move(listener);
  return honoured;
}

void TaskMethods::unlisten(const Peer& peer, const std::string& request) {
  std::lock_guard lock(mutex_);
  listeners_.erase({&peer, request});
}

// Each listener of the task hears its new state, as tasks/get would show it.
void TaskMethods::announce(const std::string& owner, const std::string& task) {
  std::vector<std::pair<PeerPtr, VMCPJsonValue>> to;
  std::vector<std::string> requests;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, listener] : listeners_)
      if (listener.tasks.count(task) && listener.peer->scope() == owner) {
        to.emplace_back(listener.peer, listener.id);
        requests.push_back(key.second);
      }
  }
  if (to.empty()) return;
  const auto detail = store_.detail(owner, task);
  if (!detail) return;
  for (std::size_t i = 0; i < to.size(); ++i) {
    std::string line = R"({"jsonrpc":"2.0","method":"notifications/tasks","params":)" + *detail;
    line.pop_back();
    VMCPJsonValue meta = VMCPJsonValue::MakeObject();
    meta[kMetaSubscriptionId] = to[i].second;
    line.append(R"(,"_meta":)");
    meta.dumpTo(line);
    line.append("}}");
    to[i].first->send(std::move(line), {requests[i], false});
  }
}

void TaskMethods::stopCreating() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  budgets_.clear();
  changed_.notify_all();
}

void TaskMethods::cancelRunning() {
  store_.cancelAll();
}

}  // namespace dravo::host
