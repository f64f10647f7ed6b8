#include "book/xml/node.h"

#include <gtest/gtest.h>

#include "book/xml/parse_xml.h"

namespace lectern::AdvXMLParser {
namespace {

std::unique_ptr<Document> Parsed(std::string_view text) {
  XmlParseResult result = ParseXml(text);
  EXPECT_TRUE(result.ok()) << result.error_code << " at " << result.line << ":" << result.column << ": "
                           << result.description;
  return std::move(result.document);
}

std::string Generated(const Node& node) {
  std::string out;
  node.Generate(out);
  return out;
}

TEST(NodeTest, GetTextNormalisesUnlessPreserved) {
  auto doc = Parsed(
      "<r>\n  <title>\n   Lectern \t\r\n  Guide  </title>\n"
      "  <pre xml:space='preserve'>\n  a  b\n</pre>\n"
      "  <mixed> one <b> two </b>three&#32;&#32;four </mixed>\n"
      "  <empty>   </empty><blank/>\n"
      "  <outer xml:space='preserve'> <inner> x  y </inner> </outer></r>");
  ASSERT_TRUE(doc);
  const Element& r = *doc->GetRoot();
  EXPECT_EQ(r.FindElement("title")->GetText(), "Lectern Guide");
  EXPECT_EQ(r.FindElement("pre")->GetText(), "\n  a  b\n");
  // A child element's text comes folded and trimmed before the parent joins it.
  EXPECT_EQ(r.FindElement("mixed")->GetText(), "one twothree four");
  EXPECT_EQ(r.FindElement("empty")->GetText(), "");
  EXPECT_EQ(r.FindElement("blank")->GetText(), "");
  // Each element folds what its children gave it; a preserving element keeps its own spaces.
  EXPECT_EQ(r.FindElement("outer")->GetText(), " x y ");
  // Leaves answer their own text; an element's value is empty.
  EXPECT_EQ(r.FindElement("title")->GetValue(), "");
  EXPECT_EQ(r.FindElement("title")->GetChild(0)->GetText(), "\n   Lectern \t\n  Guide  ");
  EXPECT_EQ(NormaliseSpace("  a \t\n b  "), "a b");
  // Comments and processing instructions are markup, not text.
  auto notes = Parsed("<t>Guide<!-- draft --><?fmt bold?> one</t>");
  ASSERT_TRUE(notes);
  EXPECT_EQ(notes->GetRoot()->GetText(), "Guide one");
  EXPECT_EQ(notes->GetRoot()->GetChild(1)->GetText(), " draft ");
  EXPECT_EQ(NormaliseSpace(" \n "), "");
}

TEST(NodeTest, KindsAnswerOnlyForThemselves) {
  auto doc = Parsed("<a b='1'>t<![CDATA[c]]>&#65;&amp;<?p?><!--c--></a>");
  ASSERT_TRUE(doc);
  const Element& a = *doc->GetRoot();
  const Node* nodes[] = {doc.get(), &a, &a.FindAttribute("b"), a.GetChild(0), a.GetChild(1),
                         a.GetChild(2), a.GetChild(3), a.GetChild(4), a.GetChild(5)};
  const int kinds[] = {kDocument, kElement, kAttribute, kText, kCData, kReference, kReference, kPi, kComment};
  for (size_t i = 0; i < std::size(nodes); ++i) {
    for (int kind = 0; kind <= 10; ++kind) EXPECT_EQ(nodes[i]->IsKindOf(kind), kind == kinds[i]) << i << " " << kind;
    EXPECT_EQ(nodes[i]->AsElement() != nullptr, kinds[i] == kElement);
  }
}

TEST(NodeTest, FindAttributeMatchesExactlyAndNeverYieldsNull) {
  auto doc = Parsed("<item text='First' Text='Second' text='Third' url=''/>");
  ASSERT_TRUE(doc);
  const Element& item = *doc->GetRoot();
  EXPECT_EQ(item.FindAttribute("text").GetText(), "First") << "the first of duplicates";
  EXPECT_EQ(item.FindAttribute("Text").GetText(), "Second") << "letter case counts";
  const Attribute& missing = item.FindAttribute("TEXT");
  EXPECT_EQ(&missing, &EmptyAttribute());
  EXPECT_EQ(missing.GetText(), "");
  EXPECT_EQ(missing.GetChildCount(), 0u);
  EXPECT_FALSE(item.HasAttribute("missing"));
  EXPECT_TRUE(item.HasAttribute("url"));
  EXPECT_EQ(item.FindAttribute("url").GetText(), "");
  EXPECT_EQ(&item.FindAttribute(""), &EmptyAttribute());
}

TEST(NodeTest, NavigationOverChildren) {
  auto doc = Parsed("<book><!--x--><toc><a/>text<b/><a/></toc><toc/></book>");
  ASSERT_TRUE(doc);
  const Element* toc = doc->GetRoot()->FindElement("toc");
  ASSERT_NE(toc, nullptr);
  std::vector<std::string> names;
  for (const Element* element : toc->GetElements()) names.emplace_back(element->GetName());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "a"}));
  EXPECT_EQ(toc->GetChildCount(), 4u);
  EXPECT_EQ(toc->GetChild(4), nullptr);
  EXPECT_EQ(doc->GetRoot()->FindElement("missing"), nullptr);
  EXPECT_EQ(&toc->GetParent()->AsNode(), doc->GetRoot());
}

