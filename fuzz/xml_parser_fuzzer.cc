// The XML parser on arbitrary bytes; on success the tree is copied, printed, read back and its
// text taken, which must all hold up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "book/xml/node.h"
#include "book/xml/parse_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  lectern::XmlParseResult result = lectern::ParseXml(text);
  if (!result.ok()) {
    if (result.error_code == 0 || result.line == 0 || result.column == 0) std::abort();
    return 0;
  }
  const auto& doc = *result.document;
  std::string all = doc.GetText();
  if (const auto* root = doc.GetRoot()) {
    (void)root->GetText();
    (void)root->FindAttribute("a").GetText();
  }
  auto copy = doc.CloneDocument();
  std::string out, again;
  copy->Generate(out);
  doc.Generate(again);
  if (out != again) std::abort();
  // What the model prints, the parser reads back to the same text.
  lectern::XmlParseResult reread = lectern::ParseXml(out);
  if (!reread.ok() || reread.document->GetText() != all) std::abort();
  return 0;
}
