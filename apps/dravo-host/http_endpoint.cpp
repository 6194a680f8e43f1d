#include <dravo-host/http_endpoint.h>
#include <dravo-host/http_request_checks.h>

#include <boost/beast/http/field.hpp>
#include <boost/beast/http/status.hpp>

#include <algorithm>
#include <string_view>

namespace dravo::host {

namespace {

namespace http = boost::beast::http;

constexpr std::string_view kEndpoint = "/mcp";
constexpr const char* kSessionHeader = "Mcp-Session-Id";
constexpr const char* kVersionHeader = "MCP-Protocol-Version";
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
  return {Refusal(status, message, code), nullptr};
}

HttpReply Status(http::status status) {
  HttpReply reply;
  reply.response.result(status);
  return reply;
}

bool IsRequestId(const VMCPJsonValue& id) {
  return id.isString() || id.isInteger();
}

bool IsRequest(const VMCPJsonValue& message) {
  return message.has("method") && message.has("id");
}

bool VersionSupported(std::string_view version) {
  const auto& versions = SupportedProtocolVersions();
  return std::find(versions.begin(), versions.end(), version) != versions.end();
}

// A client that asked for progress hears it on a stream, when it takes one.
bool WantsProgress(const VMCPJsonValue& message) {
  return message["params"]["_meta"].has("progressToken");
}

// The request's answer, as one JSON body or as a stream of events that
// carries its notifications too and ends with the answer.
HttpReply Answer(std::shared_ptr<Exchange> exchange, bool stream) {
  HttpReply reply;
  if (stream) {
    reply.response.set(http::field::content_type, kEventStream);
    reply.response.set(http::field::cache_control, "no-cache");
    reply.events = std::move(exchange);
    return reply;
  }
  std::string body;
  while (auto line = exchange->next())
    if (line->answer) body = std::move(line->text);
  if (body.empty()) return Status(http::status::no_content);  // cancelled: no answer expected
  reply.response.set(http::field::content_type, kJson);
  reply.response.body() = std::move(body);
  return reply;
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

HttpEndpoint::HttpEndpoint(const HttpOptions& http, const ServerOptions& server)
    : http_(http), server_(server), sessions_(http.maxSessions, http.sessionIdle) {}

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
      reply.response.set(http::field::www_authenticate, "Bearer realm=\"dravo-host\"");
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
  if (IsRequest(message) && !IsRequestId(message["id"]))
    return Refused(400, "Invalid Request: \"id\" must be a string or an integer.", kInvalidRequest);
  const bool preferStream = stream && (!json || WantsProgress(message));

  const std::string id(Header(request, kSessionHeader));
  if (id.empty()) {
    if (IsRequest(message) && message["method"].asString() == "initialize")
      return initialize(message, preferStream);
    return Refused(400, "Bad Request: send the Mcp-Session-Id header of your session.");
  }
  const auto session = sessions_.find(id);
  if (!session)
    return Refused(404, "Session not found: it ended or expired; initialize a new one.");
  if (HasHeader(request, kVersionHeader) && !VersionSupported(Header(request, kVersionHeader)))
    return Refused(400, "Bad Request: unsupported MCP-Protocol-Version \"" +
                            std::string(Header(request, kVersionHeader)) + "\".");
  if (!IsRequest(message)) {
    // Notifications and responses: nothing waits for an answer.
    session->server().handleMessage(message);
    const auto& cancelled = message["params"]["requestId"];
    if (message["method"].asString() == "notifications/cancelled" && IsRequestId(cancelled))
      session->abandon(cancelled.dump());
    return Status(http::status::accepted);
  }
  auto exchange = session->open(message["id"].dump());
  if (!exchange)
    return Refused(409, "Conflict: a request with this id is still running in the session.");
  // A streamed answer goes out while the call runs, so the session's workers run it; an
  // answer in one body is awaited anyway, so the call runs here without a hand-off.
  session->server().handleMessage(std::move(message), request.body().size(),
                                  preferStream ? CallThread::Worker : CallThread::Caller);
  return Answer(std::move(exchange), preferStream);
}

HttpReply HttpEndpoint::remove(const HttpRequest& request) {
  const std::string id(Header(request, kSessionHeader));
  if (id.empty()) return Refused(400, "Bad Request: name the session to end.");
  if (!sessions_.end(id)) return Refused(404, "Session not found.");
  return Status(http::status::no_content);
}

HttpReply HttpEndpoint::initialize(const VMCPJsonValue& message, bool stream) {
  constexpr const char* kFull = "Service Unavailable: too many open sessions; retry later.";
  if (sessions_.full()) return Refused(503, kFull);
  auto session = std::make_shared<HttpSession>(server_);
  auto exchange = session->open(message["id"].dump());
  session->server().handleMessage(message);
  auto line = exchange->next();
  std::string id;
  if (line && VMCPJsonValue::Parse(line->text).has("result")) {
    id = sessions_.admit(session);
    if (id.empty()) return Refused(503, kFull);
  }
  exchange = std::make_shared<Exchange>();
  if (line) exchange->push(std::move(line->text), true);
  HttpReply reply = Answer(std::move(exchange), stream);
  if (!id.empty()) reply.response.set(kSessionHeader, id);
  return reply;
}

}  // namespace dravo::host
