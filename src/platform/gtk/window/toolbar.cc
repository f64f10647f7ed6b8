#include "platform/gtk/window/toolbar.h"

#include <webkit2/webkit2.h>

#include "book/book_settings.h"
#include "platform/gtk/window/icons.h"
#include "resources/menus.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

// How often Back and Forward look at the history between loads.
constexpr guint kHistoryIntervalMs = 250;

// The pictures of the bar's strip, by image index.
const char* ImageName(int image) {
  switch (image) {
    case 0: return "toolbar-back";
    case 1: return "toolbar-forward";
    case 2: return "toolbar-stop";
    case 3: return "toolbar-refresh";
    case 4: return "toolbar-home";
    case 6: return "toolbar-bookmarks";
    case 7: return "toolbar-print";
    case 8: return "toolbar-textsize";
    case 9: return "toolbar-fullscreen";
    case 10: return "toolbar-contents";
    case 11: return "toolbar-exit";
    default: return "";
  }
}

int CommandOf(gpointer object) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(object), "lectern-command")); }

int CommandOfButton(CEbkToolBar::Button button) {
  switch (button) {
    case CEbkToolBar::kContents: return 3016;
    case CEbkToolBar::kBookmarks: return 3006;
    case CEbkToolBar::kFullScreen: return 3014;
    case CEbkToolBar::kPrint: return 3007;
    case CEbkToolBar::kBack: return 3000;
    case CEbkToolBar::kForward: return 3001;
  }
  return 0;
}

void LaunchWithDesktop(const std::string& uri) {
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
    g_warning("cannot open %s: %s", uri.c_str(), error ? error->message : "no handler");
    g_clear_error(&error);
  }
}

}  // namespace

CEbkToolBar::CEbkToolBar(Hooks hooks) : hooks_(std::move(hooks)), launcher_(LaunchWithDesktop) {}

CEbkToolBar::~CEbkToolBar() {
  if (web_view_) {
    if (load_handler_) g_signal_handler_disconnect(web_view_, load_handler_);
    g_object_remove_weak_pointer(web_view_, reinterpret_cast<gpointer*>(&web_view_));
  }
  if (row_) {
    GtkWidget* row = row_;
    gtk_widget_destroy(row);  // ForgetRow runs from its "destroy"
  }
}

void CEbkToolBar::LoadLogo(const SettingReader& setting, const PictureReader& pictures) {
  customized_logo_ = false;
  logo_link_.clear();
  logo_tooltip_.clear();
  if (IsSettingOn(setting("customized_logo"))) {
    std::string name = setting("logo_image");
    if (!name.empty() && pictures) {
      std::optional<std::vector<uint8_t>> bytes = pictures(name);
      customized_logo_ = bytes && !bytes->empty() && logo_.LoadFromMemory(*bytes);
    }
  }
  // A book's picture that is missing or no picture gives way to the built-in logo, silently.
  if (!customized_logo_) {
    logo_.LoadFromResource("VELLUM_LOGO_BITMAP", "BMP");
    return;
  }
  logo_link_ = setting("logo_url");
  logo_tooltip_ = LogoTooltip(logo_link_, setting("logo_tooltip"));
}

GtkToolItem* CEbkToolBar::MakeItem(const ToolbarButton& button) {
  GtkWidget* icon = IconImage(ImageName(button.image), 16);
  GtkToolItem* item = nullptr;
  if (button.drop_down) {
    item = gtk_menu_tool_button_new(icon, nullptr);
    text_size_menu_ = gtk_menu_new();
    gtk_menu_tool_button_set_menu(GTK_MENU_TOOL_BUTTON(item), text_size_menu_);
    FillTextSizeMenu();
    gtk_menu_tool_button_set_arrow_tooltip_text(GTK_MENU_TOOL_BUTTON(item), std::string(CommandTooltip(button.command)).c_str());
    g_signal_connect_swapped(item, "show-menu", G_CALLBACK(+[](gpointer self) {
                               static_cast<CEbkToolBar*>(self)->FillTextSizeMenu();
                             }),
                             this);
  } else if (button.toggle) {
    item = gtk_toggle_tool_button_new();
    gtk_tool_button_set_icon_widget(GTK_TOOL_BUTTON(item), icon);
  } else {
    item = gtk_tool_button_new(icon, nullptr);
  }
  g_object_set_data(G_OBJECT(item), "lectern-command", GINT_TO_POINTER(button.command));
  gtk_tool_item_set_tooltip_text(item, std::string(CommandTooltip(button.command)).c_str());
  g_signal_connect(item, "clicked", G_CALLBACK(OnItemClicked), this);
  gtk_widget_set_sensitive(GTK_WIDGET(item), button.enabled);
  // The book's "greyed" lives on the button inside the item, where no state the frame sets on the
  // item can lift it.
  if (GtkWidget* inner = gtk_bin_get_child(GTK_BIN(item))) {
    if (button.locked) gtk_widget_set_sensitive(inner, FALSE);
    // The button itself, or the box of a button with an arrow: each part shows the prompt.
    std::vector<GtkWidget*> parts = {inner};
    if (GTK_IS_CONTAINER(inner) && !GTK_IS_BUTTON(inner)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(inner));
      parts.clear();
      for (GList* c = children; c; c = c->next) parts.push_back(GTK_WIDGET(c->data));
      g_list_free(children);
    }
    for (GtkWidget* part : parts) {
      g_object_set_data(G_OBJECT(part), "lectern-command", GINT_TO_POINTER(button.command));
      g_signal_connect(part, "enter-notify-event", G_CALLBACK(OnButtonEnter), this);
      g_signal_connect(part, "leave-notify-event", G_CALLBACK(OnButtonLeave), this);
    }
  }
  return item;
}

