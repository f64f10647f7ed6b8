// The reader's one top-level window on GTK: built from the book settings, hosting the page view,
// routing the commands of menu, toolbar and script.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "book/book_settings.h"
#include "book/ebk_manager.h"
#include "book/project.h"
#include "browser/doc_host_ui_handler.h"
#include "frame/frame_settings.h"
#include "platform/gtk/script_host.h"
#include "script/reader.h"
#include "script/reader_frame.h"
#include "shell/reading_position.h"
#include "panes/favorites_store.h"
#include "panes/search_index.h"
#include "platform/gtk/window/bookmarks_pane.h"
#include "platform/gtk/window/command_state.h"
#include "platform/gtk/window/contents_tree.h"
#include "platform/gtk/window/lectern_view.h"
#include "platform/gtk/window/pane_host.h"
#include "platform/gtk/window/highlight.h"
#include "platform/gtk/window/search_bar.h"
#include "platform/gtk/window/search_pane.h"
#include "platform/gtk/window/search_progress.h"
#include "platform/gtk/window/side_bar.h"
#include "platform/gtk/window/toolbar.h"

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
  kCmdSearch = 3017,
  kCmdBookInformation = 32777,
  kCmdMakerHomePage = 32778,
  kCmdClearSearchHistory = 32782,
  kCmdResetSearchPosition = 32783,
  kCmdToggleHighlight = 32784,
  kCmdSearchBarBand = 32788,
  kCmdStatusBar = 32789,
  kCmdAddBookmark = 32796,
  kCmdPrintPreview = 32803,
  kCmdShortcuts = 32820,
  kCmdFirstBookmark = 40960,
  kCmdLastBookmark = 40970,
  kCmdMoreBookmarks = 41088,
  kCmdNew = 57600,
  kCmdAbout = 57664,
  kCmdExit = 57665,
  kCmdToolbarBand = 59392,
};

// The side bar's panes, in the order they are added.
enum SidePane : int { kContentsPane = 0, kSearchPane = 1, kBookmarksPane = 2 };

class GtkMainFrame final : public IReaderFrame, public IHostFrame, public PaneHost {
 public:
  GtkMainFrame() = default;
  virtual ~GtkMainFrame();
  GtkMainFrame(const GtkMainFrame&) = delete;
  GtkMainFrame& operator=(const GtkMainFrame&) = delete;

  // Opens the book and builds the window; false (after telling the user) when the run must end.
  bool Create(const std::string& book_path);
  void Show();
  void OnCommand(int command) override;
  void SetStatusText(std::string_view text);
  void Navigate(std::string_view url) override;
  // A bookmark's page at the scroll it was added with; the page shown now only scrolls there.
  void OpenBookmarkUrl(std::string_view url) override;

  GtkWidget* window() const { return window_; }
  GtkWidget* menu_bar() const { return menu_bar_; }
  GtkWidget* status_bar() const { return status_bar_; }
  std::string status_text() const;
  SideBar* side_bar() const { return side_bar_.get(); }
  CEbkToolBar* toolbar() const { return toolbar_.get(); }
  CEbkTreeView* contents_pane() const { return contents_pane_.get(); }
  CEbkFavorites* bookmarks_pane() const { return bookmarks_pane_.get(); }
  bool side_bar_visible() const { return side_bar_ && gtk_widget_get_visible(side_bar_->widget()); }
  CommandState& command_state() { return command_state_; }
  WebKitWebView* view() const { return view_ ? view_->web_view() : nullptr; }
  GtkLecternView* lectern_view() const { return view_.get(); }
  const FrameSettings& settings() const { return settings_; }
  bool full_screen() const { return full_screen_; }
  GtkWidget* shortcuts_window() const { return shortcuts_window_; }
  bool bordered() const { return settings_.bordered; }

  // The search: bar (null when the book has none), pane, highlighting, and the search running now.
  CSearchBar* search_bar() const { return search_bar_.get(); }
  CEbkSearch* search_pane() const { return search_pane_.get(); }
  SearchHighlighter* highlighter() const { return highlighter_.get(); }
  // Starts searching the book for `query` on a worker thread. When it ends (or is cancelled), on
  // the main loop, the search pane takes the hits and `done` gets their number. False, with
  // nothing started, for an empty query, without a book, or while a search runs.
  bool StartSearch(const std::string& query, std::function<void(size_t hits)> done);
  bool search_running() const { return search_job_ != nullptr; }
  // The book's index as it is taken or built; null in Preview Mode.
  SearchIndexKeeper* search_index() const { return search_index_.get(); }
  // Stops and forgets the index: later searches scan the book, as before the index is complete.
  void DropSearchIndex() { search_index_.reset(); }
  // The progress window of the running search; null when none runs.
  CSearchProgressDlg* search_progress() const;

  // What the bars, panes and dialogs ask of the frame.
  bool preview_mode() const override { return preview_mode_; }
  std::string Setting(std::string_view key) override;
  const Project* BookProject() const override { return project_.get(); }
  std::string CurrentUrl() override { return view_ ? view_->CurrentUrl() : std::string(); }
  std::string CurrentTitle() override { return view_ ? view_->CurrentTitle() : std::string(); }
  GtkWindow* Toplevel() override { return window_ ? GTK_WINDOW(window_) : nullptr; }
  // The book's folder on disk for what the reader keeps between runs (bookmarks).
  const std::string& working_folder() const override { return working_folder_; }

