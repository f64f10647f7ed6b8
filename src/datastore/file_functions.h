// The platform's file functions, in the shape the page component calls them: the table the
// virtual file layer answers, and the table of real functions it passes other calls on to. On
// Windows the types are the system's own; elsewhere a portable copy with the same meaning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com.h"

#ifdef _WIN32
namespace lectern {
using ::BOOL;
using ::DWORD;
using ::FILETIME;
using ::HANDLE;
using ::LONG;
using ::OVERLAPPED;
using ::SECURITY_ATTRIBUTES;
using ::WIN32_FIND_DATAA;
using ::WIN32_FIND_DATAW;
using FindInfoLevel = ::FINDEX_INFO_LEVELS;
using FindSearchOps = ::FINDEX_SEARCH_OPS;
inline const HANDLE kInvalidHandle = INVALID_HANDLE_VALUE;
}  // namespace lectern
#else
namespace lectern {

using BOOL = int32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using HANDLE = void*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

inline constexpr size_t MAX_PATH = 260;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  OLECHAR cFileName[MAX_PATH];
  OLECHAR cAlternateFileName[14];
};
using FindInfoLevel = int32_t;
using FindSearchOps = int32_t;

inline const HANDLE kInvalidHandle = reinterpret_cast<HANDLE>(~uintptr_t(0));

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_SHARE_READ = 1;
inline constexpr DWORD FILE_SHARE_WRITE = 2;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD FILE_TYPE_UNKNOWN = 0;
inline constexpr DWORD FILE_TYPE_DISK = 1;
inline constexpr DWORD FILE_TYPE_CHAR = 2;
inline constexpr DWORD FILE_TYPE_PIPE = 3;
inline constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;

}  // namespace lectern
#endif

namespace lectern {

// Spelled apart from the platform's TRUE and FALSE, which other toolkits define as macros.
inline constexpr BOOL kTrue = 1;
inline constexpr BOOL kFalse = 0;
// The one find handle the layer gives out for every datastore search.
inline const HANDLE kDatastoreFindHandle = reinterpret_cast<HANDLE>(uintptr_t(1));

// Every function the layer stands in for, plus the few it needs of the real table itself
// (writing, deleting, continuing a search), with the platform's signatures and failure values.
// The drag and feature calls are not file functions, but the same patching reaches them.
class FileFunctions {
 public:
  virtual ~FileFunctions() = default;

  virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                             DWORD disposition, DWORD flags, HANDLE template_file) = 0;
  virtual HANDLE CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                             DWORD disposition, DWORD flags, HANDLE template_file) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) = 0;
  virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) = 0;
  virtual DWORD GetFileSize(HANDLE file, DWORD* size_high) = 0;
  virtual DWORD GetFileType(HANDLE file) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;
  virtual DWORD GetFileAttributesA(const char* path) = 0;
  virtual DWORD GetFileAttributesW(const OLECHAR* path) = 0;
  virtual HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) = 0;
  virtual HANDLE FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) = 0;
  virtual HANDLE FindFirstFileExA(const char* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                                  void* filter, DWORD flags) = 0;
  virtual HANDLE FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                                  void* filter, DWORD flags) = 0;
  virtual BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) = 0;
  virtual BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  virtual BOOL CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) = 0;
  virtual BOOL CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) = 0;
  virtual BOOL DeleteFileA(const char* path) = 0;
  virtual BOOL DeleteFileW(const OLECHAR* path) = 0;
  virtual HRESULT DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) = 0;
  virtual HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) = 0;
  virtual HRESULT CoInternetIsFeatureZoneElevationEnabled(const OLECHAR* from_url, const OLECHAR* to_url,
                                                          void* security_manager, DWORD flags) = 0;
};

}  // namespace lectern

namespace lectern {

// The real functions of this process, resolved once: the system's on Windows, the POSIX table
// elsewhere.
FileFunctions& RealFileFunctions();

// A narrow path as a caller of the narrow functions spells it (the ANSI code page on Windows,
// UTF-8 elsewhere), in UTF-8 for the datastore lookups.
std::string NarrowPathToUtf8(const char* path);

// The name field of a find record: `name` cut to fit with its terminator, never inside a UTF-8
// sequence or between the halves of a surrogate pair.
void SetFindName(WIN32_FIND_DATAA& data, std::string_view name);
void SetFindName(WIN32_FIND_DATAW& data, WideStringView name);

// Seconds and nanoseconds since 1970 (UTC) as a file time: 100 ns steps since 1601.
FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
FILETIME CurrentFileTime();

}  // namespace lectern
