#include <dravo-host/client_requests.h>
#include <dravo-host/feature_methods.h>
#include <dravo-host/mcp_methods.h>
#include <dravo-host/mcp_server.h>

#include <qarn/mcp/json_memory.h>

#include <optional>
#include <utility>
#include <vector>

namespace dravo::host {

namespace {

// How long a thread waits for work before it gives back memory.
constexpr std::chrono::milliseconds kRestAfter{200};

PoolLimits LimitsOf(const ServerOptions& options) {
  PoolLimits limits;
  // A worker that rests gives back its JSON blocks, then the process may return freed memory.
  limits.onRest = [whenIdle = options.whenIdle] {
    Qarn::mcp::ReleaseJsonBlocks();
    if (whenIdle) whenIdle();
  };
  limits.rest = kRestAfter;
  limits.coreThreads = options.workers;
  limits.maxThreads = options.maxThreads;
  limits.maxQueued = options.maxQueued;
  limits.maxQueuedCost = 2 * options.maxLineBytes;
  return limits;
}

constexpr int kBadRequest = 400;
constexpr int kNotFound = 404;

RpcError InvalidMeta(const char* key, const std::string& what) {
  RpcError error{kInvalidParams, "Invalid params: \"_meta\" must carry " + what + ".",
                 VMCPJsonValue::MakeObject(), kBadRequest};
  error.data["envelope"]["missing"].push_back(key);
  return error;
}

RpcError UnknownMethod(const std::string& method, bool stateless) {
  return {kMethodNotFound, "Method not found: " + Quoted(method), nullptr,
          stateless ? kNotFound : 0};
}

// A request that names its revision in `_meta` is stateless: it carries what
// a session would hold. Empty when it names none.
std::optional<RpcError> ReadStatelessMeta(const VMCPJsonValue& meta, RequestContext& context) {
  const auto& version = meta[kMetaProtocolVersion];
  if (!version.isString())
    return InvalidMeta(kMetaProtocolVersion, Quoted(kMetaProtocolVersion) +
                                                 " as a string (or send \"initialize\" first)");
  if (version.asString() != kStatelessVersion) {
    RpcError error{kUnsupportedProtocolVersion,
                   "Unsupported protocol version: " + Quoted(version.asString()) + "."};
    error.data = VMCPJsonValue::MakeObject();
    error.data["supported"].push_back(std::string(kStatelessVersion));
    error.data["requested"] = version;
    error.httpStatus = kBadRequest;
    return error;
  }
  const auto& capabilities = meta[kMetaClientCapabilities];
  if (!capabilities.isObject())
    return InvalidMeta(kMetaClientCapabilities, Quoted(kMetaClientCapabilities) + " as an object");
  context.stateless = true;
  context.client = {version.asString(), capabilities, meta[kMetaClientInfo]};
  return std::nullopt;
}

// Any of the envelope's keys marks a request of the stateless revision,
// which must then carry the whole envelope.
bool ClaimsStateless(const VMCPJsonValue& meta) {
  return meta.has(kMetaProtocolVersion) || meta.has(kMetaClientCapabilities) ||
         meta.has(kMetaClientInfo);
}

bool IsStatelessOnly(const std::string& method) {
  return method == "subscriptions/listen";
}
// Methods of the handshake era that the stateless revision dropped.
bool IsLegacyOnly(const std::string& method) {
  return method == "initialize" || method == "ping" || method == "logging/setLevel";
}

}  // namespace

// The answer lines of one batch, sent together once the last one is in.
struct McpServer::Batch {
  std::mutex mutex;
  std::size_t outstanding = 0;
  std::vector<std::string> answers;
};

McpServer::McpServer(ServerOptions options)
    : options_(std::move(options)), tasks_(options_), pool_(LimitsOf(options_)) {}

McpServer::~McpServer() {
  drain();
}

void McpServer::drain() {
  pool_.drain();
}

void McpServer::handleLine(std::string_view line, const PeerPtr& peer) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  VMCPJsonValue message;
  try {
    message = VMCPJsonValue::Parse(line);
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    sendError(peer, nullptr, nullptr, {kParseError, std::string("Parse error: ") + error.what()});
    return;
  }
  if (message.isArray()) return handleBatch(message, peer, line.size());
  handleMessage(std::move(message), peer, line.size());
}

void McpServer::handleMessage(VMCPJsonValue message, const PeerPtr& peer, std::size_t bytes,
                              CallThread thread) {
  handleOne(message, peer, nullptr, bytes, thread);
}

