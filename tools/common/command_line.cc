#include "common/command_line.h"

#include <cstdio>

namespace lectern {

ArgumentReader::ArgumentReader(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
}

std::optional<std::string> ArgumentReader::TakeOption() {
  inline_value_.reset();
  if (done() || options_ended_) return std::nullopt;
  const std::string& arg = args_[next_];
  if (arg == "--") {
    options_ended_ = true;
    ++next_;
    return std::nullopt;
  }
  if (arg.size() < 2 || arg[0] != '-') return std::nullopt;
  ++next_;
  size_t equals = arg.find('=');
  if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
    inline_value_ = arg.substr(equals + 1);
    return arg.substr(0, equals);
  }
  return arg;
}

std::optional<std::string> ArgumentReader::TakeValue() {
  if (inline_value_) {
    std::optional<std::string> value = std::move(inline_value_);
    inline_value_.reset();
    return value;
  }
  if (done()) return std::nullopt;
  return args_[next_++];
}

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

std::string PrintableName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto b = uint8_t(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (b < 0x20 || b == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace lectern