bool CEbkToolBar::Create(const SettingReader& setting, CommandState& state) {
  std::vector<ToolbarButton> buttons = BookToolbarButtons(setting);
  if (buttons.empty()) return true;
  toolbar_ = gtk_toolbar_new();
  row_ = toolbar_;
  g_object_ref_sink(row_);
  gtk_toolbar_set_style(GTK_TOOLBAR(toolbar_), GTK_TOOLBAR_ICONS);
  gtk_toolbar_set_icon_size(GTK_TOOLBAR(toolbar_), GTK_ICON_SIZE_SMALL_TOOLBAR);
  for (const ToolbarButton& button : buttons) {
    GtkToolItem* item = MakeItem(button);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), item, -1);
    entries_.push_back({button, item});
    if (button.toggle) state.Register(button.command, GTK_WIDGET(item));
  }
  // The logo at the right end: a spacer takes what the buttons leave.
  GtkToolItem* spacer = gtk_separator_tool_item_new();
  gtk_separator_tool_item_set_draw(GTK_SEPARATOR_TOOL_ITEM(spacer), FALSE);
  gtk_tool_item_set_expand(spacer, TRUE);
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), spacer, -1);
  GtkToolItem* logo_item = gtk_tool_item_new();
  logo_box_ = gtk_event_box_new();
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
  gtk_widget_set_valign(frame, GTK_ALIGN_CENTER);
  gtk_container_add(GTK_CONTAINER(frame), logo_.widget());
  gtk_container_add(GTK_CONTAINER(logo_box_), frame);
  gtk_container_add(GTK_CONTAINER(logo_item), logo_box_);
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), logo_item, -1);
  if (!logo_link_.empty()) {
    gtk_widget_set_tooltip_text(logo_box_, logo_tooltip_.c_str());
    gtk_widget_add_events(logo_box_, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(logo_box_, "button-press-event", G_CALLBACK(OnLogoPress), this);
    g_signal_connect(logo_box_, "realize", G_CALLBACK(OnLogoRealize), this);
  }
  g_signal_connect_swapped(row_, "destroy", G_CALLBACK(+[](gpointer self) {
                             static_cast<CEbkToolBar*>(self)->ForgetRow();
                           }),
                           this);
  gtk_widget_show_all(row_);
  return true;
}

void CEbkToolBar::ForgetRow() {
  if (history_timer_) g_source_remove(history_timer_);
  history_timer_ = 0;
  entries_.clear();
  GtkWidget* row = row_;
  row_ = toolbar_ = logo_box_ = text_size_menu_ = nullptr;
  if (row) g_object_unref(row);
}

void CEbkToolBar::OnLogoRealize(GtkWidget* widget, gpointer) {
  GdkCursor* hand = gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer");
  if (hand) {
    gdk_window_set_cursor(gtk_widget_get_window(widget), hand);
    g_object_unref(hand);
  }
}

gboolean CEbkToolBar::OnLogoPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<CEbkToolBar*>(data);
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY || self->logo_link_.empty()) return FALSE;
  if (self->launcher_) self->launcher_(self->logo_link_);
  return TRUE;
}

void CEbkToolBar::AttachView(WebKitWebView* view) {
  if (!view || web_view_) return;
  web_view_ = G_OBJECT(view);
  g_object_add_weak_pointer(web_view_, reinterpret_cast<gpointer*>(&web_view_));
  load_handler_ = g_signal_connect_swapped(view, "load-changed", G_CALLBACK(+[](gpointer self) {
                                             static_cast<CEbkToolBar*>(self)->UpdateHistoryButtons();
                                           }),
                                           this);
  if (row_ && !history_timer_) history_timer_ = g_timeout_add(kHistoryIntervalMs, OnHistoryTimer, this);
}

