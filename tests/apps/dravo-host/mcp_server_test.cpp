// The request core without a process, for what the e2e suite cannot reach or
// cannot make deterministic: hostile lines, both protocol eras, batches,
// backpressure, progress timing, cancellation and shutdown.
#include <dravo-host/mcp_server.h>
#include <dravo-host/stdio_transport.h>

#include <brasko/loader_progress.h>
#include "fake_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <semaphore>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using dravo::host::LineRoute;
using dravo::host::McpServer;
using dravo::host::Peer;
using dravo::host::ServerOptions;
using dravo::testing::VMCPCallContext;
using dravo::testing::VMCPJsonValue;
using Registered = dravo::testing::RegisteredTools;

const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":"init","method":"initialize","params":{"protocolVersion":"2025-06-18"}})";
const std::string kPing = R"({"jsonrpc":"2.0","id":99,"method":"ping"})";
// What every stateless request carries.
const std::string kMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                          R"("io.modelcontextprotocol/clientCapabilities":{}})";
const std::string kServerMeta =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"dravo-host","version":"9.9"}})";

std::string Call(int id, const std::string& tool, const std::string& arguments = "{}") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":{"name":")" + tool + R"(","arguments":)" + arguments +
         "}}";
}

// Collects the lines the server sends; its sink blocks while `unreadLimit` lines are unread.
struct Client {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> lines;
  std::size_t unreadLimit = SIZE_MAX;
  McpServer server;
  std::shared_ptr<Peer> peer = std::make_shared<Peer>(sink());

  explicit Client(std::size_t workers = 2, std::size_t maxThreads = 64, std::size_t maxQueued = 256)
      : server(Options(workers, maxThreads, maxQueued)) {}
  static ServerOptions Options(std::size_t workers, std::size_t maxThreads, std::size_t maxQueued) {
    ServerOptions options;
    options.version = "9.9";
    options.workers = workers;
    options.maxThreads = maxThreads;
    options.maxQueued = maxQueued;
    options.maxLineBytes = 200000;
    return options;
  }
  Peer::Send sink() {
    return [this](std::string line, const LineRoute&) {
      if (line.empty()) return;  // a call that ends without an answer
      std::unique_lock lock(mutex);
      lines.push_back(std::move(line));
      arrived.notify_all();
      arrived.wait(lock, [&] { return lines.size() < unreadLimit; });
    };
  }
  void send(const std::string& line) { server.handleLine(line, peer); }
  void serve(std::istream& in) { dravo::host::ServeLines(server, in, sink()); }
  // The answer with that id, waiting up to the timeout; null when there is none.
  VMCPJsonValue answer(const VMCPJsonValue& id, std::chrono::seconds timeout = {}) {
    std::unique_lock lock(mutex);
    VMCPJsonValue found;
    arrived.wait_for(lock, timeout, [&] {
      for (const auto& line : lines)
        if (auto message = VMCPJsonValue::Parse(line); message["id"] == id) found = message;
      return !found.isNull();
    });
    return found;
  }
  void readAll() {
    std::lock_guard lock(mutex);
    unreadLimit = SIZE_MAX;
    arrived.notify_all();
  }
};

// Whether the lines are the expected ones; an expected line ending in "..." is a prefix.
void ExpectLines(std::vector<std::string> lines, const std::vector<std::string>& expected) {
  for (std::size_t i = 0; i < std::min(lines.size(), expected.size()); ++i)
    if (expected[i].ends_with("...") &&
        lines[i].starts_with(expected[i].substr(0, expected[i].size() - 3)))
      lines[i] = expected[i];
  EXPECT_EQ(lines, expected);
}

