// Splitting and number parsing for text formats, locale-independent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravo::demo {

std::vector<std::string_view> SplitWhitespace(std::string_view line);
// Splits at every delimiter, trimming blanks around each field.
std::vector<std::string_view> SplitAt(std::string_view line, char delimiter);
std::string_view Trim(std::string_view text);

// Whole-field parses: trailing characters make them fail.
bool ParseDouble(std::string_view text, double& value);
bool ParseUnsigned(std::string_view text, std::uint64_t& value);

// Appends item to a list, after separator unless the list is empty. Built by
// appending: g++ 12 at -O3 misreads prepending as an overlapping copy.
void AppendListed(std::string& list, std::string_view item, std::string_view separator);

}  // namespace dravo::demo
