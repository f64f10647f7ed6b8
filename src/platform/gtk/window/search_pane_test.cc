// The search pane of the real window: a search started from the bar's Enter key on packed books,
// its hits in walk order with their count, opening them, cancelling part-way, and a search over a
// real book (the packed debian-handbook tree).
#include "platform/gtk/window/search_pane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "archive/test_books.h"
#include "archive/zpk_writer.h"
#include "book/book_compiler.h"
#include "book/project.h"
#include "datastore/datastore_path.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/fetched_data.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

std::map<std::string, std::string> BookSettings() {
  return {{"bookname", "Search Book"}, {"enable_menubar", "true"}, {"enable_toolbar", "true"},
          {"enable_statusbar", "true"}, {"enable_searchbar", "true"}};
}

// Types the query and presses Enter, as the user does.
void EnterQuery(GtkMainFrame& frame, const std::string& query) {
  CSearchBar* bar = frame.search_bar();
  bar->SetQueryText(query);
  GtkWidget* entry = bar->query_entry();
  gtk_widget_grab_focus(entry);
  GdkEvent* event = KeyEvent(entry, GDK_KEY_Return, GdkModifierType(0));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

std::vector<std::string> Paths(const CEbkSearch& pane) {
  std::vector<std::string> paths;
  for (int i = 0; i < pane.row_count(); ++i) paths.push_back(pane.PathOf(i));
  return paths;
}

std::string CountText(const CEbkSearch& pane) { return gtk_label_get_text(GTK_LABEL(pane.count_label())); }

// A real button release over row `row` of the list.
void ClickRow(const CEbkSearch& pane, int row) {
  GtkTreeView* list = pane.list();
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  GdkRectangle cell;
  gtk_tree_view_get_cell_area(list, path, gtk_tree_view_get_column(list, 0), &cell);
  gtk_tree_path_free(path);
  GdkEvent* event = gdk_event_new(GDK_BUTTON_RELEASE);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_tree_view_get_bin_window(list)));
  event->button.button = 1;
  event->button.x = cell.x + 20;
  event->button.y = cell.y + cell.height / 2.0;
  gtk_widget_event(GTK_WIDGET(list), event);
  gdk_event_free(event);
}

int CountLoads(WebKitWebView* view, int milliseconds) {
  int loads = 0;
  gulong handler = g_signal_connect_swapped(view, "load-changed", G_CALLBACK(+[](gpointer count, WebKitLoadEvent event) {
                                               if (event == WEBKIT_LOAD_FINISHED) ++*static_cast<int*>(count);
                                             }),
                                             &loads);
  RunFor(milliseconds);
  g_signal_handler_disconnect(view, handler);
  return loads;
}

class SearchPaneTest : public ::testing::Test {
 protected:
  std::string Write(const TestBook& book) {
    std::string path = dir.Join("book" + std::to_string(++count_) + ".ebk");
    std::string error;
    EXPECT_TRUE(WriteTestBook(path, book, &error)) << error;
    return path;
  }
  TempDir dir;
  int count_ = 0;
};

