// The MCP server's answers to good and bad lines, tool result mapping,
// concurrency and cancellation, driven without a process.
#include <dravo-host/mcp_server.h>
#include <dravo-host/plugin_loader.h>
#include <scripted_nutritions/scripted_nutritions.h>
#include "fake_provider.h"
#include "temp_path.h"

#include <brasko/loader_progress.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using dravo::host::McpServer;
using dravo::host::ServerOptions;
using dravo::testing::RegisteredFake;
using Qarn::mcp::VMCPCallContext;
using Qarn::mcp::VMCPJsonValue;

const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":"init","method":"initialize","params":{"protocolVersion":)"
    R"("2025-06-18","capabilities":{},"clientInfo":{"name":"t","version":"1"}}})";
const std::string kPing = R"({"jsonrpc":"2.0","id":99,"method":"ping"})";

std::string Call(int id, const std::string& tool, const std::string& arguments = "{}") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":{"name":")" + tool + R"(","arguments":)" + arguments +
         "}}";
}

// Collects what the server sends, and lets a test wait for an answer.
struct Client {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<VMCPJsonValue> messages;
  McpServer server;

  std::size_t unreadLimit = SIZE_MAX;  // the sink blocks while this many lines are unread
  std::size_t read = 0;                // lines the test has read so far

  Client() : Client(Options(2)) {}
  explicit Client(ServerOptions options)
      : server(options, [this](const std::string& line) {
          std::unique_lock lock(mutex);
          messages.push_back(VMCPJsonValue::Parse(line));
          arrived.notify_all();
          arrived.wait(lock, [&] { return messages.size() - read < unreadLimit; });
        }) {}

  static ServerOptions Options(std::size_t workers, std::size_t maxLine = 200000) {
    ServerOptions options;
    options.version = "9.9";
    options.workers = workers;
    options.maxLineBytes = maxLine;
    return options;
  }

  void serve(const std::string& input) {
    std::istringstream in(input);
    server.serve(in);
  }
  // The answer with that id; a null value when there is none.
  VMCPJsonValue answer(const VMCPJsonValue& id) {
    std::lock_guard lock(mutex);
    for (const auto& message : messages)
      if (message["id"] == id) return message;
    return {};
  }
  // Waits (with a generous guard against hanging) for the answer with that id.
  VMCPJsonValue await(const VMCPJsonValue& id) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(30), [&] {
      for (const auto& message : messages)
        if (message["id"] == id) return true;
      return false;
    });
    lock.unlock();
    return answer(id);
  }
  std::size_t count() {
    std::lock_guard lock(mutex);
    return messages.size();
  }
  // Reads everything, now and later.
  void readAll() {
    std::lock_guard lock(mutex);
    unreadLimit = SIZE_MAX;
    arrived.notify_all();
  }
};

struct MalformedLine {
  const char* label;
  std::string line;
  int code;            // 0: no answer expected
  VMCPJsonValue id;    // the id the error must carry
  bool first = false;  // sent before initialize
  friend void PrintTo(const MalformedLine& c, std::ostream* os) { *os << c.label; }
};

class MalformedLines : public ::testing::TestWithParam<MalformedLine> {};

TEST_P(MalformedLines, AnswerWithTheRightErrorAndKeepServing) {
  const auto& c = GetParam();
  Client client;
  client.serve(c.first ? c.line + "\n" + kInitialize + "\n" + kPing + "\n"
                       : kInitialize + "\n" + c.line + "\n" + kPing + "\n");
  ASSERT_TRUE(client.answer("init")["result"].isObject());
  EXPECT_TRUE(client.answer(99)["result"].isObject()) << "ping after the bad line";
  if (c.code == 0) {
    EXPECT_EQ(client.count(), 2u) << "a notification or response gets no answer";
    return;
  }
  ASSERT_EQ(client.count(), 3u);
  const auto error = client.answer(c.id)["error"];
  EXPECT_EQ(error["code"].asInt(), c.code) << error.dump();
  EXPECT_FALSE(error["message"].asString().empty());
  EXPECT_EQ(client.answer(c.id)["jsonrpc"].asString(), "2.0");
}

