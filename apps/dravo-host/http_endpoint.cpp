#include <dravo-host/feature_methods.h>
#include <dravo-host/http_endpoint.h>
#include <dravo-host/http_request_checks.h>

#include <boost/beast/http/field.hpp>
#include <boost/beast/http/status.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace dravo::host {

namespace {

namespace http = boost::beast::http;

constexpr std::string_view kEndpoint = "/mcp";
constexpr const char* kSessionHeader = "Mcp-Session-Id";
constexpr const char* kVersionHeader = "MCP-Protocol-Version";
constexpr const char* kMethodHeader = "Mcp-Method";
constexpr const char* kNameHeader = "Mcp-Name";
constexpr const char* kJson = "application/json";
constexpr const char* kEventStream = "text/event-stream";

template <class Name>
std::string_view Header(const HttpRequest& request, Name name) {
  const auto value = request[name];
  return {value.data(), value.size()};
}

template <class Name>
bool HasHeader(const HttpRequest& request, Name name) {
  return request.find(name) != request.end();
}

HttpReply Refused(int status, const std::string& message, int code = -32000) {
  HttpReply reply;
  reply.response = Refusal(status, message, code);
  return reply;
}

HttpReply Status(http::status status) {
  HttpReply reply;
  reply.response.result(status);
  return reply;
}

bool IsRequest(const VMCPJsonValue& message) {
  return message.has("method") && message.has("id");
}

// A client that asked for progress hears it on a stream, when it takes one.
bool WantsProgress(const VMCPJsonValue& message) {
  return message["params"]["_meta"].has("progressToken");
}

// A listen's acknowledgement, and a request the server may answer with a
// question first, need a stream before the answer.
bool SendsBeforeAnswering(const VMCPJsonValue& message, SessionTable& sessions,
                          std::string_view session) {
  const std::string method = message["method"].asString();
  if (method == "subscriptions/listen") return true;
  if (method != "tools/call" || session.empty()) return false;
  const auto found = sessions.find(std::string(session));
  return found && found->peer()->session().client().capabilities["elicitation"].isObject();
}

bool NamesStatelessVersion(const VMCPJsonValue& message) {
  const auto& meta = message["params"]["_meta"];
  return meta.has(kMetaProtocolVersion) || meta.has(kMetaClientCapabilities);
}

// The request's answer, awaited by the connection.
HttpReply Awaiting(std::shared_ptr<Exchange> exchange, bool stream,
                   std::function<void()> cancel = nullptr) {
  HttpReply reply;
  if (stream) {
    reply.response.set(http::field::content_type, kEventStream);
    reply.response.set(http::field::cache_control, "no-cache");
  }
  reply.exchange = std::move(exchange);
  reply.stream = stream;
  reply.cancel = std::move(cancel);
  return reply;
}

// What the body names that a stateless request's headers must repeat, so
// that a proxy may route on the headers alone.
std::optional<std::string> NameInBody(const VMCPJsonValue& message) {
  const auto& params = message["params"];
  const std::string method = message["method"].asString();
  if (method == "resources/read") return params["uri"].asString();
  if (method == "tools/call" || method == "prompts/get") return params["name"].asString();
  if (TaskMethods::Handles(method)) return params["taskId"].asString();
  return std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A name outside printable ASCII travels as "=?base64?...?="; nullopt when
// such a wrapper does not decode.
std::optional<std::string> DecodedName(std::string_view value) {
  constexpr std::string_view kOpen = "=?base64?", kClose = "?=";
  if (!value.starts_with(kOpen) || !value.ends_with(kClose) ||
      value.size() < kOpen.size() + kClose.size())
    return std::string(value);
  value = value.substr(kOpen.size(), value.size() - kOpen.size() - kClose.size());
  std::string decoded;
  std::uint32_t bits = 0;
  int count = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '=') {
      if (value.find_first_not_of('=', i) != std::string_view::npos) return std::nullopt;
      break;
    }
    const auto digit =
        std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
            .find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | std::uint32_t(digit);
    if ((count += 6) >= 8) decoded.push_back(char((bits >> (count -= 8)) & 0xff));
  }
  return decoded;
}

