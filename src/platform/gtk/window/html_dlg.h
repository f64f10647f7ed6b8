// A modal dialog showing one page in a web view of its own: the book's about page and the like.
// The page gets no navigation policy, no context menu, and a `window.external` whose members do
// nothing.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

namespace lectern {

// Dialog layouts are given in dialog units; on GTK one unit is this many pixels both ways.
inline constexpr int kPixelsPerDialogUnit = 2;
inline constexpr int DialogUnits(int units) { return units * kPixelsPerDialogUnit; }

class CHTMLWindow {
 public:
  // The page view over `parent`'s whole area, loading `url` (datastore URLs through the book
  // scheme). It has a web context of its own, with only the book scheme registered.
  CHTMLWindow(GtkContainer* parent, const std::string& url);
  ~CHTMLWindow();
  CHTMLWindow(const CHTMLWindow&) = delete;
  CHTMLWindow& operator=(const CHTMLWindow&) = delete;

  WebKitWebView* web_view() const { return view_; }

 private:
  WebKitWebContext* context_ = nullptr;
  WebKitWebView* view_ = nullptr;
};

class CHTMLDlg {
 public:
  // A width or height below 1 becomes 400 by 300.
  CHTMLDlg(std::string title, std::string url, int width, int height);
  ~CHTMLDlg();
  CHTMLDlg(const CHTMLDlg&) = delete;
  CHTMLDlg& operator=(const CHTMLDlg&) = delete;

  // Shows the dialog modally over `owner`; kIdOk or kIdCancel (closing it counts as Cancel).
  int DoModal(GtkWindow* owner);

  const std::string& url() const { return url_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // While DoModal runs: the dialog and its page; null otherwise.
  GtkWidget* dialog() const { return dialog_; }
  WebKitWebView* web_view() const { return page_ ? page_->web_view() : nullptr; }
  // The dialog whose DoModal is running now, innermost first; null when none is.
  static CHTMLDlg* Active();

 private:
  std::string title_;
  std::string url_;
  int width_;
  int height_;
  GtkWidget* dialog_ = nullptr;
  CHTMLWindow* page_ = nullptr;
  CHTMLDlg* outer_ = nullptr;
};

}  // namespace lectern
