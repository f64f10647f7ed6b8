#include "platform/com.h"

#include <cstdlib>
#include <cstring>

#ifndef _WIN32
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  // The byte length sits in front of the characters, as the wire form has it.
  if (length > (UINT32_MAX - 8) / sizeof(OLECHAR)) return nullptr;
  auto* block = static_cast<uint8_t*>(std::malloc(4 + (size_t(length) + 1) * sizeof(OLECHAR)));
  if (!block) return nullptr;
  uint32_t bytes = length * uint32_t(sizeof(OLECHAR));
  std::memcpy(block, &bytes, 4);
  auto* chars = reinterpret_cast<OLECHAR*>(block + 4);
  if (text) std::memcpy(chars, text, bytes);
  else std::memset(chars, 0, bytes);
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  uint32_t n = 0;
  while (text[n]) ++n;
  return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<uint8_t*>(text) - 4);
}

uint32_t SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<uint8_t*>(text) - 4, 4);
  return bytes / uint32_t(sizeof(OLECHAR));
}
#endif

namespace lectern {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string WideToUtf8(WideStringView wide) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = char32_t(uint16_t(wide[i]));
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && uint16_t(wide[i + 1]) >= 0xDC00 &&
        uint16_t(wide[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(uint16_t(wide[i + 1])) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

WideString Utf8ToWide(std::string_view utf8) {
  static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  WideString out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint8_t lead = uint8_t(utf8[i]);
    size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 4;
    char32_t c = kReplacement;
    size_t used = 1;
    if (extra == 0) {
      c = lead;
    } else if (extra <= 3 && i + extra < utf8.size()) {
      char32_t v = lead & (0x3F >> extra);
      bool ok = true;
      for (size_t k = 1; ok && k <= extra; ++k) {
        uint8_t b = uint8_t(utf8[i + k]);
        ok = (b & 0xC0) == 0x80;
        v = (v << 6) | (b & 0x3F);
      }
      // Overlong forms, surrogates and values past U+10FFFF are ill-formed.
      if (ok && v >= kMinimum[extra] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        c = v;
        used = extra + 1;
      }
    }
    i += used;
    if (c >= 0x10000) {
      out.push_back(OLECHAR(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(OLECHAR(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(OLECHAR(c));
    }
  }
  return out;
}

BSTR AllocBstrFromUtf8(std::string_view utf8) {
  WideString wide = Utf8ToWide(utf8);
  return SysAllocStringLen(wide.data(), uint32_t(wide.size()));
}

}  // namespace lectern
