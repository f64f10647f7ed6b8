// The reader's keys pressed in the real window, each checked by what it does, and the window
// under Help that lists them.
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/add_favorite_dlg.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "platform/gtk/window/search_bar.h"
#include "platform/gtk/window/shortcuts.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestBook book;
    book.files = {{"index.htm", "<html><head><title>Start</title></head><body><a id=next href='next.htm'>next</a>"
                                "</body></html>"},
                  {"next.htm", "<html><head><title>Next</title></head><body>"
                               "<p id=a1>alpha</p>\n<p id=a2>beta alpha</p>\n<p id=a3>alpha</p></body></html>"}};
    book.settings = {{"bookname", "Keys"}, {"guid", "5566778899AABBCCDDEEFF0011223344"},
                     {"enable_menubar", "true"}, {"enable_searchbar", "true"}, {"enable_statusbar", "true"},
                     {"enable_toolbar", "true"}, {"enable_favorite", "true"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("keys.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("keys.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  bool TitleBecomes(const std::string& title) {
    return RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") == title; }, 10);
  }
  // A key as the user presses it in the window, the page view having the focus.
  void Press(guint key, GdkModifierType state = GdkModifierType(0)) {
    GdkEvent* event = KeyEvent(frame.window(), key, state);
    gtk_widget_event(frame.window(), event);
    gdk_event_free(event);
    RunFor(50);
  }
  std::string Found() { return Run("(s => s.rangeCount ? s.anchorNode.parentElement.id : '')(getSelection())"); }

  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(ShortcutsTest, HistoryReloadAndHome) {
  Run("document.getElementById('next').click(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));
  Press(GDK_KEY_Left, GDK_MOD1_MASK);
  EXPECT_TRUE(TitleBecomes("Start"));
  Press(GDK_KEY_Right, GDK_MOD1_MASK);
  EXPECT_TRUE(TitleBecomes("Next"));
  Run("window.marker = 1; 'ok'");
  Press(GDK_KEY_F5);
  EXPECT_TRUE(RunUntil([&] { return Run("typeof window.marker") == "undefined"; })) << "F5 reloads";
  Press(GDK_KEY_Home, GDK_MOD1_MASK);
  EXPECT_TRUE(TitleBecomes("Start"));
  Press(GDK_KEY_Left);
  RunFor(300);
  EXPECT_EQ(Run("document.title"), "Start") << "Left alone scrolls; it does not go back";
}

TEST_F(ShortcutsTest, FullScreenAndEscape) {
  Press(GDK_KEY_Escape);
  EXPECT_FALSE(frame.full_screen());
  Press(GDK_KEY_F11);
  EXPECT_TRUE(frame.full_screen());
  Press(GDK_KEY_Escape);
  EXPECT_FALSE(frame.full_screen());
  Press(GDK_KEY_F11);
  Press(GDK_KEY_F11);
  EXPECT_FALSE(frame.full_screen());
}

TEST_F(ShortcutsTest, TextSize) {
  frame.lectern_view()->SetTextSize(2);
  Press(GDK_KEY_plus, GDK_CONTROL_MASK);
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 3);
  Press(GDK_KEY_equal, GDK_CONTROL_MASK);
  Press(GDK_KEY_KP_Add, GDK_CONTROL_MASK);
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 4) << "the largest stays the largest";
  Press(GDK_KEY_minus, GDK_CONTROL_MASK);
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 3);
  for (int i = 0; i < 5; ++i) Press(GDK_KEY_KP_Subtract, GDK_CONTROL_MASK);
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 0);
  Press(GDK_KEY_0, GDK_CONTROL_MASK);
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 2);
}

