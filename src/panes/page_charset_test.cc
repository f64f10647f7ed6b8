#include "panes/page_charset.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(PageCharsetTest, FindsTheDeclarationInEitherMetaForm) {
  EXPECT_EQ(DeclaredLegacyCharset("<html><head><meta charset=\"windows-1252\"></head>"), "WINDOWS-1252");
  EXPECT_EQ(DeclaredLegacyCharset("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">"),
            "CP932");
  EXPECT_EQ(DeclaredLegacyCharset("<meta http-equiv=content-type content='text/html;charset = gb2312'>"), "GBK");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=ISO-8859-1>"), "WINDOWS-1252");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=iso-8859-15>"), "ISO-8859-15");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=big5>"), "BIG5");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=euc-jp>"), "EUC-JP");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=EUC-KR>"), "CP949");
}

TEST(PageCharsetTest, IgnoresUtf8UnknownLateAndMalformedDeclarations) {
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=\"utf-8\">"), "");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=\"koi8-r\">"), "");
  EXPECT_EQ(DeclaredLegacyCharset("<p>charset=gbk</p>"), "");
  EXPECT_EQ(DeclaredLegacyCharset("<meta name=x><meta charset"), "");
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=\"gbk"), "GBK");  // cut-off tag at the end of the text
  EXPECT_EQ(DeclaredLegacyCharset(std::string(9000, ' ') + "<meta charset=gbk>"), "");
  // The first declaration decides.
  EXPECT_EQ(DeclaredLegacyCharset("<meta charset=utf-8><meta charset=gbk>"), "");
  EXPECT_EQ(DeclaredLegacyCharset(""), "");
}

}  // namespace
}  // namespace lectern
