// The reader's keys beyond the book's accelerator table: history, reload, full screen, the search
// field and find-next, text size and bookmarks, each as the browsers people know have them; and
// the window under Help that lists them.
#pragma once

#include <gtk/gtk.h>

#include <span>

namespace lectern {

enum class ShortcutAction {
  kCommand,         // sends `command` to the frame
  kLeaveFullScreen,  // only while the window is full screen
  kFocusSearch,
  kFindNext,
  kFindPrevious,
  kTextLarger,
  kTextSmaller,
  kTextMedium,
};

struct Shortcut {
  guint key;
  GdkModifierType modifiers;
  ShortcutAction action;
  int command;          // for kCommand
  int group_id;         // the string of its group in the window
  int title_id;         // the string saying what it does; 0 for a second key of the same thing
  const char* accelerator;  // as the shortcuts window shows it
};

std::span<const Shortcut> ReaderShortcuts();
// The shortcut `event` presses (Shift, Control and Alt must match; the keypad's keys count as
// the main ones), or null.
const Shortcut* MatchShortcut(const GdkEventKey* event);

// A GtkShortcutsWindow listing every shortcut by group, for `parent`.
GtkWidget* NewShortcutsWindow(GtkWindow* parent);

}  // namespace lectern
