// The one case-folding comparison of the module: list_nutritions' filter.
#pragma once

#include <string>

namespace dravo::nutrition {

// True when needle occurs in text with A-Z folded onto a-z; every other
// byte, including those of multi-byte UTF-8 characters, must match exactly.
// An empty needle is found everywhere.
bool ContainsNoCase(const std::string& text, const std::string& needle);

}  // namespace dravo::nutrition
