#include "book/xml/parse_xml.h"

#include <gtest/gtest.h>

#include "book/xml/parser.h"

namespace lectern {
namespace {

TEST(ParseXmlTest, SuccessCarriesTheDocumentAndNoError) {
  XmlParseResult result = ParseXml("<book><toc><item text='Start' url='index.htm'/></toc></book>");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.error_code, 0u);
  EXPECT_TRUE(result.description.empty());
  const auto* toc = result.document->GetRoot()->FindElement("toc");
  ASSERT_NE(toc, nullptr);
  EXPECT_EQ(toc->FindElement("item")->FindAttribute("url").GetText(), "index.htm");
}

TEST(ParseXmlTest, FailuresAreValuesWithPositionAndSentence) {
  XmlParseResult result = ParseXml("<book>\n  <toc>\n  </book>");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.document, nullptr);
  EXPECT_EQ(result.error_code, AdvXMLParser::kErrorMismatchedEndTag);
  EXPECT_EQ(result.line, 3u);
  EXPECT_EQ(result.column, 5u);
  EXPECT_EQ(result.description, "an end tag's name differs from its element's");

  XmlParseResult unresolved = ParseXml("<a>&apos;&nbsp;</a>");
  EXPECT_EQ(unresolved.error_code, AdvXMLParser::kErrorUnresolvedEntity);
  EXPECT_EQ(unresolved.column, 10u);
  EXPECT_NE(unresolved.description.find("nbsp"), std::string::npos);
}

TEST(ParseXmlTest, HostileInputNeverThrows) {
  const std::string inputs[] = {
      "",
      "\xEF\xBB\xBF",
      std::string("\xFF\xFE<\0a\0/\0", 8),
      std::string("\xFE\xFF\0<\xD8", 5),
      "<?xml version='1.0' encoding='no-such-encoding'?><a/>",
      std::string(100000, '<'),
      std::string(100000, '&'),
      "<a>" + std::string(100000, ']') + ">",
      "<!DOCTYPE a [" + std::string(50000, '%'),
      "<a " + std::string(50000, 'b') + "=",
      "<a>&#x" + std::string(1000, 'F') + ";</a>",
      "<?xml version='1.0' encoding='" + std::string(10000, 'x'),
  };
  for (const std::string& input : inputs) {
    XmlParseResult result = ParseXml(input);
    EXPECT_FALSE(result.ok()) << input.substr(0, 40);
    EXPECT_GE(result.error_code, 1u);
    EXPECT_LE(result.error_code, 45u);
    EXPECT_GE(result.line, 1u);
    EXPECT_GE(result.column, 1u);
    EXPECT_FALSE(result.description.empty());
  }
  // Bytes that are not UTF-8 pass through text untouched.
  XmlParseResult bytes = ParseXml("<a>\x80\xFF\xC3</a>\x00junk");
  EXPECT_TRUE(bytes.ok());
}

}  // namespace
}  // namespace lectern
