#include "platform/gtk/window/lectern_view.h"

#include <gdk/gdkkeysyms.h>

#include "browser/navigation_policy.h"
#include "browser/view_uri.h"
#include "platform/gtk/window/media_server.h"
#include "platform/gtk/window/print_preview.h"
#include "platform/gtk/window/book_page_shim.h"
#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "platform/text_encoding.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

// The five text sizes, smallest to largest, as the engine's zoom levels.
constexpr double kTextSizeZoom[5] = {0.8, 0.9, 1.0, 1.15, 1.3};

// With copying off, the page can neither put its text on the clipboard nor drag it out.
constexpr char kCopyGuardScript[] =
    "(function(){var stop=function(e){e.preventDefault();e.stopPropagation();};"
    "['copy','cut','dragstart'].forEach(function(t){document.addEventListener(t,stop,true);});})();";

// Turns on the engine's feature of that name; an engine without it keeps its defaults.
void EnableEngineFeature(WebKitSettings* settings, std::string_view identifier) {
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    if (identifier != webkit_feature_get_identifier(feature)) continue;
    webkit_settings_set_feature_enabled(settings, feature, TRUE);
    break;
  }
  webkit_feature_list_unref(features);
}

// The desktop's own opener, as the shell's "open" verb; its failure is not reported.
void OpenWithDesktop(const std::string& path) {
  const gchar* argv[] = {"xdg-open", path.c_str(), nullptr};
  g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH), nullptr, nullptr,
                nullptr, nullptr);
}

void ShowSourceWindow(GtkWidget* owner, const std::string& source) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Source");
  gtk_window_set_default_size(GTK_WINDOW(window), 700, 500);
  if (GtkWidget* top = gtk_widget_get_toplevel(owner); GTK_IS_WINDOW(top))
    gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(top));
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  GtkWidget* text = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
  gtk_text_view_set_monospace(GTK_TEXT_VIEW(text), TRUE);
  // Pages may be in any encoding; show what is valid and mark the rest.
  gchar* valid = g_utf8_make_valid(source.data(), gssize(source.size()));
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(text)), valid, -1);
  g_free(valid);
  gtk_container_add(GTK_CONTAINER(scroller), text);
  gtk_container_add(GTK_CONTAINER(window), scroller);
  gtk_widget_show_all(window);
}

}  // namespace

GtkLecternView::GtkLecternView(WebKitWebContext* context, IEbkManager* manager, bool preview_mode,
                               Callbacks callbacks)
    : manager_(manager), preview_mode_(preview_mode), callbacks_(std::move(callbacks)) {
  if (!callbacks_.open_document) callbacks_.open_document = OpenWithDesktop;
  view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
  g_object_ref_sink(view_);
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  // A page restored from the back-forward cache would keep script objects whose window-side
  // peers went with the page it left; loading it again gives it live ones.
  webkit_settings_set_enable_page_cache(settings, FALSE);
  // The book's scheme counts as local (so its pages may use datastore URLs); without this the
  // engine would make every book page an origin of its own and frames could not script each other.
  // The web extension still refuses book pages every file URL that is not the datastore's.
  if (!preview_mode_) webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
  // The engine's player refuses the book's scheme; book media play from the loopback endpoint.
  if (const MediaEndpointAddress* media = preview_mode_ ? nullptr : MediaEndpoint()) {
    WebKitUserScript* shim =
        webkit_user_script_new(BookPageScript(media->BaseUrl()).c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view_), shim);
    webkit_user_script_unref(shim);
    // The shim hears of a script's own navigations only through the Navigation API's events.
    EnableEngineFeature(settings, "NavigationAPI");
  }
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view_, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(OnMouseTarget), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
}

GtkLecternView::~GtkLecternView() {
  print_preview_.reset();
  g_signal_handlers_disconnect_by_data(view_, this);
  if (copy_guard_) webkit_user_script_unref(copy_guard_);
  g_object_unref(view_);
}

void GtkLecternView::Navigate(std::string_view url) {
  if (url.empty()) return;
  std::string prepared;
  for (char c : url) {
    if (c == ' ') prepared += "%20";
    else prepared.push_back(c == '\\' ? '/' : c);
  }
  webkit_web_view_load_uri(view_, ToViewUri(prepared).c_str());
}

