#include "book/xml/parser.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "book/xml/utf8.h"
#include "platform/text_encoding.h"

namespace lectern::AdvXMLParser {
namespace {

// ---- Character classes

enum : uint8_t {
  kSpaceClass = 1,
  kNameStartClass = 2,
  kNameClass = 4,
  kTextStopClass = 8,       // ends a run of content text
  kAttributeStopClass = 16, // ends a run of an attribute value
  kPubidClass = 32,
};

struct CharTable {
  uint8_t flags[256] = {};
  constexpr CharTable() {
    for (int c : {' ', '\t', '\r', '\n'}) flags[c] |= kSpaceClass;
    for (int c = 'A'; c <= 'Z'; ++c) flags[c] |= kNameStartClass | kNameClass | kPubidClass;
    for (int c = 'a'; c <= 'z'; ++c) flags[c] |= kNameStartClass | kNameClass | kPubidClass;
    for (int c = '0'; c <= '9'; ++c) flags[c] |= kNameClass | kPubidClass;
    for (int c : {'_', ':'}) flags[c] |= kNameStartClass | kNameClass;
    for (int c : {'.', '-'}) flags[c] |= kNameClass;
    for (int c : {'<', '&', ']', '\r'}) flags[c] |= kTextStopClass;
    for (int c : {'<', '&', '\r', '"', '\''}) flags[c] |= kAttributeStopClass;
    for (const char* s = " \r\n-'()+,./:=?;!*#@$_%"; *s; ++s) flags[uint8_t(*s)] |= kPubidClass;
  }
};
constexpr CharTable kChars;

inline bool Has(char c, uint8_t cls) { return kChars.flags[uint8_t(c)] & cls; }
inline bool IsSpace(char c) { return Has(c, kSpaceClass); }

// The name characters of XML 1.0 (fifth edition) beyond ASCII.
bool IsNameStartCodePoint(uint32_t cp) {
  return (cp >= 0xC0 && cp <= 0xD6) || (cp >= 0xD8 && cp <= 0xF6) || (cp >= 0xF8 && cp <= 0x2FF) ||
         (cp >= 0x370 && cp <= 0x37D) || (cp >= 0x37F && cp <= 0x1FFF) || (cp >= 0x200C && cp <= 0x200D) ||
         (cp >= 0x2070 && cp <= 0x218F) || (cp >= 0x2C00 && cp <= 0x2FEF) || (cp >= 0x3001 && cp <= 0xD7FF) ||
         (cp >= 0xF900 && cp <= 0xFDCF) || (cp >= 0xFDF0 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0xEFFFF);
}
bool IsNameCodePoint(uint32_t cp) {
  return IsNameStartCodePoint(cp) || cp == 0xB7 || (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x203F && cp <= 0x2040);
}

// Bytes of the name character at p, 0 when there is none. A byte that starts no UTF-8 sequence is
// taken as the 8-bit character of that value, so single-byte text keeps its accented letters.
size_t NameCharAt(const char* p, const char* end, bool first) {
  if (p >= end) return 0;
  uint8_t c = uint8_t(*p);
  if (c < 0x80) return Has(char(c), first ? kNameStartClass : kNameClass) ? 1 : 0;
  uint32_t cp;
  size_t length = DecodeUtf8Sequence(p, end, cp);
  if (length == 0) cp = c, length = 1;
  return (first ? IsNameStartCodePoint(cp) : IsNameCodePoint(cp)) ? length : 0;
}

bool IsXmlChar(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Appends [from, to) with CR LF and lone CR read as LF.
void AppendLines(std::string& out, const char* from, const char* to) {
  while (from < to) {
    const char* cr = static_cast<const char*>(std::memchr(from, '\r', size_t(to - from)));
    if (!cr) {
      out.append(from, to);
      return;
    }
    out.append(from, cr);
    out += '\n';
    from = cr + 1;
    if (from < to && *from == '\n') ++from;
  }
}

std::string Lines(const char* from, const char* to) {
  std::string out;
  AppendLines(out, from, to);
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

const char* Predefined(std::string_view name) {
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (name == "amp") return "&";
  if (name == "quot") return "\"";
  if (name == "apos") return "'";
  return nullptr;
}

constexpr int kMaxEntityNesting = 64;

// ---- The reader

class Reader {
 public:
  Reader(const char* text, size_t length, size_t expansion_limit)
      : begin_(text), p_(text), end_(text + length), expansion_left_(expansion_limit) {}

  std::unique_ptr<Document> Run() {
    doc_ = std::make_unique<Document>();
    doc_->set_nodes_in_arena();
    NodeArenaScope arena(&doc_->node_arena());
    if (LookingAt("\xEF\xBB\xBF")) p_ += 3;
    if (LookingAt("<?xml") && !NameCharAt(p_ + 5, end_, false)) ParseXmlDeclaration();
    // Prolog: comments, processing instructions and one document type declaration.
    for (;;) {
      SkipSpace();
      if (AtEnd()) Fail(kErrorNoRootElement);
      if (LookingAt("<!--")) {
        doc_->Append(ParseComment());
      } else if (LookingAt("<?")) {
        doc_->Append(ParsePi());
      } else if (LookingAt("<!DOCTYPE")) {
        if (doc_->doctype.present) Fail(kErrorBadDoctype);
        ParseDoctype();
      } else if (*p_ == '<') {
        break;
      } else {
        Fail(kErrorNoRootElement);
      }
    }
    if (!NameCharAt(p_ + 1, end_, true)) Fail(kErrorTagWithoutName, p_ + 1);
    ParseElementTree();
    for (;;) {
      SkipSpace();
      if (AtEnd()) break;
      if (LookingAt("<!--")) {
        doc_->Append(ParseComment());
      } else if (LookingAt("<?")) {
        doc_->Append(ParsePi());
      } else {
        Fail(kErrorContentAfterRoot);
      }
    }
    return std::move(doc_);
  }

 private:
  struct Expansion {
    std::string text;
    bool has_markup = false;  // a '<' of the replacement text itself, not one from a reference
  };

  // ---- Input

  bool AtEnd() const { return p_ >= end_; }
  char Peek(size_t ahead = 0) const { return p_ + ahead < end_ ? p_[ahead] : '\0'; }
  bool LookingAt(std::string_view s) const {
    return size_t(end_ - p_) >= s.size() && std::memcmp(p_, s.data(), s.size()) == 0;
  }
  bool Skip(std::string_view s) {
    if (!LookingAt(s)) return false;
    p_ += s.size();
    return true;
  }
  bool SkipSpace() {
    const char* start = p_;
    while (p_ < end_ && IsSpace(*p_)) ++p_;
    return p_ != start;
  }
  void RequireSpace(uint32_t code) {
    if (!SkipSpace()) Fail(code);
  }
  void Expect(char c, uint32_t code) {
    if (Peek() != c || AtEnd()) Fail(code);
    ++p_;
  }
  // A keyword standing alone (not the start of a longer name).
  bool SkipWord(std::string_view word) {
    if (!LookingAt(word) || NameCharAt(p_ + word.size(), end_, false)) return false;
    p_ += word.size();
    return true;
  }

  std::string_view ScanName(bool first_is_start = true) {
    const char* start = p_;
    size_t n = NameCharAt(p_, end_, first_is_start);
    if (n == 0) return {};
    p_ += n;
    for (;;) {
      while (p_ < end_ && uint8_t(*p_) < 0x80 && Has(*p_, kNameClass)) ++p_;
      if (p_ >= end_ || uint8_t(*p_) < 0x80) break;
      n = NameCharAt(p_, end_, false);
      if (n == 0) break;
      p_ += n;
    }
    return {start, size_t(p_ - start)};
  }
  std::string_view RequireName(uint32_t code) {
    std::string_view name = ScanName();
    if (name.empty()) Fail(code);
    return name;
  }

  [[noreturn]] void Fail(uint32_t code, const char* at = nullptr, std::string message = {}) {
    uint32_t line, column;
    Locate(at ? at : p_, line, column);
    throw ParsingException(code, line, column, std::move(message));
  }
  [[noreturn]] void FailRef(std::string_view name, const char* at, std::string message) {
    uint32_t line, column;
    Locate(at, line, column);
    throw InvalidRefException(std::string(name), line, column, std::move(message));
  }
  void Locate(const char* at, uint32_t& line, uint32_t& column) const {
    at = std::clamp(at, begin_, end_);
    PositionOf(std::string_view(begin_, size_t(end_ - begin_)), size_t(at - begin_), line, column);
  }

  // ---- Declaration, comments, processing instructions, CDATA

  void ParseXmlDeclaration() {
    p_ += 5;
    bool spaced = SkipSpace();
    if (!spaced || !SkipWord("version")) Fail(kErrorBadVersion);
    std::string version = PseudoAttributeValue(kErrorBadVersion, kErrorBadVersion);
    bool valid = version.size() > 2 && version.compare(0, 2, "1.") == 0 &&
                 std::all_of(version.begin() + 2, version.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!valid) Fail(kErrorBadVersion, p_ - 1);
    doc_->has_declaration = true;
    doc_->version = version;
    spaced = SkipSpace();
    if (LookingAt("encoding")) {
      if (!spaced || !SkipWord("encoding")) Fail(kErrorDeclarationNotClosed);
      const char* at = p_;
      std::string encoding = PseudoAttributeValue(kErrorEncodingNotQuoted, kErrorBadEncoding);
      bool ok = !encoding.empty() && ((encoding[0] >= 'A' && encoding[0] <= 'Z') || (encoding[0] >= 'a' && encoding[0] <= 'z'));
      for (char c : encoding)
        ok = ok && (Has(c, kNameClass) && c != ':' && uint8_t(c) < 0x80);
      if (!ok) Fail(kErrorBadEncoding, at);
      doc_->encoding = encoding;
      spaced = SkipSpace();
    }
    if (LookingAt("standalone")) {
      if (!spaced || !SkipWord("standalone")) Fail(kErrorDeclarationNotClosed);
      const char* at = p_;
      std::string value = PseudoAttributeValue(kErrorStandaloneNotQuoted, kErrorBadStandalone);
      if (value != "yes" && value != "no") Fail(kErrorBadStandalone, at);
      doc_->has_standalone = true;
      doc_->standalone = value == "yes";
      SkipSpace();
    }
    if (!Skip("?>")) Fail(kErrorDeclarationNotClosed);
  }

  // `= "value"` of the declaration; the value stops at the quote or at anything that can't be in
  // a pseudo-attribute (markup), which fails with `bad_code`.
  std::string PseudoAttributeValue(uint32_t unquoted_code, uint32_t bad_code) {
    SkipSpace();
    Expect('=', kErrorMissingEquals);
    SkipSpace();
    char quote = Peek();
    if (quote != '"' && quote != '\'') Fail(unquoted_code);
    ++p_;
    const char* start = p_;
    while (p_ < end_ && *p_ != quote) {
      if (*p_ == '<' || *p_ == '>' || *p_ == '?' || IsSpace(*p_)) Fail(bad_code);
      ++p_;
    }
    if (AtEnd()) Fail(bad_code);
    std::string value(start, p_);
    ++p_;
    return value;
  }

  // Comments and processing instructions of the internal subset are checked and dropped.
  std::unique_ptr<Node> ParseComment() {
    p_ += 4;
    const char* start = p_;
    for (;;) {
      const char* dash = static_cast<const char*>(std::memchr(p_, '-', size_t(end_ - p_)));
      if (!dash) {
        p_ = end_;
        Fail(kErrorEndInMarkup);
      }
      p_ = dash;
      if (Peek(1) != '-') {
        ++p_;
        continue;
      }
      if (Peek(2) != '>') Fail(p_ + 2 >= end_ ? kErrorEndInMarkup : kErrorDoubleHyphenInComment, p_ + 2);
      auto comment = std::make_unique<Comment>(Lines(start, p_));
      p_ += 3;
      return comment;
    }
  }

  std::unique_ptr<Node> ParsePi() {
    p_ += 2;
    const char* at = p_;
    std::string_view target = ScanName();
    if (target.empty()) Fail(kErrorPiWithoutTarget);
    if (EqualsIgnoringCase(target, "xml")) Fail(kErrorReservedPiTarget, at);
    const char* data = p_;
    if (!LookingAt("?>")) {
      if (AtEnd()) Fail(kErrorEndInMarkup);
      RequireSpace(kErrorPiWithoutTarget);
      data = p_;
      for (;;) {
        const char* q = static_cast<const char*>(std::memchr(p_, '?', size_t(end_ - p_)));
        if (!q) {
          p_ = end_;
          Fail(kErrorEndInMarkup);
        }
        p_ = q;
        if (Peek(1) == '>') break;
        ++p_;
      }
    }
    auto pi = std::make_unique<Pi>(target, Lines(data, p_));
    p_ += 2;
    return pi;
  }

  std::unique_ptr<Node> ParseCData() {
    p_ += 9;
    const char* start = p_;
    for (;;) {
      const char* q = static_cast<const char*>(std::memchr(p_, ']', size_t(end_ - p_)));
      if (!q) {
        p_ = end_;
        Fail(kErrorEndInMarkup);
      }
      p_ = q;
      if (LookingAt("]]>")) break;
      ++p_;
    }
    auto cdata = std::make_unique<CData>(Lines(start, p_));
    p_ += 3;
    return cdata;
  }

  // ---- Document type declaration

  void ParseDoctype() {
    DocumentType& doctype = doc_->doctype;
    doc_->doctype_position = doc_->GetChildCount();
    p_ += 9;
    RequireSpace(kErrorBadDoctype);
    doctype.name = RequireName(kErrorBadDoctype);
    doctype.present = true;
    bool spaced = SkipSpace();
    if (LookingAt("SYSTEM") || LookingAt("PUBLIC")) {
      if (!spaced) Fail(kErrorBadDoctype);
      if (!ParseExternalId(doctype.public_id, doctype.system_id, false)) Fail(kErrorBadDoctype);
      SkipSpace();
    }
    if (Peek() == '[') {
      ++p_;
      const char* start = p_;
      ParseInternalSubset();
      doctype.has_internal_subset = true;
      doctype.internal_subset = Lines(start, p_ - 1);
      SkipSpace();
    }
    Expect('>', kErrorBadDoctype);
  }

  // SYSTEM literal, or PUBLIC literal [literal]; in a notation the system literal may be missing.
  bool ParseExternalId(std::string& public_id, std::string& system_id, bool in_notation) {
    if (SkipWord("SYSTEM")) {
      RequireSpace(kErrorBadExternalId);
      system_id = Literal(kErrorBadExternalId);
      return true;
    }
    if (!SkipWord("PUBLIC")) return false;
    uint32_t bad = in_notation ? kErrorBadNotationPublicId : kErrorBadExternalId;
    RequireSpace(bad);
    char quote = Peek();
    if (quote != '"' && quote != '\'') Fail(bad);
    ++p_;
    const char* start = p_;
    while (p_ < end_ && *p_ != quote) {
      if (!Has(*p_, kPubidClass) || uint8_t(*p_) >= 0x80) Fail(kErrorBadPublicIdChar);
      ++p_;
    }
    if (AtEnd()) Fail(kErrorEndInLiteral);
    public_id.assign(start, p_);
    ++p_;
    bool spaced = SkipSpace();
    char next = Peek();
    if (next == '"' || next == '\'') {
      if (!spaced) Fail(bad);
      system_id = Literal(bad);
    } else if (!in_notation) {
      Fail(bad);
    }
    return true;
  }

  std::string Literal(uint32_t unquoted_code) {
    char quote = Peek();
    if (quote != '"' && quote != '\'') Fail(unquoted_code);
    ++p_;
    const char* close = static_cast<const char*>(std::memchr(p_, quote, size_t(end_ - p_)));
    if (!close) {
      p_ = end_;
      Fail(kErrorEndInLiteral);
    }
    std::string value = Lines(p_, close);
    p_ = close + 1;
    return value;
  }

  void ParseInternalSubset() {
    for (;;) {
      SkipSpace();
      if (AtEnd()) Fail(kErrorBadDoctype);
      if (*p_ == ']') {
        ++p_;
        return;
      }
      if (*p_ == '%') {
        ++p_;
        if (ScanName().empty() || Peek() != ';') Fail(kErrorBadParameterReference);
        ++p_;
      } else if (LookingAt("<!--")) {
        ParseComment();
      } else if (LookingAt("<?")) {
        ParsePi();
      } else if (Skip("<!ELEMENT")) {
        ParseElementDecl();
      } else if (Skip("<!ATTLIST")) {
        ParseAttlistDecl();
      } else if (Skip("<!ENTITY")) {
        ParseEntityDecl();
      } else if (Skip("<!NOTATION")) {
        ParseNotationDecl();
      } else {
        Fail(kErrorBadDoctype);
      }
    }
  }

  void ParseElementDecl() {
    RequireSpace(kErrorBadElementDecl);
    RequireName(kErrorBadElementDecl);
    RequireSpace(kErrorBadElementDecl);
    if (SkipWord("EMPTY") || SkipWord("ANY")) {
    } else if (Peek() == '(') {
      ++p_;
      SkipSpace();
      if (Skip("#PCDATA")) {
        ParseMixedContent();
      } else {
        ParseChildrenContent();
      }
    } else {
      Fail(kErrorBadElementDecl);
    }
    SkipSpace();
    Expect('>', kErrorBadElementDecl);
  }

  // After "(#PCDATA": ( '|' Name )* then ")*", or just ")" when no names follow.
  void ParseMixedContent() {
    bool names = false;
    for (;;) {
      SkipSpace();
      if (Peek() == ')') {
        ++p_;
        if (Peek() == '*') {
          ++p_;
        } else if (names) {
          Fail(kErrorBadElementDecl);
        }
        return;
      }
      Expect('|', kErrorBadElementDecl);
      SkipSpace();
      RequireName(kErrorBadElementDecl);
      names = true;
    }
  }

  // After the first "(": nested choices and sequences, kept on a stack of their separators.
  void ParseChildrenContent() {
    std::vector<char> separators{'\0'};
    auto occurrence = [&] {
      if (Peek() == '?' || Peek() == '*' || Peek() == '+') ++p_;
    };
    for (;;) {
      SkipSpace();
      if (Peek() == '(') {
        ++p_;
        separators.push_back('\0');
        continue;
      }
      if (ScanName().empty()) Fail(kErrorContentParticleExpected);
      occurrence();
      for (;;) {
        SkipSpace();
        char c = Peek();
        if (c == '|' || c == ',') {
          char& list = separators.back();
          if (list == '\0') list = c;
          if (list != c) Fail(list == '|' ? kErrorChoiceThenOtherSeparator : kErrorSequenceThenOtherSeparator);
          ++p_;
          break;
        }
        if (c != ')') Fail(kErrorBadElementDecl);
        ++p_;
        occurrence();
        separators.pop_back();
        if (separators.empty()) return;
      }
    }
  }

  void ParseAttlistDecl() {
    RequireSpace(kErrorBadAttlistDecl);
    RequireName(kErrorBadAttlistDecl);
    for (;;) {
      bool spaced = SkipSpace();
      if (Peek() == '>') {
        ++p_;
        return;
      }
      if (!spaced || ScanName().empty()) Fail(kErrorBadAttlistDecl);
      RequireSpace(kErrorBadAttributeDef);
      ParseAttributeType();
      RequireSpace(kErrorBadAttributeDef);
      ParseDefaultDecl();
    }
  }

  void ParseAttributeType() {
    if (Peek() == '(') {
      ++p_;
      ParseNameList(kErrorBadEnumeration, false);
      return;
    }
    const char* at = p_;
    std::string_view type = ScanName();
    if (type == "NOTATION") {
      RequireSpace(kErrorBadNotationType);
      Expect('(', kErrorBadNotationType);
      ParseNameList(kErrorBadNotationType, true);
      return;
    }
    static constexpr std::string_view kTypes[] = {"CDATA", "ID", "IDREF", "IDREFS", "ENTITY",
                                                  "ENTITIES", "NMTOKEN", "NMTOKENS"};
    if (std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes)) Fail(kErrorBadAttributeDef, at);
  }

  // After "(": names (or name tokens) separated by '|', then ")".
  void ParseNameList(uint32_t code, bool names) {
    for (;;) {
      SkipSpace();
      if (ScanName(names).empty()) Fail(code);
      SkipSpace();
      if (Peek() == ')') {
        ++p_;
        return;
      }
      Expect('|', code);
    }
  }

  void ParseDefaultDecl() {
    if (Peek() == '#') {
      ++p_;
      if (SkipWord("REQUIRED") || SkipWord("IMPLIED")) return;
      if (!SkipWord("FIXED")) Fail(kErrorBadDefaultDecl);
      RequireSpace(kErrorBadDefaultDecl);
    }
    char quote = Peek();
    if (quote != '"' && quote != '\'') Fail(kErrorBadDefaultDecl);
    ParseAttributeValue(nullptr);
  }

  void ParseEntityDecl() {
    RequireSpace(kErrorBadEntityDecl);
    bool parameter = false;
    if (Peek() == '%') {
      ++p_;
      RequireSpace(kErrorBadEntityDecl);
      parameter = true;
    }
    std::string name(RequireName(kErrorBadEntityDecl));
    RequireSpace(kErrorBadEntityDecl);
    EntityDeclaration entity;
    char quote = Peek();
    if (quote == '"' || quote == '\'') {
      entity.value = EntityValue();
    } else if (ParseExternalId(entity.public_id, entity.system_id, false)) {
      entity.external = true;
      bool spaced = SkipSpace();
      if (LookingAt("NDATA")) {
        if (!spaced || parameter || !SkipWord("NDATA")) Fail(kErrorBadNData);
        RequireSpace(kErrorBadNData);
        entity.notation = RequireName(kErrorBadNData);
      }
    } else {
      Fail(kErrorBadEntityDecl);
    }
    SkipSpace();
    Expect('>', kErrorBadEntityDecl);
    // The first declaration of a name binds.
    if (!parameter) doc_->doctype.entities.try_emplace(std::move(name), std::move(entity));
  }

  // The quoted literal with character references resolved; entity references stay as written and
  // are resolved where the entity is used.
  std::string EntityValue() {
    char quote = *p_++;
    std::string value;
    const char* run = p_;
    for (;;) {
      if (AtEnd()) Fail(kErrorEndInMarkup);
      char c = *p_;
      if (c == quote) break;
      if (c == '%') Fail(kErrorBadEntityDecl);  // parameter references belong between declarations
      if (c != '&') {
        ++p_;
        continue;
      }
      AppendLines(value, run, p_);
      const char* at = p_;
      if (Peek(1) == '#') {
        AppendUtf8(value, CharReference());
      } else {
        ++p_;
        if (ScanName().empty() || Peek() != ';') Fail(kErrorBadReference);
        ++p_;
        value.append(at, p_);
      }
      run = p_;
    }
    AppendLines(value, run, p_);
    ++p_;
    return value;
  }

  void ParseNotationDecl() {
    RequireSpace(kErrorBadNotationDecl);
    RequireName(kErrorBadNotationDecl);
    RequireSpace(kErrorBadNotationDecl);
    std::string public_id, system_id;
    if (!ParseExternalId(public_id, system_id, true)) Fail(kErrorBadNotationDecl);
    SkipSpace();
    Expect('>', kErrorBadNotationDecl);
  }

  // ---- Elements

  // Elements are kept on an explicit stack, so nesting depth costs heap, not call stack. The
  // nodes of open elements wait in `pending_` (an element, then its content so far) and move into
  // their element in one step when it closes, so each child list is allocated once at its size.
  void ParseElementTree() {
    std::vector<Element*> open;
    std::vector<size_t> marks;
    if (Element* root = ParseStartTag()) {
      open.push_back(root);
      marks.push_back(pending_.size());
    }
    while (!open.empty()) {
      Element& current = *open.back();
      ParseText();
      if (AtEnd()) Fail(kErrorEndInLiteral);
      // At '<'.
      char next = Peek(1);
      if (next == '/') {
        p_ += 2;
        const char* at = p_;
        std::string_view name = ScanName();
        if (name.empty()) Fail(kErrorTagWithoutName);
        if (name != current.GetName()) Fail(kErrorMismatchedEndTag, at);
        SkipSpace();
        Expect('>', kErrorTagNotClosed);
        current.AdoptChildren(pending_, marks.back());
        open.pop_back();
        marks.pop_back();
      } else if (next == '!') {
        if (LookingAt("<!--")) {
          pending_.push_back(ParseComment());
        } else if (LookingAt("<![CDATA[")) {
          pending_.push_back(ParseCData());
        } else {
          Fail(kErrorBadMarkupInContent);
        }
      } else if (next == '?') {
        pending_.push_back(ParsePi());
      } else if (NameCharAt(p_ + 1, end_, true)) {
        if (Element* child = ParseStartTag()) {
          open.push_back(child);
          marks.push_back(pending_.size());
        }
      } else {
        Fail(kErrorBadMarkupInContent, p_ + 1);
      }
    }
    doc_->AdoptChildren(pending_, 0);
  }

  // At '<' and a name start: the element joins `pending_`. It is returned when it has content to
  // come, null for "/>".
  Element* ParseStartTag() {
    ++p_;
    pending_.push_back(std::make_unique<Element>(ScanName()));
    Element& element = static_cast<Element&>(*pending_.back());
    for (;;) {
      bool spaced = SkipSpace();
      if (AtEnd()) Fail(kErrorTagNotClosed);
      char c = *p_;
      if (c == '>') {
        ++p_;
        return &element;
      }
      if (c == '/') {
        ++p_;
        Expect('>', kErrorSlashWithoutGreater);
        return nullptr;
      }
      if (!spaced) Fail(kErrorTagNotClosed);
      std::string_view name = ScanName();
      if (name.empty()) Fail(kErrorTagNotClosed);
      Attribute& attribute = element.AddAttribute(name);
      SkipSpace();
      Expect('=', kErrorMissingEquals);
      SkipSpace();
      if (Peek() != '"' && Peek() != '\'') Fail(kErrorUnquotedAttribute);
      ParseAttributeValue(&attribute);
      if (name == "xml:space" && attribute.GetText() == "preserve") element.set_preserves_space(true);
    }
  }

  // At the opening quote. Without `into` (a default value in a declaration) only checked.
  void ParseAttributeValue(Attribute* into) {
    char quote = *p_++;
    const char* run = p_;
    while (p_ < end_ && !Has(*p_, kAttributeStopClass)) ++p_;
    if (p_ < end_ && *p_ == quote) {  // the common value: plain text
      if (into && p_ > run) into->Add<Text>(std::string_view(run, size_t(p_ - run)));
      ++p_;
      return;
    }
    std::string& text = scratch_;
    text.assign(run, p_);
    auto flush = [&] {
      if (into && !text.empty()) into->Add<Text>(text);
      text.clear();
    };
    for (;;) {
      if (AtEnd()) Fail(kErrorEndInLiteral);
      char c = *p_;
      if (c == quote) {
        ++p_;
        flush();
        return;
      }
      if (c == '<') Fail(kErrorLessThanInAttribute);
      if (c == '\r') {
        text += '\n';
        ++p_;
        if (Peek() == '\n') ++p_;
      } else if (c == '&') {
        flush();
        std::unique_ptr<Node> reference = ParseReference(true);
        if (into) into->Append(std::move(reference));
      } else {
        text += c;  // the other quote
        ++p_;
      }
      run = p_;
      while (p_ < end_ && !Has(*p_, kAttributeStopClass)) ++p_;
      text.append(run, p_);
    }
  }

  // Content text up to the next '<' or the end, with its references, into `pending_`.
  void ParseText() {
    const char* run = p_;
    while (p_ < end_ && !Has(*p_, kTextStopClass)) ++p_;
    if (p_ >= end_ || *p_ == '<') {  // the common text: one plain run
      if (p_ > run) pending_.push_back(std::make_unique<Text>(std::string_view(run, size_t(p_ - run))));
      return;
    }
    std::string& text = scratch_;
    text.assign(run, p_);
    auto flush = [&] {
      if (!text.empty()) pending_.push_back(std::make_unique<Text>(text));
      text.clear();
    };
    while (p_ < end_ && *p_ != '<') {
      char c = *p_;
      if (c == ']') {
        if (LookingAt("]]>")) Fail(kErrorCDataEndInContent);
        text += c;
        ++p_;
      } else if (c == '\r') {
        text += '\n';
        ++p_;
        if (Peek() == '\n') ++p_;
      } else {
        flush();
        pending_.push_back(ParseReference(false));
      }
      run = p_;
      while (p_ < end_ && !Has(*p_, kTextStopClass)) ++p_;
      text.append(run, p_);
    }
    flush();
  }

  // ---- References

  // At "&#": the character's code point; p_ ends after the ';'.
  uint32_t CharReference() {
    const char* at = p_;
    p_ += 2;
    bool hex = Peek() == 'x';
    if (hex) ++p_;
    uint32_t value = 0;
    const char* digits = p_;
    for (;; ++p_) {
      char c = Peek();
      uint32_t d;
      if (c >= '0' && c <= '9') {
        d = uint32_t(c - '0');
      } else if (hex && c >= 'a' && c <= 'f') {
        d = uint32_t(c - 'a' + 10);
      } else if (hex && c >= 'A' && c <= 'F') {
        d = uint32_t(c - 'A' + 10);
      } else {
        break;
      }
      value = std::min<uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
    }
    if (p_ == digits) Fail(hex ? kErrorNoHexDigits : kErrorNoDecimalDigits);
    if (Peek() != ';') Fail(kErrorBadReference);
    ++p_;
    if (!IsXmlChar(value))
      Fail(kErrorEndInMarkup, at, value == 0 ? "a character reference to 0" : "a reference to a character XML does not allow");
    return value;
  }

  // At '&': a CharRef or an EntityRef.
  std::unique_ptr<Node> ParseReference(bool in_attribute) {
    const char* at = p_;
    if (Peek(1) == '#') return std::make_unique<CharRef>(CharReference());
    ++p_;
    std::string_view name = ScanName();
    if (name.empty() || Peek() != ';') Fail(kErrorBadReference);
    ++p_;
    if (const char* predefined = Predefined(name)) return std::make_unique<EntityRef>(name, predefined);
    const Expansion& expansion = Expand(name, at, in_attribute, 0);
    if (in_attribute && expansion.has_markup)
      Fail(kErrorLessThanInAttribute, at, "an entity with '<' in an attribute value");
    if (expansion.text.size() > expansion_left_) FailRef(name, at, "entity references expand beyond the limit");
    expansion_left_ -= expansion.text.size();
    return std::make_unique<EntityRef>(name, expansion.text);
  }

  // The replacement of a declared entity, its own references resolved (memoised per name).
  const Expansion& Expand(std::string_view name, const char* at, bool in_attribute, int depth) {
    const auto& entities = doc_->doctype.entities;
    auto declared = entities.find(name);
    if (declared == entities.end()) FailRef(name, at, "no entity named '" + std::string(name) + "' is declared");
    const EntityDeclaration& entity = declared->second;
    if (!entity.notation.empty()) FailRef(name, at, "a reference to an unparsed entity");
    if (entity.external && in_attribute) FailRef(name, at, "a reference to an external entity in an attribute value");
    if (auto done = expanded_.find(name); done != expanded_.end()) return done->second;
    if (std::find(expanding_.begin(), expanding_.end(), name) != expanding_.end())
      FailRef(name, at, "the entity '" + std::string(name) + "' refers to itself");
    if (depth >= kMaxEntityNesting) FailRef(name, at, "entity references nest too deep");
    expanding_.emplace_back(name);

    Expansion result;
    const std::string& value = entity.value;
    for (size_t i = 0; i < value.size();) {
      char c = value[i];
      if (c != '&') {
        if (c == '<') result.has_markup = true;
        result.text += c;
        ++i;
        continue;
      }
      size_t semicolon = value.find(';', i);
      if (semicolon == std::string::npos) Fail(kErrorBadReference, at, "a malformed reference in an entity's text");
      std::string_view inner(value.data() + i + 1, semicolon - i - 1);
      if (!inner.empty() && inner[0] == '#') {
        result.text += ResolveCharReference(inner.substr(1), at);
      } else if (const char* predefined = Predefined(inner)) {
        result.text += predefined;
      } else {
        if (inner.empty() || NameLength(inner) != inner.size())
          Fail(kErrorBadReference, at, "a malformed reference in an entity's text");
        const Expansion& nested = Expand(inner, at, in_attribute, depth + 1);
        result.has_markup = result.has_markup || nested.has_markup;
        result.text += nested.text;
      }
      if (result.text.size() > expansion_left_) FailRef(name, at, "entity references expand beyond the limit");
      i = semicolon + 1;
    }
    expanding_.pop_back();
    return expanded_.emplace(std::string(name), std::move(result)).first->second;
  }

  size_t NameLength(std::string_view text) const {
    const char* p = text.data();
    const char* end = p + text.size();
    size_t n = NameCharAt(p, end, true);
    if (n == 0) return 0;
    for (p += n; (n = NameCharAt(p, end, false)) != 0;) p += n;
    return size_t(p - text.data());
  }

  // "65" or "x41" from a reference that a character reference in an entity value produced.
  std::string ResolveCharReference(std::string_view digits, const char* at) {
    bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (digits.empty()) Fail(hex ? kErrorNoHexDigits : kErrorNoDecimalDigits, at);
    uint32_t value = 0;
    for (char c : digits) {
      uint32_t d;
      if (c >= '0' && c <= '9') {
        d = uint32_t(c - '0');
      } else if (hex && c >= 'a' && c <= 'f') {
        d = uint32_t(c - 'a' + 10);
      } else if (hex && c >= 'A' && c <= 'F') {
        d = uint32_t(c - 'A' + 10);
      } else {
        Fail(kErrorBadReference, at);
      }
      value = std::min<uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
    }
    if (!IsXmlChar(value)) Fail(kErrorEndInMarkup, at, "a reference to a character XML does not allow");
    std::string out;
    AppendUtf8(out, value);
    return out;
  }

  const char* const begin_;
  const char* p_;
  const char* const end_;
  size_t expansion_left_;
  std::unique_ptr<Document> doc_;
  std::vector<std::unique_ptr<Node>> pending_;
  std::string scratch_;  // text in the making, kept for its capacity
  std::map<std::string, Expansion, std::less<>> expanded_;
  std::vector<std::string> expanding_;
};

// ---- Encodings

// A 16- or 32-bit Unicode form told by the byte-order mark or by how "<?" is spelt at the start
// (the autodetection of the XML recommendation's appendix F); the mark's length goes to `mark`.
std::string_view WideFormOf(std::string_view bytes, size_t& mark) {
  auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  mark = 0;
  if (starts("\x00\x00\xFE\xFF"sv)) return mark = 4, "UTF-32BE";
  if (starts("\xFF\xFE\x00\x00"sv)) return mark = 4, "UTF-32LE";
  if (starts("\xFE\xFF"sv)) return mark = 2, "UTF-16BE";
  if (starts("\xFF\xFE"sv)) return mark = 2, "UTF-16LE";
  if (starts("\x00\x00\x00<"sv)) return "UTF-32BE";
  if (starts("<\x00\x00\x00"sv)) return "UTF-32LE";
  if (starts("\x00<\x00?"sv)) return "UTF-16BE";
  if (starts("<\x00?\x00"sv)) return "UTF-16LE";
  return {};
}

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

// Where the XML declaration at the start of 8-bit text names its encoding: the value's offset and
// length, or npos when there is no declaration or it names none. Malformed declarations are left
// to the reader, which reports them where they are.
size_t DeclaredEncoding(std::string_view text, size_t& length) {
  if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsSpace(text[5])) return std::string_view::npos;
  size_t end = text.find("?>");
  std::string_view declaration = text.substr(0, end);
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::string_view::npos;
  at += 8;
  while (at < declaration.size() && IsSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return std::string_view::npos;
  ++at;
  while (at < declaration.size() && IsSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return std::string_view::npos;
  size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string_view::npos || close == at + 1) return std::string_view::npos;
  std::string_view name = declaration.substr(at + 1, close - at - 1);
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0])) return std::string_view::npos;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-') return std::string_view::npos;
  length = name.size();
  return at + 1;
}