void McpServer::handleBatch(const VMCPJsonValue& messages, const PeerPtr& peer, std::size_t bytes) {
  if (!peer->session().batches()) {
    sendError(peer, nullptr, nullptr,
              {kInvalidRequest,
               "Invalid Request: a message must be a JSON object (batches need protocol revision "
               "2025-03-26)."});
    return;
  }
  if (messages.size() == 0) {
    sendError(peer, nullptr, nullptr, {kInvalidRequest, "Invalid Request: an empty batch."});
    return;
  }
  auto batch = std::make_shared<Batch>();
  batch->outstanding = messages.size();
  for (VMCPJsonValue message : messages.asArray())
    handleOne(message, peer, batch, bytes / messages.size(), CallThread::Worker);
}

void McpServer::handleOne(VMCPJsonValue& mutableMessage, const PeerPtr& peer, const BatchPtr& batch,
                          std::size_t bytes, CallThread thread) {
  const VMCPJsonValue& message = mutableMessage;  // reading must not add members
  const auto refuse = [&](const VMCPJsonValue& id, RpcError error) {
    sendError(peer, batch, id, error);
  };
  if (!message.isObject())
    return refuse(nullptr, {kInvalidRequest, "Invalid Request: a message must be a JSON object."});
  const bool hasId = message.has("id");
  const VMCPJsonValue id = hasId && IsRequestId(message["id"]) ? message["id"] : VMCPJsonValue();
  if (message["jsonrpc"].asString() != "2.0")
    return refuse(id, {kInvalidRequest, "Invalid Request: \"jsonrpc\" must be \"2.0\"."});
  if (!message.has("method") && hasId && (message.has("result") || message.has("error"))) {
    DeliverClientAnswer(message);  // to a request of ours, or else dropped
    return reply(peer, batch, {}, {});
  }
  if (!message["method"].isString())
    return refuse(id, {kInvalidRequest, "Invalid Request: \"method\" must be a string."});
  if (hasId && !IsRequestId(message["id"]))
    return refuse(nullptr,
                  {kInvalidRequest, "Invalid Request: \"id\" must be a string or an integer."});
  const auto& params = message["params"];
  if (message.has("params") && !params.isObject() && !params.isArray())
    return refuse(id, {kInvalidRequest, "Invalid Request: \"params\" must be an object."});
  const std::string method = message["method"].asString();
  if (!hasId) {
    handleNotification(method, params, *peer);
    return reply(peer, batch, {}, {});
  }
  // Every method of this server takes named parameters.
  if (params.isArray())
    return refuse(id, {kInvalidParams, "Invalid params: \"params\" must be an object."});
  if (stopping_)
    return refuse(id, {kInternalError, "The server is shutting down: send no more requests."});

  RequestContext context;
  context.id = id;
  context.request = id.dump();
  context.server = &options_;
  const auto& meta = params["_meta"];
  const bool initialized = peer->session().initialized();
  // The discovery probe, like any request outside a session, brings its envelope.
  if (ClaimsStateless(meta) || (method == "server/discover" && !initialized)) {
    if (auto error = ReadStatelessMeta(meta, context)) return refuse(id, std::move(*error));
    if (IsLegacyOnly(method)) return refuse(id, UnknownMethod(method, true));
  } else if (method == "server/discover") {
    context.stateless = true;  // asked inside a session: answered as the revision that has it
  } else if (initialized) {
    context.client = peer->session().client();
    if (IsStatelessOnly(method)) return refuse(id, UnknownMethod(method, false));
  } else if (method != "initialize" && method != "ping") {
    return refuse(id, InvalidMeta(kMetaProtocolVersion,
                                  Quoted(kMetaProtocolVersion) +
                                      " (or the session must begin with \"initialize\")"));
  }
  if (method == "subscriptions/listen") return listen(context, params, peer);
  if (method == "tools/call")  // moved, not copied: the arguments may be large
    return startCall(std::move(context), std::move(mutableMessage["params"]), peer, batch, bytes,
                     thread);
  // Other methods are quick: answered here, they never queue behind tool calls.
  int status = 0;
  std::string line = answer(method, params, context, *peer, status);
  reply(peer, batch, {context.request, true, status}, std::move(line));
}

