// A book identity (the 16 bytes of the archive header) as text: the 32 hexadecimal digits that a
// book's `guid` setting, the tools' --identity option and the per-user places of a book use.
#pragma once

#include <string>
#include <string_view>

#include "archive/format.h"

namespace lectern {

// 32 hexadecimal digits, byte by byte in file order; dashes and surrounding braces are ignored, so
// the usual GUID spelling of the same bytes passes too.
bool ParseIdentityHex(std::string_view text, BookIdentity& identity);
// The identity as 32 lower-case hexadecimal digits, byte by byte in file order.
std::string IdentityHex(const BookIdentity& identity);

}  // namespace lectern
