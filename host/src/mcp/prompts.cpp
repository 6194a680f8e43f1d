#include <qarn/mcp/prompts.h>

namespace Qarn::mcp {

VMCPJsonValue PromptArgument(const std::string& name, const std::string& description,
                             bool required) {
  auto argument = VMCPJsonValue::MakeObject();
  argument["name"] = name;
  if (!description.empty()) argument["description"] = description;
  argument["required"] = required;
  return argument;
}

VMCPJsonValue DeclarePrompt(const std::string& name, const std::string& description,
                            const VMCPJsonValue& arguments) {
  auto prompt = VMCPJsonValue::MakeObject();
  prompt["name"] = name;
  prompt["description"] = description;
  if (arguments.size() > 0) prompt["arguments"] = arguments;
  return prompt;
}

VMCPJsonValue PromptMessage(const std::string& role, const VMCPJsonValue& content) {
  auto message = VMCPJsonValue::MakeObject();
  message["role"] = role;
  message["content"] = content;
  return message;
}

}  // namespace Qarn::mcp
