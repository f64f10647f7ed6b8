#include "panes/contents_tree_model.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "book/book_settings.h"
#include "book/xml/node.h"
#include "datastore/datastore_path.h"

namespace lectern {
namespace {

bool EndsWithColon(std::string_view name) { return !name.empty() && name.back() == ':'; }

// Joins two path pieces with one '/' between them.
std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!joined.empty() && joined.back() != '/' && !name.empty()) joined += '/';
  joined += name;
  return joined;
}

struct FolderIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderIdentity&) const = default;
};

}  // namespace

std::vector<DirectoryRecord> DirectoryRecordsOf(const FileSystem& fs) {
  std::vector<DirectoryRecord> records;
  if (const FsNode* root = fs.root()) {
    struct Frame {
      const FsNode* dir;
      size_t next;
    };
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next == top.dir->children.size()) {
        stack.pop_back();
        if (!stack.empty()) records.push_back({DirectoryRecord::Kind::kLeave, {}});
        continue;
      }
      const FsNode& child = *top.dir->children[top.next++];
      if (child.is_directory()) {
        records.push_back({DirectoryRecord::Kind::kDirectory, child.name});
        stack.push_back({&child, 0});
      } else {
        records.push_back({DirectoryRecord::Kind::kFile, child.name});
      }
    }
  }
  records.push_back({DirectoryRecord::Kind::kEnd, {}});
  return records;
}

ContentsTreeModel::ContentsTreeModel(bool preview_mode, std::string_view book_name) : preview_mode_(preview_mode) {
  if (preview_mode_) return;
  current_folder_ = Insert(kNone, std::string(book_name.empty() ? kDefaultRootLabel : book_name), kImageClosedFolder);
}

int ContentsTreeModel::Insert(int parent, std::string label, int image) {
  int index = int(items_.size());
  Item item;
  item.label = std::move(label);
  item.image = image;
  item.parent = parent;
  items_.push_back(std::move(item));
  if (parent == kNone) top_level_.push_back(index);
  else items_[size_t(parent)].children.push_back(index);
  return index;
}

void ContentsTreeModel::Clear() {
  items_.clear();
  top_level_.clear();
  current_folder_ = kNone;
}

void ContentsTreeModel::FillFromContents(const AdvXMLParser::Element* config_root) {
  const AdvXMLParser::Element* toc = config_root ? config_root->FindElement("toc") : nullptr;
  Clear();
  if (!toc) return;
  // Depth-first with a work list of its own, so any nesting the document holds is safe.
  struct Pending {
    const AdvXMLParser::Element* element;
    int parent;
  };
  std::vector<Pending> pending;
  auto push_children = [&pending](const AdvXMLParser::Element& element, int parent) {
    std::vector<const AdvXMLParser::Element*> children = element.GetElements();
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back({*it, parent});
  };
  push_children(*toc, kNone);
  while (!pending.empty()) {
    Pending next = pending.back();
    pending.pop_back();
    if (next.parent != kNone) items_[size_t(next.parent)].image = kImageClosedFolder;
    int index = Insert(next.parent, next.element->FindAttribute("text").GetText(), kImagePage);
    items_[size_t(index)].url = next.element->FindAttribute("url").GetText();
    push_children(*next.element, index);
  }
}

void ContentsTreeModel::FillFromDirectoryRecords(std::span<const DirectoryRecord> records) {
  int current = current_folder_;
  // Inside a folder that is not shown, the depth of its records still to skip.
  int skipping = 0;
  auto children_of = [this](int folder) -> const std::vector<int>& {
    return folder == kNone ? top_level_ : items_[size_t(folder)].children;
  };
  for (const DirectoryRecord& record : records) {
    if (record.kind == DirectoryRecord::Kind::kEnd) break;
    if (skipping > 0) {
      if (record.kind == DirectoryRecord::Kind::kDirectory) ++skipping;
      else if (record.kind == DirectoryRecord::Kind::kLeave) --skipping;
      continue;
    }
    switch (record.kind) {
      case DirectoryRecord::Kind::kDirectory: {
        if (record.name.empty()) {
          current_folder_ = current;
          return;
        }
        // A folder that is not shown keeps its contents out too, and its leave record with them,
        // so nothing after it lands a level too high.
        if (EndsWithColon(record.name)) {
          skipping = 1;
          break;
        }
        Insert(current, record.name, kImagePage);
        if (current != kNone) items_[size_t(current)].image = kImageClosedFolder;
        if (record.name == "/" || record.name == "\\") {
          current = root();
          break;
        }
        for (int child : children_of(current)) {
          if (EqualsIgnoringAsciiCase(items_[size_t(child)].label, record.name)) {
            current = child;
            break;
          }
        }
        break;
      }
      case DirectoryRecord::Kind::kLeave:
        if (current != kNone && items_[size_t(current)].parent != kNone) current = items_[size_t(current)].parent;
        break;
      case DirectoryRecord::Kind::kFile:
        if (EndsWithColon(record.name)) break;
        Insert(current, record.name, kImagePage);
        if (current != kNone) items_[size_t(current)].image = kImageClosedFolder;
        break;
      case DirectoryRecord::Kind::kEnd:
        break;
    }
  }
  current_folder_ = current;
}

