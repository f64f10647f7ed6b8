// The contents pane: the book's table of contents, or its folders and files, in a tree with
// expanders and the panes' pictures. A click or Enter on a row opens its page in the view, and so
// does moving onto a section with the keys; a selection made any other way opens nothing. The
// tree follows the page shown. What is inserted and what opens where is the portable model's;
// this is its window.
#pragma once

#include <gtk/gtk.h>

#include <span>
#include <string>
#include <string_view>

#include "panes/contents_tree_model.h"
#include "platform/gtk/window/pane_host.h"

namespace lectern {

class CEbkManager;
class Project;
struct FrameSettings;

// The name of a picture of the panes' strip under resources/icons (0 closed folder, 1 open folder,
// 4 page, 6 bookmark); "" for the others.
const char* PaneImageName(int image);

class CEbkTreeView {
 public:
  // Archive mode starts with the book's root item (its name, or "E-Book").
  explicit CEbkTreeView(PaneHost& host);
  ~CEbkTreeView();
  CEbkTreeView(const CEbkTreeView&) = delete;
  CEbkTreeView& operator=(const CEbkTreeView&) = delete;

  // The pane for the side bar; its window text is "Contents".
  GtkWidget* widget() const { return pane_; }
  GtkTreeView* tree() const { return GTK_TREE_VIEW(tree_); }

  void SetMode(TreeMode mode) { model_.SetMode(mode); }
  void FillFromContents(const AdvXMLParser::Element* config_root);
  void FillFromDirectoryRecords(std::span<const DirectoryRecord> records);
  bool FillFromFolder(const std::string& folder);

  const ContentsTreeModel& model() const { return model_; }
  // The row of model item `index`; null when there is none. The caller frees it.
  GtkTreePath* PathOf(int index) const;
  // The model item of a row, ContentsTreeModel::kNone when there is none.
  int IndexOf(GtkTreePath* path) const;
  // The picture index a row shows now.
  int ImageOf(int index) const;
  // Selects the first row that opens `url` (any URL form of the book), expanded and scrolled into
  // view, without navigating; nothing when no row does.
  void FollowPage(std::string_view url);

 private:
  void Mirror();
  void Open(int index, ContentsTreeModel::OpenEvent event);
  int SelectedIndex() const;
  void ShowImage(GtkTreeIter* iter, int image);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnKeyRelease(GtkWidget*, GdkEventKey* event, gpointer self);
  static void OnSelectionChanged(GtkTreeSelection*, gpointer self);
  static void OnRowExpanded(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self);
  static void OnRowCollapsed(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self);

  PaneHost& host_;
  ContentsTreeModel model_;
  GtkWidget* pane_ = nullptr;
  GtkWidget* tree_ = nullptr;
  GtkTreeStore* store_ = nullptr;
  GtkTreeSelection* selection_ = nullptr;
  GdkPixbuf* images_[7] = {};
  bool mirroring_ = false;
  bool user_moving_ = false;  // a key that moves the selection is down
};

// Fills the pane as the book asks when its contents are enabled: directory mode from the
// archive's directory (or the project's book folder on disk), else contents mode from the book's
// configuration document (or the project's). Exactly one of `manager` and `project` is given.
void FillContentsPane(CEbkTreeView& pane, const FrameSettings& settings, CEbkManager* manager,
                      const Project* project);

}  // namespace lectern