// Sends each "> " line, waiting until it is done, and expects exactly the "< " lines.
void Replay(const std::string& transcript) {
  Registered tools;
  (*tools)["echo"] = [](const VMCPJsonValue& arguments, auto&) { return arguments; };
  (*tools)["no_flag"] = [](auto&, auto&) { return VMCPJsonValue::Parse(R"({"n":2})"); };
  (*tools)["array"] = [](auto&, auto&) { return VMCPJsonValue::Parse("[1]"); };
  (*tools)["throws"] = [](auto&, auto&) -> VMCPJsonValue { throw std::runtime_error("boom"); };
  (*tools)["throws_other"] = [](auto&, auto&) -> VMCPJsonValue { throw 42; };
  Client client;
  std::istringstream in(transcript);
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("< ")) expected.push_back(line.substr(2));
    if (!line.starts_with("> ")) continue;
    client.send(line.substr(2));
    client.server.drain();
  }
  ExpectLines(client.lines, expected);
}

TEST(Server, AnswersEveryLineExactly) {
  Replay(R"(
> {"jsonrpc":"2.0","id":1,"method":"tools/list"}
< {"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"Invalid params: \"_meta\" must carry \"io.modelcontextprotocol/protocolVersion\" (or the session must begin with \"initialize\").","data":{"envelope":{"missing":["io.modelcontextprotocol/protocolVersion"]}}}}
> {"jsonrpc":"2.0","id":2,"method":"ping"}
< {"jsonrpc":"2.0","id":2,"result":{}}
> 1e400
< {"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error: Number too big to be stored in double."}}
> {"jsonrpc":"2.0","id":3,"method":"initialize"}
< {"jsonrpc":"2.0","id":3,"error":{"code":-32602,"message":"Invalid params: \"protocolVersion\" must be a string."}}
> {"jsonrpc":"2.0","id":4,"method":"initialize","params":{"protocolVersion":"2025-06-18"}}
< {"jsonrpc":"2.0","id":4,"result":{"protocolVersion":"2025-06-18","capabilities":{"tools":{"listChanged":false}},"serverInfo":{"name":"dravo-host","version":"9.9"},"instructions":"Tools of the application's plug-ins. Start with list_nutritions, then describe_nutrition."}}
> {"jsonrpc":"2.0","id":5,"method":"initialize","params":{"protocolVersion":"2025-06-18"}}
< {"jsonrpc":"2.0","id":5,"error":{"code":-32600,"message":"Invalid Request: the server is already initialized."}}
> 42
< {"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid Request: a message must be a JSON object."}}
> {"jsonrpc":"1.0","id":1,"method":"ping"}
< {"jsonrpc":"2.0","id":1,"error":{"code":-32600,"message":"Invalid Request: \"jsonrpc\" must be \"2.0\"."}}
> {"jsonrpc":"2.0","id":2}
< {"jsonrpc":"2.0","id":2,"error":{"code":-32600,"message":"Invalid Request: \"method\" must be a string."}}
> {"jsonrpc":"2.0","id":{"a":1},"method":"ping"}
< {"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid Request: \"id\" must be a string or an integer."}}
> {"jsonrpc":"2.0","id":3,"method":"ping","params":3}
< {"jsonrpc":"2.0","id":3,"error":{"code":-32600,"message":"Invalid Request: \"params\" must be an object."}}
> {"jsonrpc":"2.0","id":"4","method":"ping","params":[]}
< {"jsonrpc":"2.0","id":"4","error":{"code":-32602,"message":"Invalid params: \"params\" must be an object."}}
> {"jsonrpc":"2.0","id":5,"method":"tools/list","params":{"cursor":"x"}}
< {"jsonrpc":"2.0","id":5,"error":{"code":-32602,"message":"Invalid params: unknown \"cursor\"."}}
> {"jsonrpc":"2.0","id":6,"method":"tools/nope"}
< {"jsonrpc":"2.0","id":6,"error":{"code":-32601,"message":"Method not found: \"tools/nope\""}}
> {"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":5}}
< {"jsonrpc":"2.0","id":7,"error":{"code":-32602,"message":"Invalid params: \"name\" must be the tool's name."}}
> {"jsonrpc":"2.0","id":8,"method":"tools/call","params":{"name":"echo","arguments":[1]}}
< {"jsonrpc":"2.0","id":8,"error":{"code":-32602,"message":"Invalid params: \"arguments\" must be an object."}}
> {"jsonrpc":"2.0","id":9,"method":"tools/call","params":{"name":"nope"}}
< {"jsonrpc":"2.0","id":9,"error":{"code":-32602,"message":"Unknown tool: \"nope\""}}
> {"jsonrpc":"2.0","method":"x/y"}
> {"jsonrpc":"2.0","id":1,"result":{}}
> 
> [{"jsonrpc":"2.0","id":1,"method":"ping"}]
< {"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid Request: a message must be a JSON object (batches need protocol revision 2025-03-26)."}}
> {"jsonrpc":"2.0","id":10,"method":"tools/call","params":{"name":"no_flag"}}
< {"jsonrpc":"2.0","id":10,"result":{"content":[{"type":"text","text":"{\"n\":2}"}],"structuredContent":{"n":2},"isError":false}}
> {"jsonrpc":"2.0","id":11,"method":"tools/call","params":{"name":"array"}}
< {"jsonrpc":"2.0","id":11,"result":{"content":[{"type":"text","text":"[1]"}],"isError":false}}
> {"jsonrpc":"2.0","id":12,"method":"tools/call","params":{"name":"throws"}}
< {"jsonrpc":"2.0","id":12,"result":{"content":[{"type":"text","text":"Tool \"throws\" failed: boom"}],"isError":true}}
> {"jsonrpc":"2.0","id":13,"method":"tools/call","params":{"name":"throws_other"}}
< {"jsonrpc":"2.0","id":13,"result":{"content":[{"type":"text","text":"Tool \"throws_other\" failed with an unknown error."}],"isError":true}}
> {"jsonrpc":"2.0","id":14,"method":"subscriptions/listen"}
< {"jsonrpc":"2.0","id":14,"error":{"code":-32601,"message":"Method not found: \"subscriptions/listen\""}}
)");
  // The stateless revision beside the session: every request says who it is, every result
  // says what it is and who answered; the handshake's methods are gone.
  const auto meta = [](std::string line) {
    for (std::size_t at; (at = line.find("META")) != std::string::npos;)
      line.replace(at, 4, line.starts_with("> ") ? kMeta : kServerMeta);
    return line;
  };
  std::string transcript;
  for (
      const auto* line : {
          R"(> {"jsonrpc":"2.0","id":"e","method":"server/discover"})",
          R"(< {"jsonrpc":"2.0","id":"e","error":{"code":-32602,"message":"Invalid params: \"_meta\" must carry \"io.modelcontextprotocol/protocolVersion\" as a string (or send \"initialize\" first).","data":{"envelope":{"missing":["io.modelcontextprotocol/protocolVersion"]}}}})",
          R"(> {"jsonrpc":"2.0","id":"d","method":"server/discover","params":{META}})",
          R"(< {"jsonrpc":"2.0","id":"d","result":{"supportedVersions":["2026-07-28"],"capabilities":{"tools":{},"extensions":{"io.modelcontextprotocol/tasks":{}}},"instructions":"Tools of the application's plug-ins. Start with list_nutritions, then describe_nutrition.","ttlMs":300000,"cacheScope":"public","resultType":"complete",META}})",
          R"(> {"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"no_flag",META}})",
          R"(< {"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":"{\"n\":2}"}],"structuredContent":{"n":2},"isError":false,"resultType":"complete",META}})",
          R"(> {"jsonrpc":"2.0","id":2,"method":"ping","params":{META}})",
          R"(< {"jsonrpc":"2.0","id":2,"error":{"code":-32601,"message":"Method not found: \"ping\""}})",
          R"(> {"jsonrpc":"2.0","id":3,"method":"initialize","params":{"protocolVersion":"2025-06-18",META}})",
          R"(< {"jsonrpc":"2.0","id":3,"error":{"code":-32601,"message":"Method not found: \"initialize\""}})",
          R"(> {"jsonrpc":"2.0","id":4,"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2025-06-18"}}})",
          R"(< {"jsonrpc":"2.0","id":4,"error":{"code":-32022,"message":"Unsupported protocol version: \"2025-06-18\".","data":{"supported":["2026-07-28"],"requested":"2025-06-18"}}})",
          R"(> {"jsonrpc":"2.0","id":5,"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28"}}})",
          R"(< {"jsonrpc":"2.0","id":5,"error":{"code":-32602,"message":"Invalid params: \"_meta\" must carry \"io.modelcontextprotocol/clientCapabilities\" as an object.","data":{"envelope":{"missing":["io.modelcontextprotocol/clientCapabilities"]}}}})",
          R"(> {"jsonrpc":"2.0","id":"l","method":"subscriptions/listen","params":{"notifications":{"toolsListChanged":true},META}})",
          R"(< {"jsonrpc":"2.0","method":"notifications/subscriptions/acknowledged","params":{"notifications":{},"_meta":{"io.modelcontextprotocol/subscriptionId":"l"}}})",
          R"(> {"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"l"}})",
          R"(> {"jsonrpc":"2.0","id":6,"method":"tools/list","params":{"cursor":"x",META}})",
          R"(< {"jsonrpc":"2.0","id":6,"error":{"code":-32602,"message":"Invalid params: unknown \"cursor\"."}})",
      })
    transcript += meta(line) + "\n";
  Replay(transcript);
  // Batches: only under the one revision that has them, answered as one array once its last
  // member is; inline answers come first.
  Replay(R"(
> {"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26"}}
< {"jsonrpc":"2.0","id":1,"result":{"protocolVersion":"2025-03-26",...
> [{"jsonrpc":"2.0","id":2,"method":"ping"},{"jsonrpc":"2.0","method":"x"},7,{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"echo","arguments":{"a":1}}}]
< [{"jsonrpc":"2.0","id":2,"result":{}},{"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid Request: a message must be a JSON object."}},{"jsonrpc":"2.0","id":3,"result":{"content":[{"type":"text","text":"{\"a\":1}"}],"structuredContent":{"a":1},"isError":false}}]
> [{"jsonrpc":"2.0","method":"x"},{"jsonrpc":"2.0","method":"y"}]
> []
< {"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Invalid Request: an empty batch."}}
)");
  // A large answer arrives whole, its text escaped once and its structure as it is.
  Registered tools;
  auto big = VMCPJsonValue::MakeObject();
  for (int i = 0; i < 5000; ++i) big[std::to_string(i)] = "\"quoted\" \\ \xff";
  (*tools)["big"] = [&](auto&, auto&) { return big; };
  Client client;
  client.send(kInitialize);
  client.send(Call(1, "big"));
  client.server.drain();
  ASSERT_EQ(client.lines.size(), 2u);
  const auto result = VMCPJsonValue::Parse(client.lines[1])["result"];
  EXPECT_GT(client.lines[1].size(), 128u * 1024);
  EXPECT_EQ(result["content"].asArray()[0]["text"].asString(), big.dump());
  EXPECT_EQ(result["structuredContent"].dump(), big.dump());
}

