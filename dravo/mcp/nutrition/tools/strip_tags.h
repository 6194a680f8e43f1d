// Plain text from a nutrition's marked-up text.
#pragma once

#include <string>
#include <string_view>

namespace dravo::nutrition {

// Drops everything from '<' to '>' and any stray '>', then trims space, tab,
// CR and LF at both ends. Character references are left as they are.
std::string StripTags(std::string_view text);

}  // namespace dravo::nutrition
