#include "platform/gtk/window/search_pane.h"

#include <chrono>
#include <string>

#include "book/book_settings.h"
#include "browser/view_uri.h"
#include "datastore/datastore_path.h"
#include "panes/hit_snippet.h"
#include "platform/gtk/window/contents_tree.h"
#include "platform/gtk/window/icons.h"
#include "platform/gtk/window/row_numbers_model.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

constexpr int kPageImage = 4;

// What a row shows: its title, else its path, as much of it as is UTF-8.
std::string LabelOfHit(const SearchHit& hit) {
  const std::string& label = hit.title.empty() ? hit.path : hit.title;
  gchar* valid = g_utf8_make_valid(label.data(), gssize(label.size()));
  std::string text = valid;
  g_free(valid);
  return text;
}

}  // namespace

CEbkSearch::CEbkSearch(PaneHost& host) : host_(host) {
  page_image_ = LoadIcon(PaneImageName(kPageImage), 16);
  store_ = NewRowNumbersModel(0);
  list_ = gtk_tree_view_new_with_model(store_);
  // Held for the handlers' teardown, which may come after the window has destroyed the pane.
  g_object_ref_sink(list_);
  GtkTreeView* list = GTK_TREE_VIEW(list_);
  gtk_tree_view_set_headers_visible(list, FALSE);
  gtk_tree_view_set_enable_search(list, FALSE);
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  // Every row is two lines high: with one height for all, the list measures and draws only the
  // rows on screen, so a long list fills at once and text lines are made only for what is seen.
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_set_expand(column, TRUE);
  GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, picture, FALSE);
  g_object_set(picture, "pixbuf", page_image_, nullptr);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
  gtk_tree_view_column_pack_start(column, text, TRUE);
  gtk_tree_view_column_set_cell_data_func(column, text, &CEbkSearch::RenderRow, this, nullptr);
  gtk_tree_view_append_column(list, column);
  gtk_tree_view_set_fixed_height_mode(list, TRUE);
  g_signal_connect(list_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(list_, "key-press-event", G_CALLBACK(OnKeyPress), this);

  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scroller), list_);
  count_label_ = gtk_label_new(FormatString(LoadString(kStrItemCount), "0").c_str());
  // The count keeps to the pane's lower right corner; the list takes the rest.
  gtk_widget_set_halign(count_label_, GTK_ALIGN_END);
  gtk_widget_set_margin_end(count_label_, 4);
  gtk_widget_set_margin_top(count_label_, 2);
  gtk_widget_set_margin_bottom(count_label_, 2);
  pane_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_ref_sink(pane_);
  gtk_box_pack_start(GTK_BOX(pane_), scroller, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(pane_), count_label_, FALSE, FALSE, 0);
  gtk_widget_set_name(pane_, std::string(LoadString(kStrSearchPaneTitle)).c_str());
}

CEbkSearch::~CEbkSearch() {
  if (snippet_idle_) g_source_remove(snippet_idle_);
  ReleaseOldLists();
  g_signal_handlers_disconnect_by_data(list_, this);
  gtk_widget_destroy(pane_);
  g_object_unref(pane_);
  g_object_unref(list_);
  g_object_unref(store_);
  if (page_image_) g_object_unref(page_image_);
}


void CEbkSearch::ReleaseOldLists() {
  if (release_idle_) g_source_remove(release_idle_);
  release_idle_ = 0;
  for (OldList& old : old_lists_) g_object_unref(old.store);
  old_lists_.clear();
}

void CEbkSearch::ShowResults(std::unique_ptr<CSearchResult> result) {
  // The new list is shown first; the old ones are let go when the loop is idle, however many
  // searches came before it was. A loop that never idles still keeps no more than a few.
  constexpr size_t kMostOldLists = 4;
  if (old_lists_.size() >= kMostOldLists) ReleaseOldLists();
  old_lists_.push_back({store_, std::move(result_)});
  if (!release_idle_) {
    release_idle_ = g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer self) {
          static_cast<CEbkSearch*>(self)->release_idle_ = 0;
          static_cast<CEbkSearch*>(self)->ReleaseOldLists();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
  }
  result_ = std::move(result);
  // Rows hold only their number: the list is made at the cost of a number per hit, and the text
  // of a row is made only when it is drawn.
  snippets_.clear();
  asked_rows_.clear();
  row_hits_.clear();
  size_t hits = result_ ? result_->hits.size() : 0;
  for (size_t i = 0; i < hits; ++i)
    if (!result_->hits[i].path.empty()) row_hits_.push_back(uint32_t(i));
  snippets_.resize(row_hits_.size());
  store_ = NewRowNumbersModel(guint(row_hits_.size()));
  gtk_tree_view_set_model(GTK_TREE_VIEW(list_), store_);
  std::string count = FormatString(LoadString(kStrItemCount), std::to_string(hits));
  // An unchanged label is left alone: setting it lays the pane out again.
  if (count != gtk_label_get_text(GTK_LABEL(count_label_))) gtk_label_set_text(GTK_LABEL(count_label_), count.c_str());
}

int CEbkSearch::row_count() const { return int(row_hits_.size()); }

