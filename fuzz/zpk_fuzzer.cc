// The bytes as a whole book file: opened, then every entry read and every companion located, so
// that hostile sizes and offsets in the header, the sections and the records are all exercised.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zpk.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

// Deep enough for any real book; deeper hostile nesting would only make the paths quadratic.
constexpr size_t kMaxDepth = 64;

void ReadEverything(lectern::ZPK& zpk) {
  struct Frame {
    const lectern::FsNode* dir;
    std::string path;
  };
  std::vector<Frame> stack{{zpk.directory().root(), ""}};
  std::vector<uint8_t> content;
  while (!stack.empty()) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    for (const auto& child : frame.dir->children) {
      std::string path = frame.path + "/" + child->name;
      if (child->is_directory()) {
        if (path.size() < 4096 && stack.size() < kMaxDepth) stack.push_back({child.get(), path});
        continue;
      }
      zpk.ReadWholeEntry(path, content);
      uint32_t size = 0;
      zpk.ReadEntry(path, nullptr, size);
      uint32_t offset = 0;
      if (zpk.LocateEntry(path, offset, size) && size > 0) {
        // A located companion must lie inside the file: read its last byte in place.
        uint8_t last;
        if (::pread(zpk.GetFileHandle(), &last, 1, off_t(offset) + size - 1) != 1) __builtin_trap();
      }
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
  int fd = ::memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  {
    lectern::ZPK zpk;
    if (zpk.Open(path)) {
      ReadEverything(zpk);
      zpk.ReadSettings(zpk.section_offset(lectern::ZPK::kSettingsSection));
      zpk.ReadConfigDocument(zpk.section_offset(lectern::ZPK::kConfigDocumentSection));
    }
  }
  ::close(fd);
  return 0;
}
