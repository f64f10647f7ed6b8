#include "platform/win32/entry_point_patch.h"

#include <windows.h>

#include <cstring>

namespace lectern {
namespace {

constexpr size_t kJumpSize = 5;  // E9 and a 32-bit displacement
constexpr size_t kMaxDisplaced = kJumpSize + 15;
constexpr uint8_t kJumpRel32 = 0xE9;
constexpr uint8_t kCallRel32 = 0xE8;

// The bytes a ModR/M operand adds after the opcode: the ModR/M byte itself, a SIB byte, and the
// displacement.
size_t OperandLength(const uint8_t* modrm) {
  const uint8_t mod = modrm[0] >> 6, rm = modrm[0] & 7;
  size_t length = 1;
  if (mod == 3) return length;
  if (rm == 4) {
    ++length;
    if (mod == 0 && (modrm[1] & 7) == 5) length += 4;
  } else if (mod == 0 && rm == 5) {
    length += 4;
  }
  if (mod == 1) length += 1;
  if (mod == 2) length += 4;
  return length;
}

int32_t ReadInt32(const uint8_t* at) {
  int32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

void WriteJump(uint8_t* at, const void* target) {
  at[0] = kJumpRel32;
  int32_t displacement = int32_t(reinterpret_cast<uintptr_t>(target) - (reinterpret_cast<uintptr_t>(at) + kJumpSize));
  std::memcpy(at + 1, &displacement, 4);
}

}  // namespace

size_t MovableInstructionLength(const uint8_t* code, bool* relative32) {
  *relative32 = false;
  size_t prefixes = 0;
  bool operand16 = false;
  for (;; ++prefixes) {
    if (prefixes > 4) return 0;
    const uint8_t b = code[prefixes];
    if (b == 0x66) operand16 = true;
    else if (b != 0xF2 && b != 0xF3 && b != 0x2E && b != 0x36 && b != 0x3E && b != 0x26 && b != 0x64 && b != 0x65)
      break;
  }
  const uint8_t* op = code + prefixes;
  const size_t imm = operand16 ? 2 : 4;
  const uint8_t b = op[0];
  size_t length = 0;
  if ((b >= 0x50 && b <= 0x5F) || b == 0x90) {
    length = 1;  // push, pop, nop
  } else if (b == 0x6A || (b >= 0xB0 && b <= 0xB7)) {
    length = 2;  // push imm8, mov r8, imm8
  } else if (b == 0x68 || (b >= 0xB8 && b <= 0xBF)) {
    length = 1 + imm;  // push imm, mov r, imm
  } else if (b == 0xA1 || b == 0xA3) {
    length = 5;  // mov eax, [moffs] and back: absolute, so movable
  } else if (b == kCallRel32 || b == kJumpRel32) {
    if (operand16) return 0;
    *relative32 = true;
    length = 5;
  } else if (b == 0x01 || b == 0x03 || b == 0x09 || b == 0x0B || b == 0x21 || b == 0x23 || b == 0x29 ||
             b == 0x2B || b == 0x31 || b == 0x33 || b == 0x38 || b == 0x39 || b == 0x3A || b == 0x3B ||
             b == 0x84 || b == 0x85 || b == 0x87 || (b >= 0x88 && b <= 0x8B) || b == 0x8D || b == 0xFF) {
    length = 1 + OperandLength(op + 1);  // arithmetic, mov, lea, and push/call/jmp through memory
  } else if (b == 0x80 || b == 0x83 || b == 0xC6) {
    length = 1 + OperandLength(op + 1) + 1;
  } else if (b == 0x81 || b == 0xC7) {
    length = 1 + OperandLength(op + 1) + imm;
  } else if (b == 0x0F) {
    const uint8_t second = op[1];
    // endbr32 and multi-byte nop (0F 1E, 0F 1F), movzx and movsx.
    if (second == 0x1E || second == 0x1F || second == 0xB6 || second == 0xB7 || second == 0xBE || second == 0xBF)
      length = 2 + OperandLength(op + 2);
    else
      return 0;
  } else {
    return 0;  // returns, short and conditional jumps, and everything not listed
  }
  // An indirect call or jump through memory is absolute; one through a register too. But a
  // far call or jump (FF /3, /5) is not worth the doubt.
  if (b == 0xFF) {
    const uint8_t reg = (op[1] >> 3) & 7;
    if (reg == 3 || reg == 5 || reg == 7) return 0;
  }
  return prefixes + length;
}

void* PatchEntryPoint(void* function, void* replacement, void (*publish)(void* trampoline)) {
  if (!function || !replacement) return nullptr;
#if !defined(__i386__) && !defined(_M_IX86)
  // The instructions moved and the jump written are 32-bit x86 ones: in other code they would
  // corrupt the function, so nothing is patched there.
  (void)publish;
  return nullptr;
#endif
  auto* code = static_cast<uint8_t*>(function);

  // Whole instructions covering the jump that will overwrite them.
  size_t displaced = 0;
  uint8_t moved[kMaxDisplaced + kJumpSize];
  while (displaced < kJumpSize) {
    bool relative = false;
    size_t length = MovableInstructionLength(code + displaced, &relative);
    if (length == 0) return nullptr;
    std::memcpy(moved + displaced, code + displaced, length);
    displaced += length;
  }

  auto* trampoline =
      static_cast<uint8_t*>(::VirtualAlloc(nullptr, 64, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (!trampoline) return nullptr;
  std::memcpy(trampoline, moved, displaced);
  // Relative calls and jumps keep their targets from the new address.
  for (size_t at = 0; at < displaced;) {
    bool relative = false;
    size_t length = MovableInstructionLength(code + at, &relative);
    if (relative) {
      const uint8_t* target = code + at + length + ReadInt32(code + at + length - 4);
      int32_t displacement = int32_t(reinterpret_cast<uintptr_t>(target) -
                                     reinterpret_cast<uintptr_t>(trampoline + at + length));
      std::memcpy(trampoline + at + length - 4, &displacement, 4);
    }
    at += length;
  }
  WriteJump(trampoline + displaced, code + displaced);
  DWORD unused = 0;
  ::VirtualProtect(trampoline, 64, PAGE_EXECUTE_READ, &unused);
  ::FlushInstructionCache(::GetCurrentProcess(), trampoline, 64);

  DWORD previous = 0;
  if (!::VirtualProtect(code, displaced, PAGE_EXECUTE_READWRITE, &previous)) {
    ::VirtualFree(trampoline, 0, MEM_RELEASE);
    return nullptr;
  }
  if (publish) publish(trampoline);
  uint8_t patch[kMaxDisplaced];
  patch[0] = kJumpRel32;
  int32_t displacement =
      int32_t(reinterpret_cast<uintptr_t>(replacement) - (reinterpret_cast<uintptr_t>(code) + kJumpSize));
  std::memcpy(patch + 1, &displacement, 4);
  std::memset(patch + kJumpSize, 0xCC, displaced - kJumpSize);  // never reached: the jump skips them
  std::memcpy(code, patch, displaced);
  ::VirtualProtect(code, displaced, previous, &unused);
  ::FlushInstructionCache(::GetCurrentProcess(), code, displaced);
  return trampoline;
}

}  // namespace lectern
