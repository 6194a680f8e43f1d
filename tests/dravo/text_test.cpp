// The two byte-level text helpers: markup stripping and the filter's folding.
#include <dravo/mcp/nutrition/tools/contains_no_case.h>
#include <dravo/mcp/nutrition/tools/strip_tags.h>

#include <gtest/gtest.h>

namespace {

TEST(StripTags, DropsTagsAndTrimsFourBlanks) {
  const struct {
    std::string text, expected;
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
  for (const auto& c : cases) EXPECT_EQ(dravo::nutrition::StripTags(c.text), c.expected) << c.text;
}

TEST(ContainsNoCase, FoldsOnlyAsciiLetters) {
  const struct {
    std::string text, needle;
    bool found;
  } cases[] = {
      {"", "", true},
      {"MyABCReader", "abc", true},
      {"[\\]^_`", "{|}~\x7f", false},
      {"@Z[", "z", true},
      {"\xC3\x84pfel", "\xC3\xA4pfel", false},
      {"\xC3\xA4pfel", "\xC3\xA4PFEL", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dravo::nutrition::ContainsNoCase(c.text, c.needle), c.found) << c.text;
}

}  // namespace
