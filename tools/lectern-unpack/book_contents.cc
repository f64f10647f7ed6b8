#include "lectern-unpack/book_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "archive/archive_error.h"
#include "archive/compressor.h"
#include "archive/file_view.h"
#include "archive/format.h"
#include "common/command_line.h"

namespace lectern {
namespace {

constexpr size_t kChunk = 1 << 20;

// The record's two sizes; false when it can't be read or its stored bytes run past the file.
bool ReadRecordSizes(const ZPK& zpk, uint32_t data_offset, uint32_t& content_size, uint32_t& stored_size) {
  if (data_offset & kIndirectOffsetBit) return false;
  uint8_t record[kEntryRecordHeaderSize];
  if (!ReadFully(zpk.GetFileHandle(), data_offset, record, sizeof record)) return false;
  content_size = LoadU32(record);
  stored_size = LoadU32(record + 4);
  return int64_t(stored_size) <= zpk.file_size() - int64_t(data_offset) - int64_t(kEntryRecordHeaderSize);
}

void FillFromRecord(const ZPK& zpk, const FsNode& record_node, bool raw, BookEntry& entry) {
  entry.raw = raw;
  entry.data_offset = record_node.data_offset;
  entry.intact = ReadRecordSizes(zpk, record_node.data_offset, entry.content_size, entry.stored_size);
  // Raw bytes are read in place, so all of them must lie inside the record.
  if (raw && entry.content_size > entry.stored_size) entry.intact = false;
  // The reader's own check: no stream of the stored length makes more, so nobody allocates for it.
  if (!raw && entry.content_size > MaxLzoExpansion(entry.stored_size)) entry.intact = false;
}

bool IsCompanionName(std::string_view name) { return !name.empty() && name.back() == kRawCompanionSuffix; }

// Fills `entry` for the file child `node` of `parent`; false when the node is a companion that its
// own file already accounts for (or that names nothing).
bool DescribeFile(const ZPK& zpk, const FsNode& parent, const FsNode& node, BookEntry& entry) {
  if (IsCompanionName(node.name)) {
    std::string_view base(node.name.data(), node.name.size() - 1);
    if (base.empty() || parent.FindChild(base, NodeKind::kFile)) return false;
    entry.names.back() = base;
    FillFromRecord(zpk, node, true, entry);
    return true;
  }
  FillFromRecord(zpk, node, false, entry);
  if (entry.intact && entry.content_size == 0) {
    // The reader streams the companion exactly when the ordinary entry is empty.
    if (const FsNode* companion = parent.FindChild(node.name + kRawCompanionSuffix, NodeKind::kFile))
      FillFromRecord(zpk, *companion, true, entry);
  }
  return true;
}

void JoinNames(const std::vector<std::string_view>& names, std::string& path) {
  path.clear();
  for (std::string_view n : names) {
    if (!path.empty()) path.push_back('/');
    path += n;
  }
}

// Nesting deeper than any real book has; beyond it paths grow quadratically with hostile input.
constexpr size_t kMaxFolderDepth = 256;
// File systems take names of at most 255 characters, each at most four bytes in UTF-8.
constexpr size_t kMaxNameBytes = 255 * 4;

}  // namespace

bool VisitBookEntries(const ZPK& zpk, const std::function<bool(const BookEntry&)>& visit) {
  struct Frame {
    const FsNode* dir;
    size_t next;
  };
  const FsNode* root = zpk.directory().root();
  if (!root) return true;
  std::vector<Frame> stack{{root, 0}};
  std::vector<std::string_view> names;  // the folders above the next child
  BookEntry entry;                      // one at a time, its path's storage reused
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.dir->children.size()) {
      stack.pop_back();
      if (!names.empty()) names.pop_back();
      continue;
    }
    const FsNode& child = *top.dir->children[top.next++];
    std::string path = std::move(entry.path);
    entry = BookEntry();
    entry.names = names;
    entry.names.push_back(child.name);
    if (child.is_directory()) {
      entry.folder = true;
      JoinNames(entry.names, path);
      entry.path = std::move(path);
      if (!visit(entry)) return false;
      if (stack.size() < kMaxFolderDepth) {
        names.push_back(child.name);
        stack.push_back({&child, 0});
      }
      continue;
    }
    if (!DescribeFile(zpk, *top.dir, child, entry)) continue;
    JoinNames(entry.names, path);
    entry.path = std::move(path);
    if (!visit(entry)) return false;
  }
  return true;
}