TEST_F(SearchPaneTest, PhraseQueryListsPagesInWalkOrderAndOpensThem) {
  TestBook book;
  book.files = {
      {"index.htm", "<html><head><title>Start</title></head><body>the cat sat by the brown dog</body></html>"},
      {"animals/one.htm", "<html><head><title>One</title></head><body>CAT and BROWN DOG</body></html>"},
      {"animals/two.htm", "<html><body>concatenate brown dogs</body></html>"},
      {"animals/three.htm", "<HTML><HEAD><TITLE>Three</TITLE></HEAD><BODY>cat, brown, dog</BODY></HTML>"},
      {"animals/gro\xC3\x9F" "e katze.htm", "<html><head><title>Big</title></head><body>nothing</body></html>"},
      {"notes.txt", "a brown dog met a cat"},
      {"style.css", "/* cat brown dog */"},
      {"code.js", "// cat brown dog"},
  };
  book.settings = BookSettings();
  std::string path = Write(book);
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(path));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  CEbkSearch* pane = frame.search_pane();
  EXPECT_EQ(CountText(*pane), "0 Item(s)");
  // The search on its thread, as before the index is complete; the index's answer at once is in
  // SearchesTheDebianHandbook.
  frame.DropSearchIndex();

  EnterQuery(frame, "cat \"brown dog\"");
  EXPECT_TRUE(frame.search_running());
  bool progress_shown = false;
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] {
    CSearchProgressDlg* progress = frame.search_progress();
    progress_shown = progress_shown || (progress && gtk_widget_get_visible(progress->window()));
    return !frame.search_running();
  }));
  // A machine busy enough to take longer may show it, as it should.
  if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(250)) {
    EXPECT_FALSE(progress_shown) << "a search over at once shows no progress window";
  }
  EXPECT_EQ(frame.search_progress(), nullptr) << "the progress window goes with the search";
  // The engine's own answer for the same query is the order the pane must keep.
  std::unique_ptr<CSearchResult> expected = SearchBook("cat \"brown dog\"", static_cast<CEbkManager*>(frame.BookManager()), nullptr);
  ASSERT_NE(expected, nullptr);
  std::vector<std::string> expected_paths;
  for (const SearchHit& hit : expected->hits) expected_paths.push_back(hit.path);
  EXPECT_EQ(Paths(*pane), expected_paths);
  std::vector<std::string> sorted = Paths(*pane);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"/animals/one.htm", "/animals/two.htm", "/index.htm", "/notes.txt"}));
  EXPECT_EQ(CountText(*pane), "4 Item(s)");
  ASSERT_NE(pane->result(), nullptr);
  EXPECT_EQ(pane->result()->words, (std::vector<std::string>{"cat", "brown dog"}));
  for (int i = 0; i < pane->row_count(); ++i) {
    if (pane->PathOf(i) == "/animals/two.htm") {
      EXPECT_EQ(pane->LabelOf(i), "/animals/two.htm") << "untitled: the path";
    }
    if (pane->PathOf(i) == "/animals/one.htm") {
      EXPECT_EQ(pane->LabelOf(i), "One");
    }
  }
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  RunFor(200);
  SaveWindowSnapshot(frame.window(), ArtefactPath("search-pane-hits.png"));

  // A click opens the hit under the pointer.
  int one = int(std::find(expected_paths.begin(), expected_paths.end(), "/animals/one.htm") - expected_paths.begin());
  ClickRow(*pane, one);
  ASSERT_TRUE(RunUntil([&] { return frame.CurrentUrl() == DatastoreUrl("/animals/one.htm"); }));
  EXPECT_TRUE(RunUntil([&] { return frame.CurrentTitle() == "One"; }));
  // The hit of the page shown now is not loaded again.
  ClickRow(*pane, one);
  EXPECT_EQ(CountLoads(frame.view(), 600), 0);

  // Enter on the selected row opens it too.
  int start = int(std::find(expected_paths.begin(), expected_paths.end(), "/index.htm") - expected_paths.begin());
  GtkTreePath* row = gtk_tree_path_new_from_indices(start, -1);
  gtk_widget_grab_focus(GTK_WIDGET(pane->list()));
  gtk_tree_view_set_cursor(pane->list(), row, nullptr, FALSE);
  gtk_tree_path_free(row);
  GdkEvent* enter = KeyEvent(GTK_WIDGET(pane->list()), GDK_KEY_Return, GdkModifierType(0));
  gtk_main_do_event(enter);
  gdk_event_free(enter);
  ASSERT_TRUE(RunUntil([&] { return frame.CurrentUrl() == DatastoreUrl("/index.htm"); }));

  // A new search replaces the list; a missing row opens nothing.
  EnterQuery(frame, "\"\"");
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  EXPECT_EQ(pane->row_count(), 6) << "no words: every searchable file";
  pane->OpenRow(99);
  EXPECT_EQ(frame.CurrentUrl(), DatastoreUrl("/index.htm"));

  // A page whose name the view shows escaped is the page shown all the same.
  int big = -1;
  for (int i = 0; i < pane->row_count(); ++i)
    if (pane->PathOf(i) == "/animals/gro\xC3\x9F" "e katze.htm") big = i;
  ASSERT_GE(big, 0);
  pane->OpenRow(big);
  ASSERT_TRUE(RunUntil([&] { return frame.CurrentTitle() == "Big"; }));
  pane->OpenRow(big);
  EXPECT_EQ(CountLoads(frame.view(), 600), 0);
}

