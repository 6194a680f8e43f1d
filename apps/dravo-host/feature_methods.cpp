#include <dravo-host/client_requests.h>
#include <dravo-host/feature_methods.h>
#include <dravo-host/mcp_server.h>
#include <dravo-host/request_state.h>

#include <qarn/mcp/features.h>
#include <qarn/mcp/registry.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace dravo::host {

namespace {

using Qarn::mcp::VMCPFeatures;

constexpr int kBadRequest = 400;
constexpr int kMissingClientCapability = -32021;
constexpr std::size_t kMaxCompletions = 100;  // what one answer may carry

struct Offer {
  bool resources = false;
  bool prompts = false;
  bool templates = false;
};

Offer Offered() {
  Offer offer;
  offer.resources = VMCPFeatures::ListResources().size() > 0;
  offer.templates = VMCPFeatures::ListResourceTemplates().size() > 0;
  offer.prompts = VMCPFeatures::ListPrompts().size() > 0;
  offer.resources = offer.resources || offer.templates;
  return offer;
}

void AddCacheHints(const RequestContext& context, VMCPJsonValue& result, bool list) {
  if (!context.stateless) return;
  // Lists stay as they are while the host runs; what a resource holds may not.
  result["ttlMs"] = list ? std::int64_t(context.server->listTtl.count()) : std::int64_t(0);
  result["cacheScope"] = list ? "public" : "private";
}

void RefuseCursor(const VMCPJsonValue& params) {
  if (params.has("cursor"))  // everything comes on one page, so no cursor is ours
    throw RpcError{kInvalidParams, "Invalid params: unknown \"cursor\"."};
}

std::string RequiredString(const VMCPJsonValue& params, const char* key) {
  if (!params[key].isString())
    throw RpcError{kInvalidParams,
                   std::string("Invalid params: \"") + key + "\" must be a string."};
  return params[key].asString();
}

void List(const char* key, VMCPJsonValue items, const VMCPJsonValue& params,
          const RequestContext& context, std::string& out) {
  RefuseCursor(params);
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result[key] = std::move(items);
  AddCacheHints(context, result, true);
  result.dumpTo(out);
}

void ReadResource(const VMCPJsonValue& params, RequestContext& context, std::string& out) {
  const std::string uri = RequiredString(params, "uri");
  const InputRound round = ReadInputRound(params, "resources/read", uri);
  Qarn::mcp::VMCPResourceResult read;
  if (!VMCPFeatures::ReadResource(uri, CallContextOf(context, round), read)) {
    RpcError error{kInvalidParams, "Resource not found: " + Quoted(uri),
                   VMCPJsonValue::MakeObject()};
    error.data["uri"] = uri;
    throw error;
  }
  if (!read.input.empty())
    return AppendInputRequired(read.input, "resources/read", uri, context, out);
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["contents"] = std::move(read.contents);
  AddCacheHints(context, result, false);
  result.dumpTo(out);
}

void GetPrompt(const VMCPJsonValue& params, RequestContext& context, std::string& out) {
  const std::string name = RequiredString(params, "name");
  const auto& arguments = params["arguments"];
  if (!arguments.isNull() && !arguments.isObject())
    throw RpcError{kInvalidParams, "Invalid params: \"arguments\" must be an object."};
  const InputRound round = ReadInputRound(params, "prompts/get", name);
  Qarn::mcp::VMCPPromptResult prompt;
  const VMCPJsonValue none = VMCPJsonValue::MakeObject();
  if (!VMCPFeatures::GetPrompt(name, arguments.isObject() ? arguments : none,
                               CallContextOf(context, round), prompt))
    throw RpcError{kInvalidParams, "Unknown prompt: " + Quoted(name)};
  if (!prompt.input.empty())
    return AppendInputRequired(prompt.input, "prompts/get", name, context, out);
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  if (!prompt.description.empty()) result["description"] = prompt.description;
  result["messages"] = std::move(prompt.messages);
  result.dumpTo(out);
}

void Complete(const VMCPJsonValue& params, std::string& out) {
  const auto& ref = params["ref"];
  const std::string type = ref["type"].asString();
  if (type != "ref/prompt" && type != "ref/resource")
    throw RpcError{kInvalidParams,
                   "Invalid params: \"ref\" must name a prompt or a resource template."};
  Qarn::mcp::VMCPCompletionRequest request;
  request.ref = ref;
  request.argument = RequiredString(params["argument"], "name");
  request.value = params["argument"]["value"].asString();
  request.otherArguments = params["context"]["arguments"];
  Qarn::mcp::VMCPCompletion completion;
  VMCPFeatures::Complete(request, completion);  // nobody knows it: nothing to offer
  VMCPJsonValue values = VMCPJsonValue::MakeArray();
  const std::size_t shown = std::min(completion.values.size(), kMaxCompletions);
  for (std::size_t i = 0; i < shown; ++i) values.push_back(completion.values[i]);
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  auto& answer = result["completion"];
  answer["values"] = std::move(values);
  if (completion.total >= 0) answer["total"] = completion.total;
  answer["hasMore"] = completion.hasMore || shown < completion.values.size();
  result.dumpTo(out);
}

// Who follows which resource: 2025 sessions that subscribed (no request,
// no id) and 2026 listens (their request and id). A peer that ended drops
// out when an update finds it gone.
struct Subscriptions {
  using Key = std::pair<const Peer*, std::string>;  // the peer and the listen's request
  struct Follower {
    std::weak_ptr<Peer> peer;
    VMCPJsonValue listenId;  // null for a 2025 subscription
  };
  std::mutex mutex;
  std::map<std::string, std::map<Key, Follower>> byUri;

