// The search pane of the side bar: the hits of the last search as a flat list of pages, under the
// number of hits; a click or Enter on a hit shows its page in the view. Under each title a line of
// the page's text around the first word found, worked out only for the rows drawn.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "panes/search_engine.h"
#include "platform/gtk/window/pane_host.h"

namespace lectern {

class CEbkSearch {
 public:
  explicit CEbkSearch(PaneHost& host);
  ~CEbkSearch();
  CEbkSearch(const CEbkSearch&) = delete;
  CEbkSearch& operator=(const CEbkSearch&) = delete;

  // The pane for the side bar; its title is "Search".
  GtkWidget* widget() const { return pane_; }
  GtkTreeView* list() const { return GTK_TREE_VIEW(list_); }
  GtkWidget* count_label() const { return count_label_; }

  // Takes the result over, dropping the one held before, and lists its hits.
  void ShowResults(std::unique_ptr<CSearchResult> result);
  const CSearchResult* result() const { return result_.get(); }
  int row_count() const;
  // The label and the book path of a row; empty when there is no such row.
  std::string LabelOf(int row) const;
  std::string PathOf(int row) const;
  // The text line under a row's title, worked out now if it was not yet; empty for no such row.
  std::string SnippetOf(int row);
  // How many rows have their text line worked out: those drawn so far. Drawing never waits for
  // one: a row drawn before its line is ready asks for it, and is drawn again once it is made.
  size_t snippets_made() const { return snippets_made_; }
  // Opens the page of a row as a click does: nothing for a missing row or one showing now.
  void OpenRow(int row);

 private:
  void OpenPath(const std::string& path);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static void RenderRow(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                        gpointer self);
  void AskForSnippet(int row);
  static gboolean MakeAskedSnippets(gpointer self);
  // The hit a row lists; null for no such row.
  const SearchHit* HitOfRow(int row) const;
  void ReleaseOldLists();

  PaneHost& host_;
  GtkWidget* pane_ = nullptr;
  GtkWidget* list_ = nullptr;
  GtkWidget* count_label_ = nullptr;
  GtkTreeModel* store_ = nullptr;
  GdkPixbuf* page_image_ = nullptr;
  std::unique_ptr<CSearchResult> result_;
  std::vector<uint32_t> row_hits_;  // by row: the hit's place in the result
  std::vector<std::optional<std::string>> snippets_;  // by row
  size_t snippets_made_ = 0;
  std::deque<int> asked_rows_;  // drawn without their line, to be made when the loop is idle
  guint snippet_idle_ = 0;
  // Lists shown before the last result, let go once the loop is idle.
  struct OldList {
    GtkTreeModel* store = nullptr;
    std::unique_ptr<CSearchResult> result;
  };
  std::vector<OldList> old_lists_;
  guint release_idle_ = 0;
};

}  // namespace lectern
