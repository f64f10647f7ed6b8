#include "platform/user_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace lectern {
namespace {

std::string WithoutTrailingSeparator(std::string path) {
  // "c:\" keeps its separator: without it the text names the drive's current folder.
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string KnownFolder(int folder) {
  char path[MAX_PATH] = {};
  if (::SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK || !path[0]) return {};
  return WithoutTrailingSeparator(path) + "\\Lectern";
}

}  // namespace

// Books keep their working folders in the temporary folder on Windows (see TemporaryFolder);
// these two are where other per-user state would go.
std::string UserDataFolder() { return KnownFolder(CSIDL_APPDATA); }
std::string UserConfigFolder() { return KnownFolder(CSIDL_APPDATA); }

std::string TemporaryFolder() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetTempPathA(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) return "c:\\temp";
  return WithoutTrailingSeparator(std::string(path, length));
}

namespace {
std::string g_private_fallback;
}  // namespace

// The temporary folder is the user's own on Windows; the private folder lies in the book's
// working folder there.
std::string PrivateFilesFolder() {
  if (g_private_fallback.empty()) return {};
  std::string folder = g_private_fallback + "\\private";
  if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
  DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return {};
  return folder;
}

void SetPrivateFilesFallback(const std::string& folder) { g_private_fallback = folder; }

bool IsOwnRegularFile(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

}  // namespace lectern
