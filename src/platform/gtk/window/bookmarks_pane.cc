#include "platform/gtk/window/bookmarks_pane.h"

#include <gdk/gdkkeysyms.h>

#include "panes/contents_tree_model.h"
#include "platform/gtk/window/add_favorite_dlg.h"
#include "platform/gtk/window/contents_tree.h"
#include "platform/gtk/window/icons.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

enum Column : int { kColumnImage = 0, kColumnLabel, kColumnTip, kColumnImageIndex, kColumnCount };

bool IsEnter(guint key) { return key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter; }

// Names read from the file need not be UTF-8; the list shows what it can of them.
std::string Displayable(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
  std::string shown = valid;
  g_free(valid);
  return shown;
}

int RowOf(const gchar* path_text) {
  GtkTreePath* path = gtk_tree_path_new_from_string(path_text);
  int row = path && gtk_tree_path_get_depth(path) == 1 ? gtk_tree_path_get_indices(path)[0] : -1;
  if (path) gtk_tree_path_free(path);
  return row;
}

// A flat button with its picture and, beside it, its text.
GtkWidget* MakeButton(std::string_view icon, int text_id, int command) {
  std::string text(LoadString(text_id));
  GtkWidget* button = gtk_button_new_with_label(text.c_str());
  gtk_button_set_image(GTK_BUTTON(button), IconImage(icon, 16));
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  gtk_button_set_image_position(GTK_BUTTON(button), GTK_POS_LEFT);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_tooltip_text(button, text.c_str());
  g_object_set_data(G_OBJECT(button), "lectern-command", GINT_TO_POINTER(command));
  return button;
}

}  // namespace

CEbkFavorites::CEbkFavorites(PaneHost& host) : host_(host) {
  image_ = LoadIcon(PaneImageName(kImageBookmark), 16);

  // The pane's bar: 2 pixels from the left and 1 from the top, the buttons side by side.
  toolbar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_widget_set_margin_start(toolbar_, 2);
  gtk_widget_set_margin_top(toolbar_, 1);
  add_button_ = MakeButton("bookmarks-add", kStrAddBookmarkButton, kCmdAdd);
  remove_button_ = MakeButton("bookmarks-remove", kStrRemoveBookmarkButton, kCmdRemove);
  for (GtkWidget* button : {add_button_, remove_button_}) {
    g_object_ref_sink(button);
    gtk_box_pack_start(GTK_BOX(toolbar_), button, FALSE, FALSE, 0);
    g_signal_connect(button, "clicked", G_CALLBACK(OnButton), this);
  }

  list_ = gtk_list_store_new(kColumnCount, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_INT);
  tree_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(list_));
  // Held for the handlers' teardown, which may come after the window has destroyed the pane.
  g_object_ref_sink(tree_);
  GtkTreeView* tree = GTK_TREE_VIEW(tree_);
  gtk_tree_view_set_headers_visible(tree, FALSE);
  gtk_tree_view_set_enable_tree_lines(tree, FALSE);
  gtk_tree_view_set_show_expanders(tree, FALSE);
  gtk_tree_view_set_enable_search(tree, FALSE);
  gtk_tree_view_set_tooltip_column(tree, kColumnTip);
  column_ = gtk_tree_view_column_new();
  GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column_, picture, FALSE);
  gtk_tree_view_column_add_attribute(column_, picture, "pixbuf", kColumnImage);
  label_renderer_ = gtk_cell_renderer_text_new();
  g_object_ref_sink(label_renderer_);
  // The tree's own label editing: a click on the selected row, or F2, edits its name in place.
  g_object_set(label_renderer_, "editable", TRUE, nullptr);
  gtk_tree_view_column_pack_start(column_, label_renderer_, TRUE);
  gtk_tree_view_column_add_attribute(column_, label_renderer_, "text", kColumnLabel);
  gtk_tree_view_append_column(tree, column_);
  g_signal_connect(label_renderer_, "editing-started", G_CALLBACK(OnEditingStarted), this);
  g_signal_connect(label_renderer_, "edited", G_CALLBACK(OnEdited), this);
  g_signal_connect(label_renderer_, "editing-canceled", G_CALLBACK(OnEditingCanceled), this);
  g_signal_connect(tree_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(tree_, "key-press-event", G_CALLBACK(OnKeyPress), this);

  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scroller), tree_);
  pane_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_ref_sink(pane_);
  gtk_widget_set_name(pane_, std::string(LoadString(kStrBookmarksPane)).c_str());
  gtk_box_pack_start(GTK_BOX(pane_), toolbar_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(pane_), scroller, TRUE, TRUE, 0);
  // The window going down takes the pane with it: the list is written then at the latest.
  g_signal_connect(pane_, "destroy", G_CALLBACK(OnPaneDestroyed), this);

  if (!host_.working_folder().empty()) {
    file_path_ = host_.working_folder() + "/" + std::string(kFavoritesFileName);
    load_result_ = store_.Load(file_path_, ConflictQuestion());
  }
  Mirror();
}

