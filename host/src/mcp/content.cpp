#include <qarn/mcp/content.h>

#include <cstdint>

namespace Qarn::mcp {

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t group = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (left > 1) group |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    if (left > 2) group |= std::uint8_t(bytes[i + 2]);
    out.push_back(kDigits[group >> 18]);
    out.push_back(kDigits[(group >> 12) & 63]);
    out.push_back(left > 1 ? kDigits[(group >> 6) & 63] : '=');
    out.push_back(left > 2 ? kDigits[group & 63] : '=');
  }
  return out;
}

VMCPJsonValue TextContent(const std::string& text) {
  auto item = VMCPJsonValue::MakeObject();
  item["type"] = "text";
  item["text"] = text;
  return item;
}

namespace {
VMCPJsonValue MediaContent(const char* type, std::string_view bytes, const std::string& mimeType) {
  auto item = VMCPJsonValue::MakeObject();
  item["type"] = type;
  item["data"] = Base64(bytes);
  item["mimeType"] = mimeType;
  return item;
}
}  // namespace

VMCPJsonValue ImageContent(std::string_view bytes, const std::string& mimeType) {
  return MediaContent("image", bytes, mimeType);
}

VMCPJsonValue AudioContent(std::string_view bytes, const std::string& mimeType) {
  return MediaContent("audio", bytes, mimeType);
}

VMCPJsonValue EmbeddedResource(const VMCPJsonValue& contents) {
  auto item = VMCPJsonValue::MakeObject();
  item["type"] = "resource";
  item["resource"] = contents;
  return item;
}

VMCPJsonValue ResourceLink(const std::string& uri, const std::string& name,
                           const std::string& description, const std::string& mimeType) {
  auto item = VMCPJsonValue::MakeObject();
  item["type"] = "resource_link";
  item["uri"] = uri;
  item["name"] = name;
  if (!description.empty()) item["description"] = description;
  if (!mimeType.empty()) item["mimeType"] = mimeType;
  return item;
}

}  // namespace Qarn::mcp
