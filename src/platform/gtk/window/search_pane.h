// The search pane of the side bar: the hits of the last search as a flat list of pages, under the
// number of hits; a click or Enter on a hit shows its page in the view.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

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
  // Opens the page of a row as a click does: nothing for a missing row or one showing now.
  void OpenRow(int row);

 private:
  void OpenPath(const std::string& path);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);

  PaneHost& host_;
  GtkWidget* pane_ = nullptr;
  GtkWidget* list_ = nullptr;
  GtkWidget* count_label_ = nullptr;
  GtkListStore* store_ = nullptr;
  GdkPixbuf* page_image_ = nullptr;
  std::unique_ptr<CSearchResult> result_;
};

}  // namespace lectern
