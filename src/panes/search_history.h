// The search bar's list of earlier queries, the most recent first. Kept for one run only: it
// starts empty and is never written anywhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lectern {

class SearchHistory {
 public:
  static constexpr size_t kMaxEntries = 16;

  // Puts `text` at the top. An entry equal to it ignoring letter case goes (the new spelling
  // stays); otherwise a full list loses its oldest entry first. False when the list is unchanged:
  // `text` was already the top entry, spelled the same.
  bool Add(std::string_view text);
  void Clear() { entries_.clear(); }
  // The entry equal to `text` ignoring case; -1 when there is none.
  int Find(std::string_view text) const;
  const std::vector<std::string>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }

 private:
  std::vector<std::string> entries_;
};

}  // namespace lectern