const std::string kHuge = R"({"jsonrpc":"2.0","id":5,"method":"ping","params":{"x":")" +
                          std::string(300000, 'a') + "\"}}";
const std::string kDeep = std::string(20000, '[') + std::string(20000, ']');
const std::string kNul = kPing + std::string(1, '\0') + "rest";

INSTANTIATE_TEST_SUITE_P(
    Server, MalformedLines,
    ::testing::Values(
        MalformedLine{"bad_json", "this is not json", -32700, nullptr},
        MalformedLine{"truncated_json", R"({"jsonrpc":"2.0","id":1,)", -32700, nullptr},
        MalformedLine{"huge_number", R"({"jsonrpc":"2.0","id":1,"method":"ping","x":1e400})",
                      -32700, nullptr},
        MalformedLine{"huge_negative_number", R"({"jsonrpc":"2.0","id":1,"x":[-1e400]})", -32700,
                      nullptr},
        MalformedLine{"huge_number_in_arguments", Call(1, "anything", R"({"x":1e999999})"), -32700,
                      nullptr},
        MalformedLine{"huge_number_before_initialize", "1e400", -32700, nullptr, true},
        MalformedLine{"deep_nesting", kDeep, -32700, nullptr},
        MalformedLine{"nul_byte", kNul, -32700, nullptr},
        MalformedLine{"number", "42", -32600, nullptr},
        MalformedLine{"wrong_version", R"({"jsonrpc":"1.0","id":1,"method":"ping"})", -32600, 1},
        MalformedLine{"no_method", R"({"jsonrpc":"2.0","id":2})", -32600, 2},
        MalformedLine{"method_not_string", R"({"jsonrpc":"2.0","id":3,"method":7})", -32600, 3},
        MalformedLine{"object_id", R"({"jsonrpc":"2.0","id":{"a":1},"method":"ping"})", -32600,
                      nullptr},
        MalformedLine{"scalar_params", R"({"jsonrpc":"2.0","id":4,"method":"ping","params":3})",
                      -32600, 4},
        MalformedLine{"array_params", R"({"jsonrpc":"2.0","id":4,"method":"ping","params":[]})",
                      -32602, 4},
        MalformedLine{"unknown_cursor",
                      R"({"jsonrpc":"2.0","id":4,"method":"tools/list","params":{"cursor":"x"}})",
                      -32602, 4},
        MalformedLine{"huge_line", kHuge, -32600, nullptr},
        MalformedLine{"unknown_method", R"({"jsonrpc":"2.0","id":6,"method":"tools/nope"})", -32601,
                      6},
        MalformedLine{"tool_name_not_string",
                      R"({"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":5}})",
                      -32602, 7},
        MalformedLine{"arguments_not_object", Call(8, "anything", "[1]"), -32602, 8},
        MalformedLine{"unknown_tool", Call(9, "no_such_tool"), -32602, 9},
        MalformedLine{"unknown_notification", R"({"jsonrpc":"2.0","method":"x/y"})", 0, nullptr},
        MalformedLine{"client_response", R"({"jsonrpc":"2.0","id":1,"result":{}})", 0, nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Server, UnknownToolErrorNamesTheTool) {
  Client client;
  client.serve(kInitialize + "\n" + Call(1, "no_such_tool") + "\n");
  EXPECT_NE(client.answer(1)["error"]["message"].asString().find("\"no_such_tool\""),
            std::string::npos);
}

TEST(Server, LongValidLineAcrossReadSlicesIsAnswered) {
  RegisteredFake fake;
  fake.provider->tools["echo"] = [](const VMCPJsonValue& a, const VMCPCallContext&) { return a; };
  const std::string text(150000, 'z');
  Client client;
  client.serve(kInitialize + "\r\n" + Call(1, "echo", R"({"text":")" + text + "\"}") + "\r\n");
  EXPECT_EQ(client.answer(1)["result"]["structuredContent"]["text"].asString(), text);
}

TEST(Server, BeforeInitializeOnlyPingIsAnswered) {
  Client client;
  client.serve(std::string(R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})") + "\n" + kPing +
               "\n" + kInitialize + "\n" + R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})" +
               "\n" +
               R"({"jsonrpc":"2.0","id":"again","method":"initialize","params":{"protocolVersion":)"
               R"("2025-06-18"}})");  // the last line has no newline
  EXPECT_EQ(client.answer(1)["error"]["code"].asInt(), -32002);
  EXPECT_TRUE(client.answer(99)["result"].isObject());
  EXPECT_TRUE(client.answer(2)["result"]["tools"].isArray());
  EXPECT_EQ(client.answer("again")["error"]["code"].asInt(), -32600) << "second initialize";
}