gboolean CEbkToolBar::OnHistoryTimer(gpointer data) {
  static_cast<CEbkToolBar*>(data)->UpdateHistoryButtons();
  return G_SOURCE_CONTINUE;
}

void CEbkToolBar::UpdateHistoryButtons() {
  if (!web_view_ || !row_) return;
  WebKitWebView* view = WEBKIT_WEB_VIEW(web_view_);
  EnableButton(kBack, webkit_web_view_can_go_back(view));
  EnableButton(kForward, webkit_web_view_can_go_forward(view));
}

void CEbkToolBar::StartLogo() {
  if (logo_.loaded()) logo_.Start();
}

GtkToolItem* CEbkToolBar::ItemOf(int command) const {
  for (const Entry& entry : entries_)
    if (entry.button.command == command) return entry.item;
  return nullptr;
}

GtkToolItem* CEbkToolBar::ItemOfButton(Button button) const { return ItemOf(CommandOfButton(button)); }

void CEbkToolBar::EnableButton(Button button, bool enabled) {
  if (GtkToolItem* item = ItemOfButton(button)) gtk_widget_set_sensitive(GTK_WIDGET(item), enabled);
}

bool CEbkToolBar::IsButtonEnabled(Button button) const {
  GtkToolItem* item = ItemOfButton(button);
  if (!item || !gtk_widget_get_sensitive(GTK_WIDGET(item))) return false;
  GtkWidget* inner = gtk_bin_get_child(GTK_BIN(item));
  return !inner || gtk_widget_get_sensitive(inner);
}

void CEbkToolBar::CheckButton(Button button, bool checked) {
  if (button != kContents && button != kBookmarks && button != kFullScreen) return;
  GtkToolItem* item = ItemOfButton(button);
  if (!item || !GTK_IS_TOGGLE_TOOL_BUTTON(item)) return;
  // Setting the mark clicks the button; that is no command.
  g_object_set_data(G_OBJECT(item), "lectern-setting", GINT_TO_POINTER(1));
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(item), checked);
  g_object_set_data(G_OBJECT(item), "lectern-setting", nullptr);
}

bool CEbkToolBar::IsButtonChecked(int command) const {
  GtkToolItem* item = ItemOf(command);
  return item && GTK_IS_TOGGLE_TOOL_BUTTON(item) && gtk_toggle_tool_button_get_active(GTK_TOGGLE_TOOL_BUTTON(item));
}

void CEbkToolBar::OnItemClicked(GtkToolButton* item, gpointer data) {
  if (CommandState::updating() || g_object_get_data(G_OBJECT(item), "lectern-setting")) return;
  auto* self = static_cast<CEbkToolBar*>(data);
  if (self->hooks_.command) self->hooks_.command(CommandOf(item));
}

gboolean CEbkToolBar::OnButtonEnter(GtkWidget* widget, GdkEventCrossing*, gpointer data) {
  auto* self = static_cast<CEbkToolBar*>(data);
  if (self->hooks_.status_text) self->hooks_.status_text(CommandPrompt(CommandOf(widget)));
  return FALSE;
}

gboolean CEbkToolBar::OnButtonLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
  auto* self = static_cast<CEbkToolBar*>(data);
  if (self->hooks_.status_text) self->hooks_.status_text("");
  return FALSE;
}

void CEbkToolBar::FillTextSizeMenu() {
  if (!text_size_menu_) return;
  filling_menu_ = true;
  GList* old = gtk_container_get_children(GTK_CONTAINER(text_size_menu_));
  for (GList* item = old; item; item = item->next) gtk_widget_destroy(GTK_WIDGET(item->data));
  g_list_free(old);
  int current = hooks_.text_size ? hooks_.text_size() : -1;
  for (const MenuEntry& entry : TextSizeMenu()) {
    if (entry.kind != MenuEntry::Kind::kItem) continue;
    GtkWidget* item = gtk_check_menu_item_new_with_label(entry.text);
    gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(item), TRUE);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), entry.command == current);
    g_object_set_data(G_OBJECT(item), "lectern-command", GINT_TO_POINTER(entry.command));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* chosen, gpointer self) {
                       auto* bar = static_cast<CEbkToolBar*>(self);
                       if (bar->filling_menu_ || !bar->hooks_.set_text_size) return;
                       bar->hooks_.set_text_size(CommandOf(chosen));
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(text_size_menu_), item);
    gtk_widget_show(item);
  }
  filling_menu_ = false;
}

}  // namespace lectern
