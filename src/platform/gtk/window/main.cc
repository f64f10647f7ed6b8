// The reader's entry point: choose the book, build the window, run until it closes.
#include <gtk/gtk.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "datastore/virtual_file_layer.h"
#include "platform/gtk/picture/splash_dlg.h"
#include "platform/gtk/window/gtk_message_box.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"
#include "shell/book_choice.h"

namespace {

std::string OwnExecutable() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, size_t(n)) : std::string();
}

// The name of a filter in the table's "Name (patterns)|..." form, without its patterns: books are
// listed by what they hold, not by what they are called.
std::string FilterName(std::string_view filter) { return std::string(filter.substr(0, filter.find(" ("))); }

gboolean IsBookFile(const GtkFileFilterInfo* info, gpointer) {
  return info->filename && (lectern::LooksLikeBook(info->filename) || lectern::IsProjectPath(info->filename));
}

std::optional<std::string> AskForBook() {
  GtkWidget* chooser = gtk_file_chooser_dialog_new("Open", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                   GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileFilter* books = gtk_file_filter_new();
  gtk_file_filter_set_name(books, FilterName(lectern::LoadString(lectern::kStrBookFilter)).c_str());
  gtk_file_filter_add_custom(books, GTK_FILE_FILTER_FILENAME, IsBookFile, nullptr, nullptr);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), books);
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, FilterName(lectern::LoadString(lectern::kStrAllFilesFilter)).c_str());
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
gboolean SnapshotWhenShown(gpointer data) {
  auto* view = static_cast<WebKitWebView*>(data);
  // A splash keeps the window hidden for a while; a hidden view has nothing to show.
  if (!gtk_widget_get_mapped(GTK_WIDGET(view))) return G_SOURCE_CONTINUE;
  webkit_web_view_get_snapshot(
      view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer) {
        if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          cairo_surface_write_to_png(surface, std::getenv("LECTERN_SNAPSHOT"));
          cairo_surface_destroy(surface);
        }
        gtk_main_quit();
      },
      nullptr);
  return G_SOURCE_REMOVE;
}

void SnapshotAndQuit(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  g_signal_handlers_disconnect_by_func(view, reinterpret_cast<gpointer>(SnapshotAndQuit), nullptr);
  g_timeout_add(100, SnapshotWhenShown, view);
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
    g_signal_connect(frame.view(), "load-changed", G_CALLBACK(SnapshotAndQuit), nullptr);
  if (!lectern::CurrentSplashDialog()) frame.Show();
  gtk_main();
  lectern::RemoveFileInterception();
  return 0;
}
