// MCP over Streamable HTTP: one endpoint, /mcp, in front of the same server
// core as standard input and output.
#pragma once

#include <dravo-host/mcp_server.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace dravo::host {

struct HttpOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::vector<std::string> allowedOrigins;
  std::string token;             // when set, every request must carry it as a bearer token
  bool remote = false;           // bound beyond loopback: Host names are not checked
  std::size_t maxSessions = 32;  // legacy sessions at once; the one idle longest makes room
  std::chrono::milliseconds sessionIdle{600'000};     // unused this long, a session ends
  std::chrono::milliseconds connectionIdle{5'000};    // waiting for a request and its head
  std::chrono::milliseconds connectionStall{10'000};  // reading a body, writing an answer
  std::size_t maxConnections = 64;                    // each has a thread; more wait to be accepted
};

// Serves the server's peers until the process ends; says where on stderr.
// False when the address cannot be bound.
bool ServeHttp(const HttpOptions& http, McpServer& server);

}  // namespace dravo::host
