// The frame's commands as the user meets them: menus and their prompts, the side bar, full
// screen, the status bar, the context menu and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "shell/ebk_registry.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

TestBook CommandsBook() {
  TestBook book;
  book.files = {
      {"index.htm", "<html><head><meta charset=utf-8><title>Start</title></head><body style='height:2000px'>"
                    "<p id=text>Some page text</p><a id=link href='next.htm'>next</a><br>"
                    "<a id=umlaut href='pages/\xC3\xBC" "berblick.html'>overview</a></body></html>"},
      {"next.htm", "<html><head><title>Next</title></head><body>next page</body></html>"},
  };
  book.settings = {{"bookname", "Test Book"}, {"enable_menubar", "true"}, {"enable_statusbar", "true"},
                   {"enable_contextmenu", "true"}, {"enable_contenttree", "true"},
                   {"enable_print", "true"}, {"enable_viewsourcecode", "true"}};
  return book;
}

std::vector<std::string> MenuLabels(GtkWidget* menu) {
  std::vector<std::string> labels;
  GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* child = children; child; child = child->next) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(child->data)) labels.push_back("-");
    else labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(child->data)));
  }
  g_list_free(children);
  return labels;
}

bool MenuChecked(GtkMainFrame& frame, int command) {
  GtkWidget* item = FindMenuItem(frame.menu_bar(), command);
  return item && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
}

class FrameCommandsTest : public ::testing::Test {
 protected:
  bool Open(GtkMainFrame& frame, const TestBook& book) {
    if (!WriteTestBook(dir.Join("book.ebk"), book) || !frame.Create(dir.Join("book.ebk"))) return false;
    frame.Show();
    return WaitForLoad(frame.view());
  }
  TempDir dir;
};

TEST_F(FrameCommandsTest, MenusCarryTheBookNameAndShowPromptsInTheStatusBar) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  GtkWidget* about = FindMenuItem(frame.menu_bar(), kCmdBookInformation);
  ASSERT_NE(about, nullptr);
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(about)), "About _Test Book...");
  EXPECT_EQ(frame.status_text(), "Ready");

  GtkWidget* print = FindMenuItem(frame.menu_bar(), kCmdPrint);
  g_signal_emit_by_name(print, "select");
  EXPECT_EQ(frame.status_text(), "Print Current Page");
  g_signal_emit_by_name(print, "deselect");
  EXPECT_EQ(frame.status_text(), "Ready");
  frame.SetStatusText("DONE");
  EXPECT_EQ(frame.status_text(), "Ready");
  // A menu closed by a choice sends no deselect; its prompt goes with it all the same.
  g_signal_emit_by_name(print, "select");
  g_signal_emit_by_name(gtk_widget_get_parent(print), "deactivate");
  EXPECT_EQ(frame.status_text(), "Ready");

  // Pointing at a book link shows its path without the datastore prefix, in its own letters.
  auto point_at = [&](const char* id) {
    std::string box = Evaluate(frame.view(), (std::string("(r => r.left + r.width / 2 + ',' + (r.top + r.height / 2))"
                                                          "(document.getElementById('") + id + "').getBoundingClientRect())").c_str());
    double x = std::stod(box), y = std::stod(box.substr(box.find(',') + 1));
    GtkWidget* widget = GTK_WIDGET(frame.view());
    GdkEvent* motion = gdk_event_new(GDK_MOTION_NOTIFY);
    motion->motion.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    motion->motion.send_event = TRUE;
    motion->motion.time = GDK_CURRENT_TIME;
    motion->motion.x = x;
    motion->motion.y = y;
    gdk_event_set_device(motion, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(widget, motion);
    gdk_event_free(motion);
  };
  point_at("link");
  EXPECT_TRUE(RunUntil([&] { return frame.status_text() == "/next.htm"; }, 5)) << frame.status_text();
  point_at("umlaut");
  EXPECT_TRUE(RunUntil([&] { return frame.status_text() == "/pages/\xC3\xBC" "berblick.html"; }, 5))
      << frame.status_text();
}

