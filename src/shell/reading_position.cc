#include "shell/reading_position.h"

#include <algorithm>
#include <vector>

#include "platform/registry.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

std::optional<int32_t> ParseCoordinate(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string BookKey(std::string_view book_identity) {
  return std::string(kLecternKeyPath) + "\\Books\\" + WorkingFolderName(book_identity);
}

}  // namespace

std::string FormatReadingPosition(const ReadingPosition& position) {
  return std::to_string(position.scroll_x) + "," + std::to_string(position.scroll_y) + "," + position.url;
}

std::optional<ReadingPosition> ParseReadingPosition(std::string_view text) {
  size_t first = text.find(',');
  size_t second = first == std::string_view::npos ? first : text.find(',', first + 1);
  if (second == std::string_view::npos || second + 1 >= text.size()) return std::nullopt;
  std::optional<int32_t> x = ParseCoordinate(text.substr(0, first));
  std::optional<int32_t> y = ParseCoordinate(text.substr(first + 1, second - first - 1));
  if (!x || !y) return std::nullopt;
  return ReadingPosition{std::string(text.substr(second + 1)), *x, *y};
}

std::string BookmarkPositionValue(std::string_view url) { return "bookmark " + std::string(url); }

bool SaveReadingPosition(std::string_view book_identity, const std::string& value_name,
                         const ReadingPosition& position) {
  RegistryKeyHolder key;
  if (RegistryCreateKey(HKEY_CURRENT_USER, BookKey(book_identity).c_str(), REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, key.out(), nullptr) != ERROR_SUCCESS)
    return false;
  std::string text = FormatReadingPosition(position);
  return RegistrySetValue(key.get(), value_name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

std::optional<ReadingPosition> LoadReadingPosition(std::string_view book_identity, const std::string& value_name) {
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CURRENT_USER, BookKey(book_identity).c_str(), KEY_READ, key.out()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegistryQueryValue(key.get(), value_name.c_str(), &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
      size == 0 || size > 65536)
    return std::nullopt;
  std::vector<char> text(size);
  if (RegistryQueryValue(key.get(), value_name.c_str(), &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::string_view value(text.data(), std::min<size_t>(size, text.size()));
  while (!value.empty() && value.back() == '\0') value.remove_suffix(1);
  return ParseReadingPosition(value);
}

}  // namespace lectern
