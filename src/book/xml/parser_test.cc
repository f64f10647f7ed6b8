#include "book/xml/parser.h"

#include <gtest/gtest.h>

#include <string>

namespace lectern::AdvXMLParser {
namespace {

std::unique_ptr<Document> MustParse(std::string_view text) {
  Parser parser;
  try {
    return parser.Parse(text.data(), text.size());
  } catch (const ParsingException& e) {
    ADD_FAILURE() << "code " << e.code() << " at " << e.line() << ":" << e.column() << ": " << e.what()
                  << "\nin: " << text;
    return nullptr;
  }
}

struct Failure {
  uint32_t code = 0, line = 0, column = 0;
  bool operator==(const Failure&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Failure& f) {
  return os << "code " << f.code << " at " << f.line << ":" << f.column;
}

Failure FailureOf(std::string_view text) {
  Parser parser;
  try {
    parser.Parse(text.data(), text.size());
  } catch (const ParsingException& e) {
    return {e.code(), e.line(), e.column()};
  }
  return {};
}

uint32_t CodeOf(std::string_view text) { return FailureOf(text).code; }

const Element& Root(const Document& doc) {
  const Element* root = doc.GetRoot();
  EXPECT_NE(root, nullptr);
  static const Element none("none");
  return root ? *root : none;
}

TEST(ParserTest, EmptyElementDocument) {
  auto doc = MustParse("<book/>");
  ASSERT_TRUE(doc);
  ASSERT_EQ(doc->GetChildCount(), 1u);
  EXPECT_EQ(Root(*doc).GetName(), "book");
  EXPECT_EQ(Root(*doc).GetChildCount(), 0u);
  EXPECT_FALSE(doc->has_declaration);
}

TEST(ParserTest, TreeShapeAndNodeKinds) {
  auto doc = MustParse(
      "<?xml version='1.0' encoding=\"UTF-8\" standalone='yes'?>\n"
      "<!-- before --><?app run?>\n"
      "<book id='b1'><toc><item text=\"Start\" url=\"index.htm\"/></toc>"
      "text<![CDATA[<raw> & ]]]]><?pi data here?><!-- inside -->&#65;&#x42;&amp;</book>"
      "<!-- after -->");
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->has_declaration);
  EXPECT_EQ(doc->version, "1.0");
  EXPECT_EQ(doc->encoding, "UTF-8");
  EXPECT_TRUE(doc->has_standalone);
  EXPECT_TRUE(doc->standalone);
  ASSERT_EQ(doc->GetChildCount(), 4u);
  EXPECT_TRUE(doc->GetChild(0)->IsKindOf(kComment));
  EXPECT_EQ(doc->GetChild(0)->GetValue(), " before ");
  EXPECT_TRUE(doc->GetChild(1)->IsKindOf(kPi));
  EXPECT_EQ(doc->GetChild(1)->GetName(), "app");
  EXPECT_EQ(doc->GetChild(1)->GetValue(), "run");
  EXPECT_TRUE(doc->GetChild(3)->IsKindOf(kComment));

  const Element& book = Root(*doc);
  EXPECT_EQ(book.FindAttribute("id").GetText(), "b1");
  const Element* toc = book.FindElement("toc");
  ASSERT_NE(toc, nullptr);
  const Element* item = toc->FindElement("item");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->FindAttribute("text").GetText(), "Start");
  EXPECT_EQ(item->FindAttribute("url").GetText(), "index.htm");