std::string McpServer::answer(const std::string& method, const VMCPJsonValue& params,
                              RequestContext& context, Peer& peer, int& status) {
  std::string line = ResultLinePrefix(context.id);
  const std::size_t start = line.size();
  try {
    if (method == "server/discover") {
      Discover(options_, line);
    } else if (method == "initialize") {
      if (!params["protocolVersion"].isString())
        throw RpcError{kInvalidParams, "Invalid params: \"protocolVersion\" must be a string."};
      const std::string version = NegotiateProtocolVersion(params["protocolVersion"].asString());
      if (!peer.session().initialize({version, params["capabilities"], params["clientInfo"]}))
        throw RpcError{kInvalidRequest, "Invalid Request: the server is already initialized."};
      InitializeResult(options_, version, line);
    } else if (method == "ping") {
      line.append("{}");
    } else if (method == "tools/list") {
      ListTools(params, context, line);
    } else if (context.stateless && TaskMethods::Handles(method)) {
      tasks_.answer(method, params, context, peer.scope(), line);
    } else if (AnswerFeature(method, params, context, peer, line)) {
    } else {
      throw UnknownMethod(method, context.stateless);
    }
  } catch (const RpcError& error) {
    status = error.httpStatus;
    return ErrorLine(context.id, error);
  } catch (const std::exception& failure) {
    return ErrorLine(context.id,
                     {kInternalError, std::string("Internal error: ") + failure.what()});
  }
  if (context.stateless) FinishStatelessResult(options_, start, line, context.resultType);
  line.push_back('}');
  return line;
}

void McpServer::startCall(RequestContext context, VMCPJsonValue params, const PeerPtr& peer,
                          const BatchPtr& batch, std::size_t bytes, CallThread thread) {
  const auto cancellation = context.cancellation;
  const CallKey key{peer.get(), context.request};
  {
    std::lock_guard lock(callsMutex_);
    calls_[key] = cancellation;  // a reused id replaces a finished call's entry
  }
  const auto forget = [this, key, cancellation] {
    std::lock_guard lock(callsMutex_);
    if (auto found = calls_.find(key); found != calls_.end() && found->second == cancellation)
      calls_.erase(found);
  };
  context.notify = [peer, cancellation, request = context.request](const VMCPJsonValue& note) {
    std::lock_guard lock(cancellation->mutex);
    if (!cancellation->requested) peer->send(note.dump(), {request, false});
  };
  // Once its answer is a task handle, the call is the task's: the client
  // reaches it through the task, no longer through the request.
  auto budget =
      tasks_.arm(context, peer->scope(), [this, peer, batch, key, forget](std::string line) {
        forget();
        reply(peer, batch, {key.second}, std::move(line));
      });
  auto call = [this, context = std::move(context), params = std::move(params), peer, batch, key,
               forget, budget]() mutable {
    std::string line = ResultLinePrefix(context.id);
    const std::size_t start = line.size();
    int status = 0;  // an error's HTTP status
    try {
      if (context.cancellation->requested)
        throw RpcError{kInternalError, "Cancelled before it started: the server is stopping."};
      CallTool(params, context, line);
      if (context.stateless) FinishStatelessResult(options_, start, line, context.resultType);
      line.push_back('}');
    } catch (const RpcError& error) {
      line = ErrorLine(context.id, error);
      status = error.httpStatus;
    } catch (const std::exception& failure) {
      line =
          ErrorLine(context.id, {kInternalError, std::string("Internal error: ") + failure.what()});
    }
    params = VMCPJsonValue();
    forget();
    // Decided under the call's lock: a cancel either came first, and the
    // client gets no answer, or it comes too late and is ignored.
    std::lock_guard lock(context.cancellation->mutex);
    if (context.cancellation->requested && !context.cancellation->byServer) line.clear();
    if (budget && budget->finish(line, context.cancellation->requested)) return;
    reply(peer, batch, {context.request, true, status}, std::move(line));
  };
  if (thread == CallThread::Caller) return call();
  pool_.post(std::move(call), bytes);
}

void McpServer::handleNotification(const std::string& method, const VMCPJsonValue& params,
                                   Peer& peer) {
  if (method != "notifications/cancelled") return;  // others need no action
  const auto& requestId = params["requestId"];
  if (IsRequestId(requestId)) cancel(peer, requestId.dump());
}

void McpServer::listen(const RequestContext& context, const VMCPJsonValue& params,
                       const PeerPtr& peer) {
  // Tasks and the resources plug-ins update can be followed; the tool list
  // never changes. The subscription stays open until the client or shutdown ends it.
  VMCPJsonValue ack = VMCPJsonValue::MakeObject();
  ack["jsonrpc"] = "2.0";
  ack["method"] = "notifications/subscriptions/acknowledged";
  try {
    ack["params"]["notifications"] = tasks_.listen(context, params["notifications"], peer);
    ListenForResources(context, params["notifications"], *peer, ack["params"]["notifications"]);
  } catch (const RpcError& error) {
    tasks_.unlisten(*peer, context.request);  // refused as a whole
    return sendError(peer, nullptr, context.id, error);
  }
  ack["params"]["_meta"][kMetaSubscriptionId] = context.id;
  {
    std::lock_guard lock(callsMutex_);
    subscriptions_[{peer.get(), context.request}] = {peer, context.id};
  }
  peer->send(ack.dump(), {context.request, false});
}

