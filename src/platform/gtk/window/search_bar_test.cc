// The search bar of the real window on packed books: the history of queries, the keyword buttons,
// Enter and the Search button, the drop-down menu, the Search Results button and Preview Mode.
#include "platform/gtk/window/search_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

class SearchBarTest : public ::testing::Test {
 protected:
  std::string Write(std::map<std::string, std::string> extra = {}) {
    TestBook book;
    book.files = {
        {"index.htm", "<html><head><title>Start</title></head><body>The quick brown fox</body></html>"},
        {"two.htm", "<html><head><title>Two</title></head><body>a brown dog and a fox</body></html>"},
        {"three.htm", "<html><head><title>Three</title></head><body>nothing much</body></html>"},
    };
    book.settings = {{"bookname", "Bar Book"}, {"enable_menubar", "true"}, {"enable_toolbar", "true"},
                     {"enable_statusbar", "true"}, {"enable_searchbar", "true"}};
    for (auto& [key, value] : extra) book.settings[key] = value;
    std::string path = dir.Join("book" + std::to_string(++count_) + ".ebk");
    EXPECT_TRUE(WriteTestBook(path, book));
    return path;
  }

  // Opens and shows the book, its start page loaded.
  void Open(GtkMainFrame& frame, const std::string& path) {
    ASSERT_TRUE(frame.Create(path));
    ASSERT_NE(frame.search_bar(), nullptr);
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }

  // Types `query` and presses Enter in the field, then waits for the search to end.
  void Search(GtkMainFrame& frame, const std::string& query) {
    CSearchBar* bar = frame.search_bar();
    bar->SetQueryText(query);
    PressEnter(bar);
    ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); })) << query;
  }

  static void PressEnter(CSearchBar* bar) {
    GtkWidget* entry = bar->query_entry();
    gtk_widget_grab_focus(entry);
    GdkEvent* event = KeyEvent(entry, GDK_KEY_Return, GdkModifierType(0));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }

  static std::vector<std::string> VisibleKeywords(const CSearchBar& bar) {
    std::vector<std::string> words;
    for (int i = 0; i < CSearchBar::kKeywordButtons; ++i)
      if (gtk_widget_get_visible(GTK_WIDGET(bar.keyword_button(i)))) words.push_back(bar.KeywordText(i));
    return words;
  }

  TempDir dir;
  int count_ = 0;
};

TEST_F(SearchBarTest, HistoryKeepsSixteenQueriesMostRecentFirst) {
  GtkMainFrame frame;
  Open(frame, Write());
  CSearchBar* bar = frame.search_bar();
  for (int i = 1; i <= 17; ++i) Search(frame, "query" + std::to_string(i));
  std::vector<std::string> listed = bar->ListedHistory();
  ASSERT_EQ(listed.size(), 16u);
  EXPECT_EQ(listed.front(), "query17");
  EXPECT_EQ(listed.back(), "query2");
  // The same query in another case moves up and keeps the new spelling.
  Search(frame, "QUERY5");
  listed = bar->ListedHistory();
  ASSERT_EQ(listed.size(), 16u);
  EXPECT_EQ(listed.front(), "QUERY5");
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "query5"), 0);
  EXPECT_EQ(listed.back(), "query2");
  // Choosing an entry puts its text in the field and its words on the buttons.
  bar->ChooseHistoryEntry(1);
  EXPECT_EQ(bar->QueryText(), "query17");
  EXPECT_EQ(VisibleKeywords(*bar), std::vector<std::string>{"query17"});
  // The drop-down menu's first item empties the list.
  gtk_widget_show_all(frame.window());
  bar->PopUpMenu();
  ASSERT_NE(bar->drop_down_menu(), nullptr);
  GList* items = gtk_container_get_children(GTK_CONTAINER(bar->drop_down_menu()));
  ASSERT_EQ(g_list_length(items), 4u);
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(items->data)), "_Clear Search History");
  EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_list_nth_data(items, 1)));
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(g_list_nth_data(items, 3))), "_Toggle Keywords Highlight");
  gtk_menu_item_activate(GTK_MENU_ITEM(items->data));
  g_list_free(items);
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(bar->drop_down_menu()));
  EXPECT_TRUE(bar->ListedHistory().empty());
  EXPECT_EQ(bar->history().size(), 0u);
  EXPECT_EQ(bar->QueryText(), "query17") << "clearing the list leaves the field alone";
}

