#include <qarn/mcp/tool_schema.h>

namespace Qarn::mcp {

VMCPJsonValue DeclareToolWithSchemas(const std::string& name, const std::string& description,
                                     const VMCPJsonValue& inputSchema,
                                     const VMCPJsonValue& outputSchema) {
  auto tool = VMCPJsonValue::MakeObject();
  tool["name"] = name;
  tool["description"] = description;
  tool["inputSchema"] = inputSchema;
  if (!outputSchema.isNull()) tool["outputSchema"] = outputSchema;
  return tool;
}

void MirrorInHeader(VMCPJsonValue& inputSchema, const std::string& property,
                    const std::string& header) {
  inputSchema["properties"][property]["x-mcp-header"] = header;
}

}  // namespace Qarn::mcp
