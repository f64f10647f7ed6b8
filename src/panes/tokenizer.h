// The general string splitter: cuts a text into tokens at any byte of a delimiter set. Empty
// tokens never appear, and a zero byte inside the text separates like a delimiter, so texts read
// from files with stray zeros still split cleanly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lectern {

class CTokenizer {
 public:
  CTokenizer() = default;
  explicit CTokenizer(std::string_view text) { SetText(text); }

  // Holds a copy of `text` and starts over from its beginning.
  void SetText(std::string_view text);

  // The next maximal run of bytes that are neither delimiters nor zero; empty when `delimiters` is
  // null, the text is empty, or the end is reached.
  std::string NextToken(const char* delimiters);

  // Discards the tokens held, then collects every token of `text` in order; returns their count.
  // A null `delimiters` collects nothing.
  size_t Tokenize(std::string_view text, const char* delimiters);
  size_t count() const { return tokens_.size(); }
  // The token at `index`; empty outside 0 to count() - 1.
  std::string Token(long long index) const;
  const std::vector<std::string>& tokens() const { return tokens_; }

 private:
  std::string text_;
  size_t start_ = 0;
  size_t end_ = 0;
  size_t position_ = 0;
  bool started_ = false;
  std::vector<std::string> tokens_;
};

}  // namespace lectern
