#include "platform/win32/file_interception.h"

#include <mutex>

#include "datastore/virtual_file_layer.h"
#include "platform/registry.h"
#include "platform/win32/entry_point_patch.h"
#include "platform/win32/win32_file_functions.h"

namespace lectern {
namespace {

constexpr DWORD kModulePathCapacity = 260;

// A call the layer answers itself leaves the thread's last error as the caller had it; a call
// passed on leaves what the system set.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : error_(::GetLastError()), real_calls_(RealCallsOnThisThread()) {}
  ~LastErrorKeeper() {
    if (RealCallsOnThisThread() == real_calls_) ::SetLastError(error_);
  }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD error_;
  uint32_t real_calls_;
};

HANDLE WINAPI OpenNarrow(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                         DWORD flags, HANDLE template_file) {
  LastErrorKeeper keeper;
  return FileInterception().CreateFileA(path, access, share, security, disposition, flags, template_file);
}

HANDLE WINAPI OpenWide(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE template_file) {
  LastErrorKeeper keeper;
  return FileInterception().CreateFileW(path, access, share, security, disposition, flags, template_file);
}

BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
  LastErrorKeeper keeper;
  return FileInterception().ReadFile(file, buffer, count, read, overlapped);
}

DWORD WINAPI Seek(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
  LastErrorKeeper keeper;
  return FileInterception().SetFilePointer(file, distance, distance_high, method);
}

DWORD WINAPI Size(HANDLE file, LPDWORD size_high) {
  LastErrorKeeper keeper;
  return FileInterception().GetFileSize(file, size_high);
}

DWORD WINAPI Type(HANDLE file) {
  LastErrorKeeper keeper;
  return FileInterception().GetFileType(file);
}

BOOL WINAPI Close(HANDLE object) {
  LastErrorKeeper keeper;
  return FileInterception().CloseHandle(object);
}

DWORD WINAPI AttributesNarrow(LPCSTR path) {
  LastErrorKeeper keeper;
  return FileInterception().GetFileAttributesA(path);
}

DWORD WINAPI AttributesWide(LPCWSTR path) {
  LastErrorKeeper keeper;
  return FileInterception().GetFileAttributesW(path);
}

HANDLE WINAPI FindFirstNarrow(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  LastErrorKeeper keeper;
  return FileInterception().FindFirstFileA(pattern, data);
}

HANDLE WINAPI FindFirstWide(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  LastErrorKeeper keeper;
  return FileInterception().FindFirstFileW(pattern, data);
}

HANDLE WINAPI FindFirstExNarrow(LPCSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS search,
                                LPVOID filter, DWORD flags) {
  LastErrorKeeper keeper;
  return FileInterception().FindFirstFileExA(pattern, level, data, search, filter, flags);
}

HANDLE WINAPI FindFirstExWide(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS search,
                              LPVOID filter, DWORD flags) {
  LastErrorKeeper keeper;
  return FileInterception().FindFirstFileExW(pattern, level, data, search, filter, flags);
}

BOOL WINAPI FindCloseReplacement(HANDLE find) {
  LastErrorKeeper keeper;
  return FileInterception().FindClose(find);
}

BOOL WINAPI CopyNarrow(LPCSTR source, LPCSTR destination, BOOL fail_if_exists) {
  LastErrorKeeper keeper;
  return FileInterception().CopyFileA(source, destination, fail_if_exists);
}

BOOL WINAPI CopyWide(LPCWSTR source, LPCWSTR destination, BOOL fail_if_exists) {
  LastErrorKeeper keeper;
  return FileInterception().CopyFileW(source, destination, fail_if_exists);
}

HRESULT WINAPI DragGate(LPDATAOBJECT data_object, LPDROPSOURCE drop_source, DWORD allowed_effects, LPDWORD effect) {
  return FileInterception().DoDragDrop(data_object, drop_source, allowed_effects, effect);
}

HRESULT WINAPI FeatureEnabled(DWORD feature, DWORD flags) {
  return FileInterception().CoInternetIsFeatureEnabled(feature, flags);
}

HRESULT WINAPI ZoneElevationEnabled(LPCWSTR from_url, LPCWSTR to_url, void* security_manager, DWORD flags) {
  return FileInterception().CoInternetIsFeatureZoneElevationEnabled(from_url, to_url, security_manager, flags);
}

template <typename Function>
void* Address(Function function) {
  return reinterpret_cast<void*>(function);
}

