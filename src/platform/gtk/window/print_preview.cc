#include "platform/gtk/window/print_preview.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/gtk/window/mnemonic.h"
#include "platform/user_folders.h"
#include "resources/string_table.h"

namespace lectern {

PrintPreviewWindow::PrintPreviewWindow(WebKitWebView* page, GtkWindow* parent, std::function<void()> print)
    : page_(WEBKIT_WEB_VIEW(g_object_ref(page))), parent_(parent), print_command_(std::move(print)) {}

PrintPreviewWindow::~PrintPreviewWindow() {
  if (operation_) {
    g_signal_handlers_disconnect_by_data(operation_, this);
    g_object_unref(operation_);
  }
  if (window_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
  }
  if (!pdf_path_.empty()) unlink(pdf_path_.c_str());
  g_object_unref(page_);
}

bool PrintPreviewWindow::Start() {
  std::string folder = PrivateFilesFolder();
  if (folder.empty()) return false;
  std::string path = folder + "/preview-XXXXXX.pdf";
  int fd = mkstemps(path.data(), 4);
  if (fd < 0) return false;
  close(fd);
  pdf_path_ = path;

  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, "Print to File");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  g_free(uri);
  operation_ = webkit_print_operation_new(page_);
  webkit_print_operation_set_print_settings(operation_, settings);
  g_object_unref(settings);
  g_signal_connect(operation_, "finished", G_CALLBACK(OnPrinted), this);
  g_signal_connect(operation_, "failed", G_CALLBACK(OnFailed), this);
  webkit_print_operation_print(operation_);
  return true;
}

void PrintPreviewWindow::OnFailed(WebKitPrintOperation*, GError*, gpointer data) {
  auto* self = static_cast<PrintPreviewWindow*>(data);
  // "finished" follows and finds no pages to show.
  unlink(self->pdf_path_.c_str());
  self->pdf_path_.clear();
}

void PrintPreviewWindow::OnPrinted(WebKitPrintOperation*, gpointer data) {
  auto* self = static_cast<PrintPreviewWindow*>(data);
  if (self->pdf_path_.empty()) {
    self->closed_ = true;
    return;
  }
  self->ShowWindow();
}

void PrintPreviewWindow::ShowWindow() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), std::string(CommandTooltip(32803)).c_str());
  gtk_window_set_default_size(GTK_WINDOW(window_), 800, 900);
  if (parent_) gtk_window_set_transient_for(GTK_WINDOW(window_), parent_);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(bar), 4);
  print_ = gtk_button_new_with_mnemonic(MnemonicLabel(LoadString(kStrPreviewPrint)).c_str());
  close_ = gtk_button_new_with_mnemonic(MnemonicLabel(LoadString(kStrPreviewClose)).c_str());
  gtk_box_pack_end(GTK_BOX(bar), close_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(bar), print_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  // The engine shows a PDF in its own viewer, with the pages' count, their numbers and the steps
  // between them.
  pages_ = WEBKIT_WEB_VIEW(webkit_web_view_new());
  gtk_box_pack_start(GTK_BOX(box), GTK_WIDGET(pages_), TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);

  g_signal_connect_swapped(print_, "clicked", G_CALLBACK(+[](PrintPreviewWindow* self) {
                             if (self->print_command_) self->print_command_();
                           }),
                           this);
  g_signal_connect_swapped(close_, "clicked", G_CALLBACK(+[](PrintPreviewWindow* self) {
                             gtk_widget_destroy(self->window_);
                           }),
                           this);
  g_signal_connect_swapped(window_, "destroy", G_CALLBACK(+[](PrintPreviewWindow* self) {
                             self->window_ = nullptr;
                             self->pages_ = nullptr;
                             unlink(self->pdf_path_.c_str());
                             self->pdf_path_.clear();
                             self->closed_ = true;
                           }),
                           this);
  gchar* uri = g_filename_to_uri(pdf_path_.c_str(), nullptr, nullptr);
  webkit_web_view_load_uri(pages_, uri);
  g_free(uri);
  gtk_widget_show_all(window_);
}

}  // namespace lectern
