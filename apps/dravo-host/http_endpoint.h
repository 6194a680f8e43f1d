// What the one endpoint, /mcp, answers to a whole request: the checks every
// request passes first, then the MCP message handed to the request core,
// for a legacy session or as a sessionless request.
#pragma once

#include <dravo-host/http_session.h>
#include <dravo-host/http_transport.h>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <functional>
#include <memory>
#include <string>

namespace dravo::host {

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

// A response as it goes out. With `exchange` set, the request's answer is
// still to come: as a stream of events that carries its notifications too
// (`stream`), or alone as a JSON body; `response` then holds only the head.
struct HttpReply {
  HttpResponse response;
  std::shared_ptr<Exchange> exchange;
  bool stream = false;
  // What it means when the client closes the connection before the answer.
  std::function<void()> cancel;
};

// A refusal outside of any request: a JSON-RPC error without id.
HttpResponse Refusal(int status, const std::string& message, int code = -32000);
// The response that carries an exchange's answer line alone; 204 for none.
HttpResponse AnswerResponse(const Exchange::Line* answer);

class HttpEndpoint {
 public:
  HttpEndpoint(const HttpOptions& http, McpServer& server);

  HttpReply answer(const HttpRequest& request);

 private:
  bool guard(const HttpRequest& request, HttpReply& reply) const;
  HttpReply post(const HttpRequest& request);
  HttpReply remove(const HttpRequest& request);
  HttpReply initialize(VMCPJsonValue message, bool stream);
  HttpReply inSession(const HttpRequest& request, VMCPJsonValue message, bool stream);
  HttpReply sessionless(const HttpRequest& request, VMCPJsonValue message, bool stream);

  const HttpOptions http_;
  McpServer& server_;
  SessionTable sessions_;
  const std::string scope_;  // of every sessionless request
};

}  // namespace dravo::host
