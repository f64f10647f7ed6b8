// The reader's entry point: choose the book, build the window, run until it closes.
#include <gtk/gtk.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/gtk_message_box.h"
#include "platform/gtk/window/main_frame.h"
#include "shell/book_choice.h"

namespace {

std::string OwnExecutable() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, size_t(n)) : std::string();
}

std::optional<std::string> AskForBook() {
  GtkWidget* chooser = gtk_file_chooser_dialog_new("Open", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                   GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileFilter* books = gtk_file_filter_new();
  gtk_file_filter_set_name(books, "eBook Files (*.ebk, *.exe)");
  gtk_file_filter_add_pattern(books, "*.ebk");
  gtk_file_filter_add_pattern(books, "*.exe");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), books);
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, "All Files (*.*)");
  gtk_file_filter_add_pattern(all, "*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), all);
  std::optional<std::string> chosen;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (name) chosen = name;
    g_free(name);
  }
  gtk_widget_destroy(chooser);
  return chosen;
}

// For scripts and benchmarks on machines without a screen: with LECTERN_SNAPSHOT naming a PNG
// file, the first page that finishes loading is saved there and the run ends.
void SnapshotAndQuit(WebKitWebView* view, WebKitLoadEvent event, gpointer path) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  g_signal_handlers_disconnect_by_func(view, reinterpret_cast<gpointer>(SnapshotAndQuit), path);
  webkit_web_view_get_snapshot(
      view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer file) {
        if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          cairo_surface_write_to_png(surface, static_cast<const char*>(file));
          cairo_surface_destroy(surface);
        }
        gtk_main_quit();
      },
      path);
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  lectern::InstallGtkMessageBoxHandler();
  lectern::InstallFileInterception();
  std::optional<std::string> book = lectern::ChooseBookPath(argc, argv, OwnExecutable(), AskForBook);
  if (!book) return 0;
  lectern::GtkMainFrame frame;
  // A run that ends before its window exists reports failure, so a script starting the reader can
  // tell it from a normal close.
  if (!frame.Create(*book)) return EXIT_FAILURE;
  if (const char* snapshot = std::getenv("LECTERN_SNAPSHOT"); snapshot && *snapshot)
    g_signal_connect(frame.view(), "load-changed", G_CALLBACK(SnapshotAndQuit), const_cast<char*>(snapshot));
  frame.Show();
  gtk_main();
  lectern::RemoveFileInterception();
  return 0;
}
