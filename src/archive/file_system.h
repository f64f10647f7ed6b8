// The archive's directory as an in-memory tree of named nodes. Names compare without regard to
// ASCII letter case; paths separate components with '/' or '\', either or mixed.
//
// Lookups never move the current directory and touch no shared state, so any number of threads
// may look up at once while nobody changes the tree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lectern {

enum class NodeKind : uint32_t { kFile = 0, kDirectory = 1 };

// ASCII-only case folding, as the archive's name rules say.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

struct FsNode {
  std::string name;
  NodeKind kind = NodeKind::kFile;
  FsNode* parent = nullptr;
  uint32_t data_offset = 0;                      // files only
  std::vector<std::unique_ptr<FsNode>> children;  // directories only, in the order added

  bool is_directory() const { return kind == NodeKind::kDirectory; }
  // The first child of `kind` called `name` (ASCII case ignored), or null. Constant time.
  FsNode* FindChild(std::string_view name, NodeKind kind) const;

 private:
  friend class FileSystem;
  friend void DestroySubtree(std::unique_ptr<FsNode> node);
  // First file and first directory child of one folded name, with the name's hash.
  struct Slot {
    size_t hash = 0;
    std::array<FsNode*, 2> nodes{};
    bool empty() const { return !nodes[0] && !nodes[1]; }
  };
  // An open-addressing table (linear probing, a power of two in size, at most half full): one
  // allocation per growth rather than one per child, which is most of what opening a book with
  // many files costs.
  std::vector<Slot> index_;
  size_t indexed_ = 0;
  const Slot* FindSlot(std::string_view name, size_t hash) const;
  void IndexChild(FsNode* child);
  void UnindexChild(FsNode* child);
};

class FileSystem {
 public:
  static constexpr std::string_view kRootName = "ZPK Root";

  FileSystem();
  ~FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  FsNode* root() const { return root_.get(); }
  FsNode* current() const { return current_; }

  // "/" and "\" give the root, ".." the current directory's parent (null at the root), "." the
  // current directory; any other path is resolved from the root when it starts with a separator,
  // else from the current directory. Null for an empty path or no match.
  FsNode* Find(std::string_view path, NodeKind kind) const;
  // Moves the current directory; "/" or "\" to the root, ".." up (staying at the root).
  // On failure the current directory is unchanged.
  FsNode* ChangeDir(std::string_view name);
  // The existing node of that name and kind, else (when `create` and `name` is one component) a new
  // child of the current directory.
  FsNode* Add(std::string_view name, uint32_t data_offset, NodeKind kind, bool create);
  bool Remove(std::string_view path, NodeKind kind);
  // Drops the whole tree; root and current directory become null.
  void Clear();
  // Back to a fresh tree holding only the root.
  void Reset();

  size_t node_count() const { return node_count_; }

 private:
  FsNode* ResolveDirectoryStep(FsNode* from, std::string_view component) const;

  std::unique_ptr<FsNode> root_;
  FsNode* current_ = nullptr;
  size_t node_count_ = 0;
};

// Frees a subtree without recursion, so hostile nesting depth cannot exhaust the stack.
void DestroySubtree(std::unique_ptr<FsNode> node);

}  // namespace lectern
