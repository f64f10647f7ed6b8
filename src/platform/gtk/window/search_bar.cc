#include "platform/gtk/window/search_bar.h"

#include <algorithm>
#include <string>
#include <vector>

#include "panes/query_words.h"
#include "platform/gtk/window/icons.h"
#include "platform/gtk/window/mnemonic.h"
#include "platform/message_box.h"
#include "resources/menus.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

constexpr int kCmdSearchPane = 3005;
constexpr int kCmdSearch = 3017;
constexpr const char* kSearchImage = "searchbar-search";     // picture 7 of the strip
constexpr const char* kResultsImage = "searchbar-results";   // picture 8
constexpr const char* kKeywordImage = "searchbar-keyword";   // picture 9

int CommandOf(gpointer widget) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "lectern-command")); }
void SetCommand(gpointer widget, int command) {
  g_object_set_data(G_OBJECT(widget), "lectern-command", GINT_TO_POINTER(command));
}

// At most `limit` bytes of `text`, ending on a whole UTF-8 character.
std::string Clip(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

}  // namespace

CSearchBar::CSearchBar(Hooks hooks) : hooks_(std::move(hooks)) {
  if (!hooks_.beep) hooks_.beep = [] { gdk_display_beep(gdk_display_get_default()); };
}

CSearchBar::~CSearchBar() {
  DropMenu();
  if (!toolbar_) return;
  DisconnectWidgets();
  g_signal_handlers_disconnect_by_data(toolbar_, this);
  gtk_widget_destroy(toolbar_);
  g_object_unref(toolbar_);
}

// The handlers belong to this object, and the widgets may outlive it in a window being torn down;
// but when the window goes first it takes them along, so they are let go while they still live.
void CSearchBar::DisconnectWidgets() {
  if (!widgets_connected_) return;
  widgets_connected_ = false;
  g_signal_handlers_disconnect_by_data(combo_, this);
  g_signal_handlers_disconnect_by_data(gtk_bin_get_child(GTK_BIN(combo_)), this);
  g_signal_handlers_disconnect_by_data(results_button_, this);
  g_signal_handlers_disconnect_by_data(arrow_button_, this);
  g_signal_handlers_disconnect_by_data(search_button_, this);
  for (GtkToolItem* keyword : keywords_) g_signal_handlers_disconnect_by_data(keyword, this);
}

// Runs before the toolbar's own clean-up destroys its children.
void CSearchBar::OnToolbarDestroyed(GtkWidget*, gpointer self) { static_cast<CSearchBar*>(self)->DisconnectWidgets(); }

GtkWidget* CSearchBar::AddPrompt(GtkWidget* widget, int command) {
  SetCommand(widget, command);
  gtk_widget_set_tooltip_text(widget, std::string(CommandTooltip(command)).c_str());
  g_signal_connect(widget, "enter-notify-event", G_CALLBACK(OnEnter), this);
  g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnLeave), this);
  return widget;
}

