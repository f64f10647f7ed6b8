// What the bars, panes and dialogs of the window need of the frame. The frame implements it;
// tests can stand in for it.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "book/ebk_manager.h"

namespace lectern {

class Project;

class PaneHost {
 public:
  virtual bool preview_mode() const = 0;
  // The book setting (or, in Preview Mode, the project's answer for it); empty when unset.
  virtual std::string Setting(std::string_view key) = 0;
  // Archive mode's book; null in Preview Mode. No reference is added.
  virtual IEbkManager* BookManager() = 0;
  // Preview Mode's project; null in archive mode.
  virtual const Project* BookProject() const = 0;
  // The page shown now, in the book's URL forms, and its title.
  virtual std::string CurrentUrl() = 0;
  virtual std::string CurrentTitle() = 0;
  virtual void Navigate(std::string_view url) = 0;
  // Opens a bookmark's page; a frame may also bring back where on the page it was added.
  virtual void OpenBookmarkUrl(std::string_view url) { Navigate(url); }
  // Runs a frame command, as the menu does.
  virtual void OnCommand(int command) = 0;
  // The window dialogs belong to; null before it exists.
  virtual GtkWindow* Toplevel() = 0;
  // The book's folder for what the reader keeps between runs.
  virtual const std::string& working_folder() const = 0;

 protected:
  ~PaneHost() = default;
};

}  // namespace lectern
