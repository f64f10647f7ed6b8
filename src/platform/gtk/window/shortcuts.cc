#include "platform/gtk/window/shortcuts.h"

#include <gdk/gdkkeysyms.h>

#include <string>

#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

constexpr auto kNone = GdkModifierType(0);
constexpr auto kAlt = GDK_MOD1_MASK;
constexpr auto kControl = GDK_CONTROL_MASK;
constexpr auto kShift = GDK_SHIFT_MASK;
using A = ShortcutAction;

constexpr Shortcut kShortcuts[] = {
    {GDK_KEY_Left, kAlt, A::kCommand, kCmdBack, kStrShortcutsPages, kStrShortcutBack, "<Alt>Left"},
    {GDK_KEY_Right, kAlt, A::kCommand, kCmdForward, kStrShortcutsPages, kStrShortcutForward, "<Alt>Right"},
    {GDK_KEY_Home, kAlt, A::kCommand, kCmdHome, kStrShortcutsPages, kStrShortcutHome, "<Alt>Home"},
    {GDK_KEY_F5, kNone, A::kCommand, kCmdRefresh, kStrShortcutsPages, kStrShortcutRefresh, "F5"},
    {GDK_KEY_d, kControl, A::kCommand, kCmdAddBookmark, kStrShortcutsPages, kStrShortcutAddBookmark, "<Control>d"},
    {GDK_KEY_F11, kNone, A::kCommand, kCmdFullScreen, kStrShortcutsWindow, kStrShortcutFullScreen, "F11"},
    {GDK_KEY_Escape, kNone, A::kLeaveFullScreen, 0, kStrShortcutsWindow, kStrShortcutLeaveFullScreen, "Escape"},
    {GDK_KEY_plus, kControl, A::kTextLarger, 0, kStrShortcutsText, kStrShortcutLarger, "<Control>plus"},
    // Ctrl++ is typed as Ctrl+= or Ctrl+Shift+= on most layouts.
    {GDK_KEY_equal, kControl, A::kTextLarger, 0, kStrShortcutsText, 0, nullptr},
    {GDK_KEY_plus, GdkModifierType(kControl | kShift), A::kTextLarger, 0, kStrShortcutsText, 0, nullptr},
    {GDK_KEY_minus, kControl, A::kTextSmaller, 0, kStrShortcutsText, kStrShortcutSmaller, "<Control>minus"},
    {GDK_KEY_0, kControl, A::kTextMedium, 0, kStrShortcutsText, kStrShortcutMedium, "<Control>0"},
    {GDK_KEY_f, kControl, A::kFocusSearch, 0, kStrShortcutsSearch, kStrShortcutSearchField, "<Control>f"},
    {GDK_KEY_F3, kNone, A::kFindNext, 0, kStrShortcutsSearch, kStrShortcutFindNext, "F3"},
    {GDK_KEY_F3, kShift, A::kFindPrevious, 0, kStrShortcutsSearch, kStrShortcutFindPrevious, "<Shift>F3"},
};

guint MainKey(guint key) {
  switch (key) {
    case GDK_KEY_KP_Add: return GDK_KEY_plus;
    case GDK_KEY_KP_Subtract: return GDK_KEY_minus;
    case GDK_KEY_KP_0: case GDK_KEY_KP_Insert: return GDK_KEY_0;
    case GDK_KEY_KP_Left: return GDK_KEY_Left;
    case GDK_KEY_KP_Right: return GDK_KEY_Right;
    case GDK_KEY_KP_Home: return GDK_KEY_Home;
    default: return gdk_keyval_to_lower(key);
  }
}

std::string Text(int id) { return std::string(LoadString(id)); }

}  // namespace

std::span<const Shortcut> ReaderShortcuts() { return kShortcuts; }

const Shortcut* MatchShortcut(const GdkEventKey* event) {
  auto state = GdkModifierType(event->state & (kControl | kShift | kAlt));
  guint key = MainKey(event->keyval);
  for (const Shortcut& shortcut : kShortcuts)
    if (shortcut.key == key && shortcut.modifiers == state) return &shortcut;
  return nullptr;
}

GtkWidget* NewShortcutsWindow(GtkWindow* parent) {
  GtkWidget* window = GTK_WIDGET(g_object_new(GTK_TYPE_SHORTCUTS_WINDOW, "modal", TRUE, "title",
                                              Text(kStrShortcutsTitle).c_str(), nullptr));
  if (parent) gtk_window_set_transient_for(GTK_WINDOW(window), parent);
  GtkWidget* section = GTK_WIDGET(g_object_new(GTK_TYPE_SHORTCUTS_SECTION, "section-name", "reader", "title",
                                               Text(kStrShortcutsTitle).c_str(), "visible", TRUE, nullptr));
  GtkWidget* group = nullptr;
  int group_id = 0;
  for (const Shortcut& shortcut : kShortcuts) {
    if (!shortcut.title_id) continue;
    if (shortcut.group_id != group_id) {
      group_id = shortcut.group_id;
      group = GTK_WIDGET(g_object_new(GTK_TYPE_SHORTCUTS_GROUP, "title", Text(group_id).c_str(), "visible", TRUE,
                                      nullptr));
      gtk_container_add(GTK_CONTAINER(section), group);
    }
    GtkWidget* item = GTK_WIDGET(g_object_new(GTK_TYPE_SHORTCUTS_SHORTCUT, "accelerator", shortcut.accelerator,
                                              "title", Text(shortcut.title_id).c_str(), "visible", TRUE, nullptr));
    gtk_container_add(GTK_CONTAINER(group), item);
  }
  gtk_container_add(GTK_CONTAINER(window), section);
  return window;
}

}  // namespace lectern
