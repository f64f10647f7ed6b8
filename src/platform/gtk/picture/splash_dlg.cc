#include "platform/gtk/picture/splash_dlg.h"

#include "book/book_settings.h"
#include "platform/message_box.h"

namespace lectern {
namespace {

constexpr int kDefaultDelaySeconds = 3;
constexpr guint kTickMs = 1000;
// How long opening waits for the splash to reach the screen before the frame goes on building.
constexpr gint64 kPresentWaitUs = 500 * 1000;

CSplashDlg* g_current_splash = nullptr;

}  // namespace

SplashOptions ReadSplashOptions(const SettingReader& setting) {
  SplashOptions options;
  int32_t delay = ParseSettingInteger(setting("splash_delay_time"));
  options.delay_seconds = delay > 0 ? delay : kDefaultDelaySeconds;
  options.close_by_key = IsSettingOn(setting("splash_close_by_key"));
  options.close_by_mouse = IsSettingOn(setting("splash_close_by_mouse"));
  options.image_name = setting("splash_image");
  return options;
}

std::optional<std::vector<uint8_t>> ReadBookFileWhole(IEbkManager* manager, std::string_view path, size_t max_bytes) {
  if (!manager || path.empty()) return std::nullopt;
  WideString wide = Utf8ToWide(path);
  uint32_t size = 0;
  if (manager->ReadFile(wide.c_str(), nullptr, &size) != S_OK || size == 0 || size > max_bytes) return std::nullopt;
  std::vector<uint8_t> content(size);
  uint32_t length = size;
  if (manager->ReadFile(wide.c_str(), content.data(), &length) != S_OK || length > size) return std::nullopt;
  content.resize(length);
  return content;
}

PictureReader BookPictureReader(IEbkManager* manager) {
  return [held = ComPtr<IEbkManager>(manager)](const std::string& name) { return ReadBookFileWhole(held.get(), name); };
}

PictureReader DiskPictureReader(std::string folder) {
  return [folder = std::move(folder)](const std::string& name) -> std::optional<std::vector<uint8_t>> {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/' || folder.empty()) return ReadDiskFileWhole(name);
    return ReadDiskFileWhole(folder.back() == '/' ? folder + name : folder + "/" + name);
  };
}

CSplashDlg::CSplashDlg(SplashOptions options, PictureReader reader, GtkWindow* owner, std::function<void()> on_close)
    : options_(std::move(options)), reader_(std::move(reader)), owner_(owner), on_close_(std::move(on_close)) {}

CSplashDlg::~CSplashDlg() {
  if (idle_) g_source_remove(idle_);
  idle_ = 0;
  closed_callback_run_ = true;  // a splash torn down early shows nothing any more
  End();
  if (g_current_splash == this) g_current_splash = nullptr;
}

bool CSplashDlg::Open() {
  if (opened_) return false;
  opened_ = true;
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_modal(window, TRUE);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_skip_taskbar_hint(window, TRUE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  if (owner_) gtk_window_set_transient_for(window, owner_);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  gtk_widget_add_events(window_, GDK_KEY_PRESS_MASK | GDK_BUTTON_PRESS_MASK);
  // Presses on the picture bubble up to the window, so one handler serves both.
  gtk_widget_add_events(picture_.widget(), GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(window_, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnWindowDestroy), this);
  picture_.SetSizeFlag(true);
  gtk_container_add(GTK_CONTAINER(window_), picture_.widget());

  std::optional<std::vector<uint8_t>> image = reader_ ? reader_(options_.image_name) : std::nullopt;
  if (!image || !picture_.LoadFromMemory(*image)) {
    ShowMessageBox(window_, "Cannot load splash image!", "Error", kMbIconInformation);
    End();
    return false;
  }

  gtk_widget_show_all(window_);
  picture_.Start();
  tick_ = g_timeout_add(kTickMs, &CSplashDlg::OnTick, this);
  // Let the splash reach the screen before the caller goes back to building the frame.
  bool drawn = false;
  gulong after_draw = g_signal_connect_after(window_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer flag) {
                                               *static_cast<bool*>(flag) = true;
                                               return FALSE;
                                             }),
                                             &drawn);
  const gint64 deadline = g_get_monotonic_time() + kPresentWaitUs;
  while (window_ && !drawn && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  if (window_) g_signal_handler_disconnect(window_, after_draw);
  return true;
}

void CSplashDlg::RequestClose(bool allowed) {
  if (allowed) close_requested_ = true;
}

void CSplashDlg::End() {
  if (ended_) return;
  ended_ = true;
  if (tick_) g_source_remove(tick_);
  tick_ = 0;
  picture_.Stop();
  if (window_) {
    GtkWidget* window = window_;
    window_ = nullptr;
    g_signal_handlers_disconnect_by_data(window, this);
    gtk_widget_destroy(window);
  }
  // The end is reported from the main loop, never from inside Open, so the frame is not re-entered
  // while it is still building.
  if (!closed_callback_run_ && !idle_) idle_ = g_idle_add(&CSplashDlg::OnEndedIdle, this);
}

gboolean CSplashDlg::OnEndedIdle(gpointer data) {
  auto* self = static_cast<CSplashDlg*>(data);
  self->idle_ = 0;
  if (!self->closed_callback_run_) {
    self->closed_callback_run_ = true;
    if (self->on_close_) self->on_close_();
  }
  return G_SOURCE_REMOVE;
}

gboolean CSplashDlg::OnTick(gpointer data) {
  auto* self = static_cast<CSplashDlg*>(data);
  ++self->elapsed_;
  if (self->elapsed_ < self->options_.delay_seconds && !self->close_requested_) return G_SOURCE_CONTINUE;
  self->tick_ = 0;  // removed by the return below
  self->End();
  return G_SOURCE_REMOVE;
}

gboolean CSplashDlg::OnKeyPress(GtkWidget*, GdkEventKey*, gpointer data) {
  auto* self = static_cast<CSplashDlg*>(data);
  self->RequestClose(self->options_.close_by_key);
  return TRUE;
}

gboolean CSplashDlg::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<CSplashDlg*>(data);
  bool click = event->type == GDK_BUTTON_PRESS || event->type == GDK_2BUTTON_PRESS;
  if (click && (event->button == GDK_BUTTON_PRIMARY || event->button == GDK_BUTTON_SECONDARY)) {
    self->RequestClose(self->options_.close_by_mouse);
  }
  return TRUE;
}

gboolean CSplashDlg::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer) {
  return TRUE;  // the splash ends by its own rules, not from the window manager
}

void CSplashDlg::OnWindowDestroy(GtkWidget*, gpointer data) {
  // Destroyed from outside (End disconnects first): end as if the time had run out.
  auto* self = static_cast<CSplashDlg*>(data);
  self->window_ = nullptr;
  self->End();
}

CSplashDlg* StartSplashScreen(const SettingReader& setting, PictureReader reader, GtkWindow* main_window,
                              std::function<void()> show_main_window) {
  delete g_current_splash;  // only a test starts a second one
  g_current_splash = new CSplashDlg(ReadSplashOptions(setting), std::move(reader), main_window,
                                    std::move(show_main_window));
  CSplashDlg* splash = g_current_splash;
  splash->Open();
  return splash;
}

CSplashDlg* CurrentSplashDialog() { return g_current_splash; }

}  // namespace lectern