  const int kinds[] = {kElement, kText, kCData, kPi, kComment, kReference, kReference, kReference};
  ASSERT_EQ(book.GetChildCount(), std::size(kinds));
  for (size_t i = 0; i < std::size(kinds); ++i) EXPECT_TRUE(book.GetChild(i)->IsKindOf(kinds[i])) << i;
  EXPECT_EQ(book.GetChild(2)->GetValue(), "<raw> & ]]");
  EXPECT_EQ(book.GetChild(3)->GetName(), "pi");
  EXPECT_EQ(book.GetChild(3)->GetValue(), "data here");
  EXPECT_EQ(book.GetChild(5)->GetValue(), "A");
  EXPECT_EQ(book.GetChild(6)->GetValue(), "B");
  EXPECT_EQ(book.GetChild(7)->GetName(), "amp");
  EXPECT_EQ(book.GetChild(7)->GetValue(), "&");
  EXPECT_EQ(book.GetChild(1)->GetParent(), static_cast<const NodeContainer*>(&book));
}

TEST(ParserTest, ReferencesResolveInContentAndAttributes) {
  auto doc = MustParse("<a t='&lt;&gt;&amp;&quot;&apos;&#38;&#x26;'>x &amp; y</a>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetText(), "x & y");
  const Attribute& t = Root(*doc).FindAttribute("t");
  EXPECT_EQ(t.GetText(), "<>&\"'&&");
  EXPECT_EQ(t.GetChildCount(), 7u);

  // Character references beyond 8 bits come out as UTF-8.
  auto wide = MustParse("<a>&#233;&#x4E2D;&#x1F600;</a>");
  ASSERT_TRUE(wide);
  EXPECT_EQ(Root(*wide).GetText(), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

TEST(ParserTest, DeclaredEntities) {
  auto doc = MustParse(
      "<!DOCTYPE book [\n"
      "  <!ENTITY name 'Lectern'>\n"
      "  <!ENTITY full \"&name; reader &#38;amp; more\">\n"
      "  <!ENTITY name 'ignored: the first declaration binds'>\n"
      "  <!ENTITY ext SYSTEM 'chapter.xml'>\n"
      "  <!ENTITY pic SYSTEM 'pic.gif' NDATA gif>\n"
      "  <!ENTITY % pe 'x'>\n"
      "]>\n"
      "<book title='&full;'>&full;|&ext;|</book>");
  ASSERT_TRUE(doc);
  const Element& book = Root(*doc);
  EXPECT_EQ(book.FindAttribute("title").GetText(), "Lectern reader & more");
  EXPECT_EQ(book.GetText(), "Lectern reader & more||");
  ASSERT_EQ(doc->doctype.entities.count("ext"), 1u);
  EXPECT_TRUE(doc->doctype.entities.at("ext").external);
  EXPECT_EQ(doc->doctype.entities.at("ext").system_id, "chapter.xml");
  EXPECT_EQ(doc->doctype.entities.at("pic").notation, "gif");
  EXPECT_EQ(doc->doctype.entities.count("pe"), 0u);
  EXPECT_EQ(doc->doctype.name, "book");

  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e SYSTEM 'x'>]><a b='&e;'/>"), kErrorUnresolvedEntity)
      << "external entity in an attribute";
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e SYSTEM 'x' NDATA n>]><a>&e;</a>"), kErrorUnresolvedEntity)
      << "unparsed entity";
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e '&f;'><!ENTITY f '&e;'>]><a>&e;</a>"), kErrorUnresolvedEntity)
      << "recursion";
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e '&undeclared;'>]><a>&e;</a>"), kErrorUnresolvedEntity);
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e '<b/>'>]><a x='&e;'/>"), kErrorLessThanInAttribute);
  EXPECT_TRUE(MustParse("<!DOCTYPE a [<!ENTITY e '&lt;b/>'>]><a x='&e;'/>")) << "'<' from a reference is data";
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e 'a%b;'>]><a/>"), kErrorBadEntityDecl);
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e 'a&b'>]><a/>"), kErrorBadReference);
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e 'unterminated>]><a/>"), kErrorEndInMarkup);
  // An entity whose text holds a reference in the making: "&#38;" yields '&' and then "&;" fails.
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ENTITY e '&#38;;'>]><a>&e;</a>"), kErrorBadReference);
}

TEST(ParserTest, EntityExpansionIsBounded) {
  std::string bomb = "<!DOCTYPE a [<!ENTITY e0 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'>";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "'>";
  }
  bomb += "]><a>&e12;</a>";
  Failure f = FailureOf(bomb);
  EXPECT_EQ(f.code, kErrorUnresolvedEntity);

  // Many uses of a modest entity add up against the same limit.
  Parser small;
  small.set_expansion_limit(1000);
  std::string many = "<!DOCTYPE a [<!ENTITY e '0123456789'>]><a>";
  for (int i = 0; i < 101; ++i) many += "&e;";
  many += "</a>";
  EXPECT_THROW(small.Parse(many.data(), many.size()), InvalidRefException);

  // A long chain of entities fails cleanly instead of recursing deeply.
  std::string chain = "<!DOCTYPE a [<!ENTITY e0 'end'>";
  for (int i = 1; i <= 5000; ++i)
    chain += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";'>";
  chain += "]><a>&e5000;</a>";
  EXPECT_EQ(CodeOf(chain), kErrorUnresolvedEntity);
}

TEST(ParserTest, InvalidRefExceptionNamesTheEntity) {
  Parser parser;
  std::string text = "<a>\n  &nothing;</a>";
  try {
    parser.Parse(text.data(), text.size());
    FAIL() << "parsed";
  } catch (const InvalidRefException& e) {
    EXPECT_EQ(e.name(), "nothing");
    EXPECT_EQ(e.code(), kErrorUnresolvedEntity);
    EXPECT_EQ(e.line(), 2u);
    EXPECT_EQ(e.column(), 3u);
  }
}

