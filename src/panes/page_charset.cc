#include "panes/page_charset.h"

#include <cstring>

namespace lectern {
namespace {

constexpr size_t kSniffLength = 8192;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

// Position of `needle` (lower-case ASCII, starting with a character that has no case) in `text`
// from `from`, ignoring ASCII case; npos if absent.
size_t FindIgnoringCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
  const size_t last = text.size() - needle.size();
  while (from <= last) {
    const void* hit = std::memchr(text.data() + from, needle[0], last - from + 1);
    if (!hit) return std::string_view::npos;
    size_t i = size_t(static_cast<const char*>(hit) - text.data());
    size_t k = 1;
    while (k < needle.size() && Lower(text[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return i;
    from = i + 1;
  }
  return std::string_view::npos;
}

// The same for a needle whose first letter has a case.
size_t FindWordIgnoringCase(std::string_view text, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Lower(text[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

struct Alias {
  std::string_view label;
  std::string_view iconv_name;
};

// Labels as pages write them (compared without regard to case) and the converter that reads them.
constexpr Alias kLegacyCharsets[] = {
    {"windows-1252", "WINDOWS-1252"}, {"cp1252", "WINDOWS-1252"},       {"x-cp1252", "WINDOWS-1252"},
    {"iso-8859-1", "WINDOWS-1252"},   {"iso8859-1", "WINDOWS-1252"},    {"iso_8859-1", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},       {"l1", "WINDOWS-1252"},           {"us-ascii", "WINDOWS-1252"},
    {"iso-8859-15", "ISO-8859-15"},   {"iso8859-15", "ISO-8859-15"},    {"iso_8859-15", "ISO-8859-15"},
    {"latin9", "ISO-8859-15"},        {"latin-9", "ISO-8859-15"},       {"l9", "ISO-8859-15"},
    {"gbk", "GBK"},                   {"gb2312", "GBK"},                {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},            {"x-gbk", "GBK"},                 {"cp936", "GBK"},
    {"windows-936", "GBK"},           {"csgb2312", "GBK"},              {"gb18030", "GB18030"},
    {"big5", "BIG5"},                 {"cn-big5", "BIG5"},              {"csbig5", "BIG5"},
    {"x-x-big5", "BIG5"},             {"big5-hkscs", "BIG5-HKSCS"},     {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},           {"sjis", "CP932"},                {"x-sjis", "CP932"},
    {"ms_kanji", "CP932"},            {"csshiftjis", "CP932"},          {"windows-31j", "CP932"},
    {"cp932", "CP932"},               {"ms932", "CP932"},               {"euc-jp", "EUC-JP"},
    {"x-euc-jp", "EUC-JP"},           {"euc-kr", "CP949"},              {"cseuckr", "CP949"},
    {"ks_c_5601-1987", "CP949"},      {"ks_c_5601-1989", "CP949"},      {"ksc5601", "CP949"},
    {"ksc_5601", "CP949"},            {"windows-949", "CP949"},         {"cp949", "CP949"},
};

std::string_view LegacyConverterFor(std::string_view label) {
  for (const Alias& alias : kLegacyCharsets) {
    if (alias.label.size() != label.size()) continue;
    size_t k = 0;
    while (k < label.size() && Lower(label[k]) == alias.label[k]) ++k;
    if (k == label.size()) return alias.iconv_name;
  }
  return {};
}

}  // namespace

std::string_view DeclaredLegacyCharset(std::string_view page) {
  std::string_view head = page.substr(0, std::min(page.size(), kSniffLength));
  for (size_t meta = FindIgnoringCase(head, "<meta", 0); meta != std::string_view::npos;
       meta = FindIgnoringCase(head, "<meta", meta + 5)) {
    size_t tag_end = head.find('>', meta);
    std::string_view tag = head.substr(meta, tag_end == std::string_view::npos ? std::string_view::npos : tag_end - meta);
    size_t at = FindWordIgnoringCase(tag, "charset");
    if (at == std::string_view::npos) continue;
    size_t i = at + 7;
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && (IsSpace(tag[i]) || tag[i] == '"' || tag[i] == '\'')) ++i;
    size_t begin = i;
    while (i < tag.size() && IsNameChar(tag[i])) ++i;
    // The first declaration decides, as it does for the browser.
    return LegacyConverterFor(tag.substr(begin, i - begin));
  }
  return {};
}

}  // namespace lectern
