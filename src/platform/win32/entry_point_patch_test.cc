#include "platform/win32/entry_point_patch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace lectern {
namespace {

using PlusFunction = int(WINAPI*)(int);

int WINAPI TimesHundred(int x) { return x * 100; }

// Machine code in memory of its own, for functions whose first bytes the test knows.
class CodePage {
 public:
  CodePage() {
    page_ = static_cast<uint8_t*>(::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  }
  ~CodePage() { ::VirtualFree(page_, 0, MEM_RELEASE); }
  uint8_t* Put(size_t at, std::vector<uint8_t> bytes) {
    std::memcpy(page_ + at, bytes.data(), bytes.size());
    return page_ + at;
  }
  uint8_t* at(size_t offset) { return page_ + offset; }

 private:
  uint8_t* page_;
};

// mov edi,edi; push ebp; mov ebp,esp; mov eax,[ebp+8]; inc eax; pop ebp; ret 4: x + 1.
const std::vector<uint8_t> kPlusOne = {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x40, 0x5D, 0xC2, 0x04, 0x00};

TEST(MovableInstructionTest, LengthsOfCommonPrologues) {
  bool relative = false;
  auto length = [&](std::vector<uint8_t> code) {
    code.resize(16, 0x90);
    return MovableInstructionLength(code.data(), &relative);
  };
  EXPECT_EQ(length({0x55}), 1u);
  EXPECT_EQ(length({0x8B, 0xFF}), 2u);
  EXPECT_EQ(length({0x83, 0xEC, 0x28}), 3u);
  EXPECT_EQ(length({0x81, 0xEC, 0, 1, 0, 0}), 6u);
  EXPECT_EQ(length({0x8B, 0x44, 0x24, 0x04}), 4u) << "SIB byte and 8-bit displacement";
  EXPECT_EQ(length({0x8B, 0x0D, 1, 2, 3, 4}), 6u) << "absolute address";
  EXPECT_EQ(length({0x64, 0xA1, 0, 0, 0, 0}), 6u) << "segment prefix";
  EXPECT_EQ(length({0x66, 0x68, 1, 2}), 4u) << "16-bit operand";
  EXPECT_EQ(length({0xF3, 0x0F, 0x1E, 0xFB}), 4u) << "endbr32";
  EXPECT_EQ(length({0xE8, 0, 0, 0, 0}), 5u);
  EXPECT_TRUE(relative);
  for (std::vector<uint8_t> refused : {std::vector<uint8_t>{0xEB, 0x00}, {0x74, 0x02}, {0xC3}, {0xC2, 4, 0},
                                       {0x0F, 0x84, 0, 0, 0, 0}, {0xFF, 0x1D, 0, 0, 0, 0}, {0xCC}}) {
    EXPECT_EQ(length(refused), 0u) << int(refused[0]);
  }
}

#if defined(__i386__)
// The code below is 32-bit x86 and runs only in that build.
TEST(EntryPointPatchTest, EveryCallerReachesTheReplacementAndTheTrampolineTheOriginal) {
  CodePage code;
  auto* plus_one = reinterpret_cast<PlusFunction>(code.Put(0, kPlusOne));
  EXPECT_EQ(plus_one(4), 5);
  void* published = nullptr;
  static void** sink = nullptr;
  sink = &published;
  void* trampoline = PatchEntryPoint(reinterpret_cast<void*>(plus_one), reinterpret_cast<void*>(&TimesHundred),
                                     [](void* t) { *sink = t; });
  ASSERT_NE(trampoline, nullptr);
  EXPECT_EQ(published, trampoline) << "handed out before the jump was written";
  EXPECT_EQ(plus_one(4), 400);
  EXPECT_EQ(reinterpret_cast<PlusFunction>(trampoline)(4), 5);
}

TEST(EntryPointPatchTest, ARelativeJumpKeepsItsTarget) {
  CodePage code;
  uint8_t* target = code.Put(256, kPlusOne);
  // jmp rel32 to the function 256 bytes on.
  uint8_t* jumper = code.Put(0, {0xE9, 0, 0, 0, 0, 0x90, 0x90});
  int32_t displacement = int32_t(target - (jumper + 5));
  std::memcpy(jumper + 1, &displacement, 4);
  void* trampoline = PatchEntryPoint(jumper, reinterpret_cast<void*>(&TimesHundred));
  ASSERT_NE(trampoline, nullptr);
  EXPECT_EQ(reinterpret_cast<PlusFunction>(jumper)(3), 300);
  EXPECT_EQ(reinterpret_cast<PlusFunction>(trampoline)(3), 4);
}

TEST(EntryPointPatchTest, AnUnmovablePrologueIsLeftAsItWas) {
  CodePage code;
  // jmp short +0, then the function: a short jump cannot move.
  std::vector<uint8_t> bytes = {0xEB, 0x00};
  bytes.insert(bytes.end(), kPlusOne.begin(), kPlusOne.end());
  uint8_t* function = code.Put(0, bytes);
  EXPECT_EQ(PatchEntryPoint(function, reinterpret_cast<void*>(&TimesHundred)), nullptr);
  EXPECT_EQ(std::memcmp(function, bytes.data(), bytes.size()), 0);
  EXPECT_EQ(reinterpret_cast<PlusFunction>(function)(1), 2);
  EXPECT_EQ(PatchEntryPoint(nullptr, reinterpret_cast<void*>(&TimesHundred)), nullptr);
}

#else
TEST(EntryPointPatchTest, CodeOfOtherProcessorsIsNeverPatched) {
  CodePage code;
  uint8_t* function = code.Put(0, kPlusOne);
  void* published = nullptr;
  static void** sink = nullptr;
  sink = &published;
  EXPECT_EQ(PatchEntryPoint(function, reinterpret_cast<void*>(&TimesHundred), [](void* t) { *sink = t; }), nullptr);
  EXPECT_EQ(std::memcmp(function, kPlusOne.data(), kPlusOne.size()), 0);
  EXPECT_EQ(published, nullptr);
}
#endif

}  // namespace
}  // namespace lectern