TEST(ParserTest, LineEndingsAreReadAsLineFeeds) {
  auto doc = MustParse("<a x='1\r\n2\r3'>one\r\ntwo\rthree<!--c\r\n--><![CDATA[d\r\n]]></a>");
  ASSERT_TRUE(doc);
  const Element& a = Root(*doc);
  EXPECT_EQ(a.FindAttribute("x").GetText(), "1\n2\n3");
  EXPECT_EQ(a.GetChild(0)->GetValue(), "one\ntwo\nthree");
  EXPECT_EQ(a.GetChild(1)->GetValue(), "c\n");
  EXPECT_EQ(a.GetChild(2)->GetValue(), "d\n");
  // CR LF counts one line.
  EXPECT_EQ(FailureOf("<a>\r\n\r\n&bad;</a>"), (Failure{kErrorUnresolvedEntity, 3, 1}));
  EXPECT_EQ(FailureOf("<a>\r\r&bad;</a>"), (Failure{kErrorUnresolvedEntity, 3, 1}));
}

TEST(ParserTest, NulEndsTheInput) {
  std::string text("<a/>\0garbage", 12);
  EXPECT_TRUE(MustParse(text));
  EXPECT_EQ(CodeOf(std::string("<a>\0</a>", 8)), kErrorEndInLiteral);
  Parser parser;
  EXPECT_THROW(parser.Parse(nullptr, 0), ParsingException);
}

TEST(ParserTest, ByteOrderMarkAndNames) {
  EXPECT_TRUE(MustParse("\xEF\xBB\xBF<a/>"));
  EXPECT_TRUE(MustParse("\xEF\xBB\xBF<?xml version='1.0'?><a/>"));
  EXPECT_EQ(FailureOf("\xEF\xBB\xBF"), (Failure{kErrorNoRootElement, 1, 4}));
  // UTF-8 letters, 8-bit letters, and the start characters '_' and ':'.
  auto doc = MustParse("<\xC3\xA9l\xC3\xA8ve _x='1' :y='2' a.b-c\xC2\xB7='3'>\xE9t\xE9</\xC3\xA9l\xC3\xA8ve>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetName(), "\xC3\xA9l\xC3\xA8ve");
  EXPECT_EQ(Root(*doc).GetText(), "\xE9t\xE9");
  EXPECT_TRUE(MustParse("<\xE9l\xE8ve/>")) << "single-byte letters";
  EXPECT_EQ(CodeOf("<\xC3\x97/>"), kErrorTagWithoutName) << "U+00D7 is not a name start";
  EXPECT_EQ(CodeOf("<1a/>"), kErrorTagWithoutName);
  EXPECT_EQ(CodeOf("<-a/>"), kErrorTagWithoutName);
}

TEST(ParserTest, XmlDeclaration) {
  EXPECT_TRUE(MustParse("<?xml version=\"1.0\"?><a/>"));
  EXPECT_TRUE(MustParse("<?xml version = '1.1' encoding = 'ISO-8859-1' standalone = 'no' ?><a/>"));
  EXPECT_EQ(FailureOf("<?xml?><a/>"), (Failure{kErrorBadVersion, 1, 6}));
  EXPECT_EQ(CodeOf("<?xml encoding='UTF-8'?><a/>"), kErrorBadVersion);
  EXPECT_EQ(CodeOf("<?xml version=1.0?><a/>"), kErrorBadVersion);
  EXPECT_EQ(CodeOf("<?xml version='2.0'?><a/>"), kErrorBadVersion);
  EXPECT_EQ(CodeOf("<?xml version='1.'?><a/>"), kErrorBadVersion);
  EXPECT_EQ(CodeOf("<?xml version'1.0'?><a/>"), kErrorMissingEquals);
  EXPECT_EQ(CodeOf("<?xml version='1.0'><a/>"), kErrorDeclarationNotClosed);
  EXPECT_EQ(CodeOf("<?xml version='1.0' other='x'?><a/>"), kErrorDeclarationNotClosed);
  EXPECT_EQ(CodeOf("<?xml version='1.0'encoding='UTF-8'?><a/>"), kErrorDeclarationNotClosed);
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding=UTF-8?><a/>"), kErrorEncodingNotQuoted);
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='8BIT'?><a/>"), kErrorBadEncoding);
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='UTF 8'?><a/>"), kErrorBadEncoding);
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='UTF-8?><a/>"), kErrorBadEncoding);
  EXPECT_EQ(CodeOf("<?xml version='1.0' standalone=yes?><a/>"), kErrorStandaloneNotQuoted);
  EXPECT_EQ(CodeOf("<?xml version='1.0' standalone='YES'?><a/>"), kErrorBadStandalone);
  EXPECT_EQ(CodeOf("<?xml version='1.0' standalone='yes?><a/>"), kErrorBadStandalone);
  EXPECT_EQ(CodeOf(" <?xml version='1.0'?><a/>"), kErrorReservedPiTarget) << "the declaration must come first";
  EXPECT_EQ(CodeOf("<a/><?xml version='1.0'?>"), kErrorReservedPiTarget);
}

std::string Utf16(std::string_view ascii_or_latin1, bool big_endian, bool mark) {
  std::string out = mark ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : ascii_or_latin1) {
    char units[2] = {c, '\0'};
    if (big_endian) std::swap(units[0], units[1]);
    out.append(units, 2);
  }
  return out;
}

