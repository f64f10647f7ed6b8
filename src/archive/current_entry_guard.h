// Refuses a nested read of the entry a read is already working on (paths compared without regard
// to ASCII case). The guard is per thread: entries are read from several threads at once, where a
// shared value would refuse honest parallel reads of one page, and race besides.
#pragma once

#include <string>
#include <string_view>

#include "archive/file_system.h"

namespace lectern {

class CurrentEntryGuard {
 public:
  explicit CurrentEntryGuard(std::string_view path) {
    std::string& current = Current();
    if (!current.empty()) {
      if (EqualsIgnoringAsciiCase(current, path)) return;
      saved_ = std::move(current);  // a read inside the read of another entry
    }
    // Outside nested reads the thread's string keeps its room, so a read allocates nothing here.
    current.assign(path);
    entered_ = true;
  }
  ~CurrentEntryGuard() {
    if (!entered_) return;
    if (saved_.empty()) Current().clear();
    else Current() = std::move(saved_);
  }
  CurrentEntryGuard(const CurrentEntryGuard&) = delete;
  CurrentEntryGuard& operator=(const CurrentEntryGuard&) = delete;

  // False when the path was already being read: the caller must fail at once.
  bool entered() const { return entered_; }

 private:
  static std::string& Current() {
    thread_local std::string current;
    return current;
  }
  std::string saved_;
  bool entered_ = false;
};

}  // namespace lectern
