// The registry functions on Windows are the system's: the same meaning, the same codes.
#include "platform/registry.h"

namespace lectern {

LONG RegistryCreateKey(HKEY parent, const char* sub_key, DWORD options, REGSAM access, HKEY* result,
                       DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return ::RegCreateKeyExA(parent, sub_key ? sub_key : "", 0, nullptr, options, access, nullptr, result, disposition);
}

LONG RegistryOpenKey(HKEY parent, const char* sub_key, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return ::RegOpenKeyExA(parent, sub_key, 0, access, result);
}

LONG RegistryQueryValue(HKEY key, const char* value_name, DWORD* type, BYTE* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  return ::RegQueryValueExA(key, value_name, nullptr, type, data, size);
}

LONG RegistrySetValue(HKEY key, const char* value_name, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_INVALID_PARAMETER;
  return ::RegSetValueExA(key, value_name, 0, type, data, size);
}

LONG RegistryDeleteValue(HKEY key, const char* value_name) { return ::RegDeleteValueA(key, value_name); }

// The system refuses a key that still has subkeys, as the contract asks.
LONG RegistryDeleteKey(HKEY parent, const char* sub_key) { return ::RegDeleteKeyA(parent, sub_key); }

LONG RegistryCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return ::RegCloseKey(key);
}

}  // namespace lectern
