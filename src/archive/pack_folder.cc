#include "archive/pack_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <vector>

#include "archive/file_system.h"
#include "archive/format.h"

namespace lectern {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

std::string FoldedCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

std::string ErrnoText(int error) { return std::strerror(error); }

// The real path of `path` with every link resolved, or "" when it can't be resolved.
std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string out(resolved);
  std::free(resolved);
  return out;
}

// Real paths as this system compares them: byte for byte here; on Windows either separator and
// either letter case name the same file.
bool SameRealPath(std::string_view a, std::string_view b) {
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] == '\\' ? '/' : FoldAscii(a[i]);
    char y = b[i] == '\\' ? '/' : FoldAscii(b[i]);
    if (x != y) return false;
  }
  return true;
#else
  return a == b;
#endif
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsInside(const std::string& path, const std::string& root) {
  if (root == "/") return true;
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

struct DirectoryEntry {
  std::string name;
  struct stat st;  // lstat: links are seen as links
};

class FolderPacker {
 public:
  FolderPacker(ZpkWriter& writer, const PackFolderOptions& options) : writer_(writer), options_(options) {}

  PackFolderResult Run(const std::string& folder) {
    result_.ok = Start(folder) && PackChildren(root_disk_, "");
    return result_;
  }

 private:
  bool Start(const std::string& folder) {
    root_disk_ = folder;
    while (root_disk_.size() > 1 && root_disk_.back() == '/') root_disk_.pop_back();
    struct stat st;
    if (::stat(root_disk_.c_str(), &st) != 0) return FailHere(root_disk_, ErrnoText(errno));
    if (!S_ISDIR(st.st_mode)) return FailHere(root_disk_, "not a folder");
    root_real_ = RealPath(root_disk_);
    if (root_real_.empty()) return FailHere(root_disk_, ErrnoText(errno));
    // The book may not exist yet, but its folder does.
    for (const std::string& own : {writer_.target_path(), writer_.temp_path()}) {
      if (own.empty()) continue;
      std::string parent = RealPath(ParentOf(own));
      if (!parent.empty()) writers_files_.push_back(parent + "/" + NameOf(own));
    }
    return true;
  }

  bool IsWritersOwnFile(const std::string& real_path) const {
    for (const std::string& own : writers_files_)
      if (SameRealPath(own, real_path)) return true;
    return false;
  }

  bool FailHere(const std::string& disk_path, const std::string& reason) {
    result_.error = disk_path + ": " + reason;
    writer_.Abort();
    return false;
  }

  bool ListFolder(const std::string& disk_path, std::vector<DirectoryEntry>& entries) {
    DIR* dir = ::opendir(disk_path.c_str());
    if (!dir) return FailHere(disk_path, "cannot open the folder: " + ErrnoText(errno));
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      DirectoryEntry entry;
      entry.name = name;
      if (::lstat((disk_path + "/" + name).c_str(), &entry.st) != 0) {
        int error = errno;
        ::closedir(dir);
        return FailHere(disk_path + "/" + name, ErrnoText(error));
      }
      entries.push_back(std::move(entry));
      errno = 0;
    }
    int error = errno;
    ::closedir(dir);
    if (error != 0) return FailHere(disk_path, "cannot read the folder: " + ErrnoText(error));
    // Byte order, whatever the locale, so that every run packs the same book.
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
  }

  // Books don't tell letter cases apart, so "Index.html" beside "index.html" would lose one of them
  // (and two such folders would silently become one).
  bool CheckCaseClashes(const std::string& disk_path, const std::vector<DirectoryEntry>& entries) {
    std::map<std::pair<std::string, bool>, const std::string*> seen;
    for (const DirectoryEntry& e : entries) {
      bool is_folder = S_ISDIR(e.st.st_mode);
      auto [it, inserted] = seen.emplace(std::make_pair(FoldedCopy(e.name), is_folder), &e.name);
      if (!inserted)
        return FailHere(disk_path + "/" + e.name,
                        "differs from \"" + *it->second + "\" only in letter case, which a book can't tell apart");
    }
    return true;
  }

  bool CheckName(const std::string& disk_path, const std::string& name) {
    // The archive splits paths at either separator, so a backslash would invent a folder.
    if (name.find('\\') != std::string::npos)
      return FailHere(disk_path, "a '\\' in a name would split it into folders in the book");
    return true;
  }

  bool PackChildren(const std::string& disk_dir, const std::string& archive_dir) {
    std::vector<DirectoryEntry> entries;
    if (!ListFolder(disk_dir, entries) || !CheckCaseClashes(disk_dir, entries)) return false;
    for (const DirectoryEntry& e : entries) {
      std::string disk_path = disk_dir + "/" + e.name;
      std::string archive_path = archive_dir.empty() ? e.name : archive_dir + "/" + e.name;
      if (!CheckName(disk_path, e.name)) return false;
      if (S_ISDIR(e.st.st_mode)) {
        if (!writer_.AddDirectory(archive_path)) return FailHere(disk_path, writer_.error());
        ++result_.folders;
        if (!PackChildren(disk_path, archive_path)) return false;
      } else if (S_ISREG(e.st.st_mode)) {
        if (IsWritersOwnFile(root_real_ + "/" + archive_path)) continue;
        if (!PackFile(disk_path, disk_path, archive_path, e.name)) return false;
      } else if (S_ISLNK(e.st.st_mode)) {
        if (!PackLink(disk_path, archive_path, e.name)) return false;
      } else {
        return FailHere(disk_path, "not a regular file or folder (device, pipe or socket)");
      }
    }
    return true;
  }

  bool PackLink(const std::string& disk_path, const std::string& archive_path, const std::string& name) {
    std::string target = RealPath(disk_path);
    if (target.empty()) return FailHere(disk_path, "symbolic link that leads nowhere: " + ErrnoText(errno));
    if (!IsInside(target, root_real_))
      return FailHere(disk_path, "symbolic link that leads out of the folder is not followed");
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) return FailHere(disk_path, ErrnoText(errno));
    if (S_ISDIR(st.st_mode))
      return FailHere(disk_path, "symbolic link to a folder is not followed (it could loop)");
    if (!S_ISREG(st.st_mode)) return FailHere(disk_path, "symbolic link to something that is not a regular file");
    if (IsWritersOwnFile(target)) return true;
    return PackFile(disk_path, target, archive_path, name);
  }

  // `source` is the file to read: `disk_path` itself, or the target of a link inside the tree.
  bool PackFile(const std::string& disk_path, const std::string& source, const std::string& archive_path,
                const std::string& name) {
    if (HasRawExtension(name, options_.raw_extensions)) {
      struct stat st;
      if (::stat(source.c_str(), &st) != 0) return FailHere(disk_path, ErrnoText(errno));
      if (!writer_.AddRawFile(archive_path, source)) return FailHere(disk_path, writer_.error());
      ++result_.files;
      ++result_.raw_files;
      result_.content_bytes += uint64_t(st.st_size);
      return true;
    }
    std::vector<uint8_t> content;
    if (!ReadContent(disk_path, source, content)) return false;
    if (!writer_.AddFile(archive_path, std::span<const uint8_t>(content))) return FailHere(disk_path, writer_.error());
    ++result_.files;
    result_.content_bytes += content.size();
    return true;
  }

  bool ReadContent(const std::string& disk_path, const std::string& source, std::vector<uint8_t>& content) {
    int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailHere(disk_path, "cannot open: " + ErrnoText(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return FailHere(disk_path, "not a regular file");
    }
    // Entries hold 32-bit sizes and records must start below 2 GiB; refuse before allocating.
    if (uint64_t(st.st_size) >= kIndirectOffsetBit) {
      ::close(fd);
      return FailHere(disk_path, "too large for a book (2 GiB at most)");
    }
    content.resize(size_t(st.st_size));
    size_t done = 0;
    while (done < content.size()) {
      ssize_t n = ::read(fd, content.data() + done, content.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int error = errno;
        ::close(fd);
        return FailHere(disk_path, "cannot read: " + ErrnoText(error));
      }
      if (n == 0) break;  // shrank while we read: take what is there
      done += size_t(n);
    }
    content.resize(done);
    ::close(fd);
    return true;
  }

  ZpkWriter& writer_;
  const PackFolderOptions& options_;
  PackFolderResult result_;
  std::string root_disk_;
  std::string root_real_;
  std::vector<std::string> writers_files_;
};

}  // namespace

