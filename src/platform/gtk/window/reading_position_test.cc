// The reader remembers: a book opened again comes back to the page and scroll where the user left
// it, unless its own script moves on at start-up; a bookmark returns to where on its page it was
// added. Each case with real windows, one after the other, over the same registry store.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/add_favorite_dlg.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

std::string LongPage(const std::string& title) {
  std::string body;
  for (int i = 0; i < 200; ++i) body += "<p>" + title + " line " + std::to_string(i) + "</p>";
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

class ReadingPositionTest : public ::testing::Test {
 protected:
  std::string Book(const std::string& guid, const std::string& start_script = "") {
    TestBook book;
    book.files = {{"index.htm", "<html><head><title>Start</title>" + start_script + "</head><body>start</body></html>"},
                  {"pages/long.htm", LongPage("Long")},
                  {"other.htm", LongPage("Other")}};
    book.settings = {{"bookname", "Remember"}, {"guid", guid}, {"enable_menubar", "true"},
                     {"enable_favorite", "true"}};
    std::string path = dir.Join(guid + ".ebk");
    EXPECT_TRUE(WriteTestBook(path, book));
    return path;
  }
  std::unique_ptr<GtkMainFrame> Open(const std::string& path) {
    auto frame = std::make_unique<GtkMainFrame>();
    EXPECT_TRUE(frame->Create(path));
    frame->Show();
    EXPECT_TRUE(WaitForLoad(frame->view()));
    return frame;
  }
  static std::string Run(GtkMainFrame& frame, const std::string& script) {
    return Evaluate(frame.view(), script.c_str());
  }
  static bool Shows(GtkMainFrame& frame, const std::string& title, int scroll_y) {
    return RunUntil([&] {
      return !webkit_web_view_is_loading(frame.view()) && Run(frame, "document.title") == title &&
             Run(frame, "String(Math.round(scrollY))") == std::to_string(scroll_y);
    }, 10);
  }
  TempDir dir;
};

TEST_F(ReadingPositionTest, AReopenedBookReturnsToThePageAndScroll) {
  std::string path = Book("A1A1A1A1A1A1A1A1A1A1A1A1A1A1A1A1");
  {
    auto frame = Open(path);
    frame->Navigate("file://c:/datastore/pages/long.htm");
    ASSERT_TRUE(Shows(*frame, "Long", 0));
    Run(*frame, "scrollTo(0, 1200); 'ok'");
    RunFor(1200);  // the frame notes the scroll as the user reads
  }
  auto again = Open(path);
  EXPECT_TRUE(Shows(*again, "Long", 1200)) << Run(*again, "document.title + ' ' + scrollY");
  EXPECT_EQ(again->CurrentUrl(), "file://c:/datastore/pages/long.htm");
  EXPECT_TRUE(again->lectern_view()->CanGoBack()) << "the start page is still there behind it";
}

TEST_F(ReadingPositionTest, ABookWhoseScriptMovesOnAtStartUpDecidesForItself) {
  std::string path = Book("B2B2B2B2B2B2B2B2B2B2B2B2B2B2B2B2", "<script>location.replace('other.htm')</script>");
  {
    auto frame = Open(path);
    ASSERT_TRUE(Shows(*frame, "Other", 0));
    frame->Navigate("file://c:/datastore/pages/long.htm");
    ASSERT_TRUE(Shows(*frame, "Long", 0));
    Run(*frame, "scrollTo(0, 700); 'ok'");
    RunFor(1200);
  }
  auto again = Open(path);
  EXPECT_TRUE(Shows(*again, "Other", 0));
  RunFor(500);
  EXPECT_EQ(Run(*again, "document.title"), "Other");
}

TEST_F(ReadingPositionTest, ABookmarkReturnsToWhereItWasAdded) {
  auto frame = Open(Book("C3C3C3C3C3C3C3C3C3C3C3C3C3C3C3C3"));
  frame->Navigate("file://c:/datastore/pages/long.htm");
  ASSERT_TRUE(Shows(*frame, "Long", 0));
  Run(*frame, "scrollTo(0, 900); 'ok'");
  RunFor(1200);
  guint answer = g_timeout_add(20, +[](gpointer) -> gboolean {
    CAddFavoriteDlg* dialog = CAddFavoriteDlg::Running();
    if (!dialog || !gtk_widget_get_mapped(dialog->dialog())) return G_SOURCE_CONTINUE;
    dialog->Respond(CAddFavoriteDlg::kResultOk);
    return G_SOURCE_REMOVE;
  }, nullptr);
  frame->OnCommand(kCmdAddBookmark);
  ASSERT_EQ(frame->bookmarks_pane()->store().size(), 1u);
  (void)answer;

  Run(*frame, "scrollTo(0, 100); 'ok'");
  frame->OnCommand(kCmdFirstBookmark);
  EXPECT_TRUE(Shows(*frame, "Long", 900)) << "the page shown only scrolls back";
  frame->Navigate("file://c:/datastore/other.htm");
  ASSERT_TRUE(Shows(*frame, "Other", 0));
  frame->OnCommand(kCmdFirstBookmark);
  EXPECT_TRUE(Shows(*frame, "Long", 900)) << Run(*frame, "document.title + ' ' + scrollY");
  frame->Navigate("file://c:/datastore/other.htm");
  ASSERT_TRUE(Shows(*frame, "Other", 0));
  frame->bookmarks_pane()->OpenAt(0);
  EXPECT_TRUE(Shows(*frame, "Long", 900)) << "from the pane as from the menu";
}

}  // namespace
}  // namespace lectern