bool ResolveBookFile(const ZPK& zpk, std::string_view path, BookEntry& entry, bool* is_folder) {
  if (is_folder) *is_folder = false;
  entry = BookEntry();
  const FileSystem& tree = zpk.directory();
  // From the root, wherever the directory records left the current folder.
  std::string absolute(path);
  if (absolute.empty() || (absolute[0] != '/' && absolute[0] != '\\')) absolute.insert(0, 1, '/');
  const FsNode* node = tree.Find(absolute, NodeKind::kFile);
  if (!node) node = tree.Find(absolute + kRawCompanionSuffix, NodeKind::kFile);
  if (!node || !node->parent) {
    if (is_folder) *is_folder = tree.Find(absolute, NodeKind::kDirectory) != nullptr;
    return false;
  }
  for (const FsNode* n = node; n->parent; n = n->parent) entry.names.insert(entry.names.begin(), n->name);
  if (!DescribeFile(zpk, *node->parent, *node, entry)) return false;
  JoinNames(entry.names, entry.path);
  return true;
}

bool ReadBookEntry(ZPK& zpk, const BookEntry& entry, const std::function<bool(std::span<const uint8_t>)>& sink,
                   std::string& error) {
  if (entry.folder) return error = "is a folder", false;
  if (!entry.intact) return error = "its record is damaged or lies outside the book", false;
  if (entry.raw) {
    std::vector<uint8_t> chunk(std::min<size_t>(kChunk, entry.content_size));
    int64_t position = int64_t(entry.data_offset) + kEntryRecordHeaderSize;
    uint32_t left = entry.content_size;
    while (left > 0) {
      size_t n = std::min<size_t>(chunk.size(), left);
      if (!ReadFully(zpk.GetFileHandle(), position, chunk.data(), n))
        return error = std::string("cannot read the book: ") + std::strerror(errno ? errno : EIO), false;
      ApplyEntryMask(chunk.data(), n);
      if (!sink(std::span<const uint8_t>(chunk.data(), n))) return error = "cannot write the content", false;
      position += int64_t(n);
      left -= uint32_t(n);
    }
    return true;
  }
  if (entry.content_size == 0) return true;
  // Left uninitialised: the pages of a declared size that a short stream never reaches are never
  // touched, so a lying record costs address space, not memory, before its read fails.
  std::unique_ptr<uint8_t[]> content(new (std::nothrow) uint8_t[entry.content_size]);
  if (!content) return error = "not enough memory for its content size", false;
  // The reader resolves the path itself; the names were taken from the tree, so from the root it
  // finds this same node (names are unique per folder without regard to case).
  std::string absolute = entry.path;
  absolute.insert(0, 1, '/');
  uint32_t size = entry.content_size;
  if (!zpk.ReadEntry(absolute, content.get(), size) || size != entry.content_size)
    return error = "its content can't be decompressed", false;
  if (!sink(std::span<const uint8_t>(content.get(), size))) return error = "cannot write the content", false;
  return true;
}

bool IsSafeName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\' || c == '\0'; });
}

namespace {

// An entry's path as problems show it: printable, and cut short when a hostile name makes it
// longer than anyone reads.
std::string ShownPath(std::string_view path) {
  constexpr size_t kShownBytes = 512;
  if (path.size() <= kShownBytes) return PrintableName(path);
  return Concat({PrintableName(path.substr(0, kShownBytes)), "..."});
}

class Extractor {
 public:
  Extractor(ZPK& zpk, int root_fd, uint64_t max_bytes, ExtractResult& result)
      : zpk_(zpk), root_fd_(root_fd), max_bytes_(max_bytes), result_(result) {}

