// The search bar: a band under the toolbar with the query field and its history of earlier
// queries, the Search Results button with its drop-down menu, the Search button, and one button
// per word of the query that finds the word's next occurrence in the page.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "panes/search_history.h"
#include "platform/gtk/window/command_state.h"

namespace lectern {

class CSearchBar {
 public:
  static constexpr int kKeywordButtons = 16;
  static constexpr int kFirstKeywordCommand = 200;
  static constexpr int kSeparatorCommand = 100;
  static constexpr size_t kMaxQuery = 1023;
  static constexpr size_t kMaxKeyword = 255;

  // What the bar asks of the frame.
  struct Hooks {
    std::function<void(int command)> command;
    std::function<void(std::string_view text)> status_text;  // "" puts back "Ready"
    std::function<bool()> preview_mode;
    // Starts the search of `query`; `done` runs on the main loop with the number of hits. False
    // when no search was started (one is running already).
    std::function<bool(const std::string& query, std::function<void(size_t hits)> done)> search;
    std::function<void()> show_search_pane;
    // Finds the next occurrence of `word` in the page; `done` tells whether there was one.
    std::function<void(const std::string& word, std::function<void(bool found)> done)> find_next;
    std::function<void()> beep;  // by default the display's bell
  };

  explicit CSearchBar(Hooks hooks);
  ~CSearchBar();
  CSearchBar(const CSearchBar&) = delete;
  CSearchBar& operator=(const CSearchBar&) = delete;

  // Builds the bar and registers its Search Results button with `state`; false when its pictures
  // cannot be loaded.
  bool Create(CommandState& state);
  GtkWidget* widget() const { return toolbar_; }

  // Enter in the query field and the Search command.
  void RunSearch();
  // For the window's key handler, ahead of its accelerators and the field's input method and key
  // bindings: Enter (no modifier) in the query field runs the search at once, and true says the
  // key is used. False, and the key goes on its usual way, for any other key or focus, or while an
  // input method is composing in the field (its Enter belongs to the composition).
  bool TakeEnterKey(GtkWidget* focus, const GdkEventKey* event);
  void ClearHistory();
  const SearchHistory& history() const { return history_; }
  // The entries the field's list shows, the most recent first.
  std::vector<std::string> ListedHistory() const;

  // The query field's text (at most kMaxQuery bytes, whole characters).
  std::string QueryText() const;
  void SetQueryText(std::string_view text);
  // Chooses a history entry as the user does from the field's list.
  void ChooseHistoryEntry(int index);
  GtkWidget* query_entry() const;

  int keyword_count() const { return keyword_count_; }
  GtkToolItem* keyword_button(int index) const { return keywords_[size_t(index)]; }
  GtkToolItem* separator() const { return separator_; }
  std::string KeywordText(int index) const;
  // A click on keyword button `index`.
  void ClickKeyword(int index);

  GtkWidget* results_button() const { return results_button_; }
  GtkWidget* arrow_button() const { return arrow_button_; }
  GtkToolItem* search_button() const { return search_button_; }
  // The drop-down menu, while it is open (and after, until the next one).
  GtkWidget* drop_down_menu() const { return menu_; }
  void PopUpMenu();

 private:
  void UpdateKeywordButtons(std::string_view text);
  static void OnPreeditChanged(GtkEntry*, gchar* preedit, gpointer self);
  void DropMenu();
  void DisconnectWidgets();
  static void OnToolbarDestroyed(GtkWidget*, gpointer self);
  void MirrorHistory();
  GtkWidget* AddPrompt(GtkWidget* widget, int command);
  static void OnTextChanged(GtkComboBox*, gpointer self);
  static void OnActivate(GtkEntry*, gpointer self);
  static gboolean OnEnter(GtkWidget* widget, GdkEventCrossing*, gpointer self);
  static gboolean OnLeave(GtkWidget*, GdkEventCrossing*, gpointer self);

  Hooks hooks_;
  GtkWidget* toolbar_ = nullptr;
  GtkWidget* combo_ = nullptr;
  GtkWidget* results_button_ = nullptr;
  GtkWidget* arrow_button_ = nullptr;
  GtkToolItem* search_button_ = nullptr;
  GtkToolItem* separator_ = nullptr;
  std::array<GtkToolItem*, kKeywordButtons> keywords_{};
  GtkWidget* menu_ = nullptr;
  SearchHistory history_;
  int keyword_count_ = 0;
  bool mirroring_ = false;
  bool composing_ = false;  // an input method has unfinished text in the query field
  // Our handlers are on the bar's widgets until the bar is torn down (with the window, or here).
  bool widgets_connected_ = false;
};

}  // namespace lectern
