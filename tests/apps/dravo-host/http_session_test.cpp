// Legacy HTTP sessions: clients that never end theirs must not lock out new
// ones, and a session busy with a request is never the one that makes room.
#include <dravo-host/http_session.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using dravo::host::HttpPeer;
using dravo::host::McpServer;
using dravo::host::ServerOptions;
using dravo::host::SessionTable;

TEST(SessionTable, AtTheBoundTheSessionIdleLongestMakesRoom) {
  McpServer server{ServerOptions{}};
  SessionTable table(server, 2, std::chrono::hours(1));
  auto first = std::make_shared<HttpPeer>(), second = std::make_shared<HttpPeer>();
  const auto firstId = table.admit(first);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));  // distinct last uses
  const auto secondId = table.admit(second);
  const auto busy = second->open("1");  // a request still running
  ASSERT_NE(busy, nullptr);

  const auto thirdId = table.admit(std::make_shared<HttpPeer>());
  EXPECT_FALSE(thirdId.empty());
  EXPECT_EQ(table.find(firstId), nullptr) << "the idle one went";
  EXPECT_EQ(table.find(secondId), second) << "the busy one stayed";

  table.find(thirdId)->open("2");  // now every session is busy
  EXPECT_TRUE(table.admit(std::make_shared<HttpPeer>()).empty());
  second->abandon("1");
  EXPECT_FALSE(table.admit(std::make_shared<HttpPeer>()).empty());
  EXPECT_EQ(table.find(secondId), nullptr);
}

}  // namespace