  // False when extraction must stop.
  bool Extract(const BookEntry& entry) {
    for (std::string_view name : entry.names) {
      if (!IsSafeName(name)) return Problem(entry, "unsafe name, not extracted");
    }
    if (entry.names.size() > kMaxFolderDepth) return Problem(entry, "nested too deep, not extracted");
    // No file system takes a longer name; asking it each time would cost a copy per entry.
    for (std::string_view name : entry.names) {
      if (name.size() > kMaxNameBytes) return Problem(entry, "name too long, not extracted");
    }
    // Checked before anything is read: the declared size is what reading would cost.
    if (!entry.folder && entry.content_size > max_bytes_ - result_.bytes_written) {
      Problem(entry, Concat({"extraction stopped: it would write more than ", GroupedNumber(max_bytes_),
                             " bytes (--max-bytes)"}));
      result_.stopped = true;
      return false;
    }
    size_t parent_levels = entry.folder ? entry.names.size() : entry.names.size() - 1;
    std::string error;
    int dir = OpenFolders(entry.names, parent_levels, error);
    if (dir < 0) return Problem(entry, error);
    if (entry.folder) {
      if (dir != root_fd_) ::close(dir);
      ++result_.folders;
      return true;
    }
    std::string name(entry.names.back());
    int out = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
      error = std::string("cannot create: ") + std::strerror(errno);
    } else {
      bool ok = ReadBookEntry(
          zpk_, entry,
          [&](std::span<const uint8_t> bytes) {
            if (bytes.size() > max_bytes_ - result_.bytes_written) return false;
            result_.bytes_written += bytes.size();
            return WriteAll(out, bytes);
          },
          error);
      if (::close(out) != 0 && ok) {
        ok = false;
        error = std::string("cannot write: ") + std::strerror(errno);
      }
      // No half-written file stays behind to pass for the real one.
      if (!ok) ::unlinkat(dir, name.c_str(), 0);
      else ++result_.files;
    }
    if (dir != root_fd_) ::close(dir);
    if (!error.empty()) return Problem(entry, error);
    return true;
  }

 private:
  // Notes a problem with one entry; extraction goes on with the next.
  bool Problem(const BookEntry& entry, std::string_view what) {
    ++result_.problem_count;
    if (result_.problems.size() < ExtractResult::kMaxProblemLines)
      result_.problems.push_back(Concat({ShownPath(entry.path), ": ", what}));
    return true;
  }

  static bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes = bytes.subspan(size_t(n));
    }
    return true;
  }

  // Opens (making where missing) the first `levels` folders of `names` below the root, each one
  // relative to the last and never through a link. The root's descriptor itself for 0 levels.
  int OpenFolders(const std::vector<std::string_view>& names, size_t levels, std::string& error) {
    int dir = root_fd_;
    for (size_t i = 0; i < levels; ++i) {
      std::string name(names[i]);
      if (::mkdirat(dir, name.c_str(), 0755) != 0 && errno != EEXIST) {
        error = std::string("cannot make folder: ") + std::strerror(errno);
        if (dir != root_fd_) ::close(dir);
        return -1;
      }
      int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      int open_error = errno;
      if (dir != root_fd_) ::close(dir);
      if (next < 0) {
        error = open_error == ELOOP || open_error == ENOTDIR
                    ? "a file or link of that name stands where a folder should be"
                    : std::string("cannot open folder: ") + std::strerror(open_error);
        return -1;
      }
      dir = next;
    }
    return dir;
  }

  ZPK& zpk_;
  int root_fd_;
  uint64_t max_bytes_;
  ExtractResult& result_;
};

}  // namespace

ExtractResult ExtractBook(ZPK& zpk, const std::string& target_dir, uint64_t max_bytes) {
  ExtractResult result;
  // The target itself may be made with its parents; inside it, nothing is followed.
  std::string partial;
  for (size_t i = 0; i <= target_dir.size(); ++i) {
    if (i == target_dir.size() || target_dir[i] == '/') {
      if (!partial.empty()) ::mkdir(partial.c_str(), 0755);
    }
    if (i < target_dir.size()) partial.push_back(target_dir[i]);
  }
#ifdef _WIN32
  int root = posix_compat::OpenFolder(target_dir.c_str());
#else
  int root = ::open(target_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
  if (root < 0) {
    result.problems.push_back(target_dir + ": " + std::strerror(errno));
    result.problem_count = 1;
    return result;
  }
  Extractor extractor(zpk, root, max_bytes, result);
  VisitBookEntries(zpk, [&](const BookEntry& entry) { return extractor.Extract(entry); });
  ::close(root);
  return result;
}

}  // namespace lectern
