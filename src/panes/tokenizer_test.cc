#include "panes/tokenizer.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(TokenizerTest, NextTokenSkipsRunsOfDelimitersAndZeros) {
  CTokenizer t(std::string_view(",,a, b\0c,,", 10));
  EXPECT_EQ(t.NextToken(", "), "a");
  EXPECT_EQ(t.NextToken(", "), "b");
  EXPECT_EQ(t.NextToken(", "), "c");
  EXPECT_EQ(t.NextToken(", "), "");
  EXPECT_EQ(t.NextToken(", "), "");
}

TEST(TokenizerTest, AbsentDelimitersOrEmptyTextGiveEmptyTokens) {
  CTokenizer t("abc");
  EXPECT_EQ(t.NextToken(nullptr), "");
  EXPECT_EQ(t.NextToken(","), "abc");  // the absent set did not move the position
  CTokenizer empty("");
  EXPECT_EQ(empty.NextToken(","), "");
}

TEST(TokenizerTest, DelimitersMayChangeBetweenCalls) {
  CTokenizer t("a,b c,d");
  EXPECT_EQ(t.NextToken(" "), "a,b");
  EXPECT_EQ(t.NextToken(","), " c");  // the space is no delimiter now
  EXPECT_EQ(t.NextToken(","), "d");
}

TEST(TokenizerTest, ListCollectsTokensAndAnswersOutOfRangeWithEmpty) {
  CTokenizer t;
  EXPECT_EQ(t.Tokenize("10, 20,,30 40", ", "), 4u);
  EXPECT_EQ(t.Token(0), "10");
  EXPECT_EQ(t.Token(3), "40");
  EXPECT_EQ(t.Token(4), "");
  EXPECT_EQ(t.Token(-1), "");
  // A second list discards the first.
  EXPECT_EQ(t.Tokenize("x", ","), 1u);
  EXPECT_EQ(t.Token(1), "");
  EXPECT_EQ(t.Tokenize("x", nullptr), 0u);
  EXPECT_EQ(t.Tokenize(",,,", ","), 0u);
}

}  // namespace
}  // namespace lectern