const SearchHit* CEbkSearch::HitOfRow(int row) const {
  if (row < 0 || size_t(row) >= row_hits_.size() || !result_) return nullptr;
  return &result_->hits[row_hits_[size_t(row)]];
}

std::string CEbkSearch::LabelOf(int row) const {
  const SearchHit* hit = HitOfRow(row);
  return hit ? LabelOfHit(*hit) : std::string();
}

std::string CEbkSearch::PathOf(int row) const {
  const SearchHit* hit = HitOfRow(row);
  return hit ? hit->path : std::string();
}

std::string CEbkSearch::SnippetOf(int row) {
  if (row < 0 || size_t(row) >= snippets_.size()) return {};
  std::optional<std::string>& snippet = snippets_[size_t(row)];
  if (snippet) return *snippet;
  snippet.emplace();
  ++snippets_made_;
  IEbkManager* manager = host_.BookManager();
  std::string path = PathOf(row);
  if (!manager || !result_ || path.empty()) return {};
  WideString wide = Utf8ToWide(path);
  uint32_t size = 0;
  if (manager->ReadFile(wide.c_str(), nullptr, &size) != S_OK || size == 0) return {};
  std::string content(size, '\0');
  if (manager->ReadFile(wide.c_str(), reinterpret_cast<uint8_t*>(content.data()), &size) != S_OK) return {};
  content.resize(size);
  *snippet = HitSnippet(content, result_->words);
  return *snippet;
}

void CEbkSearch::RenderRow(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                           gpointer data) {
  auto* self = static_cast<CEbkSearch*>(data);
  GtkTreePath* path = gtk_tree_model_get_path(model, iter);
  int row = path ? gtk_tree_path_get_indices(path)[0] : -1;
  if (path) gtk_tree_path_free(path);
  const SearchHit* hit = self->HitOfRow(row);
  std::string label = hit ? LabelOfHit(*hit) : std::string();
  std::string snippet;
  if (row >= 0 && size_t(row) < self->snippets_.size() && self->snippets_[size_t(row)])
    snippet = *self->snippets_[size_t(row)];
  else
    self->AskForSnippet(row);
  // Stored text need not be UTF-8; the line shows what it can of it.
  gchar* valid = g_utf8_make_valid(snippet.data(), gssize(snippet.size()));
  gchar* markup = g_markup_printf_escaped("%s\n<small><span alpha=\"70%%\">%s</span></small>", label.c_str(), valid);
  g_object_set(cell, "markup", markup, nullptr);
  g_free(markup);
  g_free(valid);
}

void CEbkSearch::AskForSnippet(int row) {
  if (row < 0 || size_t(row) >= snippets_.size()) return;
  asked_rows_.push_back(row);
  // Each line reads and decodes its page: made between frames, the list is drawn at once and
  // scrolls without waiting for the pages behind it.
  if (!snippet_idle_) snippet_idle_ = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, MakeAskedSnippets, this, nullptr);
}

gboolean CEbkSearch::MakeAskedSnippets(gpointer data) {
  auto* self = static_cast<CEbkSearch*>(data);
  // A few milliseconds a turn, so input and drawing keep their pace.
  constexpr auto kBudget = std::chrono::milliseconds(2);
  auto deadline = std::chrono::steady_clock::now() + kBudget;
  bool made = false;
  while (!self->asked_rows_.empty() && std::chrono::steady_clock::now() < deadline) {
    int row = self->asked_rows_.front();
    self->asked_rows_.pop_front();
    if (size_t(row) >= self->snippets_.size() || self->snippets_[size_t(row)]) continue;
    self->SnippetOf(row);
    made = true;
  }
  // Every row keeps its height, so a new line needs drawing only. A row-changed signal would also
  // make the list's accessible object, which then hears of every row of every later list.
  if (made) gtk_widget_queue_draw(self->list_);
  if (!self->asked_rows_.empty()) return G_SOURCE_CONTINUE;
  self->snippet_idle_ = 0;
  return G_SOURCE_REMOVE;
}

void CEbkSearch::OpenRow(int row) { OpenPath(PathOf(row)); }

void CEbkSearch::OpenPath(const std::string& path) {
  if (path.empty()) return;
  std::string target = LooksLikeUrl(path) ? path : DatastoreUrl(path);
  // The page shown now is not loaded again, however either URL is escaped.
  if (SamePageKey(target) == SamePageKey(host_.CurrentUrl())) return;
  host_.Navigate(target);
}

gboolean CEbkSearch::OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  if (event->button != 1) return FALSE;
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(widget), int(event->x), int(event->y), &path, nullptr, nullptr,
                                     nullptr))
    return FALSE;
  int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  static_cast<CEbkSearch*>(data)->OpenRow(row);
  return FALSE;
}

gboolean CEbkSearch::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter && event->keyval != GDK_KEY_ISO_Enter)
    return FALSE;
  GtkTreePath* path = nullptr;
  gtk_tree_view_get_cursor(GTK_TREE_VIEW(widget), &path, nullptr);
  if (!path) return FALSE;
  int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  static_cast<CEbkSearch*>(data)->OpenRow(row);
  return TRUE;
}

}  // namespace lectern
