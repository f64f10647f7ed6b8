#include "platform/gtk/window/main_frame.h"

#include <string>
#include <vector>

#include "archive/book_identity.h"
#include "browser/dispatch_endpoint.h"
#include "browser/view_uri.h"
#include "book/book_file_stream.h"
#include "datastore/datastore_path.h"
#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/about_dlg.h"
#include "platform/gtk/window/book_scheme.h"
#include "platform/gtk/window/extract_dlg.h"
#include "platform/gtk/window/html_dlg.h"
#include "platform/gtk/window/info_dlg.h"
#include "platform/gtk/window/mnemonic.h"
#include "platform/gtk/window/shortcuts.h"
#include "platform/gtk/picture/splash_dlg.h"
#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "resources/menus.h"
#include "resources/string_table.h"
#include "shell/book_choice.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

GtkMainFrame* g_main_frame = nullptr;

int CommandOf(gpointer widget) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "lectern-command")); }

void OnMenuItem(GtkMenuItem* item, gpointer data) {
  // Check items toggle when the state table sets them; only the user's choice is a command.
  if (CommandState::updating()) return;
  static_cast<GtkMainFrame*>(data)->OnCommand(CommandOf(item));
}

// The menu's prompt for the highlighted item, as the status bar shows it while the menu is open.
void OnMenuItemSelect(GtkMenuItem* item, gpointer data) {
  static_cast<GtkMainFrame*>(data)->SetStatusText(CommandPrompt(CommandOf(item)));
}

void OnMenuItemDeselect(GtkWidget*, gpointer data) { static_cast<GtkMainFrame*>(data)->SetStatusText(""); }

// The commands whose menu items carry a check mark.
bool IsCheckCommand(int command) {
  switch (command) {
    case kCmdContentsPane:
    case kCmdBookmarksPane:
    case kCmdSearchPane:
    case kCmdStatusBar:
    case kCmdFullScreen:
      return true;
    default:
      return false;
  }
}

bool MatchesAccelerator(const Accelerator& accelerator, const GdkEventKey* event) {
  GdkModifierType state = GdkModifierType(event->state & gtk_accelerator_get_default_mod_mask());
  if (bool(state & GDK_CONTROL_MASK) != accelerator.control || bool(state & GDK_SHIFT_MASK) != accelerator.shift ||
      bool(state & GDK_MOD1_MASK) != accelerator.alt)
    return false;
  switch (accelerator.key) {
    case AcceleratorKey::kLetter: return gdk_keyval_to_upper(event->keyval) == guint(accelerator.letter);
    case AcceleratorKey::kBackspace: return event->keyval == GDK_KEY_BackSpace;
    case AcceleratorKey::kDelete: return event->keyval == GDK_KEY_Delete || event->keyval == GDK_KEY_KP_Delete;
    case AcceleratorKey::kInsert: return event->keyval == GDK_KEY_Insert || event->keyval == GDK_KEY_KP_Insert;
    case AcceleratorKey::kF6: return event->keyval == GDK_KEY_F6;
  }
  return false;
}

gboolean OnDelete(GtkWidget* window, GdkEvent*, gpointer) {
  // Remembered for the next run of any book, as the window last stood.
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(GTK_WINDOW(window), &x, &y);
  gtk_window_get_size(GTK_WINDOW(window), &width, &height);
  WindowRect rect{x, y, x + width, y + height};
  EbkRegistry::Instance().SaveWindowRect(&rect);
  return FALSE;
}

// The window the user works in now (a dialog of ours, say), else `fallback`.
GtkWindow* ActiveWindowOr(GtkWindow* fallback) {
  GtkWindow* active = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* window = windows; window && !active; window = window->next) {
    if (gtk_window_is_active(GTK_WINDOW(window->data)) && gtk_widget_get_visible(GTK_WIDGET(window->data)))
      active = GTK_WINDOW(window->data);
  }
  g_list_free(windows);
  return active ? active : fallback;
}

gboolean OnDestroy(GtkWidget*, gpointer) {
  if (gtk_main_level() > 0) gtk_main_quit();
  return FALSE;
}

}  // namespace

