#include <dravo-host/http_request_checks.h>

#include <algorithm>
#include <cctype>

namespace dravo::host {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (auto& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool IsLoopbackName(std::string_view host) {
  const std::string name = Lower(host);
  return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

std::string HostNameOf(std::string_view text) {
  if (const auto scheme = text.find("://"); scheme != std::string_view::npos)
    text.remove_prefix(scheme + 3);
  text = text.substr(0, text.find('/'));
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    return close == std::string_view::npos ? std::string() : Lower(text.substr(0, close + 1));
  }
  return Lower(text.substr(0, text.find(':')));
}

bool OriginAllowed(std::string_view origin, const std::vector<std::string>& allowed) {
  if (std::find(allowed.begin(), allowed.end(), origin) != allowed.end()) return true;
  const std::string lower = Lower(origin);
  const bool web = lower.starts_with("http://") || lower.starts_with("https://");
  return web && IsLoopbackName(HostNameOf(lower));
}

bool HostAllowed(std::string_view host, const std::vector<std::string>& allowedOrigins) {
  const std::string name = HostNameOf(host);
  if (IsLoopbackName(name)) return true;
  return std::any_of(allowedOrigins.begin(), allowedOrigins.end(),
                     [&](const std::string& origin) { return HostNameOf(origin) == name; });
}

bool SameSecret(std::string_view given, std::string_view expected) {
  // Walks the whole expected text whatever is given, so that the time taken
  // tells nothing about how much of a guess was right.
  unsigned difference = given.size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char other = i < given.size() ? given[i] : char(~expected[i]);
    difference |= unsigned(static_cast<unsigned char>(other ^ expected[i]));
  }
  return difference == 0;
}

bool Accepts(std::string_view accept, std::string_view type) {
  const std::string wanted = Lower(type);
  const std::string family = wanted.substr(0, wanted.find('/')) + "/*";
  while (!accept.empty()) {
    const auto comma = accept.find(',');
    auto item = accept.substr(0, comma);
    accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
    const std::string range = Lower(Trimmed(item.substr(0, item.find(';'))));
    if (range == wanted || range == family || range == "*/*") return true;
  }
  return false;
}

}  // namespace dravo::host