TEST_F(SearchPaneTest, CancelPartWayLeavesAPartialListAndAUsableWindow) {
  TestBook book;
  book.settings = BookSettings();
  book.options.compress_level = LzoCompressor::kLevelFast;
  book.files["index.htm"] = "<html><head><title>Start</title></head><body>start</body></html>";
  // Enough text that the search is still running when Cancel is pressed.
  constexpr int kPages = 4000;
  std::string filler;
  for (int i = 0; i < 600; ++i) filler += "lorem ipsum dolor sit amet " + std::to_string(i) + " ";
  for (int i = 0; i < kPages; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "pages/p%05d.htm", i);
    book.files[name] = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>" + filler +
                       " needle " + std::to_string(i) + "</body></html>";
  }
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(book)));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  // The scan is what is cancelled here; an index, once built, would answer before Cancel is pressed.
  frame.DropSearchIndex();

  EnterQuery(frame, "needle");
  ASSERT_NE(frame.search_progress(), nullptr);
  CSearchProgressDlg* progress = frame.search_progress();
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(progress->window())), "Searching...");
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(progress->cancel_button())), "Cancel");
  // Cancelled before the main loop has run again: the worker is at most a few files in.
  gtk_button_clicked(GTK_BUTTON(progress->cancel_button()));
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  CEbkSearch* pane = frame.search_pane();
  EXPECT_LT(pane->row_count(), kPages);
  EXPECT_EQ(CountText(*pane), std::to_string(pane->row_count()) + " Item(s)");
  // What was found is a prefix of the walk: the first pages, in order.
  for (int i = 0; i < pane->row_count(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/pages/p%05d.htm", i);
    ASSERT_EQ(pane->PathOf(i), name);
  }
  EXPECT_EQ(frame.search_bar()->history().entries(), std::vector<std::string>{"needle"});

  // The window goes on: a page opens, and the next search runs to its end.
  frame.Navigate(DatastoreUrl("/pages/p00007.htm"));
  EXPECT_TRUE(RunUntil([&] { return frame.CurrentTitle() == "Page 7"; }));
  EnterQuery(frame, "\"needle 3999\"");
  // The progress window comes back for it, with its Cancel reaching this search.
  ASSERT_NE(frame.search_progress(), nullptr);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(frame.search_progress()->progress_label())), "")
      << "nothing of the last search's progress";
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }, 120));
  EXPECT_EQ(frame.search_progress(), nullptr);
  ASSERT_EQ(pane->row_count(), 1);
  EXPECT_EQ(pane->LabelOf(0), "Page 3999");

  // A frame closed while its search runs stops the search first.
  EnterQuery(frame, "needle");
  EXPECT_TRUE(frame.search_running());
  gtk_button_clicked(GTK_BUTTON(frame.search_progress()->cancel_button()));
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); })) << "Cancel of a reused window stops its search";
  EXPECT_LT(pane->row_count(), kPages);
  EnterQuery(frame, "needle");
  EXPECT_TRUE(frame.search_running());
}

// Each hit shows a line of its page's text around the first word found, made only for the rows
// drawn: a long list costs what fits on the screen, and scrolling makes the rest.
TEST_F(SearchPaneTest, TextLinesUnderTheHitsAreMadeForTheRowsShown) {
  TestBook book;
  book.settings = BookSettings();
  book.options.compress_level = LzoCompressor::kLevelFast;
  book.files["index.htm"] = "<html><head><title>Start</title></head><body>start</body></html>";
  constexpr int kPages = 400;
  for (int i = 0; i < kPages; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "pages/p%03d.htm", i);
    book.files[name] = "<html><head><title>Page " + std::to_string(i) + "</title><style>p{}</style></head><body>" +
                       "<p class=\"needle\">Some <b>words</b> before the Needle &amp; after it, page " +
                       std::to_string(i) + ".</p></body></html>";
  }
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(book)));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EnterQuery(frame, "needle");
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }, 60));
  CEbkSearch* pane = frame.search_pane();
  ASSERT_EQ(pane->row_count(), kPages);
  // Each draw notes how many lines were made by then: the last lines made must be drawn too. The
  // fading overlay scroll bar would redraw the list for reasons of its own.
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(gtk_widget_get_parent(GTK_WIDGET(pane->list()))), FALSE);
  struct Drawing {
    CEbkSearch* pane;
    size_t lines_at_last_draw = 0;
  } drawing{pane};
  g_signal_connect(pane->list(), "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer data) -> gboolean {
                     auto* seen = static_cast<Drawing*>(data);
                     seen->lines_at_last_draw = seen->pane->snippets_made();
                     return FALSE;
                   }),
                   &drawing);
  // Lines are made between frames, so a loaded machine takes longer: wait for them, not for a time.
  auto drawn_with_lines = [&] {
    return pane->snippets_made() > 0 && drawing.lines_at_last_draw == pane->snippets_made();
  };
  ASSERT_TRUE(RunUntil(drawn_with_lines, 30)) << "the rows on screen have their lines, drawn";
  RunFor(300);  // lines still to make for the rows shown are made; nothing scrolls
  EXPECT_TRUE(RunUntil(drawn_with_lines, 30)) << "the rows are drawn again with their last lines";
  size_t drawn = pane->snippets_made();
  EXPECT_LT(drawn, 100u) << "the rows off screen have none yet";
  SaveWindowSnapshot(frame.Toplevel() ? GTK_WIDGET(frame.Toplevel()) : nullptr, ArtefactPath("search-pane-lines.png"));

  EXPECT_EQ(pane->SnippetOf(0), "…words before the Needle & after it, page 0.");
  EXPECT_EQ(pane->LabelOf(0), "Page 0") << "the label is still the title alone";
  GtkAdjustment* scroll = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(pane->list()));
  gtk_adjustment_set_value(scroll, gtk_adjustment_get_upper(scroll));
  RunFor(300);
  EXPECT_GT(pane->snippets_made(), drawn + 1) << "scrolling down makes the lines of the rows now shown";
  EXPECT_LT(pane->snippets_made(), 200u);
  EXPECT_EQ(drawing.lines_at_last_draw, pane->snippets_made());
  g_signal_handlers_disconnect_by_data(pane->list(), &drawing);
}

