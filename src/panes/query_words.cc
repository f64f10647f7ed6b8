#include "panes/query_words.h"

namespace lectern {
namespace {

// The "C" locale's isspace, without depending on the process locale.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::vector<std::string> SplitQueryWords(std::string_view text) {
  std::vector<std::string> words;
  if (text.empty()) return words;
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && IsSpace(text[i])) ++i;
    if (i < n && text[i] == '"') {
      ++i;
      if (i < n && text[i] == '"') {
        ++i;
        if (i >= n) break;
        continue;
      }
      if (i >= n) break;
      size_t begin = i;
      size_t close = begin;
      while (close < n && !(text[close] == '"' && (close + 1 == n || IsSpace(text[close + 1])))) ++close;
      words.emplace_back(text.substr(begin, close - begin));
      if (close + 1 >= n) break;  // the phrase (or its closing quote) reached the end
      i = close + 2;              // the quote and the whitespace after it
      continue;
    }
    size_t begin = i;
    while (i < n && !IsSpace(text[i])) ++i;
    words.emplace_back(text.substr(begin, i - begin));
    if (i >= n) break;
    ++i;  // the whitespace that ended the word; if nothing follows, the next turn adds the empty word
  }
  return words;
}

std::vector<std::string> SearchWords(std::string_view text) {
  std::vector<std::string> words = SplitQueryWords(text);
  std::erase_if(words, [](const std::string& w) { return w.empty(); });
  return words;
}

}  // namespace lectern
