#include <qarn/mcp/content.h>
#include <qarn/mcp/resources.h>

namespace Qarn::mcp {

namespace {
VMCPJsonValue Described(const char* key, const std::string& uri, const std::string& name,
                        const std::string& description, const std::string& mimeType) {
  auto declaration = VMCPJsonValue::MakeObject();
  declaration[key] = uri;
  declaration["name"] = name;
  if (!description.empty()) declaration["description"] = description;
  if (!mimeType.empty()) declaration["mimeType"] = mimeType;
  return declaration;
}

VMCPJsonValue Contents(const std::string& uri, const std::string& mimeType) {
  auto contents = VMCPJsonValue::MakeObject();
  contents["uri"] = uri;
  if (!mimeType.empty()) contents["mimeType"] = mimeType;
  return contents;
}
}  // namespace

VMCPJsonValue DeclareResource(const std::string& uri, const std::string& name,
                              const std::string& description, const std::string& mimeType) {
  return Described("uri", uri, name, description, mimeType);
}

VMCPJsonValue DeclareResourceTemplate(const std::string& uriTemplate, const std::string& name,
                                      const std::string& description, const std::string& mimeType) {
  return Described("uriTemplate", uriTemplate, name, description, mimeType);
}

VMCPJsonValue TextResourceContents(const std::string& uri, const std::string& mimeType,
                                   const std::string& text) {
  auto contents = Contents(uri, mimeType);
  contents["text"] = text;
  return contents;
}

VMCPJsonValue BlobResourceContents(const std::string& uri, const std::string& mimeType,
                                   std::string_view bytes) {
  auto contents = Contents(uri, mimeType);
  contents["blob"] = Base64(bytes);
  return contents;
}

bool MatchUriTemplate(std::string_view uriTemplate, std::string_view uri,
                      VMCPJsonValue& variables) {
  auto found = VMCPJsonValue::MakeObject();
  std::size_t t = 0, u = 0;
  while (t < uriTemplate.size()) {
    if (uriTemplate[t] != '{') {
      if (u >= uri.size() || uri[u] != uriTemplate[t]) return false;
      ++t, ++u;
      continue;
    }
    const std::size_t close = uriTemplate.find('}', t);
    if (close == std::string_view::npos) return false;
    const std::string_view name = uriTemplate.substr(t + 1, close - t - 1);
    t = close + 1;
    // The value runs to the next '/' or to the template's next literal.
    const char stop = t < uriTemplate.size() ? uriTemplate[t] : '/';
    std::size_t end = u;
    while (end < uri.size() && uri[end] != '/' && uri[end] != stop) ++end;
    if (end == u || name.empty()) return false;
    found[name] = std::string(uri.substr(u, end - u));
    u = end;
  }
  if (u != uri.size()) return false;
  variables = std::move(found);
  return true;
}

}  // namespace Qarn::mcp
