#include "panes/case_fold.h"

#include <cstdint>
#include <cstring>

namespace lectern {
namespace {

#include "panes/case_fold_table.inc"

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The well-formed character at `p` (at most `left` bytes): its code point and length, or length
// 0 when the bytes are not well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF
// included).
size_t DecodeUtf8(const unsigned char* p, size_t left, char32_t& c) {
  unsigned char b = p[0];
  if (b < 0xC2 || b > 0xF4) return 0;
  if (b < 0xE0) {
    if (left < 2 || (p[1] & 0xC0) != 0x80) return 0;
    c = char32_t(b & 0x1F) << 6 | (p[1] & 0x3F);
    return 2;
  }
  if (b < 0xF0) {
    if (left < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return 0;
    c = char32_t(b & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return 3;
  }
  if (left < 4 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return 0;
  c = char32_t(b & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 | char32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
  if (c < 0x10000 || c > 0x10FFFF) return 0;
  return 4;
}

size_t EncodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = char(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = char(0xC0 | (c >> 6));
    out[1] = char(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = char(0xE0 | (c >> 12));
    out[1] = char(0x80 | ((c >> 6) & 0x3F));
    out[2] = char(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | (c >> 18));
  out[1] = char(0x80 | ((c >> 12) & 0x3F));
  out[2] = char(0x80 | ((c >> 6) & 0x3F));
  out[3] = char(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace

char32_t FoldCodePoint(char32_t c) {
  if (c >= 0x110000) return c;
  return char32_t(int32_t(c) + kFoldDeltas[kFoldBlockIndex[c >> 8]][c & 0xFF]);
}

void FoldUtf8(std::string_view text, std::string& out) {
  // Folding turns no character into more than half as many bytes again (2 -> 3 at most).
  out.resize(text.size() + text.size() / 2 + 4);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  char* o = out.data();
  size_t i = 0;
  while (i < n) {
    // A run of ASCII, found eight bytes at a time and lowered in a loop the compiler vectorises.
    size_t run = i;
    for (uint64_t chunk; run + 8 <= n; run += 8) {
      std::memcpy(&chunk, in + run, 8);
      if (chunk & kHighBits) break;
    }
    while (run < n && in[run] < 0x80) ++run;
    for (size_t k = i; k < run; ++k) o[k - i] = char(in[k] + ((unsigned(in[k]) - 'A' < 26u) ? 32 : 0));
    o += run - i;
    i = run;
    if (i >= n) break;

    char32_t c = 0;
    size_t length = DecodeUtf8(in + i, n - i, c);
    if (length == 0) {
      *o++ = char(in[i]);
      ++i;
      continue;
    }
    char32_t folded = FoldCodePoint(c);
    if (folded == c) {
      std::memcpy(o, in + i, length);
      o += length;
    } else {
      o += EncodeUtf8(folded, o);
    }
    i += length;
  }
  out.resize(size_t(o - out.data()));
}

std::string FoldUtf8(std::string_view text) {
  std::string out;
  FoldUtf8(text, out);
  return out;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return FoldUtf8(a) == FoldUtf8(b);
}

}  // namespace lectern
