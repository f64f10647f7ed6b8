// The reader's button bar: the book's choice of the eleven buttons, icons only, with tooltips and
// status-bar prompts, the Text Size button with its drop-down of five sizes, and the logo at the
// right end of its row (the book's own with its link, or the built-in one).
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/toolbar_buttons.h"
#include "platform/gtk/picture/picture_ex_wnd.h"
#include "platform/gtk/picture/splash_dlg.h"
#include "platform/gtk/window/command_state.h"

namespace lectern {

class CEbkToolBar {
 public:
  // What the bar asks of the frame.
  struct Hooks {
    std::function<void(int command)> command;
    std::function<void(std::string_view text)> status_text;  // "" puts back "Ready"
    std::function<int()> text_size;                          // 0 smallest .. 4 largest
    std::function<void(int size)> set_text_size;
  };
  // Buttons addressed by the frame.
  enum Button : int { kContents = 0, kBookmarks = 1, kFullScreen = 2, kPrint = 3, kBack = 4, kForward = 5 };

  explicit CEbkToolBar(Hooks hooks);
  ~CEbkToolBar();
  CEbkToolBar(const CEbkToolBar&) = delete;
  CEbkToolBar& operator=(const CEbkToolBar&) = delete;

  // Loads the logo: the book's own (`customized_logo`, `logo_image` read through `pictures`) when
  // it can, else the built-in one. The book's logo takes `logo_url` and `logo_tooltip`.
  void LoadLogo(const SettingReader& setting, const PictureReader& pictures);
  // Builds the row from the `tbo_` settings and registers the toggle buttons with `state`. True
  // also when every button is hidden: row() is then null and there is no bar.
  bool Create(const SettingReader& setting, CommandState& state);
  // Back and Forward follow the view's history from now on: after each load and on a short timer
  // that ends with the row.
  void AttachView(WebKitWebView* view);
  // Starts the logo's animation (or draws it once).
  void StartLogo();

  // The row: the bar with the logo at its right end; null without buttons.
  GtkWidget* row() const { return row_; }
  GtkWidget* toolbar() const { return toolbar_; }

  // Nothing happens (false, for the queries) for a button the bar does not show.
  void EnableButton(Button button, bool enabled);
  bool IsButtonEnabled(Button button) const;
  void CheckButton(Button button, bool checked);
  bool IsButtonChecked(int command) const;
  // The tool item of a command; null when it is not shown.
  GtkToolItem* ItemOf(int command) const;

  // The logo and what it links to.
  CPictureExWnd& logo() { return logo_; }
  GtkWidget* logo_widget() const { return logo_box_; }
  bool customized_logo() const { return customized_logo_; }
  const std::string& logo_link() const { return logo_link_; }
  const std::string& logo_tooltip() const { return logo_tooltip_; }
  // Opens the logo's link; by default the desktop's handler for it. Tests replace it.
  void SetLinkLauncher(std::function<void(const std::string& uri)> launcher) { launcher_ = std::move(launcher); }
  // The Text Size drop-down, rebuilt each time it opens, with the view's size checked.
  GtkWidget* text_size_menu() const { return text_size_menu_; }

  // Sets Back and Forward from the view's history now.
  void UpdateHistoryButtons();

 private:
  struct Entry {
    ToolbarButton button;
    GtkToolItem* item;
  };
  GtkToolItem* MakeItem(const ToolbarButton& button);
  GtkToolItem* ItemOfButton(Button button) const;
  void FillTextSizeMenu();
  void ForgetRow();
  static gboolean OnHistoryTimer(gpointer self);
  static void OnItemClicked(GtkToolButton* item, gpointer self);
  static gboolean OnButtonEnter(GtkWidget* widget, GdkEventCrossing*, gpointer self);
  static gboolean OnButtonLeave(GtkWidget* widget, GdkEventCrossing*, gpointer self);
  static gboolean OnLogoPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static void OnLogoRealize(GtkWidget* widget, gpointer self);

  Hooks hooks_;
  GtkWidget* row_ = nullptr;
  GtkWidget* toolbar_ = nullptr;
  GtkWidget* logo_box_ = nullptr;  // event box with the framed picture
  GtkWidget* text_size_menu_ = nullptr;
  std::vector<Entry> entries_;
  CPictureExWnd logo_;
  bool customized_logo_ = false;
  std::string logo_link_;
  std::string logo_tooltip_;
  std::function<void(const std::string&)> launcher_;
  bool filling_menu_ = false;
  GObject* web_view_ = nullptr;  // weak
  gulong load_handler_ = 0;
  guint history_timer_ = 0;
};

}  // namespace lectern