  // The bookmarks the Bookmark menu lists; the bookmarks pane provides them.
  void SetBookmarkSource(std::function<std::vector<Bookmark>()> source) { bookmark_source_ = std::move(source); }
  // Refills the Bookmark menu from the bookmarks, as when it is about to open.
  void FillBookmarkMenu();
  GtkWidget* bookmark_menu() const { return bookmark_menu_; }

  // What page script reaches through the reader object.
  bool HasMainWindow() override { return window_ != nullptr; }
  bool IsMainWindowVisible() override;
  void ShowMainWindow(bool visible) override;
  void PostClose() override;
  void SendCommand(ReaderCommand command) override { OnCommand(int(command)); }
  std::string HomeUrl() override { return settings_.home_url; }
  bool GetSetting(std::string_view key, std::string& value) override { return lookup_.GetSetting(key, value); }
  IEbkManager* BookManager() override { return manager_; }  // both interfaces
  std::string PlaceIdentity() override;
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
  // The reader's own keys (shortcuts.h); false when `event` is none of them or does nothing now.
  bool RunShortcut(const GdkEventKey* event);
  void ShowShortcuts();
  // The remembered reading position (frame_position.cc): the page and scroll kept while reading,
  // restored when the book opens again; bookmarks keep the scroll of the moment they were added.
  void StartRememberingPosition();
  void StopRememberingPosition();
  void OnPageFinished();
  void NoteScroll();
  void ScrollTo(const ReadingPosition& place);
  void AddBookmarkHere();
  void ToggleSidePane(int command, SidePane pane);
  void ShowSideBar(SidePane pane);
  void HideSideBar();
  // Whether the bar button of a side-bar command is checked: the toolbar's for the contents and
  // bookmarks panes, the search bar's for the search pane. Without that bar it never is.
  bool SideBarButtonChecked(int command) const;
  void OpenBookmark(size_t index);
  // frame_search.cc
  struct SearchJob;
  void CreateSearchBar(GtkWidget* box);
  void CreateSearchPaneAndHighlighter();
  void OnSearchCommand(int command);
  void FinishSearch();
  // Stops a running search and lets the bar, pane and highlighting go, ahead of the view and book.
  void ShutDownSearch();
  // The book's information: the built-in dialog or the book's own about page, as the book asks.
  void ShowBookInformation();
static gboolean OnKeyBeforeLists(GtkWidget* window, GdkEventKey* event, gpointer self);
    static gboolean OnUnhandledKey(GtkWidget*, GdkEventKey*, gpointer);
  static void OnRealizeWindow(GtkWidget*, gpointer);

  bool preview_mode_ = false;
  std::unique_ptr<Project> project_;  // Preview Mode
  CEbkManager* manager_ = nullptr;    // archive mode
  SettingsLookup lookup_;
  FrameSettings settings_;
  GtkWidget* window_ = nullptr;
  GtkWidget* status_bar_ = nullptr;
  GtkWidget* menu_bar_ = nullptr;
  GtkWidget* bookmark_menu_ = nullptr;
  GtkWidget* splitter_ = nullptr;
  std::unique_ptr<SideBar> side_bar_;
  CommandState command_state_;
  // Set by the bars as they are made.
  GtkWidget* toolbar_band_ = nullptr;
  GtkWidget* search_bar_band_ = nullptr;
  std::unique_ptr<CEbkToolBar> toolbar_;
  std::unique_ptr<CEbkTreeView> contents_pane_;
  std::unique_ptr<CEbkFavorites> bookmarks_pane_;
  std::unique_ptr<CSearchBar> search_bar_;
  std::unique_ptr<CEbkSearch> search_pane_;
  std::unique_ptr<SearchHighlighter> highlighter_;
  std::shared_ptr<SearchJob> search_job_;
  // The book's search index, taken or built in the background; searches use it once complete.
  std::unique_ptr<SearchIndexKeeper> search_index_;
  // The progress window of the last search, kept for the next one.
  std::unique_ptr<CSearchProgressDlg> spare_progress_;
  std::function<std::vector<Bookmark>()> bookmark_source_;
  // Where the window stood before it went full screen.
  GdkRectangle saved_rect_{0, 0, 0, 0};
  WebKitWebContext* context_ = nullptr;
  std::unique_ptr<GtkLecternView> view_;
  bool full_screen_ = false;
  GtkWidget* shortcuts_window_ = nullptr;  // while shown
  guint position_timer_ = 0;
  guint restore_timer_ = 0;
  bool first_page_ = true;
  std::optional<ReadingPosition> restore_;         // from the last run, until the first page is in
  std::optional<ReadingPosition> pending_scroll_;  // for the page being loaded
  ReadingPosition seen_;                           // the page shown now and its scroll
  std::string working_folder_;
  std::unique_ptr<ScriptHost> script_host_;
  CDocHostUIHandlerDispatch external_{this};
  ComPtr<IDispatch> active_frame_;
  CReader* reader_ = nullptr;
};

// The frame of this run, for the script objects and GetEBKM; null outside a windowed run.
GtkMainFrame* MainFrame();

}  // namespace lectern
