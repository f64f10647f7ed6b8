#include "platform/gtk/window/info_dlg.h"

#include "platform/gtk/picture/picture_resources.h"
#include "platform/gtk/window/html_dlg.h"
#include "platform/gtk/window/icons.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

CEbkInfoDlg* g_active = nullptr;

// The field names' colour, weight and face.
constexpr uint32_t kFieldNameColor = 0x004080;
constexpr const char* kFieldNameFace = "tahoma";

// Where the dialog's parts stand, in dialog units.
constexpr int kDialogWidth = 275, kDialogHeight = 186;
constexpr int kNameColumn = 75, kValueColumn = 107;

guint16 Channel16(uint32_t rgb, int shift) { return guint16(((rgb >> shift) & 0xFF) * 257); }

void OpenWithDesktop(const std::string& link) {
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(link.c_str(), nullptr, &error)) {
    g_warning("cannot open %s: %s", link.c_str(), error ? error->message : "no application");
    g_clear_error(&error);
  }
}

}  // namespace

CLabel::CLabel(std::string_view text) {
  label_ = gtk_label_new(std::string(text).c_str());
  g_object_ref_sink(label_);
  gtk_label_set_xalign(GTK_LABEL(label_), 0.0f);
  Apply();
}

CLabel::~CLabel() { g_object_unref(label_); }

void CLabel::SetTextColor(uint32_t rgb) {
  text_color_ = rgb;
  Apply();
}

void CLabel::SetBackgroundColor(uint32_t rgb) {
  background_ = rgb;
  transparent_ = false;
  Apply();
}

void CLabel::SetTransparent(bool transparent) {
  transparent_ = transparent;
  Apply();
}

void CLabel::SetFontName(std::string face) {
  face_ = std::move(face);
  Apply();
}

void CLabel::SetFontSize(int points) {
  points_ = points;
  Apply();
}

void CLabel::SetFontWeight(int weight) {
  weight_ = weight;
  Apply();
}

void CLabel::Apply() {
  // The label redraws itself, and the part of its parent under it, when its attributes change.
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_foreground_new(Channel16(text_color_, 16), Channel16(text_color_, 8),
                                                               Channel16(text_color_, 0)));
  if (!transparent_) {
    pango_attr_list_insert(attributes, pango_attr_background_new(Channel16(background_, 16), Channel16(background_, 8),
                                                                 Channel16(background_, 0)));
  }
  if (!face_.empty()) pango_attr_list_insert(attributes, pango_attr_family_new(face_.c_str()));
  if (points_ > 0) pango_attr_list_insert(attributes, pango_attr_size_new(points_ * PANGO_SCALE));
  pango_attr_list_insert(attributes, pango_attr_weight_new(PangoWeight(weight_)));
  gtk_label_set_attributes(GTK_LABEL(label_), attributes);
  pango_attr_list_unref(attributes);
}

CEbkInfoDlg::CEbkInfoDlg(BookInfoTexts texts, PictureReader pictures, std::function<void(const std::string&)> open_link)
    : texts_(std::move(texts)), pictures_(std::move(pictures)), open_link_(std::move(open_link)) {
  if (!open_link_) open_link_ = OpenWithDesktop;
}

CEbkInfoDlg::~CEbkInfoDlg() {
  if (dialog_) gtk_widget_destroy(dialog_);
}

CEbkInfoDlg* CEbkInfoDlg::Active() { return g_active; }

GtkWidget* CEbkInfoDlg::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

CLabel* CEbkInfoDlg::FieldLabel(int id) const {
  auto it = labels_.find(id);
  return it == labels_.end() ? nullptr : it->second.get();
}

std::string CEbkInfoDlg::ControlText(int id) const {
  GtkWidget* control = Control(id);
  if (!control) return {};
  if (GTK_IS_LABEL(control)) return gtk_label_get_text(GTK_LABEL(control));
  if (GTK_IS_SCROLLED_WINDOW(control)) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtk_bin_get_child(GTK_BIN(control))));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
  }
  return {};
}

std::string CEbkInfoDlg::LinkTarget(int id) const {
  auto it = links_.find(id);
  return it == links_.end() ? std::string() : it->second;
}

GtkWidget* CEbkInfoDlg::AddStatic(int id, int x, int y, const std::string& text) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  gtk_widget_set_size_request(label, DialogUnits(kDialogWidth - x - 8), -1);
  gtk_fixed_put(GTK_FIXED(fixed_), label, DialogUnits(x), DialogUnits(y));
  controls_[id] = label;
  return label;
}

GtkWidget* CEbkInfoDlg::AddLink(int id, int x, int y, const std::string& link) {
  GtkWidget* label = AddStatic(id, x, y, link);
  links_[id] = link;
  if (link.empty()) return label;
  gchar* escaped = g_markup_escape_text(link.c_str(), -1);
  std::string markup = std::string("<a href=\"") + escaped + "\">" + escaped + "</a>";
  g_free(escaped);
  gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
  gtk_label_set_track_visited_links(GTK_LABEL(label), FALSE);
  g_signal_connect(label, "activate-link", G_CALLBACK(OnActivateLink), this);
  return label;
}

