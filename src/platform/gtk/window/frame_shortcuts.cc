// The frame's side of the reader's keys: what each one does to the window, the view and the
// search.
#include <algorithm>

#include "platform/gtk/window/main_frame.h"
#include "platform/gtk/window/shortcuts.h"

namespace lectern {

bool GtkMainFrame::RunShortcut(const GdkEventKey* event) {
  const Shortcut* shortcut = MatchShortcut(event);
  if (!shortcut || !view_) return false;
  switch (shortcut->action) {
    case ShortcutAction::kCommand:
      OnCommand(shortcut->command);
      return true;
    case ShortcutAction::kLeaveFullScreen:
      if (!full_screen_) return false;  // Escape keeps its meaning everywhere else
      ToggleFullScreen();
      return true;
    case ShortcutAction::kFocusSearch:
      if (!search_bar_) return false;
      gtk_widget_grab_focus(search_bar_->query_entry());
      return true;
    case ShortcutAction::kFindNext:
    case ShortcutAction::kFindPrevious: {
      if (!highlighter_) return false;
      std::string text = highlighter_->last_find_text();
      if (text.empty() && search_bar_) text = search_bar_->QueryText();
      highlighter_->FindNext(text, {}, shortcut->action == ShortcutAction::kFindPrevious);
      return true;
    }
    case ShortcutAction::kTextLarger:
      view_->SetTextSize(std::min(view_->GetTextSize() + 1, 4));
      return true;
    case ShortcutAction::kTextSmaller:
      view_->SetTextSize(std::max(view_->GetTextSize() - 1, 0));
      return true;
    case ShortcutAction::kTextMedium:
      view_->SetTextSize(2);
      return true;
  }
  return false;
}

void GtkMainFrame::ShowShortcuts() {
  GtkWidget* window = NewShortcutsWindow(GTK_WINDOW(window_));
  // The window frees itself when closed.
  gtk_widget_show(window);
  shortcuts_window_ = window;
  g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer frame) {
                     static_cast<GtkMainFrame*>(frame)->shortcuts_window_ = nullptr;
                   }),
                   this);
}

}  // namespace lectern
