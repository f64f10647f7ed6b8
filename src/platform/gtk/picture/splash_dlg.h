// The splash screen on GTK. It is a borderless modal window on the main loop rather than a window
// on a thread of its own: GTK has one UI thread, so the splash opens while the frame is being built,
// and its one-second tick, its key and mouse handling and its end all run from the main loop.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "book/ebk_manager.h"
#include "frame/frame_settings.h"
#include "platform/gtk/picture/picture_ex_wnd.h"

namespace lectern {

struct SplashOptions {
  int delay_seconds = 3;
  bool close_by_key = false;
  bool close_by_mouse = false;
  std::string image_name;
};

// From `splash_delay_time` (3 seconds when empty, 0 or negative), `splash_close_by_key`,
// `splash_close_by_mouse` and `splash_image`.
SplashOptions ReadSplashOptions(const SettingReader& setting);

// Reads a picture whole by its name; nothing when it cannot be read.
using PictureReader = std::function<std::optional<std::vector<uint8_t>>(const std::string& name)>;

// A stored file of the open book, read whole through the manager (size, then content).
std::optional<std::vector<uint8_t>> ReadBookFileWhole(IEbkManager* manager, std::string_view path,
                                                      size_t max_bytes = kMaxPictureBytes);
// Archive mode: names are book paths. The reader holds a reference on the manager.
PictureReader BookPictureReader(IEbkManager* manager);
// Preview Mode: names are files on disk, relative to `folder` unless absolute.
PictureReader DiskPictureReader(std::string folder);

class CSplashDlg {
 public:
  // `on_close` runs once, from the main loop, when the splash has ended (by time, by request or
  // because its picture could not be loaded); the frame shows its window there. `owner` may be null.
  CSplashDlg(SplashOptions options, PictureReader reader, GtkWindow* owner, std::function<void()> on_close);
  ~CSplashDlg();
  CSplashDlg(const CSplashDlg&) = delete;
  CSplashDlg& operator=(const CSplashDlg&) = delete;

  // Loads the picture, sizes the window to it, centres it on the screen, shows it and starts the
  // tick. When the picture cannot be loaded, tells the user and ends; false. Only once per object.
  bool Open();

  bool is_open() const { return window_ != nullptr; }
  bool ended() const { return ended_; }
  int elapsed() const { return elapsed_; }
  bool close_requested() const { return close_requested_; }
  const SplashOptions& options() const { return options_; }
  GtkWidget* window() const { return window_; }
  CPictureExWnd& picture() { return picture_; }

 private:
  void RequestClose(bool allowed);
  void End();
  static gboolean OnTick(gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey*, gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer);
  static gboolean OnEndedIdle(gpointer self);
  static void OnWindowDestroy(GtkWidget*, gpointer self);

  SplashOptions options_;
  PictureReader reader_;
  GtkWindow* owner_ = nullptr;
  std::function<void()> on_close_;
  CPictureExWnd picture_;
  GtkWidget* window_ = nullptr;
  guint tick_ = 0;
  guint idle_ = 0;
  int elapsed_ = 0;
  bool close_requested_ = false;
  bool opened_ = false;
  bool ended_ = false;
  bool closed_callback_run_ = false;
};

// The frame's way in: reads the options, makes the process's splash, publishes it and opens it.
// The splash stays allocated for the rest of the process, as the frame may ask about it at any time.
CSplashDlg* StartSplashScreen(const SettingReader& setting, PictureReader reader, GtkWindow* main_window,
                              std::function<void()> show_main_window);
// The published splash, null until one was started; never cleared. While it is set, the frame
// leaves showing its window to the splash's end.
CSplashDlg* CurrentSplashDialog();

}  // namespace lectern
