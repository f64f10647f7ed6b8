#include "book/xml/parse_xml.h"

#include <new>

#include "book/xml/parser.h"

namespace lectern {

XmlParseResult ParseXml(std::string_view text) {
  XmlParseResult result;
  try {
    AdvXMLParser::Parser parser;
    result.document = parser.Parse(text.data(), text.size());
  } catch (const AdvXMLParser::ParsingException& e) {
    result.error_code = e.code();
    result.line = e.line();
    result.column = e.column();
    result.description = e.what();
  } catch (const std::bad_alloc&) {
    result.document.reset();
    result.error_code = kXmlOutOfMemory;
    result.description = "out of memory";
  }
  return result;
}

}  // namespace lectern
