#include "platform/gtk/window/side_bar.h"

#include "platform/gtk/window/icons.h"

namespace lectern {

SideBar::SideBar(std::function<void()> on_close) : on_close_(std::move(on_close)) {
  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_ref_sink(box_);
  GtkWidget* strip = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  caption_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(caption_), 0);
  gtk_label_set_ellipsize(GTK_LABEL(caption_), PANGO_ELLIPSIZE_END);
  gtk_widget_set_margin_start(caption_, 6);
  gtk_box_pack_start(GTK_BOX(strip), caption_, TRUE, TRUE, 0);
  close_button_ = gtk_button_new();
  gtk_button_set_image(GTK_BUTTON(close_button_), IconImage("sidebar-close", 12));
  gtk_button_set_relief(GTK_BUTTON(close_button_), GTK_RELIEF_NONE);
  gtk_widget_set_focus_on_click(close_button_, FALSE);
  g_signal_connect(close_button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     auto* bar = static_cast<SideBar*>(self);
                     if (bar->on_close_) bar->on_close_();
                   }),
                   this);
  gtk_box_pack_end(GTK_BOX(strip), close_button_, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(box_), strip, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box_), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  stack_ = gtk_stack_new();
  gtk_box_pack_start(GTK_BOX(box_), stack_, TRUE, TRUE, 0);
  gtk_widget_show_all(box_);
  gtk_widget_set_no_show_all(box_, TRUE);
}

SideBar::~SideBar() {
  gtk_widget_destroy(box_);
  g_object_unref(box_);
}

void SideBar::AddPane(GtkWidget* pane, std::string title) {
  gtk_widget_show_all(pane);
  gtk_stack_add_named(GTK_STACK(stack_), pane, title.c_str());
  panes_.push_back({pane, std::move(title)});
  if (current_ < 0) {
    current_ = 0;
    gtk_stack_set_visible_child(GTK_STACK(stack_), pane);
    gtk_label_set_text(GTK_LABEL(caption_), panes_[0].title.c_str());
  }
}

void SideBar::SelectPane(int index) {
  if (index < 0 || index >= pane_count() || index == current_) return;
  current_ = index;
  gtk_stack_set_visible_child(GTK_STACK(stack_), panes_[size_t(index)].widget);
  gtk_label_set_text(GTK_LABEL(caption_), panes_[size_t(index)].title.c_str());
}

std::string SideBar::caption() const { return gtk_label_get_text(GTK_LABEL(caption_)); }

}  // namespace lectern