TEST(ParserTest, DeclaredEncodingsAreReadIntoUtf8) {
  auto doc = MustParse("<?xml version='1.0' encoding='windows-1252'?><t a='\xE9'>caf\xE9 \x80</t>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetText(), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Root(*doc).FindAttribute("a").GetText(), "\xC3\xA9");
  EXPECT_EQ(doc->encoding, "windows-1252");
  // Names in the converted text are names: 'é' starts one.
  doc = MustParse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><\xE9l\xE9ment/>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetName(), "\xC3\xA9l\xC3\xA9ment");
  doc = MustParse("<?xml version='1.0' encoding='Shift_JIS'?><t>\x83\x65\x83\x4C\x83\x58\x83\x67</t>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetText(), "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88");
  // UTF-8, ASCII and no declaration read the bytes as they are.
  for (const char* text : {"<?xml version='1.0' encoding='utf-8'?><t>\xE9</t>", "<?xml version='1.0'?><t>\xE9</t>",
                           "<?xml version='1.0' encoding='US-ASCII'?><t>\xE9</t>", "<t>\xE9</t>"}) {
    doc = MustParse(text);
    ASSERT_TRUE(doc);
    EXPECT_EQ(Root(*doc).GetText(), "\xE9") << text;
  }
  // The tree is written back as UTF-8, and says so.
  doc = MustParse("<?xml version='1.0' encoding='ISO-8859-15'?><t>\xA4</t>");
  ASSERT_TRUE(doc);
  std::string written;
  doc->Generate(written);
  EXPECT_NE(written.find("encoding=\"UTF-8\""), std::string::npos) << written;
  EXPECT_NE(written.find("<t>\xE2\x82\xAC</t>"), std::string::npos) << written;
}

TEST(ParserTest, Utf16And32AreToldByTheirMarkOrFirstCharacters) {
  const std::string text = "<?xml version='1.0' encoding='UTF-16'?><t>caf\xE9</t>";
  for (bool big : {false, true}) {
    for (bool mark : {false, true}) {
      SCOPED_TRACE(std::string(big ? "big" : "little") + (mark ? " with mark" : ""));
      std::string bytes = Utf16(text, big, mark);
      auto doc = MustParse(bytes);
      ASSERT_TRUE(doc);
      EXPECT_EQ(Root(*doc).GetText(), "caf\xC3\xA9");
    }
  }
  std::string utf32("\xFF\xFE\x00\x00", 4);
  for (char c : std::string_view("<t>\xE9</t>")) utf32 += std::string(1, c) + std::string(3, '\0');
  auto doc = MustParse(utf32);
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetText(), "\xC3\xA9");
  // A NUL character ends a converted document as a NUL byte ends an 8-bit one.
  doc = MustParse(Utf16("<t/>", false, true) + std::string(2, '\0') + Utf16("junk", false, false));
  ASSERT_TRUE(doc);
  // Errors point into the converted text.
  EXPECT_EQ(FailureOf(Utf16("<t>\n<u></t>", false, true)), (Failure{kErrorMismatchedEndTag, 2, 6}));
}

TEST(ParserTest, CharactersXmlNeverAllowsAreRefusedWhereTheyStand) {
  EXPECT_EQ(FailureOf("<a>\n x\x01</a>"), (Failure{kErrorForbiddenCharacter, 2, 3}));
  EXPECT_EQ(CodeOf("<a b='\x1F'/>"), kErrorForbiddenCharacter);
  EXPECT_EQ(CodeOf("<a><![CDATA[\xEF\xBF\xBF]]></a>"), kErrorForbiddenCharacter);
  EXPECT_EQ(CodeOf(Utf16("<a>\x0B</a>", false, true)), kErrorForbiddenCharacter);
  EXPECT_TRUE(MustParse("<a>\t\r\n\x7F\xC2\x85\xEF\xBF\xBD</a>"));
}

