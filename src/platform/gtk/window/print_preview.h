// Print Preview: the page as it will print, in a window of its own. The view is printed to a PDF
// in the user's private folder and shown in the engine's PDF viewer (which steps through the
// pages), under Print and Close buttons; the PDF goes with the window.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace lectern {

class PrintPreviewWindow {
 public:
  // `print` is the view's own Print command, run by the window's Print button.
  PrintPreviewWindow(WebKitWebView* page, GtkWindow* parent, std::function<void()> print);
  ~PrintPreviewWindow();
  PrintPreviewWindow(const PrintPreviewWindow&) = delete;
  PrintPreviewWindow& operator=(const PrintPreviewWindow&) = delete;

  // Starts printing the page to the PDF; the window appears when it is written. False when no
  // private file could be made for it.
  bool Start();

  GtkWidget* window() const { return window_; }
  WebKitWebView* pages() const { return pages_; }
  const std::string& pdf_path() const { return pdf_path_; }
  GtkWidget* print_button() const { return print_; }
  GtkWidget* close_button() const { return close_; }
  bool closed() const { return closed_; }

 private:
  void ShowWindow();
  static void OnPrinted(WebKitPrintOperation*, gpointer self);
  static void OnFailed(WebKitPrintOperation*, GError*, gpointer self);

  WebKitWebView* page_;
  GtkWindow* parent_;
  std::function<void()> print_command_;
  std::string pdf_path_;
  WebKitPrintOperation* operation_ = nullptr;
  GtkWidget* window_ = nullptr;
  WebKitWebView* pages_ = nullptr;
  GtkWidget* print_ = nullptr;
  GtkWidget* close_ = nullptr;
  bool closed_ = false;
};

}  // namespace lectern
