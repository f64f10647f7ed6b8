// The search's judgement of one page: the first line holds the query, the rest is the page's bytes
// (8-bit in any declared code page, or UTF-16 after its mark). The declared charset must be one of
// the names the converter knows, and a matcher reused from page to page judges alike each time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "panes/page_charset.h"
#include "panes/query_words.h"
#include "panes/search_engine.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t line_end = input.find('\n');
  std::string_view query = input.substr(0, line_end);
  std::string_view page = line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

  std::string_view charset = lectern::DeclaredLegacyCharset(page);
  if (!charset.empty()) {
    std::string converted;
    // Every name it answers is one the conversion takes; what a page's bytes make of it may fail.
    if (!lectern::ConvertToUtf8("abc", charset, converted) || converted != "abc") std::abort();
  }
  lectern::PageMatcher matcher(lectern::SearchWords(query));
  std::string title, again;
  bool first = matcher.Match(page, title);
  if (matcher.Match("<html><title>other</title></html>", again) && again != "other") std::abort();
  if (matcher.Match(page, again) != first || again != title) std::abort();
  return 0;
}
