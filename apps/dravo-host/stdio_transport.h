// MCP over standard input and output: one JSON-RPC message per line in, one
// whole line per message out. The process's client is one peer.
#pragma once

#include <dravo-host/mcp_server.h>
#include <dravo-host/peer.h>

#include <iosfwd>

namespace dravo::host {

// Reads lines until the end of input (or until the server stops), handing
// each to the server, then waits for the calls still running. `send`
// receives each outgoing line without its newline.
void ServeLines(McpServer& server, std::istream& in, Peer::Send send);

}  // namespace dravo::host