RpcError Mismatch(std::string_view header, std::string_view given, const std::string& body) {
  RpcError error{kHeaderMismatch,
                 "Header mismatch: " + std::string(header) +
                     (given.empty() ? " is missing; it must be " : " does not match the body's ") +
                     Quoted(body) + ".",
                 VMCPJsonValue::MakeObject(), 400};
  error.data["mismatch"]["header"] = std::string(header);
  error.data["mismatch"]["body"] = body;
  return error;
}

// The headers of a sessionless request against its body, in the order a
// client can act on: what contradicts the body first, then what is missing.
// Requests whose envelope is incomplete or names an unknown revision are
// left to the request core, which says so.
std::optional<RpcError> CheckHeaders(const HttpRequest& request, const VMCPJsonValue& message) {
  const auto& meta = message["params"]["_meta"];
  const auto& version = meta[kMetaProtocolVersion];
  // The header speaks for the stateless revision, so the body must carry its envelope.
  if (Trimmed(Header(request, kVersionHeader)) == kStatelessVersion && IsRequestId(message["id"]) &&
      !meta[kMetaProtocolVersion].isString()) {
    RpcError error{kInvalidParams,
                   "Invalid params: \"_meta\" must carry \"" + std::string(kMetaProtocolVersion) +
                       "\" as the MCP-Protocol-Version header says.",
                   VMCPJsonValue::MakeObject(), 400};
    error.data["envelope"]["missing"].push_back(meta.isObject() ? kMetaProtocolVersion
                                                                : std::string("_meta"));
    return error;
  }
  if (!version.isString() || !meta[kMetaClientCapabilities].isObject()) return std::nullopt;
  const std::string method = message["method"].asString();
  const auto versionHeader = Trimmed(Header(request, kVersionHeader));
  const auto methodHeader = Trimmed(Header(request, kMethodHeader));
  if (!versionHeader.empty() && versionHeader != version.asString())
    return Mismatch(kVersionHeader, versionHeader, version.asString());
  if (!methodHeader.empty() && methodHeader != method)
    return Mismatch(kMethodHeader, methodHeader, method);
  if (version.asString() != kStatelessVersion) return std::nullopt;
  if (versionHeader.empty()) return Mismatch(kVersionHeader, {}, version.asString());
  if (methodHeader.empty()) return Mismatch(kMethodHeader, {}, method);
  if (const auto name = NameInBody(message)) {
    const auto nameHeader = Trimmed(Header(request, kNameHeader));
    if (DecodedName(nameHeader) != *name) return Mismatch(kNameHeader, nameHeader, *name);
  }
  if (method != "tools/call") return std::nullopt;
  const auto& arguments = message["params"]["arguments"];
  for (const auto& [property, mirror] : MirroredArguments(message["params"]["name"].asString())) {
    const auto& value = arguments[property];
    if (value.isNull()) continue;
    const std::string header = "Mcp-Param-" + mirror;
    const auto given = Trimmed(Header(request, std::string_view(header)));
    const std::string body = value.isString() ? value.asString() : value.dump();
    // A wrapped value must be padded Base64: "=?base64?" + 4n characters + "?=".
    const bool wrapped = given.starts_with("=?base64?") && given.ends_with("?=");
    if (!HasHeader(request, std::string_view(header)) || DecodedName(given) != body ||
        (wrapped && (given.size() - 11) % 4 != 0))
      return Mismatch(header, given, body);
  }
  return std::nullopt;
}

}  // namespace

HttpResponse Refusal(int status, const std::string& message, int code) {
  VMCPJsonValue body = VMCPJsonValue::MakeObject();
  body["jsonrpc"] = "2.0";
  body["id"] = VMCPJsonValue(nullptr);
  body["error"]["code"] = code;
  body["error"]["message"] = message;
  HttpResponse response;
  response.result(static_cast<unsigned>(status));
  response.set(http::field::content_type, kJson);
  response.body() = body.dump();
  return response;
}