struct Negotiation {
  std::string requested, answered;
  friend void PrintTo(const Negotiation& c, std::ostream* os) { *os << c.requested; }
};

class ProtocolVersions : public ::testing::TestWithParam<Negotiation> {};

TEST_P(ProtocolVersions, AnswerTheClientsWhenSupportedElseTheNewest) {
  Client client;
  client.serve(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":")" +
               GetParam().requested + R"(","capabilities":{}}})" + "\n");
  const auto result = client.answer(1)["result"];
  EXPECT_EQ(result["protocolVersion"].asString(), GetParam().answered);
  EXPECT_EQ(result["serverInfo"]["name"].asString(), "dravo-host");
  EXPECT_EQ(result["serverInfo"]["version"].asString(), "9.9");
  EXPECT_TRUE(result["capabilities"]["tools"].isObject());
}

INSTANTIATE_TEST_SUITE_P(Server, ProtocolVersions,
                         ::testing::Values(Negotiation{"2024-11-05", "2024-11-05"},
                                           Negotiation{"2025-03-26", "2025-03-26"},
                                           Negotiation{"2025-06-18", "2025-06-18"},
                                           Negotiation{"2025-11-25", "2025-11-25"},
                                           Negotiation{"1999-01-01", "2025-11-25"}));

TEST(Server, InitializeWithoutProtocolVersionIsInvalidParams) {
  Client client;
  client.serve(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})"
               "\n");
  EXPECT_EQ(client.answer(1)["error"]["code"].asInt(), -32602);
}

struct ToolCase {
  const char* tool;
  bool isError;
  std::string textPart;  // the content text holds this
  bool structured;       // structuredContent mirrors the result
  friend void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.tool; }
};

class ToolResults : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolResults, MapResultsAndExceptions) {
  RegisteredFake fake;
  auto& tools = fake.provider->tools;
  tools["succeeds"] = [](auto&, auto&) {
    return VMCPJsonValue::Parse(R"({"success":true,"n":1})");
  };
  tools["fails"] = [](auto&, auto&) {
    return VMCPJsonValue::Parse(R"({"success":false,"error":"try again"})");
  };
  tools["no_flag"] = [](auto&, auto&) { return VMCPJsonValue::Parse(R"({"n":2})"); };
  tools["throws_std"] = [](auto&, auto&) -> VMCPJsonValue { throw std::runtime_error("boom"); };
  tools["throws_other"] = [](auto&, auto&) -> VMCPJsonValue { throw 42; };
  Client client;
  client.serve(kInitialize + "\n" + Call(1, GetParam().tool) + "\n" + kPing + "\n");
  const auto result = client.answer(1)["result"];
  ASSERT_TRUE(result.isObject()) << client.answer(1).dump();
  EXPECT_EQ(result["isError"].asBool(!GetParam().isError), GetParam().isError);
  ASSERT_EQ(result["content"].size(), 1u);
  EXPECT_EQ(result["content"].asArray()[0]["type"].asString(), "text");
  const std::string text = result["content"].asArray()[0]["text"].asString();
  EXPECT_NE(text.find(GetParam().textPart), std::string::npos) << text;
  if (GetParam().structured)
    EXPECT_EQ(result["structuredContent"], VMCPJsonValue::Parse(text));
  else
    EXPECT_FALSE(result.has("structuredContent"));
  EXPECT_TRUE(client.answer(99)["result"].isObject()) << "serving goes on";
}

