#include <dravo/mcp/nutrition/tools/contains_no_case.h>

namespace dravo::nutrition {

namespace {

// Locale-independent on purpose: only A-Z fold.
std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

}  // namespace

bool ContainsNoCase(const std::string& text, const std::string& needle) {
  if (needle.empty()) return true;
  if (text.size() < needle.size()) return false;
  return AsciiLower(text).find(AsciiLower(needle)) != std::string::npos;
}

}  // namespace dravo::nutrition
