// Redirecting a function for every caller in the process: its first instructions are replaced by
// a jump to the replacement, and are moved into a trampoline that runs them and jumps back, so
// the unpatched function stays callable. 32-bit x86 code only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lectern {

// The length of the instruction at `code` if it can run unchanged (or, for a relative call or
// jump of 32 bits, with its displacement adjusted) at another address; 0 for an instruction
// that cannot (short or conditional jumps, returns, unknown opcodes). Reads at most 16 bytes.
size_t MovableInstructionLength(const uint8_t* code, bool* relative32);

// Patches `function` to jump to `replacement` and returns the trampoline, or null (and nothing
// is changed) when the first five bytes' instructions cannot be moved. `publish` (may be null)
// is handed the trampoline before the jump is written, so a replacement that calls through to
// the unpatched function finds it from its very first call. The trampoline lives for the rest of
// the process; the patch is never undone. In a build for any other processor than 32-bit x86 it
// always returns null and changes nothing.
void* PatchEntryPoint(void* function, void* replacement, void (*publish)(void* trampoline) = nullptr);

}  // namespace lectern
