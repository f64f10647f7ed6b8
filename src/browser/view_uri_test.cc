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

TEST(ViewUriTest, MalformedEscapesStayAsWritten) {
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
  EXPECT_EQ(PercentDecode("%00"), std::string(1, '\0'));
}

}  // namespace
}  // namespace lectern
