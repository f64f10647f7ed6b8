// The query splitting rule on arbitrary text: every word lies inside the text, and the search's
// words are the split's words without the empty ones.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "panes/query_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto words = lectern::SplitQueryWords(text);
  size_t empty = 0;
  size_t total = 0;
  for (const std::string& w : words) {
    if (w.empty()) ++empty;
    else if (text.find(w) == std::string_view::npos) std::abort();
    total += w.size();
  }
  if (empty > 1 || total > size) std::abort();
  if (lectern::SearchWords(text).size() != words.size() - empty) std::abort();
  return 0;
}
