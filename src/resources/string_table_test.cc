#include "resources/string_table.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(StringTableTest, CommandStringsSplitIntoPromptAndTooltip) {
  EXPECT_EQ(CommandPrompt(3000), "Goto Previous Page");
  EXPECT_EQ(CommandTooltip(3000), "Go Back");
  EXPECT_EQ(CommandTooltip(3016), "Content Tree");
  EXPECT_EQ(CommandPrompt(kStrReady), "Ready");
  EXPECT_EQ(CommandTooltip(kStrReady), "");
  EXPECT_EQ(LoadString(12345), "");
}

TEST(StringTableTest, TableIsSortedSoEveryIdIsFound) {
  for (int id : {100, 3000, 3016, 32777, 57345, 57665, 61411, 61449, 61457, 62000, 62007})
    EXPECT_FALSE(LoadString(id).empty()) << id;
}

TEST(StringTableTest, FormattingFillsTheOnePlaceholder) {
  EXPECT_EQ(FormatString(LoadString(kStrPleaseVisit), "https://example.org"), "Please visit https://example.org");
  EXPECT_EQ(FormatString(LoadString(kStrOverwriteQuestion), "/tmp/a"), "/tmp/a already exists, overwrite it?");
  EXPECT_EQ(FormatString("no placeholder", "x"), "no placeholder");
}

}  // namespace
}  // namespace lectern
