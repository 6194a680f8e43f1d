// Tasks on the request core: which calls become tasks and which never do,
// what a task shows through its life, and what a client may not reach.
#include <dravo-host/mcp_server.h>
#include <dravo-host/task_client.h>

#include <brasko/loader_progress.h>
#include "fake_tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using dravo::host::LineRoute;
using dravo::host::McpServer;
using dravo::host::Peer;
using dravo::host::ServerOptions;
using dravo::testing::VMCPJsonValue;
using Registered = dravo::testing::RegisteredTools;
using namespace std::chrono_literals;

const std::string kTasksMeta =
    R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
    R"("io.modelcontextprotocol/clientCapabilities":{"extensions":{"io.modelcontextprotocol/tasks":{}}}})";
const std::string kPlainMeta = R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                               R"("io.modelcontextprotocol/clientCapabilities":{}})";

// A tool that runs until released, or until its call is cancelled.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  std::atomic<bool> stopped{false};
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
  VMCPJsonValue run(const char* result) {
    const auto sink = Brasko::MakeStrong<Brasko::LoaderProgress>();
    for (std::int64_t done = 1; sink->progress("Converting", done, 100); ++done) {
      std::unique_lock lock(mutex);
      if (changed.wait_for(lock, 2ms, [&] { return open; })) return VMCPJsonValue::Parse(result);
    }
    stopped = true;
    return VMCPJsonValue::Parse(R"({"success":false,"error":"Cancelled."})");
  }
};

// One client (a scope) of a server whose budget is short.
struct TaskClient {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> lines;
  std::shared_ptr<Peer> peer;
  McpServer& server;

  TaskClient(McpServer& server, const std::string& scope) : server(server) {
    peer = std::make_shared<Peer>([this](std::string line, const LineRoute&) {
      if (line.empty()) return;
      std::lock_guard lock(mutex);
      lines.push_back(std::move(line));
      arrived.notify_all();
    });
    peer->setScope(scope);
  }
  // Sends a request and waits for its answer (the result, or the error as {"error":...}).
  VMCPJsonValue ask(const std::string& id, const std::string& method, const std::string& params,
                    const std::string& meta = kTasksMeta) {
    server.handleLine(R"({"jsonrpc":"2.0","id":")" + id + R"(","method":")" + method +
                          R"(","params":{)" + params + (params.empty() ? "" : ",") + meta + "}}",
                      peer);
    return waitFor([&](const VMCPJsonValue& line) { return line["id"].asString() == id; });
  }
  VMCPJsonValue waitFor(const std::function<bool(const VMCPJsonValue&)>& wanted) {
    std::unique_lock lock(mutex);
    VMCPJsonValue found;
    arrived.wait_for(lock, 10s, [&] {
      for (const auto& line : lines)
        if (auto message = VMCPJsonValue::Parse(line); wanted(message)) found = message;
      return !found.isNull();
    });
    return found.has("result") ? found["result"] : found;
  }
  VMCPJsonValue task(const std::string& id, const std::string& meta = kTasksMeta) {
    static int count = 0;
    return ask("get" + std::to_string(++count), "tasks/get", R"("taskId":")" + id + "\"", meta);
  }
};

ServerOptions ShortBudget(std::size_t maxRunning = 4) {
  ServerOptions options;
  options.version = "9.9";
  options.tasks.budget = 30ms;
  options.tasks.maxRunning = maxRunning;
  return options;
}

std::string CallTool(const std::string& tool) {
  return R"("name":")" + tool + R"(","arguments":{})";
}

