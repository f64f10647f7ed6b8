#include "panes/hit_snippet.h"

#include <cctype>
#include <cstring>

#include "book/xml/utf8.h"
#include "panes/case_fold.h"
#include "panes/page_charset.h"
#include "platform/com.h"

namespace lectern {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsContinuation(char c) { return (uint8_t(c) & 0xC0) == 0x80; }

// ASCII case ignored, for tag names.
bool StartsWithFolded(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[at + i];
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

// Where the element that opens at `at` ends, past its closing tag; npos when it never closes.
size_t SkipElement(std::string_view html, size_t at, std::string_view closing) {
  for (size_t i = html.find('<', at); i != html.npos; i = html.find('<', i + 1)) {
    if (StartsWithFolded(html, i, closing)) {
      size_t end = html.find('>', i);
      return end == html.npos ? html.npos : end + 1;
    }
  }
  return html.npos;
}

// A character reference at `at` ("&...;"): appends what it stands for and returns its length, or
// 0 when it is none this line knows.
size_t AppendReference(std::string_view html, size_t at, std::string& out) {
  size_t end = html.find(';', at);
  if (end == html.npos || end - at > 10) return 0;
  std::string_view name = html.substr(at + 1, end - at - 1);
  static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '}};
  for (const auto& [named, c] : kNamed) {
    if (name == named) {
      AdvXMLParser::AppendUtf8(out, c);
      return end - at + 1;
    }
  }
  if (name.size() < 2 || name[0] != '#') return 0;
  bool hex = name[1] == 'x' || name[1] == 'X';
  char32_t c = 0;
  for (char d : name.substr(hex ? 2 : 1)) {
    int digit = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                                               : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
    if (digit < 0 || c > 0x10FFFF) return 0;
    c = c * (hex ? 16 : 10) + char32_t(digit);
  }
  if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  AdvXMLParser::AppendUtf8(out, c);
  return end - at + 1;
}

// The page as text the reader can see: UTF-16 and declared code pages converted to UTF-8.
std::string PageText(std::string_view content) {
  if (content.size() > 2 && uint8_t(content[0]) == 0xFF && uint8_t(content[1]) == 0xFE) {
    std::u16string wide;
    for (size_t i = 2; i + 1 < content.size(); i += 2) {
      char16_t unit = char16_t(uint8_t(content[i]) | uint8_t(content[i + 1]) << 8);
      if (unit == 0) break;
      wide.push_back(unit);
    }
    return WideToUtf8(wide);
  }
  const void* zero = std::memchr(content.data(), 0, content.size());
  if (zero) content = content.substr(0, size_t(static_cast<const char*>(zero) - content.data()));
  std::string converted;
  std::string_view charset = DeclaredLegacyCharset(content);
  if (!charset.empty() && ConvertToUtf8(content, charset, converted)) return converted;
  return std::string(content);
}

}  // namespace

std::string PageTextWithoutMarkup(std::string_view html) {
  std::string out;
  out.reserve(html.size() / 2);
  bool space = true;  // no space at the start
  auto put_space = [&] {
    if (!space) out.push_back(' ');
    space = true;
  };
  size_t i = 0;
  while (i < html.size()) {
    char c = html[i];
    if (c == '<') {
      size_t next;
      if (html.compare(i, 4, "<!--") == 0) {
        size_t end = html.find("-->", i + 4);
        next = end == html.npos ? html.size() : end + 3;
      } else if (StartsWithFolded(html, i, "<script")) {
        next = SkipElement(html, i + 1, "</script");
      } else if (StartsWithFolded(html, i, "<style")) {
        next = SkipElement(html, i + 1, "</style");
      } else if (StartsWithFolded(html, i, "<head") && (i + 5 >= html.size() || !std::isalpha(uint8_t(html[i + 5])))) {
        next = SkipElement(html, i + 1, "</head");
      } else {
        size_t end = html.find('>', i);
        next = end == html.npos ? html.npos : end + 1;
      }
      if (next == html.npos) break;  // an unclosed tag: no text follows
      i = next;
      put_space();
      continue;
    }
    if (IsSpace(c)) {
      put_space();
      ++i;
      continue;
    }
    if (c == '&') {
      std::string reference;
      if (size_t length = AppendReference(html, i, reference)) {
        if (reference == " ") {
          put_space();
        } else {
          out += reference;
          space = false;
        }
        i += length;
        continue;
      }
    }
    out.push_back(c);
    space = false;
    ++i;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string HitSnippet(std::string_view content, const std::vector<std::string>& words, size_t width) {
  std::string text = PageTextWithoutMarkup(PageText(content));
  if (text.empty()) return text;
  std::string folded = FoldUtf8(text);
  size_t first = folded.npos;
  for (const std::string& word : words) {
    if (word.empty()) continue;
    size_t at = folded.find(FoldUtf8(word));
    if (at < first) first = at;
  }
  if (first == folded.npos) first = 0;
  // Folding keeps lengths for nearly all text; where it did not, the place is estimated.
  if (folded.size() != text.size()) first = size_t(double(first) * double(text.size()) / double(folded.size()));
  // A short lead-in: a narrow pane cuts the line's end, and the word should stay in view.
  size_t start = first > width / 6 ? first - width / 6 : 0;
  // Begin at a word where one begins close by.
  if (start > 0) {
    size_t blank = text.find(' ', start);
    if (blank != text.npos && blank < first && blank - start < width / 8) start = blank + 1;
  }
  // Cuts move to a character's start, but no further than a character's length: text that is not
  // UTF-8 may run on in stray continuation bytes.
  for (int step = 0; step < 3 && start > 0 && IsContinuation(text[start]); ++step) --start;
  size_t end = std::min(text.size(), start + width);
  for (int step = 0; step < 3 && end < text.size() && IsContinuation(text[end]); ++step) ++end;
  std::string snippet = start > 0 ? "…" : "";
  snippet.append(text, start, end - start);
  if (end < text.size()) snippet += "…";
  return snippet;
}

}  // namespace lectern
