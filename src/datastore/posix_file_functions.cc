#include "datastore/posix_file_functions.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace lectern {

struct PosixFileFunctions::OpenFile {
  explicit OpenFile(int descriptor) : fd(descriptor) {}
  ~OpenFile() { ::close(fd); }
  int fd;
};

struct PosixFileFunctions::FoundEntry {
  DWORD attributes = 0;
  FILETIME created{}, accessed{}, written{};
  uint64_t size = 0;
  std::string name;
};

struct PosixFileFunctions::Search {
  std::vector<FoundEntry> entries;
  size_t next = 0;
  std::mutex mutex;
};

namespace {

std::string Narrow(const OLECHAR* wide) {
  if (!wide) return {};
  size_t n = 0;
  while (wide[n]) ++n;
  return WideToUtf8(WideStringView(wide, n));
}

DWORD AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return FILE_ATTRIBUTE_READONLY;
  return FILE_ATTRIBUTE_NORMAL;
}

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

template <typename Data>
void Fill(const PosixFileFunctions::FoundEntry& entry, Data& data) {
  data.dwFileAttributes = entry.attributes;
  data.ftCreationTime = entry.created;
  data.ftLastAccessTime = entry.accessed;
  data.ftLastWriteTime = entry.written;
  data.nFileSizeHigh = DWORD(entry.size >> 32);
  data.nFileSizeLow = DWORD(entry.size);
  data.cAlternateFileName[0] = 0;
}

void FillA(const PosixFileFunctions::FoundEntry& entry, WIN32_FIND_DATAA& data) {
  Fill(entry, data);
  SetFindName(data, entry.name);
}

void FillW(const PosixFileFunctions::FoundEntry& entry, WIN32_FIND_DATAW& data) {
  Fill(entry, data);
  SetFindName(data, Utf8ToWide(entry.name));
}

bool Describe(const std::string& path, std::string name, PosixFileFunctions::FoundEntry& entry) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  entry.attributes = AttributesOf(st);
  entry.created = FileTimeFromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  entry.accessed = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  entry.written = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  entry.size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
  entry.name = std::move(name);
  return true;
}
}  // namespace

PosixFileFunctions::~PosixFileFunctions() = default;

std::shared_ptr<PosixFileFunctions::OpenFile> PosixFileFunctions::FindOpenFile(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(handle);
  return it == files_.end() ? nullptr : it->second;
}

std::shared_ptr<PosixFileFunctions::Search> PosixFileFunctions::FindSearch(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = searches_.find(handle);
  return it == searches_.end() ? nullptr : it->second;
}

HANDLE PosixFileFunctions::CreateFileA(const char* path, DWORD access, DWORD /*share*/,
                                       SECURITY_ATTRIBUTES* /*security*/, DWORD disposition, DWORD /*flags*/,
                                       HANDLE /*template_file*/) {
  if (!path || !*path) return kInvalidHandle;
  bool reads = access & GENERIC_READ, writes = access & GENERIC_WRITE;
  int mode = writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: mode |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: mode |= O_CREAT; break;
    case TRUNCATE_EXISTING: mode |= O_TRUNC; break;
    default: return kInvalidHandle;
  }
  // Truncating needs write access, as it does on the platform this shape comes from.
  if ((mode & O_TRUNC) && !writes) return kInvalidHandle;
  int fd;
  do {
    fd = ::open(path, mode | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidHandle;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kInvalidHandle;
  }
  auto file = std::make_shared<OpenFile>(fd);
  HANDLE handle = file.get();
  std::lock_guard lock(mutex_);
  files_.emplace(handle, std::move(file));
  return handle;
}

HANDLE PosixFileFunctions::CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                       DWORD disposition, DWORD flags, HANDLE template_file) {
  if (!path) return kInvalidHandle;
  return CreateFileA(Narrow(path).c_str(), access, share, security, disposition, flags, template_file);
}

BOOL PosixFileFunctions::ReadFile(HANDLE handle, void* buffer, DWORD count, DWORD* read, OVERLAPPED* /*overlapped*/) {
  if (read) *read = 0;
  auto file = FindOpenFile(handle);
  if (!file || (!buffer && count > 0)) return kFalse;
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::read(file->fd, static_cast<char*>(buffer) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return kFalse;
    if (got == 0) break;
    done += size_t(got);
  }
  if (read) *read = DWORD(done);
  return kTrue;
}