// Reading in slices: a long line across slices, one over the bound, CRLF, no last newline.
TEST(Server, ReadsLinesInSlicesUpToTheBound) {
  Client client;
  const std::string padded = R"({"jsonrpc":"2.0","id":5,"method":"ping","x":")";
  std::istringstream in(kInitialize + "\r\n" + padded + std::string(150000, 'a') + "\"}\r\n" +
                        padded + std::string(300000, 'a') + "\"}\n" + std::string(20000, '[') +
                        std::string(20000, ']') + "\n" + kPing + '\0' + "x\n" + kPing);
  client.serve(in);
  const std::string error = R"({"jsonrpc":"2.0","id":null,"error":{"code":)";
  ExpectLines(
      client.lines,
      {R"({"jsonrpc":"2.0","id":"init","result":...)", R"({"jsonrpc":"2.0","id":5,"result":{}})",
       error + R"(-32600,"message":"Message too large: the limit is 200000 bytes per line."}})",
       error + "-32700,...", error + "-32700,...", R"({"jsonrpc":"2.0","id":99,"result":{}})"});
}

// Calls stuck behind a lock take extra threads, so a quick call still gets one; control
// requests are answered on the reading thread even when every thread is stuck. A cancelled
// call is not answered: one that has not started never runs, a running one sees it.
TEST(Server, StuckCallsHoldUpNoControlRequestAndCancelledCallsAreNotAnswered) {
  Registered tools;
  std::counting_semaphore<> entered{0};
  std::promise<void> open;
  std::mutex mutex;
  std::map<std::string, bool> sawCancel;  // by request id
  int runs = 0;
  (*tools)["stuck"] = [&, opened = open.get_future().share()](auto&, const VMCPCallContext& c) {
    entered.release();
    opened.wait();
    std::lock_guard lock(mutex);
    sawCancel[c.requestId] = c.cancelled->load();
    return VMCPJsonValue::MakeObject();
  };
  (*tools)["count"] = [&](auto&, auto&) { return VMCPJsonValue(++runs); };
  Client client(1, 4);
  client.send(kInitialize);
  client.send(R"({"jsonrpc":"2.0","id":"s","method":"tools/call","params":{"name":"stuck"}})");
  for (int id : {2, 3}) client.send(Call(id, "stuck"));
  for (int i = 0; i < 3; ++i) entered.acquire();
  client.send(Call(4, "count"));
  EXPECT_FALSE(client.answer(4, std::chrono::seconds(10)).isNull()) << "no thread for it";
  client.send(Call(5, "stuck"));
  entered.acquire();  // every thread is stuck now
  client.send(kPing);
  client.send(R"({"jsonrpc":"2.0","id":10,"method":"tools/list"})");
  EXPECT_FALSE(client.answer(99, std::chrono::seconds(10)).isNull()) << "ping waited";
  EXPECT_EQ(client.answer(10, std::chrono::seconds(10))["result"]["tools"].size(), 2u);
  for (int id : {6, 7}) client.send(Call(id, "count"));
  for (const char* id : {"\"s\"", "6"})
    client.send(
        std::string(
            R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":)") +
        id + "}}");
  open.set_value();
  client.server.drain();
  EXPECT_EQ(sawCancel,
            (std::map<std::string, bool>{{"s", true}, {"2", false}, {"3", false}, {"5", false}}));
  EXPECT_TRUE(client.answer("s").isNull());
  EXPECT_TRUE(client.answer(6).isNull());
  EXPECT_FALSE(client.answer(7).isNull());
  EXPECT_EQ(runs, 2) << "the cancelled call ran";
}

