// Pages written in a legacy code page and saying so in a <meta> tag, for searches that should find
// what the reader sees rather than only the stored bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/text_encoding.h"  // ConvertToUtf8, for the names given here

namespace lectern {

// The iconv name of the legacy code page that `page` declares, in <meta charset=...> or in the
// content of a <meta http-equiv="Content-Type"> tag within its first 8 KiB: one of windows-1252
// (also for iso-8859-1, which browsers read as windows-1252), iso-8859-15, GBK (also gb2312),
// GB18030, Big5, Big5-HKSCS, Shift_JIS (as Windows reads it, CP932), EUC-JP and EUC-KR (as CP949).
// Empty when the page declares nothing, UTF-8, or a code page not in this list.
std::string_view DeclaredLegacyCharset(std::string_view page);

}  // namespace lectern
