// The plain about box that names the reader program itself.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace lectern {

class CAboutDlg {
 public:
  enum : int { kMakerLink = 1056, kOkButton = 1 };

  // The maker's link opens through `open_link`; without one, with the desktop's default application.
  explicit CAboutDlg(std::function<void(const std::string&)> open_link = {});
  CAboutDlg(const CAboutDlg&) = delete;
  CAboutDlg& operator=(const CAboutDlg&) = delete;

  // Runs modally over `owner`: kIdOk from the OK button, kIdCancel from Esc or the close box.
  int DoModal(GtkWindow* owner);

  // While DoModal runs: the dialog and its parts; null otherwise.
  GtkWidget* dialog() const { return dialog_; }
  GtkWidget* Control(int id) const;
  // Every text the box shows, top to bottom.
  std::vector<std::string> Texts() const;
  static CAboutDlg* Active();

 private:
  std::function<void(const std::string&)> open_link_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* link_ = nullptr;
  GtkWidget* ok_ = nullptr;
  std::vector<GtkWidget*> texts_;
  CAboutDlg* outer_ = nullptr;
};

}  // namespace lectern
