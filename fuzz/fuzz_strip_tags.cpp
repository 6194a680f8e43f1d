// StripTags leaves no tag bracket and no blank at either end, and is idempotent.
#include <dravo/mcp/nutrition/tools/strip_tags.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using dravo::nutrition::StripTags;
  const std::string plain = StripTags(std::string_view(reinterpret_cast<const char*>(data), size));
  const bool blankEnd =
      !plain.empty() &&
      (std::string_view(" \t\n\r").find(plain.front()) != std::string_view::npos ||
       std::string_view(" \t\n\r").find(plain.back()) != std::string_view::npos);
  if (plain.find_first_of("<>") != std::string::npos || blankEnd || StripTags(plain) != plain)
    std::abort();
  return 0;
}