// A call answers itself within the budget, or, for a client that takes
// tasks, becomes one that ends as the call would have.
TEST(Task, SlowCallsOfClientsThatTakeThemBecomeTasksThatEndAsTheCallWould) {
  Registered tools;
  Gate gate;
  (*tools)["quick"] = [](auto&, auto&) { return VMCPJsonValue::Parse(R"({"success":true})"); };
  (*tools)["slow"] = [&](auto&, auto&) { return gate.run(R"({"success":true,"n":1})"); };
  (*tools)["slow_throws"] = [&](auto&, auto&) -> VMCPJsonValue {
    gate.run("{}");
    throw std::runtime_error("disk full");
  };
  struct Case {
    const char* tool;
    std::string meta;
    const char* resultType;  // of the call's own answer
    const char* ended;       // what tasks/get shows at the end; "" for no task
    const char* endKey;
  };
  for (const auto& c : std::vector<Case>{
           {"quick", kTasksMeta, "complete", "", ""},
           {"slow", kPlainMeta, "complete", "", ""},
           {"slow", kTasksMeta, "task", "completed", R"({"success":true,"n":1})"},
           {"slow_throws", kTasksMeta, "task", "completed", "disk full"},
       }) {
    SCOPED_TRACE(std::string(c.tool) + " " + c.resultType);
    gate.open = false;
    McpServer server(ShortBudget());
    TaskClient client(server, "a");
    std::thread releaser([&] {
      std::this_thread::sleep_for(100ms);
      gate.release();
    });
    const auto answer = client.ask("c", "tools/call", CallTool(c.tool), c.meta);
    EXPECT_EQ(answer["resultType"].asString(), c.resultType);
    if (*c.ended) {
      EXPECT_EQ(answer["status"].asString(), "working");
      std::string text;  // the call's progress so far, as `call --task` reads it back
      std::int64_t done = 0, total = 0;
      EXPECT_TRUE(
          dravo::host::ParseStatusCounts(answer["statusMessage"].asString(), text, done, total) &&
          text == "Converting" && total == 100)
          << answer.dump();
      EXPECT_EQ(client.task(answer["taskId"].asString())["taskId"], answer["taskId"]);
    } else {
      EXPECT_FALSE(answer.has("taskId"));
    }
    releaser.join();
    server.drain();
    for (const auto& line : client.lines)  // a client without a token hears no progress
      EXPECT_EQ(line.find("notifications/progress"), std::string::npos) << line;
    if (!*c.ended) continue;
    const auto ended = client.task(answer["taskId"].asString());
    EXPECT_EQ(ended["status"].asString(), c.ended);
    EXPECT_NE(ended["result"].dump().find(c.endKey), std::string::npos) << ended.dump();
    EXPECT_GT(ended["ttlMs"].asInt(), server.options().tasks.ttl.count())
        << "counted from creation";
  }
}

// What a task's id reaches, and what it does not: another client's task,
// an unknown id, a request without the extension, a 2025 session.
TEST(Task, IdsReachOnlyTheOwnersTasks) {
  Registered tools;
  Gate gate;
  (*tools)["slow"] = [&](auto&, auto&) { return gate.run(R"({"success":true})"); };
  McpServer server(ShortBudget());
  TaskClient owner(server, "a"), other(server, "b"), legacy(server, "a");
  const std::string id = owner.ask("c", "tools/call", CallTool("slow"))["taskId"].asString();
  ASSERT_FALSE(id.empty());
  legacy.ask("i", "initialize", R"("protocolVersion":"2025-06-18")", R"("_meta":{})");
  const std::string taskId = R"("taskId":")" + id + "\"";
  struct Case {
    TaskClient& client;
    const char* method;
    std::string meta;
    int code;  // 0: answered
  };
  for (const auto& c : std::vector<Case>{
           {owner, "tasks/update", kTasksMeta, 0},
           {other, "tasks/get", kTasksMeta, -32602},
           {other, "tasks/cancel", kTasksMeta, -32602},
           {owner, "tasks/get", kPlainMeta, -32021},
           {legacy, "tasks/get", R"("_meta":{})", -32601},
           {owner, "tasks/result", kTasksMeta, -32601},
       }) {
    SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.code));
    static int count = 0;
    const auto answer = c.client.ask("r" + std::to_string(++count), c.method,
                                     taskId + R"(,"inputResponses":{})", c.meta);
    EXPECT_EQ(answer["error"]["code"].asInt(), c.code) << answer.dump();
  }
  EXPECT_EQ(owner.task("no-such-task")["error"]["code"].asInt(), -32602);
  gate.release();
}