// A client that does not read: the server stops taking input after a bounded number of
// requests, and once the client reads, every request is answered exactly once.
TEST(Server, UnreadAnswersStopTheReadingAndNothingIsLost) {
  Registered tools;
  (*tools)["echo"] = [](const VMCPJsonValue& arguments, auto&) { return arguments; };
  Client client(2, 4, 8);
  client.unreadLimit = 16;
  client.send(kInitialize);
  constexpr int kRequests = 1000;
  std::atomic<int> taken{0};
  std::thread writer([&] {
    for (int id = 1; id <= kRequests; ++id, ++taken)
      client.send(Call(id, "echo"));  // no inline answer blocks the reader
  });
  {
    std::unique_lock lock(client.mutex);
    client.arrived.wait(lock, [&] { return client.lines.size() >= client.unreadLimit; });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // room to overrun, if it would
  // Unread lines, queued requests, one per thread and the reader's own.
  EXPECT_LE(taken.load(), 16 + 8 + 4 + 2);
  client.readAll();
  writer.join();
  client.server.drain();
  std::vector<int> seen(kRequests + 1);
  for (const auto& line : client.lines)
    if (const auto id = VMCPJsonValue::Parse(line)["id"]; id.isInteger()) ++seen.at(id.asInt());
  EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), kRequests) << "each answered once";
}

