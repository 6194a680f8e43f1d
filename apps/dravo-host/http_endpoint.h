// What the one endpoint, /mcp, answers to a whole request: the checks every
// request passes first, then the MCP message handed to its session.
#pragma once

#include <dravo-host/http_session.h>
#include <dravo-host/http_transport.h>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <memory>
#include <string>

namespace dravo::host {

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

// A response as it goes out; with `events` set, only the head of an event
// stream whose events are the exchange's lines.
struct HttpReply {
  HttpResponse response;
  std::shared_ptr<Exchange> events;
};

// A refusal outside of any session: a JSON-RPC error without id.
HttpResponse Refusal(int status, const std::string& message, int code = -32000);

class HttpEndpoint {
 public:
  HttpEndpoint(const HttpOptions& http, const ServerOptions& server);

  // Runs a tools/call on the calling thread unless its answer is streamed.
  HttpReply answer(const HttpRequest& request);

 private:
  bool guard(const HttpRequest& request, HttpReply& reply) const;
  HttpReply post(const HttpRequest& request);
  HttpReply remove(const HttpRequest& request);
  HttpReply initialize(const VMCPJsonValue& message, bool stream);

  const HttpOptions http_;
  const ServerOptions server_;
  SessionTable sessions_;
};

}  // namespace dravo::host
