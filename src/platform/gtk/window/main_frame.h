// The reader's one top-level window on GTK: built from the book settings, hosting the page view,
// routing the commands of menu, toolbar and script.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "book/book_settings.h"
#include "book/ebk_manager.h"
#include "book/project.h"
#include "browser/doc_host_ui_handler.h"
#include "frame/frame_settings.h"
#include "platform/gtk/script_host.h"
#include "script/reader.h"
#include "script/reader_frame.h"
#include "platform/gtk/window/lectern_view.h"

namespace lectern {

// Command ids shared by the menu, the toolbar, the search bar and the reader object.
enum Command : int {
  kCmdBack = 3000,
  kCmdForward = 3001,
  kCmdStop = 3002,
  kCmdRefresh = 3003,
  kCmdHome = 3004,
  kCmdSearchPane = 3005,
  kCmdBookmarksPane = 3006,
  kCmdPrint = 3007,
  kCmdTextSize = 3008,
  kCmdFullScreen = 3014,
  kCmdContentsPane = 3016,
  kCmdBookInformation = 32777,
  kCmdStatusBar = 32789,
  kCmdAddBookmark = 32796,
  kCmdPrintPreview = 32803,
  kCmdExit = 57665,
};

class GtkMainFrame final : public IReaderFrame, public IHostFrame {
 public:
  GtkMainFrame() = default;
  virtual ~GtkMainFrame();
  GtkMainFrame(const GtkMainFrame&) = delete;
  GtkMainFrame& operator=(const GtkMainFrame&) = delete;

  // Opens the book and builds the window; false (after telling the user) when the run must end.
  bool Create(const std::string& book_path);
  void Show();
  void OnCommand(int command);
  void SetStatusText(std::string_view text);
  void Navigate(std::string_view url);

  GtkWidget* window() const { return window_; }
  WebKitWebView* view() const { return view_ ? view_->web_view() : nullptr; }
  GtkLecternView* lectern_view() const { return view_.get(); }
  const FrameSettings& settings() const { return settings_; }
  bool full_screen() const { return full_screen_; }
  bool preview_mode() const { return preview_mode_; }
  // The book's folder on disk for what the reader keeps between runs (bookmarks).
  const std::string& working_folder() const { return working_folder_; }

  // What page script reaches through the reader object.
  bool HasMainWindow() override { return window_ != nullptr; }
  bool IsMainWindowVisible() override;
  void ShowMainWindow(bool visible) override;
  void PostClose() override;
  void SendCommand(ReaderCommand command) override { OnCommand(int(command)); }
  std::string HomeUrl() override { return settings_.home_url; }
  bool GetSetting(std::string_view key, std::string& value) override { return lookup_.GetSetting(key, value); }
  IEbkManager* BookManager() override { return manager_; }
  void GoBack() override { OnCommand(kCmdBack); }
  void GoForward() override { OnCommand(kCmdForward); }
  void StopLoading() override { OnCommand(kCmdStop); }
  void Refresh() override { OnCommand(kCmdRefresh); }
  void SetTextSize(int32_t size) override;
  void RefreshViewHosting(IDispatch*) override { OnCommand(kCmdRefresh); }
  int ShowMessage(std::string_view text, std::string_view caption, unsigned style) override;
  int32_t TrackPopupMenu(const std::vector<MenuItem>& items, int32_t x, int32_t y) override;

  // What `window.external` asks of the window.
  void ExtractFile(std::string_view book_path) override;
  bool ShellOpen(const std::string& path, const std::string& parameters) override;
  void* ActiveWindow() override { return window_; }
  void SetActiveFrame(IDispatch* frame_window) override { active_frame_ = ComPtr<IDispatch>(frame_window); }
  IDispatch* Reader() override;
  std::string ProgramFolder() override;

 private:
  void BuildMenuBar(GtkWidget* box);
  void ApplySizeAndPlace();
  void ToggleFullScreen();

  bool preview_mode_ = false;
  std::unique_ptr<Project> project_;  // Preview Mode
  CEbkManager* manager_ = nullptr;    // archive mode
  SettingsLookup lookup_;
  FrameSettings settings_;
  GtkWidget* window_ = nullptr;
  GtkWidget* status_bar_ = nullptr;
  GtkWidget* menu_bar_ = nullptr;
  WebKitWebContext* context_ = nullptr;
  std::unique_ptr<GtkLecternView> view_;
  bool full_screen_ = false;
  std::string working_folder_;
  std::unique_ptr<ScriptHost> script_host_;
  CDocHostUIHandlerDispatch external_{this};
  ComPtr<IDispatch> active_frame_;
  CReader* reader_ = nullptr;
};

// The frame of this run, for the script objects and GetEBKM; null outside a windowed run.
GtkMainFrame* MainFrame();

}  // namespace lectern