CEbkFavorites::~CEbkFavorites() {
  g_signal_handlers_disconnect_by_data(pane_, this);
  Save();
  // The handlers belong to this object; the widgets may live on in a window being torn down.
  g_signal_handlers_disconnect_by_data(tree_, this);
  g_signal_handlers_disconnect_by_data(label_renderer_, this);
  for (GtkWidget* button : {add_button_, remove_button_}) {
    g_signal_handlers_disconnect_by_data(button, this);
    g_object_unref(button);
  }
  gtk_widget_destroy(pane_);
  g_object_unref(pane_);
  g_object_unref(label_renderer_);
  g_object_unref(tree_);
  g_object_unref(list_);
  if (image_) g_object_unref(image_);
}

GtkWidget* CEbkFavorites::ButtonOf(int command) const {
  switch (command) {
    case kCmdAdd: return add_button_;
    case kCmdRemove: return remove_button_;
    default: return nullptr;
  }
}

OverwriteQuestion CEbkFavorites::ConflictQuestion() {
  // Anything but No renames the bookmark that is there.
  return [this](const Bookmark&, std::string_view) {
    return ShowMessageBox(host_.Toplevel(), LoadString(kStrBookmarkExists), LoadString(kStrBookmarkConflicts),
                          kMbYesNo | kMbIconInformation) != kIdNo;
  };
}

bool CEbkFavorites::Save() { return store_.Save(file_path_); }

void CEbkFavorites::Mirror() {
  int selected = SelectedIndex();
  gtk_list_store_clear(list_);
  for (const Bookmark& bookmark : store_.bookmarks()) {
    std::string label = Displayable(bookmark.name);
    gchar* tip = g_markup_escape_text(label.c_str(), -1);
    GtkTreeIter row;
    gtk_list_store_append(list_, &row);
    gtk_list_store_set(list_, &row, kColumnImage, image_, kColumnLabel, label.c_str(), kColumnTip, tip,
                       kColumnImageIndex, int(kImageBookmark), -1);
    g_free(tip);
  }
  if (selected >= 0 && size_t(selected) < store_.size()) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(selected, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(tree_)), path);
    gtk_tree_path_free(path);
  }
}

void CEbkFavorites::ListChanged() {
  // Saved first: the list shown is then the merged one, with what another window stored.
  Save();
  Mirror();
}

std::string CEbkFavorites::LabelAt(size_t index) const {
  GtkTreeIter row;
  if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list_), &row, nullptr, int(index))) return {};
  gchar* label = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(list_), &row, kColumnLabel, &label, -1);
  std::string text = label ? label : "";
  g_free(label);
  return text;
}

int CEbkFavorites::ImageAt(size_t index) const {
  GtkTreeIter row;
  if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(list_), &row, nullptr, int(index))) return -1;
  int image = -1;
  gtk_tree_model_get(GTK_TREE_MODEL(list_), &row, kColumnImageIndex, &image, -1);
  return image;
}

int CEbkFavorites::SelectedIndex() const {
  GtkTreeModel* model = nullptr;
  GtkTreeIter row;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(tree_)), &model, &row)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(model, &row);
  int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

void CEbkFavorites::OnCommand(int command) {
  switch (command) {
    case kCmdAdd: AddCurrentPage(); break;
    case kCmdRemove: RemoveSelected(); break;
    default: break;
  }
}

void CEbkFavorites::AddCurrentPage() {
  CAddFavoriteDlg dialog(host_.CurrentTitle(), host_.CurrentUrl());
  if (dialog.DoModal(host_.Toplevel()) != CAddFavoriteDlg::kResultOk) return;
  AddRecord(dialog.url(), dialog.name());
}

