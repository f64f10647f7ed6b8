// A read-only stream over one stored file of the open book. Ordinary entries are decompressed whole
// when the stream opens (memory mode); files kept as raw companions are read in place from the book
// file, only the bytes asked for (raw mode), so large media never sit in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "book/ebk_manager.h"

namespace lectern {

class BookFileStream {
 public:
  enum class Mode { kMemory, kRaw };
  enum Origin : uint32_t { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

  // Holds a reference on `manager` (which may be null: every open then fails).
  explicit BookFileStream(IEbkManager* manager) : manager_(manager) {}

  bool Open(WideStringView book_path);
  // Bytes copied into `buffer` (at most `count`); 0 at the end or on a failed raw read.
  uint32_t Read(void* buffer, uint32_t count);
  // The new position, or -1 (position unchanged) when `offset` reaches the length, or when moving
  // from the current position would.
  int64_t Seek(uint32_t offset, uint32_t origin);

  Mode mode() const { return mode_; }
  uint32_t length() const { return mode_ == Mode::kMemory ? uint32_t(buffer_.size()) : raw_size_; }
  uint32_t position() const { return position_; }
  uint32_t data_offset() const { return data_offset_; }

 private:
  ComPtr<IEbkManager> manager_;
  Mode mode_ = Mode::kMemory;
  std::vector<uint8_t> buffer_;
  uint32_t data_offset_ = 0;
  uint32_t raw_size_ = 0;
  uint32_t position_ = 0;
};

}  // namespace lectern
