// A non-validating XML 1.0 parser that builds the node tree of node.h and reports the first syntax
// error as a ParsingException. The tree is UTF-8: a document in UTF-16 or UTF-32 (told by its
// byte-order mark or its first characters) or one whose declaration names another encoding
// ("windows-1252", "ISO-8859-2", "Shift_JIS", ...) is converted first; byte sequences the encoding
// lacks become U+FFFD. Text that declares no encoding, or UTF-8 or ASCII, is read as it is, bytes
// that are not UTF-8 included.
//
// The exceptions never leave the xml module: every other module calls ParseXml (parse_xml.h).
//
// Positions: line and column are 1-based and point at the character where the parser found the
// error (just past the last character when the input ended too soon). Columns count bytes (of the
// UTF-8 text, for a converted document); CR LF and a lone CR each count as one line break.
//
// Not read: external entities and the external DTD subset (references to declared external
// entities stay as EntityRef nodes with an empty replacement), and declarations are checked for
// syntax only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "book/xml/node.h"

namespace lectern::AdvXMLParser {

enum ErrorCode : uint32_t {
  kErrorNone = 0,
  kErrorEndInLiteral = 1,             // input ends inside a quoted literal, attribute value or content
  kErrorEndInMarkup = 2,              // ... inside a comment, PI, CDATA, entity value; &#0;
  kErrorMissingEquals = 3,
  kErrorUnquotedAttribute = 4,
  kErrorLessThanInAttribute = 5,
  kErrorBadReference = 6,             // ';' missing or the reference can't be parsed
  kErrorNoHexDigits = 7,
  kErrorNoDecimalDigits = 8,
  kErrorUnresolvedEntity = 9,
  kErrorTagWithoutName = 10,
  kErrorSlashWithoutGreater = 11,
  kErrorTagNotClosed = 12,
  kErrorMismatchedEndTag = 13,
  kErrorBadMarkupInContent = 14,
  kErrorCDataEndInContent = 15,
  kErrorNoRootElement = 16,
  kErrorBadVersion = 17,
  kErrorDeclarationNotClosed = 18,
  kErrorEncodingNotQuoted = 19,
  kErrorBadEncoding = 20,
  kErrorStandaloneNotQuoted = 21,
  kErrorBadStandalone = 22,
  kErrorDoubleHyphenInComment = 23,
  kErrorPiWithoutTarget = 24,
  kErrorReservedPiTarget = 25,
  kErrorBadDoctype = 26,
  kErrorBadParameterReference = 27,
  kErrorBadPublicIdChar = 28,
  kErrorBadElementDecl = 29,
  kErrorChoiceThenOtherSeparator = 30,
  kErrorSequenceThenOtherSeparator = 31,
  kErrorContentParticleExpected = 32,
  kErrorBadAttlistDecl = 33,
  kErrorBadAttributeDef = 34,
  kErrorBadNotationType = 35,
  kErrorBadEnumeration = 36,
  kErrorBadDefaultDecl = 37,
  kErrorBadEntityDecl = 38,
  kErrorBadNData = 39,
  kErrorBadNotationDecl = 40,
  kErrorBadExternalId = 41,
  kErrorBadNotationPublicId = 42,
  kErrorContentAfterRoot = 43,
  kErrorUnknownEncoding = 44,         // the declared encoding is unknown, or contradicts the bytes
  kErrorForbiddenCharacter = 45,      // a C0 control other than tab, LF, CR; U+FFFE or U+FFFF
};

// A sentence for each code ("" for codes it does not know).
std::string_view DescribeError(uint32_t code);

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class ParsingException : public Exception {
 public:
  ParsingException(uint32_t code, uint32_t line, uint32_t column, std::string message = {});
  uint32_t code() const { return code_; }
  uint32_t line() const { return line_; }
  uint32_t column() const { return column_; }

 private:
  uint32_t code_, line_, column_;
};

// An entity reference that names no entity the document declares (or one that can't be used
// where it stands: recursive, unparsed, external inside an attribute, too large). Code 9.
class InvalidRefException : public ParsingException {
 public:
  InvalidRefException(std::string name, uint32_t line, uint32_t column, std::string message);
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

class Parser {
 public:
  // Most bytes that references to declared entities may add to the tree, against expansion bombs.
  static constexpr size_t kDefaultExpansionLimit = size_t(16) << 20;

  // A NUL byte (a NUL character, in a converted document) ends the input as the end does. Throws
  // ParsingException (or InvalidRefException).
  std::unique_ptr<Document> Parse(const char* text, size_t length);

  void set_expansion_limit(size_t bytes) { expansion_limit_ = bytes; }

 private:
  size_t expansion_limit_ = kDefaultExpansionLimit;
};

// Line and column of byte `offset` in `text`, by the rules above.
void PositionOf(std::string_view text, size_t offset, uint32_t& line, uint32_t& column);

}  // namespace lectern::AdvXMLParser
