// The page view: a WebKit view showing the book through the reader's scheme, with the book's
// navigation policy and permissions, and the commands the frame, toolbar and script use.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>

#include "book/ebk_manager.h"

namespace lectern {

class PrintPreviewWindow;

class GtkLecternView {
 public:
  struct Callbacks {
    std::function<void(std::string_view)> status_text;  // the frame's status bar
    std::function<void()> navigation_complete;          // re-apply the caption
    // Opens a saved external document with the desktop; the default runs xdg-open on it.
    std::function<void(const std::string& path)> open_document;
  };

  GtkLecternView(WebKitWebContext* context, IEbkManager* manager, bool preview_mode, Callbacks callbacks);
  ~GtkLecternView();
  GtkLecternView(const GtkLecternView&) = delete;
  GtkLecternView& operator=(const GtkLecternView&) = delete;

  GtkWidget* widget() const { return GTK_WIDGET(view_); }
  WebKitWebView* web_view() const { return view_; }

  // Blanks become %20 and '\' '/', then datastore URLs load through the book scheme.
  void Navigate(std::string_view url);
  void GoBack() { webkit_web_view_go_back(view_); }
  void GoForward() { webkit_web_view_go_forward(view_); }
  void Stop() { webkit_web_view_stop_loading(view_); }
  void Refresh() { webkit_web_view_reload(view_); }
  bool CanGoBack() const { return webkit_web_view_can_go_back(view_); }
  bool CanGoForward() const { return webkit_web_view_can_go_forward(view_); }
  void Print();
  // The page as it will print, in a window of its own (print_preview()).
  void PrintPreview();
  PrintPreviewWindow* print_preview() const { return print_preview_.get(); }
  // 0 smallest to 4 largest; a negative level steps to the next, wrapping after the largest.
  int GetTextSize() const { return text_size_; }
  void SetTextSize(int level);
  void ViewSource();
  // The page shown now, in the book's URL forms; empty when there is none.
  std::string CurrentUrl() const;
  std::string CurrentTitle() const;

  void SetContextMenuAllowed(bool allowed) { context_menu_allowed_ = allowed; }
  void SetCopyAllowed(bool allowed);
  void SetPrintAllowed(bool allowed) { print_allowed_ = allowed; }
  void SetViewSourceAllowed(bool allowed) { view_source_allowed_ = allowed; }
  bool copy_allowed() const { return copy_allowed_; }
  bool print_allowed() const { return print_allowed_; }

  void SetDocumentOpener(std::function<void(const std::string& path)> opener) {
    callbacks_.open_document = std::move(opener);
  }
  // The most recent document the policy handed to the desktop (for tests and the status bar).
  const std::string& last_external_document() const { return last_external_document_; }

 private:
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer);
  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey*, gpointer);
  static void OnMouseTarget(WebKitWebView*, WebKitHitTestResult*, guint, gpointer);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
  bool HandleNavigation(const char* uri);
  // Hands the book file a policy target names to the desktop, or says why it cannot.
  void OpenOutside(const std::string& target);

  WebKitWebView* view_ = nullptr;
  ComPtr<IEbkManager> manager_;
  bool preview_mode_;
  Callbacks callbacks_;
  WebKitUserScript* copy_guard_ = nullptr;
  bool context_menu_allowed_ = true;
  bool copy_allowed_ = true;
  bool print_allowed_ = true;
  bool view_source_allowed_ = true;
  int text_size_ = 2;
  std::string last_external_document_;
  std::unique_ptr<PrintPreviewWindow> print_preview_;
};

}  // namespace lectern