TEST(NodeTest, CloneIsDeepAndIndependent) {
  auto doc = Parsed(
      "<?xml version='1.0' encoding='UTF-8'?><!DOCTYPE r [<!ENTITY e 'E'>]><!--top-->"
      "<r a='1&amp;&#50;' xml:space='preserve'> <c>&e;</c><![CDATA[d]]><?p q?></r>");
  ASSERT_TRUE(doc);
  auto copy = doc->CloneDocument();
  ASSERT_TRUE(copy);
  doc.reset();  // the copy shares nothing with the original
  EXPECT_EQ(copy->encoding, "UTF-8");
  EXPECT_EQ(copy->doctype.entities.at("e").value, "E");
  const Element& r = *copy->GetRoot();
  EXPECT_TRUE(r.preserves_space());
  EXPECT_EQ(r.FindAttribute("a").GetText(), "1&2");
  EXPECT_EQ(r.FindAttribute("a").GetParent(), static_cast<const NodeContainer*>(&r));
  EXPECT_EQ(r.GetText(), " Ed") << "no processing instruction data";
  EXPECT_EQ(r.GetParent(), static_cast<const NodeContainer*>(copy.get()));
  EXPECT_EQ(r.GetChild(1)->GetParent(), static_cast<const NodeContainer*>(&r));

  // A subtree copied under a new parent.
  Element holder("holder");
  std::unique_ptr<Node> sub = r.FindElement("c")->Clone(&holder);
  EXPECT_EQ(sub->GetParent(), static_cast<NodeContainer*>(&holder));
  holder.Append(std::move(sub));
  EXPECT_EQ(Generated(holder), "<holder><c>&e;</c></holder>");
}

TEST(NodeTest, GenerateRoundTrips) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><!--head-->"
      "<!DOCTYPE r SYSTEM \"r.dtd\" [<!ENTITY e \"E\">]><?pi data?>"
      "<r a=\"x &amp; &lt; &quot; &#10;\" b=\"&e;\"><c/>text &gt; &amp;&e;&#233;<![CDATA[<raw>]]>"
      "<!-- c --><?p?><d>\xC3\xA9t\xC3\xA9</d></r><!--tail-->";
  auto doc = Parsed(text);
  ASSERT_TRUE(doc);
  std::string once = Generated(*doc);
  EXPECT_EQ(once, text);
  auto again = Parsed(once);
  ASSERT_TRUE(again);
  EXPECT_EQ(Generated(*again), once);
  EXPECT_EQ(again->GetRoot()->GetText(), doc->GetRoot()->GetText());

  // Text that needs escaping on the way out, and values with white space a reader would fold.
  Document built;
  Element& root = built.Add<Element>("r");
  Attribute& attribute = root.AddAttribute("v");
  attribute.Add<Text>("tab\tline\nquote\"amp&lt<");
  root.Add<Text>("a < b && c > d");
  root.Add<CData>("x]]>y");
  std::string out = Generated(built);
  EXPECT_EQ(out, "<r v=\"tab&#9;line&#10;quote&quot;amp&amp;lt&lt;\">a &lt; b &amp;&amp; c &gt; d"
                 "<![CDATA[x]]]]><![CDATA[>y]]></r>");
  auto reread = Parsed(out);
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->GetRoot()->FindAttribute("v").GetText(), "tab\tline\nquote\"amp&lt<");
  EXPECT_EQ(reread->GetRoot()->GetText(), "a < b && c > dx]]>y");
}

TEST(NodeTest, ParsedTreesTakeNodesMadeElsewhere) {
  // Parsed nodes live in the document's arena; nodes added later come from the heap and must
  // be freed with the tree (the sanitizer build checks for leaks and stray frees).
  auto doc = Parsed("<r a='1'><c>text</c><d/></r>");
  ASSERT_TRUE(doc);
  Element& root = const_cast<Element&>(*doc->GetRoot());
  Element& added = root.Add<Element>("added");
  added.AddAttribute("x").Add<Text>("a value long enough to need its own storage");
  added.Add<Text>("more text than fits in a small string buffer");
  root.AddAttribute("b").Add<Text>("2");
  const_cast<Attribute&>(root.FindAttribute("a")).Add<Text>("+");
  root.Append(doc->GetRoot()->FindElement("c")->Clone(&root));
  EXPECT_EQ(root.GetText(), "textmore text than fits in a small string buffertext");
  EXPECT_EQ(root.FindAttribute("a").GetText(), "1+");
  EXPECT_EQ(Generated(root),
            "<r a=\"1+\" b=\"2\"><c>text</c><d/><added x=\"a value long enough to need its own storage\">"
            "more text than fits in a small string buffer</added><c>text</c></r>");
  doc.reset();

  // A failed parse frees what it had built.
  EXPECT_FALSE(ParseXml("<r><a b='1'>text<c/></a><d>").ok());
}

TEST(NodeTest, DeepTreesBuiltByHandAreSafe) {
  // Built directly (no parser) 300000 levels deep: GetText, Clone, Generate and the
  // destructor all walk it without recursion.
  auto doc = std::make_unique<Document>();
  NodeContainer* at = doc.get();
  const int depth = 300000;
  for (int i = 0; i < depth; ++i) at = &at->Add<Element>("e");
  at->Add<Text>("leaf");
  EXPECT_EQ(doc->GetText(), "leaf");
  auto copy = doc->CloneDocument();
  doc.reset();
  std::string out;
  copy->Generate(out);
  EXPECT_EQ(out.size(), size_t(depth) * 7 + 4);
  EXPECT_EQ(out.substr(depth * 3 - 3, 13), "<e>leaf</e></");
}

}  // namespace
}  // namespace lectern::AdvXMLParser
