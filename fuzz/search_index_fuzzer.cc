// The bytes as a search index file of a small real book: stamped and summed for that book so the
// checks that only guard against a changed book or a damaged file let them through, then opened and
// queried, so that hostile sections, records, bucket tables and postings are all exercised.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "search_index_book.h"
#include "panes/case_fold.h"
#include "panes/search_index.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

lectern::CEbkManager* Book() {
  static lectern::CEbkManager* manager = [] {
    lectern::SetMessageBoxHandler(&Silent);
    char folder[] = "/tmp/lectern-index-fuzz-XXXXXX";
    if (!::mkdtemp(folder)) std::abort();
    std::string path = std::string(folder) + "/book.ebk";
    if (!lectern::testing::WriteSearchIndexFuzzBook(path)) std::abort();
    auto* m = lectern::CEbkManager::Create();
    if (m->Open(lectern::Utf8ToWide(path).c_str()) != S_OK) std::abort();
    // The open book keeps its descriptor; the name can go at once.
    ::unlink(path.c_str());
    ::rmdir(folder);
    return m;
  }();
  return manager;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lectern::CEbkManager* manager = Book();
  lectern::BookStamp stamp;
  if (!lectern::StampOfOpenBook(manager, stamp)) std::abort();
  std::string file(reinterpret_cast<const char*>(data), size);
  lectern::SealSearchIndex(file, stamp);
  int fd = ::memfd_create("index", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = 0; done < file.size();) {
    ssize_t n = ::write(fd, file.data() + done, file.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  std::string error;
  auto index = lectern::SearchIndex::Open("/proc/self/fd/" + std::to_string(fd), manager, error);
  if (index) {
    for (const char* query : {"alpha", "beta delta", "café", "wide", "ab", "zzz"}) {
      std::vector<lectern::SearchHit> hits;
      index->Search({lectern::FoldUtf8(query)}, hits);
      if (hits.size() > index->files()) __builtin_trap();
    }
  }
  ::close(fd);
  return 0;
}
