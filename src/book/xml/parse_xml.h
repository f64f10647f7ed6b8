// The one way the rest of the system reads XML: a parse that never throws. On failure the result
// carries the parser's error code (see book/xml/parser.h), the position and a sentence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "book/xml/node.h"

namespace lectern {

struct XmlParseResult {
  std::unique_ptr<AdvXMLParser::Document> document;  // null on failure
  uint32_t error_code = 0;
  uint32_t line = 0, column = 0;
  std::string description;

  bool ok() const { return document != nullptr; }
};

// Error code when memory ran out during the parse (outside the parser's own codes).
inline constexpr uint32_t kXmlOutOfMemory = 1000;

XmlParseResult ParseXml(std::string_view text);

}  // namespace lectern
