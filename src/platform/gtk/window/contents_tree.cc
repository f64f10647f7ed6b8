#include "platform/gtk/window/contents_tree.h"

#include <gdk/gdkkeysyms.h>

#include <vector>

#include "book/ebk_manager.h"
#include "book/project.h"
#include "book/xml/node.h"
#include "browser/view_uri.h"
#include "frame/frame_settings.h"
#include "platform/gtk/window/icons.h"

namespace lectern {
namespace {

enum Column : int { kColumnImage = 0, kColumnLabel, kColumnIndex, kColumnImageIndex, kColumnCount };

bool IsMovingKey(guint key) {
  switch (key) {
    case GDK_KEY_Up: case GDK_KEY_Down: case GDK_KEY_KP_Up: case GDK_KEY_KP_Down:
    case GDK_KEY_Page_Up: case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Up: case GDK_KEY_KP_Page_Down:
    case GDK_KEY_Home: case GDK_KEY_End: case GDK_KEY_KP_Home: case GDK_KEY_KP_End:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* PaneImageName(int image) {
  switch (image) {
    case kImageClosedFolder: return "tree-folder-closed";
    case kImageOpenFolder: return "tree-folder-open";
    case kImagePage: return "tree-page";
    case kImageBookmark: return "tree-bookmark";
    default: return "";
  }
}

CEbkTreeView::CEbkTreeView(PaneHost& host) : host_(host), model_(host.preview_mode(), host.Setting("bookname")) {
  for (int image : {kImageClosedFolder, kImageOpenFolder, kImagePage, kImageBookmark})
    images_[image] = LoadIcon(PaneImageName(image), 16);
  store_ = gtk_tree_store_new(kColumnCount, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_INT, G_TYPE_INT);
  tree_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
  // Held for the handlers' teardown, which may come after the window has destroyed the pane.
  g_object_ref_sink(tree_);
  GtkTreeView* tree = GTK_TREE_VIEW(tree_);
  gtk_tree_view_set_headers_visible(tree, FALSE);
  gtk_tree_view_set_enable_tree_lines(tree, TRUE);
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, picture, FALSE);
  gtk_tree_view_column_add_attribute(column, picture, "pixbuf", kColumnImage);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_start(column, text, TRUE);
  gtk_tree_view_column_add_attribute(column, text, "text", kColumnLabel);
  gtk_tree_view_append_column(tree, column);
  gtk_tree_view_set_expander_column(tree, column);

  g_signal_connect(tree_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(tree_, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(tree_, "key-release-event", G_CALLBACK(OnKeyRelease), this);
  g_signal_connect(tree_, "row-expanded", G_CALLBACK(OnRowExpanded), this);
  g_signal_connect(tree_, "row-collapsed", G_CALLBACK(OnRowCollapsed), this);
  selection_ = GTK_TREE_SELECTION(g_object_ref(gtk_tree_view_get_selection(tree)));
  g_signal_connect(selection_, "changed", G_CALLBACK(OnSelectionChanged), this);

  pane_ = gtk_scrolled_window_new(nullptr, nullptr);
  g_object_ref_sink(pane_);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(pane_), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(pane_), tree_);
  gtk_widget_set_name(pane_, "Contents");
  Mirror();
}

CEbkTreeView::~CEbkTreeView() {
  // The handlers belong to this object; the widgets may live on in a window being torn down.
  g_signal_handlers_disconnect_by_data(tree_, this);
  g_signal_handlers_disconnect_by_data(selection_, this);
  g_object_unref(selection_);
  gtk_widget_destroy(pane_);
  g_object_unref(pane_);
  g_object_unref(tree_);
  g_object_unref(store_);
  for (GdkPixbuf* image : images_)
    if (image) g_object_unref(image);
}

void CEbkTreeView::FillFromContents(const AdvXMLParser::Element* config_root) {
  model_.FillFromContents(config_root);
  Mirror();
}

void CEbkTreeView::FillFromDirectoryRecords(std::span<const DirectoryRecord> records) {
  model_.FillFromDirectoryRecords(records);
  Mirror();
}

bool CEbkTreeView::FillFromFolder(const std::string& folder) {
  bool listed = model_.FillFromFolder(folder);
  Mirror();
  return listed;
}

void CEbkTreeView::ShowImage(GtkTreeIter* iter, int image) {
  GdkPixbuf* picture = image >= 0 && image < int(std::size(images_)) ? images_[image] : nullptr;
  gtk_tree_store_set(store_, iter, kColumnImage, picture, kColumnImageIndex, image, -1);
}

void CEbkTreeView::Mirror() {
  // Filling selects nothing and opens nothing.
  mirroring_ = true;
  gtk_tree_store_clear(store_);
  const std::vector<ContentsTreeModel::Item>& items = model_.items();
  // Parents always come before their children in the model, in the order they are shown.
  std::vector<GtkTreeIter> rows(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const ContentsTreeModel::Item& item = items[i];
    gtk_tree_store_append(store_, &rows[i], item.parent == ContentsTreeModel::kNone ? nullptr : &rows[size_t(item.parent)]);
    // File names on disk need not be UTF-8; the tree shows what it can of them.
    gchar* label = g_utf8_make_valid(item.label.data(), gssize(item.label.size()));
    gtk_tree_store_set(store_, &rows[i], kColumnLabel, label, kColumnIndex, int(i), -1);
    g_free(label);
    ShowImage(&rows[i], item.image);
  }
  mirroring_ = false;
}

GtkTreePath* CEbkTreeView::PathOf(int index) const {
  if (index < 0 || size_t(index) >= model_.items().size()) return nullptr;
  // The row's position: its place among its parent's children, from the top level down.
  std::vector<int> places;
  for (int at = index; at != ContentsTreeModel::kNone; at = model_.item(at).parent) {
    int parent = model_.item(at).parent;
    const std::vector<int>& siblings = parent == ContentsTreeModel::kNone ? model_.top_level() : model_.item(parent).children;
    for (size_t place = 0; place < siblings.size(); ++place)
      if (siblings[place] == at) places.insert(places.begin(), int(place));
  }
  GtkTreePath* path = gtk_tree_path_new();
  for (int place : places) gtk_tree_path_append_index(path, place);
  return path;
}

int CEbkTreeView::IndexOf(GtkTreePath* path) const {
  GtkTreeIter iter;
  if (!path || !gtk_tree_model_get_iter(GTK_TREE_MODEL(store_), &iter, path)) return ContentsTreeModel::kNone;
  int index = ContentsTreeModel::kNone;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, kColumnIndex, &index, -1);
  return index;
}

int CEbkTreeView::ImageOf(int index) const {
  GtkTreePath* path = PathOf(index);
  GtkTreeIter iter;
  int image = -1;
  if (path && gtk_tree_model_get_iter(GTK_TREE_MODEL(store_), &iter, path))
    gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, kColumnImageIndex, &image, -1);
  if (path) gtk_tree_path_free(path);
  return image;
}

int CEbkTreeView::SelectedIndex() const {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(selection_, &model, &iter))
    return ContentsTreeModel::kNone;
  int index = ContentsTreeModel::kNone;
  gtk_tree_model_get(model, &iter, kColumnIndex, &index, -1);
  return index;
}

void CEbkTreeView::Open(int index, ContentsTreeModel::OpenEvent event) {
  if (index == ContentsTreeModel::kNone) return;
  std::string book_folder;
  if (const Project* project = host_.BookProject(); project && !host_.Setting("bookdir").empty())
    book_folder = project->BookFolder();
  std::string url = model_.UrlToOpen(index, event, book_folder);
  if (!url.empty()) host_.Navigate(url);
}

gboolean CEbkTreeView::OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<CEbkTreeView*>(data);
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  GtkTreeView* tree = GTK_TREE_VIEW(widget);
  if (event->window != gtk_tree_view_get_bin_window(tree)) return FALSE;
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(tree, int(event->x), int(event->y), &path, nullptr, nullptr, nullptr))
    return FALSE;
  // A click on the expander or the indent only folds the row.
  GdkRectangle cell;
  gtk_tree_view_get_cell_area(tree, path, gtk_tree_view_get_column(tree, 0), &cell);
  int index = self->IndexOf(path);
  gtk_tree_path_free(path);
  if (event->x < cell.x) return FALSE;
  self->Open(index, ContentsTreeModel::OpenEvent::kClick);
  return FALSE;
}

