#include "browser/view_uri.h"

#include <optional>

namespace lectern {
namespace {

constexpr std::string_view kDatastoreUrl = "file://c:/datastore";
constexpr std::string_view kDatastoreUrlThreeSlash = "file:///c:/datastore";

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Self-contained, so the web process's extension can carry this file alone.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  return true;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The book part after any datastore prefix: the URL forms with two or three slashes, the path
// forms with either separator, and the path form as the page engine sends it on, its
// backslashes escaped. Nullopt for anything else; "c:/datastorex" is no datastore form.
std::optional<std::string_view> DatastoreRest(std::string_view url) {
  std::string_view rest;
  if (StartsWithIgnoringCase(url, "file:///")) {
    rest = url.substr(8);
  } else if (StartsWithIgnoringCase(url, "file://")) {
    rest = url.substr(7);
  } else {
    rest = url;
  }
  if (rest.size() < 2 || FoldAscii(rest[0]) != 'c' || rest[1] != ':') return std::nullopt;
  rest.remove_prefix(2);
  auto separator = [&]() -> size_t {
    if (!rest.empty() && IsSeparator(rest[0])) return 1;
    if (StartsWithIgnoringCase(rest, "%5c")) return 3;
    return 0;
  };
  size_t first = separator();
  if (first == 0) return std::nullopt;
  rest.remove_prefix(first);
  if (!StartsWithIgnoringCase(rest, "datastore")) return std::nullopt;
  rest.remove_prefix(9);
  if (!rest.empty() && separator() == 0 && rest[0] != '?' && rest[0] != '#') return std::nullopt;
  return rest;
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

std::string SamePageKey(std::string_view url) {
  std::string key = PercentDecode(url.substr(0, url.find_first_of("?#")));
  for (char& c : key) c = c == '\\' ? '/' : FoldAscii(c);
  if (StartsWithIgnoringCase(key, "file:///")) key.erase(5, 1);
  return key;
}

std::string ToViewUri(std::string_view url) {
  std::optional<std::string_view> rest = DatastoreRest(url);
  if (!rest) return std::string(url);
  std::string path;
  // Separators written as the engine escapes a backslash count as separators too.
  for (size_t i = 0; i < rest->size(); ++i) {
    char c = (*rest)[i];
    if (c == '%' && StartsWithIgnoringCase(rest->substr(i), "%5c")) {
      path.push_back('/');
      i += 2;
      continue;
    }
    path.push_back(c == '\\' ? '/' : c);
  }
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

bool IsBookDocumentUri(std::string_view uri, std::string_view book_folder) {
  size_t end = uri.find_first_of("?#");
  std::string_view address = uri.substr(0, end);
  // Only the book's scheme handler answers the reader's scheme, whatever the authority.
  if (address.size() > kViewScheme.size() && address[kViewScheme.size()] == ':' &&
      StartsWithIgnoringCase(address, kViewScheme))
    return true;
  constexpr std::string_view kFileScheme = "file://";
  if (book_folder.empty() || book_folder[0] != '/' || !StartsWithIgnoringCase(address, kFileScheme)) return false;
  std::string_view rest = address.substr(kFileScheme.size());
  if (StartsWithIgnoringCase(rest, "localhost/")) rest.remove_prefix(std::string_view("localhost").size());
  if (rest.empty() || rest[0] != '/') return false;  // a host of another machine
  std::string path = PercentDecode(rest);
  if (path.find('\0') != std::string::npos) return false;
  // Judged segment by segment: a decoded "%2e%2e" climbs out just as ".." does.
  for (size_t start = 1; start <= path.size();) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string_view segment = std::string_view(path).substr(start, slash - start);
    if (segment == "." || segment == "..") return false;
    start = slash + 1;
  }
  std::string_view folder = book_folder;
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  if (folder == "/") return true;
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace lectern
