// HTTP requests as a client may send them to /mcp: parsed under the
// transport's limits, then answered by the endpoint. Every answer has a
// status a client can act on, and a JSON body is a JSON object.
#include <dravo-host/http_endpoint.h>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace http = boost::beast::http;
  http::request_parser<http::string_body> parser;
  parser.header_limit(8 * 1024);
  parser.body_limit(1 << 20);
  parser.eager(true);
  boost::system::error_code error;
  parser.put(boost::asio::buffer(data, size), error);
  if (error || !parser.is_done()) return 0;
  auto reply = Endpoint().answer(parser.release());
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
