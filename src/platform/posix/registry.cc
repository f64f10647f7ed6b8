// The registry functions over the per-user store: a table of open handles, each naming a key by
// its stable number and carrying the access it was opened with.
#include "platform/registry.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/posix/registry_store.h"

namespace lectern {
namespace {

constexpr DWORD kMaxValueSize = 16u << 20;
constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kLastHandle = 0x7FFFFFF0;  // below the hives' fixed values

struct OpenKey {
  RegistryKeyId id;
  REGSAM access;
};

struct Registry {
  std::mutex mutex;
  RegistryStore::Options options;
  bool options_chosen = false;
  std::unique_ptr<RegistryStore> store;
  std::unordered_map<uintptr_t, OpenKey> handles;
  uintptr_t next_handle = kFirstHandle;
};

// Never destroyed: a handle may be closed by an object that outlives static destruction.
Registry& State() {
  static Registry* registry = new Registry;
  return *registry;
}

// Opened on first use, and again after a failure (a lock held by another reader passes).
LONG Store(Registry& registry, RegistryStore** store) {
  if (!registry.store) {
    if (!registry.options_chosen) {
      registry.options.path = DefaultRegistryStorePath();
      registry.options_chosen = true;
    }
    if (LONG rc = RegistryStore::Open(registry.options, &registry.store)) return rc;
  }
  *store = registry.store.get();
  return ERROR_SUCCESS;
}

LONG Resolve(const Registry& registry, HKEY key, OpenKey* open) {
  if (key == HKEY_CLASSES_ROOT) {
    *open = {RegistryStore::kClassesRoot, KEY_ALL_ACCESS};
    return ERROR_SUCCESS;
  }
  if (key == HKEY_CURRENT_USER) {
    *open = {RegistryStore::kCurrentUser, KEY_ALL_ACCESS};
    return ERROR_SUCCESS;
  }
  auto found = registry.handles.find(reinterpret_cast<uintptr_t>(key));
  if (found == registry.handles.end()) return ERROR_INVALID_HANDLE;
  *open = found->second;
  return ERROR_SUCCESS;
}

HKEY NewHandle(Registry& registry, OpenKey open) {
  while (registry.handles.count(registry.next_handle)) {
    registry.next_handle = registry.next_handle >= kLastHandle ? kFirstHandle : registry.next_handle + 4;
  }
  uintptr_t handle = registry.next_handle;
  registry.next_handle = handle >= kLastHandle ? kFirstHandle : handle + 4;
  registry.handles[handle] = open;
  return reinterpret_cast<HKEY>(handle);
}

std::string_view Name(const char* name) { return name ? std::string_view(name) : std::string_view(); }

}  // namespace

LONG RegistryCreateKey(HKEY parent, const char* sub_key, DWORD options, REGSAM access, HKEY* result,
                       DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, parent, &at)) return rc;
  if (!(at.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  RegistryKeyId id = 0;
  bool created = false;
  if (LONG rc = store->CreateKey(at.id, Name(sub_key), &id, &created)) return rc;
  *result = NewHandle(registry, {id, access});
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegistryOpenKey(HKEY parent, const char* sub_key, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, parent, &at)) return rc;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  RegistryKeyId id = 0;
  if (LONG rc = store->FindKey(at.id, Name(sub_key), &id)) return rc;
  *result = NewHandle(registry, {id, access});
  return ERROR_SUCCESS;
}

LONG RegistryQueryValue(HKEY key, const char* value_name, DWORD* type, BYTE* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, key, &at)) return rc;
  if (!(at.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  DWORD stored_type = REG_NONE;
  std::string bytes;
  if (LONG rc = store->QueryValue(at.id, Name(value_name), &stored_type, &bytes)) return rc;
  if (type) *type = stored_type;
  if (!size) return ERROR_SUCCESS;
  DWORD needed = DWORD(bytes.size());
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LONG RegistrySetValue(HKEY key, const char* value_name, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_INVALID_PARAMETER;
  if (size > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && size != 4) return ERROR_INVALID_PARAMETER;
  std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && (bytes.empty() || bytes.back() != '\0')) bytes.push_back('\0');
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, key, &at)) return rc;
  if (!(at.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  return store->SetValue(at.id, Name(value_name), type, bytes);
}

LONG RegistryDeleteValue(HKEY key, const char* value_name) {
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, key, &at)) return rc;
  if (!(at.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  return store->DeleteValue(at.id, Name(value_name));
}

LONG RegistryDeleteKey(HKEY parent, const char* sub_key) {
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  OpenKey at;
  if (LONG rc = Resolve(registry, parent, &at)) return rc;
  RegistryStore* store = nullptr;
  if (LONG rc = Store(registry, &store)) return rc;
  return store->DeleteKey(at.id, Name(sub_key));
}

LONG RegistryCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  return registry.handles.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void UseRegistryStore(RegistryStore::Options options) {
  Registry& registry = State();
  std::lock_guard lock(registry.mutex);
  registry.store.reset();
  registry.handles.clear();
  registry.options = std::move(options);
  registry.options_chosen = true;
}

}  // namespace lectern
