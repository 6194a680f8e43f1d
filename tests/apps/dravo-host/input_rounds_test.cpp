// Input requests beyond what the conformance suite reaches: a requestState
// that was changed, replayed or issued for another tool, a client without
// the capability an input request needs, and a 2025 call cancelled while it
// waits for the client's answer.
#include <dravo-host/mcp_server.h>

#include <qarn/mcp/features.h>
#include <qarn/mcp/registry.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

using dravo::host::LineRoute;
using dravo::host::McpServer;
using dravo::host::Peer;
using Qarn::mcp::VMCPCallContext;
using Qarn::mcp::VMCPJsonValue;
using Qarn::mcp::VMCPToolResult;

// "confirm" and "confirm_too" ask once, then answer with what the user said.
class Asking : public Qarn::mcp::VMCPToolProvider {
 public:
  void declareTools(VMCPJsonValue&) override {}
  void declareResources(VMCPJsonValue& resources) override {
    resources.push_back(Qarn::mcp::DeclareResource("test://r", "r", "A resource"));
  }
  bool callTool(const std::string&, const VMCPJsonValue&, const VMCPCallContext&,
                VMCPJsonValue&) override {
    return false;
  }
  bool runTool(const std::string& name, const VMCPJsonValue&, const VMCPCallContext& context,
               VMCPToolResult& result) override {
    if (name != "confirm" && name != "confirm_too") return false;
    const auto& answer = context.acceptedContent("ok");
    if (answer.isNull()) {
      result.input.elicit("ok", "Sure?", VMCPJsonValue::Parse(R"({"type":"object"})"));
      result.input.state = "asked";
    } else {
      auto item = VMCPJsonValue::MakeObject();
      item["type"] = "text";
      item["text"] = answer["yes"].dump() + " " +
                     (context.requestState ? context.requestState->asString() : "none");
      result.content.push_back(std::move(item));
    }
    return true;
  }
};

struct Client {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<VMCPJsonValue> lines;
  McpServer server{[] {
    dravo::host::ServerOptions options;
    options.version = "9.9";
    return options;
  }()};
  std::shared_ptr<Peer> peer = std::make_shared<Peer>([this](std::string line, const LineRoute&) {
    if (line.empty()) return;
    std::lock_guard lock(mutex);
    lines.push_back(VMCPJsonValue::Parse(line));
    arrived.notify_all();
  });

  Client() {
    Qarn::mcp::VMCPRegistry::Register("asking",
                                      Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new Asking));
  }
  ~Client() {
    server.drain();
    Qarn::mcp::VMCPRegistry::Unregister("asking");
  }
  void send(const std::string& line) { server.handleLine(line, peer); }
  // The first line that fits, waiting up to two seconds; null when none came.
  template <typename Fits>
  VMCPJsonValue await(Fits fits) {
    std::unique_lock lock(mutex);
    VMCPJsonValue found;
    arrived.wait_for(lock, std::chrono::seconds(2), [&] {
      for (const auto& line : lines)
        if (fits(line)) found = line;
      return !found.isNull();
    });
    return found;
  }
  VMCPJsonValue answer(int id) {
    return await([id](const VMCPJsonValue& line) { return line["id"] == VMCPJsonValue(id); });
  }
};

std::string StatelessCall(int id, const std::string& tool, const std::string& capabilities,
                          const std::string& retry = {}) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":{"name":")" + tool + R"(",)" + retry +
         R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
         R"("io.modelcontextprotocol/clientCapabilities":)" +
         capabilities + "}}}";
}

const std::string kAnswer = R"("inputResponses":{"ok":{"action":"accept","content":{"yes":1}}},)";

TEST(InputRounds, TrustsARequestStateOnceAndOnlyAsIssued) {
  Client client;
  client.send(StatelessCall(1, "confirm", R"({"elicitation":{}})"));
  const auto asked = client.answer(1)["result"];
  ASSERT_EQ(asked["resultType"].asString(), "input_required");
  ASSERT_EQ(asked["inputRequests"]["ok"]["method"].asString(), "elicitation/create");
  const std::string state = asked["requestState"].asString();
  std::string flipped = state;
  flipped[flipped.size() / 3] = flipped[flipped.size() / 3] == 'A' ? 'B' : 'A';
  const auto retry = [&](const std::string& sealed) {
    return kAnswer + R"("requestState":")" + sealed + R"(",)";
  };
  // Issued for "confirm": not good for another tool, and untouched it passes once.
  client.send(StatelessCall(2, "confirm_too", R"({"elicitation":{}})", retry(state)));
  client.send(StatelessCall(3, "confirm", R"({"elicitation":{}})", retry(flipped)));
  client.send(StatelessCall(4, "confirm", R"({"elicitation":{}})", retry(state + "x")));
  client.server.drain();
  client.send(StatelessCall(5, "confirm", R"({"elicitation":{}})", retry(state)));
  client.server.drain();
  client.send(StatelessCall(6, "confirm", R"({"elicitation":{}})", retry(state)));
  for (int refused : {2, 3, 4, 6})
    EXPECT_EQ(client.answer(refused)["error"]["code"].asInt(), -32602) << refused;
  const auto done = client.answer(5)["result"];
  EXPECT_EQ(done["resultType"].asString(), "complete");
  EXPECT_EQ(done["content"].asArray()[0]["text"].asString(), "1 asked");
}