bool McpServer::endSubscription(const Peer& peer, const std::string& request) {
  PeerPtr subscriber;
  {
    std::lock_guard lock(callsMutex_);
    auto found = subscriptions_.find({&peer, request});
    if (found == subscriptions_.end()) return false;
    subscriber = std::move(found->second.first);
    subscriptions_.erase(found);
  }
  tasks_.unlisten(peer, request);
  StopListeningForResources(peer, request);
  subscriber->send({}, {request, true});  // ended without an answer
  return true;
}

void McpServer::cancel(const Peer& peer, const std::string& request) {
  if (endSubscription(peer, request)) return;
  std::shared_ptr<Cancellation> cancellation;
  {
    std::lock_guard lock(callsMutex_);
    auto found = calls_.find({&peer, request});
    if (found == calls_.end()) return;
    cancellation = found->second;
  }
  std::lock_guard lock(cancellation->mutex);
  cancellation->requested = true;
}

void McpServer::cancelAll(const Peer& peer) {
  std::vector<std::shared_ptr<Cancellation>> running;
  std::vector<std::string> subscriptions;
  {
    std::lock_guard lock(callsMutex_);
    for (auto it = subscriptions_.lower_bound({&peer, {}});
         it != subscriptions_.end() && it->first.first == &peer; ++it)
      subscriptions.push_back(it->first.second);
    for (auto it = calls_.lower_bound({&peer, {}}); it != calls_.end() && it->first.first == &peer;
         ++it)
      running.push_back(it->second);
  }
  for (const auto& request : subscriptions) endSubscription(peer, request);
  for (const auto& cancellation : running) {
    std::lock_guard lock(cancellation->mutex);
    cancellation->requested = true;
  }
}

void McpServer::shutdown(std::chrono::milliseconds grace) {
  stopping_ = true;
  tasks_.stopCreating();
  endSubscriptions();
  if (pool_.drainFor(grace)) return;
  tasks_.cancelRunning();
  std::vector<std::shared_ptr<Cancellation>> running;
  {
    std::lock_guard lock(callsMutex_);
    for (const auto& [key, cancellation] : calls_) running.push_back(cancellation);
  }
  for (const auto& cancellation : running) {
    std::lock_guard lock(cancellation->mutex);
    cancellation->byServer = !cancellation->requested;
    cancellation->requested = true;
  }
  pool_.drain();
}

// At shutdown a subscription gets its one result, which says it ended well.
void McpServer::endSubscriptions() {
  std::map<CallKey, std::pair<PeerPtr, VMCPJsonValue>> ending;
  {
    std::lock_guard lock(callsMutex_);
    ending.swap(subscriptions_);
  }
  for (auto& [key, subscriber] : ending) {
    auto& [peer, id] = subscriber;
    tasks_.unlisten(*peer, key.second);
    StopListeningForResources(*peer, key.second);
    std::string line = ResultLinePrefix(id);
    const std::size_t start = line.size();
    line.append("{}");
    VMCPJsonValue meta = VMCPJsonValue::MakeObject();
    meta[kMetaSubscriptionId] = id;
    FinishStatelessResult(options_, start, line, "complete", std::move(meta));
    line.push_back('}');
    peer->send(std::move(line), {key.second, true});
  }
}

void McpServer::sendError(const PeerPtr& peer, const BatchPtr& batch, const VMCPJsonValue& id,
                          const RpcError& error) {
  reply(peer, batch, {id.dump(), true, error.httpStatus}, ErrorLine(id, error));
}

void McpServer::reply(const PeerPtr& peer, const BatchPtr& batch, const LineRoute& route,
                      std::string line) {
  if (!batch) {
    if (!line.empty() || !route.request.empty()) peer->send(std::move(line), route);
    return;
  }
  std::vector<std::string> answers;
  {
    std::lock_guard lock(batch->mutex);
    if (!line.empty()) batch->answers.push_back(std::move(line));
    if (--batch->outstanding > 0) return;
    answers.swap(batch->answers);
  }
  if (answers.empty()) return;  // a batch of notifications gets no answer at all
  std::string joined = "[";
  for (const auto& answer : answers) joined.append(answer).push_back(',');
  joined.back() = ']';
  peer->send(std::move(joined), {});
}

}  // namespace dravo::host