HttpResponse AnswerResponse(const Exchange::Line* answer) {
  HttpResponse response;
  if (!answer) {  // cancelled: no answer expected
    response.result(http::status::no_content);
    return response;
  }
  response.result(answer->httpStatus ? static_cast<unsigned>(answer->httpStatus) : 200u);
  response.set(http::field::content_type, kJson);
  response.body() = answer->text;
  return response;
}

// Whoever holds the token is one client: its tasks are reachable from any
// connection that brings it.
HttpEndpoint::HttpEndpoint(const HttpOptions& http, McpServer& server)
    : http_(http),
      server_(server),
      sessions_(server, http.maxSessions, http.sessionIdle),
      scope_("http:" + std::to_string(std::hash<std::string>{}(http.token))) {}

HttpReply HttpEndpoint::answer(const HttpRequest& request) {
  HttpReply reply;
  if (!guard(request, reply)) return reply;
  const std::string_view target = request.target();
  if (target.substr(0, target.find('?')) != kEndpoint) return Status(http::status::not_found);
  switch (request.method()) {
    case http::verb::post: return post(request);
    case http::verb::delete_: return remove(request);
    default:
      // GET too: the server sends nothing outside of a request's answer.
      reply = Status(http::status::method_not_allowed);
      reply.response.set(http::field::allow, "POST, DELETE");
      return reply;
  }
}

// Origin, Host and token: checked for every request on every path.
bool HttpEndpoint::guard(const HttpRequest& request, HttpReply& reply) const {
  if (HasHeader(request, http::field::origin) &&
      !OriginAllowed(Header(request, http::field::origin), http_.allowedOrigins)) {
    reply = Refused(403, "Forbidden: this origin may not use the server.");
    return false;
  }
  if (!http_.remote && !HostAllowed(Header(request, http::field::host), http_.allowedOrigins)) {
    reply = Refused(403, "Forbidden: the Host header does not name this server.");
    return false;
  }
  if (!http_.token.empty()) {
    constexpr std::string_view kBearer = "Bearer ";
    const std::string_view given = Header(request, http::field::authorization);
    if (!given.starts_with(kBearer) || !SameSecret(given.substr(kBearer.size()), http_.token)) {
      reply =
          Refused(401, "Unauthorized: send the server's token as \"Authorization: Bearer TOKEN\".");
      // A token that was sent but is wrong gets the standard error code.
      reply.response.set(http::field::www_authenticate,
                         given.empty() ? R"(Bearer realm="dravo-host")"
                                       : R"(Bearer realm="dravo-host", error="invalid_token")");
      return false;
    }
  }
  return true;
}

HttpReply HttpEndpoint::post(const HttpRequest& request) {
  const std::string_view accept = Header(request, http::field::accept);
  const bool json = accept.empty() || Accepts(accept, kJson);
  const bool stream = !accept.empty() && Accepts(accept, kEventStream);
  if (!json && !stream)
    return Refused(406, "Not Acceptable: accept application/json or text/event-stream.");
  if (!Accepts(Header(request, http::field::content_type), kJson))
    return Refused(415, "Unsupported Media Type: send application/json.");
  VMCPJsonValue message;
  try {
    message = VMCPJsonValue::Parse(request.body());
  } catch (const std::exception& error) {
    return Refused(400, std::string("Parse error: ") + error.what(), kParseError);
  }
  if (!message.isObject())
    return Refused(400, "Invalid Request: send one JSON-RPC message object per request.",
                   kInvalidRequest);
  // The id routes the answer back to this response.
  if (IsRequest(message) && !IsRequestId(message["id"]))
    return Refused(400, "Invalid Request: \"id\" must be a string or an integer.", kInvalidRequest);
  const bool preferStream =
      stream && (!json || WantsProgress(message) ||
                 SendsBeforeAnswering(message, sessions_, Header(request, kSessionHeader)));
  if (HasHeader(request, kSessionHeader))
    return inSession(request, std::move(message), preferStream);
  const std::string method = message["method"].asString();
  if (method == "initialize" && IsRequest(message) && !NamesStatelessVersion(message))
    return initialize(std::move(message), preferStream);
  // Without a session only the stateless revision is spoken: a request that
  // claims it in its body or headers, or the discovery probe.
  const bool stateless = NamesStatelessVersion(message) || method == "server/discover" ||
                         Header(request, kVersionHeader) == kStatelessVersion;
  if (!stateless)
    return Refused(400, "Bad Request: send the Mcp-Session-Id header of your session.");
  return sessionless(request, std::move(message), preferStream);
}

