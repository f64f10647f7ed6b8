#include "panes/search_history.h"

#include <gtest/gtest.h>

#include <string>

namespace lectern {
namespace {

TEST(SearchHistoryTest, SeventeenQueriesKeepTheSixteenMostRecent) {
  SearchHistory history;
  for (int i = 1; i <= 17; ++i) history.Add("query " + std::to_string(i));
  ASSERT_EQ(history.size(), SearchHistory::kMaxEntries);
  EXPECT_EQ(history.entries().front(), "query 17");
  EXPECT_EQ(history.entries().back(), "query 2");
  EXPECT_EQ(history.Find("query 1"), -1);
}

TEST(SearchHistoryTest, ARepeatedQueryMovesUpWithItsNewSpelling) {
  SearchHistory history;
  for (int i = 1; i <= 16; ++i) history.Add("word" + std::to_string(i));
  // A full list that already holds the text loses only that entry, not its oldest.
  history.Add("WORD1");
  ASSERT_EQ(history.size(), 16u);
  EXPECT_EQ(history.entries().front(), "WORD1");
  EXPECT_EQ(history.Find("word1"), 0);
  EXPECT_EQ(history.entries()[1], "word16");
  EXPECT_EQ(history.entries().back(), "word2");
  // Case is ignored beyond ASCII too.
  EXPECT_TRUE(history.Add("Ärger"));
  // The top entry again changes nothing; in another spelling it takes that spelling.
  EXPECT_FALSE(history.Add("Ärger"));
  EXPECT_TRUE(history.Add("äRGER"));
  EXPECT_EQ(history.size(), 16u);
  EXPECT_EQ(history.entries().front(), "äRGER");
  EXPECT_EQ(history.Find("ärger"), 0);
  history.Clear();
  EXPECT_EQ(history.size(), 0u);
  EXPECT_EQ(history.Find("word1"), -1);
}

}  // namespace
}  // namespace lectern