  Subscriptions() {
    VMCPFeatures::SetResourceObserver([this](const std::string& uri) { updated(uri); });
  }
  void follow(const std::string& uri, Peer& peer, const std::string& request,
              const VMCPJsonValue& listenId) {
    std::lock_guard lock(mutex);
    byUri[uri][{&peer, request}] = {peer.weak_from_this(), listenId};
  }
  void unfollow(const Peer& peer, const std::string& request, const std::string* uri = nullptr) {
    std::lock_guard lock(mutex);
    for (auto it = byUri.begin(); it != byUri.end();) {
      if (!uri || it->first == *uri) it->second.erase({&peer, request});
      it = it->second.empty() ? byUri.erase(it) : std::next(it);
    }
  }
  void updated(const std::string& uri) {
    std::vector<std::pair<std::shared_ptr<Peer>, Key>> to;
    std::vector<VMCPJsonValue> ids;
    {
      std::lock_guard lock(mutex);
      auto found = byUri.find(uri);
      if (found == byUri.end()) return;
      for (auto it = found->second.begin(); it != found->second.end();) {
        if (auto peer = it->second.peer.lock()) {
          to.emplace_back(std::move(peer), it->first);
          ids.push_back(it->second.listenId);
          ++it;
        } else {
          it = found->second.erase(it);
        }
      }
    }
    for (std::size_t i = 0; i < to.size(); ++i) {
      VMCPJsonValue note = VMCPJsonValue::MakeObject();
      note["jsonrpc"] = "2.0";
      note["method"] = "notifications/resources/updated";
      note["params"]["uri"] = uri;
      if (!ids[i].isNull()) note["params"]["_meta"][kMetaSubscriptionId] = ids[i];
      to[i].first->send(note.dump(), {to[i].second.second, false});
    }
  }
};

Subscriptions& ResourceSubscriptions() {
  static Subscriptions& subscriptions = *new Subscriptions;  // providers may update at exit
  return subscriptions;
}

void Subscribe(const VMCPJsonValue& params, Peer& peer, bool subscribe, std::string& out) {
  const std::string uri = RequiredString(params, "uri");
  if (subscribe)
    ResourceSubscriptions().follow(uri, peer, {}, VMCPJsonValue());
  else
    ResourceSubscriptions().unfollow(peer, {}, &uri);
  out.append("{}");
}

// The capability a client needs to answer an input request.
const char* CapabilityFor(const std::string& method) {
  if (method == "elicitation/create") return "elicitation";
  if (method == "sampling/createMessage") return "sampling";
  if (method == "roots/list") return "roots";
  return nullptr;
}

// Refuses input requests the client did not declare it can answer.
void CheckClientCapabilities(const Qarn::mcp::VMCPInputRequests& input,
                             const RequestContext& context) {
  VMCPJsonValue missing = VMCPJsonValue::MakeObject();
  for (const auto& request : input.requests().members()) {
    const std::string method = request.value["method"].asString();
    const char* capability = CapabilityFor(method);
    if (!capability || !context.client.capabilities[capability].isObject())
      missing[capability ? capability : method] = VMCPJsonValue::MakeObject();
  }
  if (missing.size() == 0) return;
  RpcError error{kMissingClientCapability,
                 "The request needs input the client did not declare it can give: " +
                     std::string(missing.members()[0].key()) + ".",
                 VMCPJsonValue::MakeObject(), kBadRequest};
  error.data["requiredCapabilities"] = std::move(missing);
  throw error;
}

// A 2025-era client answers elicitations only, one server request each.
InputRound AskOnSession(const Qarn::mcp::VMCPInputRequests& input, RequestContext& context) {
  InputRound round;
  round.responses = VMCPJsonValue::MakeObject();
  round.state = input.state;
  for (const auto& request : input.requests().members()) {
    const std::string method = request.value["method"].asString();
    if (method != "elicitation/create")
      throw RpcError{kInvalidRequest, "The tool needs " + Quoted(method) +
                                          ", which only protocol revision 2026-07-28 offers."};
    round.responses[request.key()] =
        AskClient(context.notify, method, request.value["params"], *context.cancellation);
  }
  return round;
}

// Sends each report at once: a plug-in that reports through its context
// chooses its own pace.
std::function<bool(double, double, const std::string&)> ProgressOf(const VMCPJsonValue& params,
                                                                   const RequestContext& context) {
  const auto& token = params["_meta"]["progressToken"];
  if (!IsRequestId(token) || !context.notify) return {};
  return [token, notify = context.notify, cancellation = context.cancellation](
             double done, double total, const std::string& message) {
    VMCPJsonValue note = VMCPJsonValue::MakeObject();
    note["jsonrpc"] = "2.0";
    note["method"] = "notifications/progress";
    auto& body = note["params"];
    body["progressToken"] = token;
    body["progress"] = done;
    if (total > 0) body["total"] = total;
    if (!message.empty()) body["message"] = message;
    notify(note);
    return !cancellation->requested.load();
  };
}

// Rounds of questions one legacy call may ask before it is given up.
constexpr int kMaxInputRounds = 16;

}  // namespace

