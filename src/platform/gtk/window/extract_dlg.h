// The dialog that copies one stored file of the book to a file on disk the user names.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "book/ebk_manager.h"

namespace lectern {

class CExtractFileDlg {
 public:
  // Control ids the dialog's parts answer to (Control()).
  enum : int { kSourceText = 1057, kTargetEdit = 1058, kBrowseButton = 1022, kExtractButton = 1, kCancelButton = 2 };

  // `manager` is the open book (null in Preview Mode, where nothing can be extracted).
  explicit CExtractFileDlg(IEbkManager* manager) : manager_(manager) {}
  CExtractFileDlg(const CExtractFileDlg&) = delete;
  CExtractFileDlg& operator=(const CExtractFileDlg&) = delete;

  // The stored file's book path, as page script names it.
  void SetSourcePath(std::string path) { source_ = std::move(path); }
  const std::string& source_path() const { return source_; }

  // Runs modally over `owner`: kIdOk once the file has been written whole, kIdCancel otherwise.
  // Every failure is told in a message box and leaves the dialog open.
  int DoModal(GtkWindow* owner);

  // While DoModal runs: the dialog and its parts by control id; null otherwise.
  GtkWidget* dialog() const { return dialog_; }
  GtkWidget* Control(int id) const;
  // The file chooser of the browse button while it is open; null otherwise.
  GtkWidget* chooser() const { return chooser_; }
  static CExtractFileDlg* Active();

 private:
  // The Extract button: true when the dialog may close.
  bool OnExtract();
  void OnBrowse();

  IEbkManager* manager_;
  std::string source_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* source_text_ = nullptr;
  GtkWidget* target_edit_ = nullptr;
  GtkWidget* browse_button_ = nullptr;
  GtkWidget* extract_button_ = nullptr;
  GtkWidget* cancel_button_ = nullptr;
  GtkWidget* chooser_ = nullptr;
  CExtractFileDlg* outer_ = nullptr;
};

// Turns a filter text of "name|pattern|name|pattern|" pairs into the chooser's filters; "*.*"
// means every file, as it does where such filters come from.
void AddFileFilters(GtkFileChooser* chooser, std::string_view filters);

}  // namespace lectern
