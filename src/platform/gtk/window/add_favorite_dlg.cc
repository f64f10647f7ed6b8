#include "platform/gtk/window/add_favorite_dlg.h"

#include "platform/gtk/window/mnemonic.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

CAddFavoriteDlg* g_running = nullptr;

}  // namespace

CAddFavoriteDlg* CAddFavoriteDlg::Running() { return g_running; }

int CAddFavoriteDlg::DoModal(GtkWindow* parent) {
  std::string title(LoadString(kStrAddBookmarkTitle));
  dialog_ = gtk_dialog_new_with_buttons(title.c_str(), parent, GTK_DIALOG_MODAL, nullptr, nullptr);
  // Ours until DoModal ends, whatever happens to the window it belongs to meanwhile.
  g_object_ref(dialog_);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), std::string(LoadString(kStrOk)).c_str(), kResultOk);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), std::string(LoadString(kStrCancel)).c_str(), kResultCancel);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog_), kResultOk);
  gtk_window_set_position(GTK_WINDOW(dialog_), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(row), 10);
  GtkWidget* label = gtk_label_new_with_mnemonic(MnemonicLabel(LoadString(kStrBookmarkNameLabel)).c_str());
  field_ = gtk_entry_new();
  gtk_entry_set_max_length(GTK_ENTRY(field_), kMaxNameLength);
  gtk_entry_set_width_chars(GTK_ENTRY(field_), 36);
  // Page titles are UTF-8 from the view; anything else shows what it can.
  gchar* shown = g_utf8_make_valid(name_.data(), gssize(name_.size()));
  gtk_entry_set_text(GTK_ENTRY(field_), shown);
  g_free(shown);
  gtk_entry_set_activates_default(GTK_ENTRY(field_), TRUE);
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), field_);
  gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), field_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog_))), row, TRUE, TRUE, 0);
  gtk_widget_show_all(row);
  gtk_widget_grab_focus(field_);

  CAddFavoriteDlg* outer = g_running;
  g_running = this;
  int response = gtk_dialog_run(GTK_DIALOG(dialog_));
  g_running = outer;
  int result = kResultCancel;
  if (response == kResultOk) {
    name_ = gtk_entry_get_text(GTK_ENTRY(field_));
    result = kResultOk;
  }
  gtk_widget_destroy(dialog_);
  g_object_unref(dialog_);
  dialog_ = nullptr;
  field_ = nullptr;
  return result;
}

void CAddFavoriteDlg::Respond(int result) {
  if (!dialog_) return;
  gtk_dialog_response(GTK_DIALOG(dialog_), result == kResultOk ? kResultOk : kResultCancel);
}

}  // namespace lectern