void AddFeatureCapabilities(VMCPJsonValue& capabilities, bool legacy) {
  const Offer offer = Offered();
  if (offer.resources) {
    auto& resources = capabilities["resources"];
    resources = VMCPJsonValue::MakeObject();
    if (legacy) {
      ResourceSubscriptions();  // listening from now on
      resources["subscribe"] = true;
      resources["listChanged"] = false;
    }
  }
  if (offer.prompts) {
    auto& prompts = capabilities["prompts"];
    prompts = VMCPJsonValue::MakeObject();
    if (legacy) prompts["listChanged"] = false;
  }
  if (offer.prompts || offer.templates) capabilities["completions"] = VMCPJsonValue::MakeObject();
}

bool AnswerFeature(const std::string& method, const VMCPJsonValue& params, RequestContext& context,
                   Peer& peer, std::string& out) {
  const bool resources = method.starts_with("resources/");
  const bool prompts = method.starts_with("prompts/");
  const bool completion = method == "completion/complete";
  if (!resources && !prompts && !completion) return false;
  const Offer offer = Offered();
  if (resources && offer.resources) {
    if (method == "resources/list")
      return List("resources", VMCPFeatures::ListResources(), params, context, out), true;
    if (method == "resources/templates/list")
      return List("resourceTemplates", VMCPFeatures::ListResourceTemplates(), params, context, out),
             true;
    if (method == "resources/read") return ReadResource(params, context, out), true;
    if (!context.stateless && method.ends_with("subscribe"))  // resources/(un)subscribe
      return Subscribe(params, peer, method == "resources/subscribe", out), true;
  }
  if (prompts && offer.prompts) {
    if (method == "prompts/list")
      return List("prompts", VMCPFeatures::ListPrompts(), params, context, out), true;
    if (method == "prompts/get") return GetPrompt(params, context, out), true;
  }
  if (completion && (offer.prompts || offer.templates)) return Complete(params, out), true;
  return false;
}

InputRound ReadInputRound(const VMCPJsonValue& params, const std::string& method,
                          const std::string& target) {
  InputRound round;
  if (params.has("inputResponses")) {
    const auto& responses = params["inputResponses"];
    bool valid = responses.isObject();
    for (const auto& member : responses.members()) valid = valid && member.value.isObject();
    if (!valid)
      throw RpcError{kInvalidParams,
                     "Invalid params: \"inputResponses\" must map each input request's key to "
                     "the client's answer object."};
    round.responses = responses;
  }
  if (params.has("requestState")) {
    const auto& sealed = params["requestState"];
    auto state =
        sealed.isString() ? OpenRequestState(sealed.asString(), method, target) : std::nullopt;
    if (!state)
      throw RpcError{kInvalidParams,
                     "Invalid params: \"requestState\" is not one this server issued for this "
                     "request, or it was used already or has expired: start again without it."};
    round.state = std::move(*state);
  }
  return round;
}

