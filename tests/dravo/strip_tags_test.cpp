#include <dravo/mcp/nutrition/tools/strip_tags.h>

#include <gtest/gtest.h>

namespace {

using dravo::nutrition::StripTags;

TEST(StripTags, DropsTagsAndTrimsFourBlanks) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"<b>3 files</b>\n", "3 files"},
      {"before <i unclosed and the rest", "before"},
      {"a > b", "a  b"},
      {"<p> </p>\r\n\t<br/>  ", ""},
      {"\v<b>x</b>", "\vx"},
      {"\f x \f", "\f x \f"},
      {" line one\nline two\r\n", "line one\nline two"},
      {"a &amp; b", "a &amp; b"},
      {"<<b>>x", "x"},
      {"\xC3\xA9t\xC3\xA9 <b>\xE2\x82\xAC</b>", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
  };
  for (const auto& c : cases) EXPECT_EQ(StripTags(c.text), c.expected) << c.text;
}

}  // namespace
