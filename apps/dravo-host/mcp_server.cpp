#include <dravo-host/mcp_server.h>

#include <qarn/mcp/registry.h>

#include <algorithm>
#include <istream>
#include <optional>
#include <stdexcept>

namespace dravo::host {

namespace {

// A request that ends in a JSON-RPC error instead of a result.
struct RpcError {
  int code;
  std::string message;
};

bool IsValidId(const VMCPJsonValue& id) {
  return id.isString() || id.isInteger();
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// What the client sees when a provider throws instead of answering.
VMCPJsonValue FailedToolResult(const std::string& text) {
  VMCPJsonValue item = VMCPJsonValue::MakeObject();
  item["type"] = "text";
  item["text"] = text;
  VMCPJsonValue answer = VMCPJsonValue::MakeObject();
  answer["content"].push_back(std::move(item));
  answer["isError"] = true;
  return answer;
}

// A result line up to where the result's JSON text goes.
std::string ResultLinePrefix(const VMCPJsonValue& id) {
  std::string line = R"({"jsonrpc":"2.0","id":)";
  id.dumpTo(line);
  line.append(R"(,"result":)");
  return line;
}

}  // namespace

const std::vector<std::string>& SupportedProtocolVersions() {
  static const std::vector<std::string> versions{"2025-11-25", "2025-06-18", "2025-03-26",
                                                 "2024-11-05"};
  return versions;
}

std::string NegotiateProtocolVersion(const std::string& requested) {
  const auto& versions = SupportedProtocolVersions();
  if (std::find(versions.begin(), versions.end(), requested) != versions.end()) return requested;
  return versions.front();
}

void AppendToolResult(VMCPJsonValue result, std::string& out) {
  // The result is written straight into the line twice, quoted as the text
  // item and as it is for the structured content: no text of it is held
  // on the side, and writing is cheaper than copying and escaping.
  const auto& success = result["success"];
  const bool isError = success.kind == VMCPJsonValue::Boolean && !success.asBool();
  out.append(R"({"content":[{"type":"text","text":)");
  const std::size_t quoted = out.size();
  result.dumpQuotedTo(out);
  out.append("}]");
  if (result.isObject()) {
    out.reserve(out.size() + (out.size() - quoted) + 64);  // the plain text is never longer
    out.append(R"(,"structuredContent":)");
    result.dumpTo(out);
  }
  out.append(isError ? R"(,"isError":true})" : R"(,"isError":false})");
}

McpServer::McpServer(ServerOptions options, LineSink sink)
    : McpServer(std::move(options), [sink = std::move(sink)](const std::string& line,
                                                             const LineRoute&) { sink(line); }) {}

McpServer::McpServer(ServerOptions options, RoutedSink sink)
    : options_(std::move(options)), sink_(std::move(sink)), pool_(options_.workers) {}

McpServer::~McpServer() {
  drain();
}

void McpServer::drain() {
  pool_.drain();
}

void McpServer::serve(std::istream& in) {
  // Reads in slices so that an endless line cannot take all memory.
  std::vector<char> slice(64 * 1024);
  std::string line;
  bool tooLong = false;
  for (;;) {
    in.getline(slice.data(), std::streamsize(slice.size()));
    const auto count = std::size_t(in.gcount());
    if (count == 0 && in.fail()) break;  // end of input
    const bool sliceFull = in.fail() && !in.eof();
    const bool endOfLine = !in.fail() && !in.eof();  // the newline was read
    if (!tooLong) line.append(slice.data(), count - (endOfLine ? 1 : 0));
    if (line.size() > options_.maxLineBytes) {
      tooLong = true;
      line.clear();
    }
    if (sliceFull) {
      in.clear();
      continue;
    }
    if (tooLong) {
      sendError(nullptr, kInvalidRequest,
                "Message too large: the limit is " + std::to_string(options_.maxLineBytes) +
                    " bytes per line.");
    } else {
      handleLine(line);
    }
    line.clear();
    tooLong = false;
    if (!endOfLine) break;
  }
  drain();
}

void McpServer::handleLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  VMCPJsonValue message;
  try {
    message = VMCPJsonValue::Parse(line);
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    sendError(nullptr, kParseError, std::string("Parse error: ") + error.what());
    return;
  }
  handleMessage(std::move(message));
}

void McpServer::handleMessage(VMCPJsonValue mutableMessage) {
  const VMCPJsonValue& message = mutableMessage;
  if (!message.isObject()) {
    sendError(nullptr, kInvalidRequest, "Invalid Request: a message must be a JSON object.");
    return;
  }
  const bool hasId = message.has("id");
  const VMCPJsonValue id = hasId && IsValidId(message["id"]) ? message["id"] : VMCPJsonValue();
  if (message["jsonrpc"].asString() != "2.0") {
    sendError(id, kInvalidRequest, "Invalid Request: \"jsonrpc\" must be \"2.0\".");
    return;
  }
  if (!message.has("method") && hasId && (message.has("result") || message.has("error")))
    return;  // a response; this server sends no requests, so nothing waits for it
  if (!message["method"].isString()) {
    sendError(id, kInvalidRequest, "Invalid Request: \"method\" must be a string.");
    return;
  }
  if (hasId && !IsValidId(message["id"])) {
    sendError(nullptr, kInvalidRequest, "Invalid Request: \"id\" must be a string or an integer.");
    return;
  }
  const auto& params = message["params"];
  if (message.has("params") && !params.isObject() && !params.isArray()) {
    sendError(id, kInvalidRequest, "Invalid Request: \"params\" must be an object.");
    return;
  }
  const std::string method = message["method"].asString();
  if (!hasId) return handleNotification(method, params);
  if (method == "initialize") return handleInitialize(id, params);
  if (!initialized_ && method != "ping") {
    sendError(id, kNotInitialized, "Server not initialized: send \"initialize\" first.");
    return;
  }
  // Moved, not copied: the arguments may be large.
  dispatch(id, method, std::move(mutableMessage["params"]));
}

void McpServer::handleNotification(const std::string& method, const VMCPJsonValue& params) {
  if (method != "notifications/cancelled") return;  // others need no action
  const auto& requestId = params["requestId"];
  if (!IsValidId(requestId)) return;
  std::lock_guard lock(pendingMutex_);
  if (auto found = pending_.find(requestId.dump()); found != pending_.end())
    found->second->store(true);
}

void McpServer::handleInitialize(const VMCPJsonValue& id, const VMCPJsonValue& params) {
  if (initialized_) {
    sendError(id, kInvalidRequest, "Invalid Request: the server is already initialized.");
    return;
  }
  if (!params["protocolVersion"].isString()) {
    sendError(id, kInvalidParams, "Invalid params: \"protocolVersion\" must be a string.");
    return;
  }
  VMCPJsonValue result = VMCPJsonValue::MakeObject();
  result["protocolVersion"] = NegotiateProtocolVersion(params["protocolVersion"].asString());
  result["capabilities"]["tools"]["listChanged"] = false;
  result["serverInfo"]["name"] = options_.name;
  result["serverInfo"]["version"] = options_.version;
  result["instructions"] =
      "Tools of the application's plug-ins. Start with list_nutritions, then describe_nutrition.";
  initialized_ = true;
  sendResult(id, result.dump());
}

void McpServer::dispatch(const VMCPJsonValue& id, const std::string& method, VMCPJsonValue params) {
  const std::string key = id.dump();
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(pendingMutex_);
    pending_[key] = cancelled;
  }
  pool_.post([this, id, key, method, params = std::move(params), cancelled] {
    std::string line = ResultLinePrefix(id);
    std::optional<RpcError> error;
    if (!*cancelled) {
      try {
        const std::string requestId = id.isString() ? id.asString() : key;
        runMethod(method, params, requestId, *cancelled, line);
      } catch (const RpcError& rpc) {
        error = rpc;
      } catch (const std::exception& failure) {
        error = RpcError{kInternalError, std::string("Internal error: ") + failure.what()};
      } catch (...) {
        error = RpcError{kInternalError, "Internal error."};
      }
    }
    {
      std::lock_guard lock(pendingMutex_);
      pending_.erase(key);
    }
    if (*cancelled) return;  // the client gave up and expects no answer
    if (error) return sendError(id, error->code, error->message);
    line.push_back('}');
    sendLine(line, {key, true});
  });
}

