// MCP server over newline-delimited JSON-RPC 2.0: one message per line in,
// one whole line per response out. Tools come from the MCP registry.
#pragma once

#include <dravo-host/worker_pool.h>

#include <qarn/mcp/json_value.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dravo::host {

using Qarn::mcp::VMCPJsonValue;

// JSON-RPC and MCP error codes.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kNotInitialized = -32002,
};

// Newest first; the first one is offered when the client's is unknown.
const std::vector<std::string>& SupportedProtocolVersions();
std::string NegotiateProtocolVersion(const std::string& requested);

// Appends the JSON text of the MCP tool result that carries a provider's
// result, which it consumes.
void AppendToolResult(VMCPJsonValue result, std::string& out);

struct ServerOptions {
  std::string name = "dravo-host";
  std::string version;
  std::size_t workers = 4;
  std::size_t maxThreads = 64;  // workers plus those started while all are busy
  std::size_t maxQueued = 256;  // requests read but not started; then reading pauses
  std::size_t maxLineBytes = 16u << 20;
  // Called by a worker after a spell without requests, once it has let go
  // of its answer buffers: where the process can return freed memory.
  std::function<void()> whenIdle;
  // Called by the reading thread when it has no input at hand, before it
  // blocks reading: waits up to the given time for input, and answers
  // whether some came. A reader that waited in vain gives back its answer
  // buffers before it blocks.
  std::function<bool(std::chrono::milliseconds)> awaitInput;
};

// Where an outgoing line belongs: the id (as JSON text) of the request it
// answers, or of the request a notification reports on; empty for neither.
// `answer` marks the one line that ends the request.
struct LineRoute {
  std::string request;
  bool answer = true;
};

// Where a tools/call runs: queued for the server's workers, or on the thread
// that hands the message in, which then returns only after the answer went out.
enum class CallThread { Worker, Caller };

class McpServer {
 public:
  // Receives each outgoing line without its newline; called under a lock.
  // A sink that blocks (a client not reading) stops the reading in turn. A
  // routed sink is handed the line to keep: answers may be large.
  using LineSink = std::function<void(const std::string&)>;
  using RoutedSink = std::function<void(std::string, const LineRoute&)>;
  // Receives the outgoing bytes: lines with their newlines, a large answer
  // line in pieces while it is being written. Called under a lock, held from
  // a line's first piece to its end.
  struct ByteSink {
    std::function<void(std::string_view bytes)> write;
  };

  McpServer(ServerOptions options, LineSink sink);
  McpServer(ServerOptions options, RoutedSink sink);
  McpServer(ServerOptions options, ByteSink sink);
  ~McpServer();

  // Reads lines until end of input, then waits for the running requests.
  void serve(std::istream& in);
  // One incoming line, as read (without its newline).
  void handleLine(std::string_view line);
  // One message already parsed (a transport that reads whole messages); bytes
  // is its size on the wire, which bounds what waits.
  void handleMessage(VMCPJsonValue message, std::size_t bytes = 0,
                     CallThread thread = CallThread::Worker);
  // Waits until every accepted request was answered.
  void drain();

 private:
  struct Batch;
  using BatchPtr = std::shared_ptr<Batch>;

  // The thread that reads input runs the tool calls it meets itself; a
  // watcher on a pool thread reads on when one of them lasts a whole tick.
  struct ReadingTurn {
    std::istream* in;
    std::thread::id reader;
  };
  void readLines(std::istream& in);
  // The number of a call the calling thread may run itself, as it reads
  // and a watcher is on duty; 0 when it must not.
  std::uint64_t beginCallWhileReading();
  void endCallWhileReading(std::uint64_t call);
  void watchReading();
  void handleBatch(const VMCPJsonValue& messages, std::size_t bytes);
  void handleOne(VMCPJsonValue& message, const BatchPtr& batch, std::size_t bytes,
                 CallThread thread = CallThread::Worker);
  void handleNotification(const std::string& method, const VMCPJsonValue& params);
  void handleInitialize(const VMCPJsonValue& id, const VMCPJsonValue& params,
                        const BatchPtr& batch);
  void dispatch(const VMCPJsonValue& id, const std::string& method, VMCPJsonValue params,
                const BatchPtr& batch, std::size_t bytes, CallThread thread);
  // The whole answer line, result or error; none when a tool's answer went
  // out while it was written (only a call alone, not in a batch, may), or
  // was dropped.
  std::optional<std::string> answerRequest(const VMCPJsonValue& id, const std::string& method,
                                           const VMCPJsonValue& params,
                                           const std::atomic<bool>& cancelled, bool alone = false);
  // Each appends the JSON text of the request's result to out, or answers
  // true when it saw to the whole line itself (out holding its start): sent
  // it, or dropped it for a cancelled call.
  bool runMethod(const std::string& method, const VMCPJsonValue& params, const VMCPJsonValue& id,
                 const std::atomic<bool>& cancelled, bool alone, std::string& out);
  bool callTool(const VMCPJsonValue& params, const VMCPJsonValue& id,
                const std::atomic<bool>& cancelled, bool alone, std::string& out);
  // Sends the line that line starts while the result is written into it.
  void streamToolResult(VMCPJsonValue result, std::string& line);

  void sendError(const VMCPJsonValue& id, int code, const std::string& message,
                 const BatchPtr& batch = nullptr);
  // The answer line to one message of a batch (none for a notification), or
  // one on its own, routed to the request (id as JSON text) it answers.
  void reply(const BatchPtr& batch, const std::string& request, std::optional<std::string> line);
  void sendLine(std::string line, const LineRoute& route);

  ServerOptions options_;
  RoutedSink sink_;  // set, or bytes_
  ByteSink bytes_;
  std::mutex outMutex_;
  std::atomic<bool> initialized_{false};
  std::atomic<bool> batches_{false};  // the negotiated revision allows batch arrays
  std::mutex pendingMutex_;
  std::map<std::string, std::shared_ptr<std::atomic<bool>>> pending_;  // by id text
  // Reading state: the buffers are owned by whichever thread reads at the
  // time, the rest is under readingMutex_.
  std::vector<char> readSlice_ = std::vector<char>(64 * 1024);
  std::string readBuffer_;
  std::mutex readingMutex_;
  ReadingTurn* turn_ = nullptr;
  std::uint64_t callsWhileReading_ = 0;  // numbers the reader's calls
  std::uint64_t callWhileReading_ = 0;   // the one running, 0 for none
  bool watching_ = false;
  std::condition_variable readingChanged_;
  bool inputEnded_ = false;
  WorkerPool pool_;  // last: its threads stop before the rest goes away
};

}  // namespace dravo::host
