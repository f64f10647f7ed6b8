// Where the reader was in a book: the page and how far it was scrolled, kept between runs beside
// the bookmarks file (whose format other readers share) in the registry, under the book's own
// key: the last page read, and the place each bookmark was added at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lectern {

struct ReadingPosition {
  std::string url;  // a book URL
  int32_t scroll_x = 0;
  int32_t scroll_y = 0;
  bool operator==(const ReadingPosition&) const = default;
};

// "x,y,url".
std::string FormatReadingPosition(const ReadingPosition& position);
// Nullopt for anything but two decimal numbers and a non-empty URL.
std::optional<ReadingPosition> ParseReadingPosition(std::string_view text);

// The value names: the last page read, and a bookmark's place.
inline constexpr char kLastPositionValue[] = "last position";
std::string BookmarkPositionValue(std::string_view url);

// Under the reader's key, "Books\<name>" where the name is the book's working folder's own
// (WorkingFolderName of its place identity), so no identity can reach another key. False when
// the key cannot be made or written.
bool SaveReadingPosition(std::string_view book_identity, const std::string& value_name,
                         const ReadingPosition& position);
std::optional<ReadingPosition> LoadReadingPosition(std::string_view book_identity, const std::string& value_name);

}  // namespace lectern
