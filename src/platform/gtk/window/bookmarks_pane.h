// The bookmarks pane of the side bar: the book's bookmarks in a flat list under a small toolbar
// (Add..., Remove). A click or Enter opens one, F2 or a click on the selected one renames it in
// place, Delete removes it after asking. The list is read from "favorites.dat" in the book's
// working folder when the pane is made, and written back after every change and when the pane
// goes, so a run that ends without an orderly shut-down loses nothing.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "panes/favorites_store.h"
#include "platform/gtk/window/pane_host.h"

namespace lectern {

class CEbkFavorites {
 public:
  // The commands of the pane's toolbar.
  enum PaneCommand : int { kCmdAdd = 200, kCmdRemove = 201 };

  explicit CEbkFavorites(PaneHost& host);
  ~CEbkFavorites();
  CEbkFavorites(const CEbkFavorites&) = delete;
  CEbkFavorites& operator=(const CEbkFavorites&) = delete;

  // The pane for the side bar; its window text is "Bookmarks".
  GtkWidget* widget() const { return pane_; }
  GtkTreeView* tree() const { return GTK_TREE_VIEW(tree_); }
  GtkWidget* toolbar() const { return toolbar_; }
  // The bar's button of a pane command; null for any other.
  GtkWidget* ButtonOf(int command) const;

  void OnCommand(int command);
  // Names the page shown now in the naming dialog and adds it.
  void AddCurrentPage();
  // The adding rules, with the overwrite question as a message box; the list is written after.
  FavoritesStore::AddResult AddRecord(std::string_view url, std::string_view name);
  // Asks, then removes the selected bookmark; without a selection nothing happens.
  void RemoveSelected();
  // Opens the bookmark at `index` as a click on it would: the Preview Mode refusal first, then
  // nothing for the page shown now, else the view goes there.
  void OpenAt(int index);
  // Starts editing the label of the bookmark at `index` in place.
  void StartRename(size_t index);
  // The field of the edit in progress; null while none is.
  GtkEntry* rename_field() const { return rename_field_; }

  const FavoritesStore& store() const { return store_; }
  size_t count() const { return store_.size(); }
  std::vector<Bookmark> bookmarks() const { return store_.bookmarks(); }
  FavoritesStore::LoadResult load_result() const { return load_result_; }
  const std::string& file_path() const { return file_path_; }
  // The label a row shows, and the picture index it carries.
  std::string LabelAt(size_t index) const;
  int ImageAt(size_t index) const;
  int SelectedIndex() const;
  // Writes the list now; false when the store refuses (its file was unreadable) or writing fails.
  bool Save();

 private:
  // The "Bookmark Conflicts" question, asked over the window.
  OverwriteQuestion ConflictQuestion();
  void Mirror();
  void ListChanged();
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static void OnEditingStarted(GtkCellRenderer*, GtkCellEditable* editable, gchar* path, gpointer self);
  static void OnEdited(GtkCellRendererText*, gchar* path, gchar* text, gpointer self);
  static void OnEditingCanceled(GtkCellRenderer*, gpointer self);
  static void OnButton(GtkButton* button, gpointer self);
  static void OnPaneDestroyed(GtkWidget*, gpointer self);

  PaneHost& host_;
  FavoritesStore store_;
  FavoritesStore::LoadResult load_result_ = FavoritesStore::LoadResult::kNoFile;
  std::string file_path_;
  GtkWidget* pane_ = nullptr;
  GtkWidget* toolbar_ = nullptr;
  GtkWidget* add_button_ = nullptr;
  GtkWidget* remove_button_ = nullptr;
  GtkWidget* tree_ = nullptr;
  GtkListStore* list_ = nullptr;
  GtkTreeViewColumn* column_ = nullptr;
  GtkCellRenderer* label_renderer_ = nullptr;
  GtkEntry* rename_field_ = nullptr;
  GdkPixbuf* image_ = nullptr;
};

}  // namespace lectern
