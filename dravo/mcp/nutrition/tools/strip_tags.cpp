#include <dravo/mcp/nutrition/tools/strip_tags.h>

namespace dravo::nutrition {

std::string StripTags(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  bool insideTag = false;
  for (const char byte : text) {
    if (byte == '<') {
      insideTag = true;
    } else if (byte == '>') {
      insideTag = false;
    } else if (!insideTag) {
      plain += byte;
    }
  }
  // Only these four: vertical tab and form feed are content here.
  constexpr std::string_view kBlanks = " \t\n\r";
  const auto first = plain.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  const auto last = plain.find_last_not_of(kBlanks);
  return plain.substr(first, last - first + 1);
}

}  // namespace dravo::nutrition