HttpReply HttpEndpoint::inSession(const HttpRequest& request, VMCPJsonValue message, bool stream) {
  const auto session = sessions_.find(std::string(Header(request, kSessionHeader)));
  if (!session)
    return Refused(404, "Session not found: it ended or expired; initialize a new one.");
  if (HasHeader(request, kVersionHeader) && !IsSupportedVersion(Header(request, kVersionHeader)))
    return Refused(400, "Bad Request: unsupported MCP-Protocol-Version \"" +
                            std::string(Header(request, kVersionHeader)) + "\".");
  if (!IsRequest(message)) {
    // Notifications and responses: nothing waits for an answer. Read
    // without adding members, so that a response stays one.
    const VMCPJsonValue& read = message;
    const auto& cancelled = read["params"]["requestId"];
    const bool cancels = read["method"].asString() == "notifications/cancelled";
    server_.handleMessage(message, session->peer());
    if (cancels && IsRequestId(cancelled)) session->abandon(cancelled.dump());
    return Status(http::status::accepted);
  }
  auto exchange = session->open(message["id"].dump());
  if (!exchange)
    return Refused(409, "Conflict: a request with this id is still running in the session.");
  const auto bytes = request.body().size();
  server_.handleMessage(std::move(message), session->peer(), bytes);
  // In a session, a dropped stream is no cancellation: the client may still
  // send one for it.
  return Awaiting(std::move(exchange), stream);
}

HttpReply HttpEndpoint::sessionless(const HttpRequest& request, VMCPJsonValue message,
                                    bool stream) {
  if (IsRequest(message)) {
    if (const auto error = CheckHeaders(request, message)) {
      const Exchange::Line line{ErrorLine(message["id"], *error), true, error->httpStatus};
      HttpReply reply;
      reply.response = AnswerResponse(&line);
      return reply;
    }
  }
  auto peer = std::make_shared<HttpPeer>();
  peer->peer()->setScope(scope_);
  if (!IsRequest(message)) {
    server_.handleMessage(std::move(message), peer->peer());
    return Status(http::status::accepted);
  }
  auto exchange = peer->open(message["id"].dump());
  const auto bytes = request.body().size();
  server_.handleMessage(std::move(message), peer->peer(), bytes);
  // Without a session, closing the response stream is the request's cancellation.
  return Awaiting(std::move(exchange), stream, [this, peer] { server_.cancelAll(*peer->peer()); });
}

HttpReply HttpEndpoint::remove(const HttpRequest& request) {
  const std::string id(Header(request, kSessionHeader));
  if (id.empty()) return Refused(400, "Bad Request: name the session to end.");
  if (!sessions_.end(id)) return Refused(404, "Session not found.");
  return Status(http::status::no_content);
}

HttpReply HttpEndpoint::initialize(VMCPJsonValue message, bool stream) {
  auto session = std::make_shared<HttpPeer>();
  auto exchange = session->open(message["id"].dump());
  server_.handleMessage(std::move(message), session->peer());
  std::string id;
  if (session->peer()->session().initialized()) {
    id = sessions_.admit(session);
    if (id.empty()) return Refused(503, "Service Unavailable: every session is busy; retry later.");
  }
  HttpReply reply = Awaiting(std::move(exchange), stream);
  if (!id.empty()) reply.response.set(kSessionHeader, id);
  return reply;
}

}  // namespace dravo::host
