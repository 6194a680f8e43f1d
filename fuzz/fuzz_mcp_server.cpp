// The host's JSON-RPC lines with the module's provider registered: every line
// out is a JSON-RPC response, a batch of them or a notification about a
// request, and a ping after any input is answered.
#include <dravo-host/mcp_server.h>
#include <dravo-host/stdio_transport.h>
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <qarn/mcp/registry.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace {

bool IsResponse(const nlohmann::json& message) {
  if (!message.is_object() || message.value("jsonrpc", "") != "2.0" || !message.contains("id"))
    return false;
  if (message.contains("result")) return !message.contains("error");
  const auto& error = message.value("error", nlohmann::json());
  return error.is_object() && error.value("code", nlohmann::json()).is_number_integer() &&
         error.value("message", nlohmann::json()).is_string();
}

bool IsNotification(const nlohmann::json& message) {
  return message.is_object() && message.value("jsonrpc", "") == "2.0" &&
         message.value("method", nlohmann::json()).is_string() && !message.contains("id");
}

// One response or notification, or the non-empty array that answers a batch.
bool IsAnswer(const std::string& line) {
  const auto message = nlohmann::json::parse(line, nullptr, false);
  if (!message.is_array()) return IsResponse(message) || IsNotification(message);
  if (message.empty()) return false;
  for (const auto& response : message)
    if (!IsResponse(response)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Qarn::mcp::VMCPRegistry::Register(
      "dravo-nutrition",
      Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new Qarn::VNutritionMCPTools));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::mutex mutex;
  const auto collect = [&](std::string line, const dravo::host::LineRoute&) {
    std::lock_guard lock(mutex);
    if (!line.empty()) lines.push_back(std::move(line));
  };
  dravo::host::ServerOptions options;
  options.workers = 1;
  options.maxLineBytes = 4096;
  dravo::host::McpServer server(options);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size) +
                        "\n{\"jsonrpc\":\"2.0\",\"id\":\"fuzz-ping\",\"method\":\"ping\"}\n");
  dravo::host::ServeLines(server, in, collect);
  bool pinged = false;
  for (const auto& line : lines) {
    if (!IsAnswer(line)) std::abort();
    pinged = pinged || line == R"({"jsonrpc":"2.0","id":"fuzz-ping","result":{}})";
  }
  if (!pinged) std::abort();
  return 0;
}