TEST_F(FrameCommandsTest, MinimiseAndMaximiseButtonsFollowTheBook) {
  TestBook book = CommandsBook();
  book.settings["border_icon_min"] = "false";
  book.settings["border_icon_max"] = "false";
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  GdkWMDecoration decorations = GdkWMDecoration(0);
  ASSERT_TRUE(gdk_window_get_decorations(gtk_widget_get_window(frame.window()), &decorations));
  EXPECT_EQ(decorations, GdkWMDecoration(GDK_DECOR_ALL | GDK_DECOR_MINIMIZE | GDK_DECOR_MAXIMIZE))
      << "everything but the two buttons";

  TestBook both = CommandsBook();
  both.settings["border_icon_min"] = "true";
  both.settings["border_icon_max"] = "true";
  GtkMainFrame plain;
  ASSERT_TRUE(Open(plain, both));
  GdkWMDecoration kept = GdkWMDecoration(0);
  bool asked = gdk_window_get_decorations(gtk_widget_get_window(plain.window()), &kept);
  EXPECT_FALSE(asked && (kept & GDK_DECOR_ALL) && (kept & (GDK_DECOR_MINIMIZE | GDK_DECOR_MAXIMIZE)))
      << "a book that keeps both buttons loses neither";
}

TEST_F(FrameCommandsTest, AboutItemKeepsItsTextWithoutABookName) {
  TestBook book = CommandsBook();
  book.settings.erase("bookname");
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(FindMenuItem(frame.menu_bar(), kCmdBookInformation))),
               "About _eBook...");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(frame.window())), "Lectern");
}

TEST_F(FrameCommandsTest, SideBarTogglesSwitchPanesAndMarks) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  EXPECT_FALSE(frame.side_bar_visible()) << "hidden at start";

  frame.OnCommand(kCmdBookmarksPane);
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Bookmarks");
  EXPECT_TRUE(MenuChecked(frame, kCmdBookmarksPane));

  frame.OnCommand(kCmdSearchPane);
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  EXPECT_TRUE(MenuChecked(frame, kCmdSearchPane));
  EXPECT_FALSE(MenuChecked(frame, kCmdBookmarksPane));

  // Without a toolbar or search bar there is no checked button to say "open": the toggle opens.
  frame.OnCommand(kCmdSearchPane);
  EXPECT_TRUE(frame.side_bar_visible());

  frame.OnCommand(kCmdContentsPane);
  EXPECT_EQ(frame.side_bar()->caption(), "Contents");
  gtk_button_clicked(GTK_BUTTON(frame.side_bar()->close_button()));
  EXPECT_FALSE(frame.side_bar_visible());
  for (int command : {kCmdContentsPane, kCmdSearchPane, kCmdBookmarksPane}) EXPECT_FALSE(MenuChecked(frame, command));

  frame.OnCommand(kCmdMoreBookmarks);
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Bookmarks");
  EXPECT_FALSE(MenuChecked(frame, kCmdBookmarksPane)) << "More Bookmarks leaves the marks alone";

  // Selecting the pane already shown, or one that does not exist, changes nothing.
  frame.side_bar()->SelectPane(3);
  frame.side_bar()->SelectPane(-1);
  EXPECT_EQ(frame.side_bar()->current_index(), int(kBookmarksPane));
}

TEST_F(FrameCommandsTest, ContentsStartOpenWhenTheBookAsks) {
  TestBook book = CommandsBook();
  book.settings["show_toc_at_startup"] = "true";
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Contents");

  book.settings["enable_contenttree"] = "false";
  GtkMainFrame without;
  ASSERT_TRUE(WriteTestBook(dir.Join("other.ebk"), book));
  ASSERT_TRUE(without.Create(dir.Join("other.ebk")));
  EXPECT_FALSE(without.side_bar_visible());
  EXPECT_FALSE(without.command_state().IsEnabled(kCmdContentsPane));
}