TEST(ParserTest, AnUnknownOrImpossibleEncodingIsItsOwnError) {
  EXPECT_EQ(FailureOf("<?xml version='1.0'\n encoding='x-no-such-code-page'?><a/>"),
            (Failure{kErrorUnknownEncoding, 2, 12}));
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='UTF-16'?><a/>"), kErrorUnknownEncoding);
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='ucs-4'?><a/>"), kErrorUnknownEncoding);
  EXPECT_FALSE(DescribeError(kErrorUnknownEncoding).empty());
  try {
    Parser().Parse("<?xml version='1.0' encoding='klingon'?><a/>", 44);
    ADD_FAILURE() << "no exception";
  } catch (const ParsingException& e) {
    EXPECT_NE(std::string(e.what()).find("klingon"), std::string::npos) << e.what();
  }
  // A document in 16 bits that declares an 8-bit encoding contradicts itself.
  EXPECT_EQ(CodeOf(Utf16("<?xml version='1.0' encoding='utf-8'?><a/>", true, true)), kErrorUnknownEncoding);
  // A malformed name is still the declaration's own fault.
  EXPECT_EQ(CodeOf("<?xml version='1.0' encoding='8BIT'?><a/>"), kErrorBadEncoding);
}

TEST(ParserTest, CommentsAndProcessingInstructions) {
  auto doc = MustParse("<a><!----><!-- - --><?t?><?t  spaced  ?></a>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(Root(*doc).GetChild(0)->GetValue(), "");
  EXPECT_EQ(Root(*doc).GetChild(1)->GetValue(), " - ");
  EXPECT_EQ(Root(*doc).GetChild(2)->GetValue(), "");
  EXPECT_EQ(Root(*doc).GetChild(3)->GetValue(), "spaced  ");
  EXPECT_EQ(FailureOf("<a><!-- a -- b --></a>"), (Failure{kErrorDoubleHyphenInComment, 1, 13}));
  EXPECT_EQ(CodeOf("<a><!-- a ---></a>"), kErrorDoubleHyphenInComment);
  EXPECT_EQ(FailureOf("<a><!-- open"), (Failure{kErrorEndInMarkup, 1, 13}));
  EXPECT_EQ(CodeOf("<a><!-- open -"), kErrorEndInMarkup);
  EXPECT_EQ(CodeOf("<a><!-- open --"), kErrorEndInMarkup);
  EXPECT_EQ(CodeOf("<a><? t?></a>"), kErrorPiWithoutTarget);
  EXPECT_EQ(CodeOf("<a><?t#?></a>"), kErrorPiWithoutTarget);
  EXPECT_EQ(FailureOf("<a><?XmL data?></a>"), (Failure{kErrorReservedPiTarget, 1, 6}));
  EXPECT_TRUE(MustParse("<a><?xml-stylesheet href='s'?></a>"));
  EXPECT_EQ(CodeOf("<a><?t data"), kErrorEndInMarkup);
  EXPECT_EQ(CodeOf("<a><?t"), kErrorEndInMarkup);
  EXPECT_EQ(CodeOf("<a><![CDATA[x]]</a>"), kErrorEndInMarkup);
  EXPECT_EQ(CodeOf("<a><![CDATA x]]></a>"), kErrorBadMarkupInContent);
}

// Every code of the start tag, end tag and content, with where it is reported.
TEST(ParserTest, ElementErrorsAndPositions) {
  struct Case {
    const char* text;
    Failure expected;
  } cases[] = {
      {"<a b='1", {kErrorEndInLiteral, 1, 8}},
      {"<a>text", {kErrorEndInLiteral, 1, 8}},
      {"<a><b></b>", {kErrorEndInLiteral, 1, 11}},
      {"<a b></a>", {kErrorMissingEquals, 1, 5}},
      {"<a b=1></a>", {kErrorUnquotedAttribute, 1, 6}},
      {"<a b='<'></a>", {kErrorLessThanInAttribute, 1, 7}},
      {"<a>&amp</a>", {kErrorBadReference, 1, 8}},
      {"<a>& x</a>", {kErrorBadReference, 1, 5}},
      {"<a>&#65</a>", {kErrorBadReference, 1, 8}},
      {"<a>&#x;</a>", {kErrorNoHexDigits, 1, 7}},
      {"<a>&#xg;</a>", {kErrorNoHexDigits, 1, 7}},
      {"<a>&#;</a>", {kErrorNoDecimalDigits, 1, 6}},
      {"<a>&#X41;</a>", {kErrorNoDecimalDigits, 1, 6}},
      {"<a>&#0;</a>", {kErrorEndInMarkup, 1, 4}},
      {"<a>&#x0;</a>", {kErrorEndInMarkup, 1, 4}},
      {"<a>&#1;</a>", {kErrorEndInMarkup, 1, 4}},
      {"<a>&#xD800;</a>", {kErrorEndInMarkup, 1, 4}},
      {"<a>&#99999999999999999999;</a>", {kErrorEndInMarkup, 1, 4}},
      {"<a>\n &unknown;</a>", {kErrorUnresolvedEntity, 2, 2}},
      {"< a/>", {kErrorTagWithoutName, 1, 2}},
      {"<a></ a>", {kErrorTagWithoutName, 1, 6}},
      {"<a b='1'/ >", {kErrorSlashWithoutGreater, 1, 10}},
      {"<a b='1'", {kErrorTagNotClosed, 1, 9}},
      {"<a b='1'c='2'/>", {kErrorTagNotClosed, 1, 9}},
      {"<a></a b>", {kErrorTagNotClosed, 1, 8}},
      {"<a b='1' !/>", {kErrorTagNotClosed, 1, 10}},
      {"<a>\n<b>\n</c></a>", {kErrorMismatchedEndTag, 3, 3}},
      {"<a></A>", {kErrorMismatchedEndTag, 1, 6}},
      {"<a>< b/></a>", {kErrorBadMarkupInContent, 1, 5}},
      {"<a><!DOCTYPE a></a>", {kErrorBadMarkupInContent, 1, 4}},
      {"<a>x]]>y</a>", {kErrorCDataEndInContent, 1, 5}},
      {"", {kErrorNoRootElement, 1, 1}},
      {"  \n ", {kErrorNoRootElement, 2, 2}},
      {"<!-- only -->", {kErrorNoRootElement, 1, 14}},
      {"text<a/>", {kErrorNoRootElement, 1, 1}},
      {"<a/>\n  x", {kErrorContentAfterRoot, 2, 3}},
      {"<a/><b/>", {kErrorContentAfterRoot, 1, 5}},
      {"<a/>]]>", {kErrorContentAfterRoot, 1, 5}},
      {"<a/><!DOCTYPE a>", {kErrorContentAfterRoot, 1, 5}},
  };
  for (const Case& c : cases) EXPECT_EQ(FailureOf(c.text), c.expected) << c.text;

  // Allowed around them: white space in end tags, either quote, '>' in text and values.
  EXPECT_TRUE(MustParse("<a b=\"'\" c='\"' d = '>'>]> ] ]]<b></b  ></a  >"));
}

TEST(ParserTest, XmlSpacePreserveMarksTheElement) {
  auto doc = MustParse("<a><b xml:space='preserve'> x </b><c xml:space='default'> x </c><d>\n  word\n</d></a>");
  ASSERT_TRUE(doc);
  const Element& a = Root(*doc);
  EXPECT_TRUE(a.FindElement("b")->preserves_space());
  EXPECT_EQ(a.FindElement("b")->GetText(), " x ");
  EXPECT_FALSE(a.FindElement("c")->preserves_space());
  EXPECT_EQ(a.FindElement("c")->GetText(), "x");
  EXPECT_EQ(a.FindElement("d")->GetText(), "word");
}

TEST(ParserTest, DocumentTypeDeclaration) {
  auto doc = MustParse(
      "<?xml version='1.0'?><!--c--><!DOCTYPE book PUBLIC \"-//Vellum//DTD Book 1.0//EN\" 'book.dtd' [\n"
      "  <!ELEMENT book (title, (chapter | appendix)*, index?)>\n"
      "  <!ELEMENT title (#PCDATA)>\n"
      "  <!ELEMENT chapter (#PCDATA | em | strong)*>\n"
      "  <!ELEMENT index EMPTY>\n"
      "  <!ELEMENT any ANY>\n"
      "  <!ATTLIST book id ID #REQUIRED\n"
      "                 lang NMTOKEN 'en'\n"
      "                 kind (novel|manual|2nd-ed) #IMPLIED\n"
      "                 fig NOTATION (gif | png) #FIXED \"gif\"\n"
      "                 ref IDREFS #IMPLIED>\n"
      "  <!ATTLIST title>\n"
      "  <!NOTATION gif SYSTEM 'viewer'>\n"
      "  <!NOTATION png PUBLIC 'png'>\n"
      "  <!NOTATION jpg PUBLIC 'jpg' 'jpeg-viewer'>\n"
      "  <!ENTITY % local SYSTEM 'local.ent'>\n"
      "  %local;\n"
      "  <?dtd-pi x?>\n"
      "  <!-- comment -->\n"
      "]>\n"
      "<book id='b'/>");
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->doctype.present);
  EXPECT_EQ(doc->doctype.name, "book");
  EXPECT_EQ(doc->doctype.public_id, "-//Vellum//DTD Book 1.0//EN");
  EXPECT_EQ(doc->doctype.system_id, "book.dtd");
  EXPECT_TRUE(doc->doctype.has_internal_subset);
  EXPECT_NE(doc->doctype.internal_subset.find("<!NOTATION jpg"), std::string::npos);
  EXPECT_EQ(doc->doctype_position, 1u);
  EXPECT_TRUE(MustParse("<!DOCTYPE a SYSTEM \"a.dtd\"><a/>"));
  EXPECT_TRUE(MustParse("<!DOCTYPE a><a/>"));
  EXPECT_TRUE(MustParse("<!DOCTYPE a []><a/>"));
}

