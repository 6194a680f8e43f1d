// The request core: takes whole JSON-RPC messages from a transport, checks
// them, works out each request's era and context, and runs the MCP methods;
// tool calls go to a worker pool and can be cancelled while they run.
#pragma once

#include <dravo-host/peer.h>
#include <dravo-host/protocol.h>
#include <dravo-host/request_context.h>
#include <dravo-host/task_methods.h>
#include <dravo-host/worker_pool.h>

#include <qarn/mcp/json_value.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace dravo::host {

struct ServerOptions {
  std::string name = "dravo-host";
  std::string version;
  std::size_t workers = 4;
  std::size_t maxThreads = 64;  // workers plus those started while all are busy
  std::size_t maxQueued = 256;  // calls read but not started; then reading pauses
  std::size_t maxLineBytes = 16u << 20;
  // How long a client may keep a tools/list or server/discover answer.
  std::chrono::milliseconds listTtl{300'000};
  // When a call of a client that takes tasks becomes one, and how they are kept.
  TaskLimits tasks;
  // Called by a worker after a spell without requests, once it has let go
  // of its answer buffers: where the process can return freed memory.
  std::function<void()> whenIdle;
};

using PeerPtr = std::shared_ptr<Peer>;

// Where a tools/call runs: queued for the workers, or on the thread that
// hands the message in, which then returns only after the answer went out.
enum class CallThread { Worker, Caller };

class McpServer {
 public:
  explicit McpServer(ServerOptions options);
  ~McpServer();
  McpServer(const McpServer&) = delete;
  McpServer& operator=(const McpServer&) = delete;

  const ServerOptions& options() const { return options_; }

  // One incoming line, as read without its newline.
  void handleLine(std::string_view line, const PeerPtr& peer);
  // One message already parsed; `bytes` is its size on the wire, which
  // bounds what waits.
  void handleMessage(VMCPJsonValue message, const PeerPtr& peer, std::size_t bytes = 0,
                     CallThread thread = CallThread::Worker);
  // Cancels a running call of the peer (its id as JSON text); a request that
  // is unknown or finished is ignored.
  void cancel(const Peer& peer, const std::string& request);
  void cancelAll(const Peer& peer);
  // Refuses new requests, lets running calls finish for up to `grace`,
  // cancels what still runs and waits until every answer is out.
  void shutdown(std::chrono::milliseconds grace);
  bool stopping() const { return stopping_; }
  // Waits until every accepted call was answered.
  void drain();
  // Stops the running tasks: nobody is left to collect them.
  void cancelTasks() { tasks_.cancelRunning(); }

 private:
  struct Batch;
  using BatchPtr = std::shared_ptr<Batch>;

  void handleBatch(const VMCPJsonValue& messages, const PeerPtr& peer, std::size_t bytes);
  void handleOne(VMCPJsonValue& message, const PeerPtr& peer, const BatchPtr& batch,
                 std::size_t bytes, CallThread thread);
  void listen(const RequestContext& context, const VMCPJsonValue& params, const PeerPtr& peer);
  bool endSubscription(const Peer& peer, const std::string& request);
  void endSubscriptions();
  void handleNotification(const std::string& method, const VMCPJsonValue& params, Peer& peer);
  void startCall(RequestContext context, VMCPJsonValue params, const PeerPtr& peer,
                 const BatchPtr& batch, std::size_t bytes, CallThread thread);
  // The whole answer line for a request other than a tool call.
  std::string answer(const std::string& method, const VMCPJsonValue& params,
                     RequestContext& context, Peer& peer, int& httpStatus);
  void sendError(const PeerPtr& peer, const BatchPtr& batch, const VMCPJsonValue& id,
                 const RpcError& error);
  // The answer to one message of a batch (none for a notification), or one
  // on its own, routed to the request (id as JSON text) it answers.
  void reply(const PeerPtr& peer, const BatchPtr& batch, const LineRoute& route, std::string line);

  using CallKey = std::pair<const Peer*, std::string>;
  ServerOptions options_;
  std::atomic<bool> stopping_{false};
  std::mutex callsMutex_;
  std::map<CallKey, std::shared_ptr<Cancellation>> calls_;              // running tool calls
  std::map<CallKey, std::pair<PeerPtr, VMCPJsonValue>> subscriptions_;  // open listens, with ids
  TaskMethods tasks_;
  WorkerPool pool_;  // last: its threads stop before the rest goes away
};

}  // namespace dravo::host
