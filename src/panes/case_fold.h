// Letter case ignored the way a reader expects: simple Unicode case folding of UTF-8 text, for
// every script the Unicode tables fold (Latin, Greek, Cyrillic, Armenian, Cherokee, ...). Bytes
// that are not well-formed UTF-8 are kept as they are, so text in another 8-bit encoding still
// matches byte for byte, ASCII case aside.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

// The simple case folding of one code point (itself when it has none).
char32_t FoldCodePoint(char32_t c);

// Replaces `out` with the folded form of `text`. The folded form may be shorter or up to half as
// long again as the text.
void FoldUtf8(std::string_view text, std::string& out);
std::string FoldUtf8(std::string_view text);

// Whether `a` and `b` are equal once folded.
bool EqualsFolded(std::string_view a, std::string_view b);

}  // namespace lectern