TEST(ParserTest, DeclarationErrors) {
  struct Case {
    const char* subset;
    uint32_t code;
  } cases[] = {
      {"<!ELEMENT>", kErrorBadElementDecl},
      {"<!ELEMENT a>", kErrorBadElementDecl},
      {"<!ELEMENT a EMPTY", kErrorBadElementDecl},
      {"<!ELEMENT a empty>", kErrorBadElementDecl},
      {"<!ELEMENT a (#PCDATA|b)>", kErrorBadElementDecl},
      {"<!ELEMENT a (#PCDATA,b)*>", kErrorBadElementDecl},
      {"<!ELEMENT a (b|c,d)>", kErrorChoiceThenOtherSeparator},
      {"<!ELEMENT a (b,(c|d),e|f)>", kErrorSequenceThenOtherSeparator},
      {"<!ELEMENT a ()>", kErrorContentParticleExpected},
      {"<!ELEMENT a (b|)>", kErrorContentParticleExpected},
      {"<!ELEMENT a (b,#PCDATA)>", kErrorContentParticleExpected},
      {"<!ELEMENT a (b c)>", kErrorBadElementDecl},
      {"<!ATTLIST>", kErrorBadAttlistDecl},
      {"<!ATTLIST a b CDATA #IMPLIED", kErrorBadAttlistDecl},
      {"<!ATTLIST a b CDATA #IMPLIED; >", kErrorBadAttlistDecl},
      {"<!ATTLIST a b>", kErrorBadAttributeDef},
      {"<!ATTLIST a b STRING #IMPLIED>", kErrorBadAttributeDef},
      {"<!ATTLIST a b CDATA>", kErrorBadAttributeDef},
      {"<!ATTLIST a b NOTATION x #IMPLIED>", kErrorBadNotationType},
      {"<!ATTLIST a b NOTATION (x|) #IMPLIED>", kErrorBadNotationType},
      {"<!ATTLIST a b (x|y #IMPLIED>", kErrorBadEnumeration},
      {"<!ATTLIST a b () #IMPLIED>", kErrorBadEnumeration},
      {"<!ATTLIST a b CDATA #OPTIONAL>", kErrorBadDefaultDecl},
      {"<!ATTLIST a b CDATA #FIXED>", kErrorBadDefaultDecl},
      {"<!ATTLIST a b CDATA default>", kErrorBadDefaultDecl},
      {"<!ATTLIST a b CDATA '<'>", kErrorLessThanInAttribute},
      {"<!ENTITY>", kErrorBadEntityDecl},
      {"<!ENTITY e>", kErrorBadEntityDecl},
      {"<!ENTITY e 'v' extra>", kErrorBadEntityDecl},
      {"<!ENTITY %e 'v'>", kErrorBadEntityDecl},
      {"<!ENTITY e SYSTEM 'x' NDATA>", kErrorBadNData},
      {"<!ENTITY % e SYSTEM 'x' NDATA n>", kErrorBadNData},
      {"<!ENTITY e SYSTEM>", kErrorBadExternalId},
      {"<!ENTITY e SYSTEM x>", kErrorBadExternalId},
      {"<!ENTITY e PUBLIC 'p'>", kErrorBadExternalId},
      {"<!ENTITY e PUBLIC 'p{' 's'>", kErrorBadPublicIdChar},
      {"<!ENTITY e PUBLIC 'p\tq' 's'>", kErrorBadPublicIdChar},
      {"<!NOTATION>", kErrorBadNotationDecl},
      {"<!NOTATION n>", kErrorBadNotationDecl},
      {"<!NOTATION n 'x'>", kErrorBadNotationDecl},
      {"<!NOTATION n PUBLIC>", kErrorBadNotationPublicId},
      {"<!NOTATION n PUBLIC 'p''s'>", kErrorBadNotationPublicId},
      {"%", kErrorBadParameterReference},
      {"%pe", kErrorBadParameterReference},
      {"% pe;", kErrorBadParameterReference},
      {"<!BOGUS>", kErrorBadDoctype},
  };
  for (const Case& c : cases) EXPECT_EQ(CodeOf(std::string("<!DOCTYPE a [") + c.subset + "]><a/>"), c.code) << c.subset;
  EXPECT_EQ(CodeOf("<!DOCTYPE a [<!ELEMENT a ANY>"), kErrorBadDoctype) << "the subset is never closed";
  EXPECT_EQ(CodeOf("<!DOCTYPE><a/>"), kErrorBadDoctype);
  EXPECT_EQ(CodeOf("<!DOCTYPEa><a/>"), kErrorBadDoctype);
  EXPECT_EQ(CodeOf("<!DOCTYPE a SYSTEM 'x'[]<a/>"), kErrorBadDoctype);
  EXPECT_EQ(CodeOf("<!DOCTYPE a 'x'><a/>"), kErrorBadDoctype);
  EXPECT_EQ(CodeOf("<!DOCTYPE a><!DOCTYPE a><a/>"), kErrorBadDoctype);
  EXPECT_EQ(CodeOf("<!DOCTYPE a SYSTEM 'x"), kErrorEndInLiteral);
  EXPECT_EQ(CodeOf("<!DOCTYPE a PUBLIC 'x"), kErrorEndInLiteral);
  EXPECT_EQ(CodeOf("<!DOCTYPE a PUBLIC 'p''s'><a/>"), kErrorBadExternalId);
  EXPECT_EQ(CodeOf("<!ELEMENT a ANY><a/>"), kErrorTagWithoutName);
}

