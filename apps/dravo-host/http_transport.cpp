#include <dravo-host/http_request_checks.h>
#include <dravo-host/http_session.h>
#include <dravo-host/http_transport.h>

#include <httplib.h>

#include <algorithm>
#include <iostream>

namespace dravo::host {

namespace {

using httplib::Request;
using httplib::Response;

constexpr const char* kEndpoint = "/mcp";
constexpr const char* kSessionHeader = "Mcp-Session-Id";
constexpr const char* kVersionHeader = "MCP-Protocol-Version";
constexpr const char* kJson = "application/json";
constexpr const char* kEventStream = "text/event-stream";

// A refusal before any session answers: a JSON-RPC error without id.
void Refuse(Response& res, int status, const std::string& message, int code = -32000) {
  VMCPJsonValue body = VMCPJsonValue::MakeObject();
  body["jsonrpc"] = "2.0";
  body["id"] = VMCPJsonValue(nullptr);
  body["error"]["code"] = code;
  body["error"]["message"] = message;
  res.status = status;
  res.set_content(body.dump(), kJson);
}

bool IsRequestId(const VMCPJsonValue& id) {
  return id.isString() || id.isInteger();
}

bool IsRequest(const VMCPJsonValue& message) {
  return message.has("method") && message.has("id");
}

bool VersionSupported(const std::string& version) {
  const auto& versions = SupportedProtocolVersions();
  return std::find(versions.begin(), versions.end(), version) != versions.end();
}

// A client that asked for progress hears it on a stream, when it takes one.
bool WantsProgress(const VMCPJsonValue& message) {
  return message["params"]["_meta"].has("progressToken");
}

// Sends the request's answer, as one JSON body or as a stream of events that
// carries its notifications too and ends with the answer.
void Answer(Response& res, std::shared_ptr<Exchange> exchange, bool stream) {
  if (!stream) {
    std::string body;
    while (auto line = exchange->next())
      if (line->answer) body = std::move(line->text);
    if (body.empty())
      res.status = 204;  // cancelled: the client expects no answer
    else
      res.set_content(std::move(body), kJson);
    return;
  }
  res.set_header("Cache-Control", "no-cache");
  res.set_chunked_content_provider(kEventStream, [exchange](std::size_t, httplib::DataSink& sink) {
    if (auto line = exchange->next()) {
      const std::string event = "event: message\ndata: " + line->text + "\n\n";
      return sink.write(event.data(), event.size());
    }
    sink.done();
    return true;
  });
}

class Endpoint {
 public:
  Endpoint(const HttpOptions& http, const ServerOptions& server)
      : http_(http), server_(server), sessions_(http.sessionLimit, http.sessionIdle) {}

