// Check and enable states of the frame's commands, kept once per id and shown by every widget
// registered for it (check menu items, toolbar toggle buttons, plain items), so a check mark set
// here reaches the menu and the buttons alike.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <vector>

namespace lectern {

class CommandState {
 public:
  CommandState() = default;
  CommandState(const CommandState&) = delete;
  CommandState& operator=(const CommandState&) = delete;

  // `widget` shows the state of `command` from now on, until it is destroyed.
  void Register(int command, GtkWidget* widget);
  void SetCheck(int command, bool checked);
  void Enable(int command, bool enabled);
  // Unknown commands are enabled and unchecked.
  bool IsChecked(int command) const;
  bool IsEnabled(int command) const;
  // True while widgets are being set: their "toggled" and "activate" handlers must then not run
  // the command again.
  static bool updating() { return updating_; }

 private:
  struct Entry {
    bool checked = false;
    bool enabled = true;
    std::vector<GtkWidget*> widgets;
  };
  void Apply(Entry& entry);
  static void OnWidgetDestroyed(GtkWidget* widget, gpointer data);

  std::map<int, Entry> entries_;
  static inline bool updating_ = false;
};

}  // namespace lectern