GtkMainFrame* MainFrame() { return g_main_frame; }

GtkMainFrame::~GtkMainFrame() {
  StopRememberingPosition();
  ShutDownSearch();
  if (g_main_frame == this) g_main_frame = nullptr;
  if (reader_) {
    reader_->SetFrame(nullptr);
    reader_->Release();
  }
  if (view_ && script_host_) script_host_->Detach(view_->web_view());
  if (window_) gtk_widget_destroy(window_);
  view_.reset();
  PublishSettingsLookup(nullptr);
  PublishEbkManager(nullptr);
  if (context_) g_object_unref(context_);
  if (manager_) manager_->Release();
}

bool GtkMainFrame::Create(const std::string& book_path) {
  g_main_frame = this;
  preview_mode_ = IsProjectPath(book_path);
  if (preview_mode_) {
    project_ = std::make_unique<Project>();
    if (!project_->Load(book_path)) {
      // The second line names the file and where the parser stopped ("path:line:column: why").
      ShowMessageBox(nullptr, std::string(LoadString(kStrParseProjectFailed)) + "\n" + project_->error(),
                     LoadString(kStrInvalidProjectFile), kMbIconInformation);
      return false;
    }
    lookup_.UseProject(&project_->settings());
  } else {
    manager_ = CEbkManager::Create();
    if (manager_->Open(Utf8ToWide(book_path).c_str()) != S_OK) {
      ShowMessageBox(nullptr,
                     std::string(LoadString(kStrOpenBookFailed)) + "\n" + book_path + ": " +
                         manager_->book().open_error().description,
                     LoadString(kStrError), kMbOk);
      return false;
    }
    PublishEbkManager(manager_);
    lookup_.UseArchive(&manager_->book().settings());
  }
  PublishSettingsLookup(&lookup_);
  auto setting = [this](std::string_view key) {
    std::string value;
    lookup_.GetSetting(key, value);
    return value;
  };
  settings_ = ReadFrameSettings(setting, preview_mode_, [](std::string_view path) { return DatastoreUrl(path); },
                                preview_mode_ ? project_->BookFolder() : std::string());

  EbkRegistry& registry = EbkRegistry::Instance();
  registry.SetScreenSizeSource([] {
    GdkRectangle area{0, 0, 1024, 768};
    if (GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default()))
      gdk_monitor_get_workarea(monitor, &area);
    return ScreenSize{area.width, area.height};
  });
  registry.EnsureKey();
  registry.Initialise(setting("guid"), preview_mode_ ? ProjectPathIdentity(book_path)
                                                    : IdentityHex(manager_->book().identity()));
  if (!registry.WorkingFolder(working_folder_)) {
    ShowMessageBox(nullptr, FormatString(LoadString(kStrCreateWorkingFolderFailed), working_folder_),
                   LoadString(kStrError), kMbIconError);
    return false;
  }
  // Without a runtime folder, copies made for script and the desktop stay beside the bookmarks.
  SetPrivateFilesFallback(working_folder_);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
  gtk_window_set_title(GTK_WINDOW(window_), settings_.caption.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window_), 640, 480);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
  if (!settings_.bordered) gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  if (settings_.border == BorderStyle::kThin || settings_.border == BorderStyle::kToolWindow)
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  if (settings_.border == BorderStyle::kToolWindow || settings_.border == BorderStyle::kSizeableToolWindow)
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_UTILITY);
  gtk_window_set_deletable(GTK_WINDOW(window_), settings_.close_button);
  g_signal_connect(window_, "realize", G_CALLBACK(OnRealizeWindow), this);

  // The splash shows the main window when it ends.
  if (settings_.splash) {
    StartSplashScreen(setting, preview_mode_ ? DiskPictureReader(project_->BookFolder()) : BookPictureReader(manager_),
                      GTK_WINDOW(window_), [this] { Show(); });
  }

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  if (settings_.menu_bar) BuildMenuBar(box);
  toolbar_ = std::make_unique<CEbkToolBar>(CEbkToolBar::Hooks{
      [this](int command) { OnCommand(command); }, [this](std::string_view text) { SetStatusText(text); },
      [this] { return view_ ? view_->GetTextSize() : 2; }, [this](int size) { SetTextSize(size); }});
  toolbar_->LoadLogo(setting, preview_mode_ ? DiskPictureReader(project_->BookFolder()) : BookPictureReader(manager_));
  if (settings_.tool_bar) {
    if (!toolbar_->Create(setting, command_state_)) return false;
    toolbar_band_ = toolbar_->row();
    if (toolbar_band_) gtk_box_pack_start(GTK_BOX(box), toolbar_band_, FALSE, FALSE, 0);
  }
  if (settings_.search_bar) {
    CreateSearchBar(box);
    if (!search_bar_) return false;
  }

  context_ = webkit_web_context_new();
  RegisterBookScheme(context_);
  std::string script_error;
  std::string book_folder;
  if (preview_mode_) {
    // Absolute and without "." or "..", as the engine writes the pages' file URIs.
    gchar* absolute = g_canonicalize_filename(project_->BookFolder().c_str(), nullptr);
    book_folder = absolute;
    g_free(absolute);
  }
  script_host_ = ScriptHost::Create(context_, WebExtensionDirectory(), &script_error, book_folder);
  if (!script_host_) g_warning("window.external is not available: %s", script_error.c_str());
  GtkLecternView::Callbacks callbacks;
  callbacks.status_text = [this](std::string_view text) { SetStatusText(text); };
  callbacks.navigation_complete = [this] {
    gtk_window_set_title(GTK_WINDOW(window_), settings_.caption.c_str());
    if (contents_pane_) contents_pane_->FollowPage(CurrentUrl());
  };
  view_ = std::make_unique<GtkLecternView>(context_, manager_, preview_mode_, std::move(callbacks));
  view_->SetContextMenuAllowed(settings_.context_menu);
  view_->SetCopyAllowed(settings_.copy);
  SetDragCopyAllowed(settings_.copy);
  view_->SetPrintAllowed(settings_.print);
  view_->SetViewSourceAllowed(settings_.view_source);
  toolbar_->AttachView(view_->web_view());
  if (!settings_.print) toolbar_->EnableButton(CEbkToolBar::kPrint, false);
  // The client area: the side bar on the left of the view, hidden until a pane is asked for.
  splitter_ = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_box_pack_start(GTK_BOX(box), splitter_, TRUE, TRUE, 0);
  side_bar_ = std::make_unique<SideBar>([this] { HideSideBar(); });
  gtk_paned_pack1(GTK_PANED(splitter_), side_bar_->widget(), FALSE, FALSE);
  gtk_paned_pack2(GTK_PANED(splitter_), view_->widget(), TRUE, TRUE);
  gtk_paned_set_position(GTK_PANED(splitter_), 180);
  contents_pane_ = std::make_unique<CEbkTreeView>(*this);
  FillContentsPane(*contents_pane_, settings_, manager_, project_.get());
  side_bar_->AddPane(contents_pane_->widget(), "Contents");
  CreateSearchPaneAndHighlighter();
  side_bar_->AddPane(search_pane_->widget(), std::string(LoadString(kStrSearchPaneTitle)));
  bookmarks_pane_ = std::make_unique<CEbkFavorites>(*this);
  SetBookmarkSource([this] { return bookmarks_pane_ ? bookmarks_pane_->bookmarks() : std::vector<Bookmark>(); });
  side_bar_->AddPane(bookmarks_pane_->widget(), std::string(LoadString(kStrBookmarksPane)));
  HideSideBar();
  command_state_.Enable(kCmdPrint, settings_.print);
  command_state_.Enable(kCmdPrintPreview, settings_.print);
  if (!settings_.contents) command_state_.Enable(kCmdContentsPane, false);
  command_state_.Enable(kCmdToolbarBand, toolbar_band_ != nullptr);
  command_state_.SetCheck(kCmdToolbarBand, toolbar_band_ != nullptr);
  command_state_.Enable(kCmdSearchBarBand, search_bar_band_ != nullptr);
  command_state_.SetCheck(kCmdSearchBarBand, search_bar_band_ != nullptr);
  // Keys the page view leaves alone meet the accelerator table last.
  g_signal_connect_after(window_, "key-press-event", G_CALLBACK(OnUnhandledKey), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKeyBeforeLists), this);
  if (script_host_) {
    script_host_->Attach(view_->web_view(),
                         std::make_shared<DispatchEndpoint>(&external_, CDocHostUIHandlerDispatch::Members()));
  }

  if (settings_.status_bar) {
    status_bar_ = gtk_statusbar_new();
    gtk_box_pack_end(GTK_BOX(box), status_bar_, FALSE, FALSE, 0);
    SetStatusText("");
    command_state_.SetCheck(kCmdStatusBar, true);
  } else {
    command_state_.Enable(kCmdStatusBar, false);
  }
  ApplySizeAndPlace();
  if (settings_.contents && settings_.show_contents_at_start) OnCommand(kCmdContentsPane);
  gtk_window_set_keep_above(GTK_WINDOW(window_), settings_.topmost);
  Navigate(settings_.home_url);
  StartRememberingPosition();
  toolbar_->StartLogo();
  return true;
}

