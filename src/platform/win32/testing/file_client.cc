// A module that reads files the way the page component's modules do: through its own imports of
// kernel32's file functions (and one drag call, and two functions of a second module, one
// imported by ordinal). The tests patch its imports and call it.
#include <windows.h>
#include <ole2.h>

extern "C" int ProviderSeven();
extern "C" int ProviderNamed();

#define CLIENT extern "C" __declspec(dllexport)

CLIENT HANDLE WINAPI ClientCreateFileA(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
CLIENT BOOL WINAPI ClientReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  return ReadFile(file, buffer, count, read, nullptr);
}
CLIENT DWORD WINAPI ClientSetFilePointer(HANDLE file, LONG distance, DWORD method) {
  return SetFilePointer(file, distance, nullptr, method);
}
CLIENT DWORD WINAPI ClientGetFileSize(HANDLE file) { return GetFileSize(file, nullptr); }
CLIENT BOOL WINAPI ClientCloseHandle(HANDLE file) { return CloseHandle(file); }
CLIENT DWORD WINAPI ClientGetFileAttributesA(const char* path) { return GetFileAttributesA(path); }
CLIENT HANDLE WINAPI ClientFindFirstFileA(const char* path, WIN32_FIND_DATAA* data) {
  return FindFirstFileA(path, data);
}
CLIENT BOOL WINAPI ClientFindClose(HANDLE find) { return FindClose(find); }
CLIENT BOOL WINAPI ClientCopyFileA(const char* from, const char* to, BOOL fail_if_exists) {
  return CopyFileA(from, to, fail_if_exists);
}
CLIENT HRESULT WINAPI ClientDoDragDrop() {
  DWORD effect = 0;
  return DoDragDrop(nullptr, nullptr, DROPEFFECT_COPY, &effect);
}
CLIENT int WINAPI ClientProviderSeven() { return ProviderSeven(); }
CLIENT int WINAPI ClientProviderNamed() { return ProviderNamed(); }