std::set<std::string> DefaultRawExtensions() {
  return {".avi", ".mpg", ".mpeg", ".mp3", ".mp4", ".m4a", ".wav", ".wma", ".wmv", ".asf",
          ".ogg", ".ogv", ".oga", ".opus", ".webm", ".flac", ".mov", ".mkv", ".mid", ".midi"};
}

bool ParseRawExtensions(std::string_view list, std::set<std::string>& extensions, std::string& error) {
  extensions.clear();
  auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  if (trim(list).empty()) return true;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view item = trim(list.substr(start, comma - start));
    if (!item.empty() && item.front() == '.') item.remove_prefix(1);
    if (item.empty() || item.find_first_of("/\\.") != std::string_view::npos) {
      error = "unusable extension \"" + std::string(list.substr(start, comma - start)) + "\" in \"" +
              std::string(list) + "\"";
      extensions.clear();
      return false;
    }
    std::string extension(1, '.');
    extension += FoldedCopy(item);
    extensions.insert(std::move(extension));
    start = comma + 1;
  }
  return true;
}

bool HasRawExtension(std::string_view file_name, const std::set<std::string>& extensions) {
  size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == file_name.size()) return false;
  return extensions.count(FoldedCopy(file_name.substr(dot))) > 0;
}

std::string FindFileIgnoringCase(const std::string& folder, std::string_view book_path) {
  std::string at = folder;
  size_t i = 0;
  while (i < book_path.size()) {
    while (i < book_path.size() && IsSeparator(book_path[i])) ++i;
    size_t start = i;
    while (i < book_path.size() && !IsSeparator(book_path[i])) ++i;
    std::string_view name = book_path.substr(start, i - start);
    if (name.empty() || name == ".") continue;
    if (name == ".." || name.find('\0') != std::string_view::npos) return {};
    // The name as stored: the exact one when present, else the first in byte order that folds to
    // the same, as packing keeps names apart by case. A stat of the asked name would not do, since
    // a case-blind file system answers it with the asker's spelling.
    DIR* dir = ::opendir(at.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* d = ::readdir(dir)) {
      std::string_view candidate = d->d_name;
      if (candidate == "." || candidate == "..") continue;
      if (candidate == name) {
        found = candidate;
        break;
      }
      if (EqualsIgnoringAsciiCase(candidate, name) && (found.empty() || candidate < found)) found = candidate;
    }
    ::closedir(dir);
    if (found.empty()) return {};
    at += "/" + found;
  }
  struct stat st;
  if (at == folder || ::stat(at.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return at;
}

PackFolderResult PackFolder(const std::string& folder, ZpkWriter& writer, const PackFolderOptions& options) {
  FolderPacker packer(writer, options);
  return packer.Run(folder);
}

}  // namespace lectern
