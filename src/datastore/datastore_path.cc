#include "datastore/datastore_path.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "book/ebk_manager.h"

namespace lectern {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsRootPath(std::string_view path) { return path.empty() || path == "\\" || path == "/"; }

template <typename Visit>
void ForEachComponent(std::string_view path, Visit visit) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    visit(path.substr(start, end - start));
    start = end + 1;
  }
}

size_t FindFrom(std::string_view text, std::string_view lower, std::string_view upper, size_t from) {
  size_t at = text.find(lower, from);
  if (at == std::string_view::npos) at = text.find(upper, from);
  return at;
}

}  // namespace

bool IsDatastorePath(std::string_view path) {
  if (path.size() < kDatastoreRoot.size()) return false;
  for (size_t i = 0; i < kDatastoreRoot.size(); ++i) {
    char c = path[i] == '/' ? '\\' : FoldAscii(path[i]);
    if (c != kDatastoreRoot[i]) return false;
  }
  return true;
}

bool IsDatastorePath(WideStringView path) {
  // Only the first characters matter, and any non-ASCII one already decides against.
  if (path.size() < kDatastoreRoot.size()) return false;
  return IsDatastorePath(WideToUtf8(path.substr(0, kDatastoreRoot.size())));
}

std::string_view DatastoreRelativePath(std::string_view path) {
  if (!IsDatastorePath(path)) return path;
  return path.substr(kDatastoreRoot.size());
}

std::string DatastoreUrl(std::string_view book_relative_path) {
  if (book_relative_path.empty()) return {};
  std::string url(kDatastoreUrlRoot);
  if (book_relative_path.front() != '\\' && book_relative_path.front() != '/') url += '/';
  for (char c : book_relative_path) url += c == '\\' ? '/' : c;
  return url;
}

std::optional<std::string> NormalizeBookPath(std::string_view book_relative_path) {
  std::vector<std::string_view> components;
  bool escapes = false;
  ForEachComponent(book_relative_path, [&](std::string_view component) {
    if (component.empty() || component == ".") return;
    if (component.find('\0') != std::string_view::npos) escapes = true;
    if (component == "..") {
      if (components.empty()) escapes = true;
      else components.pop_back();
      return;
    }
    components.push_back(component);
  });
  if (escapes) return std::nullopt;
  std::string normal;
  normal.reserve(book_relative_path.size() + 1);
  for (std::string_view component : components) {
    normal += '\\';
    normal += component;
  }
  return normal;
}

bool DatastoreStat(std::string_view book_relative_path, uint32_t* attributes, uint32_t* size) {
  if (attributes) *attributes = kDatastoreFolderAttributes;
  if (size) *size = 0;
  std::optional<std::string> normal = NormalizeBookPath(book_relative_path);
  if (!normal) return false;
  if (IsRootPath(*normal)) return true;

  IEbkManager* raw_manager = nullptr;
  if (GetEBKM(&raw_manager) != S_OK || !raw_manager) return false;
  ComPtr<IEbkManager> manager(raw_manager, false);

  WideString wide = Utf8ToWide(*normal);
  uint32_t found_size = 0;
  bool decoded = manager->ReadFile(wide.c_str(), nullptr, &found_size) == S_OK;
  if (!decoded || found_size == 0) {
    // Media kept raw have an empty ordinary entry beside them: their size is the raw size, as a
    // stream opened on them sees it, not the 0 that would make them look like folders.
    uint32_t offset = 0, raw_size = 0;
    bool raw = manager->GetFileInfo(wide.c_str(), &offset, &raw_size) == S_OK;
    if (!decoded && !raw) return false;
    found_size = raw ? raw_size : 0;
  }
  if (found_size != 0) {
    if (attributes) *attributes = kDatastoreFileAttributes;
    if (size) *size = found_size;
  }
  return true;
}

size_t ExtractHtmlTitle(std::string_view html, std::string& title) {
  title.clear();
  // Generated pages often give the element attributes ("<title xmlns:d=...>"); the name is
  // still either spelling, and ends at the first character that is no part of it.
  size_t start = std::string_view::npos;
  for (std::string_view tag : {"<title", "<TITLE"}) {
    for (size_t at = html.find(tag); at != std::string_view::npos; at = html.find(tag, at + 6)) {
      size_t after = at + 6;
      if (after >= html.size()) break;
      char next = html[after];
      if (next == '>') {
        start = after + 1;
      } else if (next == ' ' || next == '\t' || next == '\r' || next == '\n') {
        size_t end = html.find('>', after);
        if (end != std::string_view::npos) start = end + 1;
      }
      if (start != std::string_view::npos) break;
    }
    if (start != std::string_view::npos) break;
  }
  if (start == std::string_view::npos) return 0;
  size_t close = FindFrom(html, "</title>", "</TITLE>", start);
  if (close == std::string_view::npos || close <= start) return 0;
  title.assign(html.substr(start, close - start));
  return title.size();
}

size_t ExtractHtmlTitle(WideStringView html, std::string& title) {
  return ExtractHtmlTitle(std::string_view(WideToUtf8(html)), title);
}

bool CreateFolderChain(std::string_view path) {
  if (path.empty()) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  std::string native;
  native.reserve(path.size());
  bool climbs = false;
  ForEachComponent(path, [&](std::string_view component) { climbs = climbs || component == ".."; });
  if (climbs) return false;
  for (char c : path) native += IsSeparator(c) ? char(fs::path::preferred_separator) : c;
  if (fs::is_directory(native, error)) return true;

  // Each prefix ending before a separator, shortest first, then the whole path. Runs of
  // separators add no prefix of their own.
  for (size_t i = 1; i <= native.size(); ++i) {
    if (i < native.size() && native[i] != char(fs::path::preferred_separator)) continue;
    if (native[i - 1] == char(fs::path::preferred_separator)) continue;
    fs::create_directory(native.substr(0, i), error);  // failures are the next check's business
  }
  return fs::is_directory(native, error);
}

}  // namespace lectern