// A converter reporting through the base sink as fast as it can: the client sees few,
// growing values, the first with the pending file text, and none after the answer.
TEST(Server, ProgressIsRateLimitedGrowingAndNeverAfterTheAnswer) {
  Registered tools;
  double seconds = 0;
  (*tools)["reports"] = [&](auto&, auto&) {
    const auto sink = Brasko::MakeStrong<Brasko::LoaderProgress>();
    const auto begin = std::chrono::steady_clock::now();
    sink->openingFile("a.las");
    for (std::int64_t done = 1; done <= 20000; ++done) {
      EXPECT_TRUE(sink->progress(done == 1 ? "" : "step", done, 20000)) << "never asks to stop";
      sink->progress("back", 1, 20000);
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return VMCPJsonValue::MakeObject();
  };
  Client client;
  client.send(kInitialize);
  client.send(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{)"
              R"("name":"reports","_meta":{"progressToken":"tok"}}})");
  client.server.drain();
  ASSERT_GE(client.lines.size(), 3u);
  EXPECT_EQ(client.lines[1], R"({"jsonrpc":"2.0","method":"notifications/progress","params":{)"
                             R"("progressToken":"tok","progress":1,"total":20000,"message":)"
                             R"("Opening a.las"}})");
  EXPECT_EQ(VMCPJsonValue::Parse(client.lines.back())["id"], VMCPJsonValue(1));
  for (std::size_t i = 2; i + 1 < client.lines.size(); ++i)
    EXPECT_GT(VMCPJsonValue::Parse(client.lines[i])["params"]["progress"].asInt(),
              VMCPJsonValue::Parse(client.lines[i - 1])["params"]["progress"].asInt());
  EXPECT_LE(double(client.lines.size() - 2), 2 + seconds * 10) << "about ten a second at most";
}

}  // namespace