[[noreturn]] void FailEncoding(std::string_view text, size_t offset, std::string message) {
  uint32_t line, column;
  PositionOf(text, offset, line, column);
  throw ParsingException(kErrorUnknownEncoding, line, column, std::move(message));
}

bool NamesWideForm(std::string_view name) {
  if (name.size() < 5) return false;
  std::string_view family = name.substr(0, 5);
  return SameName(family, "UTF-1") || SameName(family, "UTF-3") || SameName(family, "UCS-2") ||
         SameName(family, "UCS-4") || SameName(name, "ISO-10646-UCS-2") || SameName(name, "ISO-10646-UCS-4");
}

// Characters that XML never allows, whatever escapes or encodings: the C0 controls other than tab,
// line feed and carriage return, and U+FFFE and U+FFFF.
void CheckCharacters(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t c = uint8_t(text[i]);
    bool forbidden = (c < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
                     (c == 0xEF && i + 2 < text.size() && uint8_t(text[i + 1]) == 0xBF && (uint8_t(text[i + 2]) & 0xFE) == 0xBE);
    if (!forbidden) continue;
    uint32_t line, column;
    PositionOf(text, i, line, column);
    throw ParsingException(kErrorForbiddenCharacter, line, column);
  }
}

// The text the reader sees: UTF-8, cut at the first NUL. `storage` holds it when it had to be
// converted.
std::string_view DecodeInput(std::string_view bytes, std::string& storage) {
  size_t mark = 0;
  std::string_view text = bytes;
  size_t length = 0;
  if (std::string_view wide = WideFormOf(bytes, mark); !wide.empty()) {
    ConvertToUtf8(bytes.substr(mark), wide, storage);
    text = std::string_view(storage).substr(0, storage.find('\0'));
    size_t at = DeclaredEncoding(text, length);
    if (at != std::string_view::npos && !NamesWideForm(text.substr(at, length)))
      FailEncoding(text, at, "the document declares " + std::string(text.substr(at, length)) + " but is written in " +
                                 std::string(wide));
  } else {
    text = text.substr(0, text.find('\0'));
    size_t at = DeclaredEncoding(text, length);
    std::string_view name = at == std::string_view::npos ? std::string_view() : text.substr(at, length);
    // A UTF-8 mark wins over the declaration, as it does for every other reader of the file.
    bool plain = name.empty() || text.substr(0, 3) == "\xEF\xBB\xBF" || SameName(name, "UTF-8") ||
                 SameName(name, "UTF8") || SameName(name, "US-ASCII") || SameName(name, "ASCII") ||
                 SameName(name, "ISO-10646-UTF-8") || SameName(name, "ISO-646");
    if (!plain) {
      if (NamesWideForm(name))
        FailEncoding(text, at, "the document declares " + std::string(name) + " but is written in 8-bit characters");
      if (!ConvertToUtf8(text, name, storage))
        FailEncoding(text, at, "unknown encoding \"" + std::string(name) + "\"");
      text = std::string_view(storage).substr(0, storage.find('\0'));
    }
  }
  CheckCharacters(text);
  return text;
}

}  // namespace

