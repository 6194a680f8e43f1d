#include <dravo-host/http_endpoint.h>
#include <dravo-host/http_transport.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/chunk_encode.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/write.hpp>

#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <semaphore>
#include <thread>

namespace dravo::host {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using beast::error_code;

constexpr std::uint32_t kHeaderBytes = 8 * 1024;  // request line and fields together
constexpr std::size_t kDrainBytes = 64 * 1024;

bool IsHttpError(const error_code& error) {
  return error.category() == make_error_code(http::error::bad_target).category();
}

// One client's connection, served on a thread of its own that runs its I/O:
// a tool call runs right there, and a slow one holds up only this connection.
class Connection {
 public:
  Connection(tcp::socket socket, HttpEndpoint& endpoint, const HttpOptions& http,
             std::uint64_t maxBody)
      : stream_(std::move(socket)), endpoint_(endpoint), http_(http), maxBody_(maxBody) {}
  ~Connection() { stopWaiting(); }

  void start() { readRequest(); }

 private:
  void readRequest() {
    parser_.emplace();
    parser_->header_limit(kHeaderBytes);
    parser_->body_limit(maxBody_);
    stream_.expires_after(http_.connectionIdle);
    http::async_read_header(stream_, buffer_, *parser_, [this](error_code error, std::size_t) {
      if (error) return failed(error);
      if (parser_->is_done()) return respond();
      if (beast::iequals(parser_->get()[http::field::expect], "100-continue"))
        return send(HttpResponse(http::status::continue_, 11), [this] { readBody(); });
      readBody();
    });
  }

  void readBody() {
    stream_.expires_after(http_.connectionStall);
    http::async_read(stream_, buffer_, *parser_, [this](error_code error, std::size_t) {
      if (error) return failed(error);
      respond();
    });
  }

  void failed(const error_code& error) {
    if (error == http::error::body_limit)
      return refuse(413, "Payload Too Large: a message may have at most " +
                             std::to_string(maxBody_) + " bytes.");
    if (error == http::error::header_limit)
      return refuse(431, "Request Header Fields Too Large: send at most " +
                             std::to_string(kHeaderBytes) + " bytes of header.");
    // The client went away, stalled or stayed idle: nobody to answer.
    if (error == http::error::end_of_stream || error == http::error::partial_message ||
        !IsHttpError(error))
      return close();
    refuse(400, "Bad Request: " + error.message() + ".");
  }

  void respond() {
    const HttpRequest request = parser_->release();
    ++requests_;
    keepAlive_ = request.keep_alive();
    HttpReply reply;
    try {
      reply = endpoint_.answer(request);
    } catch (const std::exception&) {
      reply = HttpReply{};
      reply.response = Refusal(500, "Internal Server Error.", kInternalError);
    }
    reply.response.version(request.version());
    reply.response.keep_alive(keepAlive_);
    if (!reply.exchange) return sendWhole(std::move(reply.response));
    exchange_ = std::move(reply.exchange);
    cancel_ = std::move(reply.cancel);
    if (reply.stream) return startEvents(std::move(reply.response));
    head_ = std::move(reply.response);
    awaitAnswer();
  }

  void sendWhole(HttpResponse response) {
    // An answer with no content has no length either.
    if (response.result() != http::status::no_content) response.prepare_payload();
    send(std::move(response), [this] { keepAlive_ ? readRequest() : close(); });
  }

  // The answer goes out as one JSON body once it is there; quick methods
  // have answered already.
  void awaitAnswer() {
    if (!exchange_) return;  // a wake-up posted before the answer went out
    bool over = false;
    auto lines = exchange_->take(over);
    for (auto& line : lines)
      if (line.answer) answer_ = std::move(line);
    if (!over) {
      if (!waiting_) {
        waiting_.emplace(stream_.get_executor());
        exchange_->watch([this, executor = stream_.get_executor()] {
          net::post(executor, [this, request = requests_] {
            if (request == requests_) awaitAnswer();  // not a wake-up left from an earlier one
          });
        });
        stream_.expires_never();
        watchForClose();
      }
      return;
    }
    stopWaiting();
    HttpResponse response = AnswerResponse(answer_ ? &*answer_ : nullptr);
    for (const auto& field : head_) response.set(field.name_string(), field.value());
    response.version(head_.version());
    response.keep_alive(keepAlive_);
    answer_.reset();
    sendWhole(std::move(response));
  }

  // While an answer is awaited the client has nothing to send: readable
  // data with nothing in it is the connection closing, which cancels the
  // request where that is what it means.
  void watchForClose() {
    stream_.socket().async_wait(tcp::socket::wait_read, [this](error_code error) {
      if (error || !exchange_) return;
      error_code ignored;
      if (stream_.socket().available(ignored) > 0) return;  // pipelined: not a close
      if (cancel_) cancel_();
      close();
    });
  }

  void stopWaiting() {
    if (exchange_) exchange_->watch(nullptr);
    exchange_.reset();
    cancel_ = nullptr;
    waiting_.reset();
    error_code ignored;
    stream_.socket().cancel(ignored);  // the close watch
  }

  template <class Next>
  void send(HttpResponse response, Next next) {
    response_ = std::move(response);
    stream_.expires_after(http_.connectionStall);
    http::async_write(stream_, response_, [this, next](error_code error, std::size_t) {
      if (error) return close();
      next();
    });
  }

