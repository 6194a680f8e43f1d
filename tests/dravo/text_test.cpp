// Texts the module reads byte by byte: the "arguments" of run_nutrition (how
// they split and how they are applied), and markup stripping.
#include <dravo/mcp/nutrition/tools/parameter_arguments.h>
#include <dravo/mcp/nutrition/tools/strip_tags.h>
#include "test_nutrition.h"

#include <gtest/gtest.h>

namespace {

using dravo::nutrition::ApplyParameterAssignments;
using dravo::nutrition::ParameterAssignments;
using dravo::nutrition::ParseParameterArguments;

// Each assignment as [name:value], or the complaint up to the piece it names.
std::string Parsed(const std::string& text) {
  const auto parsed = ParseParameterArguments(text);
  if (const auto* error = std::get_if<std::string>(&parsed))
    return error->substr(0, error->find(" as"));
  std::string joined;
  for (const auto& [name, value] : std::get<ParameterAssignments>(parsed))
    joined += "[" + name + ":" + value + "]";
  return joined;
}

TEST(ParseParameterArguments, SplitsAndContinues) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"TileLength=250;250;0", "[TileLength:250;250;0]"},
      {"A=1;", "[A:1]"},
      {"A=1\nB=2", "[A:1][B:2]"},
      {"A=1;B=2", "[A:1][B:2]"},
      {"A=1\nB", "[A:1\nB]"},
      {"A=1;;2", "[A:1;;2]"},
      {"A=1;\r\n", "[A:1;]"},
      {"A=1\r\nB=2\r\n", "[A:1][B:2]"},
      {"A=1\r\r", "[A:1\r]"},
      {"A=\r1", "[A:\r1]"},
      {"A=1\n;B=2", "[A:1][B:2]"},
      {";A=1", "[A:1]"},
      {" A = 1 ", "[ A : 1 ]"},
      {"A=x=y", "[A:x=y]"},
      {"A=1\tB=2,C=3", "[A:1\tB=2,C=3]"},
      {"foo;A=1", "cannot read \"foo\""},
      {"foo\r\nA=1", "cannot read \"foo\""},
      {";;A=1", "cannot read \"\""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Parsed(text), expected) << text;
}

// Applied in order until the first failure; what was set before it stays.
TEST(ApplyParameterAssignments, StopsAtTheFirstFailureAndKeepsWhatWasSet) {
  auto nutrition = Brasko::MakeStrong<dravo::testing::TestNutrition>("Tiler");
  auto count = Qarn::VParameter::MakeInteger(1);
  auto spaced = Qarn::VParameter::MakeString("x");
  auto retired = Qarn::VParameter::MakeInteger(1);
  nutrition->addInput("Count", "how many", count);
  nutrition->addInput(" Spaced ", "blanks in the name", spaced);
  nutrition->addInput("Empty", "no parameter", {});
  nutrition->addInput("Retired", "gone", retired);
  retired->retire();
  const auto noSuch = [](const std::string& name) {
    return "\"tiler \" has no parameter named \"" + name +
           "\". describe_nutrition lists its parameters.";
  };
  const auto rejected = [](const std::string& name, const std::string& value) {
    return "Could not set parameter \"" + name + "\" to \"" + value +
           "\" (wrong type or format). describe_nutrition shows each parameter's current value "
           "as an example.";
  };
  const struct {
    ParameterAssignments assignments;
    std::optional<std::string> message;
    std::int64_t countAfter;
  } cases[] = {
      {{{"Count", "5"}, {" Spaced ", " y "}, {"Count", "7"}}, std::nullopt, 7},
      {{{"Count", "2"}, {"Missing", "1"}, {"Count", "3"}}, noSuch("Missing"), 2},
      {{{"Count", "4"}, {"count", "1"}}, noSuch("count"), 4},
      {{{"", "5"}}, noSuch(""), 4},
      {{{"Count", "6"}, {"Count", "oops"}, {"Count", "9"}}, rejected("Count", "oops"), 6},
      {{{"Empty", "1"}, {"Count", "8"}}, rejected("Empty", "1"), 6},
      {{{"Retired", "2"}}, rejected("Retired", "2"), 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplyParameterAssignments(*nutrition, "tiler ", c.assignments), c.message);
    EXPECT_EQ(count->getInteger(), c.countAfter) << c.message.value_or("");
  }
  EXPECT_EQ(spaced->getString(), " y ");
}

TEST(StripTags, DropsTagsAndTrimsFourBlanks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"<b>3 files</b>\n", "3 files"},
      {"before <i unclosed and the rest", "before"},
      {"a > b", "a  b"},
      {"<<b>>x", "x"},
      {"<p> </p>\r\n\t<br/>  ", ""},
      {"\v<b>x</b>\f", "\vx\f"},
      {" line one\nline two\r\n", "line one\nline two"},
      {"a &amp; b", "a &amp; b"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(dravo::nutrition::StripTags(text), expected) << text;
}

}  // namespace
