// The real file functions on Windows: kernel32's own, resolved by name from "kernel32.dll" when
// the table is made. Because only other modules' imports are ever redirected, calls through this
// table always reach the system, whatever the interception has done.
//
// The drag call and the two URL-moniker feature calls are not kernel32's: they go to whatever
// the interception recorded as the unpatched function (the import's old target, the trampoline),
// or, before that, to the system's export, looked up on first use.
#pragma once

#include <atomic>

#include "datastore/file_functions.h"

namespace lectern {

using DoDragDropFunction = HRESULT(WINAPI*)(void*, void*, DWORD, DWORD*);
using IsFeatureEnabledFunction = HRESULT(WINAPI*)(DWORD, DWORD);
using IsZoneElevationEnabledFunction = HRESULT(WINAPI*)(const OLECHAR*, const OLECHAR*, void*, DWORD);

class Win32FileFunctions final : public FileFunctions {
 public:
  Win32FileFunctions();
  Win32FileFunctions(const Win32FileFunctions&) = delete;
  Win32FileFunctions& operator=(const Win32FileFunctions&) = delete;

  // False when kernel32 lacked one of the functions (never on a working system).
  bool resolved() const { return resolved_; }

  // Where the unpatched drag and feature calls now live.
  void SetDoDragDrop(DoDragDropFunction function) { do_drag_drop_ = function; }
  void SetIsFeatureEnabled(IsFeatureEnabledFunction function) { is_feature_enabled_ = function; }
  void SetIsZoneElevationEnabled(IsZoneElevationEnabledFunction function) { is_zone_elevation_enabled_ = function; }

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
  HRESULT DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) override;
  HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) override;
  HRESULT CoInternetIsFeatureZoneElevationEnabled(const OLECHAR* from_url, const OLECHAR* to_url,
                                                  void* security_manager, DWORD flags) override;

 private:
  decltype(&::CreateFileA) create_file_a_ = nullptr;
  decltype(&::CreateFileW) create_file_w_ = nullptr;
  decltype(&::ReadFile) read_file_ = nullptr;
  decltype(&::WriteFile) write_file_ = nullptr;
  decltype(&::SetFilePointer) set_file_pointer_ = nullptr;
  decltype(&::GetFileSize) get_file_size_ = nullptr;
  decltype(&::GetFileType) get_file_type_ = nullptr;
  decltype(&::CloseHandle) close_handle_ = nullptr;
  decltype(&::GetFileAttributesA) get_file_attributes_a_ = nullptr;
  decltype(&::GetFileAttributesW) get_file_attributes_w_ = nullptr;
  decltype(&::FindFirstFileA) find_first_file_a_ = nullptr;
  decltype(&::FindFirstFileW) find_first_file_w_ = nullptr;
  decltype(&::FindFirstFileExA) find_first_file_ex_a_ = nullptr;
  decltype(&::FindFirstFileExW) find_first_file_ex_w_ = nullptr;
  decltype(&::FindNextFileA) find_next_file_a_ = nullptr;
  decltype(&::FindNextFileW) find_next_file_w_ = nullptr;
  decltype(&::FindClose) find_close_ = nullptr;
  decltype(&::CopyFileA) copy_file_a_ = nullptr;
  decltype(&::CopyFileW) copy_file_w_ = nullptr;
  decltype(&::DeleteFileA) delete_file_a_ = nullptr;
  decltype(&::DeleteFileW) delete_file_w_ = nullptr;
  bool resolved_ = false;

  std::atomic<DoDragDropFunction> do_drag_drop_{nullptr};
  std::atomic<IsFeatureEnabledFunction> is_feature_enabled_{nullptr};
  std::atomic<IsZoneElevationEnabledFunction> is_zone_elevation_enabled_{nullptr};
};

// How many calls this thread has passed to the system through any table so far; the
// replacements compare it to leave the thread's last error alone for calls they answer
// themselves.
uint32_t RealCallsOnThisThread();

// The process's one table (what RealFileFunctions() answers on Windows).
Win32FileFunctions& Win32RealFileFunctions();

}  // namespace lectern
