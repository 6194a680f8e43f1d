// The host's JSON-RPC lines with the module's provider registered: every line
// out is a JSON-RPC response (or a batch of them), and a ping after any input
// is answered.
#include <dravo-host/mcp_server.h>
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <qarn/mcp/registry.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
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

// One response, or the non-empty array that answers a batch.
bool IsAnswer(const std::string& line) {
  const auto message = nlohmann::json::parse(line, nullptr, false);
  if (!message.is_array()) return IsResponse(message);
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
  dravo::host::McpServer server({.workers = 1, .maxLineBytes = 4096},
                                [&](const std::string& line) { lines.push_back(line); });
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  server.serve(in);
  server.handleLine(R"({"jsonrpc":"2.0","id":"fuzz-ping","method":"ping"})");
  server.drain();
  bool pinged = false;
  for (const auto& line : lines) {
    if (!IsAnswer(line)) std::abort();
    pinged = pinged || line == R"({"jsonrpc":"2.0","id":"fuzz-ping","result":{}})";
  }
  if (!pinged) std::abort();
  return 0;
}
