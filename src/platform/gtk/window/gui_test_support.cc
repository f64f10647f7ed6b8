#include "platform/gtk/window/gui_test_support.h"

#include <chrono>
#include <cstdlib>

namespace lectern::testing {
namespace {

MessageBoxRecorder* g_recorder = nullptr;

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Instrumented code, with whole stacks taken at every allocation, runs several times slower; a
// wait is a bound on a hang, not a measure of speed.
constexpr int kSlowdown = 4;
#else
constexpr int kSlowdown = 1;
#endif

bool RunUntil(const std::function<bool()>& done, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds * kSlowdown);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
  }
  return true;
}

void RunFor(int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, FALSE);
}

std::string Evaluate(WebKitWebView* view, const char* script) {
  struct Outcome {
    bool done = false;
    std::string text;
  } outcome;
  webkit_web_view_evaluate_javascript(
      view, script, -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Outcome*>(data);
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value) {
          char* text = jsc_value_to_string(value);
          out->text = text;
          g_free(text);
          g_object_unref(value);
        } else {
          out->text = std::string("<error: ") + (error ? error->message : "?") + ">";
          g_clear_error(&error);
        }
        out->done = true;
      },
      &outcome);
  RunUntil([&] { return outcome.done; });
  return outcome.text;
}

bool WaitForLoad(WebKitWebView* view) {
  return RunUntil([&] { return !webkit_web_view_is_loading(view) && webkit_web_view_get_uri(view); });
}

void SaveSnapshot(WebKitWebView* view, const std::string& path) {
  struct Request {
    bool done = false;
    std::string path;
  } request{false, path};
  webkit_web_view_get_snapshot(
      view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* pending = static_cast<Request*>(data);
        if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          cairo_surface_write_to_png(surface, pending->path.c_str());
          cairo_surface_destroy(surface);
        }
        pending->done = true;
      },
      &request);
  RunUntil([&] { return request.done; });
}

void SaveWindowSnapshot(GtkWidget* window, const std::string& path) {
  RunFor(300);  // let the last layout and the page's paint reach the screen
  GdkWindow* gdk_window = gtk_widget_get_window(window);
  if (!gdk_window) return;
  int width = gdk_window_get_width(gdk_window), height = gdk_window_get_height(gdk_window);
  if (GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_window, 0, 0, width, height)) {
    gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
  }
}

std::string ArtefactPath(std::string_view name) {
  const char* folder = std::getenv("LECTERN_BINARY_DIR");
  return std::string(folder ? folder : ".") + "/" + std::string(name);
}

GtkWidget* FindMenuItem(GtkWidget* shell, int command) {
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child && !found; child = child->next) {
    GtkWidget* item = GTK_WIDGET(child->data);
    if (GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "lectern-command")) == command) found = item;
    else if (GtkWidget* submenu = GTK_IS_MENU_ITEM(item) ? gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)) : nullptr)
      found = FindMenuItem(submenu, command);
  }
  g_list_free(children);
  return found;
}

GdkEvent* KeyEvent(GtkWidget* widget, guint keyval, GdkModifierType state) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->key.send_event = TRUE;
  event->key.time = GDK_CURRENT_TIME;
  event->key.state = state;
  event->key.keyval = keyval;
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &count) &&
      count > 0)
    event->key.hardware_keycode = guint16(keys[0].keycode);
  g_free(keys);
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  return event;
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : answer_(answer) {
  previous_ = SetMessageBoxHandler(Record);
  g_recorder = this;
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler(previous_);
  g_recorder = nullptr;
}

int MessageBoxRecorder::Record(void*, std::string_view text, std::string_view caption, unsigned style) {
  if (!g_recorder) return kIdOk;
  g_recorder->boxes_.push_back({std::string(text), std::string(caption), style});
  return g_recorder->answer_;
}

std::string Outline(CEbkTreeView& pane, int max_depth) {
  std::string outline;
  GtkTreeModel* model = gtk_tree_view_get_model(pane.tree());
  std::function<void(GtkTreeIter*, int)> walk = [&](GtkTreeIter* parent, int depth) {
    GtkTreeIter iter;
    for (bool more = gtk_tree_model_iter_children(model, &iter, parent); more; more = gtk_tree_model_iter_next(model, &iter)) {
      gchar* label = nullptr;
      gtk_tree_model_get(model, &iter, 1, &label, -1);
      outline += std::string(size_t(depth) * 2, ' ') + label + "\n";
      g_free(label);
      if (depth < max_depth) walk(&iter, depth + 1);
    }
  };
  walk(nullptr, 0);
  return outline;
}

}  // namespace lectern::testing