TEST_F(FrameCommandsTest, BookmarkMenuListsTenAndThenMore) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  std::vector<Bookmark> bookmarks;
  frame.SetBookmarkSource([&] { return bookmarks; });
  frame.FillBookmarkMenu();
  EXPECT_EQ(MenuLabels(frame.bookmark_menu()), (std::vector<std::string>{"_Add Bookmark..."}));

  for (int i = 1; i <= 10; ++i)
    bookmarks.push_back({"file://c:/datastore/next.htm", i == 2 ? "under_score & more" : "Mark " + std::to_string(i)});
  frame.FillBookmarkMenu();
  std::vector<std::string> labels = MenuLabels(frame.bookmark_menu());
  ASSERT_EQ(labels.size(), 12u) << "Add, a separator, ten bookmarks";
  EXPECT_EQ(labels[1], "-");
  EXPECT_EQ(labels[2], "_1 Mark 1");
  EXPECT_EQ(labels[3], "_2 under__score _ more");
  EXPECT_EQ(labels[11], "_10 Mark 10");

  bookmarks.push_back({"file://c:/datastore/index.htm", "Eleven"});
  frame.FillBookmarkMenu();
  labels = MenuLabels(frame.bookmark_menu());
  ASSERT_EQ(labels.size(), 14u);
  EXPECT_EQ(labels[12], "-");
  EXPECT_EQ(labels[13], "More Bookmarks...");

  frame.OnCommand(kCmdFirstBookmark + 1);
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Next"; }));
}

TEST_F(FrameCommandsTest, FullScreenAndBack) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  gtk_window_resize(GTK_WINDOW(frame.window()), 600, 400);
  RunFor(300);
  frame.OnCommand(kCmdFullScreen);
  EXPECT_TRUE(frame.full_screen());
  EXPECT_TRUE(MenuChecked(frame, kCmdFullScreen));
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(frame.window())));
  RunUntil([&] { return gtk_widget_get_allocated_width(frame.window()) > 600; }, 3);
  EXPECT_GT(gtk_widget_get_allocated_width(frame.window()), 600) << "the window covers the screen";

  frame.OnCommand(kCmdFullScreen);
  EXPECT_FALSE(frame.full_screen());
  EXPECT_FALSE(MenuChecked(frame, kCmdFullScreen));
  EXPECT_TRUE(gtk_window_get_decorated(GTK_WINDOW(frame.window())));
  EXPECT_TRUE(RunUntil([&] { return gtk_widget_get_allocated_width(frame.window()) == 600; }, 3));
}

TEST_F(FrameCommandsTest, BorderlessBookStaysBorderlessAfterFullScreen) {
  TestBook book = CommandsBook();
  book.settings["border_style"] = "none";
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(frame.window())));
  frame.OnCommand(kCmdFullScreen);
  frame.OnCommand(kCmdFullScreen);
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(frame.window())));
}

TEST_F(FrameCommandsTest, StatusBarToggles) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  EXPECT_TRUE(MenuChecked(frame, kCmdStatusBar));
  gtk_menu_item_activate(GTK_MENU_ITEM(FindMenuItem(frame.menu_bar(), kCmdStatusBar)));
  EXPECT_FALSE(gtk_widget_get_visible(frame.status_bar()));
  EXPECT_FALSE(MenuChecked(frame, kCmdStatusBar));
  frame.OnCommand(kCmdStatusBar);
  EXPECT_TRUE(gtk_widget_get_visible(frame.status_bar()));
  EXPECT_TRUE(MenuChecked(frame, kCmdStatusBar));
}

TEST_F(FrameCommandsTest, PrintingOffGreysThePrintItems) {
  TestBook book = CommandsBook();
  book.settings["enable_print"] = "false";
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  EXPECT_FALSE(gtk_widget_get_sensitive(FindMenuItem(frame.menu_bar(), kCmdPrint)));
  EXPECT_FALSE(gtk_widget_get_sensitive(FindMenuItem(frame.menu_bar(), kCmdPrintPreview)));
}