INSTANTIATE_TEST_SUITE_P(Server, ToolResults,
                         ::testing::Values(ToolCase{"succeeds", false, R"("n":1)", true},
                                           ToolCase{"fails", true, "try again", true},
                                           ToolCase{"no_flag", false, R"("n":2)", true},
                                           ToolCase{"throws_std", true, "boom", false},
                                           ToolCase{"throws_other", true, "unknown error", false}),
                         [](const auto& info) { return std::string(info.param.tool); });

TEST(Server, ToolsListHoldsEveryDeclaration) {
  RegisteredFake fake;
  fake.provider->tools["alpha"] = [](auto&, auto&) { return VMCPJsonValue::MakeObject(); };
  fake.provider->tools["beta"] = [](auto&, auto&) { return VMCPJsonValue::MakeObject(); };
  Client client;
  client.serve(kInitialize + "\n" + R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})" + "\n");
  const auto tools = client.answer(1)["result"]["tools"];
  ASSERT_EQ(tools.size(), 2u);
  EXPECT_EQ(tools.asArray()[0]["name"].asString(), "alpha");
  EXPECT_EQ(tools.asArray()[1]["inputSchema"]["type"].asString(), "object");
}

// A tool that blocks until the test opens the gate.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false, open = false;
  void pass() {
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
  }
  void awaitEntered() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return entered; });
  }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
};

TEST(Server, CancelledRequestThatHasNotStartedIsNeitherRunNorAnswered) {
  RegisteredFake fake;
  Gate gate;
  int runs = 0;
  fake.provider->tools["slow"] = [&](auto&, auto&) {
    gate.pass();
    return VMCPJsonValue::MakeObject();
  };
  fake.provider->tools["count"] = [&](auto&, auto&) {
    ++runs;
    return VMCPJsonValue::MakeObject();
  };
  ServerOptions options = Client::Options(1);
  options.maxThreads = 1;  // so the second call has to wait
  Client client(options);
  client.server.handleLine(kInitialize);
  client.server.handleLine(Call(1, "slow"));
  gate.awaitEntered();
  client.server.handleLine(Call(2, "count"));
  client.server.handleLine(Call(3, "count"));
  client.server.handleLine(
      R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":2}})");
  gate.release();
  client.server.drain();
  EXPECT_TRUE(client.answer(1)["result"].isObject());
  EXPECT_TRUE(client.answer(2).isNull());
  EXPECT_TRUE(client.answer(3)["result"].isObject());
  EXPECT_EQ(runs, 1);
}

TEST(Server, RunningToolSeesItsIdAndCancellationThroughItsContext) {
  RegisteredFake fake;
  Gate gate;
  bool sawCancel = false;
  std::string requestId;
  fake.provider->tools["slow"] = [&](auto&, const VMCPCallContext& context) {
    gate.pass();
    requestId = context.requestId;
    sawCancel = context.cancelled && context.cancelled->load();
    return VMCPJsonValue::MakeObject();
  };
  Client client;
  client.server.handleLine(kInitialize);
  client.server.handleLine(Call(7, "slow"));
  gate.awaitEntered();
  client.server.handleLine(
      R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":7}})");
  gate.release();
  client.server.drain();
  EXPECT_TRUE(sawCancel);
  EXPECT_EQ(requestId, "7");
  EXPECT_TRUE(client.answer(7).isNull()) << "no answer to a cancelled request";
}

// What one outgoing line answered: ids (or error codes) in order, an array in brackets.
std::string Summary(const VMCPJsonValue& message) {
  const auto one = [](const VMCPJsonValue& m) {
    return m.has("error") ? std::to_string(m["error"]["code"].asInt()) : m["id"].dump();
  };
  if (!message.isArray()) return one(message);
  std::vector<std::string> items;
  for (const auto& m : message.asArray()) items.push_back(one(m));
  std::sort(items.begin(), items.end());
  std::string text = "[";
  for (const auto& item : items) text += (text.size() > 1 ? "," : "") + item;
  return text + "]";
}

struct BatchCase {
  const char* label;
  std::string revision, line;
  std::string answered;  // Summary of the one answer line; empty: no answer at all
  friend void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.label; }
};

