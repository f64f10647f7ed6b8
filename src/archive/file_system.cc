#include "archive/file_system.h"

#include <utility>

namespace lectern {
namespace {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }
inline bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Calls `fn` for each non-empty component; returns false as soon as `fn` does.
template <typename Fn>
bool ForEachComponent(std::string_view path, Fn&& fn) {
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start && !fn(path.substr(start, i - start))) return false;
  }
  return true;
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

size_t FoldedNameHash(std::string_view s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : s) {
    h ^= uint8_t(FoldAscii(c));
    h *= 1099511628211ull;
  }
  return size_t(h);
}

const FsNode::Slot* FsNode::FindSlot(std::string_view child_name, size_t hash) const {
  if (index_.empty()) return nullptr;
  const size_t mask = index_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = index_[i];
    if (slot.empty()) return &slot;
    const FsNode* named = slot.nodes[0] ? slot.nodes[0] : slot.nodes[1];
    if (slot.hash == hash && EqualsIgnoringAsciiCase(named->name, child_name)) return &slot;
  }
}

FsNode* FsNode::FindChild(std::string_view child_name, NodeKind child_kind) const {
  const Slot* slot = FindSlot(child_name, FoldedNameHash(child_name));
  return slot ? slot->nodes[size_t(child_kind)] : nullptr;
}

void FsNode::IndexChild(FsNode* child) {
  if ((indexed_ + 1) * 2 > index_.size()) {
    std::vector<Slot> old = std::move(index_);
    index_.assign(old.empty() ? 8 : old.size() * 2, Slot{});
    const size_t mask = index_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.empty()) continue;
      size_t i = slot.hash & mask;
      while (!index_[i].empty()) i = (i + 1) & mask;
      index_[i] = slot;
    }
  }
  size_t hash = FoldedNameHash(child->name);
  Slot& slot = const_cast<Slot&>(*FindSlot(child->name, hash));
  if (slot.empty()) {
    slot.hash = hash;
    ++indexed_;
  }
  FsNode*& first = slot.nodes[size_t(child->kind)];
  if (!first) first = child;
}

void FsNode::UnindexChild(FsNode* child) {
  // Rare (the writer's and tests' removals): the table is made again from the children that stay,
  // so the next child in list order with the same name and kind takes over.
  const Slot* slot = FindSlot(child->name, FoldedNameHash(child->name));
  if (!slot || slot->nodes[size_t(child->kind)] != child) return;
  index_.clear();
  indexed_ = 0;
  for (auto& other : children)
    if (other.get() != child) IndexChild(other.get());
}

void DestroySubtree(std::unique_ptr<FsNode> node) {
  std::vector<std::unique_ptr<FsNode>> pending;
  if (node) pending.push_back(std::move(node));
  while (!pending.empty()) {
    std::unique_ptr<FsNode> n = std::move(pending.back());
    pending.pop_back();
    n->index_.clear();
    for (auto& child : n->children) pending.push_back(std::move(child));
    n->children.clear();
  }
}

FileSystem::FileSystem() { Reset(); }

FileSystem::~FileSystem() { Clear(); }

void FileSystem::Clear() {
  DestroySubtree(std::move(root_));
  current_ = nullptr;
  node_count_ = 0;
}

void FileSystem::Reset() {
  Clear();
  root_ = std::make_unique<FsNode>();
  root_->name = std::string(kRootName);
  root_->kind = NodeKind::kDirectory;
  current_ = root_.get();
  node_count_ = 1;
}

FsNode* FileSystem::ResolveDirectoryStep(FsNode* from, std::string_view component) const {
  if (component == "..") return from->parent ? from->parent : from;
  if (component == ".") return from;
  return from->FindChild(component, NodeKind::kDirectory);
}

FsNode* FileSystem::Find(std::string_view path, NodeKind kind) const {
  if (path.empty() || !root_) return nullptr;
  if (path == "/" || path == "\\") return root_.get();
  if (path == "..") return current_ ? current_->parent : nullptr;
  if (path == ".") return current_;

  FsNode* dir = IsSeparator(path[0]) ? root_.get() : current_;
  if (!dir) return nullptr;
  std::string_view last;
  bool ok = ForEachComponent(path, [&](std::string_view component) {
    if (!last.empty()) {
      dir = ResolveDirectoryStep(dir, last);
      if (!dir) return false;
    }
    last = component;
    return true;
  });
  if (!ok || last.empty()) return nullptr;
  return dir->FindChild(last, kind);
}

FsNode* FileSystem::ChangeDir(std::string_view name) {
  if (name.empty() || !root_) return nullptr;
  FsNode* target = nullptr;
  if (name == "/" || name == "\\") {
    target = root_.get();
  } else if (name == "..") {
    target = current_->parent ? current_->parent : current_;
  } else {
    target = Find(name, NodeKind::kDirectory);
  }
  if (target) current_ = target;
  return target;
}

FsNode* FileSystem::Add(std::string_view name, uint32_t data_offset, NodeKind kind, bool create) {
  if (FsNode* existing = Find(name, kind)) return existing;
  if (!create || !current_ || name.empty() || name == "." || name == "..") return nullptr;
  for (char c : name) {
    if (IsSeparator(c)) return nullptr;
  }
  auto node = std::make_unique<FsNode>();
  node->name = std::string(name);
  node->kind = kind;
  node->parent = current_;
  node->data_offset = kind == NodeKind::kFile ? data_offset : 0;
  FsNode* raw = node.get();
  current_->children.push_back(std::move(node));
  current_->IndexChild(raw);
  ++node_count_;
  return raw;
}

bool FileSystem::Remove(std::string_view path, NodeKind kind) {
  FsNode* node = Find(path, kind);
  if (!node || !node->parent) return false;  // the root is dropped only by Clear
  // Keep the current directory valid when it lies inside the removed subtree.
  for (FsNode* n = current_; n; n = n->parent) {
    if (n == node) {
      current_ = node->parent;
      break;
    }
  }
  FsNode* parent = node->parent;
  parent->UnindexChild(node);
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->get() != node) continue;
    std::unique_ptr<FsNode> owned = std::move(*it);
    parent->children.erase(it);
    size_t removed = 0;
    std::vector<FsNode*> stack{owned.get()};
    while (!stack.empty()) {
      FsNode* n = stack.back();
      stack.pop_back();
      ++removed;
      for (auto& c : n->children) stack.push_back(c.get());
    }
    node_count_ -= removed;
    DestroySubtree(std::move(owned));
    return true;
  }
  return false;
}

}  // namespace lectern
