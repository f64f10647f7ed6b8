#include "browser/view_uri.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(ViewUriTest, DatastoreUrlsMapToTheSchemeAndBack) {
  EXPECT_EQ(ToViewUri("file://c:/datastore/index.htm"), "lectern://datastore/index.htm");
  EXPECT_EQ(ToViewUri("FILE:///C:/DataStore\\docs\\a b.htm"), "lectern://datastore/docs/a%20b.htm");
  EXPECT_EQ(ToViewUri("file://c:/datastore"), "lectern://datastore/");
  EXPECT_EQ(ToViewUri("file://c:/datastore/\xC3\xBC.htm"), "lectern://datastore/%C3%BC.htm");
  EXPECT_EQ(ToViewUri("https://example.org/"), "https://example.org/");
  EXPECT_EQ(ToViewUri("file:///home/me/book/index.htm"), "file:///home/me/book/index.htm");

  EXPECT_EQ(FromViewUri("lectern://datastore/docs/a%20b.htm"), "file://c:/datastore/docs/a%20b.htm");
  EXPECT_EQ(FromViewUri("lectern://datastore"), "file://c:/datastore/");
  EXPECT_EQ(FromViewUri("about:blank"), "about:blank");
}

TEST(ViewUriTest, EveryDatastoreFormMapsToTheScheme) {
  for (std::string_view form : {"file://c:/datastore/pic.png", "file:///c:/datastore/pic.png", "c:\\datastore\\pic.png",
                                "C:/DataStore/pic.png", "c:%5Cdatastore%5Cpic.png", "c:%5cdatastore\\pic.png",
                                "file:///c:%5Cdatastore%5Cpic.png"}) {
    EXPECT_EQ(ToViewUri(form), "lectern://datastore/pic.png") << form;
  }
  EXPECT_EQ(ToViewUri("c:\\datastore\\sub dir\\p.htm?q=1#x"), "lectern://datastore/sub%20dir/p.htm?q=1#x");
  EXPECT_EQ(ToViewUri("c:\\datastore"), "lectern://datastore/");
  for (std::string_view other : {"c:\\datastorex\\a", "c:\\data\\a", "d:\\datastore\\a", "c:datastore\\a",
                                 "file:///c:/windows/x", "c:", ""}) {
    EXPECT_EQ(ToViewUri(other), other) << "not a datastore form: " << other;
  }
}

TEST(ViewUriTest, BookPathsAreDecodedWithoutQueryOrFragment) {
  EXPECT_EQ(ViewUriToBookPath("lectern://datastore/b%C3%BC.htm?x=1#top"), "/b\xC3\xBC.htm");
  EXPECT_EQ(ViewUriToBookPath("lectern://datastore/a%20b/c.css"), "/a b/c.css");
  EXPECT_EQ(ViewUriToBookPath("lectern://datastore"), "/");
  EXPECT_EQ(ViewUriToBookPath("https://example.org/x"), "");
}

TEST(ViewUriTest, StatusTextShowsTheBookPath) {
  EXPECT_EQ(StatusTextForLink("lectern://datastore/toc.htm"), "/toc.htm");
  EXPECT_EQ(StatusTextForLink("https://example.org/"), "https://example.org/");
  EXPECT_EQ(StatusTextForLink(""), "");
}

TEST(ViewUriTest, OnePageWhateverItsForm) {
  std::string key = SamePageKey("file://c:/datastore/pages/%C3%BCber blick.html");
  EXPECT_EQ(SamePageKey("file:///C:/DataStore/pages/\xC3\xBC" "ber%20blick.html#top"), key);
  EXPECT_EQ(SamePageKey("file://c:\\datastore\\pages\\\xC3\xBC" "ber blick.html?x=1"), key);
  EXPECT_NE(SamePageKey("file://c:/datastore/pages/other.html"), key);
  EXPECT_EQ(SamePageKey(""), "");
}

TEST(ViewUriTest, MalformedEscapesStayAsWritten) {
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
  EXPECT_EQ(PercentDecode("%00"), std::string(1, '\0'));
}

TEST(ViewUriTest, OnlyTheBooksOwnDocumentsAreTrusted) {
  EXPECT_TRUE(IsBookDocumentUri("lectern://datastore/index.htm", ""));
  EXPECT_TRUE(IsBookDocumentUri("LECTERN://datastore", ""));
  EXPECT_TRUE(IsBookDocumentUri("lectern://datastore/a.htm?x=1#top", ""));
  EXPECT_TRUE(IsBookDocumentUri("lectern://book/", ""));
  EXPECT_FALSE(IsBookDocumentUri("lecterns://datastore/index.htm", ""));
  EXPECT_FALSE(IsBookDocumentUri("http://127.0.0.1:8080/lectern://datastore/", ""));
  EXPECT_FALSE(IsBookDocumentUri("https://example.org/", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("about:blank", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("data:text/html,<p>x", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("", ""));

  // Preview Mode: files of the book folder, and nothing beside or above it.
  EXPECT_TRUE(IsBookDocumentUri("file:///books/guide/index.htm", "/books/guide"));
  EXPECT_TRUE(IsBookDocumentUri("file:///books/guide/docs/a%20b.htm#x", "/books/guide/"));
  EXPECT_TRUE(IsBookDocumentUri("file://localhost/books/guide/index.htm", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file:///books/guide/index.htm", ""));
  EXPECT_FALSE(IsBookDocumentUri("file:///books/guide2/index.htm", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file:///books/guide", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file:///books/guide/../secret.htm", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file:///books/guide/%2e%2e/secret.htm", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file://other-host/books/guide/index.htm", "/books/guide"));
  EXPECT_FALSE(IsBookDocumentUri("file:///tmp/index.htm", "relative/guide"));
}

}  // namespace
}  // namespace lectern
