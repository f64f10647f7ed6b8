// The left pane of the window: one of the navigation panes at a time under a caption strip that
// names it, with a small close button. The frame decides when it is shown and which pane.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace lectern {

class SideBar {
 public:
  explicit SideBar(std::function<void()> on_close);
  ~SideBar();
  SideBar(const SideBar&) = delete;
  SideBar& operator=(const SideBar&) = delete;

  GtkWidget* widget() const { return box_; }
  // Appends a pane under its title; the first pane added becomes the selected one.
  void AddPane(GtkWidget* pane, std::string title);
  // Nothing happens for an index out of range or the pane already selected.
  void SelectPane(int index);
  int current_index() const { return current_; }
  int pane_count() const { return int(panes_.size()); }
  std::string caption() const;
  GtkWidget* close_button() const { return close_button_; }

 private:
  struct Pane {
    GtkWidget* widget;
    std::string title;
  };
  GtkWidget* box_ = nullptr;
  GtkWidget* caption_ = nullptr;
  GtkWidget* close_button_ = nullptr;
  GtkWidget* stack_ = nullptr;
  std::vector<Pane> panes_;
  int current_ = -1;
  std::function<void()> on_close_;
};

}  // namespace lectern