FavoritesStore::AddResult CEbkFavorites::AddRecord(std::string_view url, std::string_view name) {
  FavoritesStore::AddResult result = store_.Add(url, name, ConflictQuestion());
  if (result == FavoritesStore::AddResult::kAdded || result == FavoritesStore::AddResult::kRenamed) ListChanged();
  return result;
}

void CEbkFavorites::RemoveSelected() {
  int index = SelectedIndex();
  if (index < 0) return;
  if (ShowMessageBox(host_.Toplevel(), LoadString(kStrRemoveBookmarkQuestion), LoadString(kStrRemoveBookmark),
                     kMbYesNo | kMbIconQuestion) != kIdYes)
    return;
  if (store_.Remove(size_t(index))) ListChanged();
}

void CEbkFavorites::OpenAt(int index) {
  if (host_.preview_mode()) {
    ShowMessageBox(host_.Toplevel(), LoadString(kStrNotInPreviewMode), LoadString(kStrInformation), kMbIconInformation);
    return;
  }
  if (index < 0 || size_t(index) >= store_.size()) return;
  const std::string& url = store_.at(size_t(index)).url;
  if (url.empty()) return;
  host_.OpenBookmarkUrl(url);
}

void CEbkFavorites::StartRename(size_t index) {
  if (index >= store_.size()) return;
  GtkTreePath* path = gtk_tree_path_new_from_indices(int(index), -1);
  gtk_widget_grab_focus(tree_);
  gtk_tree_view_set_cursor_on_cell(GTK_TREE_VIEW(tree_), path, column_, label_renderer_, TRUE);
  gtk_tree_path_free(path);
}

gboolean CEbkFavorites::OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<CEbkFavorites*>(data);
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  GtkTreeView* tree = GTK_TREE_VIEW(widget);
  if (event->window != gtk_tree_view_get_bin_window(tree)) return FALSE;
  // Preview Mode refuses every click before looking at what is under the pointer.
  if (self->host_.preview_mode()) {
    self->OpenAt(-1);
    return FALSE;
  }
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(tree, int(event->x), int(event->y), &path, nullptr, nullptr, nullptr))
    return FALSE;
  int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  self->OpenAt(index);
  return FALSE;
}

gboolean CEbkFavorites::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<CEbkFavorites*>(data);
  // Keys of the edit in progress are the edit's.
  if (self->rename_field_) return FALSE;
  if (IsEnter(event->keyval)) {
    // Enter opens; it does not start an edit as the tree on its own would.
    int index = self->SelectedIndex();
    if (index >= 0) self->OpenAt(index);
    return TRUE;
  }
  if (event->keyval == GDK_KEY_Delete || event->keyval == GDK_KEY_KP_Delete) {
    self->RemoveSelected();
    return TRUE;
  }
  if (event->keyval == GDK_KEY_F2) {
    if (int index = self->SelectedIndex(); index >= 0) self->StartRename(size_t(index));
    return TRUE;
  }
  return FALSE;
}

void CEbkFavorites::OnEditingStarted(GtkCellRenderer*, GtkCellEditable* editable, gchar*, gpointer data) {
  auto* self = static_cast<CEbkFavorites*>(data);
  self->rename_field_ = GTK_IS_ENTRY(editable) ? GTK_ENTRY(editable) : nullptr;
}

void CEbkFavorites::OnEdited(GtkCellRendererText*, gchar* path, gchar* text, gpointer data) {
  auto* self = static_cast<CEbkFavorites*>(data);
  self->rename_field_ = nullptr;
  int index = RowOf(path);
  if (index < 0 || !text) return;
  // A name is never empty; an unchanged label keeps the stored bytes it stands for.
  if (!*text || self->LabelAt(size_t(index)) == text) return;
  if (self->store_.Rename(size_t(index), text)) self->ListChanged();
}

void CEbkFavorites::OnEditingCanceled(GtkCellRenderer*, gpointer data) {
  static_cast<CEbkFavorites*>(data)->rename_field_ = nullptr;
}

void CEbkFavorites::OnButton(GtkButton* button, gpointer data) {
  static_cast<CEbkFavorites*>(data)->OnCommand(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "lectern-command")));
}

void CEbkFavorites::OnPaneDestroyed(GtkWidget*, gpointer data) { static_cast<CEbkFavorites*>(data)->Save(); }

}  // namespace lectern
