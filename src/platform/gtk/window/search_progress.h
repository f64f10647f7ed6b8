// The small window shown while a search runs: "Searching...", a line telling the user how to stop
// it, and "Cancel". It is the search's progress sink: the search's threads hand it the file being
// searched, and the window's own label takes the latest one on the main loop.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <mutex>
#include <string>

#include "panes/search_engine.h"

namespace lectern {

class CSearchProgressDlg final : public IProgressSinkImpl {
 public:
  // Shown after `show_after_ms` (at once for 0), centred on `owner` (which may be null);
  // `on_cancel` runs on the main loop when the user presses Cancel or closes the window.
  CSearchProgressDlg(GtkWindow* owner, std::function<void()> on_cancel, unsigned show_after_ms = 0);
  ~CSearchProgressDlg() override;
  CSearchProgressDlg(const CSearchProgressDlg&) = delete;
  CSearchProgressDlg& operator=(const CSearchProgressDlg&) = delete;

  // The window is kept between searches, as a new one costs the main loop a slow first drawing:
  // Hide() puts it away, Reopen() shows it again for the next search with a new `on_cancel`.
  void Hide();
  void Reopen(std::function<void()> on_cancel, unsigned show_after_ms = 0);

  // From any thread.
  void SetProgress(std::string_view text, int32_t number) override;

  GtkWidget* window() const { return window_; }
  GtkWidget* cancel_button() const { return cancel_; }
  // The label that holds the latest file; it is not shown.
  GtkWidget* progress_label() const { return progress_label_; }

 private:
  void ShowAfter(unsigned milliseconds);
  static gboolean OnTick(gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);

  GtkWidget* window_ = nullptr;
  GtkWidget* cancel_ = nullptr;
  GtkWidget* progress_label_ = nullptr;
  std::function<void()> on_cancel_;
  guint tick_ = 0;
  guint show_timer_ = 0;
  std::mutex mutex_;
  std::string latest_;  // under mutex_
  bool changed_ = false;  // under mutex_
};

}  // namespace lectern
