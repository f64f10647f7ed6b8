#include "datastore/media_endpoint.h"

#include "archive/file_system.h"

namespace lectern {
namespace {

// Compares every byte whatever the first difference, so the answer time says nothing of the token.
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    default: return "Internal Server Error";
  }
}

MediaAnswer Plain(int status, std::string_view text, bool keep_alive, std::string_view extra = {}) {
  MediaAnswer answer;
  answer.status = status;
  answer.keep_alive = keep_alive;
  std::string body = std::string(text) + "\n";
  answer.head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n" +
                "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                std::string(extra) + (keep_alive ? "" : "Connection: close\r\n") + "\r\n" + body;
  return answer;
}

bool WantsKeepAlive(const HttpRequest& request) {
  std::optional<std::string_view> connection = request.Header("Connection");
  if (request.version == "HTTP/1.0") return connection && EqualsIgnoringAsciiCase(*connection, "keep-alive");
  return !(connection && EqualsIgnoringAsciiCase(*connection, "close"));
}

}  // namespace

std::string MediaEndpointAddress::Host() const { return "127.0.0.1:" + std::to_string(port); }

std::string MediaEndpointAddress::BaseUrl() const { return "http://" + Host() + "/" + token; }

MediaAnswer BadRequestAnswer(const HttpParseError& error) {
  return Plain(400, "at byte " + std::to_string(error.offset) + ": " + error.description, false);
}

MediaAnswer AnswerMediaRequest(const HttpRequest& request, const MediaEndpointAddress& address, FileFunctions& files) {
  bool keep_alive = WantsKeepAlive(request);
  // A page elsewhere could reach this port through a name it controls that points here; such
  // requests name that host, never ours.
  std::optional<std::string_view> host = request.Header("Host");
  if (!host || !EqualsIgnoringAsciiCase(*host, address.Host())) return Plain(403, "unknown host", false);
  bool head_only = request.method == "HEAD";
  if (!head_only && request.method != "GET") return Plain(405, "only GET and HEAD", keep_alive, "Allow: GET, HEAD\r\n");

  std::string_view target = request.target;
  std::string prefix = "/" + address.token + "/";
  if (address.token.empty() || target.size() <= prefix.size() ||
      !SameToken(target.substr(0, prefix.size()), prefix))
    return Plain(404, "not found", keep_alive);
  target.remove_prefix(prefix.size());

  ServedFile served;
  if (ServeDatastoreRequest("file:///c:/datastore/" + std::string(target), files, served) != ServeResult::kServed)
    return Plain(404, "not in this book", keep_alive);

  ByteRange range = ResolveByteRange(request.Header("Range"), served.length);
  if (range.kind == ByteRange::Kind::kUnsatisfiable)
    return Plain(416, "range outside the entry", keep_alive,
                 "Content-Range: " + ContentRangeValue(range, served.length) + "\r\n");

  MediaAnswer answer;
  answer.keep_alive = keep_alive;
  uint64_t first = 0;
  answer.body_length = served.length;
  if (range.kind == ByteRange::Kind::kPartial) {
    answer.status = 206;
    first = range.first;
    answer.body_length = range.count();
  } else {
    answer.status = 200;
  }
  answer.head = "HTTP/1.1 " + std::to_string(answer.status) + " " + ReasonPhrase(answer.status) + "\r\n" +
                "Content-Type: " + served.mime_type + "\r\n" +
                "Content-Length: " + std::to_string(answer.body_length) + "\r\n" + "Accept-Ranges: bytes\r\n" +
                "Cache-Control: no-store\r\n";
  if (range.kind == ByteRange::Kind::kPartial)
    answer.head += "Content-Range: " + ContentRangeValue(range, served.length) + "\r\n";
  if (!keep_alive) answer.head += "Connection: close\r\n";
  answer.head += "\r\n";
  if (head_only || answer.body_length == 0) {
    answer.body_length = 0;
    return answer;
  }
  if (!served.reader->Seek(first)) return Plain(500, "the entry could not be read", false);
  answer.body = std::move(served.reader);
  return answer;
}

}  // namespace lectern
