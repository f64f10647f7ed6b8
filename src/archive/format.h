// The on-disk constants of the book archive. All integers in the file are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lectern {

using BookIdentity = std::array<uint8_t, 16>;

inline constexpr uint8_t kArchiveMagic[4] = {'Z', 'P', 'K', 0};
inline constexpr uint32_t kHeaderSize = 44;
// A bare archive is at least its header up to the first section offset.
inline constexpr int64_t kMinimumArchiveFileSize = 40;
inline constexpr uint32_t kMinimumSectionOffset = 40;

// The last 6 bytes of a file that carries an appended archive: the mark, then the base.
inline constexpr uint16_t kTrailerMark = 0x55AA;
inline constexpr uint32_t kTrailerSize = 6;

inline constexpr uint32_t kCurrentFormatVersion = 12;
// From this version on, the directory, configuration and settings sections are enciphered.
inline constexpr int32_t kEncipheredSectionsVersion = 10;
// From this version on, ordinary entry content is XORed with the entry mask.
inline constexpr int32_t kMaskedEntriesVersion = 12;
inline constexpr uint8_t kEntryMask = 0xA7;

// XORs `size` bytes with the entry mask, a word at a time: it runs over every byte a book serves.
inline void ApplyEntryMask(uint8_t* bytes, size_t size) {
  constexpr uint64_t kWordMask = 0x0101010101010101ull * kEntryMask;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    word ^= kWordMask;
    std::memcpy(bytes + i, &word, 8);
  }
  for (; i < size; ++i) bytes[i] ^= kEntryMask;
}

inline constexpr uint32_t kCompressorDefault = 0xFFFFFFFF;
inline constexpr uint32_t kCompressorLzo = 2;

// Entry record: content size, stored size, then the stored bytes.
inline constexpr uint32_t kEntryRecordHeaderSize = 8;
// Data offsets with this bit set name indirection data instead of a record.
inline constexpr uint32_t kIndirectOffsetBit = 0x80000000u;

// Directory record kinds; any other first byte starts a file name.
inline constexpr uint8_t kRecordEnd = 0xFF;
inline constexpr uint8_t kRecordDirectory = 0x01;
inline constexpr uint8_t kRecordLeave = 0x02;

// A raw companion entry is the file's own name followed by this character.
inline constexpr char kRawCompanionSuffix = ':';

inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace lectern
