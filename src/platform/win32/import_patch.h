// Redirecting one imported function of a loaded module: the module's import address table slot
// for that function is overwritten, so the module's own calls reach the replacement while every
// other module, and the function itself, are untouched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace lectern {

// An imported function named either way an import table names it. Values below 0x10000 passed
// as a name pointer are ordinals, as the system's own lookups read them.
class ImportName {
 public:
  static ImportName Ordinal(uint16_t ordinal) { return ImportName(nullptr, ordinal); }
  static ImportName Named(const char* name) { return ImportName(name, 0); }
  // The system's convention: a "pointer" below 0x10000 is an ordinal.
  static ImportName FromNameOrOrdinal(const char* name_or_ordinal) {
    uintptr_t value = reinterpret_cast<uintptr_t>(name_or_ordinal);
    return value < 0x10000 ? Ordinal(uint16_t(value)) : Named(name_or_ordinal);
  }

  bool is_ordinal() const { return name_ == nullptr; }
  uint16_t ordinal() const { return ordinal_; }
  const char* name() const { return name_; }

 private:
  ImportName(const char* name, uint16_t ordinal) : name_(name), ordinal_(ordinal) {}
  const char* name_;
  uint16_t ordinal_;
};

// The import address table slot through which `module` calls `function` of `imported_module`
// (compared without regard to letter case), or null when the image is not a valid one or
// imports no such function. Only the module's own headers are read, each checked to lie inside
// the image before it is.
void** FindImportSlot(HMODULE module, const char* imported_module, ImportName function);

// Loads `module_name` (it stays loaded), finds the slot and stores `replacement` in it, with the
// page made writable for the store and its protection restored after. Returns the slot's old
// value; nothing for an empty name, a module that cannot be loaded, or an import it lacks.
std::optional<void*> PatchImport(const char* module_name, const char* imported_module, ImportName function,
                                 void* replacement);

}  // namespace lectern
