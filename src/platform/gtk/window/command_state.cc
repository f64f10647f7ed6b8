#include "platform/gtk/window/command_state.h"

#include <algorithm>

namespace lectern {

void CommandState::Register(int command, GtkWidget* widget) {
  Entry& entry = entries_[command];
  entry.widgets.push_back(widget);
  g_object_set_data(G_OBJECT(widget), "lectern-command-state", this);
  g_signal_connect(widget, "destroy", G_CALLBACK(OnWidgetDestroyed), this);
  Apply(entry);
}

void CommandState::OnWidgetDestroyed(GtkWidget* widget, gpointer data) {
  auto* self = static_cast<CommandState*>(data);
  for (auto& [command, entry] : self->entries_) std::erase(entry.widgets, widget);
}

void CommandState::SetCheck(int command, bool checked) {
  Entry& entry = entries_[command];
  entry.checked = checked;
  Apply(entry);
}

void CommandState::Enable(int command, bool enabled) {
  Entry& entry = entries_[command];
  entry.enabled = enabled;
  Apply(entry);
}

bool CommandState::IsChecked(int command) const {
  auto found = entries_.find(command);
  return found != entries_.end() && found->second.checked;
}

bool CommandState::IsEnabled(int command) const {
  auto found = entries_.find(command);
  return found == entries_.end() || found->second.enabled;
}

void CommandState::Apply(Entry& entry) {
  bool was_updating = updating_;
  updating_ = true;
  for (GtkWidget* widget : entry.widgets) {
    gtk_widget_set_sensitive(widget, entry.enabled);
    if (GTK_IS_CHECK_MENU_ITEM(widget)) {
      gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), entry.checked);
    } else if (GTK_IS_TOGGLE_TOOL_BUTTON(widget)) {
      gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(widget), entry.checked);
    } else if (GTK_IS_TOGGLE_BUTTON(widget)) {
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), entry.checked);
    }
  }
  updating_ = was_updating;
}

}  // namespace lectern