bool CSearchBar::Create(CommandState& state) {
  GdkPixbuf* pictures[] = {LoadIcon(kSearchImage), LoadIcon(kResultsImage), LoadIcon(kKeywordImage)};
  bool loaded = pictures[0] && pictures[1] && pictures[2];
  for (GdkPixbuf* picture : pictures)
    if (picture) g_object_unref(picture);
  if (!loaded) return false;

  toolbar_ = gtk_toolbar_new();
  g_object_ref_sink(toolbar_);
  GtkToolbar* toolbar = GTK_TOOLBAR(toolbar_);
  gtk_toolbar_set_style(toolbar, GTK_TOOLBAR_BOTH_HORIZ);
  gtk_toolbar_set_icon_size(toolbar, GTK_ICON_SIZE_SMALL_TOOLBAR);
  gtk_toolbar_set_show_arrow(toolbar, FALSE);
  gtk_widget_set_name(toolbar_, "search-bar");

  // 0: Search Results, a check button with the drop-down arrow beside it.
  GtkToolItem* results = gtk_tool_item_new();
  GtkWidget* pair = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  results_button_ = gtk_toggle_button_new();
  gtk_button_set_relief(GTK_BUTTON(results_button_), GTK_RELIEF_NONE);
  gtk_button_set_image(GTK_BUTTON(results_button_), IconImage(kResultsImage));
  AddPrompt(results_button_, kCmdSearchPane);
  arrow_button_ = gtk_button_new_from_icon_name("pan-down-symbolic", GTK_ICON_SIZE_MENU);
  gtk_button_set_relief(GTK_BUTTON(arrow_button_), GTK_RELIEF_NONE);
  gtk_box_pack_start(GTK_BOX(pair), results_button_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(pair), arrow_button_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(results), pair);
  SetCommand(results, kCmdSearchPane);
  gtk_toolbar_insert(toolbar, results, -1);
  g_signal_connect_swapped(results_button_, "toggled", G_CALLBACK(+[](gpointer self) {
                             // The state table sets the button too; only the user's click is a command.
                             if (CommandState::updating()) return;
                             auto* bar = static_cast<CSearchBar*>(self);
                             if (bar->hooks_.command) bar->hooks_.command(kCmdSearchPane);
                           }),
                           this);
  g_signal_connect_swapped(arrow_button_, "clicked",
                           G_CALLBACK(+[](gpointer self) { static_cast<CSearchBar*>(self)->PopUpMenu(); }), this);
  state.Register(kCmdSearchPane, results_button_);

  // 1: the query field, as wide as the room the bar keeps for it.
  GtkToolItem* field = gtk_tool_item_new();
  combo_ = gtk_combo_box_text_new_with_entry();
  GtkWidget* probe = gtk_label_new(std::string(LoadString(kStrQueryFieldRoom)).c_str());
  int room = 0;
  gtk_widget_get_preferred_width(probe, nullptr, &room);
  g_object_ref_sink(probe);
  g_object_unref(probe);
  gtk_widget_set_size_request(combo_, room + 24, -1);
  gtk_widget_set_valign(combo_, GTK_ALIGN_CENTER);
  gtk_widget_set_margin_start(combo_, 3);
  gtk_widget_set_margin_end(combo_, 3);
  gtk_container_add(GTK_CONTAINER(field), combo_);
  gtk_toolbar_insert(toolbar, field, -1);
  g_signal_connect(combo_, "changed", G_CALLBACK(OnTextChanged), this);
  g_signal_connect(gtk_bin_get_child(GTK_BIN(combo_)), "activate", G_CALLBACK(OnActivate), this);
  g_signal_connect(gtk_bin_get_child(GTK_BIN(combo_)), "preedit-changed", G_CALLBACK(OnPreeditChanged), this);

  // 2: Search.
  search_button_ = gtk_tool_button_new(IconImage(kSearchImage), nullptr);
  AddPrompt(gtk_bin_get_child(GTK_BIN(search_button_)), kCmdSearch);
  SetCommand(search_button_, kCmdSearch);
  gtk_toolbar_insert(toolbar, search_button_, -1);
  g_signal_connect_swapped(search_button_, "clicked",
                           G_CALLBACK(+[](gpointer self) { static_cast<CSearchBar*>(self)->RunSearch(); }), this);

  // 3: the separator and 4 to 19: the keyword buttons, hidden until the query has words. They
  // stay out of the window's show-all.
  separator_ = gtk_separator_tool_item_new();
  SetCommand(separator_, kSeparatorCommand);
  gtk_widget_set_no_show_all(GTK_WIDGET(separator_), TRUE);
  gtk_toolbar_insert(toolbar, separator_, -1);
  for (int i = 0; i < kKeywordButtons; ++i) {
    GtkToolItem* keyword = gtk_tool_button_new(IconImage(kKeywordImage), "");
    gtk_tool_button_set_use_underline(GTK_TOOL_BUTTON(keyword), FALSE);
    gtk_tool_item_set_is_important(keyword, TRUE);
    SetCommand(keyword, kFirstKeywordCommand + i);
    gtk_widget_show_all(GTK_WIDGET(keyword));
    gtk_widget_hide(GTK_WIDGET(keyword));
    gtk_widget_set_no_show_all(GTK_WIDGET(keyword), TRUE);
    gtk_toolbar_insert(toolbar, keyword, -1);
    g_signal_connect(keyword, "clicked", G_CALLBACK(+[](GtkToolButton* button, gpointer self) {
                       static_cast<CSearchBar*>(self)->ClickKeyword(CommandOf(button) - kFirstKeywordCommand);
                     }),
                     this);
    keywords_[size_t(i)] = keyword;
  }
  widgets_connected_ = true;
  g_signal_connect(toolbar_, "destroy", G_CALLBACK(OnToolbarDestroyed), this);
  return true;
}