void GtkMainFrame::BuildMenuBar(GtkWidget* box) {
  std::string book_name = Setting("bookname");
  menu_bar_ = gtk_menu_bar_new();
  std::vector<GtkWidget*> menus = {menu_bar_};
  for (const MenuEntry& entry : MainMenu()) {
    switch (entry.kind) {
      case MenuEntry::Kind::kEnd:
        menus.pop_back();
        continue;
      case MenuEntry::Kind::kSeparator:
        gtk_menu_shell_append(GTK_MENU_SHELL(menus.back()), gtk_separator_menu_item_new());
        continue;
      case MenuEntry::Kind::kSubmenu: {
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(MnemonicLabel(entry.text).c_str());
        gtk_menu_shell_append(GTK_MENU_SHELL(menus.back()), item);
        GtkWidget* submenu = gtk_menu_new();
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), submenu);
        // A menu closed by a choice sends no deselect: the prompt would outlive it.
        g_signal_connect(submenu, "deactivate", G_CALLBACK(OnMenuItemDeselect), this);
        menus.push_back(submenu);
        continue;
      }
      case MenuEntry::Kind::kItem:
        break;
    }
    std::string text = entry.text;
    // The book names itself in the Help menu: "About &eBook..." reads "About &" + name + "...".
    if (entry.command == kCmdBookInformation && !book_name.empty()) {
      if (size_t at = text.find("eBook"); at != std::string::npos) text.replace(at, 5, book_name);
    }
    std::string label = MnemonicLabel(text);
    GtkWidget* item = IsCheckCommand(entry.command) ? gtk_check_menu_item_new_with_mnemonic(label.c_str())
                                                    : gtk_menu_item_new_with_mnemonic(label.c_str());
    gtk_menu_shell_append(GTK_MENU_SHELL(menus.back()), item);
    g_object_set_data(G_OBJECT(item), "lectern-command", GINT_TO_POINTER(entry.command));
    g_signal_connect(item, "activate", G_CALLBACK(OnMenuItem), this);
    g_signal_connect(item, "select", G_CALLBACK(OnMenuItemSelect), this);
    g_signal_connect(item, "deselect", G_CALLBACK(OnMenuItemDeselect), this);
    command_state_.Register(entry.command, item);
    // The pop-up whose first item is Add Bookmark lists the bookmarks each time it opens.
    if (entry.command == kCmdAddBookmark) {
      bookmark_menu_ = menus.back();
      g_signal_connect_swapped(bookmark_menu_, "show", G_CALLBACK(+[](gpointer self) {
                                 static_cast<GtkMainFrame*>(self)->FillBookmarkMenu();
                               }),
                               this);
    }
  }
  gtk_box_pack_start(GTK_BOX(box), menu_bar_, FALSE, FALSE, 0);
}

