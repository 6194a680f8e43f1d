#include <dravo-host/mcp_server.h>
#include <dravo-host/progress_notifier.h>

#include <qarn/mcp/json_memory.h>
#include <qarn/mcp/registry.h>

#include <algorithm>
#include <chrono>
#include <istream>
#include <optional>
#include <stdexcept>
#include <utility>

namespace dravo::host {

namespace {

// A request that ends in a JSON-RPC error instead of a result.
struct RpcError {
  int code;
  std::string message;
};

bool IsValidId(const VMCPJsonValue& id) {
  return id.isString() || id.isInteger();
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Room for an answer's text that a thread keeps between calls.
constexpr std::size_t kKeptAnswerBytes = 1 << 20;
// Bytes of an answer line that go out while the rest is written.
constexpr std::size_t kSpillBytes = 64 * 1024;
// How long a call the reader runs may last before a watcher reads on, and
// how many ticks without one the watcher stays.
constexpr std::chrono::milliseconds kReadingTick{5};
constexpr int kQuietTicks = 40;
// How long a thread waits for work before it gives back its buffers.
constexpr std::chrono::milliseconds kRestAfter{200};

// What the client sees when a provider throws instead of answering.
VMCPJsonValue FailedToolResult(const std::string& text) {
  VMCPJsonValue item = VMCPJsonValue::MakeObject();
  item["type"] = "text";
  item["text"] = text;
  VMCPJsonValue answer = VMCPJsonValue::MakeObject();
  answer["content"].push_back(std::move(item));
  answer["isError"] = true;
  return answer;
}

// Each thread keeps the buffers of its last answer, unless it is huge, so
// that a large answer does not fault in fresh pages on every call.
thread_local std::string spareLine;
thread_local std::string answerText;

// Lets go of a buffer that one huge answer would otherwise pin.
void DropIfHuge(std::string& buffer) {
  if (buffer.capacity() > kKeptAnswerBytes) std::string().swap(buffer);
}

void GiveBackLine(std::string&& line) {
  spareLine = std::move(line);
  DropIfHuge(spareLine);
}

// What a thread does when it will answer nothing for a while: it lets go of
// its answer buffers, then the process may return freed memory.
void Rest(const std::function<void()>& whenIdle) {
  std::string().swap(spareLine);
  std::string().swap(answerText);
  Qarn::mcp::ReleaseJsonBlocks();
  if (whenIdle) whenIdle();
}

// A result line up to where the result's JSON text goes.
std::string ResultLinePrefix(const VMCPJsonValue& id) {
  std::string line = std::move(spareLine);
  line.assign(R"({"jsonrpc":"2.0","id":)");
  id.dumpTo(line);
  line.append(R"(,"result":)");
  return line;
}

std::string ErrorLine(const VMCPJsonValue& id, int code, const std::string& text) {
  VMCPJsonValue message = VMCPJsonValue::MakeObject();
  message["jsonrpc"] = "2.0";
  message["id"] = id;
  message["error"]["code"] = code;
  message["error"]["message"] = text;
  return message.dump();
}

// A tool's answer: its text item (the result's JSON text, quoted), then the
// result as structured content when it is an object, then the error flag.
constexpr std::string_view kTextItem = R"({"content":[{"type":"text","text":)";
constexpr std::string_view kStructuredContent = R"(,"structuredContent":)";

const char* ResultEnd(const VMCPJsonValue& result) {
  const auto& success = result["success"];
  const bool isError = success.kind == VMCPJsonValue::Boolean && !success.asBool();
  return isError ? R"(,"isError":true})" : R"(,"isError":false})";
}

}  // namespace

const std::vector<std::string>& SupportedProtocolVersions() {
  static const std::vector<std::string> versions{"2025-11-25", "2025-06-18", "2025-03-26",
                                                 "2024-11-05"};
  return versions;
}

std::string NegotiateProtocolVersion(const std::string& requested) {
  const auto& versions = SupportedProtocolVersions();
  if (std::find(versions.begin(), versions.end(), requested) != versions.end()) return requested;
  return versions.front();
}

void AppendToolResult(VMCPJsonValue result, std::string& out) {
  // The result is written once; its text goes into the line quoted, as the
  // text item, and as it is, as the structured content. The tree goes before
  // the line grows, so the two are never held at full size together.
  std::string& text = answerText;
  text.clear();
  result.dumpTo(text);
  const char* end = ResultEnd(result);
  const bool structured = result.isObject();
  result = VMCPJsonValue();
  out.reserve(out.size() + 3 * text.size() + 96);  // quoted (at most twice as long), then plain
  out.append(kTextItem);
  VMCPJsonValue::QuoteTo(text, out);
  out.append("}]");
  if (structured) out.append(kStructuredContent).append(text);
  out.append(end);
  DropIfHuge(text);  // kept for the next answer otherwise
}

// The answer lines of one batch, sent together once the last one is in.
struct McpServer::Batch {
  std::mutex mutex;
  std::size_t outstanding = 0;
  std::vector<std::string> answers;
};

namespace {

PoolLimits LimitsOf(const ServerOptions& options) {
  PoolLimits limits;
  limits.onRest = [whenIdle = options.whenIdle] { Rest(whenIdle); };
  limits.rest = kRestAfter;
  limits.coreThreads = options.workers;
  limits.maxThreads = options.maxThreads;
  limits.maxQueued = options.maxQueued;
  limits.maxQueuedCost = 2 * options.maxLineBytes;
  return limits;
}

}  // namespace

McpServer::McpServer(ServerOptions options, LineSink sink)
    : McpServer(
          std::move(options),
          ByteSink{[sink = std::move(sink), line = std::string()](std::string_view bytes) mutable {
            // Pieces arrive in order, under the output lock; JSON text
            // holds no raw newline, so each one ends a line.
            for (auto end = bytes.find('\n'); end != std::string_view::npos;
                 end = bytes.find('\n')) {
              sink(line.append(bytes.substr(0, end)));
              line.clear();
              bytes.remove_prefix(end + 1);
            }
            line.append(bytes);
          }}) {}

McpServer::McpServer(ServerOptions options, RoutedSink sink)
    : options_(std::move(options)), sink_(std::move(sink)), pool_(LimitsOf(options_)) {}

McpServer::McpServer(ServerOptions options, ByteSink sink)
    : options_(std::move(options)), bytes_(std::move(sink)), pool_(LimitsOf(options_)) {}

McpServer::~McpServer() {
  drain();
}

void McpServer::drain() {
  pool_.drain();
}

void McpServer::serve(std::istream& in) {
  readLines(in);
  Rest(options_.whenIdle);  // a watcher may read on; this thread answers no more
  {
    std::unique_lock lock(readingMutex_);
    readingChanged_.wait(lock, [this] { return inputEnded_; });
  }
  drain();
}

void McpServer::readLines(std::istream& in) {
  ReadingTurn turn{&in, std::this_thread::get_id()};
  {
    std::lock_guard lock(readingMutex_);
    turn_ = &turn;
  }
  // Reads in slices so that an endless line cannot take all memory.
  std::string& line = readBuffer_;
  line.clear();  // a thread that passed reading on left its line here
  bool tooLong = false;
  for (;;) {
    if (options_.awaitInput && in.rdbuf()->in_avail() <= 0 && !options_.awaitInput(kRestAfter))
      Rest(options_.whenIdle);
    in.getline(readSlice_.data(), std::streamsize(readSlice_.size()));
    const auto count = std::size_t(in.gcount());
    if (count == 0 && in.fail()) break;  // end of input
    const bool sliceFull = in.fail() && !in.eof();
    const bool endOfLine = !in.fail() && !in.eof();  // the newline was read
    if (!tooLong) line.append(readSlice_.data(), count - (endOfLine ? 1 : 0));
    if (line.size() > options_.maxLineBytes) {
      tooLong = true;
      line.clear();
    }
    if (sliceFull) {
      in.clear();
      continue;
    }
    if (tooLong) {
      sendError(nullptr, kInvalidRequest,
                "Message too large: the limit is " + std::to_string(options_.maxLineBytes) +
                    " bytes per line.");
    } else {
      handleLine(line);
    }
    {
      std::lock_guard lock(readingMutex_);
      if (turn_ != &turn) return;  // a watcher reads on; the buffers are its now
    }
    line.clear();
    tooLong = false;
    if (!endOfLine) break;
  }
  std::lock_guard lock(readingMutex_);
  turn_ = nullptr;
  inputEnded_ = true;
  readingChanged_.notify_all();
}

std::uint64_t McpServer::beginCallWhileReading() {
  bool startWatcher = false;
  std::uint64_t call = 0;
  {
    std::lock_guard lock(readingMutex_);
    if (!turn_ || turn_->reader != std::this_thread::get_id()) return 0;
    if (!watching_) {
      if (!pool_.hasIdleThread()) return 0;
      watching_ = startWatcher = true;
    }
    call = callWhileReading_ = ++callsWhileReading_;
  }
  if (startWatcher) pool_.post([this] { watchReading(); });
  return call;
}

void McpServer::endCallWhileReading(std::uint64_t call) {
  std::lock_guard lock(readingMutex_);
  if (callWhileReading_ == call) callWhileReading_ = 0;  // not the next reader's own call
}

void McpServer::watchReading() {
  std::unique_lock lock(readingMutex_);
  std::uint64_t seen = 0;
  for (int quiet = 0; quiet < kQuietTicks && !inputEnded_;) {
    // No one wakes the watcher early: a quick call costs the reader nothing.
    readingChanged_.wait_for(lock, kReadingTick);
    if (callWhileReading_ == 0 || callWhileReading_ != seen) {
      quiet = callWhileReading_ == 0 ? quiet + 1 : 0;
      seen = callWhileReading_;
      continue;
    }
    // One call has run for a whole tick: read on from here, so that
    // control requests and other calls are not held up behind it.
    std::istream& in = *std::exchange(turn_, nullptr)->in;
    watching_ = false;
    lock.unlock();
    return readLines(in);
  }
  watching_ = false;
}

void McpServer::handleLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  VMCPJsonValue message;
  try {
    message = VMCPJsonValue::Parse(line);
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    sendError(nullptr, kParseError, std::string("Parse error: ") + error.what());
    return;
  }
  if (message.isArray()) return handleBatch(message, line.size());
  handleMessage(std::move(message), line.size());
}

void McpServer::handleMessage(VMCPJsonValue message, std::size_t bytes, CallThread thread) {
  handleOne(message, nullptr, bytes, thread);
}

void McpServer::handleBatch(const VMCPJsonValue& messages, std::size_t bytes) {
  if (!batches_) {
    sendError(nullptr, kInvalidRequest,
              "Invalid Request: a message must be a JSON object (batches need protocol revision "
              "2025-03-26).");
    return;
  }
  if (messages.size() == 0) {
    sendError(nullptr, kInvalidRequest, "Invalid Request: an empty batch.");
    return;
  }
  auto batch = std::make_shared<Batch>();
  batch->outstanding = messages.size();
  for (VMCPJsonValue message : messages.asArray())
    handleOne(message, batch, bytes / messages.size());
}

void McpServer::handleOne(VMCPJsonValue& mutableMessage, const BatchPtr& batch, std::size_t bytes,
                          CallThread thread) {
  const VMCPJsonValue& message = mutableMessage;  // reading must not add members
  if (!message.isObject()) {
    sendError(nullptr, kInvalidRequest, "Invalid Request: a message must be a JSON object.", batch);
    return;
  }
  const bool hasId = message.has("id");
  const VMCPJsonValue id = hasId && IsValidId(message["id"]) ? message["id"] : VMCPJsonValue();
  if (message["jsonrpc"].asString() != "2.0") {
    sendError(id, kInvalidRequest, "Invalid Request: \"jsonrpc\" must be \"2.0\".", batch);
    return;
  }
  if (!message.has("method") && hasId && (message.has("result") || message.has("error")))
    return reply(batch, {}, std::nullopt);  // a response; this server sends no requests
  if (!message["method"].isString()) {
    sendError(id, kInvalidRequest, "Invalid Request: \"method\" must be a string.", batch);
    return;
  }
  if (hasId && !IsValidId(message["id"])) {
    sendError(nullptr, kInvalidRequest, "Invalid Request: \"id\" must be a string or an integer.",
              batch);
    return;
  }
  const auto& params = message["params"];
  if (message.has("params") && !params.isObject() && !params.isArray()) {
    sendError(id, kInvalidRequest, "Invalid Request: \"params\" must be an object.", batch);
    return;
  }
  const std::string method = message["method"].asString();
  if (!hasId) {
    handleNotification(method, params);
    return reply(batch, {}, std::nullopt);
  }
  // Every method of this server takes named parameters.
  if (params.isArray()) {
    sendError(id, kInvalidParams, "Invalid params: \"params\" must be an object.", batch);
    return;
  }
  if (method == "initialize") return handleInitialize(id, params, batch);
  if (!initialized_ && method != "ping") {
    sendError(id, kNotInitialized, "Server not initialized: send \"initialize\" first.", batch);
    return;
  }
  // Moved, not copied: the arguments may be large.
  dispatch(id, method, std::move(mutableMessage["params"]), batch, bytes, thread);
}

void McpServer::handleNotification(const std::string& method, const VMCPJsonValue& params) {
  if (method != "notifications/cancelled") return;  // others need no action
  const auto& requestId = params["requestId"];
  if (!IsValidId(requestId)) return;
  std::lock_guard lock(pendingMutex_);
  if (auto found = pending_.find(requestId.dump()); found != pending_.end())
    found->second->store(true);
}

void McpServer::handleInitialize(const VMCPJsonValue& id, const VMCPJsonValue& params,
                                 const BatchPtr& batch) {
  if (initialized_) {
    sendError(id, kInvalidRequest, "Invalid Request: the server is already initialized.", batch);
    return;
  }
  if (!params["protocolVersion"].isString()) {
    sendError(id, kInvalidParams, "Invalid params: \"protocolVersion\" must be a string.", batch);
    return;
  }
  const std::string version = NegotiateProtocolVersion(params["protocolVersion"].asString());
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["protocolVersion"] = version;
  result["capabilities"]["tools"]["listChanged"] = false;
  result["serverInfo"]["name"] = options_.name;
  result["serverInfo"]["version"] = options_.version;
  result["instructions"] =
      "Tools of the application's plug-ins. Start with list_nutritions, then describe_nutrition.";
  batches_ = version == "2025-03-26";  // the one revision that has them
  initialized_ = true;
  std::string line = ResultLinePrefix(id);
  result.dumpTo(line);
  line.push_back('}');
  reply(batch, id.dump(), std::move(line));
}

void McpServer::dispatch(const VMCPJsonValue& id, const std::string& method, VMCPJsonValue params,
                         const BatchPtr& batch, std::size_t bytes, CallThread thread) {
  // Control methods never wait for a lock: answered here, they cannot queue behind tool calls.
  if (method != "tools/call") {
    const std::atomic<bool> notCancelled{false};
    return reply(batch, id.dump(), answerRequest(id, method, params, notCancelled));
  }
  const std::string key = id.dump();
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(pendingMutex_);
    pending_[key] = cancelled;
  }
  auto call = [this, id, key, method, params = std::move(params), batch, cancelled] {
    std::optional<std::string> answer;
    if (!*cancelled) answer = answerRequest(id, method, params, *cancelled, !batch);
    {
      // A streamed answer is out already, and the client may have reused its id.
      std::lock_guard lock(pendingMutex_);
      if (auto entry = pending_.find(key); entry != pending_.end() && entry->second == cancelled)
        pending_.erase(entry);
    }
    if (*cancelled) answer.reset();  // the client gave up and expects no answer
    reply(batch, key, std::move(answer));
  };
  if (thread == CallThread::Caller) return call();
  // A call the reading thread meets runs right here, with no hand-off to
  // wait for; a watcher reads on if it lasts.
  if (const auto number = batch ? 0 : beginCallWhileReading()) {
    call();
    return endCallWhileReading(number);
  }
  pool_.post(std::move(call), bytes);
}