// Right-clicks the page; the labels of the menu the page engine would show, or nothing when the
// reader refused it.
std::vector<std::string> ContextMenuLabels(GtkMainFrame& frame, bool* shown) {
  std::vector<std::string> labels;
  *shown = false;
  struct Seen {
    std::vector<std::string>* labels;
    bool* shown;
  } seen{&labels, shown};
  gulong handler = g_signal_connect_after(
      frame.view(), "context-menu",
      G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer data) {
        auto* out = static_cast<Seen*>(data);
        *out->shown = true;
        for (GList* item = webkit_context_menu_get_items(menu); item; item = item->next) {
          WebKitContextMenuItem* entry = WEBKIT_CONTEXT_MENU_ITEM(item->data);
          if (webkit_context_menu_item_is_separator(entry)) continue;
          if (GAction* gaction = webkit_context_menu_item_get_gaction(entry))
            out->labels->push_back(g_action_get_name(gaction));
        }
        return TRUE;  // the test does not pop it up
      }),
      &seen);
  GtkWidget* widget = GTK_WIDGET(frame.view());
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.button = 3;
    event->button.x = 40;
    event->button.y = 40;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(widget, event);
    gdk_event_free(event);
  }
  RunUntil([&] { return *shown; }, 3);
  g_signal_handler_disconnect(frame.view(), handler);
  return labels;
}

TEST_F(FrameCommandsTest, ContextMenuOffersTheReadersCommandsAsAllowed) {
  {
    GtkMainFrame frame;
    ASSERT_TRUE(Open(frame, CommandsBook()));
    bool shown = false;
    std::vector<std::string> actions = ContextMenuLabels(frame, &shown);
    ASSERT_TRUE(shown);
    EXPECT_NE(std::find(actions.begin(), actions.end(), "view-source"), actions.end());
    EXPECT_NE(std::find(actions.begin(), actions.end(), "print"), actions.end());
  }
  {
    TestBook book = CommandsBook();
    book.settings["enable_viewsourcecode"] = "false";
    book.settings["enable_print"] = "false";
    GtkMainFrame frame;
    ASSERT_TRUE(Open(frame, book));
    bool shown = false;
    std::vector<std::string> actions = ContextMenuLabels(frame, &shown);
    EXPECT_EQ(std::find(actions.begin(), actions.end(), "view-source"), actions.end());
    EXPECT_EQ(std::find(actions.begin(), actions.end(), "print"), actions.end());
  }
  {
    TestBook book = CommandsBook();
    book.settings["enable_contextmenu"] = "false";
    GtkMainFrame frame;
    ASSERT_TRUE(Open(frame, book));
    bool shown = false;
    ContextMenuLabels(frame, &shown);
    EXPECT_FALSE(shown) << "no context menu at all";
  }
}

TEST_F(FrameCommandsTest, ExitFromTheFileMenuClosesAndRemembersThePlace) {
  {
    GtkMainFrame frame;
    ASSERT_TRUE(Open(frame, CommandsBook()));
    gtk_window_resize(GTK_WINDOW(frame.window()), 520, 410);
    RunFor(300);
    gtk_menu_item_activate(GTK_MENU_ITEM(FindMenuItem(frame.menu_bar(), kCmdExit)));
    EXPECT_TRUE(RunUntil([&] { return frame.window() == nullptr; }, 5));
  }
  EbkRegistry reread;
  reread.Initialise("x");
  EXPECT_EQ(reread.window_rect().right - reread.window_rect().left, 520);
  EXPECT_EQ(reread.window_rect().bottom - reread.window_rect().top, 410);
}

TEST_F(FrameCommandsTest, CtrlNNeverOpensAWindow) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, CommandsBook()));
  GList* before = gtk_window_list_toplevels();
  guint count = g_list_length(before);
  g_list_free(before);
  gtk_widget_grab_focus(GTK_WIDGET(frame.view()));
  GdkEvent* event = KeyEvent(frame.window(), GDK_KEY_n, GDK_CONTROL_MASK);
  gtk_main_do_event(event);
  gdk_event_free(event);
  RunFor(500);
  GList* after = gtk_window_list_toplevels();
  EXPECT_EQ(g_list_length(after), count);
  g_list_free(after);
}

}  // namespace
}  // namespace lectern
