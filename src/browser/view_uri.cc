#include "browser/view_uri.h"

#include "archive/file_system.h"

namespace lectern {
namespace {

constexpr std::string_view kDatastoreUrl = "file://c:/datastore";
constexpr std::string_view kDatastoreUrlThreeSlash = "file:///c:/datastore";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Escapes what a URI cannot carry as it is; '%' stays, so escapes already present survive.
std::string EscapeForUri(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '^' || c == '`' || c == '{' ||
        c == '|' || c == '}') {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int high = -1, low = -1;
    if (text[i] == '%' && i + 2 < text.size()) {
      high = HexValue(text[i + 1]);
      low = HexValue(text[i + 2]);
    }
    if (high >= 0 && low >= 0) {
      out.push_back(char(high * 16 + low));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string ToViewUri(std::string_view url) {
  std::string_view rest;
  if (StartsWithIgnoringCase(url, kDatastoreUrlThreeSlash)) {
    rest = url.substr(kDatastoreUrlThreeSlash.size());
  } else if (StartsWithIgnoringCase(url, kDatastoreUrl)) {
    rest = url.substr(kDatastoreUrl.size());
  } else {
    return std::string(url);
  }
  std::string path(rest);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
  return std::string(kViewUriPrefix) + EscapeForUri(path);
}

std::string FromViewUri(std::string_view uri) {
  if (!StartsWithIgnoringCase(uri, kViewUriPrefix)) return std::string(uri);
  std::string_view rest = uri.substr(kViewUriPrefix.size());
  std::string out(kDatastoreUrl);
  if (rest.empty() || rest[0] != '/') out.push_back('/');
  out.append(rest);
  return out;
}

std::string StatusTextForLink(std::string_view uri) {
  // The status bar shows a book link as its path: the datastore URL without its prefix.
  std::string url = FromViewUri(uri);
  if (StartsWithIgnoringCase(url, kDatastoreUrlThreeSlash)) return url.substr(kDatastoreUrlThreeSlash.size());
  if (StartsWithIgnoringCase(url, kDatastoreUrl)) return url.substr(kDatastoreUrl.size());
  return url;
}

std::string ViewUriToBookPath(std::string_view uri) {
  if (!StartsWithIgnoringCase(uri, kViewUriPrefix)) return {};
  std::string_view rest = uri.substr(kViewUriPrefix.size());
  size_t end = rest.find_first_of("?#");
  if (end != std::string_view::npos) rest = rest.substr(0, end);
  std::string path = PercentDecode(rest);
  if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
  return path;
}

}  // namespace lectern