class Batches : public ::testing::TestWithParam<BatchCase> {};

TEST_P(Batches, AreAnsweredAsOneArrayOnlyUnderTheirRevision) {
  const auto& c = GetParam();
  RegisteredFake fake;
  fake.provider->tools["echo"] = [](const VMCPJsonValue& a, auto&) { return a; };
  Client client;
  client.serve(
      R"({"jsonrpc":"2.0","id":"init","method":"initialize","params":{"protocolVersion":")" +
      c.revision + "\"}}\n" + c.line + "\n");
  ASSERT_TRUE(client.answer("init")["result"].isObject());
  if (c.answered.empty()) {
    EXPECT_EQ(client.count(), 1u) << client.messages.back().dump();
    return;
  }
  ASSERT_EQ(client.count(), 2u);
  EXPECT_EQ(Summary(client.messages[1]), c.answered) << client.messages[1].dump();
}

const std::string kNote = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
const std::string kMixed = "[" + kPing + "," + kNote + "," + Call(4, "echo") + ",7," +
                           R"({"jsonrpc":"2.0","id":5,"method":"tools/list"})" + "]";

INSTANTIATE_TEST_SUITE_P(
    Server, Batches,
    ::testing::Values(BatchCase{"mixed", "2025-03-26", kMixed, "[-32600,4,5,99]"},
                      BatchCase{"only_notifications", "2025-03-26", "[" + kNote + "," + kNote + "]",
                                ""},
                      BatchCase{"empty", "2025-03-26", "[]", "-32600"},
                      BatchCase{"newer_revision", "2025-06-18", kMixed, "-32600"},
                      BatchCase{"older_revision", "2024-11-05", "[" + kPing + "]", "-32600"}),
    [](const auto& info) { return std::string(info.param.label); });

// Real runs of a slow scripted nutrition wait for the module's lock one after another; the
// control requests and a preview sent behind them must not wait with them.
TEST(Server, ControlRequestsAndPreviewsDoNotQueueBehindRealRuns) {
  namespace fs = std::filesystem;
  const fs::path dir = dravo::testing::UniqueTempPath("starve");
  fs::create_directories(dir);
  fs::copy_file(DRAVO_MODULE_PATH, dir / "dravo_mcp_nutrition.tolm");
  dravo::host::PluginLoader loader({false, [](const std::string&) {}});
  ASSERT_TRUE(loader.load(dir / "dravo_mcp_nutrition.tolm"));
  dravo::host::NutritionRegistration registration;
  registration.add(dravo::host::BuildScriptedNutritions(VMCPJsonValue::Parse(R"({"nutritions":[
      {"name":"Slow Converter","input_extensions":["slow"],"predicted_outputs":["{stem}.txt"],
       "conversion":{"delay_ms":700}}]})"),
                                                        "test")[0]);
  const auto run = [&](int id, bool preview) {
    return Call(id, "run_nutrition",
                R"({"name":"Slow Converter","files":[")" + std::to_string(id) +
                    R"(.slow"],"output_path":")" + dir.generic_string() + R"(","preview":)" +
                    (preview ? "true" : "false") + "}");
  };
  Client client(Client::Options(1));  // one core worker: the first run takes it
  client.server.handleLine(kInitialize);
  for (int id : {1, 2, 3}) client.server.handleLine(run(id, false));
  client.server.handleLine(kPing);
  client.server.handleLine(R"({"jsonrpc":"2.0","id":10,"method":"tools/list"})");
  client.server.handleLine(run(11, true));
  client.server.drain();
  std::vector<std::string> order;
  for (const auto& message : client.messages) order.push_back(message["id"].dump());
  ASSERT_EQ(order.size(), 7u);
  for (const char* quick : {"99", "10", "11"})
    EXPECT_LT(std::find(order.begin(), order.end(), quick) - order.begin(), 4) << quick;
  for (int id : {1, 2, 3})
    EXPECT_TRUE(client.answer(id)["result"]["structuredContent"]["success"].asBool(false)) << id;
  EXPECT_EQ(client.answer(11)["result"]["structuredContent"]["predicted_output"].size(), 1u);
  loader.unloadAll();
  fs::remove_all(dir);
}

