// Our texts mark a menu's or button's access key with '&', as the string table holds them; GTK
// marks it with '_'.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

// "&Print..." becomes "_Print...", "&&" a literal '&', and a literal '_' stays one.
inline std::string MnemonicLabel(std::string_view text) {
  std::string label;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '&' && i + 1 < text.size() && text[i + 1] == '&') {
      label += '&';
      ++i;
    } else if (c == '&') {
      label += '_';
    } else if (c == '_') {
      label += "__";
    } else {
      label += c;
    }
  }
  return label;
}

}  // namespace lectern
