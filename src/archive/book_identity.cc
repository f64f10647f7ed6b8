#include "archive/book_identity.h"

namespace lectern {

bool ParseIdentityHex(std::string_view text, BookIdentity& identity) {
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') text = text.substr(1, text.size() - 2);
  BookIdentity out{};
  size_t digits = 0;
  for (char c : text) {
    if (c == '-') continue;
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      return false;
    }
    if (digits == 32) return false;
    out[digits / 2] = uint8_t(out[digits / 2] << 4 | v);
    ++digits;
  }
  if (digits != 32) return false;
  identity = out;
  return true;
}

std::string IdentityHex(const BookIdentity& identity) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : identity) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

}  // namespace lectern
