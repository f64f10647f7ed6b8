// The little of HTTP/1.1 the view's media road needs: a request head read from untrusted bytes,
// and one byte range resolved against a length known up front. Shared by the book scheme (which
// gets its Range header from the page engine) and the loopback media endpoint (which reads the
// whole request off a socket).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lectern {

// A head longer than this is refused rather than buffered without end.
inline constexpr size_t kMaxRequestHead = 16 * 1024;
inline constexpr size_t kMaxRequestHeaders = 64;

struct HttpRequest {
  std::string method;
  std::string target;
  std::string version;  // "HTTP/1.0" or "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent, values trimmed

  // The first header of `name` (ASCII case ignored), or nullopt.
  std::optional<std::string_view> Header(std::string_view name) const;
};

struct HttpParseError {
  size_t offset = 0;        // the byte of the input where the fault lies
  std::string description;  // what is wrong there
};

struct HttpParseResult {
  enum class Status { kComplete, kIncomplete, kError };
  Status status = Status::kIncomplete;
  HttpRequest request;   // filled when complete
  size_t head_size = 0;  // bytes of the head, blank line included, when complete
  HttpParseError error;  // when kError
};

// Reads the request line and header fields up to the blank line that ends them. kIncomplete
// while no blank line has arrived within kMaxRequestHead bytes; bodies are not read.
HttpParseResult ParseHttpRequestHead(std::string_view bytes);

// A Range header resolved against an entity of `length` bytes.
struct ByteRange {
  enum class Kind {
    kWhole,          // no header, or one we need not honour (another unit, several ranges, malformed)
    kPartial,        // 206: bytes first..last inclusive
    kUnsatisfiable,  // 416: the range starts at or beyond the end
  };
  Kind kind = Kind::kWhole;
  uint64_t first = 0;
  uint64_t last = 0;
  uint64_t count() const { return kind == Kind::kPartial ? last - first + 1 : 0; }
};

ByteRange ResolveByteRange(std::optional<std::string_view> range_header, uint64_t length);

// "bytes 0-99/1000" for a partial answer, "bytes */1000" for an unsatisfiable one.
std::string ContentRangeValue(const ByteRange& range, uint64_t length);

}  // namespace lectern
