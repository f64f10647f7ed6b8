#include "panes/query_words.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

using Words = std::vector<std::string>;

TEST(QueryWordsTest, PlainWordsSplitAtAnyWhitespace) {
  EXPECT_EQ(SplitQueryWords("alpha beta\tgamma\r\ndelta"), (Words{"alpha", "beta", "gamma", "delta"}));
  EXPECT_EQ(SplitQueryWords("  lead"), (Words{"lead"}));
  EXPECT_EQ(SplitQueryWords("MiXed"), (Words{"MiXed"}));  // case kept
  EXPECT_EQ(SplitQueryWords(""), Words{});
}

TEST(QueryWordsTest, PhrasesKeepSpacesAndInnerQuotes) {
  EXPECT_EQ(SplitQueryWords("word \"two words\""), (Words{"word", "two words"}));
  EXPECT_EQ(SplitQueryWords("\"a\"b c\" d"), (Words{"a\"b c", "d"}));
  EXPECT_EQ(SplitQueryWords("\"unclosed phrase"), (Words{"unclosed phrase"}));
  EXPECT_EQ(SplitQueryWords("x\"y"), (Words{"x\"y"}));  // a quote inside a plain word is a letter
}

TEST(QueryWordsTest, EmptyQuotesAreNoWord) {
  EXPECT_EQ(SplitQueryWords("\"\""), Words{});
  EXPECT_EQ(SplitQueryWords("\"\" a"), (Words{"a"}));
  EXPECT_EQ(SplitQueryWords("\""), Words{});
}

TEST(QueryWordsTest, TrailingWhitespaceGivesOneEmptyLastWord) {
  EXPECT_EQ(SplitQueryWords("foo "), (Words{"foo", ""}));
  EXPECT_EQ(SplitQueryWords("foo   \t"), (Words{"foo", ""}));
  EXPECT_EQ(SplitQueryWords("\"a b\" "), (Words{"a b", ""}));
  EXPECT_EQ(SplitQueryWords("   "), (Words{""}));
  EXPECT_EQ(SplitQueryWords("\"a b\""), (Words{"a b"}));
}

TEST(QueryWordsTest, SearchDropsEmptyWords) {
  EXPECT_EQ(SearchWords("foo "), (Words{"foo"}));
  EXPECT_EQ(SearchWords("   "), Words{});
  EXPECT_EQ(SearchWords("\"\"  \"\""), Words{});
  EXPECT_EQ(SearchWords("one \"two three\""), (Words{"one", "two three"}));
}

TEST(QueryWordsTest, NonAsciiBytesAreNotWhitespace) {
  // 0xA0 (a no-break space in 8-bit code pages) and UTF-8 letters belong to the word.
  EXPECT_EQ(SplitQueryWords("a\xA0" "b \xC3\xA9t\xC3\xA9"), (Words{"a\xA0" "b", "\xC3\xA9t\xC3\xA9"}));
}

}  // namespace
}  // namespace lectern
