#include <qarn/mcp/call_context.h>

namespace Qarn::mcp {

namespace {
const VMCPJsonValue& NullValue() {
  static const VMCPJsonValue none;
  return none;
}
}  // namespace

bool VMCPCallContext::reportProgress(double done, double total, const std::string& message) const {
  if (isCancelled()) return false;
  return !progress || progress(done, total, message);
}

bool VMCPCallContext::clientSupports(std::string_view capability) const {
  return clientCapabilities && clientCapabilities->isObject() &&
         (*clientCapabilities)[capability].isObject();
}

const VMCPJsonValue& VMCPCallContext::inputResponse(std::string_view key) const {
  return inputResponses ? (*inputResponses)[key] : NullValue();
}

const VMCPJsonValue& VMCPCallContext::acceptedContent(std::string_view key) const {
  const auto& answer = inputResponse(key);
  if (answer["action"].asString() != "accept") return NullValue();
  return answer["content"];
}

}  // namespace Qarn::mcp
