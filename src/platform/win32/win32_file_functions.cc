#include "platform/win32/win32_file_functions.h"

namespace lectern {
namespace {

thread_local uint32_t t_real_calls = 0;

// Counts the call and makes it.
template <typename Function, typename... Args>
auto Call(Function function, Args... args) {
  ++t_real_calls;
  return function(args...);
}

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

// The system's export, for a call made before the interception recorded the unpatched one.
template <typename Function>
Function SystemExport(const char* module_name, const char* name) {
  HMODULE module = ::LoadLibraryA(module_name);
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

Win32FileFunctions::Win32FileFunctions() {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  resolved_ = Resolve(kernel, "CreateFileA", create_file_a_) & Resolve(kernel, "CreateFileW", create_file_w_) &
              Resolve(kernel, "ReadFile", read_file_) & Resolve(kernel, "WriteFile", write_file_) &
              Resolve(kernel, "SetFilePointer", set_file_pointer_) & Resolve(kernel, "GetFileSize", get_file_size_) &
              Resolve(kernel, "GetFileType", get_file_type_) & Resolve(kernel, "CloseHandle", close_handle_) &
              Resolve(kernel, "GetFileAttributesA", get_file_attributes_a_) &
              Resolve(kernel, "GetFileAttributesW", get_file_attributes_w_) &
              Resolve(kernel, "FindFirstFileA", find_first_file_a_) &
              Resolve(kernel, "FindFirstFileW", find_first_file_w_) &
              Resolve(kernel, "FindFirstFileExA", find_first_file_ex_a_) &
              Resolve(kernel, "FindFirstFileExW", find_first_file_ex_w_) &
              Resolve(kernel, "FindNextFileA", find_next_file_a_) & Resolve(kernel, "FindNextFileW", find_next_file_w_) &
              Resolve(kernel, "FindClose", find_close_) & Resolve(kernel, "CopyFileA", copy_file_a_) &
              Resolve(kernel, "CopyFileW", copy_file_w_) & Resolve(kernel, "DeleteFileA", delete_file_a_) &
              Resolve(kernel, "DeleteFileW", delete_file_w_);
}

// Each call checks its pointer, so a table that could not resolve fails like the function would.
HANDLE Win32FileFunctions::CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                       DWORD disposition, DWORD flags, HANDLE template_file) {
  if (!create_file_a_) return INVALID_HANDLE_VALUE;
  return Call(create_file_a_, path, access, share, security, disposition, flags, template_file);
}

HANDLE Win32FileFunctions::CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                       DWORD disposition, DWORD flags, HANDLE template_file) {
  if (!create_file_w_) return INVALID_HANDLE_VALUE;
  return Call(create_file_w_, path, access, share, security, disposition, flags, template_file);
}

BOOL Win32FileFunctions::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  return read_file_ ? Call(read_file_, file, buffer, count, read, overlapped) : FALSE;
}

BOOL Win32FileFunctions::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written,
                                   OVERLAPPED* overlapped) {
  return write_file_ ? Call(write_file_, file, buffer, count, written, overlapped) : FALSE;
}

DWORD Win32FileFunctions::SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) {
  return set_file_pointer_ ? Call(set_file_pointer_, file, distance, distance_high, method) : INVALID_SET_FILE_POINTER;
}

DWORD Win32FileFunctions::GetFileSize(HANDLE file, DWORD* size_high) {
  return get_file_size_ ? Call(get_file_size_, file, size_high) : INVALID_FILE_SIZE;
}

DWORD Win32FileFunctions::GetFileType(HANDLE file) {
  return get_file_type_ ? Call(get_file_type_, file) : FILE_TYPE_UNKNOWN;
}

BOOL Win32FileFunctions::CloseHandle(HANDLE object) { return close_handle_ ? Call(close_handle_, object) : FALSE; }

