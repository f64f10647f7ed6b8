// The stream cipher of the directory, configuration and settings sections: RC4 keyed with the
// 16-byte book identity, a fresh keystream per section, nothing discarded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/format.h"

namespace lectern {

// Enciphers or deciphers `size` bytes in place (the operation is its own inverse).
void ApplySectionCipher(const BookIdentity& identity, uint8_t* data, size_t size);

}  // namespace lectern
