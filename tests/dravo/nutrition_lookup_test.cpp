#include <dravo/mcp/nutrition/tools/nutrition_lookup.h>

#include "test_nutrition.h"

#include <gtest/gtest.h>

namespace {

using dravo::nutrition::FindNutrition;
using dravo::nutrition::InputFileSet;
using dravo::nutrition::InputFilesOf;
using dravo::nutrition::kDescribeNotFoundTail;
using dravo::nutrition::kPlainNotFoundTail;
using Qarn::mcp::VMCPJsonValue;

VMCPJsonValue named(const char* name) {
  auto args = VMCPJsonValue::MakeObject();
  args["name"] = name;
  return args;
}

std::string errorOf(const dravo::nutrition::LookupResult& r) {
  const auto* failure = std::get_if<VMCPJsonValue>(&r);
  return failure ? (*failure)["error"].asString() : "(found)";
}

class OtherObject : public Qarn::VManagedObject {
 public:
  explicit OtherObject(std::string name) : VManagedObject(std::move(name)) {}
};

TEST(FindNutrition, MessagesAreExact) {
  dravo::testing::RegisteredObjects registry;
  registry.add("Las Reader");
  registry.add(Qarn::VNutrition::domainType(), Brasko::MakeStrong<OtherObject>("Impostor"));
  auto retired = registry.add("Retired");
  retired->retire();

  const std::string sayWhich = "Say which nutrition, by the name list_nutritions gives it.";
  EXPECT_EQ(errorOf(FindNutrition(VMCPJsonValue::MakeObject(), kPlainNotFoundTail)), sayWhich);
  EXPECT_EQ(errorOf(FindNutrition(named(""), kPlainNotFoundTail)), sayWhich);
  auto numeric = VMCPJsonValue::MakeObject();
  numeric["name"] = 7;
  EXPECT_EQ(errorOf(FindNutrition(numeric, kPlainNotFoundTail)), sayWhich);

  EXPECT_EQ(errorOf(FindNutrition(named(" Las Reader"), kPlainNotFoundTail)),
            "There is no nutrition called \" Las Reader\".");
  EXPECT_EQ(errorOf(FindNutrition(named("las reader"), kDescribeNotFoundTail)),
            "There is no nutrition called \"las reader\". list_nutritions says what there is.");
  EXPECT_EQ(errorOf(FindNutrition(named("Impostor"), kPlainNotFoundTail)),
            "There is no nutrition called \"Impostor\".");
  EXPECT_EQ(errorOf(FindNutrition(named("Retired"), kPlainNotFoundTail)),
            "There is no nutrition called \"Retired\".");

  const auto found = FindNutrition(named("Las Reader"), kPlainNotFoundTail);
  ASSERT_TRUE(std::holds_alternative<dravo::nutrition::NutritionPtr>(found));
  EXPECT_EQ(std::get<0>(found)->name.str(), "Las Reader");
}

TEST(InputFilesOf, OrderedDistinctNonEmpty) {
  struct Case {
    const char* json;
    InputFileSet expected;
  } cases[] = {
      {R"({"files":["b.las","a.las","b.las"]})", {"a.las", "b.las"}},
      {R"({"files":["a.las","Z.las"]})", {"Z.las", "a.las"}},
      {R"({"files":["","x.las",3,null]})", {"x.las"}},
      {R"({"files":"x.las"})", {}},
      {R"({"files":[]})", {}},
      {R"({"files":[""]})", {}},
      {R"({"files":{"a":"b"}})", {}},
      {R"({})", {}},
  };
  for (const auto& c : cases) {
    const auto files = InputFilesOf(VMCPJsonValue::Parse(c.json));
    EXPECT_EQ(files, c.expected) << c.json;
  }
  const auto files = InputFilesOf(VMCPJsonValue::Parse(R"({"files":["ab","a","b"]})"));
  EXPECT_EQ(std::vector<std::string>(files.begin(), files.end()),
            (std::vector<std::string>{"a", "ab", "b"}));
}

}  // namespace