void GtkMainFrame::FillBookmarkMenu() {
  if (!bookmark_menu_) return;
  GList* items = gtk_container_get_children(GTK_CONTAINER(bookmark_menu_));
  for (GList* item = items ? items->next : nullptr; item; item = item->next) gtk_widget_destroy(GTK_WIDGET(item->data));
  g_list_free(items);
  std::vector<Bookmark> bookmarks = bookmark_source_ ? bookmark_source_() : std::vector<Bookmark>();
  if (bookmarks.empty()) return;
  auto append = [this](GtkWidget* item, int command) {
    if (command) {
      g_object_set_data(G_OBJECT(item), "lectern-command", GINT_TO_POINTER(command));
      g_signal_connect(item, "activate", G_CALLBACK(OnMenuItem), this);
    }
    gtk_widget_show(item);
    gtk_menu_shell_append(GTK_MENU_SHELL(bookmark_menu_), item);
  };
  append(gtk_separator_menu_item_new(), 0);
  for (size_t i = 0; i < bookmarks.size() && i < 10; ++i) {
    // Appended piece by piece: GCC 12's optimiser misreads "&" + std::string as an overlap.
    std::string text = "&";
    text += std::to_string(i + 1);
    text += ' ';
    text += bookmarks[i].name;
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(MnemonicLabel(text).c_str());
    append(item, kCmdFirstBookmark + int(i));
  }
  if (bookmarks.size() > 10) {
    append(gtk_separator_menu_item_new(), 0);
    append(gtk_menu_item_new_with_label(std::string(LoadString(kStrMoreBookmarks)).c_str()), kCmdMoreBookmarks);
  }
}