TEST_F(SearchBarTest, KeywordButtonsFollowTheText) {
  GtkMainFrame frame;
  Open(frame, Write());
  CSearchBar* bar = frame.search_bar();
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(bar->separator())));
  EXPECT_TRUE(VisibleKeywords(*bar).empty()) << "show-all leaves the hidden buttons hidden";

  std::string twenty;
  for (int i = 1; i <= 20; ++i) {
    twenty += 'w';
    twenty += std::to_string(i);
    twenty += ' ';
  }
  twenty.pop_back();
  bar->SetQueryText(twenty);
  std::vector<std::string> shown = VisibleKeywords(*bar);
  ASSERT_EQ(shown.size(), 16u);
  EXPECT_EQ(shown.front(), "w1");
  EXPECT_EQ(shown.back(), "w16");
  EXPECT_EQ(bar->keyword_count(), 16);

  bar->SetQueryText("fox \"brown dog\" cat");
  EXPECT_EQ(VisibleKeywords(*bar), (std::vector<std::string>{"fox", "brown dog", "cat"}));
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(bar->separator())));
  // Blanks at the end give a last button without text.
  bar->SetQueryText("fox ");
  EXPECT_EQ(VisibleKeywords(*bar), (std::vector<std::string>{"fox", ""}));
  bar->SetQueryText("");
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(bar->separator())));
  EXPECT_TRUE(VisibleKeywords(*bar).empty());
  EXPECT_EQ(bar->keyword_count(), 0);
  SaveWindowSnapshot(frame.window(), ArtefactPath("search-bar-empty.png"));
}

TEST_F(SearchBarTest, EnterSearchesAndEmptyOnlyBeeps) {
  GtkMainFrame frame;
  Open(frame, Write());
  CSearchBar* bar = frame.search_bar();
  bar->SetQueryText("");
  PressEnter(bar);
  EXPECT_FALSE(frame.search_running());
  EXPECT_TRUE(bar->history().entries().empty());

  Search(frame, "brown fox");
  EXPECT_EQ(frame.search_pane()->row_count(), 2);
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->current_index(), kSearchPane);
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  EXPECT_TRUE(frame.command_state().IsChecked(kCmdSearchPane));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(bar->results_button())));
  // The Search Results button then closes the side bar, and opens it again.
  gtk_button_clicked(GTK_BUTTON(bar->results_button()));
  EXPECT_FALSE(frame.side_bar_visible());
  EXPECT_FALSE(frame.command_state().IsChecked(kCmdSearchPane));
  gtk_button_clicked(GTK_BUTTON(bar->results_button()));
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->current_index(), kSearchPane);

  // No hit: the pane is emptied but not shown, the query still enters the history.
  frame.OnCommand(kCmdSearchPane);
  ASSERT_FALSE(frame.side_bar_visible());
  bar->SetQueryText("zebra");
  g_signal_emit_by_name(bar->search_button(), "clicked");
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(frame.search_pane()->row_count(), 0);
  EXPECT_EQ(gtk_label_get_text(GTK_LABEL(frame.search_pane()->count_label())), std::string("0 Item(s)"));
  EXPECT_FALSE(frame.side_bar_visible());
  EXPECT_EQ(bar->history().entries(), (std::vector<std::string>{"zebra", "brown fox"}));
}

// Enter in the field is taken by the window before GTK's own passes over the key, except where
// those passes must see it: an input method composing in the field, another widget's focus, or a
// modifier held.
TEST_F(SearchBarTest, EnterIsTakenAheadOfTheKeyPassesOnlyInTheFieldAndNotWhileComposing) {
  GtkMainFrame frame;
  Open(frame, Write());
  CSearchBar* bar = frame.search_bar();
  GtkWidget* entry = bar->query_entry();
  bar->SetQueryText("brown");
  gtk_widget_grab_focus(entry);
  auto take = [&](GtkWidget* focus, guint keyval, GdkModifierType state) {
    GdkEvent* event = KeyEvent(entry, keyval, state);
    bool taken = bar->TakeEnterKey(focus, &event->key);
    gdk_event_free(event);
    return taken;
  };
  g_signal_emit_by_name(entry, "preedit-changed", "\xe3\x81\x8b");
  EXPECT_FALSE(take(entry, GDK_KEY_Return, GdkModifierType(0))) << "Enter ends the composition";
  EXPECT_FALSE(take(entry, GDK_KEY_KP_Enter, GdkModifierType(0)));
  EXPECT_TRUE(bar->history().entries().empty());
  g_signal_emit_by_name(entry, "preedit-changed", "");
  EXPECT_FALSE(take(entry, GDK_KEY_Return, GDK_CONTROL_MASK));
  EXPECT_FALSE(take(entry, GDK_KEY_Return, GDK_SHIFT_MASK));
  EXPECT_FALSE(take(entry, GDK_KEY_a, GdkModifierType(0)));
  EXPECT_FALSE(take(GTK_WIDGET(frame.search_pane()->list()), GDK_KEY_Return, GdkModifierType(0)));
  EXPECT_FALSE(take(nullptr, GDK_KEY_Return, GdkModifierType(0)));
  EXPECT_TRUE(bar->history().entries().empty()) << "no key so far searched";

  // Caps Lock is no modifier.
  EXPECT_TRUE(take(entry, GDK_KEY_Return, GDK_LOCK_MASK));
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(bar->history().entries(), (std::vector<std::string>{"brown"}));
  EXPECT_EQ(frame.search_pane()->row_count(), 2);
  // The keypad's Enter through the whole window, as the keyboard sends it.
  bar->SetQueryText("fox");
  GdkEvent* event = KeyEvent(entry, GDK_KEY_KP_Enter, GdkModifierType(0));
  gtk_main_do_event(event);
  gdk_event_free(event);
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(bar->history().entries(), (std::vector<std::string>{"fox", "brown"}));
}