// The plug-in's module path, read only: the key is the plug-in's registration, which a reader
// has no business opening for writing (and a user without the right to could not).
std::string PluginModulePath() {
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CLASSES_ROOT, kPluginServerKey, KEY_READ, key.out()) != ERROR_SUCCESS) return {};
  char buffer[kModulePathCapacity] = {};
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  if (RegistryQueryValue(key.get(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::mutex& PatchMutex() {
  static std::mutex* mutex = new std::mutex();
  return *mutex;
}

bool g_features_patched = false;
bool g_features_tried = false;

void PatchFeatureFunctions() {
  if (g_features_tried) return;
  g_features_tried = true;
  HMODULE urlmon = ::LoadLibraryA("urlmon.dll");
  if (!urlmon) return;
  bool patched = false;
  if (void* enabled = reinterpret_cast<void*>(::GetProcAddress(urlmon, "CoInternetIsFeatureEnabled"))) {
    patched |= PatchEntryPoint(enabled, Address(&FeatureEnabled), [](void* trampoline) {
                 Win32RealFileFunctions().SetIsFeatureEnabled(reinterpret_cast<IsFeatureEnabledFunction>(trampoline));
               }) != nullptr;
  }
  if (void* zone = reinterpret_cast<void*>(::GetProcAddress(urlmon, "CoInternetIsFeatureZoneElevationEnabled"))) {
    patched |= PatchEntryPoint(zone, Address(&ZoneElevationEnabled), [](void* trampoline) {
                 Win32RealFileFunctions().SetIsZoneElevationEnabled(
                     reinterpret_cast<IsZoneElevationEnabledFunction>(trampoline));
               }) != nullptr;
  }
  g_features_patched = patched;
}

}  // namespace

std::vector<std::string> InterceptedModules() {
  std::vector<std::string> modules = {"urlmon.dll",  "mshtml.dll",  "quartz.dll", "javart.dll",
                                      "strmdll.dll", "shell32.dll", "wmpcore.dll", "wmvcore.dll",
                                      "wmp.dll",     "shlwapi.dll"};
  std::string plugin = PluginModulePath();
  if (!plugin.empty()) modules.push_back(std::move(plugin));
  return modules;
}

const std::vector<FilePatch>& FilePatches() {
  static const std::vector<FilePatch> patches = {
      {"shlwapi.dll", ImportName::Ordinal(75), Address(&AttributesWide)},
      {"shlwapi.dll", ImportName::Ordinal(65), Address(&FindFirstWide)},
      {"shlwapi.dll", ImportName::Ordinal(52), Address(&OpenWide)},
      {"kernel32.dll", ImportName::Named("FindClose"), Address(&FindCloseReplacement)},
      {"kernel32.dll", ImportName::Named("CloseHandle"), Address(&Close)},
      {"kernel32.dll", ImportName::Named("SetFilePointer"), Address(&Seek)},
      {"kernel32.dll", ImportName::Named("ReadFile"), Address(&Read)},
      {"kernel32.dll", ImportName::Named("GetFileSize"), Address(&Size)},
      {"kernel32.dll", ImportName::Named("CreateFileA"), Address(&OpenNarrow)},
      {"kernel32.dll", ImportName::Named("CreateFileW"), Address(&OpenWide)},
      {"kernel32.dll", ImportName::Named("GetFileAttributesA"), Address(&AttributesNarrow)},
      {"kernel32.dll", ImportName::Named("GetFileAttributesW"), Address(&AttributesWide)},
      {"kernel32.dll", ImportName::Named("FindFirstFileA"), Address(&FindFirstNarrow)},
      {"kernel32.dll", ImportName::Named("FindFirstFileW"), Address(&FindFirstWide)},
      {"kernel32.dll", ImportName::Named("FindFirstFileExA"), Address(&FindFirstExNarrow)},
      {"kernel32.dll", ImportName::Named("FindFirstFileExW"), Address(&FindFirstExWide)},
      {"kernel32.dll", ImportName::Named("GetFileType"), Address(&Type)},
      {"kernel32.dll", ImportName::Named("CopyFileA"), Address(&CopyNarrow)},
      {"kernel32.dll", ImportName::Named("CopyFileW"), Address(&CopyWide)},
  };
  return patches;
}

void* DragGateAddress() { return Address(&DragGate); }
void* FeatureEnabledReplacementAddress() { return Address(&FeatureEnabled); }
void* ZoneElevationReplacementAddress() { return Address(&ZoneElevationEnabled); }

bool FeatureFunctionsPatched() {
  std::lock_guard lock(PatchMutex());
  return g_features_patched;
}

void InstallFileInterception() {
  FileInterception().Install();
  std::lock_guard lock(PatchMutex());
  for (const std::string& module : InterceptedModules()) {
    for (const FilePatch& patch : FilePatches())
      PatchImport(module.c_str(), patch.imported_module, patch.function, patch.replacement);
  }
  // The gate's own call goes where the import led before; a second installation finds the gate.
  std::optional<void*> drag = PatchImport("mshtml.dll", "ole32.dll", ImportName::Named("DoDragDrop"), DragGateAddress());
  if (drag && *drag && *drag != DragGateAddress())
    Win32RealFileFunctions().SetDoDragDrop(reinterpret_cast<DoDragDropFunction>(*drag));
  PatchFeatureFunctions();
}

void RemoveFileInterception() { FileInterception().Remove(); }

}  // namespace lectern