GtkWidget* CSearchBar::query_entry() const { return combo_ ? gtk_bin_get_child(GTK_BIN(combo_)) : nullptr; }

std::string CSearchBar::QueryText() const {
  GtkWidget* entry = query_entry();
  return entry ? Clip(gtk_entry_get_text(GTK_ENTRY(entry)), kMaxQuery) : std::string();
}

void CSearchBar::SetQueryText(std::string_view text) {
  if (GtkWidget* entry = query_entry()) gtk_entry_set_text(GTK_ENTRY(entry), std::string(text).c_str());
}

void CSearchBar::ChooseHistoryEntry(int index) {
  if (combo_) gtk_combo_box_set_active(GTK_COMBO_BOX(combo_), index);
}

void CSearchBar::RunSearch() {
  if (!toolbar_) return;
  if (hooks_.preview_mode && hooks_.preview_mode()) {
    GtkWidget* top = gtk_widget_get_toplevel(toolbar_);
    ShowMessageBox(gtk_widget_is_toplevel(top) ? top : nullptr, LoadString(kStrNotInPreviewMode),
                   LoadString(kStrInformation), kMbOk);
    return;
  }
  std::string query = QueryText();
  if (query.empty()) {
    hooks_.beep();
    return;
  }
  // One search at a time: the window stays usable while one runs, Enter included.
  auto done = [this, query](size_t hits) {
    // The same query again leaves the list as it is, and its menu is not rebuilt.
    if (history_.Add(query)) MirrorHistory();
    if (hits == 0) {
      hooks_.beep();
      return;
    }
    if (hooks_.show_search_pane) hooks_.show_search_pane();
  };
  if (!hooks_.search || !hooks_.search(query, done)) hooks_.beep();
}

void CSearchBar::ClearHistory() {
  history_.Clear();
  MirrorHistory();
}

void CSearchBar::MirrorHistory() {
  if (!combo_) return;
  // Rebuilding the list leaves the text being edited alone.
  mirroring_ = true;
  std::string text = gtk_entry_get_text(GTK_ENTRY(query_entry()));
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo_));
  for (const std::string& entry : history_.entries()) {
    gchar* shown = g_utf8_make_valid(entry.data(), gssize(entry.size()));
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo_), shown);
    g_free(shown);
  }
  if (text != gtk_entry_get_text(GTK_ENTRY(query_entry()))) gtk_entry_set_text(GTK_ENTRY(query_entry()), text.c_str());
  mirroring_ = false;
}

std::vector<std::string> CSearchBar::ListedHistory() const {
  std::vector<std::string> listed;
  if (!combo_) return listed;
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo_));
  GtkTreeIter iter;
  int column = gtk_combo_box_get_entry_text_column(GTK_COMBO_BOX(combo_));
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, column, &text, -1);
    listed.push_back(text ? text : "");
    g_free(text);
  }
  return listed;
}

void CSearchBar::UpdateKeywordButtons(std::string_view text) {
  std::vector<std::string> words = text.empty() ? std::vector<std::string>() : SplitQueryWords(text);
  if (words.empty()) {
    gtk_widget_hide(GTK_WIDGET(separator_));
    for (GtkToolItem* keyword : keywords_) gtk_widget_hide(GTK_WIDGET(keyword));
    keyword_count_ = 0;
    return;
  }
  gtk_widget_show(GTK_WIDGET(separator_));
  int count = int(std::min(words.size(), size_t(kKeywordButtons)));
  for (int i = count; i < keyword_count_; ++i) gtk_widget_hide(GTK_WIDGET(keywords_[size_t(i)]));
  for (int i = 0; i < count; ++i) {
    gchar* label = g_utf8_make_valid(words[size_t(i)].data(), gssize(words[size_t(i)].size()));
    gtk_tool_button_set_label(GTK_TOOL_BUTTON(keywords_[size_t(i)]), label);
    g_free(label);
    gtk_widget_show(GTK_WIDGET(keywords_[size_t(i)]));
  }
  keyword_count_ = count;
}