gboolean CEbkTreeView::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  static_cast<CEbkTreeView*>(data)->user_moving_ = IsMovingKey(event->keyval);
  return FALSE;
}

gboolean CEbkTreeView::OnKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data) {
  static_cast<CEbkTreeView*>(data)->user_moving_ = false;
  if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter && event->keyval != GDK_KEY_ISO_Enter)
    return FALSE;
  auto* self = static_cast<CEbkTreeView*>(data);
  self->Open(self->SelectedIndex(), ContentsTreeModel::OpenEvent::kEnter);
  return FALSE;
}

void CEbkTreeView::OnSelectionChanged(GtkTreeSelection*, gpointer data) {
  auto* self = static_cast<CEbkTreeView*>(data);
  // Only the user's own moves open a section: GTK selects a first row when the tree takes the
  // focus, and following the page selects its row, and neither may navigate.
  if (self->mirroring_ || !self->user_moving_) return;
  self->Open(self->SelectedIndex(), ContentsTreeModel::OpenEvent::kSelectionChange);
}

void CEbkTreeView::FollowPage(std::string_view url) {
  std::string key = SamePageKey(url);
  if (key.empty()) return;
  std::string book_folder;
  if (const Project* project = host_.BookProject(); project && !host_.Setting("bookdir").empty())
    book_folder = project->BookFolder();
  for (size_t i = 0; i < model_.items().size(); ++i) {
    std::string target = model_.TargetUrl(int(i), book_folder);
    if (target.empty() || SamePageKey(target) != key) continue;
    GtkTreePath* path = PathOf(int(i));
    if (!path) return;
    mirroring_ = true;
    gtk_tree_view_expand_to_path(GTK_TREE_VIEW(tree_), path);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(tree_), path, nullptr, FALSE);
    if (gtk_widget_get_realized(tree_)) gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(tree_), path, nullptr, FALSE, 0, 0);
    mirroring_ = false;
    gtk_tree_path_free(path);
    return;
  }
}

