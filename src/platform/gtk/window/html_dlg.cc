#include "platform/gtk/window/html_dlg.h"

#include "browser/view_uri.h"
#include "platform/gtk/window/book_scheme.h"
#include "platform/message_box.h"

namespace lectern {
namespace {

CHTMLDlg* g_active = nullptr;

// Every member of `window.external` is there and does nothing: the page's calls succeed without
// reaching the reader, as a page in a dialog has no reader to drive.
constexpr const char* kInertExternal = R"JS(
(function () {
  var inert = new Proxy(function () {}, {
    get: function (target, name) { return name === Symbol.toPrimitive ? undefined : inert; },
    set: function () { return true; },
    apply: function () { return undefined; },
    construct: function () { return {}; }
  });
  try { Object.defineProperty(window, 'external', { value: inert, configurable: true }); } catch (e) {}
})();
)JS";

gboolean RefuseContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
  return TRUE;
}

// As the main view takes a URL: blanks escaped, backslashes turned, datastore URLs to the scheme.
std::string PageUri(const std::string& url) {
  std::string prepared;
  for (char c : url) {
    if (c == ' ') prepared += "%20";
    else prepared.push_back(c == '\\' ? '/' : c);
  }
  return ToViewUri(prepared);
}

}  // namespace

CHTMLWindow::CHTMLWindow(GtkContainer* parent, const std::string& url) {
  context_ = webkit_web_context_new();
  RegisterBookScheme(context_);
  view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context_));
  g_object_ref_sink(view_);
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  WebKitUserScript* external = webkit_user_script_new(kInertExternal, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view_), external);
  webkit_user_script_unref(external);
  g_signal_connect(view_, "context-menu", G_CALLBACK(RefuseContextMenu), nullptr);
  // The page sits in a sunken edge over the whole client area.
  GtkWidget* edge = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(edge), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(edge), GTK_WIDGET(view_));
  gtk_widget_set_hexpand(edge, TRUE);
  gtk_widget_set_vexpand(edge, TRUE);
  if (GTK_IS_BOX(parent)) gtk_box_pack_start(GTK_BOX(parent), edge, TRUE, TRUE, 0);
  else gtk_container_add(parent, edge);
  gtk_widget_show_all(edge);
  webkit_web_view_load_uri(view_, PageUri(url).c_str());
}

CHTMLWindow::~CHTMLWindow() {
  webkit_web_view_stop_loading(view_);
  g_object_unref(view_);
  g_object_unref(context_);
}

CHTMLDlg::CHTMLDlg(std::string title, std::string url, int width, int height)
    : title_(std::move(title)), url_(std::move(url)), width_(width < 1 ? 400 : width), height_(height < 1 ? 300 : height) {}

CHTMLDlg::~CHTMLDlg() = default;

CHTMLDlg* CHTMLDlg::Active() { return g_active; }

int CHTMLDlg::DoModal(GtkWindow* owner) {
  if (url_.empty()) url_ = "about:blank";
  dialog_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog_), title_.c_str());
  if (owner) gtk_window_set_transient_for(GTK_WINDOW(dialog_), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog_), width_, height_);
  gtk_window_set_position(GTK_WINDOW(dialog_), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
  gtk_container_set_border_width(GTK_CONTAINER(area), 0);
  gtk_container_set_border_width(GTK_CONTAINER(dialog_), 0);
  page_ = new CHTMLWindow(GTK_CONTAINER(area), url_);
  outer_ = g_active;
  g_active = this;
  int response = gtk_dialog_run(GTK_DIALOG(dialog_));
  g_active = outer_;
  // The page goes before its window, so nothing it still loads lands in a destroyed view.
  delete page_;
  page_ = nullptr;
  gtk_widget_destroy(dialog_);
  dialog_ = nullptr;
  return response == GTK_RESPONSE_OK || response == kIdOk ? kIdOk : kIdCancel;
}

}  // namespace lectern
