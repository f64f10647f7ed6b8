// Requests reach the media endpoint from anything that can open a socket on the loopback: every
// head must parse or be refused with an offset inside it, ranges must stay inside the entry, and
// no answer may serve a file without this run's token and host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "datastore/http_request.h"
#include "datastore/media_endpoint.h"
#include "datastore/virtual_file_layer.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  lectern::HttpParseResult parsed = lectern::ParseHttpRequestHead(bytes);
  using Status = lectern::HttpParseResult::Status;
  if (parsed.status == Status::kError) {
    Check(parsed.error.offset <= size && !parsed.error.description.empty());
    Check(lectern::BadRequestAnswer(parsed.error).status == 400);
  }
  if (parsed.status != Status::kComplete) return 0;
  Check(parsed.head_size <= size && parsed.head_size <= lectern::kMaxRequestHead);
  Check(parsed.request.headers.size() <= lectern::kMaxRequestHeaders);
  Check(!parsed.request.method.empty() && !parsed.request.target.empty());

  for (uint64_t length : {uint64_t(0), uint64_t(1), uint64_t(1000), uint64_t(1) << 32}) {
    lectern::ByteRange range = lectern::ResolveByteRange(parsed.request.Header("Range"), length);
    if (range.kind == lectern::ByteRange::Kind::kPartial) Check(range.first <= range.last && range.last < length);
    if (range.kind == lectern::ByteRange::Kind::kUnsatisfiable) Check(range.count() == 0);
  }

  // No book is open: whatever the request, nothing is served.
  lectern::MediaEndpointAddress address;
  address.port = 4321;
  address.token = "0123456789abcdef0123456789abcdef";
  lectern::MediaAnswer answer = lectern::AnswerMediaRequest(parsed.request, address, lectern::FileInterception());
  Check(!answer.body && answer.status >= 400);
  Check(answer.head.starts_with("HTTP/1.1 ") && answer.head.find("\r\n\r\n") != std::string::npos);
  return 0;
}
