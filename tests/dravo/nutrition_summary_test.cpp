#include <dravo/mcp/nutrition/tools/nutrition_summary.h>

#include "test_nutrition.h"

#include <gtest/gtest.h>

namespace {

using namespace dravo::nutrition;

TEST(SummariseNutrition, RecordHasFiveMembersWithRawStringsInTheirOrders) {
  auto n = Brasko::MakeStrong<dravo::testing::TestNutrition>("LAS <b>reader</b>");
  n->addExtension("las");
  n->addExtension("LAZ");
  n->addExtension("las");
  n->outputExtensions = {"tif", "las"};
  const auto record = SummariseNutrition(n);
  EXPECT_EQ(record.dump(),
            R"({"name":"LAS <b>reader</b>","description":"","extensions":["las","LAZ","las"],)"
            R"("output_extensions":["las","tif"],"genres":[]})");
}

TEST(HandlesExtension, ComparesBytesExactly) {
  auto n = Brasko::MakeStrong<dravo::testing::TestNutrition>("n");
  EXPECT_FALSE(HandlesExtension(n, "las"));  // no extensions at all
  n->addExtension("LAS");
  n->addExtension(".las");
  EXPECT_FALSE(HandlesExtension(n, "las"));
  EXPECT_TRUE(HandlesExtension(n, ".las"));
  n->addExtension("las");
  n->addExtension("xyz");  // a later mismatch does not clear the flag
  EXPECT_TRUE(HandlesExtension(n, "las"));
  EXPECT_FALSE(HandlesExtension(n, "la"));
}

}  // namespace
