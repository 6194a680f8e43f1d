#include <dravo-host/protocol.h>

#include <algorithm>

namespace dravo::host {

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

const std::vector<std::string>& AllProtocolVersions() {
  static const std::vector<std::string> versions = [] {
    std::vector<std::string> all{std::string(kStatelessVersion)};
    const auto& legacy = SupportedProtocolVersions();
    all.insert(all.end(), legacy.begin(), legacy.end());
    return all;
  }();
  return versions;
}

bool IsSupportedVersion(std::string_view version) {
  const auto& versions = AllProtocolVersions();
  return std::find(versions.begin(), versions.end(), version) != versions.end();
}

bool IsRequestId(const VMCPJsonValue& id) {
  return id.isString() || id.isInteger();
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string ResultLinePrefix(const VMCPJsonValue& id) {
  std::string line = R"({"jsonrpc":"2.0","id":)";
  id.dumpTo(line);
  line.append(R"(,"result":)");
  return line;
}

std::string ErrorLine(const VMCPJsonValue& id, const RpcError& error) {
  VMCPJsonValue message = VMCPJsonValue::MakeObject();
  message["jsonrpc"] = "2.0";
  message["id"] = id;
  message["error"]["code"] = error.code;
  message["error"]["message"] = error.message;
  if (!error.data.isNull()) message["error"]["data"] = error.data;
  return message.dump();
}

}  // namespace dravo::host
