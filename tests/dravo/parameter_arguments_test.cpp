#include <dravo/mcp/nutrition/tools/parameter_arguments.h>

#include "test_nutrition.h"

#include <gtest/gtest.h>

namespace {

using dravo::nutrition::ApplyParameterAssignments;
using dravo::nutrition::ParameterAssignments;
using dravo::nutrition::ParseParameterArguments;

std::string CannotRead(const std::string& piece) {
  return "cannot read \"" + piece +
         "\" as a parameter: it carries no '=' and continues nothing. Write name=value, "
         "separating parameters with newlines or semicolons; a value may itself contain "
         "semicolons, as in TileLength=250;250;0.";
}

TEST(ParseParameterArguments, SplitsAndContinues) {
  struct Case {
    std::string text;
    ParameterAssignments expected;
  } cases[] = {
      {"", {}},
      {"\n\n", {}},
      {"TileLength=250;250;0", {{"TileLength", "250;250;0"}}},
      {"A=1\nB=2", {{"A", "1"}, {"B", "2"}}},
      {"A=1;B=2", {{"A", "1"}, {"B", "2"}}},
      {"A=1\nB", {{"A", "1\nB"}}},
      {"A=1;;2", {{"A", "1;;2"}}},
      {"A=1;;", {{"A", "1;"}}},
      {"A=1;", {{"A", "1"}}},
      {"A=1\n\nB=2", {{"A", "1"}, {"B", "2"}}},
      {"A=1\r\nB=2\r\n", {{"A", "1"}, {"B", "2"}}},
      {"A=1\r\r", {{"A", "1\r"}}},
      {"A=\r1", {{"A", "\r1"}}},
      {"A=1;\nB=2", {{"A", "1;"}, {"B", "2"}}},
      {"A=1;\r\n", {{"A", "1;"}}},
      {"A=1\n;B=2", {{"A", "1"}, {"B", "2"}}},
      {";A=1", {{"A", "1"}}},
      {"\nA=1", {{"A", "1"}}},
      {"A=1;foo", {{"A", "1;foo"}}},
      {" A = 1 ", {{" A ", " 1 "}}},
      {"=5", {{"", "5"}}},
      {"A=", {{"A", ""}}},
      {"A=x=y", {{"A", "x=y"}}},
      {"A=1;A=2", {{"A", "1"}, {"A", "2"}}},
      {"A=1\tB=2,C=3", {{"A", "1\tB=2,C=3"}}},
      {"A=\xC3\xA9;\xC3\xA9", {{"A", "\xC3\xA9;\xC3\xA9"}}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseParameterArguments(c.text);
    const auto* list = std::get_if<ParameterAssignments>(&parsed);
    ASSERT_NE(list, nullptr) << "text: " << c.text << " failed: " << std::get<std::string>(parsed);
    EXPECT_EQ(*list, c.expected) << "text: " << c.text;
  }
}

TEST(ParseParameterArguments, PieceThatContinuesNothingFails) {
  struct Case {
    std::string text;
    std::string piece;
  } cases[] = {
      {"foo", "foo"},        {"foo;A=1", "foo"},
      {"foo\r\nA=1", "foo"}, {";;A=1", ""},  // an empty piece after ';' with nothing to continue
      {"\n;;A=1", ""},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseParameterArguments(c.text);
    const auto* message = std::get_if<std::string>(&parsed);
    ASSERT_NE(message, nullptr) << c.text;
    EXPECT_EQ(*message, CannotRead(c.piece)) << c.text;
  }
}

class ApplyParameterAssignmentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nutrition->addInput("Count", "how many", count);
    nutrition->addInput(" Spaced ", "blanks in the name", spaced);
    nutrition->addInput("Empty", "no parameter", {});
  }

  Brasko::StrongPtr<dravo::testing::TestNutrition> nutrition =
      Brasko::MakeStrong<dravo::testing::TestNutrition>("Tiler");
  Brasko::StrongPtr<Qarn::VParameter> count = Qarn::VParameter::MakeInteger(1);
  Brasko::StrongPtr<Qarn::VParameter> spaced = Qarn::VParameter::MakeString("x");
};

TEST_F(ApplyParameterAssignmentsTest, SetsInOrderSoTheLastWins) {
  EXPECT_EQ(ApplyParameterAssignments(*nutrition, "tiler", {{"Count", "5"}, {"Count", "7"}}),
            std::nullopt);
  EXPECT_EQ(count->getInteger(), 7);
  EXPECT_EQ(ApplyParameterAssignments(*nutrition, "tiler", {{" Spaced ", " y "}}), std::nullopt);
  EXPECT_EQ(spaced->getString(), " y ");
}

TEST_F(ApplyParameterAssignmentsTest, FailureStopsButKeepsEarlierAssignments) {
  struct Case {
    ParameterAssignments assignments;
    std::string message;
    std::int64_t countAfter;
  } cases[] = {
      {{{"Count", "2"}, {"Missing", "1"}, {"Count", "3"}},
       "\"tiler \" has no parameter named \"Missing\". describe_nutrition lists its parameters.",
       2},
      {{{"Count", "4"}, {"count", "1"}},
       "\"tiler \" has no parameter named \"count\". describe_nutrition lists its parameters.",
       4},
      {{{"", "5"}},
       "\"tiler \" has no parameter named \"\". describe_nutrition lists its parameters.",
       4},
      {{{"Count", "6"}, {"Count", "oops"}, {"Count", "9"}},
       "Could not set parameter \"Count\" to \"oops\" (wrong type or format). describe_nutrition "
       "shows each parameter's current value as an example.",
       6},
      {{{"Empty", "1"}, {"Count", "8"}},
       "Could not set parameter \"Empty\" to \"1\" (wrong type or format). describe_nutrition "
       "shows each parameter's current value as an example.",
       6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplyParameterAssignments(*nutrition, "tiler ", c.assignments), c.message);
    EXPECT_EQ(count->getInteger(), c.countAfter) << c.message;
  }
}

TEST_F(ApplyParameterAssignmentsTest, ReleasedParameterCountsAsRejected) {
  auto retired = Qarn::VParameter::MakeInteger(1);
  nutrition->addInput("Retired", "gone", retired);
  retired->retire();
  EXPECT_EQ(ApplyParameterAssignments(*nutrition, "t", {{"Retired", "2"}}),
            "Could not set parameter \"Retired\" to \"2\" (wrong type or format). "
            "describe_nutrition shows each parameter's current value as an example.");
}

}  // namespace