BOOL PosixFileFunctions::WriteFile(HANDLE handle, const void* buffer, DWORD count, DWORD* written,
                                   OVERLAPPED* /*overlapped*/) {
  if (written) *written = 0;
  auto file = FindOpenFile(handle);
  if (!file || (!buffer && count > 0)) return kFalse;
  size_t done = 0;
  while (done < count) {
    ssize_t put = ::write(file->fd, static_cast<const char*>(buffer) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (written) *written = DWORD(done);
      return kFalse;
    }
    done += size_t(put);
  }
  if (written) *written = DWORD(done);
  return kTrue;
}

DWORD PosixFileFunctions::SetFilePointer(HANDLE handle, LONG distance, LONG* distance_high, DWORD method) {
  auto file = FindOpenFile(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) return INVALID_SET_FILE_POINTER;
  // Without a high part the distance is a signed 32-bit value; with one, the two make 64 bits.
  int64_t offset = distance_high ? int64_t((uint64_t(uint32_t(*distance_high)) << 32) | uint32_t(distance))
                                 : int64_t(distance);
  off_t at = ::lseek(file->fd, off_t(offset), whence);
  if (at < 0) return INVALID_SET_FILE_POINTER;
  if (distance_high) *distance_high = LONG(uint64_t(at) >> 32);
  return DWORD(uint64_t(at));
}

DWORD PosixFileFunctions::GetFileSize(HANDLE handle, DWORD* size_high) {
  auto file = FindOpenFile(handle);
  struct stat st;
  if (!file || ::fstat(file->fd, &st) != 0) return INVALID_FILE_SIZE;
  if (size_high) *size_high = DWORD(uint64_t(st.st_size) >> 32);
  return DWORD(uint64_t(st.st_size));
}

DWORD PosixFileFunctions::GetFileType(HANDLE handle) {
  auto file = FindOpenFile(handle);
  struct stat st;
  if (!file || ::fstat(file->fd, &st) != 0) return FILE_TYPE_UNKNOWN;
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL PosixFileFunctions::CloseHandle(HANDLE handle) {
  std::shared_ptr<OpenFile> file;
  {
    std::lock_guard lock(mutex_);
    auto it = files_.find(handle);
    if (it == files_.end()) return kFalse;
    file = std::move(it->second);
    files_.erase(it);
  }
  return kTrue;  // the descriptor closes with the last user
}

DWORD PosixFileFunctions::GetFileAttributesA(const char* path) {
  struct stat st;
  if (!path || !*path || ::stat(path, &st) != 0) return INVALID_FILE_ATTRIBUTES;
  return AttributesOf(st);
}

DWORD PosixFileFunctions::GetFileAttributesW(const OLECHAR* path) {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(Narrow(path).c_str());
}

HANDLE PosixFileFunctions::StartSearch(const char* pattern, FoundEntry& first) {
  if (!pattern || !*pattern) return kInvalidHandle;
  std::string whole(pattern);
  size_t slash = whole.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : whole.substr(0, slash));
  std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
  if (name.empty()) return kInvalidHandle;

  auto search = std::make_shared<Search>();
  if (!HasWildcard(name)) {
    FoundEntry entry;
    if (!Describe(whole, name, entry)) return kInvalidHandle;
    search->entries.push_back(std::move(entry));
  } else {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return kInvalidHandle;
    std::vector<std::string> names;
    while (dirent* item = ::readdir(dir)) {
      if (::fnmatch(name.c_str(), item->d_name, FNM_CASEFOLD) == 0) names.emplace_back(item->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (std::string& found : names) {
      FoundEntry entry;
      std::string full = (folder == "/" ? "" : folder) + "/" + found;
      if (Describe(full, std::move(found), entry)) search->entries.push_back(std::move(entry));
    }
    if (search->entries.empty()) return kInvalidHandle;
  }
  first = search->entries.front();
  search->next = 1;
  HANDLE handle = search.get();
  std::lock_guard lock(mutex_);
  searches_.emplace(handle, std::move(search));
  return handle;
}

bool PosixFileFunctions::NextEntry(HANDLE find, FoundEntry& entry) {
  auto search = FindSearch(find);
  if (!search) return false;
  std::lock_guard lock(search->mutex);
  if (search->next >= search->entries.size()) return false;
  entry = search->entries[search->next++];
  return true;
}

HANDLE PosixFileFunctions::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  if (!data) return kInvalidHandle;
  FoundEntry first;
  HANDLE handle = StartSearch(pattern, first);
  if (handle != kInvalidHandle) FillA(first, *data);
  return handle;
}

HANDLE PosixFileFunctions::FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) {
  if (!data || !pattern) return kInvalidHandle;
  FoundEntry first;
  HANDLE handle = StartSearch(Narrow(pattern).c_str(), first);
  if (handle != kInvalidHandle) FillW(first, *data);
  return handle;
}

