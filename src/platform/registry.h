// The registry as the core uses it: hives, keys opened through handles with access masks, named
// values of a type, and results as the platform's error codes. On Windows the types and codes are
// the system's own; elsewhere a small copy with the same values, so callers read the same on both.
//
// Meaning kept from the platform:
// - Keys are made on demand by RegistryCreateKey (every missing level); RegistryOpenKey never makes one.
// - Key and value names compare without regard to ASCII letter case; a key keeps the spelling it
//   was created with. Subkey paths separate levels with '\'; an empty (or null) subkey names the key itself.
// - The empty (or null) value name is the key's default value.
// - A REG_SZ value's size counts its terminating NUL. A REG_SZ or REG_EXPAND_SZ written without
//   one is stored with one added, so a string always reads back terminated.
// - RegistryQueryValue with a null buffer answers the size; with a buffer too small it answers
//   ERROR_MORE_DATA and the size needed, and leaves the buffer alone.
// - A handle whose key was deleted answers ERROR_KEY_DELETED; a key with subkeys cannot be deleted.
// - When the store behind the registry cannot be used (damaged, locked by another process beyond
//   the wait, unwritable) every call answers a failure code and the stored data is left as it was.
//
// Calls may come from any thread.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
using LONG = int32_t;
using DWORD = uint32_t;
using BYTE = uint8_t;
using REGSAM = uint32_t;
struct HKEY__;
using HKEY = HKEY__*;

// The predefined hives are fixed handle values, as on the platform whose books these are.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#endif

namespace lectern {

#ifndef _WIN32
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BUSY = 170;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
#endif

// Opens `sub_key` under `parent`, making every missing level; `disposition` (may be null) tells
// whether the last level was made. Needs KEY_CREATE_SUB_KEY on `parent`. Only non-volatile keys.
LONG RegistryCreateKey(HKEY parent, const char* sub_key, DWORD options, REGSAM access, HKEY* result,
                       DWORD* disposition);
// Opens an existing key; ERROR_FILE_NOT_FOUND when any level is missing.
LONG RegistryOpenKey(HKEY parent, const char* sub_key, REGSAM access, HKEY* result);
// Reads a value (needs KEY_QUERY_VALUE). `type` and `data` may be null; `size` may be null only
// when `data` is. On entry `*size` is the buffer's capacity; on return the value's size.
LONG RegistryQueryValue(HKEY key, const char* value_name, DWORD* type, BYTE* data, DWORD* size);
// Writes a value, replacing any of the same name whatever its type (needs KEY_SET_VALUE).
// REG_DWORD takes exactly 4 bytes.
LONG RegistrySetValue(HKEY key, const char* value_name, DWORD type, const BYTE* data, DWORD size);
LONG RegistryDeleteValue(HKEY key, const char* value_name);
// Deletes `sub_key` (not empty) with its values; ERROR_ACCESS_DENIED while it has subkeys.
LONG RegistryDeleteKey(HKEY parent, const char* sub_key);
// Closes a handle; closing a hive is harmless.
LONG RegistryCloseKey(HKEY key);

// A key handle closed with its holder.
class RegistryKeyHolder {
 public:
  RegistryKeyHolder() = default;
  explicit RegistryKeyHolder(HKEY key) : key_(key) {}
  RegistryKeyHolder(const RegistryKeyHolder&) = delete;
  RegistryKeyHolder& operator=(const RegistryKeyHolder&) = delete;
  ~RegistryKeyHolder() {
    if (key_) RegistryCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace lectern