void CEbkInfoDlg::AddFieldLabel(int id, int x, int y, int text_id) {
  auto label = std::make_unique<CLabel>(LoadString(text_id));
  label->SetTextColor(kFieldNameColor);
  label->SetFontBold(true);
  label->SetFontName(kFieldNameFace);
  gtk_fixed_put(GTK_FIXED(fixed_), label->widget(), DialogUnits(x), DialogUnits(y));
  controls_[id] = label->widget();
  labels_[id] = std::move(label);
}

gboolean CEbkInfoDlg::OnActivateLink(GtkLabel*, gchar* uri, gpointer self) {
  // The target is the link text itself, which the label's markup carries as its href.
  static_cast<CEbkInfoDlg*>(self)->open_link_(uri);
  return TRUE;
}

void CEbkInfoDlg::Build() {
  dialog_ = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog_), std::string(LoadString(kStrInfoDialogTitle)).c_str());
  gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
  gtk_container_set_border_width(GTK_CONTAINER(dialog_), 0);
  gtk_container_set_border_width(GTK_CONTAINER(area), 0);
  fixed_ = gtk_fixed_new();
  gtk_widget_set_size_request(fixed_, DialogUnits(kDialogWidth), DialogUnits(kDialogHeight));
  gtk_box_pack_start(GTK_BOX(area), fixed_, TRUE, TRUE, 0);

  // The banner: the book's picture when it names one and it loads, else the built-in one. A
  // picture that cannot be read leaves the banner empty.
  banner_ = std::make_unique<CPictureExWnd>();
  banner_->SetSizeFlag(false);
  gtk_widget_set_size_request(banner_->widget(), DialogUnits(kDialogWidth), DialogUnits(48));
  bool loaded = false;
  if (!texts_.banner_image.empty()) {
    if (auto bytes = pictures_ ? pictures_(texts_.banner_image) : std::nullopt) loaded = banner_->LoadFromMemory(*bytes);
  } else {
    loaded = banner_->LoadFromResource("251", "GIF");
  }
  gtk_fixed_put(GTK_FIXED(fixed_), banner_->widget(), 0, DialogUnits(1));
  controls_[kBanner] = banner_->widget();
  if (loaded) banner_->Start();

  for (int y : {0, 50, 167}) {
    GtkWidget* line = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_widget_set_size_request(line, DialogUnits(kDialogWidth), -1);
    gtk_fixed_put(GTK_FIXED(fixed_), line, 0, DialogUnits(y));
  }

  GtkWidget* picture_edge = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(picture_edge), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(picture_edge), IconImage("info-book", DialogUnits(17)));
  gtk_widget_set_size_request(picture_edge, DialogUnits(18), DialogUnits(17));
  gtk_fixed_put(GTK_FIXED(fixed_), picture_edge, DialogUnits(21), DialogUnits(73));
  controls_[kPicture] = picture_edge;

  AddFieldLabel(kNameLabel, kNameColumn, 56, kStrInfoName);
  AddStatic(kName, kValueColumn, 56, texts_.name);
  AddFieldLabel(kIdLabel, kNameColumn, 66, kStrInfoId);
  AddStatic(kId, kValueColumn, 66, texts_.id);
  AddFieldLabel(kAuthorLabel, kNameColumn, 76, kStrInfoAuthor);
  AddStatic(kAuthor, kValueColumn, 76, texts_.author);
  AddFieldLabel(kHomeLabel, kNameColumn, 86, kStrInfoHome);
  AddLink(kHome, kValueColumn, 86, texts_.home);
  AddFieldLabel(kEmailLabel, kNameColumn, 96, kStrInfoEmail);
  AddLink(kEmail, kValueColumn, 96, texts_.email);
  AddFieldLabel(kDateLabel, kNameColumn, 106, kStrInfoDate);
  AddStatic(kDate, kValueColumn, 106, texts_.date);

  // Read-only, scrolling, on the dialog's own background.
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  GtkWidget* other = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(other), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(other), GTK_WRAP_WORD_CHAR);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(other)), texts_.other_info.c_str(), -1);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "textview, textview text { background-color: @theme_bg_color; }", -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(other), GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  gtk_container_add(GTK_CONTAINER(scroller), other);
  gtk_widget_set_size_request(scroller, DialogUnits(185), DialogUnits(40));
  gtk_fixed_put(GTK_FIXED(fixed_), scroller, DialogUnits(74), DialogUnits(117));
  controls_[kOtherInfo] = scroller;

  GtkWidget* copyright = AddStatic(kCopyright, 10, 173, texts_.copyright);
  gtk_widget_set_size_request(copyright, DialogUnits(247), DialogUnits(9));
}

int CEbkInfoDlg::DoModal(GtkWindow* owner) {
  Build();
  if (owner) gtk_window_set_transient_for(GTK_WINDOW(dialog_), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog_), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_widget_show_all(dialog_);
  outer_ = g_active;
  g_active = this;
  // No buttons: only Esc or the close box end it.
  gtk_dialog_run(GTK_DIALOG(dialog_));
  g_active = outer_;
  banner_->Stop();
  gtk_widget_destroy(dialog_);
  dialog_ = nullptr;
  fixed_ = nullptr;
  controls_.clear();
  labels_.clear();
  return kIdCancel;
}

}  // namespace lectern