DWORD Win32FileFunctions::GetFileAttributesA(const char* path) {
  return get_file_attributes_a_ ? Call(get_file_attributes_a_, path) : INVALID_FILE_ATTRIBUTES;
}

DWORD Win32FileFunctions::GetFileAttributesW(const OLECHAR* path) {
  return get_file_attributes_w_ ? Call(get_file_attributes_w_, path) : INVALID_FILE_ATTRIBUTES;
}

HANDLE Win32FileFunctions::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  return find_first_file_a_ ? Call(find_first_file_a_, pattern, data) : INVALID_HANDLE_VALUE;
}

HANDLE Win32FileFunctions::FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) {
  return find_first_file_w_ ? Call(find_first_file_w_, pattern, data) : INVALID_HANDLE_VALUE;
}

HANDLE Win32FileFunctions::FindFirstFileExA(const char* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                                            void* filter, DWORD flags) {
  if (!find_first_file_ex_a_) return INVALID_HANDLE_VALUE;
  return Call(find_first_file_ex_a_, pattern, level, data, search, filter, flags);
}

HANDLE Win32FileFunctions::FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel level, void* data,
                                            FindSearchOps search, void* filter, DWORD flags) {
  if (!find_first_file_ex_w_) return INVALID_HANDLE_VALUE;
  return Call(find_first_file_ex_w_, pattern, level, data, search, filter, flags);
}

BOOL Win32FileFunctions::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  return find_next_file_a_ ? Call(find_next_file_a_, find, data) : FALSE;
}

BOOL Win32FileFunctions::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  return find_next_file_w_ ? Call(find_next_file_w_, find, data) : FALSE;
}

BOOL Win32FileFunctions::FindClose(HANDLE find) { return find_close_ ? Call(find_close_, find) : FALSE; }

BOOL Win32FileFunctions::CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) {
  return copy_file_a_ ? Call(copy_file_a_, source, destination, fail_if_exists) : FALSE;
}

BOOL Win32FileFunctions::CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) {
  return copy_file_w_ ? Call(copy_file_w_, source, destination, fail_if_exists) : FALSE;
}

BOOL Win32FileFunctions::DeleteFileA(const char* path) { return delete_file_a_ ? Call(delete_file_a_, path) : FALSE; }

BOOL Win32FileFunctions::DeleteFileW(const OLECHAR* path) { return delete_file_w_ ? Call(delete_file_w_, path) : FALSE; }

HRESULT Win32FileFunctions::DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) {
  DoDragDropFunction function = do_drag_drop_;
  if (!function) function = SystemExport<DoDragDropFunction>("ole32.dll", "DoDragDrop");
  return function ? Call(function, data_object, drop_source, allowed_effects, effect) : E_NOTIMPL;
}

HRESULT Win32FileFunctions::CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) {
  IsFeatureEnabledFunction function = is_feature_enabled_;
  if (!function) function = SystemExport<IsFeatureEnabledFunction>("urlmon.dll", "CoInternetIsFeatureEnabled");
  return function ? Call(function, feature, flags) : E_NOTIMPL;
}

HRESULT Win32FileFunctions::CoInternetIsFeatureZoneElevationEnabled(const OLECHAR* from_url, const OLECHAR* to_url,
                                                                    void* security_manager, DWORD flags) {
  IsZoneElevationEnabledFunction function = is_zone_elevation_enabled_;
  if (!function)
    function = SystemExport<IsZoneElevationEnabledFunction>("urlmon.dll", "CoInternetIsFeatureZoneElevationEnabled");
  return function ? Call(function, from_url, to_url, security_manager, flags) : E_NOTIMPL;
}

uint32_t RealCallsOnThisThread() { return t_real_calls; }

Win32FileFunctions& Win32RealFileFunctions() {
  static Win32FileFunctions* functions = new Win32FileFunctions();  // for the life of the process
  return *functions;
}

FileFunctions& RealFileFunctions() { return Win32RealFileFunctions(); }

}  // namespace lectern
