#include <qarn/mcp/tool_declaration.h>

namespace Qarn::mcp {

namespace {
VMCPJsonValue typedProp(const char* type, const std::string& description) {
  auto prop = VMCPJsonValue::MakeObject();
  prop["type"] = type;
  prop["description"] = description;
  return prop;
}
}  // namespace

VMCPJsonValue StringProp(const std::string& description) {
  return typedProp("string", description);
}

VMCPJsonValue StringArrayProp(const std::string& description) {
  auto prop = VMCPJsonValue::MakeObject();
  prop["type"] = "array";
  prop["items"]["type"] = "string";
  prop["description"] = description;
  return prop;
}

VMCPJsonValue BoolProp(const std::string& description) {
  return typedProp("boolean", description);
}

VMCPJsonValue DeclareTool(const std::string& name, const std::string& description,
                          const VMCPJsonValue& properties,
                          const std::vector<std::string>& required) {
  auto tool = VMCPJsonValue::MakeObject();
  tool["name"] = name;
  tool["description"] = description;
  auto& schema = tool["inputSchema"];
  schema = VMCPJsonValue::MakeObject();
  schema["type"] = "object";
  schema["properties"] = properties.isObject() ? properties : VMCPJsonValue::MakeObject();
  auto requiredList = VMCPJsonValue::MakeArray();
  for (const auto& property : required) requiredList.push_back(property);
  schema["required"] = std::move(requiredList);
  return tool;
}

}  // namespace Qarn::mcp
