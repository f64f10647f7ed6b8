// The bytes as a stored page with the query on its first line: the text line the search pane shows
// is made from them, through every encoding, reference and unclosed tag they may hold.
#include <cstdint>
#include <string>
#include <string_view>

#include "panes/hit_snippet.h"
#include "panes/query_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t line = input.find('\n');
  std::string_view query = line == input.npos ? std::string_view() : input.substr(0, line);
  std::string_view page = line == input.npos ? input : input.substr(line + 1);
  for (size_t width : {size_t(1), size_t(17), size_t(120)}) {
    std::string snippet = lectern::HitSnippet(page, lectern::SearchWords(query), width);
    // "…" at each end at most, and never more of the text than asked for by much.
    if (snippet.size() > width + 6 + 3) __builtin_trap();
  }
  return 0;
}
