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
  std::string token;    // when set, every request must carry it as a bearer token
  bool remote = false;  // bound beyond loopback: Host names are not checked
  std::size_t sessionLimit = 32;
  std::chrono::seconds sessionIdle{600};
  std::chrono::seconds connectionTimeout{10};
  std::size_t connectionThreads = 64;
};

// Serves until the process ends; says where on stderr. False when the
// address cannot be bound or this build has no HTTP library.
bool ServeHttp(const HttpOptions& http, const ServerOptions& server);

}  // namespace dravo::host
