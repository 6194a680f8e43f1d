#include <qarn/parameter.h>

#include <gtest/gtest.h>

namespace {

using Qarn::VParameter;

std::string textOf(const Brasko::StrongPtr<VParameter>& p) {
  return p->getValueAsText({}, "", false);
}
bool set(const Brasko::StrongPtr<VParameter>& p, const std::string& text) {
  return p->setValueFromText(text, {}, "", false, {}, nullptr, nullptr);
}

TEST(Parameter, TextRoundTripsAndRejectsLeaveTheOldValue) {
  struct Case {
    Brasko::StrongPtr<VParameter> parameter;
    std::string initial;
    std::vector<std::string> accepted;  // each must read back as itself
    std::vector<std::string> rejected;
  } cases[] = {
      {VParameter::MakeBool(true), "true", {"true", "false"}, {"yes", "TRUE", "", " true"}},
      {VParameter::MakeInteger(5, 0, 100), "5", {"0", "100", "42"}, {"-1", "101", "4.5", "7x", ""}},
      {VParameter::MakeFloat(0.1),
       "0.1",
       {"2.5", "-1e-07", "0.30000000000000004"},
       {"abc", "1,5", "inf", ""}},
      {VParameter::MakeString("a b"), "a b", {"", "x;y=z", " padded "}, {}},
      {VParameter::MakeChoice({"ply", "xyz"}, 0), "ply", {"xyz", "ply"}, {"PLY", "las", ""}},
      {VParameter::MakeVector3({250, 250, 0}),
       "250;250;0",
       {"0;0;0", "1.5;-2;3"},
       {"1;2", "1;2;3;4", "a;b;c", "1;;2", ""}}};
  for (auto& c : cases) {
    EXPECT_EQ(textOf(c.parameter), c.initial);
    for (const auto& text : c.accepted) {
      EXPECT_TRUE(set(c.parameter, text)) << text;
      EXPECT_EQ(textOf(c.parameter), text);
    }
    const std::string before = textOf(c.parameter);
    for (const auto& text : c.rejected) {
      EXPECT_FALSE(set(c.parameter, text)) << '"' << text << '"';
      EXPECT_EQ(textOf(c.parameter), before);
    }
  }
  // Typed reads follow the last text set.
  EXPECT_EQ(cases[1].parameter->getInteger(), 42);
  EXPECT_EQ(cases[2].parameter->getFloat(), 0.1 + 0.2);
  EXPECT_EQ(cases[5].parameter->getVector3(), (VParameter::Vector3{1.5, -2, 3}));
  ASSERT_TRUE(set(cases[0].parameter, "1"));  // digits are accepted, words written
  EXPECT_EQ(textOf(cases[0].parameter), "true");
  EXPECT_TRUE(cases[0].parameter->getBool());
}

}  // namespace
