#include "platform/gtk/window/main_frame.h"

#include <string>
#include <vector>

#include "browser/dispatch_endpoint.h"
#include "browser/view_uri.h"
#include "book/book_file_stream.h"
#include "datastore/datastore_path.h"
#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/book_scheme.h"
#include "platform/gtk/picture/splash_dlg.h"
#include "platform/message_box.h"
#include "resources/string_table.h"
#include "shell/book_choice.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

GtkMainFrame* g_main_frame = nullptr;

void OnMenuItem(GtkMenuItem* item, gpointer data) {
  int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "lectern-command"));
  static_cast<GtkMainFrame*>(data)->OnCommand(command);
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

gboolean OnDestroy(GtkWidget*, gpointer) {
  if (gtk_main_level() > 0) gtk_main_quit();
  return FALSE;
}

}  // namespace

GtkMainFrame* MainFrame() { return g_main_frame; }

GtkMainFrame::~GtkMainFrame() {
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
      ShowMessageBox(nullptr, LoadString(kStrParseProjectFailed), LoadString(kStrInvalidProjectFile),
                     kMbIconInformation);
      return false;
    }
    lookup_.UseProject(&project_->settings());
  } else {
    manager_ = CEbkManager::Create();
    if (manager_->Open(Utf8ToWide(book_path).c_str()) != S_OK) {
      ShowMessageBox(nullptr, LoadString(kStrOpenBookFailed), LoadString(kStrError), kMbOk);
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
  registry.Initialise(setting("guid"));
  if (!registry.WorkingFolder(working_folder_)) {
    ShowMessageBox(nullptr, FormatString(LoadString(kStrCreateWorkingFolderFailed), working_folder_),
                   LoadString(kStrError), kMbIconError);
    return false;
  }

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

  // The splash shows the main window when it ends.
  if (settings_.splash) {
    StartSplashScreen(setting, preview_mode_ ? DiskPictureReader(project_->BookFolder()) : BookPictureReader(manager_),
                      GTK_WINDOW(window_), [this] { Show(); });
  }

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  if (settings_.menu_bar) BuildMenuBar(box);

  context_ = webkit_web_context_new();
  RegisterBookScheme(context_);
  std::string script_error;
  script_host_ = ScriptHost::Create(context_, WebExtensionDirectory(), &script_error);
  if (!script_host_) g_warning("window.external is not available: %s", script_error.c_str());
  GtkLecternView::Callbacks callbacks;
  callbacks.status_text = [this](std::string_view text) { SetStatusText(text); };
  callbacks.navigation_complete = [this] { gtk_window_set_title(GTK_WINDOW(window_), settings_.caption.c_str()); };
  view_ = std::make_unique<GtkLecternView>(context_, manager_, preview_mode_, std::move(callbacks));
  view_->SetContextMenuAllowed(settings_.context_menu);
  view_->SetCopyAllowed(settings_.copy);
  SetDragCopyAllowed(settings_.copy);
  view_->SetPrintAllowed(settings_.print);
  view_->SetViewSourceAllowed(settings_.view_source);
  gtk_box_pack_start(GTK_BOX(box), view_->widget(), TRUE, TRUE, 0);
  if (script_host_) {
    script_host_->Attach(view_->web_view(),
                         std::make_shared<DispatchEndpoint>(&external_, CDocHostUIHandlerDispatch::Members()));
  }

  if (settings_.status_bar) {
    status_bar_ = gtk_statusbar_new();
    gtk_box_pack_end(GTK_BOX(box), status_bar_, FALSE, FALSE, 0);
    SetStatusText("");
  }
  ApplySizeAndPlace();
  gtk_window_set_keep_above(GTK_WINDOW(window_), settings_.topmost);
  Navigate(settings_.home_url);
  return true;
}

void GtkMainFrame::BuildMenuBar(GtkWidget* box) {
  struct Item {
    const char* label;
    int command;  // 0 opens a submenu until the matching end marker (-1)
  };
  static constexpr Item kMenu[] = {
      {"_File", 0},           {"_Print...", kCmdPrint}, {"Print Pre_view...", kCmdPrintPreview},
      {"-", 0},               {"E_xit", kCmdExit},      {nullptr, -1},
      {"_View", 0},           {"E-Book Bars", 0},       {"Table of content", kCmdContentsPane},
      {"Bookmarks", kCmdBookmarksPane}, {"Search Results", kCmdSearchPane}, {nullptr, -1},
      {"_Status Bar", kCmdStatusBar},   {"-", 0},       {"_Go To", 0},
      {"_Back", kCmdBack},    {"_Forward", kCmdForward}, {"-", 0},
      {"_Home Page", kCmdHome}, {nullptr, -1},          {"_Stop", kCmdStop},
      {"_Refresh", kCmdRefresh}, {"-", 0},              {"_Full Screen", kCmdFullScreen},
      {nullptr, -1},          {"_Bookmark", 0},         {"_Add Bookmark...", kCmdAddBookmark},
      {nullptr, -1},          {"_Help", 0},             {"About _eBook...", kCmdBookInformation},
      {nullptr, -1},
  };
  menu_bar_ = gtk_menu_bar_new();
  std::vector<GtkWidget*> menus = {menu_bar_};
  for (const Item& item : kMenu) {
    if (!item.label) {
      menus.pop_back();
      continue;
    }
    if (std::string_view(item.label) == "-") {
      gtk_menu_shell_append(GTK_MENU_SHELL(menus.back()), gtk_separator_menu_item_new());
      continue;
    }
    GtkWidget* menu_item = gtk_menu_item_new_with_mnemonic(item.label);
    gtk_menu_shell_append(GTK_MENU_SHELL(menus.back()), menu_item);
    if (item.command == 0) {
      GtkWidget* submenu = gtk_menu_new();
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(menu_item), submenu);
      menus.push_back(submenu);
    } else {
      g_object_set_data(G_OBJECT(menu_item), "lectern-command", GINT_TO_POINTER(item.command));
      g_signal_connect(menu_item, "activate", G_CALLBACK(OnMenuItem), this);
    }
  }
  gtk_box_pack_start(GTK_BOX(box), menu_bar_, FALSE, FALSE, 0);
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
  full_screen_ = !full_screen_;
  if (full_screen_) gtk_window_fullscreen(GTK_WINDOW(window_));
  else gtk_window_unfullscreen(GTK_WINDOW(window_));
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
      if (status_bar_) gtk_widget_set_visible(status_bar_, !gtk_widget_get_visible(status_bar_));
      break;
    case kCmdExit: gtk_window_close(GTK_WINDOW(window_)); break;
    default: break;
  }
}

}  // namespace lectern