std::optional<std::string> McpServer::answerRequest(const VMCPJsonValue& id,
                                                    const std::string& method,
                                                    const VMCPJsonValue& params,
                                                    const std::atomic<bool>& cancelled,
                                                    bool alone) {
  std::string line = ResultLinePrefix(id);
  std::optional<RpcError> error;
  try {
    if (runMethod(method, params, id, cancelled, alone, line)) return std::nullopt;
  } catch (const RpcError& rpc) {
    error = rpc;
  } catch (const std::exception& failure) {
    error = RpcError{kInternalError, std::string("Internal error: ") + failure.what()};
  } catch (...) {
    error = RpcError{kInternalError, "Internal error."};
  }
  if (error) return ErrorLine(id, error->code, error->message);
  line.push_back('}');
  return line;
}

bool McpServer::runMethod(const std::string& method, const VMCPJsonValue& params,
                          const VMCPJsonValue& id, const std::atomic<bool>& cancelled, bool alone,
                          std::string& out) {
  if (method == "ping") {
    out.append("{}");
    return false;
  }
  if (method == "tools/list") {
    if (params.has("cursor"))  // everything comes on one page, so no cursor is ours
      throw RpcError{kInvalidParams, "Invalid params: unknown \"cursor\"."};
    VMCPJsonValue result = VMCPJsonValue::MakeObject();
    result["tools"] = Qarn::mcp::VMCPRegistry::ListTools();
    if (!result["tools"].isArray()) result["tools"] = VMCPJsonValue::MakeArray();
    result.dumpTo(out);
    return false;
  }
  if (method == "tools/call") return callTool(params, id, cancelled, alone, out);
  throw RpcError{kMethodNotFound, "Method not found: " + Quoted(method)};
}

