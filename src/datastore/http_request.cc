#include "datastore/http_request.h"

#include <cstring>

#include "archive/file_system.h"

namespace lectern {
namespace {

// RFC 9110 token characters.
bool IsTokenChar(unsigned char c) {
  if (c >= '0' && c <= '9') return true;
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  return c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

HttpParseResult Fail(size_t offset, std::string description) {
  HttpParseResult result;
  result.status = HttpParseResult::Status::kError;
  result.error = {offset, std::move(description)};
  return result;
}

// Decimal digits only, at most 18 of them so the value always fits.
std::optional<uint64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::string_view> HttpRequest::Header(std::string_view name) const {
  for (const auto& [field, value] : headers)
    if (EqualsIgnoringAsciiCase(field, name)) return std::string_view(value);
  return std::nullopt;
}

HttpParseResult ParseHttpRequestHead(std::string_view bytes) {
  // Lines end in CRLF; a bare LF is taken too, as most servers do.
  size_t end_of_head = std::string_view::npos;
  for (size_t i = 0; i < bytes.size() && i < kMaxRequestHead; ++i) {
    if (bytes[i] != '\n') continue;
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      end_of_head = i + 2;
      break;
    }
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') {
      end_of_head = i + 3;
      break;
    }
  }
  if (end_of_head == std::string_view::npos || end_of_head > kMaxRequestHead) {
    if (bytes.size() >= kMaxRequestHead) return Fail(kMaxRequestHead, "request head longer than 16 KiB");
    return {};
  }

  HttpParseResult result;
  HttpRequest& request = result.request;
  size_t at = 0;
  bool first_line = true;
  while (at < end_of_head) {
    size_t newline = bytes.find('\n', at);
    std::string_view line = bytes.substr(at, newline - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t line_start = at;
    at = newline + 1;
    if (line.empty()) break;
    for (size_t i = 0; i < line.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      if ((c < 0x20 && c != '\t') || c == 0x7F) return Fail(line_start + i, "control character in the request head");
    }

    if (first_line) {
      first_line = false;
      size_t space1 = line.find(' ');
      size_t space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
      if (space2 == std::string_view::npos || line.find(' ', space2 + 1) != std::string_view::npos)
        return Fail(line_start, "request line is not METHOD TARGET VERSION");
      std::string_view method = line.substr(0, space1);
      std::string_view target = line.substr(space1 + 1, space2 - space1 - 1);
      std::string_view version = line.substr(space2 + 1);
      if (method.empty()) return Fail(line_start, "empty method");
      for (size_t i = 0; i < method.size(); ++i)
        if (!IsTokenChar(static_cast<unsigned char>(method[i]))) return Fail(line_start + i, "bad character in the method");
      if (target.empty()) return Fail(line_start + space1 + 1, "empty request target");
      if (version != "HTTP/1.1" && version != "HTTP/1.0") return Fail(line_start + space2 + 1, "unsupported HTTP version");
      request.method = std::string(method);
      request.target = std::string(target);
      request.version = std::string(version);
      continue;
    }

    if (IsBlank(line.front())) return Fail(line_start, "folded header line");
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return Fail(line_start, "header line without a colon");
    if (colon == 0) return Fail(line_start, "empty header name");
    for (size_t i = 0; i < colon; ++i)
      if (!IsTokenChar(static_cast<unsigned char>(line[i]))) return Fail(line_start + i, "bad character in a header name");
    if (request.headers.size() == kMaxRequestHeaders) return Fail(line_start, "more than 64 header fields");
    request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(TrimBlanks(line.substr(colon + 1))));
  }
  if (first_line) return Fail(0, "empty request");
  result.status = HttpParseResult::Status::kComplete;
  result.head_size = end_of_head;
  return result;
}

ByteRange ResolveByteRange(std::optional<std::string_view> header, uint64_t length) {
  ByteRange whole;
  if (!header) return whole;
  std::string_view ranges = TrimBlanks(*header);
  if (ranges.size() < 6 || !EqualsIgnoringAsciiCase(ranges.substr(0, 6), "bytes=")) return whole;
  ranges = TrimBlanks(ranges.substr(6));
  // Several ranges would need a multipart answer; the whole entity is an allowed answer instead.
  if (ranges.find(',') != std::string_view::npos) return whole;
  size_t dash = ranges.find('-');
  if (dash == std::string_view::npos) return whole;
  std::string_view first_text = TrimBlanks(ranges.substr(0, dash));
  std::string_view last_text = TrimBlanks(ranges.substr(dash + 1));

  ByteRange range;
  range.kind = ByteRange::Kind::kPartial;
  if (first_text.empty()) {
    std::optional<uint64_t> suffix = ParseCount(last_text);
    if (!suffix) return whole;
    if (*suffix == 0 || length == 0) return {ByteRange::Kind::kUnsatisfiable, 0, 0};
    range.first = *suffix >= length ? 0 : length - *suffix;
    range.last = length - 1;
    return range;
  }
  std::optional<uint64_t> first = ParseCount(first_text);
  if (!first) return whole;
  std::optional<uint64_t> last;
  if (!last_text.empty()) {
    last = ParseCount(last_text);
    if (!last || *last < *first) return whole;
  }
  if (*first >= length) return {ByteRange::Kind::kUnsatisfiable, 0, 0};
  range.first = *first;
  range.last = last && *last < length ? *last : length - 1;
  return range;
}

std::string ContentRangeValue(const ByteRange& range, uint64_t length) {
  if (range.kind == ByteRange::Kind::kPartial)
    return "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + std::to_string(length);
  return "bytes */" + std::to_string(length);
}

}  // namespace lectern
