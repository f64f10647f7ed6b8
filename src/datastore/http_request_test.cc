#include "datastore/http_request.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

using Status = HttpParseResult::Status;

TEST(HttpRequestHeadTest, ReadsRequestLineAndFields) {
  std::string text = "GET /t/media/a%20b.wav HTTP/1.1\r\nHost: 127.0.0.1:8000\r\nrange:  bytes=0-\t\r\n\r\nbody";
  HttpParseResult parsed = ParseHttpRequestHead(text);
  ASSERT_EQ(parsed.status, Status::kComplete) << parsed.error.description;
  EXPECT_EQ(parsed.request.method, "GET");
  EXPECT_EQ(parsed.request.target, "/t/media/a%20b.wav");
  EXPECT_EQ(parsed.request.version, "HTTP/1.1");
  EXPECT_EQ(parsed.request.Header("RANGE"), "bytes=0-") << "names ignore case, values are trimmed";
  EXPECT_EQ(parsed.request.Header("Host"), "127.0.0.1:8000");
  EXPECT_EQ(parsed.request.Header("Cookie"), std::nullopt);
  EXPECT_EQ(parsed.head_size, text.size() - 4) << "the body is not part of the head";

  HttpParseResult bare = ParseHttpRequestHead("HEAD /x HTTP/1.0\nHost: h\n\n");
  ASSERT_EQ(bare.status, Status::kComplete) << "bare line feeds";
  EXPECT_EQ(bare.request.method, "HEAD");
}

TEST(HttpRequestHeadTest, WaitsForTheBlankLine) {
  EXPECT_EQ(ParseHttpRequestHead("").status, Status::kIncomplete);
  EXPECT_EQ(ParseHttpRequestHead("GET / HTTP/1.1\r\nHost: x\r\n").status, Status::kIncomplete);
  std::string endless = "GET / HTTP/1.1\r\nX: " + std::string(kMaxRequestHead, 'a');
  HttpParseResult refused = ParseHttpRequestHead(endless);
  EXPECT_EQ(refused.status, Status::kError) << "a head that never ends is refused, not buffered";
  EXPECT_EQ(refused.error.offset, kMaxRequestHead);
}

TEST(HttpRequestHeadTest, NamesTheFaultAndWhereItIs) {
  struct Case {
    std::string text;
    size_t offset;
    std::string description;
  } cases[] = {
      {"GET /\r\n\r\n", 0, "request line is not METHOD TARGET VERSION"},
      {"GET  HTTP/1.1\r\n\r\n", 4, "empty request target"},
      {"GET  / HTTP/1.1\r\n\r\n", 0, "request line is not METHOD TARGET VERSION"},
      {"GE(T / HTTP/1.1\r\n\r\n", 2, "bad character in the method"},
      {"GET / HTTP/2\r\n\r\n", 6, "unsupported HTTP version"},
      {"GET / HTTP/1.1\r\n folded\r\n\r\n", 16, "folded header line"},
      {"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 16, "header line without a colon"},
      {"GET / HTTP/1.1\r\n: v\r\n\r\n", 16, "empty header name"},
      {"GET / HTTP/1.1\r\nBad Name: v\r\n\r\n", 19, "bad character in a header name"},
      {std::string("GET /\0 HTTP/1.1\r\n\r\n", 19), 5, "control character in the request head"},
  };
  for (const Case& c : cases) {
    HttpParseResult parsed = ParseHttpRequestHead(c.text);
    ASSERT_EQ(parsed.status, Status::kError) << c.text;
    EXPECT_EQ(parsed.error.offset, c.offset) << c.text;
    EXPECT_EQ(parsed.error.description, c.description) << c.text;
  }
  std::string many = "GET / HTTP/1.1\r\n";
  for (size_t i = 0; i <= kMaxRequestHeaders; ++i) many += "X: y\r\n";
  EXPECT_EQ(ParseHttpRequestHead(many + "\r\n").error.description, "more than 64 header fields");
}

TEST(ByteRangeTest, ResolvesOneRangeAgainstTheLength) {
  using Kind = ByteRange::Kind;
  struct Case {
    std::optional<std::string_view> header;
    uint64_t length;
    Kind kind;
    uint64_t first, last;
  } cases[] = {
      {std::nullopt, 100, Kind::kWhole, 0, 0},
      {"bytes=0-", 100, Kind::kPartial, 0, 99},
      {"bytes=10-19", 100, Kind::kPartial, 10, 19},
      {"BYTES=10-19", 100, Kind::kPartial, 10, 19},
      {"bytes=90-500", 100, Kind::kPartial, 90, 99},
      {"bytes=-10", 100, Kind::kPartial, 90, 99},
      {"bytes=-500", 100, Kind::kPartial, 0, 99},
      {"bytes=99-99", 100, Kind::kPartial, 99, 99},
      {"bytes=1073741000-", 1073741824, Kind::kPartial, 1073741000, 1073741823},
      {"bytes=100-", 100, Kind::kUnsatisfiable, 0, 0},
      {"bytes=-0", 100, Kind::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, Kind::kUnsatisfiable, 0, 0},
      {"bytes=20-10", 100, Kind::kWhole, 0, 0},
      {"bytes=0-1,5-6", 100, Kind::kWhole, 0, 0},
      {"items=0-1", 100, Kind::kWhole, 0, 0},
      {"bytes=x-1", 100, Kind::kWhole, 0, 0},
      {"bytes=99999999999999999999-", 100, Kind::kWhole, 0, 0},
      {"bytes=5", 100, Kind::kWhole, 0, 0},
  };
  for (const Case& c : cases) {
    ByteRange range = ResolveByteRange(c.header, c.length);
    std::string name(c.header.value_or("(none)"));
    EXPECT_EQ(range.kind, c.kind) << name;
    if (c.kind != Kind::kPartial) continue;
    EXPECT_EQ(range.first, c.first) << name;
    EXPECT_EQ(range.last, c.last) << name;
  }
  EXPECT_EQ(ContentRangeValue(ResolveByteRange("bytes=10-19", 100), 100), "bytes 10-19/100");
  EXPECT_EQ(ContentRangeValue(ResolveByteRange("bytes=200-", 100), 100), "bytes */100");
}

}  // namespace
}  // namespace lectern