bool McpServer::callTool(const VMCPJsonValue& params, const VMCPJsonValue& id,
                         const std::atomic<bool>& cancelled, bool alone, std::string& out) {
  if (!params["name"].isString())
    throw RpcError{kInvalidParams, "Invalid params: \"name\" must be the tool's name."};
  const std::string name = params["name"].asString();
  const VMCPJsonValue noArguments = VMCPJsonValue::MakeObject();
  const VMCPJsonValue& given = params["arguments"];
  const VMCPJsonValue& arguments = given.isNull() ? noArguments : given;
  if (!arguments.isObject())
    throw RpcError{kInvalidParams, "Invalid params: \"arguments\" must be an object."};

  // Progress goes out only while the tool runs: the reporter is gone before the answer is sent.
  std::optional<ProgressNotifier> notifier;
  std::optional<Brasko::ScopedProgressReporter> listening;
  if (const auto& token = params["_meta"]["progressToken"]; IsValidId(token)) {
    notifier.emplace(token, [this, request = id.dump()](const VMCPJsonValue& message) {
      sendLine(message.dump(), {request, false});
    });
    listening.emplace(&*notifier);
  }
  VMCPJsonValue result;
  try {
    const Qarn::mcp::VMCPCallContext context{id.isString() ? id.asString() : id.dump(), &cancelled};
    if (!Qarn::mcp::VMCPRegistry::CallTool(name, arguments, context, result))
      throw RpcError{kInvalidParams, "Unknown tool: " + Quoted(name)};
  } catch (const RpcError&) {
    throw;
  } catch (const std::exception& failure) {
    FailedToolResult("Tool " + Quoted(name) + " failed: " + failure.what()).dumpTo(out);
    return false;
  } catch (...) {
    FailedToolResult("Tool " + Quoted(name) + " failed with an unknown error.").dumpTo(out);
    return false;
  }
  if (alone && bytes_.write) {
    if (!cancelled) streamToolResult(std::move(result), out);  // a cancelled call gets no answer
    return true;
  }
  AppendToolResult(std::move(result), out);
  return false;
}

