// The view's requests against a hostile book: the first line is a request as the page engine
// might send it, then the ranges asked of what it serves (offset, length pairs), then after a line
// holding "--book--" the book's bytes. Every stored file is requested too. A served file's reader
// never passes its length, and a range read gives the same bytes as reading through.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "book/ebk_manager.h"
#include "datastore/native_file_functions.h"
#include "datastore/serving.h"
#include "datastore/virtual_file_layer.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

lectern::VirtualFileLayer& Layer() {
  static auto* real = new lectern::NativeFileFunctions();
  static auto* layer = [] {
    auto* made = new lectern::VirtualFileLayer(*real);
    made->Install();
    return made;
  }();
  return *layer;
}

void Serve(std::string_view request, std::string_view ranges) {
  lectern::ServedFile file;
  lectern::ServeResult result = lectern::ServeDatastoreRequest(request, Layer(), file);
  if (result != lectern::ServeResult::kServed) return;
  if (!file.reader || file.reader->length() != file.length || file.reader->position() != 0) std::abort();
  std::vector<uint8_t> whole(size_t(std::min<uint64_t>(file.length, 1 << 20)));
  size_t read = 0;
  while (read < whole.size()) {
    int64_t n = file.reader->Read(whole.data() + read, whole.size() - read);
    if (n <= 0) break;
    read += size_t(n);
  }
  std::vector<uint8_t> piece;
  for (size_t i = 0; i + 8 <= ranges.size() && i < 256; i += 8) {
    uint32_t offset, length;
    std::memcpy(&offset, ranges.data() + i, 4);
    std::memcpy(&length, ranges.data() + i + 4, 4);
    length %= 65536;
    bool moved = file.reader->Seek(offset);
    if (moved != (offset <= file.length)) std::abort();
    if (!moved) continue;
    if (file.reader->position() != offset) std::abort();
    piece.resize(length);
    int64_t n = file.reader->Read(piece.data(), length);
    if (n < 0) continue;
    if (uint64_t(n) > length || offset + uint64_t(n) > file.length) std::abort();
    if (n > 0 && offset + uint64_t(n) <= read && std::memcmp(piece.data(), whole.data() + offset, size_t(n)) != 0)
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    lectern::SetMessageBoxHandler(&Silent);
    return true;
  }();
  (void)initialised;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kBookMark = "\n--book--\n";
  size_t mark = input.find(kBookMark);
  std::string_view head = input.substr(0, mark);
  std::string_view book_bytes = mark == std::string_view::npos ? std::string_view() : input.substr(mark + kBookMark.size());
  size_t line_end = head.find('\n');
  std::string_view request = head.substr(0, line_end);
  std::string_view ranges = line_end == std::string_view::npos ? std::string_view() : head.substr(line_end + 1);
  lectern::DatastorePathFromRequest(request);

  int fd = ::memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (size_t done = 0; done < book_bytes.size();) {
    ssize_t n = ::write(fd, book_bytes.data() + done, book_bytes.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  lectern::CEbkManager* manager = lectern::CEbkManager::Create();
  std::string book = "/proc/self/fd/" + std::to_string(fd);
  if (manager->Open(lectern::Utf8ToWide(book).c_str()) == S_OK) {
    lectern::PublishEbkManager(manager);
    Serve(request, ranges);
    size_t files = 0;
    for (const auto& child : manager->book().directory().root()->children) {
      if (++files > 16) break;
      Serve("file:///c:/datastore/" + child->name, ranges);
    }
    lectern::PublishEbkManager(nullptr);
  }
  manager->Release();
  ::close(fd);
  return 0;
}
