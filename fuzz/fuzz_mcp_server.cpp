// The host's JSON-RPC lines with the module's provider registered: every line
// out is a JSON-RPC response, and a ping after any input is answered.
#include <dravo-host/mcp_server.h>
#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>
#include <qarn/mcp/registry.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

bool IsResponse(const std::string& line) {
  const auto message = nlohmann::json::parse(line, nullptr, false);
  if (!message.is_object() || message.value("jsonrpc", "") != "2.0" || !message.contains("id"))
    return false;
  if (message.contains("result")) return !message.contains("error");
  const auto& error = message.value("error", nlohmann::json());
  return error.is_object() && error.value("code", nlohmann::json()).is_number_integer() &&
         error.value("message", nlohmann::json()).is_string();
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
    if (!IsResponse(line)) std::abort();
    pinged = pinged || line == R"({"jsonrpc":"2.0","id":"fuzz-ping","result":{}})";
  }
  if (!pinged) std::abort();
  return 0;
}
