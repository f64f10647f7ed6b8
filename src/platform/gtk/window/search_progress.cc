#include "platform/gtk/window/search_progress.h"

#include "resources/string_table.h"

namespace lectern {

CSearchProgressDlg::CSearchProgressDlg(GtkWindow* owner, std::function<void()> on_cancel, unsigned show_after_ms)
    : on_cancel_(std::move(on_cancel)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_window_set_title(GTK_WINDOW(window_), std::string(LoadString(kStrSearching)).c_str());
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  if (owner) {
    gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  }
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  gtk_container_add(GTK_CONTAINER(window_), box);
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(std::string(LoadString(kStrClickCancelToStop)).c_str()), FALSE,
                     FALSE, 0);
  progress_label_ = gtk_label_new("");
  gtk_widget_set_no_show_all(progress_label_, TRUE);
  gtk_box_pack_start(GTK_BOX(box), progress_label_, FALSE, FALSE, 0);
  cancel_ = gtk_button_new_with_label(std::string(LoadString(kStrCancel)).c_str());
  gtk_widget_set_halign(cancel_, GTK_ALIGN_CENTER);
  gtk_box_pack_start(GTK_BOX(box), cancel_, FALSE, FALSE, 0);
  g_signal_connect_swapped(cancel_, "clicked", G_CALLBACK(+[](gpointer self) {
                             auto* dialog = static_cast<CSearchProgressDlg*>(self);
                             if (dialog->on_cancel_) dialog->on_cancel_();
                           }),
                           this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  // Escape presses Cancel, as in any dialog.
  g_signal_connect(window_, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                     if (event->keyval != GDK_KEY_Escape) return FALSE;
                     auto* dialog = static_cast<CSearchProgressDlg*>(self);
                     if (dialog->on_cancel_) dialog->on_cancel_();
                     return TRUE;
                   }),
                   this);
  gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_)));
  ShowAfter(show_after_ms);
  // The label follows the search at a pace the eye can use, not once per file.
  tick_ = g_timeout_add(100, OnTick, this);
}

void CSearchProgressDlg::ShowAfter(unsigned milliseconds) {
  if (milliseconds == 0) {
    gtk_widget_show(window_);
    return;
  }
  // Mapping and first drawing a window hold the main loop for a frame or two: a search that
  // answers before the user could read the window never pays for it.
  show_timer_ = g_timeout_add(milliseconds, [](gpointer data) -> gboolean {
    auto* self = static_cast<CSearchProgressDlg*>(data);
    self->show_timer_ = 0;
    gtk_widget_show(self->window_);
    return G_SOURCE_REMOVE;
  }, this);
}

void CSearchProgressDlg::Hide() {
  if (tick_) g_source_remove(tick_);
  tick_ = 0;
  if (show_timer_) g_source_remove(show_timer_);
  show_timer_ = 0;
  on_cancel_ = nullptr;
  gtk_widget_hide(window_);
  std::lock_guard lock(mutex_);
  latest_.clear();
  changed_ = false;
}

void CSearchProgressDlg::Reopen(std::function<void()> on_cancel, unsigned show_after_ms) {
  on_cancel_ = std::move(on_cancel);
  gtk_label_set_text(GTK_LABEL(progress_label_), "");
  if (!show_timer_) ShowAfter(show_after_ms);
  if (!tick_) tick_ = g_timeout_add(100, OnTick, this);
}

CSearchProgressDlg::~CSearchProgressDlg() {
  if (tick_) g_source_remove(tick_);
  if (show_timer_) g_source_remove(show_timer_);
  gtk_widget_destroy(window_);
  g_object_unref(window_);
}

void CSearchProgressDlg::SetProgress(std::string_view text, int32_t) {
  std::lock_guard lock(mutex_);
  latest_.assign(text);
  changed_ = true;
}

gboolean CSearchProgressDlg::OnTick(gpointer data) {
  auto* self = static_cast<CSearchProgressDlg*>(data);
  std::string text;
  {
    std::lock_guard lock(self->mutex_);
    if (!self->changed_) return G_SOURCE_CONTINUE;
    self->changed_ = false;
    text = self->latest_;
  }
  // Book paths need not be UTF-8.
  gchar* shown = g_utf8_make_valid(text.data(), gssize(text.size()));
  gtk_label_set_text(GTK_LABEL(self->progress_label_), shown);
  g_free(shown);
  return G_SOURCE_CONTINUE;
}

gboolean CSearchProgressDlg::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // Closing the window is a cancel; the window goes when the search has stopped.
  auto* self = static_cast<CSearchProgressDlg*>(data);
  if (self->on_cancel_) self->on_cancel_();
  return TRUE;
}

}  // namespace lectern
