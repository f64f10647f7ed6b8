#include "platform/gtk/window/about_dlg.h"

#include "platform/gtk/window/icons.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

CAboutDlg* g_active = nullptr;

void OpenWithDesktop(const std::string& link) {
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(link.c_str(), nullptr, &error)) {
    g_warning("cannot open %s: %s", link.c_str(), error ? error->message : "no application");
    g_clear_error(&error);
  }
}

}  // namespace

CAboutDlg::CAboutDlg(std::function<void(const std::string&)> open_link) : open_link_(std::move(open_link)) {
  if (!open_link_) open_link_ = OpenWithDesktop;
}

CAboutDlg* CAboutDlg::Active() { return g_active; }

GtkWidget* CAboutDlg::Control(int id) const {
  switch (id) {
    case kMakerLink: return link_;
    case kOkButton: return ok_;
    default: return nullptr;
  }
}

std::vector<std::string> CAboutDlg::Texts() const {
  std::vector<std::string> texts;
  for (GtkWidget* label : texts_) texts.emplace_back(gtk_label_get_text(GTK_LABEL(label)));
  return texts;
}

int CAboutDlg::DoModal(GtkWindow* owner) {
  std::string program(LoadString(kStrProgramName));
  dialog_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog_), FormatString(LoadString(kStrAboutProgramTitle), program).c_str());
  if (owner) gtk_window_set_transient_for(GTK_WINDOW(dialog_), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog_), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 14);
  GtkWidget* picture = IconImage("info-book", 34);
  gtk_widget_set_valign(picture, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(row), picture, FALSE, FALSE, 0);
  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_box_pack_start(GTK_BOX(row), column, TRUE, TRUE, 0);
  auto add_text = [&](const std::string& text, bool bold) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    if (bold) {
      PangoAttrList* attributes = pango_attr_list_new();
      pango_attr_list_insert(attributes, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
      gtk_label_set_attributes(GTK_LABEL(label), attributes);
      pango_attr_list_unref(attributes);
    }
    gtk_box_pack_start(GTK_BOX(column), label, FALSE, FALSE, 0);
    texts_.push_back(label);
    return label;
  };
  add_text(program + " " + std::string(LoadString(kStrVersion)), true);
  add_text(std::string(LoadString(kStrAboutDescription)), false);
  add_text(std::string(LoadString(kStrAboutCopyright)), false);
  std::string site(LoadString(kStrMakerSite));
  gchar* escaped = g_markup_escape_text(site.c_str(), -1);
  std::string markup = std::string("<a href=\"") + escaped + "\">" + escaped + "</a>";
  g_free(escaped);
  link_ = add_text(site, false);
  gtk_label_set_markup(GTK_LABEL(link_), markup.c_str());
  gtk_label_set_track_visited_links(GTK_LABEL(link_), FALSE);
  g_signal_connect(link_, "activate-link", G_CALLBACK(+[](GtkLabel*, gchar* uri, gpointer self) -> gboolean {
                     static_cast<CAboutDlg*>(self)->open_link_(uri);
                     return TRUE;
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog_))), row, TRUE, TRUE, 0);
  ok_ = gtk_dialog_add_button(GTK_DIALOG(dialog_), std::string(LoadString(kStrOk)).c_str(), kIdOk);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog_), kIdOk);
  gtk_widget_show_all(dialog_);
  gtk_widget_grab_focus(ok_);

  outer_ = g_active;
  g_active = this;
  int response = gtk_dialog_run(GTK_DIALOG(dialog_));
  g_active = outer_;
  gtk_widget_destroy(dialog_);
  dialog_ = link_ = ok_ = nullptr;
  texts_.clear();
  return response == kIdOk ? kIdOk : kIdCancel;
}

}  // namespace lectern
