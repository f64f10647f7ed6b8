#include "datastore/serving.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "datastore/datastore_path.h"

namespace lectern {
namespace {

constexpr size_t kSniffBytes = 512;
// Reads through the layer are 32-bit; larger requests are served in parts.
constexpr size_t kLargestRead = size_t(1) << 30;

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool StartsWithFolded(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (size_t i = 0; i < lower_prefix.size(); ++i)
    if (FoldAscii(text[i]) != lower_prefix[i]) return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = FoldAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct MimeByExtension {
  std::string_view extension;
  std::string_view type;
};

constexpr std::array<MimeByExtension, 46> kMimeTypes = {{
    {"htm", "text/html"},       {"html", "text/html"},        {"xhtml", "application/xhtml+xml"},
    {"css", "text/css"},        {"js", "text/javascript"},    {"json", "application/json"},
    {"xml", "text/xml"},        {"xsl", "text/xml"},          {"txt", "text/plain"},
    {"png", "image/png"},       {"gif", "image/gif"},         {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},     {"jpe", "image/jpeg"},        {"svg", "image/svg+xml"},
    {"ico", "image/x-icon"},    {"bmp", "image/bmp"},         {"webp", "image/webp"},
    {"tif", "image/tiff"},      {"tiff", "image/tiff"},       {"wav", "audio/wav"},
    {"mp3", "audio/mpeg"},      {"ogg", "audio/ogg"},         {"oga", "audio/ogg"},
    {"m4a", "audio/mp4"},       {"mid", "audio/midi"},        {"midi", "audio/midi"},
    {"wma", "audio/x-ms-wma"},  {"ogv", "video/ogg"},         {"webm", "video/webm"},
    {"mp4", "video/mp4"},       {"m4v", "video/mp4"},         {"avi", "video/x-msvideo"},
    {"mpg", "video/mpeg"},      {"mpeg", "video/mpeg"},       {"wmv", "video/x-ms-wmv"},
    {"mov", "video/quicktime"}, {"pdf", "application/pdf"},   {"swf", "application/x-shockwave-flash"},
    {"woff", "font/woff"},      {"woff2", "font/woff2"},      {"ttf", "font/ttf"},
    {"otf", "font/otf"},        {"zip", "application/zip"},   {"rtf", "application/rtf"},
    {"csv", "text/csv"},
}};

bool HeadStartsWith(std::span<const uint8_t> head, std::string_view magic, size_t at = 0) {
  return head.size() >= at + magic.size() && std::memcmp(head.data() + at, magic.data(), magic.size()) == 0;
}

}  // namespace

std::optional<std::string> DatastorePathFromRequest(std::string_view request) {
  // The layer takes C strings: a NUL would quietly serve some shorter name.
  if (request.find('\0') != std::string_view::npos) return std::nullopt;
  if (!StartsWithFolded(request, "file:")) {
    if (!IsDatastorePath(request)) return std::nullopt;
    return std::string(request);
  }
  std::string_view rest = request.substr(5);
  if (rest.substr(0, 2) != "//") return std::nullopt;
  rest.remove_prefix(2);
  if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  rest = rest.substr(0, rest.find_first_of("?#"));

  std::string path;
  path.reserve(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    int high = -1, low = -1;
    if (rest[i] == '%' && i + 2 < rest.size() && (high = HexValue(rest[i + 1])) >= 0 &&
        (low = HexValue(rest[i + 2])) >= 0) {
      char decoded = char(high * 16 + low);
      if (decoded == '\0') return std::nullopt;
      path += decoded;
      i += 2;
      continue;
    }
    path += rest[i];
  }
  if (!IsDatastorePath(path)) return std::nullopt;
  return path;
}

std::string_view MimeTypeForExtension(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) c = FoldAscii(c);
  for (const MimeByExtension& known : kMimeTypes)
    if (known.extension == extension) return known.type;
  return {};
}

std::string_view SniffMimeType(std::span<const uint8_t> head) {
  if (HeadStartsWith(head, "\x89PNG\r\n\x1a\n")) return "image/png";
  if (HeadStartsWith(head, "GIF87a") || HeadStartsWith(head, "GIF89a")) return "image/gif";
  if (HeadStartsWith(head, "\xFF\xD8\xFF")) return "image/jpeg";
  if (HeadStartsWith(head, "BM")) return "image/bmp";
  if (HeadStartsWith(head, std::string_view("\0\0\1\0", 4))) return "image/x-icon";
  if (HeadStartsWith(head, "RIFF") && HeadStartsWith(head, "WEBP", 8)) return "image/webp";
  if (HeadStartsWith(head, "RIFF") && HeadStartsWith(head, "WAVE", 8)) return "audio/wav";
  if (HeadStartsWith(head, "RIFF") && HeadStartsWith(head, "AVI ", 8)) return "video/x-msvideo";
  if (HeadStartsWith(head, "OggS")) return "audio/ogg";
  if (HeadStartsWith(head, "ID3")) return "audio/mpeg";
  if (HeadStartsWith(head, "\x1A\x45\xDF\xA3")) return "video/webm";
  if (HeadStartsWith(head, "ftyp", 4)) return "video/mp4";
  if (HeadStartsWith(head, "%PDF-")) return "application/pdf";
  if (HeadStartsWith(head, "FWS") || HeadStartsWith(head, "CWS")) return "application/x-shockwave-flash";

  // Markup: the first tag after a byte-order mark and white space.
  size_t at = HeadStartsWith(head, "\xEF\xBB\xBF") ? 3 : 0;
  while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) ++at;
  std::string_view text(reinterpret_cast<const char*>(head.data()) + at, head.size() - at);
  if (StartsWithFolded(text, "<?xml")) {
    std::string lowered(text);
    for (char& c : lowered) c = FoldAscii(c);
    if (lowered.find("<svg") != std::string::npos) return "image/svg+xml";
    if (lowered.find("<html") != std::string::npos) return "application/xhtml+xml";
    return "text/xml";
  }
  if (StartsWithFolded(text, "<svg")) return "image/svg+xml";
  for (std::string_view tag : {"<!doctype html", "<html", "<head", "<body", "<title", "<script", "<style", "<table",
                               "<div", "<p", "<h1", "<br", "<a ", "<font", "<b>", "<iframe", "<!--"}) {
    if (StartsWithFolded(text, tag)) return "text/html";
  }
  for (uint8_t byte : head) {
    bool control = byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != 0x1B;
    if (control) return "application/octet-stream";
  }
  return "text/plain";
}