TEST_F(SearchPaneTest, TheSampleBookFindsAPhraseOnSeveralPages) {
  std::string project_path = SourceDir() + "/samples/guide.bpj";
  std::string text = ReadWholeFile(project_path);
  text = std::regex_replace(text, std::regex("<self_executable>yes</self_executable>"),
                            "<self_executable>no</self_executable>");
  text = std::regex_replace(text, std::regex("<show_splash([^>]*)>yes</show_splash>"), "<show_splash$1>no</show_splash>");
  Project project;
  ASSERT_TRUE(project.LoadText(text, project_path)) << project.error();
  CompileOptions options;
  options.output_path = dir.Join("guide.ebk");
  CompileResult compiled = CompileProject(project, options);
  ASSERT_TRUE(compiled.ok) << compiled.error;
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(compiled.book_path));
  ASSERT_NE(frame.search_bar(), nullptr) << "the sample shows its search bar";
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EnterQuery(frame, "\"side bar\" pane");
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }));
  std::vector<std::string> paths = Paths(*frame.search_pane());
  EXPECT_GE(paths.size(), 2u);
  EXPECT_NE(std::find(paths.begin(), paths.end(), "/pages/searching.html"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(), "/pages/contents.html"), paths.end());
  int searching = int(std::find(paths.begin(), paths.end(), "/pages/searching.html") - paths.begin());
  EXPECT_EQ(frame.search_pane()->LabelOf(searching), "Searching - Lectern guide");
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_realized(GTK_WIDGET(frame.search_pane()->list())); }));
  RunFor(100);
  ClickRow(*frame.search_pane(), searching);
  ASSERT_TRUE(RunUntil([&] { return frame.CurrentTitle() == "Searching - Lectern guide"; }));
  frame.OnCommand(kCmdToggleHighlight);
  ASSERT_TRUE(RunUntil([&] { return frame.highlighter()->highlighted(); }));
  SaveWindowSnapshot(frame.window(), ArtefactPath("search-pane-sample.png"));
}

TEST(SearchProgressTest, TakesTheFileFromAnyThreadAndCancels) {
  GtkWidget* owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show_all(owner);
  int cancels = 0;
  {
    CSearchProgressDlg progress(GTK_WINDOW(owner), [&] { ++cancels; });
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(progress.window())), "Searching...");
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(progress.window())), GTK_WINDOW(owner));
    std::thread worker([&] {
      for (int i = 0; i < 1000; ++i) progress.SetProgress("/pages/p" + std::to_string(i), 0);
    });
    worker.join();
    EXPECT_TRUE(RunUntil([&] { return std::string(gtk_label_get_text(GTK_LABEL(progress.progress_label()))) == "/pages/p999"; }));
    EXPECT_FALSE(gtk_widget_get_visible(progress.progress_label())) << "the file is kept, not shown";
    RunFor(200);
    SaveWindowSnapshot(progress.window(), ArtefactPath("search-progress.png"));
    gtk_button_clicked(GTK_BUTTON(progress.cancel_button()));
    EXPECT_EQ(cancels, 1);
    // Closing the window is a cancel too; the window stays until the search has stopped.
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(progress.window())));
    gtk_main_do_event(close);
    gdk_event_free(close);
    EXPECT_EQ(cancels, 2);
    EXPECT_TRUE(gtk_widget_get_visible(progress.window()));
    GdkEvent* escape = KeyEvent(progress.window(), GDK_KEY_Escape, GdkModifierType(0));
    gtk_main_do_event(escape);
    gdk_event_free(escape);
    EXPECT_EQ(cancels, 3);
  }
  gtk_widget_destroy(owner);
}