  // Origin, Host and token: checked for every request on every path.
  httplib::Server::HandlerResponse guard(const Request& req, Response& res) const {
    if (req.has_header("Origin") &&
        !OriginAllowed(req.get_header_value("Origin"), http_.allowedOrigins)) {
      Refuse(res, 403, "Forbidden: this origin may not use the server.");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!http_.remote && !HostAllowed(req.get_header_value("Host"), http_.allowedOrigins)) {
      Refuse(res, 403, "Forbidden: the Host header does not name this server.");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!http_.token.empty()) {
      constexpr std::string_view kBearer = "Bearer ";
      const std::string given = req.get_header_value("Authorization");
      if (!given.starts_with(kBearer) ||
          !SameSecret(std::string_view(given).substr(kBearer.size()), http_.token)) {
        res.set_header("WWW-Authenticate", "Bearer realm=\"dravo-host\"");
        Refuse(res, 401,
               "Unauthorized: send the server's token as \"Authorization: Bearer TOKEN\".");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  void post(const Request& req, Response& res) {
    const std::string accept = req.get_header_value("Accept");
    const bool json = accept.empty() || Accepts(accept, kJson);
    const bool stream = !accept.empty() && Accepts(accept, kEventStream);
    if (!json && !stream)
      return Refuse(res, 406, "Not Acceptable: accept application/json or text/event-stream.");
    if (!Accepts(req.get_header_value("Content-Type"), kJson))
      return Refuse(res, 415, "Unsupported Media Type: send application/json.");
    VMCPJsonValue message;
    try {
      message = VMCPJsonValue::Parse(req.body);
    } catch (const std::exception& error) {
      return Refuse(res, 400, std::string("Parse error: ") + error.what(), kParseError);
    }
    if (!message.isObject())
      return Refuse(res, 400, "Invalid Request: send one JSON-RPC message object per request.",
                    kInvalidRequest);
    if (IsRequest(message) && !IsRequestId(message["id"]))
      return Refuse(res, 400, "Invalid Request: \"id\" must be a string or an integer.",
                    kInvalidRequest);
    const bool preferStream = stream && (!json || WantsProgress(message));

    const std::string id = req.get_header_value(kSessionHeader);
    if (id.empty()) {
      if (IsRequest(message) && message["method"].asString() == "initialize")
        return initialize(message, res, preferStream);
      return Refuse(res, 400, "Bad Request: send the Mcp-Session-Id header of your session.");
    }
    const auto session = sessions_.find(id);
    if (!session)
      return Refuse(res, 404, "Session not found: it ended or expired; initialize a new one.");
    if (req.has_header(kVersionHeader) && !VersionSupported(req.get_header_value(kVersionHeader)))
      return Refuse(res, 400,
                    "Bad Request: unsupported MCP-Protocol-Version \"" +
                        req.get_header_value(kVersionHeader) + "\".");
    if (!IsRequest(message)) return deliver(*session, message, res);
    auto exchange = session->open(message["id"].dump());
    if (!exchange)
      return Refuse(res, 409, "Conflict: a request with this id is still running in the session.");
    session->server().handleMessage(std::move(message), req.body.size());
    Answer(res, std::move(exchange), preferStream);
  }

  void remove(const Request& req, Response& res) {
    const std::string id = req.get_header_value(kSessionHeader);
    if (id.empty()) return Refuse(res, 400, "Bad Request: name the session to end.");
    if (!sessions_.end(id)) return Refuse(res, 404, "Session not found.");
    res.status = 204;
  }

 private:
  void initialize(const VMCPJsonValue& message, Response& res, bool stream) {
    if (sessions_.full())
      return Refuse(res, 503, "Service Unavailable: too many open sessions; retry later.");
    auto session = std::make_shared<HttpSession>(server_);
    auto exchange = session->open(message["id"].dump());
    session->server().handleMessage(message);
    auto line = exchange->next();
    if (line && VMCPJsonValue::Parse(line->text).has("result")) {
      const std::string id = sessions_.admit(session);
      if (id.empty())
        return Refuse(res, 503, "Service Unavailable: too many open sessions; retry later.");
      res.set_header(kSessionHeader, id);
    }
    exchange = std::make_shared<Exchange>();
    if (line) exchange->push(std::move(line->text), true);
    Answer(res, std::move(exchange), stream);
  }

  // Notifications and responses: nothing waits for an answer.
  void deliver(HttpSession& session, const VMCPJsonValue& message, Response& res) {
    session.server().handleMessage(message);
    const auto& cancelled = message["params"]["requestId"];
    if (message["method"].asString() == "notifications/cancelled" && IsRequestId(cancelled))
      session.abandon(cancelled.dump());
    res.status = 202;
  }

  const HttpOptions http_;
  const ServerOptions server_;
  SessionTable sessions_;
};

std::string UrlHost(const std::string& host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

}  // namespace

bool ServeHttp(const HttpOptions& http, const ServerOptions& server) {
  Endpoint endpoint(http, server);
  httplib::Server web;  // after the endpoint: its threads end first
  web.new_task_queue = [threads = http.connectionThreads] {
    return new httplib::ThreadPool(threads);
  };
  web.set_payload_max_length(server.maxLineBytes);
  web.set_read_timeout(http.connectionTimeout);
  web.set_write_timeout(http.connectionTimeout);
  web.set_keep_alive_timeout(5);
  web.set_keep_alive_max_count(std::size_t(1) << 30);
  web.set_tcp_nodelay(true);
  web.set_pre_routing_handler(
      [&endpoint](const Request& req, Response& res) { return endpoint.guard(req, res); });
  web.Post(kEndpoint, [&endpoint](const Request& req, Response& res) { endpoint.post(req, res); });
  web.Delete(kEndpoint,
             [&endpoint](const Request& req, Response& res) { endpoint.remove(req, res); });
  web.Get(kEndpoint, [](const Request&, Response& res) {
    res.status = 405;  // the server sends nothing outside of a request's answer
    res.set_header("Allow", "POST, DELETE");
  });
  web.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
    Refuse(res, 500, "Internal Server Error.", kInternalError);
  });
  const int port = http.port == 0 ? web.bind_to_any_port(http.host)
                                  : (web.bind_to_port(http.host, http.port) ? http.port : -1);
  if (port < 0) {
    std::cerr << "dravo-host: cannot listen on " << UrlHost(http.host) << ":" << http.port << "\n";
    return false;
  }
  std::cerr << "dravo-host: serving MCP at http://" << UrlHost(http.host) << ":" << port
            << kEndpoint << std::endl;
  return web.listen_after_bind();
}

}  // namespace dravo::host
