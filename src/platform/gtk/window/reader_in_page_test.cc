// The reader, list and menu objects driven by real page script in the reader's window, each
// member checked by its effect on the window.
#include <gtest/gtest.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

constexpr const char* kGuid = "00112233445566778899AABBCCDDEEFF";

TestBook ReaderBook() {
  TestBook book;
  book.files = {
      {"index.htm", "<html><head><title>Start</title></head><body><a id=next href='next.htm'>next</a></body></html>"},
      {"next.htm", "<html><head><title>Next</title></head><body>next page</body></html>"},
  };
  book.settings = {{"bookname", "Reader Book"}, {"guid", kGuid}, {"enable_menubar", "true"},
                   {"enable_statusbar", "true"}, {"enable_contenttree", "true"}, {"enable_print", "true"},
                   {"publisher", "Vellum Press"}};
  return book;
}

class ReaderInPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteTestBook(dir.Join("book.ebk"), ReaderBook()));
    ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  std::string Title() { return Run("document.title"); }
  bool TitleBecomes(const std::string& title) {
    return RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Title() == title; }, 10);
  }

  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(ReaderInPageTest, PropertiesComeFromTheBookAndTheWindow) {
  EXPECT_EQ(Run("window.external.reader.id"), kGuid);
  EXPECT_EQ(Run("window.external.reader.getConfig('publisher')"), "Vellum Press");
  EXPECT_EQ(Run("window.external.reader.getConfig('')"), "");
  EXPECT_EQ(Run("window.external.reader.startPage"), "file://c:/datastore/index.htm");
  EXPECT_EQ(Run("window.external.reader.tocEnabled"), "false");
  EXPECT_EQ(Run("window.external.reader.startupSplitter(1, 2, 3, 4, 5, 6, 7)"), "0");
  EXPECT_NE(Run("window.external.reader.registryRoot"), "");

  EXPECT_EQ(Run("window.external.reader.visible"), "true");
  frame.OnCommand(kCmdStatusBar);
  ASSERT_FALSE(gtk_widget_get_visible(frame.status_bar()));
  Run("window.external.reader.visible = false; 'ok'");
  EXPECT_FALSE(gtk_widget_get_visible(frame.window()));
  EXPECT_EQ(Run("window.external.reader.visible"), "false");
  Run("window.external.reader.visible = true; 'ok'");
  EXPECT_TRUE(gtk_widget_get_visible(frame.window()));
  EXPECT_FALSE(frame.side_bar_visible()) << "showing the window does not open the side bar";
  EXPECT_FALSE(gtk_widget_get_visible(frame.status_bar())) << "nor a bar the user hid";
  EXPECT_FALSE(frame.command_state().IsChecked(kCmdStatusBar));
}

TEST_F(ReaderInPageTest, NavigationMembersMoveTheView) {
  Run("document.getElementById('next').click()");
  ASSERT_TRUE(TitleBecomes("Next"));
  Run("window.external.reader.back(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Start"));
  EXPECT_EQ(Run("window.external.reader.forward(); 'ok'"), "ok");
  ASSERT_TRUE(TitleBecomes("Next"));
  Run("window.external.reader.goHome(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Start"));

  Run("window.marker = 1; window.external.reader.refresh(); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("typeof window.marker") == "undefined"; }));
  Run("window.marker = 2; window.external.reader.refresh2(document); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("typeof window.marker") == "undefined"; }));
  Run("window.external.reader.stop(); 'ok'");
  EXPECT_EQ(Title(), "Start");
}

TEST_F(ReaderInPageTest, PaneFullScreenAndTextSizeMembersReachTheFrame) {
  Run("window.external.reader.showBookmarkPane(); 'ok'");
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Bookmarks");
  Run("window.external.reader.showSearchPane(); 'ok'");
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  Run("window.external.reader.showContentsPane(); 'ok'");
  EXPECT_EQ(frame.side_bar()->caption(), "Contents");

  Run("window.external.reader.set_textsize(0); 'ok'");
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 0);
  Run("window.external.reader.set_textsize(-1); 'ok'");
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 1);

  Run("window.external.reader.fullscreen(); 'ok'");
  EXPECT_TRUE(frame.full_screen());
  Run("window.external.reader.fullscreen(); 'ok'");
  EXPECT_FALSE(frame.full_screen());
}