TEST(SearchProgressTest, ShowsOnlyForASearchStillRunningAfterItsPause) {
  int cancels = 0;
  CSearchProgressDlg progress(nullptr, [&] { ++cancels; }, 150);
  EXPECT_FALSE(gtk_widget_get_visible(progress.window()));
  EXPECT_TRUE(RunUntil([&] { return gtk_widget_get_visible(progress.window()); }));
  progress.Hide();
  // Put away before its pause is over: it never shows, and Cancel still reaches the new search.
  progress.Reopen([&] { ++cancels; }, 150);
  EXPECT_FALSE(gtk_widget_get_visible(progress.window()));
  gtk_button_clicked(GTK_BUTTON(progress.cancel_button()));
  EXPECT_EQ(cancels, 1);
  progress.Hide();
  RunFor(400);
  EXPECT_FALSE(gtk_widget_get_visible(progress.window()));
  progress.Reopen([] {}, 0);
  EXPECT_TRUE(gtk_widget_get_visible(progress.window()));
}

TEST_F(SearchPaneTest, SearchesTheDebianHandbook) {
  fs::path html = FetchedData("debian-handbook") / "usr/share/doc/debian-handbook/html";
  ASSERT_TRUE(fs::is_directory(html)) << MissingDataMessage("debian-handbook");
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(html))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::string path = dir.Join("handbook.ebk");
  ZpkWriter writer;
  ZpkWriterOptions options;
  options.compress_level = LzoCompressor::kLevelFast;
  ASSERT_TRUE(writer.Begin(path, "", options)) << writer.error();
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    std::string name = fs::relative(file, html).generic_string();
    ASSERT_TRUE(writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size())));
  }
  std::map<std::string, std::string> settings = BookSettings();
  settings["start_page"] = "en-US/index.html";
  ASSERT_TRUE(writer.SetSettings(settings));
  ASSERT_TRUE(writer.Finish()) << writer.error();

  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(path));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  // Scanned while the index is being built, or answered by it: the same list either way.
  EnterQuery(frame, "package repository");
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }, 240));
  std::unique_ptr<CSearchResult> expected =
      SearchBook("package repository", static_cast<CEbkManager*>(frame.BookManager()), nullptr);
  ASSERT_NE(frame.search_index(), nullptr);
  frame.search_index()->Wait();
  ASSERT_NE(frame.search_index()->ready(), nullptr);
  // A rare word is answered within the key press; a query that compares tens of megabytes of
  // text is confirmed on the worker, the window free meanwhile.
  std::unique_ptr<CSearchResult> rare = SearchBook("slapd", static_cast<CEbkManager*>(frame.BookManager()), nullptr);
  ASSERT_NE(rare, nullptr);
  ASSERT_FALSE(rare->hits.empty());
  EnterQuery(frame, "slapd");
  EXPECT_FALSE(frame.search_running()) << "a query the complete index answers cheaply is answered at once";
  EXPECT_EQ(size_t(frame.search_pane()->row_count()), rare->hits.size());
  EnterQuery(frame, "Package Repository");
  EXPECT_TRUE(frame.search_running()) << "45 MB to compare are not compared on the main loop";
  ASSERT_TRUE(RunUntil([&] { return !frame.search_running(); }, 60));
  ASSERT_NE(expected, nullptr);
  ASSERT_GT(expected->hits.size(), 10u);
  CEbkSearch* pane = frame.search_pane();
  ASSERT_EQ(size_t(pane->row_count()), expected->hits.size());
  for (size_t i = 0; i < expected->hits.size(); ++i) {
    ASSERT_EQ(pane->PathOf(int(i)), expected->hits[i].path);
    EXPECT_EQ(pane->LabelOf(int(i)), expected->hits[i].title.empty() ? expected->hits[i].path : expected->hits[i].title);
  }
  EXPECT_EQ(CountText(*pane), std::to_string(expected->hits.size()) + " Item(s)");
  EXPECT_TRUE(frame.side_bar_visible());
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_realized(GTK_WIDGET(pane->list())); }));
  RunFor(100);
  ClickRow(*pane, 0);
  ASSERT_TRUE(RunUntil([&] { return frame.CurrentUrl() == DatastoreUrl(expected->hits[0].path); }));
  WaitForLoad(frame.view());
  RunFor(300);
  SaveWindowSnapshot(frame.window(), ArtefactPath("search-pane-handbook.png"));
}

}  // namespace
}  // namespace lectern
