// Why a book would not open: where in its file the fault lies and what it is, in words a reader
// can act on ("the directory at offset 13,600,412 lies past the end of the file (5,242,880
// bytes)"). Start-up and the tools show the description as it is.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace lectern {

struct ArchiveError {
  int64_t offset = -1;  // file offset of the fault; -1 when it lies nowhere in particular
  std::string description;
  bool empty() const { return description.empty(); }
};

// 5242880 -> "5,242,880": offsets and sizes in messages, grouped so they can be read at a glance.
std::string GroupedNumber(uint64_t value);

// The parts one after another. Messages are built with this rather than chains of `+`, which
// GCC 12 misreads at -O2 as overlapping copies.
std::string Concat(std::initializer_list<std::string_view> parts);

}  // namespace lectern
