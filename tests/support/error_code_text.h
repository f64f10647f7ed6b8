// How tests show a call that failed where they expected a value: its code as "<code>".
#pragma once

#include <string>

namespace lectern::testing {

// Built by appending: GCC 12 at -O3 misreads `"<" + std::string` as an overlapping copy.
inline std::string ErrorCodeText(long code) {
  std::string text = "<";
  text += std::to_string(code);
  text += '>';
  return text;
}

}  // namespace lectern::testing
