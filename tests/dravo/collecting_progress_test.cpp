#include <dravo/mcp/nutrition/tools/collecting_progress.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using dravo::nutrition::CollectingProgress;

TEST(CollectingProgress, RecordsOpeningMessageAndNoticeInOrder) {
  auto sink = Brasko::MakeStrong<CollectingProgress>();
  Brasko::StrongPtr<Brasko::LoaderProgress> progress = sink;  // as a nutrition sees it
  EXPECT_TRUE(progress->message("first"));
  EXPECT_TRUE(progress->openingFile("a.las"));
  EXPECT_TRUE(progress->progress("half way", 1, 2));
  EXPECT_TRUE(progress->tryLoader("las"));
  EXPECT_FALSE(progress->abort_on_issue("odd header"));
  EXPECT_TRUE(progress->notice("<b>kept</b>\n"));
  EXPECT_TRUE(progress->message(""));
  EXPECT_TRUE(progress->message("first"));
  EXPECT_STREQ(progress->interfaceName(), "Brasko::LoaderProgress");
  EXPECT_EQ(sink->messages(),
            (std::vector<std::string>{"first", "open: a.las", "<b>kept</b>\n", "", "first"}));
}

TEST(CollectingProgress, StartsEmpty) {
  EXPECT_TRUE(CollectingProgress().messages().empty());
}

}  // namespace
