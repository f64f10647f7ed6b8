#include "book/ebk.h"

#include <unistd.h>

namespace lectern {

int64_t Ebk::SeekToDirectory() {
  uint32_t at = section_offset(kDirectorySection);
  if (!IsOpen() || at == 0xFFFFFFFFu) return -1;
  off_t position = ::lseek(GetFileHandle(), off_t(at), SEEK_SET);
  if (position < 0) return -1;
  position_ = position;
  return position;
}

}  // namespace lectern