void GtkMainFrame::OpenBookmark(size_t index) {
  if (preview_mode_) {
    ShowMessageBox(window_, LoadString(kStrNotInPreviewMode), LoadString(kStrInformation), kMbIconInformation);
    return;
  }
  std::vector<Bookmark> bookmarks = bookmark_source_ ? bookmark_source_() : std::vector<Bookmark>();
  if (index < bookmarks.size() && !bookmarks[index].url.empty()) OpenBookmarkUrl(bookmarks[index].url);
}

void GtkMainFrame::ApplySizeAndPlace() {
  GtkWindow* window = GTK_WINDOW(window_);
  switch (settings_.show_mode) {
    case ShowMode::kFullScreen:
      ToggleFullScreen();
      return;
    case ShowMode::kMaximized:
      gtk_window_maximize(window);
      return;
    default:
      break;
  }
  if (settings_.size_applies()) gtk_window_set_default_size(window, settings_.width, settings_.height);
  if (settings_.placement == WindowPlacement::kScreenCenter) {
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  } else if (settings_.placement == WindowPlacement::kCustom) {
    gtk_window_move(window, settings_.left, settings_.top);
  }
}

void GtkMainFrame::Show() { gtk_widget_show_all(window_); }

void GtkMainFrame::Navigate(std::string_view url) {
  if (view_) view_->Navigate(url);
}

void GtkMainFrame::SetStatusText(std::string_view text) {
  if (!status_bar_) return;
  std::string shown = StatusBarText(text);
  gtk_statusbar_remove_all(GTK_STATUSBAR(status_bar_), 0);
  gtk_statusbar_push(GTK_STATUSBAR(status_bar_), 0, shown.c_str());
}

void GtkMainFrame::ToggleFullScreen() {
  GtkWindow* window = GTK_WINDOW(window_);
  full_screen_ = !full_screen_;
  if (full_screen_) {
    gtk_window_get_position(window, &saved_rect_.x, &saved_rect_.y);
    gtk_window_get_size(window, &saved_rect_.width, &saved_rect_.height);
    if (settings_.bordered) gtk_window_set_decorated(window, FALSE);
    gtk_window_fullscreen(window);
    // Also sized by hand: without a window manager the full-screen request alone does nothing.
    GdkRectangle screen{0, 0, 0, 0};
    if (GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default()))
      gdk_monitor_get_geometry(monitor, &screen);
    else if (GdkMonitor* first = gdk_display_get_monitor(gdk_display_get_default(), 0))
      gdk_monitor_get_geometry(first, &screen);
    if (screen.width > 0 && screen.height > 0) {
      gtk_window_move(window, screen.x, screen.y);
      gtk_window_resize(window, screen.width, screen.height);
    }
  } else {
    gtk_window_unfullscreen(window);
    // A window the book made borderless stays so.
    if (settings_.bordered) gtk_window_set_decorated(window, TRUE);
    if (saved_rect_.width > 0 && saved_rect_.height > 0) {
      gtk_window_move(window, saved_rect_.x, saved_rect_.y);
      gtk_window_resize(window, saved_rect_.width, saved_rect_.height);
    }
  }
  command_state_.SetCheck(kCmdFullScreen, full_screen_);
}

