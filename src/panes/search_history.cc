#include "panes/search_history.h"

#include "panes/case_fold.h"

namespace lectern {

int SearchHistory::Find(std::string_view text) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (EqualsFolded(entries_[i], text)) return int(i);
  return -1;
}

bool SearchHistory::Add(std::string_view text) {
  int found = Find(text);
  if (found == 0 && entries_[0] == text) return false;
  if (found >= 0) {
    entries_.erase(entries_.begin() + found);
  } else if (entries_.size() >= kMaxEntries) {
    entries_.erase(entries_.begin() + long(kMaxEntries) - 1, entries_.end());
  }
  entries_.insert(entries_.begin(), std::string(text));
  return true;
}

}  // namespace lectern
