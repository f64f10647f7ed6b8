#include "panes/html_title.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(HtmlTitleTest, LowerOrUpperCaseTagsOnly) {
  std::string title;
  EXPECT_EQ(FindHtmlTitle("<html><title> Hello &amp; </title>", title), 13u);
  EXPECT_EQ(title, " Hello &amp; ");
  EXPECT_EQ(FindHtmlTitle("<TITLE>Upper</TITLE>", title), 5u);
  EXPECT_EQ(title, "Upper");
  EXPECT_EQ(FindHtmlTitle("<title>Mixed</TITLE>", title), 5u);  // each tag in either spelling
  EXPECT_EQ(FindHtmlTitle("<Title>Mixed</Title>", title), 0u);
  EXPECT_EQ(title, "");
}

TEST(HtmlTitleTest, MissingEmptyOrCutTitles) {
  std::string title = "stale";
  EXPECT_EQ(FindHtmlTitle("<title></title>", title), 0u);
  EXPECT_EQ(title, "");
  EXPECT_EQ(FindHtmlTitle("<title>never closed", title), 0u);
  EXPECT_EQ(FindHtmlTitle("</title><title>", title), 0u);
  EXPECT_EQ(FindHtmlTitle(std::string_view("<title>a\0b</title>", 18), title), 0u);  // reading stops at zero
  EXPECT_EQ(FindHtmlTitle("", title), 0u);
}

TEST(HtmlTitleTest, WideForm) {
  std::string title;
  EXPECT_EQ(FindHtmlTitle(WideStringView(OLESTR("\uFEFF<TITLE>\u0416ar</TITLE>")), title), 3u);
  EXPECT_EQ(title, "\xD0\x96" "ar");
}

}  // namespace
}  // namespace lectern