bool GtkMainFrame::SideBarButtonChecked(int command) const {
  bool has_bar = command == kCmdSearchPane ? search_bar_band_ != nullptr : toolbar_band_ && toolbar_->ItemOf(command);
  return has_bar && command_state_.IsChecked(command);
}

void GtkMainFrame::ToggleSidePane(int command, SidePane pane) {
  bool was_checked = SideBarButtonChecked(command);
  for (int other : {kCmdContentsPane, kCmdSearchPane, kCmdBookmarksPane})
    if (other != command) command_state_.SetCheck(other, false);
  if (was_checked) {
    HideSideBar();
    command_state_.SetCheck(command, false);
    return;
  }
  ShowSideBar(pane);
  command_state_.SetCheck(command, true);
}

void GtkMainFrame::ShowSideBar(SidePane pane) {
  side_bar_->SelectPane(pane);
  gtk_widget_show(side_bar_->widget());
}

void GtkMainFrame::HideSideBar() {
  for (int command : {kCmdContentsPane, kCmdBookmarksPane, kCmdSearchPane}) command_state_.SetCheck(command, false);
  gtk_widget_hide(side_bar_->widget());
}

// The window manager's minimise and maximise buttons (and what they do) follow the book; GTK has
// a switch only for the close button.
void GtkMainFrame::OnRealizeWindow(GtkWidget* widget, gpointer data) {
  const FrameSettings& settings = static_cast<GtkMainFrame*>(data)->settings_;
  if (settings.minimize_button && settings.maximize_button) return;
  // With the ALL bit set, the other bits name what is taken away.
  int functions = GDK_FUNC_ALL, decorations = GDK_DECOR_ALL;
  if (!settings.minimize_button) {
    functions |= GDK_FUNC_MINIMIZE;
    decorations |= GDK_DECOR_MINIMIZE;
  }
  if (!settings.maximize_button) {
    functions |= GDK_FUNC_MAXIMIZE;
    decorations |= GDK_DECOR_MAXIMIZE;
  }
  if (!settings.close_button) functions |= GDK_FUNC_CLOSE;
  GdkWindow* window = gtk_widget_get_window(widget);
  gdk_window_set_functions(window, GdkWMFunction(functions));
  if (settings.bordered) gdk_window_set_decorations(window, GdkWMDecoration(decorations));
}

gboolean GtkMainFrame::OnKeyBeforeLists(GtkWidget* window, GdkEventKey* event, gpointer data) {
  auto* frame = static_cast<GtkMainFrame*>(data);
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  if (frame->search_bar_ && frame->search_bar_->TakeEnterKey(focus, event)) return TRUE;
  // A list binds Ctrl+F to a find of its own; in this window the key means the search field,
  // whichever pane has the focus.
  if (!GTK_IS_TREE_VIEW(focus)) return FALSE;
  const Shortcut* shortcut = MatchShortcut(event);
  if (!shortcut || shortcut->action != ShortcutAction::kFocusSearch) return FALSE;
  return frame->RunShortcut(event);
}

gboolean GtkMainFrame::OnUnhandledKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (static_cast<GtkMainFrame*>(data)->RunShortcut(event)) return TRUE;
  for (const Accelerator& accelerator : Accelerators()) {
    if (!MatchesAccelerator(accelerator, event)) continue;
    static_cast<GtkMainFrame*>(data)->OnCommand(accelerator.command);
    return TRUE;
  }
  return FALSE;
}

std::string GtkMainFrame::Setting(std::string_view key) {
  std::string value;
  lookup_.GetSetting(key, value);
  return value;
}

