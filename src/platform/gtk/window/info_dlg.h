// The reader's built-in book information dialog, filled from the book settings, and the label
// with its own colour and font that names its fields.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "frame/book_info.h"
#include "platform/gtk/picture/picture_ex_wnd.h"
#include "platform/gtk/picture/splash_dlg.h"

namespace lectern {

// A text label whose colours and font the program sets; each change applies at once.
class CLabel {
 public:
  explicit CLabel(std::string_view text);
  ~CLabel();
  CLabel(const CLabel&) = delete;
  CLabel& operator=(const CLabel&) = delete;

  GtkWidget* widget() const { return label_; }

  // 0xRRGGBB.
  void SetTextColor(uint32_t rgb);
  void SetBackgroundColor(uint32_t rgb);
  void SetTransparent(bool transparent);
  void SetFontName(std::string face);
  void SetFontSize(int points);
  // 700 bold, 400 normal.
  void SetFontBold(bool bold) { SetFontWeight(bold ? 700 : 400); }
  void SetFontWeight(int weight);

  uint32_t text_color() const { return text_color_; }
  int font_weight() const { return weight_; }
  const std::string& font_name() const { return face_; }

 private:
  void Apply();

  GtkWidget* label_;
  uint32_t text_color_ = 0x000000;
  uint32_t background_ = 0xFFFFFF;
  bool transparent_ = true;
  std::string face_;
  int points_ = 0;  // 0: the theme's size
  int weight_ = 400;
};

class CEbkInfoDlg {
 public:
  // Control ids of the dialog's parts (Control()).
  enum : int {
    kBanner = 1069, kPicture = 1067,
    kNameLabel = 1054, kName = 1053, kIdLabel = 1044, kId = 1041, kAuthorLabel = 1045, kAuthor = 1034,
    kHomeLabel = 1046, kHome = 1035, kEmailLabel = 1047, kEmail = 1036, kDateLabel = 1048, kDate = 1038,
    kOtherInfo = 1042, kCopyright = 1043,
  };

  // `pictures` reads the banner the book names (book paths in archive mode, files in Preview
  // Mode). Links open through `open_link`; without one, with the desktop's default application.
  CEbkInfoDlg(BookInfoTexts texts, PictureReader pictures, std::function<void(const std::string&)> open_link = {});
  ~CEbkInfoDlg();
  CEbkInfoDlg(const CEbkInfoDlg&) = delete;
  CEbkInfoDlg& operator=(const CEbkInfoDlg&) = delete;

  // Runs modally over `owner` until Esc or the close box: always kIdCancel.
  int DoModal(GtkWindow* owner);

  // While DoModal runs: the dialog and its parts by control id; null otherwise.
  GtkWidget* dialog() const { return dialog_; }
  GtkWidget* Control(int id) const;
  // The visible text of a static, link or the other-info box.
  std::string ControlText(int id) const;
  // A link's target; empty for anything else.
  std::string LinkTarget(int id) const;
  CLabel* FieldLabel(int id) const;
  CPictureExWnd* banner() const { return banner_.get(); }
  static CEbkInfoDlg* Active();

 private:
  void Build();
  GtkWidget* AddStatic(int id, int x, int y, const std::string& text);
  GtkWidget* AddLink(int id, int x, int y, const std::string& link);
  void AddFieldLabel(int id, int x, int y, int text_id);
  static gboolean OnActivateLink(GtkLabel*, gchar* uri, gpointer self);

  BookInfoTexts texts_;
  PictureReader pictures_;
  std::function<void(const std::string&)> open_link_;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  std::unique_ptr<CPictureExWnd> banner_;
  std::map<int, GtkWidget*> controls_;
  std::map<int, std::unique_ptr<CLabel>> labels_;
  std::map<int, std::string> links_;
  CEbkInfoDlg* outer_ = nullptr;
};

}  // namespace lectern