Qarn::mcp::VMCPCallContext CallContextOf(const RequestContext& context, const InputRound& round) {
  Qarn::mcp::VMCPCallContext call;
  call.requestId = context.id.isString() ? context.id.asString() : context.request;
  call.cancelled = &context.cancellation->requested;
  call.clientCapabilities = &context.client.capabilities;
  if (!round.responses.isNull()) call.inputResponses = &round.responses;
  if (!round.state.isNull()) call.requestState = &round.state;
  return call;
}

void AppendInputRequired(const Qarn::mcp::VMCPInputRequests& input, const std::string& method,
                         const std::string& target, RequestContext& context, std::string& out) {
  CheckClientCapabilities(input, context);
  if (!context.stateless)
    throw RpcError{kInvalidRequest,
                   "This request needs input that the client's protocol revision cannot give "
                   "here: use revision 2026-07-28."};
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["inputRequests"] = input.requests();
  result["requestState"] = SealRequestState(method, target, input.state);
  context.resultType = "input_required";
  result.dumpTo(out);
}

void ListenForResources(const RequestContext& context, const VMCPJsonValue& filter, Peer& peer,
                        VMCPJsonValue& honoured) {
  const auto& wanted = filter["resourceSubscriptions"];
  if (!wanted.isArray() || !Offered().resources) return;
  auto& followed = honoured["resourceSubscriptions"];
  followed = VMCPJsonValue::MakeArray();
  for (const auto& uri : wanted.asArray()) {
    if (!uri.isString()) continue;
    ResourceSubscriptions().follow(uri.asString(), peer, context.request, context.id);
    followed.push_back(uri);
  }
}

void StopListeningForResources(const Peer& peer, const std::string& request) {
  ResourceSubscriptions().unfollow(peer, request);
}

std::vector<std::pair<std::string, std::string>> MirroredArguments(const std::string& tool) {
  using Mirrors = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;
  static const Mirrors mirrors = [] {
    Mirrors all;
    const VMCPJsonValue tools = Qarn::mcp::VMCPRegistry::ListTools();
    for (const auto& declared : tools.asArray())
      for (const auto& property : declared["inputSchema"]["properties"].members())
        if (const auto& header = property.value["x-mcp-header"]; header.isString())
          all[declared["name"].asString()].emplace_back(property.key(), header.asString());
    return all;
  }();
  const auto found = mirrors.find(tool);
  return found == mirrors.end() ? std::vector<std::pair<std::string, std::string>>{}
                                : found->second;
}

bool RunTool(const std::string& name, const VMCPJsonValue& arguments, const VMCPJsonValue& params,
             RequestContext& context, VMCPJsonValue& object, std::string& out) {
  InputRound round = ReadInputRound(params, "tools/call", name);
  for (int rounds = 0;; ++rounds) {
    auto call = CallContextOf(context, round);
    call.progress = ProgressOf(params, context);
    Qarn::mcp::VMCPToolResult tool;
    const auto answer = VMCPFeatures::RunTool(name, arguments, call, tool, object);
    if (answer == VMCPFeatures::ToolAnswer::Unknown)
      throw RpcError{kInvalidParams, "Unknown tool: " + Quoted(name)};
    if (answer == VMCPFeatures::ToolAnswer::Object) return false;
    if (tool.input.empty()) {
      VMCPJsonValue result = VMCPJsonValue::MakeObject();
      result["content"] = tool.content.isArray() ? tool.content : VMCPJsonValue::MakeArray();
      if (!tool.structuredContent.isNull()) result["structuredContent"] = tool.structuredContent;
      result["isError"] = tool.isError;
      result.dumpTo(out);
      return true;
    }
    if (context.stateless) {
      AppendInputRequired(tool.input, "tools/call", name, context, out);
      return true;
    }
    CheckClientCapabilities(tool.input, context);
    if (rounds == kMaxInputRounds)
      throw RpcError{kInternalError, "Tool " + Quoted(name) + " kept asking for input."};
    round = AskOnSession(tool.input, context);
  }
}

}  // namespace dravo::host
