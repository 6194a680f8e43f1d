// HTTP requests as a client may send them to /mcp: parsed under the
// transport's limits, then answered by the endpoint. Every answer has a
// status a client can act on, and a JSON body is a JSON object.
#include <dravo-host/http_endpoint.h>

#include <boost/beast/http/parser.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>

namespace {

dravo::host::HttpEndpoint& Endpoint() {
  static dravo::host::HttpOptions http = [] {
    dravo::host::HttpOptions options;
    options.token = "fuzz-token";
    options.allowedOrigins = {"https://app.example"};
    options.maxSessions = 4;  // sessions found by the fuzzer pile up otherwise
    return options;
  }();
  static dravo::host::HttpEndpoint endpoint(http, dravo::host::ServerOptions{});
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
  const auto reply = Endpoint().answer(parser.release());
  const unsigned status = reply.response.result_int();
  if (status < 200 || status >= 600) std::abort();
  if (reply.response[http::field::content_type] == "application/json") {
    const auto body = nlohmann::json::parse(reply.response.body(), nullptr, false);
    if (!body.is_object()) std::abort();
  }
  return 0;
}
