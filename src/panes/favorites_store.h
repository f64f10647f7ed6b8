// The bookmarks of a book and their file, "favorites.dat" in the book's working folder.
//
// File form, no header and no count: for each bookmark its name, the byte 0x01, its URL and the
// byte 0x02. Reading splits the bytes at 0x01 and 0x02 (empty pieces are dropped, so doubled
// separators change nothing) and pairs the pieces as name and URL; a last name without a URL is
// dropped. Every pair goes through the same adding rules as a bookmark the reader makes.
//
// Records of any length are written whole. The file is replaced, never rewritten in place: a new
// file in the same folder, flushed to disk, then renamed over the old one. A store whose file
// could not be read refuses to write, so an unreadable list never replaces the bookmarks on disk.
//
// Two windows on one book share the file. A save holds an advisory lock (on "favorites.dat.lock"
// beside it, which the rename leaves in place), reads what another process stored since this one
// last read or wrote (a file that is missing or not a whole list is no one's save), and merges: additions and removals on both sides are kept, and a bookmark
// changed on both sides takes the change being saved, the later one. Temporary files left by a
// save that was killed are removed under the same lock.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lectern {

inline constexpr std::string_view kFavoritesFileName = "favorites.dat";
inline constexpr std::string_view kBookmarkConflictCaption = "Bookmark Conflicts";
inline constexpr std::string_view kBookmarkConflictText = "This bookmark already exists, overwrite it?";

struct Bookmark {
  std::string url;
  std::string name;
};

// Asked when a bookmark with the same URL (letter case ignored) exists: true renames that one to
// `new_name`, false keeps it. Without a question the bookmark is renamed, as when the reader
// answers anything but No.
using OverwriteQuestion = std::function<bool(const Bookmark& existing, std::string_view new_name)>;

// The question as the pane asks it: a Yes/No message box through the platform's message boxes.
bool AskOverwriteByMessageBox(const Bookmark& existing, std::string_view new_name);

// The name/URL pairs of a bookmarks file, in order (the adding rules are not applied).
std::vector<Bookmark> ParseFavoritesFile(std::string_view bytes);
// The file bytes of `bookmarks`.
std::string EncodeFavoritesFile(const std::vector<Bookmark>& bookmarks);

// `theirs` (the file now) with the changes that led from `base` (the file as this process last
// saw it) to `ours`: bookmarks are told apart by URL, letter case ignored. Theirs keep their order;
// our additions follow in ours. A bookmark we removed goes; one they removed goes unless we changed
// its name since; a name changed on both sides is ours.
std::vector<Bookmark> MergeFavorites(const std::vector<Bookmark>& base, const std::vector<Bookmark>& ours,
                                     const std::vector<Bookmark>& theirs);

class FavoritesStore {
 public:
  enum class LoadResult {
    kLoaded,      // the file was read (it may have held no bookmark)
    kNoFile,      // there is none yet: an empty list that may be written
    kUnreadable,  // it exists but could not be read: the list is empty and will not be written
  };
  enum class AddResult { kAdded, kRenamed, kKept, kRefused };

  // Replaces the list by the file's bookmarks.
  LoadResult Load(const std::string& path, const OverwriteQuestion& ask = {});
  // Merges the list with what the file holds now and writes the result to `path` as a whole new
  // file; the list becomes that result. False, leaving the file (and the list) as it was, when the
  // store has not loaded successfully or the file cannot be read, locked or written.
  bool Save(const std::string& path);
  bool may_save() const { return may_save_; }

  // The adding rules: an empty URL or name adds nothing; an existing URL (case ignored) asks
  // `ask`; otherwise the bookmark goes at the end. Bytes 0x00, 0x01 and 0x02, which would split a
  // record on reading, are dropped from both texts.
  AddResult Add(std::string_view url, std::string_view name, const OverwriteQuestion& ask = {});
  // A new, non-empty name for the bookmark at `index`; false (unchanged) otherwise.
  bool Rename(size_t index, std::string_view name);
  bool Remove(size_t index);

  size_t size() const { return bookmarks_.size(); }
  const Bookmark& at(size_t index) const { return bookmarks_[index]; }
  const std::vector<Bookmark>& bookmarks() const { return bookmarks_; }

 private:
  std::vector<Bookmark> bookmarks_;
  std::vector<Bookmark> on_disk_;  // the file as this store last read or wrote it
  std::string on_disk_bytes_;
  bool may_save_ = false;
};

}  // namespace lectern