DatastoreReader::DatastoreReader(FileFunctions& files, HANDLE handle, uint64_t length)
    : files_(files), handle_(handle), length_(length) {}

DatastoreReader::~DatastoreReader() { files_.CloseHandle(handle_); }

int64_t DatastoreReader::Read(void* buffer, size_t count) {
  if (position_ >= length_ || count == 0) return 0;
  count = std::min<uint64_t>({count, kLargestRead, length_ - position_});
  DWORD got = 0;
  if (!files_.ReadFile(handle_, buffer, DWORD(count), &got, nullptr)) return -1;
  position_ += got;
  return got;
}

bool DatastoreReader::Seek(uint64_t offset) {
  if (offset > length_) return false;
  if (offset == length_) {
    // The layer refuses a seek onto the length itself; reads at the end need no file position.
    position_ = offset;
    return true;
  }
  if (files_.SetFilePointer(handle_, LONG(uint32_t(offset)), nullptr, FILE_BEGIN) != DWORD(offset)) return false;
  position_ = offset;
  return true;
}

ServeResult ServeDatastoreRequest(std::string_view url_or_path, FileFunctions& files, ServedFile& out) {
  out = ServedFile{};
  std::optional<std::string> path = DatastorePathFromRequest(url_or_path);
  if (!path) return ServeResult::kNotDatastore;
  HANDLE handle = files.CreateFileA(path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == kInvalidHandle) return ServeResult::kNotFound;
  DWORD high = 0;
  DWORD low = files.GetFileSize(handle, &high);
  auto reader = std::make_unique<DatastoreReader>(files, handle, uint64_t(high) << 32 | low);

  std::string_view type = MimeTypeForExtension(*path);
  if (type.empty()) {
    std::array<uint8_t, kSniffBytes> head;
    int64_t got = reader->Read(head.data(), head.size());
    if (got < 0 || !reader->Seek(0)) return ServeResult::kNotFound;
    type = SniffMimeType(std::span<const uint8_t>(head.data(), size_t(got)));
  }
  out.length = reader->length();
  out.mime_type = std::string(type);
  out.reader = std::move(reader);
  return ServeResult::kServed;
}

}  // namespace lectern
