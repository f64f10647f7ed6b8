#include "panes/hit_snippet.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(HitSnippetTest, MarkupHeadScriptsAndCommentsGoReferencesResolve) {
  EXPECT_EQ(PageTextWithoutMarkup("<html><head><title>T</title><style>p{}</style></head><body>\n"
                                  "<p>One&nbsp;&amp; <b>two</b></p><!-- <p>hidden</p> -->"
                                  "<script>var x = '<p>';</script>three&#233;&#x41;&bogus; &lt;tag&gt;</body>"),
            "One & two threeéA&bogus; <tag>");
  EXPECT_EQ(PageTextWithoutMarkup("text <unclosed tag and more"), "text");
  EXPECT_EQ(PageTextWithoutMarkup("<header>kept</header>"), "kept") << "not the head";
  EXPECT_EQ(PageTextWithoutMarkup("&#0;&#xD800;&#99999999;"), "&#0;&#xD800;&#99999999;");
}

TEST(HitSnippetTest, TextAroundTheFirstWordFoundInAnyCase) {
  std::string page = "<title>Title</title><body>";
  for (int i = 0; i < 30; ++i) page += "filler" + std::to_string(i) + " ";
  page += "the PACKAGE repository here";
  for (int i = 0; i < 30; ++i) page += " tail" + std::to_string(i);
  std::string snippet = HitSnippet(page, {"repository", "package"}, 60);
  EXPECT_NE(snippet.find("PACKAGE repository"), std::string::npos) << snippet;
  EXPECT_EQ(snippet.rfind("…", 0), 0u) << snippet;
  EXPECT_EQ(snippet.substr(snippet.size() - 3), "…") << snippet;
  EXPECT_LE(snippet.size(), 60u + 6);
  EXPECT_EQ(snippet.find("filler0 "), std::string::npos);

  // Found only in markup: the page's first words.
  EXPECT_EQ(HitSnippet("<div class=\"section\">Plain words</div>", {"section"}), "Plain words");
  EXPECT_EQ(HitSnippet("<p></p>", {"p"}), "");
}

TEST(HitSnippetTest, OtherEncodingsAreShownAsUtf8AndCutsKeepCharacters) {
  std::string wide = "\xFF\xFE";
  for (char c : std::string("<p>Wide text</p>")) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  EXPECT_EQ(HitSnippet(wide, {"text"}), "Wide text");
  EXPECT_EQ(HitSnippet("<meta charset=\"iso-8859-1\"><p>caf\xE9 cr\xE8me</p>", {"CRÈME"}), "café crème");
  std::string greek;
  for (int i = 0; i < 100; ++i) greek += "αβγ ";
  greek += "δέλτα";
  std::string snippet = HitSnippet(greek, {"ΔΈΛΤΑ"}, 40);
  EXPECT_NE(snippet.find("δέλτα"), std::string::npos) << snippet;
  // Bytes that are not UTF-8 never stretch the line.
  std::string stray = "w" + std::string(200, '\xB7') + " needle " + std::string(200, '\xB7');
  EXPECT_LE(HitSnippet(stray, {"needle"}, 40).size(), 40u + 3 + 3 + 6);
  // Every cut falls between characters.
  for (size_t width = 1; width < 50; ++width) {
    std::string cut = HitSnippet(greek, {"δέλτα"}, width);
    EXPECT_TRUE(cut.empty() || (uint8_t(cut.back()) & 0xC0) != 0xC0) << width;
  }
}

}  // namespace
}  // namespace lectern