// A conversion stops at its next report once its call is cancelled: by the client, which then
// hears nothing more of it, or by a shutdown past its grace, which still sends the answer the
// stopped conversion gave and refuses what comes after.
TEST(Server, CancelledConversionsStopAtTheirNextReport) {
  for (const bool byClient : {true, false}) {
    SCOPED_TRACE(byClient ? "client" : "shutdown");
    Registered tools;
    std::atomic<bool> stopped{false};
    (*tools)["convert"] = [&](auto&, auto&) {
      const auto sink = Brasko::MakeStrong<Brasko::LoaderProgress>();
      for (std::int64_t done = 1; sink->progress("step", done, 0); ++done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stopped = true;
      return VMCPJsonValue::Parse(R"({"success":false,"error":"Cancelled."})");
    };
    Client client;
    client.send(kInitialize);
    client.send(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{)"
                R"("name":"convert","_meta":{"progressToken":"t"}}})");
    {
      std::unique_lock lock(client.mutex);
      client.arrived.wait(lock, [&] { return client.lines.size() >= 2; });  // it reports
    }
    std::size_t linesAtStop = 0;
    if (byClient) {
      client.send(
          R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":1}})");
      client.send(
          R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":7}})");
      std::lock_guard lock(client.mutex);
      linesAtStop = client.lines.size();
    } else {
      client.server.shutdown(std::chrono::milliseconds(20));
    }
    client.server.drain();
    EXPECT_TRUE(stopped);
    if (byClient) {
      EXPECT_EQ(client.lines.size(), linesAtStop) << "nothing after the cancel";
      EXPECT_TRUE(client.answer(1).isNull());
    } else {
      EXPECT_EQ(client.answer(1)["result"]["structuredContent"]["error"].asString(), "Cancelled.");
      client.send(kPing);
      EXPECT_EQ(client.answer(99)["error"]["code"].asInt(), -32603);
    }
  }
}
