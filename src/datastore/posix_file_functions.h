// The real file functions on a POSIX system, in the platform's shape: what the virtual file layer
// passes every call that is not about the datastore on to. Paths are UTF-8 ('/' separated); wide
// paths are converted to UTF-8 first. Handles are addresses of objects this table owns, so they
// never collide with the layer's stream handles, the find handle 1 or the invalid handle.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "datastore/file_functions.h"

namespace lectern {

class PosixFileFunctions final : public FileFunctions {
 public:
  PosixFileFunctions() = default;
  ~PosixFileFunctions() override;
  PosixFileFunctions(const PosixFileFunctions&) = delete;
  PosixFileFunctions& operator=(const PosixFileFunctions&) = delete;

  HANDLE CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override;
  HANDLE CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                     DWORD disposition, DWORD flags, HANDLE template_file) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) override;
  DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) override;
  DWORD GetFileSize(HANDLE file, DWORD* size_high) override;
  DWORD GetFileType(HANDLE file) override;
  BOOL CloseHandle(HANDLE object) override;
  DWORD GetFileAttributesA(const char* path) override;
  DWORD GetFileAttributesW(const OLECHAR* path) override;
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
  HANDLE FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) override;
  HANDLE FindFirstFileExA(const char* pattern, FindInfoLevel level, void* data, FindSearchOps search, void* filter,
                          DWORD flags) override;
  HANDLE FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                          void* filter, DWORD flags) override;
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) override;
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) override;
  BOOL FindClose(HANDLE find) override;
  BOOL CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) override;
  BOOL CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) override;
  BOOL DeleteFileA(const char* path) override;
  BOOL DeleteFileW(const OLECHAR* path) override;
  // No drag is ever started through this table here: E_NOTIMPL.
  HRESULT DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) override;
  // No URL-moniker feature is switched on here: S_FALSE.
  HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) override;
  HRESULT CoInternetIsFeatureZoneElevationEnabled(const OLECHAR* from_url, const OLECHAR* to_url,
                                                  void* security_manager, DWORD flags) override;

  // The records behind handles; defined with the code.
  struct OpenFile;
  struct Search;
  struct FoundEntry;

 private:

  // Held while in use, so a close from another thread never frees an object under a read.
  std::shared_ptr<OpenFile> FindOpenFile(HANDLE handle);
  std::shared_ptr<Search> FindSearch(HANDLE handle);
  HANDLE StartSearch(const char* pattern, FoundEntry& first);
  bool NextEntry(HANDLE find, FoundEntry& entry);

  std::mutex mutex_;
  std::map<HANDLE, std::shared_ptr<OpenFile>> files_;
  std::map<HANDLE, std::shared_ptr<Search>> searches_;
};

}  // namespace lectern
