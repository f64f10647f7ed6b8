// The line of text the search pane shows under a hit's title: the page's text around the first
// place one of the query's words occurs, markup removed, in UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lectern {

// `content` is the whole stored file (UTF-16 with its mark, a declared legacy code page, or 8-bit
// text as the search reads them); `words` as the query gives them. About `width` bytes of text with
// "…" where it was cut; the start of the text when no word occurs outside the markup; empty for a
// page without text.
std::string HitSnippet(std::string_view content, const std::vector<std::string>& words, size_t width = 120);

// The text of an HTML page without its tags, comments, head, scripts and style sheets, the common
// character references resolved and every run of white space made one space.
std::string PageTextWithoutMarkup(std::string_view html);

}  // namespace lectern