bool ContentsTreeModel::FillFromFolder(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  int top = Insert(kNone, folder, kImageClosedFolder);
  struct Pending {
    std::string path;
    int item;
    // The folders from the top down to this one: a link back to one of them is shown but not
    // entered, or the listing would never end.
    std::vector<FolderIdentity> chain;
  };
  std::vector<Pending> pending;
  struct stat top_stat {};
  std::vector<FolderIdentity> top_chain;
  if (::stat(folder.c_str(), &top_stat) == 0) top_chain.push_back({top_stat.st_dev, top_stat.st_ino});
  pending.push_back({folder, top, std::move(top_chain)});
  bool listed_top = false;
  bool first = true;
  while (!pending.empty()) {
    Pending next = std::move(pending.back());
    pending.pop_back();
    DIR* dir = ::opendir(next.path.c_str());
    if (first) listed_top = dir != nullptr;
    first = false;
    if (!dir) continue;
    std::vector<Pending> subfolders;
    while (dirent* entry = ::readdir(dir)) {
      std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string path = JoinPath(next.path, name);
      struct stat st {};
      bool is_folder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      int item = Insert(next.item, std::string(name), is_folder ? kImageClosedFolder : kImagePage);
      if (!is_folder) continue;
      FolderIdentity identity{st.st_dev, st.st_ino};
      if (std::find(next.chain.begin(), next.chain.end(), identity) != next.chain.end()) continue;
      std::vector<FolderIdentity> chain = next.chain;
      chain.push_back(identity);
      subfolders.push_back({std::move(path), item, std::move(chain)});
    }
    ::closedir(dir);
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) pending.push_back(std::move(*it));
  }
  return listed_top;
}

void ContentsTreeModel::SetExpanded(int index, bool expanded) {
  if (index < 0 || size_t(index) >= items_.size()) return;
  items_[size_t(index)].image = expanded ? kImageOpenFolder : kImageClosedFolder;
}

std::string ContentsTreeModel::ItemPath(int index) const {
  if (index < 0 || size_t(index) >= items_.size()) return {};
  const Item& it = items_[size_t(index)];
  if (mode_ == TreeMode::kContents) return it.url;
  if (!it.children.empty()) return {};
  if (it.parent == kNone) return preview_mode_ ? it.label : std::string("/");
  // The labels from just below the top-level item down to this one.
  std::vector<const std::string*> labels;
  int at = index;
  while (items_[size_t(at)].parent != kNone) {
    labels.push_back(&items_[size_t(at)].label);
    at = items_[size_t(at)].parent;
  }
  std::string path;
  if (preview_mode_) path = JoinPath(items_[size_t(at)].label, "");
  for (auto label = labels.rbegin(); label != labels.rend(); ++label) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += **label;
  }
  return path;
}

std::string ContentsTreeModel::TargetUrl(int index, std::string_view book_folder) const {
  std::string path = ItemPath(index);
  if (path.empty()) return {};
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path == "/") return {};
  if (mode_ == TreeMode::kDirectory) return preview_mode_ ? "file://" + path : DatastoreUrl(path);
  if (LooksLikeUrl(path)) return path;
  if (!preview_mode_) return DatastoreUrl(path);
  if (book_folder.empty()) return {};
  if (path.front() == '/') path.erase(0, 1);
  return "file://" + JoinPath(book_folder, path);
}

std::string ContentsTreeModel::UrlToOpen(int index, OpenEvent event, std::string_view book_folder) const {
  if (index < 0 || size_t(index) >= items_.size()) return {};
  // Sections also open when the user moves the selection onto them; leaves only on a click or
  // Enter. Either kind opens on a click or Enter, so picking a row always shows its page. The
  // folder a project's listing hangs from is no page.
  if (event == OpenEvent::kSelectionChange && !has_children(index)) return {};
  if (preview_mode_ && mode_ == TreeMode::kDirectory && items_[size_t(index)].parent == kNone) return {};
  return TargetUrl(index, book_folder);
}

}  // namespace lectern
