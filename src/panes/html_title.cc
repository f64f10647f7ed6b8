#include "panes/html_title.h"

namespace lectern {
namespace {

template <typename Char>
std::basic_string_view<Char> UpToZero(std::basic_string_view<Char> text) {
  size_t zero = text.find(Char(0));
  return zero == text.npos ? text : text.substr(0, zero);
}

// The tag's text in the page's character type.
template <typename Char>
std::basic_string<Char> Tag(std::string_view ascii) {
  return std::basic_string<Char>(ascii.begin(), ascii.end());
}

template <typename Char>
std::basic_string_view<Char> TitleOf(std::basic_string_view<Char> page) {
  page = UpToZero(page);
  size_t open = page.find(Tag<Char>("<title>"));
  if (open == page.npos) open = page.find(Tag<Char>("<TITLE>"));
  if (open == page.npos) return {};
  size_t begin = open + 7;
  size_t close = page.find(Tag<Char>("</title>"), begin);
  if (close == page.npos) close = page.find(Tag<Char>("</TITLE>"), begin);
  if (close == page.npos || close <= begin) return {};
  return page.substr(begin, close - begin);
}

}  // namespace

size_t FindHtmlTitle(std::string_view page, std::string& title) {
  title.assign(TitleOf(page));
  return title.size();
}

size_t FindHtmlTitle(WideStringView page, std::string& title) {
  WideStringView wide = TitleOf(page);
  title = WideToUtf8(wide);
  return wide.size();
}

}  // namespace lectern
