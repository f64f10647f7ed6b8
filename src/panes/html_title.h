// The title of an HTML page held in memory: the text between "<title>" and "</title>", each tag
// written either all in lower case or all in upper case (mixed-case tags are not recognised). The
// text is taken unchanged: no trimming, no entity decoding. Reading stops at the first zero
// character, as for the page's text elsewhere.
#pragma once

#include <string>
#include <string_view>

#include "platform/com.h"

namespace lectern {

// Stores the title in `title` (emptied first) and returns its length in bytes; 0 without a title.
size_t FindHtmlTitle(std::string_view page, std::string& title);
// The same for a UTF-16 page; the title comes out as UTF-8 and the length counts its UTF-16 units.
size_t FindHtmlTitle(WideStringView page, std::string& title);

}  // namespace lectern
