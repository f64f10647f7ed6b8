// What the book tools share: reading their arguments and names made safe to print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/book_identity.h"

namespace lectern {

// Walks the arguments after the program name. Options take their value as the next argument or
// after '=' ("--level best", "--level=best"); "--" ends the options.
class ArgumentReader {
 public:
  ArgumentReader(int argc, char** argv);

  bool done() const { return next_ >= args_.size(); }
  // The next argument as an option name ("--level") when it is one; its value, if it came with
  // '=', is kept for TakeValue.
  std::optional<std::string> TakeOption();
  // The value of the option just taken; nullopt when none follows.
  std::optional<std::string> TakeValue();
  // The next argument as a plain operand.
  std::string TakeOperand() { return args_[next_++]; }

 private:
  std::vector<std::string> args_;
  size_t next_ = 0;
  bool options_ended_ = false;
  std::optional<std::string> inline_value_;
};

// `text` with control bytes and backslashes written as \xNN / \\, so that a hostile name can't
// drive the terminal; other bytes (UTF-8 included) pass unchanged.
std::string PrintableName(std::string_view text);

// "4096", "64K", "512M", "4G" (K, M and G in either case, powers of 1024) as a byte count;
// nullopt for anything else, or for a count past 2^64.
std::optional<uint64_t> ParseByteCount(std::string_view text);

}  // namespace lectern
