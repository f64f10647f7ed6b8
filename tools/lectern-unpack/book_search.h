// lectern-unpack's search actions: the reader's own search engine, and the book's index in the
// working folder the reader gives the book, so the tool and the reader build and use one index.
#pragma once

#include <string>

namespace lectern {

// Exit statuses as grep has them: hits, no hit, trouble.
inline constexpr int kSearchHits = 0;
inline constexpr int kSearchNoHit = 1;
inline constexpr int kSearchTrouble = 2;

// Prints one hit per line, PATH<TAB>TITLE, in the reader's order; from the book's index when it is
// complete and `use_index`, else by scanning the book.
int SearchBookCommand(const std::string& book, const std::string& query, bool use_index);
// Builds the book's index and waits until it is complete: 0, or 1 with the reason on stderr.
int BuildIndexCommand(const std::string& book);
// Where the index is, whether it is complete (or why not), its size and build time: 0 when
// complete, 1 when not.
int IndexStatsCommand(const std::string& book);

}  // namespace lectern
