#include "platform/win32/import_patch.h"

#include <cstring>

namespace lectern {
namespace {

constexpr size_t kHeaderProbeBytes = 1024;
constexpr WORD kPe32Magic = 0x10B;
constexpr WORD kPe32PlusMagic = 0x20B;

bool IsReadable(const void* address, size_t size) {
  const auto* at = static_cast<const uint8_t*>(address);
  const uint8_t* end = at + size;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info{};
    if (::VirtualQuery(at, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return false;
    if (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
    at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

int CompareIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? char(*a + 32) : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? char(*b + 32) : *b;
    if (x != y || x == '\0') return x - y;
  }
}

// The mapped image, with every reference into it checked against its size.
class Image {
 public:
  Image(const uint8_t* base, DWORD size) : base_(base), size_(size) {}

  template <typename T>
  const T* At(DWORD rva, DWORD count = 1) const {
    if (rva > size_ || count > (size_ - rva) / sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(base_ + rva);
  }
  // A NUL-terminated name inside the image, or null.
  const char* Name(DWORD rva) const {
    if (rva >= size_) return nullptr;
    const char* name = reinterpret_cast<const char*>(base_ + rva);
    return std::memchr(name, 0, size_ - rva) ? name : nullptr;
  }

 private:
  const uint8_t* base_;
  DWORD size_;
};

template <typename Thunk, uint64_t kOrdinalFlag>
void** FindInTable(const Image& image, const IMAGE_DATA_DIRECTORY& directory, const char* imported_module,
                   ImportName function) {
  if (directory.VirtualAddress == 0 || directory.Size == 0) return nullptr;
  for (DWORD at = directory.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* descriptor = image.At<IMAGE_IMPORT_DESCRIPTOR>(at);
    if (!descriptor || descriptor->OriginalFirstThunk == 0) return nullptr;
    const char* name = image.Name(descriptor->Name);
    if (!name || CompareIgnoringCase(name, imported_module) != 0) continue;

    // The first descriptor of that module is the one its calls go through.
    for (DWORD index = 0;; ++index) {
      const Thunk* entry = image.At<Thunk>(descriptor->OriginalFirstThunk + index * sizeof(Thunk));
      const Thunk* slot = image.At<Thunk>(descriptor->FirstThunk + index * sizeof(Thunk));
      if (!entry || !slot || *entry == 0) return nullptr;
      bool by_ordinal = (*entry & kOrdinalFlag) != 0;
      bool match = false;
      if (function.is_ordinal()) {
        match = by_ordinal && (*entry & 0x7FFFFFFF) == function.ordinal();
      } else if (!by_ordinal && *entry <= 0xFFFFFFFF) {
        const char* imported = image.Name(DWORD(*entry) + 2);  // past the hint
        match = imported && CompareIgnoringCase(imported, function.name()) == 0;
      }
      if (match) return reinterpret_cast<void**>(const_cast<Thunk*>(slot));
    }
  }
}

}  // namespace

void** FindImportSlot(HMODULE module, const char* imported_module, ImportName function) {
  if (!module || !imported_module || (!function.is_ordinal() && !function.name())) return nullptr;
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  if (!IsReadable(base, kHeaderProbeBytes)) return nullptr;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  // The PE header and the optional header's fixed part lie in the probed bytes.
  if (dos->e_lfanew < 0 || size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > kHeaderProbeBytes) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const WORD magic = nt->OptionalHeader.Magic;
  // Only an image of this process's own width has slots of our pointer size.
  if (magic == kPe32Magic) {
    if (sizeof(void*) != sizeof(uint32_t)) return nullptr;
    const IMAGE_OPTIONAL_HEADER32& optional = nt->OptionalHeader;
    if (optional.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) return nullptr;
    Image image(base, optional.SizeOfImage);
    return FindInTable<uint32_t, 0x80000000u>(image, optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT],
                                              imported_module, function);
  }
  if (magic == kPe32PlusMagic) {
    if (sizeof(void*) != sizeof(uint64_t)) return nullptr;
    const auto& optional = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt)->OptionalHeader;
    if (optional.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) return nullptr;
    Image image(base, optional.SizeOfImage);
    return FindInTable<uint64_t, 0x8000000000000000u>(image, optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT],
                                                      imported_module, function);
  }
  return nullptr;
}

std::optional<void*> PatchImport(const char* module_name, const char* imported_module, ImportName function,
                                 void* replacement) {
  if (!module_name || !*module_name || !imported_module || !*imported_module) return std::nullopt;
  HMODULE module = ::LoadLibraryA(module_name);
  if (!module) return std::nullopt;
  void** slot = FindImportSlot(module, imported_module, function);
  if (!slot) return std::nullopt;

  // A slot on an executable page keeps its execute right while it is written.
  MEMORY_BASIC_INFORMATION info{};
  if (::VirtualQuery(slot, &info, sizeof info) != sizeof info) return std::nullopt;
  const bool executable =
      (info.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
  DWORD previous = 0;
  if (!::VirtualProtect(slot, sizeof(void*), executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE, &previous))
    return std::nullopt;
  // Callers on other threads see the old target or the new one, never half of each.
  void* old = ::InterlockedExchangePointer(slot, replacement);
  DWORD ignored = 0;
  ::VirtualProtect(slot, sizeof(void*), previous, &ignored);
  return old;
}

}  // namespace lectern
