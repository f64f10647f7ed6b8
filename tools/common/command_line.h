// What the book tools share: reading their arguments, book identities as hex text, and names made
// safe to print.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format.h"

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

// 32 hexadecimal digits, byte by byte in file order; dashes and surrounding braces are ignored, so
// the usual GUID spelling of the same bytes passes too.
bool ParseIdentityHex(std::string_view text, BookIdentity& identity);
// The identity as 32 lower-case hexadecimal digits, byte by byte in file order.
std::string IdentityHex(const BookIdentity& identity);

// `text` with control bytes and backslashes written as \xNN / \\, so that a hostile name can't
// drive the terminal; other bytes (UTF-8 included) pass unchanged.
std::string PrintableName(std::string_view text);

}  // namespace lectern
