// Our texts mark a menu's or button's access key with '&', as the string table holds them; GTK
// marks it with '_'.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

// "&Print..." becomes "_Print...", and a literal '_' stays one.
inline std::string MnemonicLabel(std::string_view text) {
  std::string label;
  for (char c : text) {
    if (c == '&') label += '_';
    else if (c == '_') label += "__";
    else label += c;
  }
  return label;
}

}  // namespace lectern
