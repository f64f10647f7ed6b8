// The bytes as the body of a book's settings section (text length, stored length, compressed
// settings text), wrapped in a book of format 12 (enciphered) or 9 (plain) as the first byte
// chooses, then read the way the reader opens a book.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "archive/format.h"
#include "archive/section_cipher.h"
#include "archive/zpk.h"
#include "platform/message_box.h"

namespace {

int Silent(void*, std::string_view, std::string_view, unsigned) { return lectern::kIdOk; }

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  lectern::StoreU32(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    lectern::SetMessageBoxHandler(&Silent);
    return true;
  }();
  (void)initialised;
  if (size < 1) return 0;
  uint32_t version = (data[0] & 1) ? 12 : 9;
  std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  lectern::BookIdentity id{7, 1, 9};
  std::string directory = "\xFF";
  if (version >= 10) {
    lectern::ApplySectionCipher(id, reinterpret_cast<uint8_t*>(directory.data()), directory.size());
    lectern::ApplySectionCipher(id, reinterpret_cast<uint8_t*>(body.data()), body.size());
  }
  uint32_t directory_at = lectern::kHeaderSize;
  uint32_t settings_at = directory_at + 4 + uint32_t(directory.size());
  std::string book = "ZPK" + std::string(1, '\0') + U32(version);
  book.append(reinterpret_cast<const char*>(id.data()), id.size());
  book += U32(lectern::kCompressorDefault) + U32(directory_at) + U32(0) + U32(settings_at) + U32(0);
  book += U32(uint32_t(directory.size())) + directory;
  // Below 10 the section is the bare body; from 10 on it carries its length.
  book += version >= 10 ? U32(uint32_t(body.size())) + body : body;

  int fd = ::memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, book.data(), book.size()) != ssize_t(book.size())) {
    ::close(fd);
    return 0;
  }
  {
    lectern::ZPK zpk;
    if (zpk.Open("/proc/self/fd/" + std::to_string(fd))) {
      // The split drops empty tokens, so no key can be empty whatever the stream decoded to.
      for (const auto& [key, value] : zpk.settings().map())
        if (key.empty() || key.find('\x01') != std::string::npos) __builtin_trap();
    }
  }
  ::close(fd);
  return 0;
}