// tasks/cancel stops the conversion at its next report, and a listener hears
// the task end cancelled; shutdown ends the subscription first, then stops
// what still runs.
TEST(Task, CancelAndShutdownEndTasksCancelled) {
  for (const bool byClient : {true, false}) {
    SCOPED_TRACE(byClient ? "tasks/cancel" : "shutdown");
    Registered tools;
    Gate gate;
    (*tools)["slow"] = [&](auto&, auto&) { return gate.run(R"({"success":true})"); };
    McpServer server(ShortBudget());
    TaskClient client(server, "a");
    const auto id = client.ask("c", "tools/call", CallTool("slow"))["taskId"].asString();
    ASSERT_FALSE(id.empty());
    const auto filter = R"("notifications":{"taskIds":[")" + id + R"(","unknown"]})";
    server.handleLine(R"({"jsonrpc":"2.0","id":"l","method":"subscriptions/listen","params":{)" +
                          filter + "," + kTasksMeta + "}}",
                      client.peer);
    const auto ack = client.waitFor([](const VMCPJsonValue& line) {
      return line["method"].asString() == "notifications/subscriptions/acknowledged";
    });
    EXPECT_EQ(ack["params"]["notifications"]["taskIds"].dump(), "[\"" + id + "\"]");
    if (byClient) {
      EXPECT_EQ(
          client.ask("x", "tasks/cancel", R"("taskId":")" + id + "\"").dump(),
          R"({"resultType":"complete","_meta":{"io.modelcontextprotocol/serverInfo":{"name":"dravo-host","version":"9.9"}}})");
      server.drain();
    } else {
      server.shutdown(10ms);
    }
    EXPECT_TRUE(gate.stopped);
    const auto heard = client.waitFor([&](const VMCPJsonValue& line) {
      return line["method"].asString() == (byClient ? "notifications/tasks" : "") ||
             line["id"].asString() == "l";
    });
    if (!byClient) {
      EXPECT_EQ(heard["resultType"].asString(), "complete") << "the subscription's end";
      continue;
    }
    EXPECT_EQ(heard["params"]["status"].asString(), "cancelled");
    EXPECT_EQ(heard["params"]["_meta"]["io.modelcontextprotocol/subscriptionId"].asString(), "l");
    EXPECT_EQ(client.task(id)["status"].asString(), "cancelled");
  }
}

// A client runs a bounded number of tasks; a call past the bound is refused
// once it outlives its budget, and stops. Others are not held up by it.
TEST(Task, EachClientRunsABoundedNumber) {
  Registered tools;
  Gate gate;
  (*tools)["slow"] = [&](auto&, auto&) { return gate.run(R"({"success":true})"); };
  McpServer server(ShortBudget(1));
  TaskClient first(server, "a"), second(server, "b");
  EXPECT_EQ(first.ask("1", "tools/call", CallTool("slow"))["resultType"].asString(), "task");
  const auto refused = first.ask("2", "tools/call", CallTool("slow"));
  EXPECT_EQ(refused["error"]["code"].asInt(), -32603);
  EXPECT_NE(refused["error"]["message"].asString().find("Too many tasks"), std::string::npos);
  EXPECT_EQ(second.ask("3", "tools/call", CallTool("slow"))["resultType"].asString(), "task");
  gate.release();
}

// A finished task stays for its ttl and is gone after; a call that ends in
// a JSON-RPC error leaves a failed task that carries it.
TEST(Task, FinishedTasksExpireAndFailedOnesCarryTheError) {
  dravo::host::TaskLimits limits;
  limits.ttl = 40ms;
  dravo::host::TaskStore store(limits);
  const auto done = *store.create("a", nullptr);
  const auto failed = *store.create("a", nullptr);
  store.finish(done, dravo::host::TaskStatus::Completed, R"({"content":[]})");
  store.finish(failed, dravo::host::TaskStatus::Failed, R"({"code":-32603,"message":"m"})");
  const auto shown = VMCPJsonValue::Parse(*store.detail("a", failed));
  EXPECT_EQ(shown["status"].asString(), "failed");
  EXPECT_EQ(shown["error"]["code"].asInt(), -32603);
  EXPECT_FALSE(shown.has("result"));
  EXPECT_TRUE(store.knows("a", done));
  std::this_thread::sleep_for(80ms);
  EXPECT_FALSE(store.detail("a", done));
  EXPECT_EQ(store.size(), 0u);
}

}  // namespace
