// How a query text becomes words, for the search and for the search bar's keyword buttons.
//
// Words are separated by whitespace (the C library's isspace in the "C" locale). A word that starts
// with a double quote is a phrase: it runs up to the first double quote followed by whitespace or
// by the end of the text, so it may hold spaces and inner quotes; without such a quote it runs to
// the end. An empty pair of quotes is no word. Whitespace at the end of the text gives one empty
// last word (the search bar shows it as a button without text); the search drops empty words.
// Words keep their case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lectern {

// Every word of `text`, the empty last word included.
std::vector<std::string> SplitQueryWords(std::string_view text);

// The words the search looks for: SplitQueryWords without empty words.
std::vector<std::string> SearchWords(std::string_view text);

}  // namespace lectern
