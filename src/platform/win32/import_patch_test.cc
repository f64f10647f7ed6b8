#include "platform/win32/import_patch.h"

#include <gtest/gtest.h>

#include <vector>

namespace lectern {
namespace {

using AttributesFunction = DWORD(WINAPI*)(const char*);
using IntFunction = int(WINAPI*)();

DWORD WINAPI FixedAttributes(const char*) { return 0x1234; }
int FortyTwo() { return 42; }

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

class ImportPatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = ::LoadLibraryA(FILE_CLIENT_DLL);
    ASSERT_NE(client_, nullptr);
  }
  HMODULE client_ = nullptr;
};

TEST_F(ImportPatchTest, ByNameTheModulesOwnCallsChangeAndTheOldTargetComesBack) {
  auto attributes = Export<AttributesFunction>(client_, "ClientGetFileAttributesA");
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes("c:\\no\\such\\file"), INVALID_FILE_ATTRIBUTES);
  void** slot = FindImportSlot(client_, "kernel32.dll", ImportName::Named("GetFileAttributesA"));
  ASSERT_NE(slot, nullptr);
  void* before = *slot;  // the system's function, or the interception's if another test installed it

  // Names of the module and of the function compare without letter case.
  std::optional<void*> old = PatchImport(FILE_CLIENT_DLL, "KERNEL32.DLL", ImportName::Named("getfileattributesa"),
                                         reinterpret_cast<void*>(&FixedAttributes));
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(*old, before);
  EXPECT_EQ(attributes("c:\\no\\such\\file"), 0x1234u);
  EXPECT_EQ(::GetFileAttributesA("c:\\no\\such\\file"), INVALID_FILE_ATTRIBUTES) << "only that module's calls";

  std::optional<void*> mine = PatchImport(FILE_CLIENT_DLL, "kernel32.dll", ImportName::Named("GetFileAttributesA"), *old);
  ASSERT_TRUE(mine.has_value());
  EXPECT_EQ(*mine, reinterpret_cast<void*>(&FixedAttributes));
  EXPECT_EQ(attributes("c:\\no\\such\\file"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ImportPatchTest, ByOrdinalOnlyAnImportByOrdinalMatches) {
  auto seven = Export<IntFunction>(client_, "ClientProviderSeven");
  auto named = Export<IntFunction>(client_, "ClientProviderNamed");
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven(), 7);
  EXPECT_EQ(named(), 8);

  // ProviderSeven is imported by ordinal only, ProviderNamed by name only.
  EXPECT_FALSE(PatchImport(FILE_CLIENT_DLL, ORDINAL_PROVIDER_DLL, ImportName::Named("ProviderSeven"),
                           reinterpret_cast<void*>(&FortyTwo)));
  EXPECT_FALSE(PatchImport(FILE_CLIENT_DLL, ORDINAL_PROVIDER_DLL, ImportName::Ordinal(8),
                           reinterpret_cast<void*>(&FortyTwo)));
  std::optional<void*> old = PatchImport(FILE_CLIENT_DLL, ORDINAL_PROVIDER_DLL,
                                         ImportName::FromNameOrOrdinal(reinterpret_cast<const char*>(uintptr_t(7))),
                                         reinterpret_cast<void*>(&FortyTwo));
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(seven(), 42);
  EXPECT_EQ(named(), 8);
  PatchImport(FILE_CLIENT_DLL, ORDINAL_PROVIDER_DLL, ImportName::Ordinal(7), *old);
  EXPECT_EQ(seven(), 7);
}

TEST_F(ImportPatchTest, NothingHappensWithoutTheModuleOrTheImport) {
  void* any = reinterpret_cast<void*>(&FixedAttributes);
  EXPECT_FALSE(PatchImport("lectern-no-such-module.dll", "kernel32.dll", ImportName::Named("ReadFile"), any));
  EXPECT_FALSE(PatchImport("", "kernel32.dll", ImportName::Named("ReadFile"), any));
  EXPECT_FALSE(PatchImport(FILE_CLIENT_DLL, "", ImportName::Named("ReadFile"), any));
  EXPECT_FALSE(PatchImport(nullptr, "kernel32.dll", ImportName::Named("ReadFile"), any));
  EXPECT_FALSE(PatchImport(FILE_CLIENT_DLL, "kernel32.dll", ImportName::Named("MoveFileA"), any))
      << "the module does not import it";
  EXPECT_FALSE(PatchImport(FILE_CLIENT_DLL, "user32.dll", ImportName::Named("MessageBoxA"), any))
      << "nor anything from that module";
  EXPECT_FALSE(PatchImport(ORDINAL_PROVIDER_DLL, "kernel32.dll", ImportName::Named("CopyFileA"), any));
}

TEST(FindImportSlotTest, MemoryThatIsNoImageIsRefused) {
  EXPECT_EQ(FindImportSlot(nullptr, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
  // Headers that point outside the probed bytes, or carry the wrong signatures.
  std::vector<uint8_t> fake(4096, 0);
  auto* module = reinterpret_cast<HMODULE>(fake.data());
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(fake.data());
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = 0x7FFFFFF0;
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
  dos->e_lfanew = 0x80;
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr) << "no PE signature";
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(fake.data() + 0x80);
  nt->Signature = IMAGE_NT_SIGNATURE;
  nt->OptionalHeader.Magic = 0x10B;
  nt->OptionalHeader.SizeOfImage = 4096;
  nt->OptionalHeader.NumberOfRvaAndSizes = 16;
  // An import directory far outside the image.
  nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {0x10000000, 20};
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
  // A descriptor whose name runs off the end of the image.
  nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {0x400, 40};
  auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(fake.data() + 0x400);
  descriptor->OriginalFirstThunk = 0x500;
  descriptor->FirstThunk = 0x600;
  descriptor->Name = 4095;
  fake[4095] = 'k';
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
  nt->OptionalHeader.Magic = 0x999;
  EXPECT_EQ(FindImportSlot(module, "kernel32.dll", ImportName::Named("ReadFile")), nullptr);
}

}  // namespace
}  // namespace lectern
