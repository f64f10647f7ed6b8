#include "panes/tokenizer.h"

#include <cstring>

namespace lectern {
namespace {

bool IsDelimiter(char c, const char* delimiters) { return c == '\0' || std::strchr(delimiters, c) != nullptr; }

}  // namespace

void CTokenizer::SetText(std::string_view text) {
  text_.assign(text);
  start_ = 0;
  end_ = text_.size();
  position_ = start_;
  started_ = false;
}

std::string CTokenizer::NextToken(const char* delimiters) {
  if (!delimiters || text_.empty()) return {};
  if (!started_) {
    position_ = start_;
    started_ = true;
  }
  while (position_ < end_ && IsDelimiter(text_[position_], delimiters)) ++position_;
  size_t begin = position_;
  while (position_ < end_ && !IsDelimiter(text_[position_], delimiters)) ++position_;
  return text_.substr(begin, position_ - begin);
}

size_t CTokenizer::Tokenize(std::string_view text, const char* delimiters) {
  tokens_.clear();
  SetText(text);
  if (!delimiters) return 0;
  for (std::string token = NextToken(delimiters); !token.empty(); token = NextToken(delimiters))
    tokens_.push_back(std::move(token));
  return tokens_.size();
}

std::string CTokenizer::Token(long long index) const {
  if (index < 0 || size_t(index) >= tokens_.size()) return {};
  return tokens_[size_t(index)];
}

}  // namespace lectern