TEST(ParserTest, HostileShapesFailOrParseWithoutCrashing) {
  // Deep nesting: parsed, copied, printed and freed without recursion.
  const int depth = 200000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<d>";
  deep += "x";
  for (int i = 0; i < depth; ++i) deep += "</d>";
  auto doc = MustParse(deep);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->GetText(), "x");
  auto copy = doc->CloneDocument();
  std::string out;
  copy->Generate(out);
  EXPECT_EQ(out, deep);

  // Deep nesting cut short, and deeply nested content models.
  EXPECT_EQ(CodeOf(deep.substr(0, depth * 3 + 1 + 400)), kErrorEndInLiteral);
  std::string model = "<!DOCTYPE a [<!ELEMENT a " + std::string(100000, '(') + "b" + std::string(100000, ')') + ">]><a/>";
  EXPECT_TRUE(MustParse(model));

  // Many attributes.
  std::string wide = "<a";
  for (int i = 0; i < 100000; ++i) wide += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
  wide += "/>";
  auto many = MustParse(wide);
  ASSERT_TRUE(many);
  EXPECT_EQ(Root(*many).attributes().size(), 100000u);
  EXPECT_EQ(Root(*many).FindAttribute("a99999").GetText(), "99999");

  // Every prefix of a rich document fails with a code or parses; none crashes.
  const std::string rich =
      "<?xml version='1.0' encoding='UTF-8' standalone='no'?><!DOCTYPE r [<!ENTITY e 'v&#65;'>"
      "<!ATTLIST r a CDATA #IMPLIED><!ELEMENT r (#PCDATA|s)*>]><r a='&e;&#x42;'><s/>t&e;<![CDATA[c]]>"
      "<?p d?><!--m--></r>";
  ASSERT_TRUE(MustParse(rich));
  for (size_t n = 0; n < rich.size(); ++n) {
    Failure f = FailureOf(rich.substr(0, n));
    EXPECT_GE(f.code, 1u) << n;
    EXPECT_LE(f.code, 43u) << n;
    EXPECT_GE(f.line, 1u);
  }
}