void McpServer::streamToolResult(VMCPJsonValue result, std::string& line) {
  const char* end = ResultEnd(result);
  const bool structured = result.isObject();
  // Taken when the first piece goes out: a small line is made whole first.
  std::unique_lock lock(outMutex_, std::defer_lock);
  const auto send = [&](std::string_view bytes) {
    if (!lock.owns_lock()) lock.lock();
    bytes_.write(bytes);
  };
  const VMCPJsonValue::Spill spill = [&](std::string& piece) {
    send(piece);
    piece.clear();
  };
  std::string& text = answerText;
  text.clear();
  line.append(kTextItem).push_back('"');
  result.dumpTo(text, line, spill, kSpillBytes);
  line.append(R"("}])");
  if (structured) {
    line.append(kStructuredContent);
    if (line.size() + text.size() > kSpillBytes) {  // no copy of a large text
      spill(line);
      send(text);
    } else {
      line.append(text);
    }
  }
  line.append(end).append("}\n");  // the tool result's end, then the message's
  send(line);
  lock.unlock();
  // The client has the answer; the tree and the buffers go now.
  result = VMCPJsonValue();
  DropIfHuge(text);
  GiveBackLine(std::move(line));
}

void McpServer::sendError(const VMCPJsonValue& id, int code, const std::string& text,
                          const BatchPtr& batch) {
  reply(batch, id.dump(), ErrorLine(id, code, text));
}

void McpServer::reply(const BatchPtr& batch, const std::string& request,
                      std::optional<std::string> line) {
  if (!batch) {
    if (line) sendLine(std::move(*line), {request, true});
    return;
  }
  std::vector<std::string> answers;
  {
    std::lock_guard lock(batch->mutex);
    if (line) batch->answers.push_back(std::move(*line));
    if (--batch->outstanding > 0) return;
    answers.swap(batch->answers);
  }
  if (answers.empty()) return;  // a batch of notifications gets no answer at all
  std::string joined = "[";
  for (const auto& answer : answers) joined.append(answer).push_back(',');
  joined.back() = ']';
  sendLine(std::move(joined), {});
}

void McpServer::sendLine(std::string line, const LineRoute& route) {
  std::lock_guard lock(outMutex_);
  if (!bytes_.write) return sink_(std::move(line), route);
  bytes_.write(line.append("\n"));
  GiveBackLine(std::move(line));  // written out: its room serves the next answer
}

}  // namespace dravo::host