void GtkLecternView::Print() {
  if (!print_allowed_) return;
  WebKitPrintOperation* print = webkit_print_operation_new(view_);
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  webkit_print_operation_run_dialog(print, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
  g_object_unref(print);
}

void GtkLecternView::PrintPreview() {
  if (!print_allowed_) return;
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  print_preview_ = std::make_unique<PrintPreviewWindow>(view_, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr,
                                                        [this] { Print(); });
  if (!print_preview_->Start()) print_preview_.reset();
}

void GtkLecternView::SetTextSize(int level) {
  text_size_ = level >= 0 ? level % 5 : (text_size_ + 1) % 5;
  webkit_web_view_set_zoom_level(view_, kTextSizeZoom[text_size_]);
}

void GtkLecternView::SetCopyAllowed(bool allowed) {
  copy_allowed_ = allowed;
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  if (allowed) {
    if (copy_guard_) webkit_user_content_manager_remove_script(content, copy_guard_);
    return;
  }
  if (!copy_guard_) {
    copy_guard_ = webkit_user_script_new(kCopyGuardScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                         WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  }
  webkit_user_content_manager_add_script(content, copy_guard_);
}

std::string GtkLecternView::CurrentUrl() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri ? FromViewUri(uri) : std::string();
}

std::string GtkLecternView::CurrentTitle() const {
  const char* title = webkit_web_view_get_title(view_);
  return title ? title : "";
}

void GtkLecternView::ViewSource() {
  if (!view_source_allowed_) return;
  WebKitWebResource* resource = webkit_web_view_get_main_resource(view_);
  if (!resource) return;
  webkit_web_resource_get_data(
      resource, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        gsize length = 0;
        guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, nullptr);
        if (bytes && length > 0) ShowSourceWindow(GTK_WIDGET(data), std::string(reinterpret_cast<char*>(bytes), length));
        g_free(bytes);
        g_object_unref(data);
      },
      g_object_ref(view_));
}

bool GtkLecternView::HandleNavigation(const char* uri) {
  if (preview_mode_ || !uri) return false;
  std::string target = PolicyTarget(uri);
  if (!IsExternalDocument(target)) return false;
  OpenOutside(target);
  return true;
}

void GtkLecternView::OpenOutside(const std::string& target) {
  // Into the user's private folder: the copy is handed to other programs by name.
  ExternalDocument document = SaveExternalDocument(manager_.get(), target, PrivateFilesFolder());
  if (document.error != ExternalDocumentError::kNone) {
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    ShowMessageBox(GTK_IS_WINDOW(top) ? top : nullptr, document.message, LoadString(kStrError), kMbIconInformation);
    return;
  }
  last_external_document_ = document.saved_path;
  callbacks_.open_document(document.saved_path);
}

gboolean GtkLecternView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type, gpointer data) {
  auto* self = static_cast<GtkLecternView*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    // A book document the engine cannot show, whatever its extension, goes to the desktop too.
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (self->preview_mode_ || webkit_response_policy_decision_is_mime_type_supported(response) ||
        !webkit_response_policy_decision_is_main_frame_main_resource(response))
      return FALSE;
    const char* uri = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    if (!uri || ViewUriToBookPath(uri).empty()) return FALSE;
    webkit_policy_decision_ignore(decision);
    self->OpenOutside(PolicyTarget(uri));
    return TRUE;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
    return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (self->HandleNavigation(uri)) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    // A link meant for a new window opens in the view: the reader has one window per book.
    webkit_policy_decision_ignore(decision);
    if (uri) webkit_web_view_load_uri(self->view_, uri);
    return TRUE;
  }
  return FALSE;
}