TEST(ParserTest, PositionRules) {
  uint32_t line, column;
  PositionOf("ab\ncd\r\nef\rg", 0, line, column);
  EXPECT_EQ(std::pair(line, column), std::pair(1u, 1u));
  PositionOf("ab\ncd\r\nef\rg", 4, line, column);
  EXPECT_EQ(std::pair(line, column), std::pair(2u, 2u));
  PositionOf("ab\ncd\r\nef\rg", 7, line, column);
  EXPECT_EQ(std::pair(line, column), std::pair(3u, 1u));
  PositionOf("ab\ncd\r\nef\rg", 10, line, column);
  EXPECT_EQ(std::pair(line, column), std::pair(4u, 1u));
  PositionOf("ab", 99, line, column);
  EXPECT_EQ(std::pair(line, column), std::pair(1u, 3u));
}

TEST(ParserTest, EveryCodeHasADescription) {
  for (uint32_t code = 1; code <= 45; ++code) EXPECT_FALSE(DescribeError(code).empty()) << code;
  EXPECT_TRUE(DescribeError(46).empty());
  ParsingException e(kErrorMismatchedEndTag, 3, 4);
  EXPECT_STREQ(e.what(), "an end tag's name differs from its element's");
}

}  // namespace
}  // namespace lectern::AdvXMLParser
