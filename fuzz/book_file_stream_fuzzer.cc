// Streams over the files of a hostile book, moved about and read as their callers do. The first
// 64 bytes are the moves (origin, offset, how much to read), the rest is the book. A stream never
// stands past its length, never hands out more than asked, and reads the same bytes at the same
// place each time.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "book/book_file_stream.h"
#include "book/ebk_manager.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

constexpr size_t kMoves = 64;

void Exercise(lectern::IEbkManager* manager, const std::string& path, const uint8_t* moves) {
  lectern::BookFileStream stream(manager);
  if (!stream.Open(lectern::Utf8ToWide(path))) return;
  std::vector<uint8_t> buffer(4096), again(4096);
  for (size_t i = 0; i + 6 <= kMoves; i += 6) {
    uint32_t origin = moves[i] % 4;  // 3 is no origin at all
    uint32_t offset;
    std::memcpy(&offset, moves + i + 1, 4);
    if (moves[i] & 0x80) offset %= stream.length() + 2;
    uint32_t before = stream.position();
    int64_t moved = stream.Seek(offset, origin);
    if (moved < 0 && stream.position() != before) std::abort();
    if (stream.position() > stream.length()) std::abort();
    uint32_t count = uint32_t(moves[i + 5]) * 16;
    uint32_t at = stream.position();
    uint32_t got = stream.Read(buffer.data(), count);
    if (got > count || stream.position() != at + got || stream.position() > stream.length()) std::abort();
    if (got > 0 && stream.Seek(at, lectern::BookFileStream::kFromStart) == int64_t(at)) {
      if (stream.Read(again.data(), got) != got || std::memcmp(buffer.data(), again.data(), got) != 0) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    lectern::SetMessageBoxHandler(&Silent);
    return true;
  }();
  (void)initialised;
  if (size < kMoves) return 0;
  int fd = ::memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = kMoves; done < size;) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  lectern::CEbkManager* manager = lectern::CEbkManager::Create();
  std::string book = "/proc/self/fd/" + std::to_string(fd);
  if (manager->Open(lectern::Utf8ToWide(book).c_str()) == S_OK) {
    size_t files = 0;
    const lectern::FsNode* root = manager->book().directory().root();
    std::vector<std::pair<const lectern::FsNode*, std::string>> stack{{root, ""}};
    while (!stack.empty() && files < 16) {
      auto [folder, prefix] = stack.back();
      stack.pop_back();
      for (const auto& child : folder->children) {
        std::string path = prefix + "/" + child->name;
        if (child->is_directory()) {
          if (stack.size() < 16 && path.size() < 1024) stack.push_back({child.get(), path});
        } else if (files++ < 16) {
          Exercise(manager, path, data);
        }
      }
    }
  }
  manager->Release();
  ::close(fd);
  return 0;
}