void McpServer::runMethod(const std::string& method, const VMCPJsonValue& params,
                          const std::string& requestId, const std::atomic<bool>& cancelled,
                          std::string& out) {
  if (method == "ping") return void(out.append("{}"));
  if (method == "tools/list") {
    VMCPJsonValue result = VMCPJsonValue::MakeObject();
    result["tools"] = Qarn::mcp::VMCPRegistry::ListTools();
    if (!result["tools"].isArray()) result["tools"] = VMCPJsonValue::MakeArray();
    return result.dumpTo(out);
  }
  if (method == "tools/call") return callTool(params, requestId, cancelled, out);
  throw RpcError{kMethodNotFound, "Method not found: " + Quoted(method)};
}

void McpServer::callTool(const VMCPJsonValue& params, const std::string& requestId,
                         const std::atomic<bool>& cancelled, std::string& out) {
  if (!params["name"].isString())
    throw RpcError{kInvalidParams, "Invalid params: \"name\" must be the tool's name."};
  const std::string name = params["name"].asString();
  const VMCPJsonValue noArguments = VMCPJsonValue::MakeObject();
  const VMCPJsonValue& given = params["arguments"];
  const VMCPJsonValue& arguments = given.isNull() ? noArguments : given;
  if (!arguments.isObject())
    throw RpcError{kInvalidParams, "Invalid params: \"arguments\" must be an object."};

  VMCPJsonValue result;
  try {
    const Qarn::mcp::VMCPCallContext context{requestId, &cancelled};
    if (!Qarn::mcp::VMCPRegistry::CallTool(name, arguments, context, result))
      throw RpcError{kInvalidParams, "Unknown tool: " + Quoted(name)};
  } catch (const RpcError&) {
    throw;
  } catch (const std::exception& failure) {
    return FailedToolResult("Tool " + Quoted(name) + " failed: " + failure.what()).dumpTo(out);
  } catch (...) {
    return FailedToolResult("Tool " + Quoted(name) + " failed with an unknown error.").dumpTo(out);
  }
  AppendToolResult(std::move(result), out);
}

void McpServer::sendResult(const VMCPJsonValue& id, const std::string& resultJson) {
  std::string line = ResultLinePrefix(id);
  line.append(resultJson).push_back('}');
  sendLine(line, {id.dump(), true});
}

void McpServer::sendError(const VMCPJsonValue& id, int code, const std::string& text) {
  VMCPJsonValue message = VMCPJsonValue::MakeObject();
  message["jsonrpc"] = "2.0";
  message["id"] = id;
  message["error"]["code"] = code;
  message["error"]["message"] = text;
  send(message);
}

void McpServer::send(const VMCPJsonValue& message) {
  sendLine(message.dump(), {message["id"].dump(), true});
}

void McpServer::sendLine(const std::string& line, const LineRoute& route) {
  std::lock_guard lock(outMutex_);
  sink_(line, route);
}

}  // namespace dravo::host
