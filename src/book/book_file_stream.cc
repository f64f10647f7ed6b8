#include "book/book_file_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/format.h"

namespace lectern {

bool BookFileStream::Open(WideStringView book_path) {
  if (!manager_) return false;
  WideString path(book_path);
  uint32_t size = 0;
  manager_->ReadFile(path.c_str(), nullptr, &size);
  if (size > 0) {
    mode_ = Mode::kMemory;
    buffer_.assign(size, 0);
    position_ = 0;
    HRESULT hr = manager_->ReadFile(path.c_str(), buffer_.data(), &size);
    // The length is what the read delivered, never more than was allocated.
    buffer_.resize(hr == S_OK ? std::min<size_t>(size, buffer_.size()) : 0);
    return hr == S_OK;
  }
  uint32_t offset = 0, raw_size = 0;
  if (manager_->GetFileInfo(path.c_str(), &offset, &raw_size) != S_OK) return false;
  buffer_.clear();
  mode_ = Mode::kRaw;
  data_offset_ = offset;
  raw_size_ = raw_size;
  position_ = 0;
  return true;
}

uint32_t BookFileStream::Read(void* buffer, uint32_t count) {
  uint32_t total = length();
  if (position_ >= total || count == 0) return 0;
  uint32_t n = std::min(count, total - position_);
  if (mode_ == Mode::kMemory) {
    std::memcpy(buffer, buffer_.data() + position_, n);
    position_ += n;
    return n;
  }
  int32_t fd = -1;
  if (!manager_ || manager_->GetFileHandle(&fd) != S_OK || fd < 0) return 0;
  // A positioned read: several streams share the one book descriptor, from several threads.
  ssize_t got;
  do {
    got = ::pread(fd, buffer, n, off_t(data_offset_) + off_t(position_));
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  ApplyEntryMask(bytes, size_t(got));
  position_ += uint32_t(got);
  return uint32_t(got);
}

int64_t BookFileStream::Seek(uint32_t offset, uint32_t origin) {
  uint32_t total = length();
  if (offset >= total) return -1;
  switch (origin) {
    case kFromStart:
      position_ = offset;
      break;
    case kFromEnd:
      position_ = total - offset;
      break;
    case kFromCurrent:
      if (uint64_t(position_) + offset >= total) return -1;
      position_ += offset;
      break;
    default:
      break;
  }
  return position_;
}

}  // namespace lectern
