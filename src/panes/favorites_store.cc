#include "panes/favorites_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "panes/case_fold.h"
#include "panes/tokenizer.h"
#include "platform/message_box.h"

namespace lectern {
namespace {

constexpr char kNameEnd = '\x01';
constexpr char kRecordEnd = '\x02';

std::string WithoutSeparators(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\0' && c != kNameEnd && c != kRecordEnd) out.push_back(c);
  return out;
}

// Reads the whole file; false when it exists but cannot be read. `exists` tells the two apart.
bool ReadFileBytes(const std::string& path, std::string& bytes, bool& exists) {
  bytes.clear();
  exists = true;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    exists = errno != ENOENT;
    return false;
  }
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      bytes.clear();
      return false;
    }
    if (got == 0) break;
    bytes.append(chunk, size_t(got));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(size_t(put));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::string_view kTempInfix = ".tmp-";

// Held while a save reads, merges and replaces the file; released when it goes.
class SaveLock {
 public:
  explicit SaveLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SaveLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Under the lock no other save is writing, so every temporary file of the bookmarks file is one
// that a killed save left behind.
void RemoveStaleTemporaryFiles(const std::string& path) {
  std::string folder = FolderOf(path);
  std::string prefix = path.substr(path.rfind('/') + 1) + std::string(kTempInfix);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

std::vector<Bookmark> MergeFavorites(const std::vector<Bookmark>& base, const std::vector<Bookmark>& ours,
                                     const std::vector<Bookmark>& theirs) {
  std::unordered_map<std::string, const Bookmark*> in_base, in_ours;
  for (const Bookmark& b : base) in_base.emplace(FoldUtf8(b.url), &b);
  for (const Bookmark& b : ours) in_ours.emplace(FoldUtf8(b.url), &b);
  auto changed_by_us = [&](const std::string& key) {
    auto mine = in_ours.find(key);
    if (mine == in_ours.end()) return false;
    auto before = in_base.find(key);
    return before == in_base.end() || before->second->name != mine->second->name;
  };
  std::vector<Bookmark> merged;
  std::unordered_set<std::string> placed;
  for (const Bookmark& theirs_one : theirs) {
    std::string key = FoldUtf8(theirs_one.url);
    if (!placed.insert(key).second) continue;
    bool removed_by_us = in_base.count(key) && !in_ours.count(key);
    if (removed_by_us) continue;
    merged.push_back(changed_by_us(key) ? *in_ours[key] : theirs_one);
  }
  for (const Bookmark& mine : ours) {
    std::string key = FoldUtf8(mine.url);
    if (!placed.insert(key).second) continue;
    // Not in the file: our addition, or one they removed, which stays removed unless we renamed it.
    if (in_base.count(key) && !changed_by_us(key)) continue;
    merged.push_back(mine);
  }
  return merged;
}

bool AskOverwriteByMessageBox(const Bookmark&, std::string_view) {
  return ShowMessageBox(nullptr, kBookmarkConflictText, kBookmarkConflictCaption, kMbYesNo | kMbIconInformation) !=
         kIdNo;
}

std::vector<Bookmark> ParseFavoritesFile(std::string_view bytes) {
  std::vector<Bookmark> pairs;
  CTokenizer tokenizer;
  const char delimiters[] = {kNameEnd, kRecordEnd, '\0'};
  size_t count = tokenizer.Tokenize(bytes, delimiters);
  for (size_t i = 0; i + 1 < count; i += 2) pairs.push_back({tokenizer.tokens()[i + 1], tokenizer.tokens()[i]});
  return pairs;
}

std::string EncodeFavoritesFile(const std::vector<Bookmark>& bookmarks) {
  std::string bytes;
  for (const Bookmark& b : bookmarks) {
    bytes += b.name;
    bytes += kNameEnd;
    bytes += b.url;
    bytes += kRecordEnd;
  }
  return bytes;
}

FavoritesStore::LoadResult FavoritesStore::Load(const std::string& path, const OverwriteQuestion& ask) {
  bookmarks_.clear();
  on_disk_.clear();
  on_disk_bytes_.clear();
  may_save_ = false;
  std::string bytes;
  bool exists = false;
  if (!ReadFileBytes(path, bytes, exists)) {
    if (exists) return LoadResult::kUnreadable;
    may_save_ = true;
    return LoadResult::kNoFile;
  }
  for (const Bookmark& b : ParseFavoritesFile(bytes)) Add(b.url, b.name, ask);
  on_disk_ = bookmarks_;
  on_disk_bytes_ = std::move(bytes);
  may_save_ = true;
  return LoadResult::kLoaded;
}

bool FavoritesStore::Save(const std::string& path) {
  if (!may_save_ || path.empty()) return false;
  SaveLock lock(path);
  if (!lock.held()) return false;
  RemoveStaleTemporaryFiles(path);
  std::string bytes;
  bool exists = false;
  if (!ReadFileBytes(path, bytes, exists) && exists) return false;
  // Another window's save is whole: empty or ending a record. A file that is not (missing, or
  // damaged by hand) or that nobody changed since tells of no change of theirs.
  std::vector<Bookmark> theirs = on_disk_;
  bool saved_elsewhere = exists && (bytes.empty() || bytes.back() == kRecordEnd);
  if (saved_elsewhere && bytes != on_disk_bytes_) {
    // Read as Load reads it, duplicates resolved the same way, without asking anyone.
    FavoritesStore disk;
    for (const Bookmark& b : ParseFavoritesFile(bytes)) disk.Add(b.url, b.name);
    theirs = std::move(disk.bookmarks_);
  }
  std::vector<Bookmark> merged = MergeFavorites(on_disk_, bookmarks_, theirs);
  // The new file replaces the old one by a rename, which a read-only mark would not stop: such a
  // file stays as the user froze it, and a writable one keeps its permissions.
  mode_t mode = 0600;
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0) {
    if (!(existing.st_mode & S_IWUSR)) return false;
    mode = existing.st_mode & 07777;
  }
  std::random_device random;
  std::string temp = path + std::string(kTempInfix) + std::to_string(random());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::fchmod(fd, mode);
  std::string merged_bytes = EncodeFavoritesFile(merged);
  bool ok = WriteAll(fd, merged_bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  bookmarks_ = merged;
  on_disk_ = std::move(merged);
  on_disk_bytes_ = std::move(merged_bytes);
  return true;
}

FavoritesStore::AddResult FavoritesStore::Add(std::string_view url_text, std::string_view name_text,
                                              const OverwriteQuestion& ask) {
  std::string url = WithoutSeparators(url_text);
  std::string name = WithoutSeparators(name_text);
  if (url.empty() || name.empty()) return AddResult::kRefused;
  for (Bookmark& existing : bookmarks_) {
    if (!EqualsFolded(existing.url, url)) continue;
    if (ask && !ask(existing, name)) return AddResult::kKept;
    existing.name = std::move(name);
    return AddResult::kRenamed;
  }
  bookmarks_.push_back({std::move(url), std::move(name)});
  return AddResult::kAdded;
}

bool FavoritesStore::Rename(size_t index, std::string_view name_text) {
  if (index >= bookmarks_.size()) return false;
  std::string name = WithoutSeparators(name_text);
  if (name.empty()) return false;
  bookmarks_[index].name = std::move(name);
  return true;
}

bool FavoritesStore::Remove(size_t index) {
  if (index >= bookmarks_.size()) return false;
  bookmarks_.erase(bookmarks_.begin() + std::ptrdiff_t(index));
  return true;
}

}  // namespace lectern
