#include "frame/file_extraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <vector>

#include "book/book_file_stream.h"

namespace lectern {
namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= size_t(put);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A file the reader replaces keeps its permissions; a new one gets what the user's mask allows.
mode_t ModeFor(const std::string& target) {
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) return existing.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ExtractResult ExtractBookFile(IEbkManager* manager, std::string_view book_path, const std::string& target) {
  if (target.empty()) return ExtractResult::kCreateFailed;
  BookFileStream stream(manager);
  if (book_path.empty() || !stream.Open(Utf8ToWide(book_path)) || stream.length() == 0)
    return ExtractResult::kSourceMissing;

  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return ExtractResult::kCreateFailed;
  std::random_device random;
  std::string name = target.substr(target.rfind('/') + 1);
  std::string temp = FolderOf(target) + "/." + name + ".part-" + std::to_string(random());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return ExtractResult::kCreateFailed;
  bool ok = ::fchmod(fd, ModeFor(target)) == 0;
  std::vector<uint8_t> chunk(size_t(1) << 20);
  uint32_t left = stream.length();
  bool read_whole = true;
  while (ok && left > 0) {
    uint32_t got = stream.Read(chunk.data(), uint32_t(std::min<size_t>(chunk.size(), left)));
    if (got == 0) {
      read_whole = false;  // a stored file that ends early is no copy of it
      break;
    }
    ok = WriteAll(fd, chunk.data(), got);
    left -= got;
  }
  ok = ok && read_whole && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return read_whole ? ExtractResult::kCreateFailed : ExtractResult::kSourceMissing;
  }
  return ExtractResult::kDone;
}

}  // namespace lectern
