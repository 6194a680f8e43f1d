// HTTP requests as a client may send them to /mcp: parsed under the
// transport's limits, then answered by the endpoint, with the module's tools
// registered. Every answer has a status a client can act on, and a JSON body
// is a JSON object. Stateless requests reach the tools directly; a request
// whose session header says "live" is sent in a session opened at start.
#include <dravo-host/http_endpoint.h>
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <qarn/mcp/registry.h>

#include <boost/beast/http/parser.hpp>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace {

dravo::host::HttpEndpoint& Endpoint() {
  static dravo::host::HttpOptions http = [] {
    dravo::host::HttpOptions options;
    options.token = "fuzz-token";
    options.allowedOrigins = {"https://app.example"};
    options.maxSessions = 4;  // sessions found by the fuzzer pile up otherwise
    return options;
  }();
  static dravo::host::McpServer server{dravo::host::ServerOptions{}};
  static dravo::host::HttpEndpoint endpoint(http, server);
  return endpoint;
}

std::string& LiveSession() {
  static std::string id;
  return id;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Qarn::mcp::VMCPRegistry::Register(
      "dravo-nutrition",
      Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new Qarn::VNutritionMCPTools));
  dravo::host::HttpRequest initialize{boost::beast::http::verb::post, "/mcp", 11};
  initialize.set("Host", "127.0.0.1");
  initialize.set("Authorization", "Bearer fuzz-token");
  initialize.set("Content-Type", "application/json");
  initialize.body() =
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})";
  const auto reply = Endpoint().answer(initialize);
  LiveSession() = std::string(reply.response["Mcp-Session-Id"]);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace http = boost::beast::http;
  http::request_parser<http::string_body> parser;
  parser.header_limit(8 * 1024);
  parser.body_limit(1 << 20);
  parser.eager(true);
  boost::system::error_code error;
  parser.put(boost::asio::buffer(data, size), error);
  if (error || !parser.is_done()) return 0;
  auto request = parser.release();
  if (request["Mcp-Session-Id"] == "live") request.set("Mcp-Session-Id", LiveSession());
  auto reply = Endpoint().answer(request);
  if (reply.exchange) {                // an answer still to come: every line of it is JSON
    if (reply.cancel) reply.cancel();  // as a client that hangs up would
    std::mutex mutex;
    std::condition_variable woken;
    bool more = false;
    reply.exchange->watch([&] {
      std::lock_guard lock(mutex);
      more = true;
      woken.notify_one();
    });
    for (bool over = false; !over;) {
      for (const auto& line : reply.exchange->take(over))
        if (!nlohmann::json::parse(line.text, nullptr, false).is_object()) std::abort();
      std::unique_lock lock(mutex);
      if (!over) woken.wait(lock, [&] { return std::exchange(more, false); });
    }
    reply.exchange->watch(nullptr);
    return 0;
  }
  const unsigned status = reply.response.result_int();
  if (status < 200 || status >= 600) std::abort();
  if (reply.response[http::field::content_type] == "application/json") {
    const auto body = nlohmann::json::parse(reply.response.body(), nullptr, false);
    if (!body.is_object()) std::abort();
  }
  return 0;
}