std::string GtkMainFrame::status_text() const {
  if (!status_bar_) return {};
  GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(status_bar_));
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  std::string text = children && GTK_IS_LABEL(children->data) ? gtk_label_get_text(GTK_LABEL(children->data)) : "";
  g_list_free(children);
  return text;
}

void GtkMainFrame::OnCommand(int command) {
  switch (command) {
    case kCmdBack: view_->GoBack(); break;
    case kCmdForward: view_->GoForward(); break;
    case kCmdStop: view_->Stop(); break;
    case kCmdRefresh: view_->Refresh(); break;
    case kCmdHome: Navigate(settings_.home_url.empty() ? "about:blank" : settings_.home_url); break;
    case kCmdTextSize: view_->SetTextSize(-1); break;
    case kCmdFullScreen: ToggleFullScreen(); break;
    case kCmdPrint: view_->Print(); break;
    case kCmdPrintPreview: view_->PrintPreview(); break;
    case kCmdStatusBar:
      if (!status_bar_) break;
      gtk_widget_set_visible(status_bar_, !gtk_widget_get_visible(status_bar_));
      command_state_.SetCheck(kCmdStatusBar, gtk_widget_get_visible(status_bar_));
      break;
    case kCmdContentsPane: ToggleSidePane(command, kContentsPane); break;
    case kCmdSearchPane: ToggleSidePane(command, kSearchPane); break;
    case kCmdBookmarksPane: ToggleSidePane(command, kBookmarksPane); break;
    case kCmdMoreBookmarks: ShowSideBar(kBookmarksPane); break;
    case kCmdAddBookmark: AddBookmarkHere(); break;
    case kCmdToolbarBand:
    case kCmdSearchBarBand: {
      GtkWidget* band = command == kCmdToolbarBand ? toolbar_band_ : search_bar_band_;
      if (!band) break;
      gtk_widget_set_visible(band, !gtk_widget_get_visible(band));
      command_state_.SetCheck(command, gtk_widget_get_visible(band));
      break;
    }
    case kCmdMakerHomePage: {
      std::string site(LoadString(kStrMakerSite));
      g_app_info_launch_default_for_uri(site.c_str(), nullptr, nullptr);
      break;
    }
    case kCmdBookInformation: ShowBookInformation(); break;
    case kCmdAbout: CAboutDlg().DoModal(ActiveWindowOr(Toplevel())); break;
    case kCmdShortcuts: ShowShortcuts(); break;
    case kCmdExit: gtk_window_close(GTK_WINDOW(window_)); break;
    case kCmdSearch:
    case kCmdClearSearchHistory:
    case kCmdResetSearchPosition:
    case kCmdToggleHighlight: OnSearchCommand(command); break;
    default:
      if (command >= kCmdFirstBookmark && command <= kCmdLastBookmark) OpenBookmark(size_t(command - kCmdFirstBookmark));
      break;
  }
}

}  // namespace lectern