TEST_F(SearchBarTest, BeepsForAnEmptyQueryNoHitsAndAMissingKeyword) {
  int beeps = 0;
  GtkMainFrame frame;
  Open(frame, Write());
  // A bar of our own on the same frame's hooks, but counting beeps.
  CSearchBar::Hooks hooks;
  hooks.preview_mode = [] { return false; };
  hooks.search = [&](const std::string& query, std::function<void(size_t)> done) {
    return frame.StartSearch(query, std::move(done));
  };
  int answers = 0;
  hooks.find_next = [&](const std::string& word, std::function<void(bool)> done) {
    frame.highlighter()->FindNext(word, [&answers, done](bool found) {
      ++answers;
      done(found);
    });
  };
  hooks.beep = [&] { ++beeps; };
  CommandState state;
  CSearchBar bar(hooks);
  ASSERT_TRUE(bar.Create(state));
  gchar* tooltip = gtk_widget_get_tooltip_text(bar.results_button());
  EXPECT_STREQ(tooltip, "Search Results");
  g_free(tooltip);
  EXPECT_EQ(std::string(CommandTooltip(3017)), "Search In This Book");
  bar.RunSearch();
  EXPECT_EQ(beeps, 1) << "an empty query beeps";
  bar.SetQueryText("zebra");
  bar.RunSearch();
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(beeps, 2) << "a search without hits beeps";
  // A keyword the page lacks beeps; one it has does not.
  bar.SetQueryText("quick zebra");
  bar.ClickKeyword(0);
  ASSERT_TRUE(RunUntil([&] { return answers == 1; }));
  EXPECT_EQ(beeps, 2);
  EXPECT_EQ(Evaluate(frame.view(), "window.getSelection().toString()"), "quick");
  bar.ClickKeyword(1);
  ASSERT_TRUE(RunUntil([&] { return answers == 2; }));
  EXPECT_EQ(beeps, 3);
  // A hidden button's empty text does nothing.
  bar.ClickKeyword(5);
  RunFor(200);
  EXPECT_EQ(beeps, 3);
}

TEST_F(SearchBarTest, BandFollowsTheBookAndItsCommand) {
  {
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(Write({{"enable_searchbar", "false"}})));
    EXPECT_EQ(frame.search_bar(), nullptr);
    EXPECT_FALSE(frame.command_state().IsEnabled(kCmdSearchBarBand));
    // The pane is there all the same.
    EXPECT_NE(frame.search_pane(), nullptr);
    frame.OnCommand(kCmdSearch);  // nothing to search from, nothing happens
    EXPECT_FALSE(frame.search_running());
  }
  GtkMainFrame frame;
  Open(frame, Write());
  EXPECT_TRUE(frame.command_state().IsChecked(kCmdSearchBarBand));
  frame.OnCommand(kCmdSearchBarBand);
  EXPECT_FALSE(gtk_widget_get_visible(frame.search_bar()->widget()));
  frame.OnCommand(kCmdSearchBarBand);
  EXPECT_TRUE(gtk_widget_get_visible(frame.search_bar()->widget()));
  // The Search command runs the field's query.
  frame.search_bar()->SetQueryText("fox");
  frame.OnCommand(kCmdSearch);
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(frame.search_pane()->row_count(), 2);
}

TEST_F(SearchBarTest, TheWindowClosedMidSearchWithTheMenuOpenEndsCleanly) {
  auto frame = std::make_unique<GtkMainFrame>();
  Open(*frame, Write());
  // Scanned on its thread, as before the index is complete: the index would answer at once.
  frame->DropSearchIndex();
  frame->search_bar()->PopUpMenu();
  frame->search_bar()->SetQueryText("fox");
  frame->search_bar()->RunSearch();
  ASSERT_TRUE(frame->search_running());
  // As the window manager's close does: the window goes first, the frame after.
  gtk_window_close(GTK_WINDOW(frame->window()));
  RunFor(100);
  frame.reset();
  RunFor(100);
}

TEST_F(SearchBarTest, PreviewModeRefusesToSearch) {
  dir.Write("project/book/index.html", "<html><head><title>P</title></head><body>fox</body></html>");
  std::string project = dir.Write(
      "project/p.bpj",
      "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory><start_page>index.html</start_page>"
      "<ebook_bars menubar='yes' toolbar='yes' searchbar='yes' statusbar='yes'/></config></p>");
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(project));
  ASSERT_NE(frame.search_bar(), nullptr);
  MessageBoxRecorder boxes;
  frame.search_bar()->SetQueryText("fox");
  frame.search_bar()->RunSearch();
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.last_text(), "This functionality is not available in Preview Mode.");
  EXPECT_EQ(boxes.boxes()[0].caption, "Information");
  EXPECT_FALSE(frame.search_running());
  EXPECT_TRUE(frame.search_bar()->history().entries().empty());
}

}  // namespace
}  // namespace lectern