std::string_view DescribeError(uint32_t code) {
  static constexpr std::string_view kDescriptions[] = {
      "",
      "the input ends inside a quoted literal, an attribute value or element content",
      "the input ends inside a comment, processing instruction, CDATA section or entity value, or a "
      "character reference names a character that XML does not allow",
      "'=' is missing after an attribute name",
      "an attribute value is not quoted",
      "'<' inside an attribute value",
      "';' is missing after a reference, or the reference can't be parsed",
      "'&#x' without hexadecimal digits",
      "'&#' without decimal digits",
      "an entity reference that can't be resolved",
      "'<' or '</' is not followed by a name",
      "'/' in a start tag is not followed by '>'",
      "a tag is not closed by '>'",
      "an end tag's name differs from its element's",
      "'<' in content starts no tag, comment, CDATA section or processing instruction",
      "']]>' in content",
      "no root element",
      "the XML declaration has no valid version",
      "the XML declaration is not closed by '?>'",
      "the encoding value is not quoted",
      "the encoding value is malformed",
      "the standalone value is not quoted",
      "the standalone value is neither \"yes\" nor \"no\"",
      "'--' inside a comment is not followed by '>'",
      "a processing instruction without a target",
      "a processing instruction whose target is 'xml'",
      "malformed document type declaration",
      "'%' is not followed by a name and ';'",
      "invalid character in a public identifier",
      "malformed element type declaration",
      "a choice list in a content model continues with ','",
      "a sequence in a content model continues with '|'",
      "a content particle is expected in a content model",
      "malformed attribute-list declaration",
      "malformed attribute definition",
      "malformed NOTATION attribute type",
      "malformed enumerated attribute type",
      "malformed default declaration",
      "malformed entity declaration",
      "malformed NDATA notation reference",
      "malformed notation declaration",
      "malformed SYSTEM or PUBLIC identifier",
      "malformed PUBLIC identifier in a notation declaration",
      "content after the root element",
      "the declared encoding is unknown, or does not fit the document's bytes",
      "a character that XML does not allow",
  };
  return code < std::size(kDescriptions) ? kDescriptions[code] : std::string_view();
}

ParsingException::ParsingException(uint32_t code, uint32_t line, uint32_t column, std::string message)
    : Exception(message.empty() ? std::string(DescribeError(code)) : std::move(message)),
      code_(code),
      line_(line),
      column_(column) {}

InvalidRefException::InvalidRefException(std::string name, uint32_t line, uint32_t column, std::string message)
    : ParsingException(kErrorUnresolvedEntity, line, column, std::move(message)), name_(std::move(name)) {}

std::unique_ptr<Document> Parser::Parse(const char* text, size_t length) {
  if (!text) text = "", length = 0;
  std::string converted;
  std::string_view input = DecodeInput(std::string_view(text, length), converted);
  Reader reader(input.data(), input.size(), expansion_limit_);
  return reader.Run();
}

void PositionOf(std::string_view text, size_t offset, uint32_t& line, uint32_t& column) {
  line = 1;
  column = 1;
  offset = std::min(offset, text.size());
  for (size_t i = 0; i < offset; ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < offset && text[i + 1] == '\n') continue;  // the LF ends the line
    if (c == '\n' || c == '\r') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
}

}  // namespace lectern::AdvXMLParser
