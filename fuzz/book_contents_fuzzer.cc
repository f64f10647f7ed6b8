// The bytes as a book for lectern-unpack's reading: every entry visited, resolved by its path and
// read, then the whole book extracted under a byte limit into a scratch folder that must be the
// only place written.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "lectern-unpack/book_contents.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

std::string Scratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "book-contents-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string scratch = [] {
    lectern::SetMessageBoxHandler(&Silent);
    return Scratch();
  }();
  int fd = ::memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = 0; done < size;) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  {
    lectern::ZPK zpk;
    if (zpk.Open("/proc/self/fd/" + std::to_string(fd))) {
      size_t visited = 0;
      lectern::VisitBookEntries(zpk, [&](const lectern::BookEntry& entry) {
        if (entry.path.empty() || entry.names.empty()) std::abort();
        if (entry.folder || ++visited > 64) return true;
        lectern::BookEntry found;
        if (lectern::ResolveBookFile(zpk, entry.path, found) && found.path != entry.path) std::abort();
        std::string error;
        uint64_t bytes = 0;
        bool ok = lectern::ReadBookEntry(zpk, entry, [&](std::span<const uint8_t> piece) {
          bytes += piece.size();
          return true;
        }, error);
        if (ok && bytes != entry.content_size) std::abort();
        if (!ok && error.empty()) std::abort();
        return true;
      });
      std::string target = scratch + "/out";
      lectern::ExtractResult result = lectern::ExtractBook(zpk, target, 1 << 20);
      if (result.bytes_written > (1 << 20)) std::abort();
      std::filesystem::remove_all(target);
    }
  }
  ::close(fd);
  // Nothing but the target was ever made in the scratch folder.
  if (!std::filesystem::is_empty(scratch)) std::abort();
  return 0;
}
