#include <qarn/mcp/input_requests.h>

namespace Qarn::mcp {

void VMCPInputRequests::add(const std::string& key, const char* method, VMCPJsonValue params) {
  auto& request = requests_[key];
  request["method"] = method;
  request["params"] = std::move(params);
}

void VMCPInputRequests::elicit(const std::string& key, const std::string& message,
                               const VMCPJsonValue& requestedSchema) {
  auto params = VMCPJsonValue::MakeObject();
  params["message"] = message;
  params["requestedSchema"] = requestedSchema;
  add(key, "elicitation/create", std::move(params));
}

void VMCPInputRequests::sample(const std::string& key, const VMCPJsonValue& params) {
  add(key, "sampling/createMessage", params);
}

void VMCPInputRequests::listRoots(const std::string& key) {
  add(key, "roots/list", VMCPJsonValue::MakeObject());
}

}  // namespace Qarn::mcp