gboolean GtkLecternView::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                       gpointer data) {
  auto* self = static_cast<GtkLecternView*>(data);
  if (!self->context_menu_allowed_) return TRUE;
  GList* items = g_list_copy(webkit_context_menu_get_items(menu));
  for (GList* l = items; l; l = l->next) {
    auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
    WebKitContextMenuAction action = webkit_context_menu_item_get_stock_action(item);
    bool remove = action == WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK ||
                  action == WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK;
    if (!self->copy_allowed_) {
      remove = remove || action == WEBKIT_CONTEXT_MENU_ACTION_COPY || action == WEBKIT_CONTEXT_MENU_ACTION_CUT ||
               action == WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD ||
               action == WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD ||
               action == WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_URL_TO_CLIPBOARD ||
               action == WEBKIT_CONTEXT_MENU_ACTION_COPY_VIDEO_LINK_TO_CLIPBOARD ||
               action == WEBKIT_CONTEXT_MENU_ACTION_COPY_AUDIO_LINK_TO_CLIPBOARD;
    }
    if (remove) webkit_context_menu_remove(menu, item);
  }
  g_list_free(items);
  // Separators left at the end or doubled up go; one at the top stays.
  for (guint i = 0; i < webkit_context_menu_get_n_items(menu);) {
    WebKitContextMenuItem* item = webkit_context_menu_get_item_at_position(menu, i);
    bool separator = webkit_context_menu_item_is_separator(item);
    bool last = i + 1 == webkit_context_menu_get_n_items(menu);
    if (separator && (last || webkit_context_menu_item_is_separator(webkit_context_menu_get_item_at_position(menu, i + 1)))) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    ++i;
  }
  // The reader's own commands, offered as the book allows them.
  auto append = [&](const char* name, int text_id, void (*run)(GtkLecternView*)) {
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    g_object_set_data(G_OBJECT(action), "lectern-run", reinterpret_cast<gpointer>(run));
    g_signal_connect(action, "activate", G_CALLBACK(+[](GSimpleAction* activated, GVariant*, gpointer view) {
                       auto command = reinterpret_cast<void (*)(GtkLecternView*)>(
                           g_object_get_data(G_OBJECT(activated), "lectern-run"));
                       command(static_cast<GtkLecternView*>(view));
                     }),
                     self);
    if (webkit_context_menu_get_n_items(menu) > 0)
      webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
    webkit_context_menu_append(
        menu, webkit_context_menu_item_new_from_gaction(G_ACTION(action), std::string(LoadString(text_id)).c_str(), nullptr));
    g_object_unref(action);
  };
  if (self->view_source_allowed_) append("view-source", kStrViewSource, [](GtkLecternView* view) { view->ViewSource(); });
  if (self->print_allowed_) append("print", kStrPrintPage, [](GtkLecternView* view) { view->Print(); });
  return webkit_context_menu_get_n_items(menu) == 0;
}

gboolean GtkLecternView::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<GtkLecternView*>(data);
  if (!(event->state & GDK_CONTROL_MASK)) return FALSE;
  guint key = gdk_keyval_to_lower(event->keyval);
  // Swallowed before the engine sees them, so it never copies, prints or opens a window.
  if (key == GDK_KEY_n) return TRUE;
  if (!self->copy_allowed_ && (key == GDK_KEY_c || key == GDK_KEY_x || key == GDK_KEY_Insert)) return TRUE;
  if (!self->print_allowed_ && key == GDK_KEY_p) return TRUE;
  return FALSE;
}

void GtkLecternView::OnMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data) {
  auto* self = static_cast<GtkLecternView*>(data);
  if (!self->callbacks_.status_text) return;
  const char* link = webkit_hit_test_result_context_is_link(hit) ? webkit_hit_test_result_get_link_uri(hit) : nullptr;
  // A book path reads as its letters, not its escapes, when it is UTF-8.
  std::string text = StatusTextForLink(link ? link : "");
  if (!text.empty() && text.front() == '/') {
    std::string decoded = PercentDecode(text);
    if (IsValidUtf8(decoded) && decoded.find('\0') == std::string::npos) text = decoded;
  }
  self->callbacks_.status_text(text);
}

void GtkLecternView::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<GtkLecternView*>(data);
  if (event == WEBKIT_LOAD_COMMITTED && self->callbacks_.navigation_complete) self->callbacks_.navigation_complete();
}

}  // namespace lectern
