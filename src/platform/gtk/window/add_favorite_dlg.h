// The naming dialog of a new bookmark: "Add Bookmark" with one field for the name. It holds the
// page's URL as well, which it does not show.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace lectern {

class CAddFavoriteDlg {
 public:
  static constexpr int kMaxNameLength = 511;
  // The results of DoModal.
  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;

  CAddFavoriteDlg(std::string name, std::string url) : name_(std::move(name)), url_(std::move(url)) {}
  CAddFavoriteDlg(const CAddFavoriteDlg&) = delete;
  CAddFavoriteDlg& operator=(const CAddFavoriteDlg&) = delete;

  // Runs the dialog centred on `parent` (may be null). OK stores the field's text as the name and
  // answers kResultOk; Cancel, Escape or closing the dialog answers kResultCancel.
  int DoModal(GtkWindow* parent);

  const std::string& name() const { return name_; }
  const std::string& url() const { return url_; }

  // While DoModal runs: the dialog, for whoever drives it without a person (tests).
  static CAddFavoriteDlg* Running();
  GtkWidget* dialog() const { return dialog_; }
  GtkEntry* name_field() const { return field_ ? GTK_ENTRY(field_) : nullptr; }
  // Ends the running dialog as its OK or Cancel button would.
  void Respond(int result);

 private:
  std::string name_;
  std::string url_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* field_ = nullptr;
};

}  // namespace lectern
