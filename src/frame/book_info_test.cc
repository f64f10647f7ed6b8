#include "frame/book_info.h"

#include <gtest/gtest.h>

#include <map>

namespace lectern {
namespace {

SettingReader Settings(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view key) {
    auto it = values.find(std::string(key));
    return it == values.end() ? std::string() : it->second;
  };
}

std::string Datastore(std::string_view path) { return "file://c:/datastore/" + std::string(path); }

TEST(BookInfoTest, FieldsComeFromTheirSettings) {
  BookInfoTexts texts = ReadBookInfo(Settings({{"guid", "0123ABCD"},
                                               {"publisher", "Ada"},
                                               {"homepage", "example.org/books"},
                                               {"email", "ada@example.org"},
                                               {"creationdate", "2004-05-06"},
                                               {"other_info", "line one\nline two"},
                                               {"copyright", "(c) Ada"},
                                               {"bookname", "not used: the caption is"},
                                               {"default_about_dialog_background_image", "art/banner.gif"}}),
                                     "Shown Caption");
  EXPECT_EQ(texts.name, "Shown Caption");
  EXPECT_EQ(texts.id, "0123ABCD");
  EXPECT_EQ(texts.author, "Ada");
  EXPECT_EQ(texts.home, "http://example.org/books");
  EXPECT_EQ(texts.email, "mailto:ada@example.org");
  EXPECT_EQ(texts.date, "2004-05-06");
  EXPECT_EQ(texts.other_info, "line one\nline two");
  EXPECT_EQ(texts.copyright, "(c) Ada");
  EXPECT_EQ(texts.banner_image, "art/banner.gif");
}

TEST(BookInfoTest, EmptySettingsLeaveEmptyFieldsButTheVersionLine) {
  BookInfoTexts texts = ReadBookInfo(Settings({}), "Lectern");
  EXPECT_EQ(texts.home, "") << "no link is made up for a missing home page";
  EXPECT_EQ(texts.email, "");
  EXPECT_EQ(texts.id, "");
  EXPECT_EQ(texts.banner_image, "");
  EXPECT_EQ(texts.copyright, "Version 1.75");
}

TEST(BookInfoTest, LinkSchemesAreAddedOnlyWhenMissing) {
  EXPECT_EQ(HomeLink("http://a.example"), "http://a.example");
  EXPECT_EQ(HomeLink("HTTP://A.example"), "HTTP://A.example") << "any letter case";
  EXPECT_EQ(HomeLink("Http://a"), "Http://a");
  EXPECT_EQ(HomeLink("https://a.example"), "https://a.example") << "a secure address is complete too";
  EXPECT_EQ(HomeLink("HTTPS://a"), "HTTPS://a");
  EXPECT_EQ(HomeLink("https:/a"), "http://https:/a") << "not a whole scheme";
  EXPECT_EQ(HomeLink("www.a.example"), "http://www.a.example");
  EXPECT_EQ(HomeLink("http:/"), "http://http:/") << "shorter than the prefix";
  EXPECT_EQ(MailLink("mailto:x@y"), "mailto:x@y");
  EXPECT_EQ(MailLink("MailTo:x@y"), "MailTo:x@y");
  EXPECT_EQ(MailLink("x@y"), "mailto:x@y");
  EXPECT_EQ(MailLink(""), "");
}

TEST(BookInfoTest, ExactlyTrueOrNoAboutPageChoosesTheBuiltInDialog) {
  const std::pair<std::string, std::string> page{"about_dlg_contentfile", "about.html"};
  EXPECT_TRUE(UsesBuiltInInfoDialog(Settings({{"about_dlg_sys", "true"}, page})));
  EXPECT_FALSE(UsesBuiltInInfoDialog(Settings({{"about_dlg_sys", "TRUE"}, page})));
  EXPECT_FALSE(UsesBuiltInInfoDialog(Settings({{"about_dlg_sys", ""}, page})));
  EXPECT_FALSE(UsesBuiltInInfoDialog(Settings({page})));
  // Without a page of its own the book still has its information to show.
  EXPECT_TRUE(UsesBuiltInInfoDialog(Settings({{"about_dlg_sys", "false"}})));
  EXPECT_TRUE(UsesBuiltInInfoDialog(Settings({})));
}

TEST(BookInfoTest, AboutPageUrlAndSize) {
  AboutPage page = ReadAboutPage(Settings({{"about_dlg_contentfile", "about/us.htm"}, {"about_dlg_cx", "520"},
                                           {"about_dlg_cy", " 310px"}}),
                                 false, Datastore);
  EXPECT_EQ(page.url, "file://c:/datastore/about/us.htm");
  EXPECT_EQ(page.width, 520);
  EXPECT_EQ(page.height, 310);

  EXPECT_EQ(ReadAboutPage(Settings({{"about_dlg_contentfile", "https://a.example/x"}}), false, Datastore).url,
            "https://a.example/x")
      << "a URL is used as it is";
  EXPECT_EQ(ReadAboutPage(Settings({{"about_dlg_contentfile", "about.htm"}}), true, Datastore, "/books/guide").url,
            "file:///books/guide/about.htm");
  EXPECT_EQ(ReadAboutPage(Settings({{"about_dlg_contentfile", "/abs/about.htm"}}), true, Datastore, "/books").url,
            "file:///abs/about.htm");
  EXPECT_EQ(ReadAboutPage(Settings({{"about_dlg_contentfile", "about.htm"}}), true, Datastore).url, "file://about.htm");

  AboutPage blank = ReadAboutPage(Settings({{"about_dlg_cx", "x"}, {"about_dlg_cy", "-5"}}), false, Datastore);
  EXPECT_EQ(blank.url, "");
  EXPECT_EQ(blank.width, 0);
  EXPECT_EQ(blank.height, -5);
}

}  // namespace
}  // namespace lectern