namespace lectern {

bool GtkMainFrame::IsMainWindowVisible() { return window_ && gtk_widget_get_visible(window_); }

void GtkMainFrame::ShowMainWindow(bool visible) {
  if (!window_) return;
  if (visible) gtk_widget_show_all(window_);
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

int32_t GtkMainFrame::TrackPopupMenu(const std::vector<MenuItem>& items, int32_t, int32_t) {
  GtkWidget* menu = gtk_menu_new();
  struct Choice {
    int32_t command = 0;
    GMainLoop* loop = nullptr;
  } choice;
  choice.loop = g_main_loop_new(nullptr, FALSE);
  for (const MenuItem& item : items) {
    GtkWidget* entry = item.kind == MenuItem::Kind::kSeparator ? gtk_separator_menu_item_new()
                                                                : gtk_menu_item_new_with_label(item.text.c_str());
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
  if (window_) gtk_menu_attach_to_widget(GTK_MENU(menu), window_, nullptr);
  gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
  if (gtk_widget_get_visible(menu)) g_main_loop_run(choice.loop);
  g_main_loop_unref(choice.loop);
  gtk_widget_destroy(menu);
  return choice.command;
}

void GtkMainFrame::ExtractFile(std::string_view book_path) {
  if (!manager_) return;
  std::string name(book_path.substr(book_path.find_last_of("/\\") + 1));
  GtkWidget* chooser = gtk_file_chooser_dialog_new("Extract", window_ ? GTK_WINDOW(window_) : nullptr,
                                                   GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                                   "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name.c_str());
  std::string target;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    char* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (chosen) target = chosen;
    g_free(chosen);
  }
  gtk_widget_destroy(chooser);
  if (target.empty()) return;
  BookFileStream stream(manager_);
  std::string bytes;
  if (stream.Open(Utf8ToWide(book_path))) {
    bytes.resize(stream.length());
    bytes.resize(stream.Read(bytes.data(), uint32_t(bytes.size())));
  }
  if (bytes.empty() && stream.length() > 0) {
    ShowMessageBox(window_, FormatString(LoadString(kStrOpenFailed), book_path), LoadString(kStrError),
                   kMbIconInformation);
    return;
  }
  // Written beside the target first, so a failed write leaves an existing file whole.
  if (!g_file_set_contents(target.c_str(), bytes.data(), gssize(bytes.size()), nullptr)) {
    ShowMessageBox(window_, FormatString(LoadString(kStrCreateFileFailed), target), LoadString(kStrError),
                   kMbIconInformation);
  }
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