namespace lectern {

bool GtkMainFrame::IsMainWindowVisible() { return window_ && gtk_widget_get_visible(window_); }

void GtkMainFrame::ShowMainWindow(bool visible) {
  if (!window_) return;
  // Only the window itself: bars and panes the user hid stay hidden, their check marks true.
  if (visible) gtk_widget_show(window_);
  else gtk_widget_hide(window_);
}

void GtkMainFrame::PostClose() {
  // Posted, so the script call that asked returns before the window goes.
  if (!window_) return;
  g_idle_add(
      [](gpointer window) {
        gtk_window_close(GTK_WINDOW(window));
        g_object_unref(window);
        return G_SOURCE_REMOVE;
      },
      g_object_ref(window_));
}

void GtkMainFrame::SetTextSize(int32_t size) {
  if (view_) view_->SetTextSize(size);
}

int GtkMainFrame::ShowMessage(std::string_view text, std::string_view caption, unsigned style) {
  return ShowMessageBox(window_, text, caption, style);
}

int32_t GtkMainFrame::TrackPopupMenu(const std::vector<MenuItem>& items, int32_t x, int32_t y) {
  GtkWidget* menu = gtk_menu_new();
  struct Choice {
    int32_t command = 0;
    GMainLoop* loop = nullptr;
  } choice;
  choice.loop = g_main_loop_new(nullptr, FALSE);
  for (const MenuItem& item : items) {
    GtkWidget* entry = item.kind == MenuItem::Kind::kSeparator ? gtk_separator_menu_item_new()
                                                                : gtk_menu_item_new_with_mnemonic(MnemonicLabel(item.text).c_str());
    g_object_set_data(G_OBJECT(entry), "lectern-command", GINT_TO_POINTER(item.command));
    if (item.kind != MenuItem::Kind::kSeparator) {
      g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer data) {
                         static_cast<Choice*>(data)->command =
                             GPOINTER_TO_INT(g_object_get_data(G_OBJECT(activated), "lectern-command"));
                       }),
                       &choice);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
  }
  // The menu answers once it closes, chosen or not, while the page's script waits for it.
  g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer data) {
                     g_idle_add(
                         [](gpointer loop) {
                           g_main_loop_quit(static_cast<GMainLoop*>(loop));
                           return G_SOURCE_REMOVE;
                         },
                         static_cast<Choice*>(data)->loop);
                   }),
                   &choice);
  gtk_widget_show_all(menu);
  if (window_ && gtk_widget_get_window(window_)) {
    // Its top left corner at (x, y) of the window's client area.
    gtk_menu_attach_to_widget(GTK_MENU(menu), window_, nullptr);
    GdkRectangle corner{x, y, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(menu), gtk_widget_get_window(window_), &corner, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
  } else {
    gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
  }
  if (gtk_widget_get_visible(menu)) g_main_loop_run(choice.loop);
  g_main_loop_unref(choice.loop);
  gtk_widget_destroy(menu);
  return choice.command;
}

void GtkMainFrame::ExtractFile(std::string_view book_path) {
  CExtractFileDlg dialog(manager_);
  dialog.SetSourcePath(std::string(book_path));
  dialog.DoModal(ActiveWindowOr(Toplevel()));
}

void GtkMainFrame::ShowBookInformation() {
  auto setting = [this](std::string_view key) { return Setting(key); };
  if (UsesBuiltInInfoDialog(setting)) {
    const char* caption = window_ ? gtk_window_get_title(GTK_WINDOW(window_)) : nullptr;
    CEbkInfoDlg dialog(ReadBookInfo(setting, caption ? caption : settings_.caption),
                       preview_mode_ ? DiskPictureReader(project_->BookFolder()) : BookPictureReader(manager_));
    dialog.DoModal(Toplevel());
    return;
  }
  AboutPage page = ReadAboutPage(setting, preview_mode_, [](std::string_view path) { return DatastoreUrl(path); },
                                 preview_mode_ ? project_->BookFolder() : std::string());
  CHTMLDlg dialog(std::string(LoadString(kStrAboutEbook)), page.url, page.width, page.height);
  dialog.DoModal(Toplevel());
}

bool GtkMainFrame::ShellOpen(const std::string& path, const std::string& parameters) {
  if (g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE) && !g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
    gint argc = 0;
    gchar** extra = nullptr;
    if (!parameters.empty() && !g_shell_parse_argv(parameters.c_str(), &argc, &extra, nullptr)) return false;
    std::vector<gchar*> argv = {const_cast<gchar*>(path.c_str())};
    for (gint i = 0; i < argc; ++i) argv.push_back(extra[i]);
    argv.push_back(nullptr);
    gboolean started = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, nullptr);
    g_strfreev(extra);
    return started;
  }
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return false;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  gboolean opened = uri && g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
  g_free(uri);
  return opened;
}

std::string GtkMainFrame::PlaceIdentity() { return EbkRegistry::Instance().book_identity(); }

IDispatch* GtkMainFrame::Reader() {
  if (!reader_) reader_ = CReader::Create(this);
  return reader_;
}

std::string GtkMainFrame::ProgramFolder() {
  gchar* self = g_file_read_link("/proc/self/exe", nullptr);
  std::string folder;
  if (self) {
    gchar* dir = g_path_get_dirname(self);
    folder = dir;
    g_free(dir);
    g_free(self);
  }
  return folder;
}

}  // namespace lectern