TEST_F(ShortcutsTest, SearchFieldAndFindingHits) {
  ASSERT_NE(frame.search_bar(), nullptr);
  Press(GDK_KEY_f, GDK_CONTROL_MASK);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(frame.window())), frame.search_bar()->query_entry());
  // From a list too, which would otherwise open a find box of its own.
  frame.OnCommand(kCmdSearchPane);
  RunFor(50);
  GtkWidget* list = GTK_WIDGET(frame.search_pane()->list());
  gtk_widget_grab_focus(list);
  // The window has the keyboard, as on a desktop: a list takes its keys only then.
  GdkEvent* focus_in = gdk_event_new(GDK_FOCUS_CHANGE);
  focus_in->focus_change.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(frame.window())));
  focus_in->focus_change.in = TRUE;
  gtk_widget_event(frame.window(), focus_in);
  gdk_event_free(focus_in);
  ASSERT_TRUE(gtk_widget_has_focus(list));
  Press(GDK_KEY_f, GDK_CONTROL_MASK);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(frame.window())), frame.search_bar()->query_entry());

  Run("document.getElementById('next').click(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));
  frame.search_bar()->SetQueryText("alpha");
  Press(GDK_KEY_F3);
  EXPECT_TRUE(RunUntil([&] { return Found() == "a1"; }, 5)) << Found();
  Press(GDK_KEY_F3);
  EXPECT_TRUE(RunUntil([&] { return Found() == "a2"; }, 5)) << Found();
  Press(GDK_KEY_F3);
  EXPECT_TRUE(RunUntil([&] { return Found() == "a3"; }, 5)) << Found();
  Press(GDK_KEY_F3, GDK_SHIFT_MASK);
  EXPECT_TRUE(RunUntil([&] { return Found() == "a2"; }, 5)) << Found();
  Press(GDK_KEY_F3, GDK_SHIFT_MASK);
  EXPECT_TRUE(RunUntil([&] { return Found() == "a1"; }, 5)) << Found();
}

TEST_F(ShortcutsTest, AddBookmarkOpensTheNamingDialog) {
  bool asked = false;
  guint poll = g_timeout_add(20, +[](gpointer data) -> gboolean {
    CAddFavoriteDlg* dialog = CAddFavoriteDlg::Running();
    if (!dialog || !gtk_widget_get_mapped(dialog->dialog())) return G_SOURCE_CONTINUE;
    *static_cast<bool*>(data) = true;
    dialog->Respond(CAddFavoriteDlg::kResultCancel);
    return G_SOURCE_REMOVE;
  }, &asked);
  Press(GDK_KEY_d, GDK_CONTROL_MASK);
  EXPECT_TRUE(RunUntil([&] { return asked; }, 5));
  if (!asked) g_source_remove(poll);
}

TEST_F(ShortcutsTest, HelpListsEveryShortcut) {
  GtkWidget* item = FindMenuItem(frame.menu_bar(), kCmdShortcuts);
  ASSERT_NE(item, nullptr);
  gtk_menu_item_activate(GTK_MENU_ITEM(item));
  ASSERT_TRUE(RunUntil([&] { return frame.shortcuts_window() && gtk_widget_get_mapped(frame.shortcuts_window()); }, 5));
  EXPECT_TRUE(GTK_IS_SHORTCUTS_WINDOW(frame.shortcuts_window()));
  std::vector<std::string> shown;
  std::function<void(GtkWidget*)> walk = [&](GtkWidget* widget) {
    if (GTK_IS_SHORTCUTS_SHORTCUT(widget)) {
      gchar* accelerator = nullptr;
      g_object_get(widget, "accelerator", &accelerator, nullptr);
      shown.push_back(accelerator ? accelerator : "");
      g_free(accelerator);
    }
    if (GTK_IS_CONTAINER(widget)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
      for (GList* l = children; l; l = l->next) walk(GTK_WIDGET(l->data));
      g_list_free(children);
    }
  };
  walk(frame.shortcuts_window());
  std::vector<std::string> expected;
  for (const Shortcut& shortcut : ReaderShortcuts())
    if (shortcut.accelerator) expected.push_back(shortcut.accelerator);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(expected.size(), 13u);
  SaveWindowSnapshot(frame.shortcuts_window(), ArtefactPath("shortcuts-window.png"));
  gtk_widget_destroy(frame.shortcuts_window());
  EXPECT_EQ(frame.shortcuts_window(), nullptr);
}

}  // namespace
}  // namespace lectern
