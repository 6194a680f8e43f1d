// Input a tool, prompt or resource read needs from the client before it can
// answer. The server asks for it and calls again with the answers (the
// context's inputResponses) and the state kept here (its requestState).
#pragma once

#include <qarn/mcp/export.h>
#include <qarn/mcp/json_value.h>

#include <string>

namespace Qarn::mcp {

class QARN_MCP_API VMCPInputRequests {
 public:
  // elicitation/create: a message for the user and the JSON Schema of the
  // content wanted back.
  void elicit(const std::string& key, const std::string& message,
              const VMCPJsonValue& requestedSchema);
  // sampling/createMessage with the given params.
  void sample(const std::string& key, const VMCPJsonValue& params);
  // roots/list.
  void listRoots(const std::string& key);

  bool empty() const noexcept { return requests_.size() == 0; }
  // Key to {"method":...,"params":...}, in the order asked.
  const VMCPJsonValue& requests() const noexcept { return requests_; }

  // What the provider wants back with the answers; the server keeps the
  // client from changing it.
  VMCPJsonValue state;

 private:
  void add(const std::string& key, const char* method, VMCPJsonValue params);
  VMCPJsonValue requests_ = VMCPJsonValue::MakeObject();
};

}  // namespace Qarn::mcp