HANDLE PosixFileFunctions::FindFirstFileExA(const char* pattern, FindInfoLevel /*level*/, void* data,
                                            FindSearchOps /*search*/, void* /*filter*/, DWORD /*flags*/) {
  return FindFirstFileA(pattern, static_cast<WIN32_FIND_DATAA*>(data));
}

HANDLE PosixFileFunctions::FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel /*level*/, void* data,
                                            FindSearchOps /*search*/, void* /*filter*/, DWORD /*flags*/) {
  return FindFirstFileW(pattern, static_cast<WIN32_FIND_DATAW*>(data));
}

BOOL PosixFileFunctions::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  FoundEntry entry;
  if (!data || !NextEntry(find, entry)) return kFalse;
  FillA(entry, *data);
  return kTrue;
}

BOOL PosixFileFunctions::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  FoundEntry entry;
  if (!data || !NextEntry(find, entry)) return kFalse;
  FillW(entry, *data);
  return kTrue;
}

BOOL PosixFileFunctions::FindClose(HANDLE find) {
  std::lock_guard lock(mutex_);
  return searches_.erase(find) ? kTrue : kFalse;
}

BOOL PosixFileFunctions::CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) {
  if (!source || !destination || !*source || !*destination) return kFalse;
  int in = ::open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return kFalse;
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return kFalse;
  }
  struct stat existing;
  if (::stat(destination, &existing) == 0 && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
    ::close(in);  // truncating the destination would destroy the source
    return kFalse;
  }
  int out = ::open(destination, O_WRONLY | O_CREAT | O_CLOEXEC | (fail_if_exists ? O_EXCL : O_TRUNC),
                   st.st_mode & 0777);
  if (out < 0) {
    ::close(in);
    return kFalse;
  }
  std::vector<char> chunk(65536);
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(in, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    for (ssize_t done = 0; ok && done < got;) {
      ssize_t put = ::write(out, chunk.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) ok = false;
      else done += put;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  // A destination cut short is not a copy.
  if (!ok) ::unlink(destination);
  return ok ? kTrue : kFalse;
}

BOOL PosixFileFunctions::CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) {
  if (!source || !destination) return kFalse;
  return CopyFileA(Narrow(source).c_str(), Narrow(destination).c_str(), fail_if_exists);
}

BOOL PosixFileFunctions::DeleteFileA(const char* path) {
  if (!path || !*path) return kFalse;
  return ::unlink(path) == 0 ? kTrue : kFalse;
}

BOOL PosixFileFunctions::DeleteFileW(const OLECHAR* path) {
  if (!path) return kFalse;
  return DeleteFileA(Narrow(path).c_str());
}

HRESULT PosixFileFunctions::DoDragDrop(void*, void*, DWORD, DWORD*) { return E_NOTIMPL; }

HRESULT PosixFileFunctions::CoInternetIsFeatureEnabled(DWORD, DWORD) { return S_FALSE; }

HRESULT PosixFileFunctions::CoInternetIsFeatureZoneElevationEnabled(const OLECHAR*, const OLECHAR*, void*, DWORD) {
  return S_FALSE;
}

FileFunctions& RealFileFunctions() {
  static PosixFileFunctions* real = new PosixFileFunctions();  // lives as long as the process
  return *real;
}

}  // namespace lectern