// A client that does not read: the server stops taking input after a bounded number of
// requests, and once the client reads, every request is answered exactly once.
TEST(Server, UnreadAnswersStopTheReadingAndNothingIsLost) {
  RegisteredFake fake;
  fake.provider->tools["echo"] = [](const VMCPJsonValue& a, auto&) { return a; };
  ServerOptions options = Client::Options(2);
  options.maxThreads = 4;
  options.maxQueued = 8;
  Client client(options);
  client.unreadLimit = 16;
  client.server.handleLine(kInitialize);
  constexpr int kRequests = 1000;
  std::atomic<int> taken{0};
  std::thread writer([&] {
    for (int id = 1; id <= kRequests; ++id, ++taken)
      client.server.handleLine(id % 2 ? R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                                            R"(,"method":"ping"})"
                                      : Call(id, "echo", R"({"n":)" + std::to_string(id) + "}"));
  });
  {
    std::unique_lock lock(client.mutex);
    client.arrived.wait(lock, [&] { return client.messages.size() >= client.unreadLimit; });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // room to overrun, if it would
  // Unread lines, queued requests, one per thread and the reader's own.
  EXPECT_LE(taken.load(), int(client.unreadLimit + options.maxQueued + options.maxThreads + 2));
  client.readAll();
  writer.join();
  client.server.drain();
  ASSERT_EQ(client.count(), std::size_t(kRequests + 1));
  std::vector<bool> seen(kRequests + 1);
  for (const auto& message : client.messages) {
    if (!message["id"].isInteger()) continue;
    const auto id = std::size_t(message["id"].asInt());
    EXPECT_FALSE(seen[id]) << "answered twice: " << id;
    seen[id] = true;
  }
  EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), kRequests);
}

// A converter reporting through the base sink, as fast as it can: the client with a token
// sees few, growing values, all before the answer; a call without a token (on the same
// thread, after the answer) adds nothing.
TEST(Server, ProgressReachesTheTokenRateLimitedAndNeverAfterTheAnswer) {
  RegisteredFake fake;
  double seconds = 0;
  fake.provider->tools["reports"] = [&](auto&, auto&) {
    const auto sink = Brasko::MakeStrong<Brasko::LoaderProgress>();
    const auto begin = std::chrono::steady_clock::now();
    sink->openingFile("a.las");
    sink->progress("", 1, 20000);
    for (std::int64_t done = 2; done <= 20000; ++done) {
      EXPECT_TRUE(sink->progress("step", done, 20000)) << "the sink never asks to stop";
      sink->progress("back", 1, 20000);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return VMCPJsonValue::MakeObject();
  };
  ServerOptions options = Client::Options(1);
  options.maxThreads = 1;  // both calls on one thread, one after the other
  Client client(options);
  client.server.handleLine(kInitialize);
  client.server.handleLine(
      R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"reports",)"
      R"("arguments":{},"_meta":{"progressToken":"tok"}}})");
  client.server.handleLine(Call(2, "reports"));
  client.server.drain();
  ASSERT_EQ(client.messages.back()["id"].asInt(), 2);
  std::int64_t last = 0;
  std::size_t notifications = 0;
  for (const auto& message : client.messages) {
    if (message["id"] == VMCPJsonValue(1)) break;
    if (!message.has("method")) continue;
    ++notifications;
    const auto& params = message["params"];
    EXPECT_EQ(message["method"].asString(), "notifications/progress");
    EXPECT_EQ(params["progressToken"].asString(), "tok");
    EXPECT_GT(params["progress"].asInt(), last);
    EXPECT_EQ(params["total"].asInt(), 20000);
    if (last == 0) {
      EXPECT_EQ(params["message"].asString(), "Opening a.las");
    }
    last = params["progress"].asInt();
  }
  EXPECT_GE(notifications, 1u);
  EXPECT_LE(double(notifications), 2 + seconds * 10) << "about ten a second at most";
  EXPECT_EQ(client.count(), notifications + 3) << "nothing after the first answer but the second";
}

}  // namespace
