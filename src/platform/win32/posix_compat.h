// The few POSIX file calls the portable core makes, on the Windows C runtime: included ahead of
// every source of the Windows build, so the core reads the same on both systems.
//
// Meaning kept: pread and pwrite at an offset, the position left where it was; rename replaces an existing target (the core
// relies on it for its write-then-rename saves); a folder opened with O_DIRECTORY gives a
// descriptor that openat, mkdirat and unlinkat work relative to; there are no symbolic links,
// so lstat is stat and O_NOFOLLOW has nothing to refuse. Files are binary (the
// access modes carry the binary flag), and descriptors are not inherited (O_CLOEXEC).
#pragma once

#ifdef __cplusplus
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#endif

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <windows.h>

#ifdef __cplusplus

// Every open names one of the access modes, so each carries the binary mode with it: a text-mode
// read would stop at the first byte 0x1A.
#undef O_RDONLY
#undef O_WRONLY
#undef O_RDWR
#define O_RDONLY (_O_RDONLY | _O_BINARY)
#define O_WRONLY (_O_WRONLY | _O_BINARY)
#define O_RDWR (_O_RDWR | _O_BINARY)

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_DIRECTORY
#define O_DIRECTORY 0x01000000  // outside every flag the runtime knows
#endif
#ifndef S_ISLNK
#define S_ISLNK(mode) 0
#endif
#ifndef S_ISSOCK
#define S_ISSOCK(mode) 0
#endif
#ifndef ELOOP
#define ELOOP 114
#endif

namespace lectern::posix_compat {

inline bool IsFolder(const char* path) {
  DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The library's own declarations come first, untouched by the two renaming macros below.
// A folder as a descriptor: the runtime wraps the folder's own handle, so close() frees it.
inline int OpenFolder(const char* path) {
  if (!IsFolder(path)) {
    errno = ::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? ENOENT : ENOTDIR;
    return -1;
  }
  HANDLE handle = ::CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return -1;
  }
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

// The path of the folder behind `dir`, with `name` below it.
inline bool PathAt(int dir, const char* name, std::string& path) {
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(dir));
  char buffer[MAX_PATH * 2];
  DWORD length = handle == INVALID_HANDLE_VALUE ? 0 : ::GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, 0);
  if (length == 0 || length >= sizeof buffer) {
    errno = EBADF;
    return false;
  }
  path.assign(buffer, length);
  // The long-path prefix is dropped where a drive letter follows, so the runtime reads it plainly.
  if (path.rfind("\\\\?\\", 0) == 0 && path.size() > 5 && path[5] == ':') path.erase(0, 4);
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += name;
  return true;
}

}  // namespace lectern::posix_compat

// A positioned read or write on Windows moves the descriptor's position; POSIX leaves it alone,
// and the core writes on from where it was.
class KeepPosition {
 public:
  explicit KeepPosition(int fd) : fd_(fd), at_(::_lseeki64(fd, 0, SEEK_CUR)) {}
  ~KeepPosition() {
    if (at_ >= 0) ::_lseeki64(fd_, at_, SEEK_SET);
  }

 private:
  int fd_;
  long long at_;
};

inline ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  KeepPosition keep(fd);
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return errno = EBADF, -1;
  OVERLAPPED at{};
  at.Offset = DWORD(uint64_t(offset));
  at.OffsetHigh = DWORD(uint64_t(offset) >> 32);
  DWORD read = 0;
  if (count > 0x7FFFFFFF) count = 0x7FFFFFFF;
  if (!::ReadFile(handle, buffer, DWORD(count), &read, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    return errno = EIO, -1;
  }
  return ssize_t(read);
}

inline ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  KeepPosition keep(fd);
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return errno = EBADF, -1;
  OVERLAPPED at{};
  at.Offset = DWORD(uint64_t(offset));
  at.OffsetHigh = DWORD(uint64_t(offset) >> 32);
  DWORD written = 0;
  if (count > 0x7FFFFFFF) count = 0x7FFFFFFF;
  if (!::WriteFile(handle, buffer, DWORD(count), &written, &at)) return errno = EIO, -1;
  return ssize_t(written);
}

// Folders have no buffers of their own to flush here.
inline int fsync(int fd) {
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return errno = EBADF, -1;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return ::_commit(fd);
}

// Permission bits beyond read-only have no meaning here.
inline int fchmod(int, int) { return 0; }

inline int lstat(const char* path, struct stat* st) { return ::stat(path, st); }

// open() itself cannot take folders here; a folder descriptor comes from OpenFolder.
inline int lectern_open(const char* path, int flags, int mode = 0) {
  if (flags & O_DIRECTORY) return lectern::posix_compat::OpenFolder(path);
  return ::_open(path, flags, mode);
}

inline int openat(int dir, const char* name, int flags, int mode = 0) {
  std::string path;
  if (!lectern::posix_compat::PathAt(dir, name, path)) return -1;
  return lectern_open(path.c_str(), flags, mode);
}

inline int mkdirat(int dir, const char* name, int) {
  std::string path;
  if (!lectern::posix_compat::PathAt(dir, name, path)) return -1;
  return ::_mkdir(path.c_str());
}

inline int unlinkat(int dir, const char* name, int) {
  std::string path;
  if (!lectern::posix_compat::PathAt(dir, name, path)) return -1;
  return ::_unlink(path.c_str());
}

inline int lectern_mkdir(const char* path, int) { return ::_mkdir(path); }
#define mkdir(path, mode) lectern_mkdir(path, mode)

// As on POSIX, an existing target is replaced in one step.
inline int lectern_rename(const char* from, const char* to) {
  if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  errno = ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
  return -1;
}
#define rename lectern_rename

// An absolute path for an existing file or folder, in memory the caller frees.
inline char* realpath(const char* path, char* resolved) {
  if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return errno = ENOENT, nullptr;
  return ::_fullpath(resolved, path, resolved ? MAX_PATH : 0);
}

#endif  // __cplusplus