TEST_F(ReaderInPageTest, ShowMessageWaitsForTheAnswer) {
  MessageBoxRecorder boxes;
  EXPECT_EQ(Run("window.external.reader.showMessage('Hello from the page', 'Page says'); 'returned'"), "returned");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Hello from the page");
  EXPECT_EQ(boxes.boxes()[0].caption, "Page says");
}

// Closes the first print dialog that opens, counting it.
int g_print_dialogs = 0;
gboolean CancelPrintDialog(gpointer) {
  GList* windows = gtk_window_list_toplevels();
  bool found = false;
  for (GList* window = windows; window; window = window->next) {
    if (std::string(G_OBJECT_TYPE_NAME(window->data)) != "GtkPrintUnixDialog" ||
        !gtk_widget_get_visible(GTK_WIDGET(window->data)))
      continue;
    ++g_print_dialogs;
    gtk_dialog_response(GTK_DIALOG(window->data), GTK_RESPONSE_CANCEL);
    found = true;
  }
  g_list_free(windows);
  return found ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

TEST_F(ReaderInPageTest, PrintOpensThePrintDialog) {
  g_print_dialogs = 0;
  guint source = g_timeout_add(100, CancelPrintDialog, nullptr);
  EXPECT_EQ(Run("window.external.reader.print(); 'printed'"), "printed");
  EXPECT_EQ(g_print_dialogs, 1);
  if (g_print_dialogs == 0) g_source_remove(source);
}

// Chooses the menu item labelled `label` in the first pop-up menu shown.
std::string g_choice;
gboolean ChooseFromPopup(gpointer) {
  GList* windows = gtk_window_list_toplevels();
  bool chosen = false;
  for (GList* window = windows; window && !chosen; window = window->next) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window->data));
    if (!child || !GTK_IS_MENU(child) || !gtk_widget_get_visible(child)) continue;
    GList* items = gtk_container_get_children(GTK_CONTAINER(child));
    for (GList* item = items; item; item = item->next) {
      if (!GTK_IS_MENU_ITEM(item->data) || GTK_IS_SEPARATOR_MENU_ITEM(item->data)) continue;
      if (g_choice == gtk_menu_item_get_label(GTK_MENU_ITEM(item->data))) {
        gtk_menu_shell_activate_item(GTK_MENU_SHELL(child), GTK_WIDGET(item->data), TRUE);
        chosen = true;
        break;
      }
    }
    g_list_free(items);
  }
  g_list_free(windows);
  return chosen ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

TEST_F(ReaderInPageTest, MenuObjectReturnsTheChosenCommand) {
  // Access keys are marked as in the book's texts: '&' before the letter, "&&" for '&' itself.
  g_choice = "Fish & _Chips";
  guint source = g_timeout_add(100, ChooseFromPopup, nullptr);
  std::string chosen = Run(
      "(() => { const menu = window.external.reader.getMenuObj(); menu.append('&First', 11);"
      " menu.append('Fish && &Chips', 12);"
      " return String(menu.trackPopup(20, 20)); })()");
  EXPECT_EQ(chosen, "12");
  if (chosen != "12") g_source_remove(source);
}

TEST_F(ReaderInPageTest, ListsSurviveInTheRegistryUnderTheBooksRoot) {
  EXPECT_EQ(Run("(() => { const list = window.external.reader.createObject('vellum.std.list');"
                " list.push_back('alpha'); list.push_back('beta'); list.push_front('first');"
                " return String(list.saveToRegistry('reading list')); })()"),
            "1");
  EXPECT_EQ(Run("(() => { const list = window.external.reader.createObject('vellum.std.list');"
                " list.loadFromRegistry('reading list');"
                " return [list.length, list.item(0), list.item(1), list.item(2)].join(','); })()"),
            "3,first,alpha,beta");
  EXPECT_EQ(Run("String(window.external.reader.createObject('Some.Other.Class'))"), "null");
}

TEST_F(ReaderInPageTest, QuitClosesTheWindow) {
  Run("window.external.reader.quit(); 'ok'");
  EXPECT_TRUE(RunUntil([&] { return frame.window() == nullptr; }, 5));
}

}  // namespace
}  // namespace lectern
