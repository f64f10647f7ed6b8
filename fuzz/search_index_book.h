// The book whose index the search index fuzzer reads: its seeds are indexes of this book.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "archive/zpk_writer.h"

namespace lectern::testing {

inline std::vector<std::pair<std::string, std::string>> SearchIndexFuzzBook() {
  return {{"index.htm", "<title>Start</title><p>alpha beta gamma</p>"},
          {"pages/a.htm", "<title>A</title>beta delta epsilon alpha"},
          {"pages/latin.htm", "<meta charset=\"iso-8859-1\"><title>Caf\xE9</title>caf\xE9 cr\xE8me"},
          {"pages/empty.txt", ""},
          {"pages/wide.htm", std::string("\xFF\xFE<\0t\0>\0W\0i\0d\0e\0", 16)},
          {"style.css", "skipped by its extension"}};
}

// Writes that book to `path`; false when the writer fails.
inline bool WriteSearchIndexFuzzBook(const std::string& path) {
  ZpkWriter writer;
  if (!writer.Begin(path, "", {})) return false;
  for (const auto& [name, content] : SearchIndexFuzzBook())
    if (!writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()))) return false;
  return writer.Finish();
}

}  // namespace lectern::testing
