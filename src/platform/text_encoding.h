// Text in other encodings, turned into UTF-8 where it enters the reader: the one place that knows
// code pages. UTF-16 and UTF-32 are decoded here; every other encoding goes to the system's own
// converter (iconv on this platform, the code pages of the system on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lectern {

// Strict UTF-8: the length of the sequence at `p` (before `end`) with its code point in `cp`, or 0
// when none starts there (a bad or overlong lead, a cut sequence, a surrogate, past U+10FFFF).
size_t DecodeUtf8Sequence(const char* p, const char* end, uint32_t& cp);
// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Converts `bytes` from `charset` (a name as documents write it: "windows-1252", "Shift_JIS",
// "UTF-16LE", "ISO-8859-2", ...; letter case ignored) to UTF-8 in `out`. A byte sequence the
// encoding does not define becomes U+FFFD and conversion goes on after its first byte. False, with
// `out` empty, when the system does not know the charset.
bool ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out);

}  // namespace lectern
