// What the contents pane shows and opens, without a toolkit: the items the three fills insert
// (labels, images, node urls), the images of expanded and collapsed items, and the URL an item
// opens in either mode, for a packed book or a project on disk. The window layer mirrors the items
// into its tree control and asks here what a click, a selection change or Enter opens.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_system.h"

namespace lectern {

namespace AdvXMLParser {
class Element;
}

// Indexes into the panes' image strip.
enum TreeImage : int { kImageClosedFolder = 0, kImageOpenFolder = 1, kImagePage = 4, kImageBookmark = 6 };

enum class TreeMode : int { kContents = 0, kDirectory = 1 };

// One record of the archive's directory section, as the directory fill takes them.
struct DirectoryRecord {
  enum class Kind { kDirectory, kLeave, kFile, kEnd };
  Kind kind;
  std::string name;  // kDirectory and kFile
};

// The records that describe `fs`'s tree, in the order its nodes were stored (the order the
// directory section listed them), ending with kEnd. The walk keeps its own stack.
std::vector<DirectoryRecord> DirectoryRecordsOf(const FileSystem& fs);

// The label of the archive-mode root when the book has no name.
inline constexpr std::string_view kDefaultRootLabel = "E-Book";

class ContentsTreeModel {
 public:
  static constexpr int kNone = -1;

  struct Item {
    std::string label;
    int image = kImagePage;
    // Contents mode: the element's "url" attribute; items without one have no url.
    std::string url;
    int parent = kNone;
    std::vector<int> children;  // in display order
  };

  enum class OpenEvent { kClick, kSelectionChange, kEnter };

  // Archive mode starts with a root item labelled with the book's name ("E-Book" when it is
  // empty), image 0, which the directory fill fills. Preview Mode starts empty.
  ContentsTreeModel(bool preview_mode, std::string_view book_name);

  void SetMode(TreeMode mode) { mode_ = mode; }
  TreeMode mode() const { return mode_; }
  bool preview_mode() const { return preview_mode_; }

  // Clears every item (the root too) and adds the children of the first "toc" child of
  // `config_root`, recursively; without one (or without a root) the tree stays empty.
  void FillFromContents(const AdvXMLParser::Element* config_root);
  // Inserts the records under the current folder, which starts at the root.
  void FillFromDirectoryRecords(std::span<const DirectoryRecord> records);
  // Preview Mode: `folder` (trailing separators removed) as a top-level item and everything
  // below it on disk, in the order the file system lists them. False when the folder cannot be
  // listed; its item stays.
  bool FillFromFolder(std::string folder);

  const std::vector<Item>& items() const { return items_; }
  const Item& item(int index) const { return items_[size_t(index)]; }
  const std::vector<int>& top_level() const { return top_level_; }
  bool has_children(int index) const { return !items_[size_t(index)].children.empty(); }
  // The first top-level item, kNone when there is none.
  int root() const { return top_level_.empty() ? kNone : top_level_.front(); }

  // An expanded item shows the open image, a collapsed one the closed image.
  void SetExpanded(int index, bool expanded);

  // The URL that `event` on item `index` opens; empty when it opens nothing. `book_folder` is
  // Preview Mode's book folder on disk (empty when the project names none).
  std::string UrlToOpen(int index, OpenEvent event, std::string_view book_folder) const;
  // The URL of an item regardless of the event; empty when it has none.
  std::string TargetUrl(int index, std::string_view book_folder) const;
  // The book path (contents mode: the url) an item stands for, before it becomes a URL.
  std::string ItemPath(int index) const;

 private:
  int Insert(int parent, std::string label, int image);
  void Clear();

  bool preview_mode_;
  TreeMode mode_ = TreeMode::kContents;
  std::vector<Item> items_;
  std::vector<int> top_level_;
  int current_folder_ = kNone;
};

}  // namespace lectern
