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

std::string PrintableName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Names are copied in runs: a hostile book's names can be megabytes of plain text.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto b = uint8_t(text[i]);
    if (b != '\\' && b >= 0x20 && b != 0x7F) continue;
    out.append(text, run, i - run);
    run = i + 1;
    if (b == '\\') {
      out += "\\\\";
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      out += escaped;
    }
  }
  out.append(text, run, text.size() - run);
  return out;
}

std::optional<uint64_t> ParseByteCount(std::string_view text) {
  unsigned shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k': case 'K': shift = 10; break;
      case 'm': case 'M': shift = 20; break;
      case 'g': case 'G': shift = 30; break;
      default: break;
    }
    if (shift) text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (UINT64_MAX - uint64_t(c - '0')) / 10) return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  if (shift && value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace lectern