std::string CSearchBar::KeywordText(int index) const {
  if (index < 0 || index >= kKeywordButtons || !keywords_[size_t(index)]) return {};
  const gchar* label = gtk_tool_button_get_label(GTK_TOOL_BUTTON(keywords_[size_t(index)]));
  return label ? Clip(label, kMaxKeyword) : std::string();
}

void CSearchBar::ClickKeyword(int index) {
  std::string word = KeywordText(index);
  if (word.empty() || !hooks_.find_next) return;
  hooks_.find_next(word, [this](bool found) {
    if (!found) hooks_.beep();
  });
}

void CSearchBar::DropMenu() {
  if (!menu_) return;
  // Held by us: the window may have destroyed it with the button it was attached to.
  gtk_widget_destroy(menu_);
  g_object_unref(menu_);
  menu_ = nullptr;
}

void CSearchBar::PopUpMenu() {
  DropMenu();
  menu_ = gtk_menu_new();
  g_object_ref_sink(menu_);
  for (const MenuEntry& entry : SearchBarDropDownMenu()) {
    if (entry.kind == MenuEntry::Kind::kSeparator) {
      gtk_menu_shell_append(GTK_MENU_SHELL(menu_), gtk_separator_menu_item_new());
      continue;
    }
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(MnemonicLabel(entry.text).c_str());
    SetCommand(item, entry.command);
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* chosen, gpointer self) {
                       auto* bar = static_cast<CSearchBar*>(self);
                       if (bar->hooks_.command) bar->hooks_.command(CommandOf(chosen));
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
  }
  gtk_widget_show_all(menu_);
  gtk_menu_attach_to_widget(GTK_MENU(menu_), results_button_, nullptr);
  // Its top left corner at the lower left corner of the Search Results button.
  if (gtk_widget_get_window(results_button_)) {
    gtk_menu_popup_at_widget(GTK_MENU(menu_), results_button_, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST,
                             nullptr);
  }
}

void CSearchBar::OnTextChanged(GtkComboBox* combo, gpointer data) {
  auto* self = static_cast<CSearchBar*>(data);
  if (self->mirroring_) return;
  GtkWidget* entry = gtk_bin_get_child(GTK_BIN(combo));
  self->UpdateKeywordButtons(Clip(gtk_entry_get_text(GTK_ENTRY(entry)), kMaxQuery));
}

void CSearchBar::OnActivate(GtkEntry*, gpointer data) { static_cast<CSearchBar*>(data)->RunSearch(); }

void CSearchBar::OnPreeditChanged(GtkEntry*, gchar* preedit, gpointer data) {
  static_cast<CSearchBar*>(data)->composing_ = preedit && *preedit;
}

bool CSearchBar::TakeEnterKey(GtkWidget* focus, const GdkEventKey* event) {
  if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter && event->keyval != GDK_KEY_ISO_Enter)
    return false;
  if (event->state & gtk_accelerator_get_default_mod_mask()) return false;
  if (!focus || focus != query_entry() || composing_) return false;
  // The same search the field's activation starts; taken here, it skips the window's passes over
  // its accelerators, mnemonics and key bindings, which cost more than drawing the list.
  RunSearch();
  return true;
}

gboolean CSearchBar::OnEnter(GtkWidget* widget, GdkEventCrossing*, gpointer data) {
  auto* self = static_cast<CSearchBar*>(data);
  if (self->hooks_.status_text) self->hooks_.status_text(CommandPrompt(CommandOf(widget)));
  return FALSE;
}

gboolean CSearchBar::OnLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
  auto* self = static_cast<CSearchBar*>(data);
  if (self->hooks_.status_text) self->hooks_.status_text("");
  return FALSE;
}

}  // namespace lectern
