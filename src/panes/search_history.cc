#include "panes/search_history.h"

#include "panes/case_fold.h"

namespace lectern {

int SearchHistory::Find(std::string_view text) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (EqualsFolded(entries_[i], text)) return int(i);
  return -1;
}

void SearchHistory::Add(std::string_view text) {
  if (int found = Find(text); found >= 0) {
    entries_.erase(entries_.begin() + found);
  } else if (entries_.size() >= kMaxEntries) {
    entries_.erase(entries_.begin() + long(kMaxEntries) - 1, entries_.end());
  }
  entries_.insert(entries_.begin(), std::string(text));
}

}  // namespace lectern
