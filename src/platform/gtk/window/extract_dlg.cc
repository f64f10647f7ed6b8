#include "platform/gtk/window/extract_dlg.h"

#include <sys/stat.h>

#include <vector>

#include "frame/file_extraction.h"
#include "platform/gtk/window/html_dlg.h"
#include "platform/gtk/window/mnemonic.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

CExtractFileDlg* g_active = nullptr;

bool PathExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

void AddFileFilters(GtkFileChooser* chooser, std::string_view filters) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < filters.size()) {
    size_t bar = filters.find('|', start);
    if (bar == std::string_view::npos) bar = filters.size();
    parts.emplace_back(filters.substr(start, bar - start));
    start = bar + 1;
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, parts[i].c_str());
    std::string_view patterns = parts[i + 1];
    size_t from = 0;
    while (from <= patterns.size()) {
      size_t semicolon = patterns.find(';', from);
      if (semicolon == std::string_view::npos) semicolon = patterns.size();
      std::string pattern(patterns.substr(from, semicolon - from));
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) gtk_file_filter_add_pattern(filter, pattern.c_str());
      from = semicolon + 1;
    }
    gtk_file_chooser_add_filter(chooser, filter);
  }
}

CExtractFileDlg* CExtractFileDlg::Active() { return g_active; }

GtkWidget* CExtractFileDlg::Control(int id) const {
  switch (id) {
    case kSourceText: return source_text_;
    case kTargetEdit: return target_edit_;
    case kBrowseButton: return browse_button_;
    case kExtractButton: return extract_button_;
    case kCancelButton: return cancel_button_;
    default: return nullptr;
  }
}

int CExtractFileDlg::DoModal(GtkWindow* owner) {
  dialog_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog_), std::string(LoadString(kStrExtractTitle)).c_str());
  if (owner) gtk_window_set_transient_for(GTK_WINDOW(dialog_), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog_), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_widget_set_size_request(dialog_, DialogUnits(235), -1);

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
  GtkWidget* source_label = gtk_label_new(std::string(LoadString(kStrExtractSource)).c_str());
  gtk_widget_set_halign(source_label, GTK_ALIGN_START);
  source_text_ = gtk_label_new(source_.c_str());
  gtk_label_set_selectable(GTK_LABEL(source_text_), TRUE);
  gtk_label_set_ellipsize(GTK_LABEL(source_text_), PANGO_ELLIPSIZE_MIDDLE);
  gtk_widget_set_halign(source_text_, GTK_ALIGN_START);
  gtk_widget_set_hexpand(source_text_, TRUE);
  GtkWidget* target_label = gtk_label_new_with_mnemonic(MnemonicLabel(LoadString(kStrExtractTarget)).c_str());
  gtk_widget_set_halign(target_label, GTK_ALIGN_START);
  target_edit_ = gtk_entry_new();
  gtk_widget_set_hexpand(target_edit_, TRUE);
  gtk_entry_set_activates_default(GTK_ENTRY(target_edit_), TRUE);
  gtk_label_set_mnemonic_widget(GTK_LABEL(target_label), target_edit_);
  browse_button_ = gtk_button_new_with_label(std::string(LoadString(kStrExtractBrowse)).c_str());
  g_signal_connect_swapped(browse_button_, "clicked", G_CALLBACK(+[](gpointer self) {
                             static_cast<CExtractFileDlg*>(self)->OnBrowse();
                           }),
                           this);
  gtk_grid_attach(GTK_GRID(grid), source_label, 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), source_text_, 1, 0, 2, 1);
  gtk_grid_attach(GTK_GRID(grid), target_label, 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), target_edit_, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), browse_button_, 2, 1, 1, 1);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog_))), grid, TRUE, TRUE, 0);
  extract_button_ = gtk_dialog_add_button(GTK_DIALOG(dialog_), MnemonicLabel(LoadString(kStrExtractButton)).c_str(), kIdOk);
  cancel_button_ = gtk_dialog_add_button(GTK_DIALOG(dialog_), MnemonicLabel(LoadString(kStrCancelButton)).c_str(), kIdCancel);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog_), kIdOk);
  gtk_widget_show_all(dialog_);
  gtk_widget_grab_focus(target_edit_);

  outer_ = g_active;
  g_active = this;
  int result = kIdCancel;
  for (;;) {
    int response = gtk_dialog_run(GTK_DIALOG(dialog_));
    if (response != kIdOk) break;  // Cancel, Esc or the close box
    if (OnExtract()) {
      result = kIdOk;
      break;
    }
  }
  g_active = outer_;
  gtk_widget_destroy(dialog_);
  dialog_ = source_text_ = target_edit_ = browse_button_ = extract_button_ = cancel_button_ = nullptr;
  return result;
}

void CExtractFileDlg::OnBrowse() {
  // A save chooser, so a name that does not exist yet can be typed; the question about an
  // existing file comes from the dialog itself when the user extracts.
  chooser_ = gtk_file_chooser_dialog_new(std::string(LoadString(kStrExtractTitle)).c_str(), GTK_WINDOW(dialog_),
                                         GTK_FILE_CHOOSER_ACTION_SAVE, MnemonicLabel(LoadString(kStrCancelButton)).c_str(),
                                         GTK_RESPONSE_CANCEL, MnemonicLabel(LoadString(kStrOk)).c_str(),
                                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser_), FALSE);
  AddFileFilters(GTK_FILE_CHOOSER(chooser_), LoadString(kStrAllFilesFilter));
  if (gtk_dialog_run(GTK_DIALOG(chooser_)) == GTK_RESPONSE_ACCEPT) {
    if (char* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser_))) {
      gtk_entry_set_text(GTK_ENTRY(target_edit_), chosen);
      g_free(chosen);
    }
  }
  gtk_widget_destroy(chooser_);
  chooser_ = nullptr;
}

bool CExtractFileDlg::OnExtract() {
  std::string target = gtk_entry_get_text(GTK_ENTRY(target_edit_));
  if (target.empty()) {
    ShowMessageBox(dialog_, LoadString(kStrEnterTargetName), LoadString(kStrError), kMbIconInformation);
    return false;
  }
  if (PathExists(target) &&
      ShowMessageBox(dialog_, FormatString(LoadString(kStrOverwriteQuestion), target), LoadString(kStrOverwriteFile),
                     kMbYesNo | kMbIconInformation) != kIdYes) {
    return false;
  }
  // The source is checked before the target is touched, and the target is replaced only by a
  // complete copy: a wrong source or a failed write leaves what was there.
  switch (ExtractBookFile(manager_, source_, target)) {
    case ExtractResult::kDone:
      return true;
    case ExtractResult::kSourceMissing:
      ShowMessageBox(dialog_, FormatString(LoadString(kStrOpenFailed), source_), LoadString(kStrError),
                     kMbIconInformation);
      return false;
    case ExtractResult::kCreateFailed:
      ShowMessageBox(dialog_, FormatString(LoadString(kStrCreateFileFailed), target), LoadString(kStrError),
                     kMbIconInformation);
      return false;
  }
  return false;
}

}  // namespace lectern