  // The client may still be sending what was refused: reading on until it
  // stops keeps the refusal from being lost to the reset that closing on
  // unread data causes.
  void refuse(int status, const std::string& message) {
    HttpResponse response = Refusal(status, message);
    response.keep_alive(false);
    response.prepare_payload();
    send(std::move(response), [this] {
      error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      stream_.expires_after(http_.connectionStall);  // for the whole drain
      drain();
    });
  }

  void drain() {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kDrainBytes), [this](error_code error, std::size_t) {
      if (error) return close();
      drain();
    });
  }

  // The head goes out now, each event as it comes: the exchange wakes this
  // thread, which stays up meanwhile.
  void startEvents(HttpResponse head) {
    response_ = std::move(head);
    response_.chunked(true);
    serializer_.emplace(response_);
    stream_.expires_after(http_.connectionStall);
    http::async_write_header(stream_, *serializer_, [this](error_code error, std::size_t) {
      if (error) return lost();
      waiting_.emplace(stream_.get_executor());
      exchange_->watch([this, executor = stream_.get_executor()] {
        net::post(executor, [this, request = requests_] {
          if (request == requests_) sendEvents();
        });
      });
      watchForClose();
      sendEvents();
    });
  }

  void sendEvents() {
    if (writing_ || !exchange_) return;
    bool over = false;
    const auto lines = exchange_->take(over);
    if (!lines.empty()) {
      chunk_.clear();
      for (const auto& line : lines)
        chunk_.append("event: message\ndata: ").append(line.text).append("\n\n");
      writing_ = true;
      stream_.expires_after(http_.connectionStall);
      net::async_write(stream_, http::make_chunk(net::buffer(chunk_)),
                       [this](error_code error, std::size_t) {
                         writing_ = false;
                         if (error) return lost();
                         sendEvents();
                       });
      return;
    }
    if (!over) {  // woken when more comes
      stream_.expires_never();
      return;
    }
    stopWaiting();
    stream_.expires_after(http_.connectionStall);
    net::async_write(stream_, http::make_chunk_last(), [this](error_code error, std::size_t) {
      if (error || !keepAlive_) return close();
      readRequest();
    });
  }

  // The client went away while its answer was on its way.
  void lost() {
    if (cancel_) cancel_();
    close();
  }

  void close() {
    stopWaiting();
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  HttpEndpoint& endpoint_;
  const HttpOptions& http_;
  const std::uint64_t maxBody_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  HttpResponse response_;
  bool keepAlive_ = false;
  std::optional<http::response_serializer<http::string_body>> serializer_;
  HttpResponse head_;  // of an answer in one body, until the answer is there
  std::optional<Exchange::Line> answer_;
  std::shared_ptr<Exchange> exchange_;
  std::function<void()> cancel_;
  std::uint64_t requests_ = 0;  // numbers the connection's requests, for wake-ups
  std::string chunk_;
  bool writing_ = false;
  std::optional<net::executor_work_guard<net::any_io_executor>> waiting_;
};

// A connection's I/O context and its socket, which goes first.
struct Accepted {
  net::io_context io{1};
  tcp::socket socket{io};
};

bool Listen(tcp::acceptor& acceptor, const std::string& host, int port) {
  tcp::resolver resolver(acceptor.get_executor());
  error_code error;
  const auto found = resolver.resolve(
      host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, error);
  if (error) return false;
  for (const auto& entry : found) {
    acceptor.close(error);
    acceptor.open(entry.endpoint().protocol(), error);
#ifndef _WIN32
    // A restarted host takes its port back at once (on Windows this would
    // let another program share it).
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
    if (!error) acceptor.bind(entry.endpoint(), error);
    if (!error) acceptor.listen(net::socket_base::max_listen_connections, error);
    if (!error) return true;
  }
  return false;
}

std::string UrlHost(const std::string& host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

}  // namespace

bool ServeHttp(const HttpOptions& http, McpServer& server) {
  net::io_context context;
  tcp::acceptor acceptor(context);
  if (!Listen(acceptor, http.host, http.port)) {
    std::cerr << "dravo-host: cannot listen on " << UrlHost(http.host) << ":" << http.port << "\n";
    return false;
  }
  HttpEndpoint endpoint(http, server);
  std::cerr << "dravo-host: serving MCP at http://" << UrlHost(http.host) << ":"
            << acceptor.local_endpoint().port() << "/mcp" << std::endl;
  std::counting_semaphore<> slots(std::ptrdiff_t(http.maxConnections));
  for (;;) {
    slots.acquire();
    auto accepted = std::make_unique<Accepted>();
    error_code error;
    acceptor.accept(accepted->socket, error);
    if (error) {  // out of descriptors, say: let some connections end first
      slots.release();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    std::thread([&, accepted = std::move(accepted)] {
      try {
        accepted->socket.set_option(tcp::no_delay(true));
        Connection connection(std::move(accepted->socket), endpoint, http,
                              server.options().maxLineBytes);
        connection.start();
        accepted->io.run();
      } catch (const std::exception&) {
        // Nothing to do but let the connection go.
      }
      slots.release();
    }).detach();
  }
}

}  // namespace dravo::host
