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
  // clang-format off
  struct Case {
    Brasko::StrongPtr<VParameter> parameter;
    std::string initial;
    std::vector<std::string> accepted;  // each must read back as itself
    std::vector<std::string> rejected;
  } cases[] = {
      {VParameter::MakeBool(true), "true", {"false", "true"}, {"yes", "TRUE", "", " true"}},
      {VParameter::MakeInteger(5, 0, 100), "5", {"0", "100", "42"}, {"-1", "101", "4.5", "7x", ""}},
      {VParameter::MakeFloat(0.1), "0.1", {"2.5", "-1e-07", "250"}, {"abc", "1,5", "inf", ""}},
      {VParameter::MakeString("a b"), "a b", {"", "x;y=z", " padded "}, {}},
      {VParameter::MakeChoice({"ply", "xyz"}, 0), "ply", {"xyz", "ply"}, {"PLY", "las", ""}},
      {VParameter::MakeVector3({250, 250, 0}), "250;250;0", {"0;0;0", "1.5;-2;3"},
       {"1;2", "1;2;3;4", "a;b;c", "1;;2", ""}}};
  // clang-format on
  for (auto& c : cases) {
    EXPECT_EQ(textOf(c.parameter), c.initial);
    for (const auto& text : c.accepted) {
      EXPECT_TRUE(set(c.parameter, text)) << text;
      EXPECT_EQ(textOf(c.parameter), text);
      EXPECT_TRUE(set(c.parameter, textOf(c.parameter)));
    }
    const std::string before = textOf(c.parameter);
    for (const auto& text : c.rejected) {
      EXPECT_FALSE(set(c.parameter, text)) << '"' << text << '"';
      EXPECT_EQ(textOf(c.parameter), before);
    }
  }
}

TEST(Parameter, TypedReadsFollowTheText) {
  auto b = VParameter::MakeBool(false);
  ASSERT_TRUE(set(b, "1"));  // digits are accepted, words written
  EXPECT_EQ(textOf(b), "true");
  EXPECT_TRUE(b->getBool());
  auto v = VParameter::MakeVector3({0, 0, 0});
  ASSERT_TRUE(set(v, "1;2;3.25"));
  EXPECT_EQ(v->getVector3(), (VParameter::Vector3{1, 2, 3.25}));
  auto f = VParameter::MakeFloat(0);
  ASSERT_TRUE(set(f, "0.30000000000000004"));
  EXPECT_EQ(f->getFloat(), 0.1 + 0.2);
  EXPECT_EQ(textOf(f), "0.30000000000000004");
}

}  // namespace