void CEbkTreeView::OnRowExpanded(GtkTreeView*, GtkTreeIter* iter, GtkTreePath* path, gpointer data) {
  auto* self = static_cast<CEbkTreeView*>(data);
  int index = self->IndexOf(path);
  if (index == ContentsTreeModel::kNone) return;
  self->model_.SetExpanded(index, true);
  self->ShowImage(iter, self->model_.item(index).image);
}

void CEbkTreeView::OnRowCollapsed(GtkTreeView*, GtkTreeIter* iter, GtkTreePath* path, gpointer data) {
  auto* self = static_cast<CEbkTreeView*>(data);
  int index = self->IndexOf(path);
  if (index == ContentsTreeModel::kNone) return;
  self->model_.SetExpanded(index, false);
  self->ShowImage(iter, self->model_.item(index).image);
}

void FillContentsPane(CEbkTreeView& pane, const FrameSettings& settings, CEbkManager* manager,
                      const Project* project) {
  if (!settings.contents) return;
  if (settings.directory_tree) {
    pane.SetMode(TreeMode::kDirectory);
    if (project) {
      pane.FillFromFolder(project->BookFolder());
    } else if (manager) {
      std::vector<DirectoryRecord> records = DirectoryRecordsOf(manager->book().directory());
      pane.FillFromDirectoryRecords(records);
    }
    return;
  }
  pane.SetMode(TreeMode::kContents);
  const AdvXMLParser::Document* document = project ? project->document()
                                           : manager   ? manager->book().config_document()
                                                       : nullptr;
  pane.FillFromContents(document ? document->GetRoot() : nullptr);
}

}  // namespace lectern