TEST(InputRounds, RefusesToAskAClientWithoutTheCapability) {
  Client client;
  client.send(StatelessCall(1, "confirm", R"({"sampling":{}})"));
  const auto error = client.answer(1)["error"];
  EXPECT_EQ(error["code"].asInt(), -32021);
  EXPECT_TRUE(error["data"]["requiredCapabilities"]["elicitation"].isObject());
  // A 2025 session that did not declare elicitation is refused the same way.
  Client legacy;
  legacy.send(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-11-25","capabilities":{}}})");
  legacy.send(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"confirm"}})");
  EXPECT_EQ(legacy.answer(1)["error"]["code"].asInt(), -32021);
}

TEST(InputRounds, AsksASessionAndStopsWhenTheCallIsCancelled) {
  Client client;
  client.send(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-11-25","capabilities":{"elicitation":{}}}})");
  const auto isElicitation = [](const VMCPJsonValue& line) {
    return line["method"].asString() == "elicitation/create";
  };
  // Answered: the tool runs again with the answer.
  client.send(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"confirm"}})");
  const auto request = client.await(isElicitation);
  ASSERT_TRUE(request["id"].isString());
  client.send(R"({"jsonrpc":"2.0","id":)" + request["id"].dump() +
              R"(,"result":{"action":"accept","content":{"yes":2}}})");
  EXPECT_EQ(client.answer(1)["result"]["content"].asArray()[0]["text"].asString(), "2 asked");
  // Cancelled while it waits: no answer, and a late one from the client changes nothing.
  {
    std::lock_guard lock(client.mutex);
    client.lines.clear();
  }
  client.send(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"confirm"}})");
  const auto waiting = client.await(isElicitation);
  ASSERT_TRUE(waiting["id"].isString());
  client.send(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":2}})");
  client.server.drain();
  client.send(R"({"jsonrpc":"2.0","id":)" + waiting["id"].dump() +
              R"(,"result":{"action":"accept","content":{"yes":3}}})");
  client.server.drain();
  std::lock_guard lock(client.mutex);
  ASSERT_EQ(client.lines.size(), 1u) << "only the elicitation went out";
}

// A 2025 session hears of a resource it subscribed to until it unsubscribes.
TEST(InputRounds, TellsSubscribersOfAChangedResource) {
  Client client;
  client.send(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-11-25"}})");
  client.send(
      R"({"jsonrpc":"2.0","id":1,"method":"resources/subscribe","params":{"uri":"test://r"}})");
  ASSERT_TRUE(client.answer(1)["result"].isObject());
  Qarn::mcp::VMCPFeatures::ResourceUpdated("test://r");
  Qarn::mcp::VMCPFeatures::ResourceUpdated("test://other");
  client.send(
      R"({"jsonrpc":"2.0","id":2,"method":"resources/unsubscribe","params":{"uri":"test://r"}})");
  ASSERT_TRUE(client.answer(2)["result"].isObject());
  Qarn::mcp::VMCPFeatures::ResourceUpdated("test://r");
  {
    std::lock_guard lock(client.mutex);
    ASSERT_EQ(client.lines.size(), 4u);
    EXPECT_EQ(
        client.lines[2].dump(),
        R"({"jsonrpc":"2.0","method":"notifications/resources/updated","params":{"uri":"test://r"}})");
  }
  // A 2026 listen hears it with its subscription id, until the client ends the listen.
  Client listener;
  listener.send(
      R"({"jsonrpc":"2.0","id":"l","method":"subscriptions/listen","params":{"notifications":{"resourceSubscriptions":["test://r"]},"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientCapabilities":{}}}})");
  Qarn::mcp::VMCPFeatures::ResourceUpdated("test://r");
  listener.send(
      R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"l"}})");
  Qarn::mcp::VMCPFeatures::ResourceUpdated("test://r");
  std::lock_guard lock(listener.mutex);
  ASSERT_EQ(listener.lines.size(), 2u);
  EXPECT_EQ(listener.lines[0]["params"]["notifications"].dump(),
            R"({"resourceSubscriptions":["test://r"]})");
  EXPECT_EQ(listener.lines[1]["params"].dump(),
            R"({"uri":"test://r","_meta":{"io.modelcontextprotocol/subscriptionId":"l"}})");
}

}  // namespace
