// A whole run as a reader makes it: open the book, visit every pane and bar, search, bookmark,
// close. CTest runs this program with G_DEBUG=fatal-criticals, so any GLib critical on the way
// (closing included) ends it; a log writer of our own counts warnings as well.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

std::vector<std::string> g_complaints;

GLogWriterOutput CountComplaints(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
  if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
    std::string text;
    for (gsize i = 0; i < count; ++i) {
      if (std::string_view(fields[i].key) == "MESSAGE" && fields[i].length < 0)
        text = static_cast<const char*>(fields[i].value);
    }
    g_complaints.push_back(text);
  }
  return g_log_writer_default(level, fields, count, data);
}

TEST(CleanExitTest, OpeningEveryPaneAndClosingComplainsOfNothing) {
  ASSERT_NE(std::string(g_getenv("G_DEBUG") ? g_getenv("G_DEBUG") : ""), "") << "run through CTest";
  TempDir dir;
  TestBook book;
  book.files = {{"index.htm", "<html><head><title>Start</title></head><body>needle in the start page</body></html>"},
                {"next.htm", "<html><head><title>Next</title></head><body>another needle</body></html>"}};
  book.settings = {{"bookname", "Clean Book"},        {"enable_menubar", "true"},  {"enable_toolbar", "true"},
                   {"enable_searchbar", "true"},      {"enable_statusbar", "true"}, {"enable_contenttree", "true"},
                   {"show_toc_at_startup", "true"}};
  ASSERT_TRUE(WriteTestBook(dir.Join("book.ebk"), book));
  g_log_set_writer_func(CountComplaints, nullptr, nullptr);
  {
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
    ASSERT_NE(frame.search_bar(), nullptr);

    for (int pane : {kCmdContentsPane, kCmdSearchPane, kCmdBookmarksPane, kCmdContentsPane}) {
      frame.OnCommand(pane);
      RunFor(100);
    }
    frame.search_bar()->SetQueryText("needle");
    frame.OnCommand(kCmdSearch);
    ASSERT_TRUE(RunUntil([&] { return !frame.search_running() && frame.search_pane()->row_count() == 2; }));
    frame.bookmarks_pane()->AddRecord("file://c:/datastore/next.htm", "Next");
    frame.OnCommand(kCmdFullScreen);
    RunFor(200);
    frame.OnCommand(kCmdFullScreen);
    RunFor(200);
    SaveWindowSnapshot(frame.window(), ArtefactPath("clean_exit_before_close.png"));

    frame.OnCommand(kCmdExit);
    ASSERT_TRUE(RunUntil([&] { return frame.window() == nullptr; }, 10));
  }
  RunFor(200);
  EXPECT_TRUE(g_complaints.empty()) << g_complaints.size() << " complaints, the first: " << g_complaints.front();
}

}  // namespace
}  // namespace lectern
