// The real window and page engine, driven in-process under a virtual display.
#include "platform/gtk/window/main_frame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "archive/test_books.h"
#include "datastore/virtual_file_layer.h"
#include "shell/ebk_registry.h"
#include "platform/message_box.h"
#include "platform/gtk/window/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

int g_boxes = 0;
std::string g_last_box;
int CountBox(void*, std::string_view text, std::string_view, unsigned) {
  ++g_boxes;
  g_last_box = text;
  return kIdOk;
}

class MainFrameTest : public ::testing::Test {
 protected:
  static TestBook SampleBook() {
    TestBook book;
    book.files = {
        {"index.htm",
         "<!DOCTYPE html><html><head><title>Start page</title><link rel=stylesheet href=style.css></head>"
         "<body><h1 id=h>Welcome</h1><a id=next href='pages/two%20words.htm'>next</a>"
         "<img id=dot src='images/dot.svg'><script src='script.js'></script></body></html>"},
        {"style.css", "h1 { color: rgb(10, 20, 30); }"},
        {"script.js", "document.body.dataset.ran = 'yes';"},
        {"images/dot.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='40'><circle cx='20' "
                           "cy='20' r='18' fill='red'/></svg>"},
        {"pages/two words.htm", "<html><head><title>Two</title></head><body>second</body></html>"},
        {"media/tone.wav", std::string("RIFF") + std::string(5000, '\x01')},
    };
    book.raw = {{"media/tone.wav", true}};
    book.settings = {{"bookname", "Test Book"}, {"enable_menubar", "true"}, {"enable_statusbar", "true"}};
    return book;
  }

  TempDir dir;
};

TEST_F(MainFrameTest, OpensTheStartPageWithItsResources) {
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), SampleBook()));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(frame.window())), "Test Book");
  EXPECT_EQ(Evaluate(frame.view(), "document.title"), "Start page");
  EXPECT_EQ(Evaluate(frame.view(), "getComputedStyle(document.getElementById('h')).color"), "rgb(10, 20, 30)");
  EXPECT_EQ(Evaluate(frame.view(), "document.body.dataset.ran"), "yes");
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.getElementById('dot').complete") == "true"; }));
  EXPECT_EQ(Evaluate(frame.view(), "document.getElementById('dot').naturalWidth"), "40");
  SaveSnapshot(frame.view(), ArtefactPath("start-page.png"));

  Evaluate(frame.view(), "document.getElementById('next').click()");
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Two"; }));
  frame.OnCommand(kCmdBack);
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Start page"; }));
}

TEST_F(MainFrameTest, WorkingFolderAndWindowPlaceArePrepared) {
  TestBook book = SampleBook();
  book.settings["guid"] = "0123456789ABCDEF0123456789ABCDEF";
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), book));
  {
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
    EXPECT_EQ(frame.working_folder(), std::string(std::getenv("XDG_DATA_HOME")) +
                                          "/lectern/Lectern/0123456789ABCDEF0123456789ABCDEF");
    EXPECT_TRUE(g_file_test(frame.working_folder().c_str(), G_FILE_TEST_IS_DIR));
    frame.Show();
    gtk_window_resize(GTK_WINDOW(frame.window()), 500, 400);
    RunUntil([] { return false; }, 1);
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(frame.window())));
    gtk_main_do_event(close);
    gdk_event_free(close);
  }
  EbkRegistry reread;
  reread.Initialise("x");
  EXPECT_EQ(reread.window_rect().right - reread.window_rect().left, 500);
  EXPECT_EQ(reread.window_rect().bottom - reread.window_rect().top, 400);
}

TEST_F(MainFrameTest, RawMediaAreServedWhole) {
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), SampleBook()));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  ASSERT_TRUE(WaitForLoad(frame.view()));
  Evaluate(frame.view(),
           "fetch('media/tone.wav').then(r => r.arrayBuffer()).then(b => document.title = 'bytes ' + b.byteLength)");
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "bytes 5004"; }));
}

// Selects the page's text and presses Ctrl+C; what reaches the clipboard.
std::string CopyPageText(GtkMainFrame& frame) {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_set_text(clipboard, "", 0);
  Evaluate(frame.view(), "window.getSelection().selectAllChildren(document.body); 'ok'");
  gtk_widget_grab_focus(GTK_WIDGET(frame.view()));
  GdkEvent* event = KeyEvent(GTK_WIDGET(frame.view()), GDK_KEY_c, GDK_CONTROL_MASK);
  gtk_widget_event(GTK_WIDGET(frame.view()), event);
  gdk_event_free(event);
  std::string text;
  RunUntil([&] {
    gchar* now = gtk_clipboard_wait_for_text(clipboard);
    text = now ? now : "";
    g_free(now);
    return !text.empty();
  }, 2);
  return text;
}

TEST_F(MainFrameTest, CopyingFollowsTheBookSetting) {
  for (bool allowed : {true, false}) {
    SCOPED_TRACE(allowed);
    TestBook book = SampleBook();
    book.settings["enable_copy"] = allowed ? "true" : "false";
    ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), book));
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
    std::string copied = CopyPageText(frame);
    if (allowed) {
      EXPECT_NE(copied.find("Welcome"), std::string::npos) << copied;
    } else {
      EXPECT_EQ(copied, "");
    }
    if (!allowed) {
      Evaluate(frame.view(), "document.execCommand('copy'); 'ok'");
      gchar* now = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
      EXPECT_EQ(std::string(now ? now : "").find("Welcome"), std::string::npos) << "nor through script";
      g_free(now);
    }
  }
}

TEST_F(MainFrameTest, ExternalDocumentsLeaveTheView) {
  TestBook book = SampleBook();
  book.files["docs/Manual.PDF"] = "%PDF-1.4 pretend";
  book.files["index.htm"] += "<a id=pdf href='docs/Manual.PDF'>manual</a><a id=gone href='Missing.zip'>gone</a>";
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), book));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  std::string opened;
  frame.lectern_view()->SetDocumentOpener([&](const std::string& path) { opened = path; });
  ASSERT_TRUE(WaitForLoad(frame.view()));
  Evaluate(frame.view(), "document.getElementById('pdf').click()");
  ASSERT_TRUE(RunUntil([&] { return !opened.empty(); }));
  EXPECT_EQ(testing::ReadWholeFile(opened), "%PDF-1.4 pretend");
  EXPECT_EQ(Evaluate(frame.view(), "document.title"), "Start page") << "the view stays on its page";

  MessageBoxHandler previous = SetMessageBoxHandler(CountBox);
  g_boxes = 0;
  Evaluate(frame.view(), "document.getElementById('gone').click()");
  ASSERT_TRUE(RunUntil([&] { return g_boxes > 0; }));
  EXPECT_EQ(g_last_box, "File c:/datastore/missing.zip doesn't exist!");
  SetMessageBoxHandler(previous);
}

TEST_F(MainFrameTest, TextSizeCyclesThroughFiveSteps) {
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), SampleBook()));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  ASSERT_TRUE(WaitForLoad(frame.view()));
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) {
    frame.OnCommand(kCmdTextSize);
    seen.push_back(frame.lectern_view()->GetTextSize());
  }
  EXPECT_EQ(seen, (std::vector<int>{3, 4, 0, 1, 2}));
  frame.lectern_view()->SetTextSize(4);
  EXPECT_GT(webkit_web_view_get_zoom_level(frame.view()), 1.0);
}

TEST_F(MainFrameTest, TargetBlankStaysInTheView) {
  TestBook book = SampleBook();
  book.files["index.htm"] += "<a id=blank target=_blank href='pages/two%20words.htm'>new window</a>";
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), book));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  ASSERT_TRUE(WaitForLoad(frame.view()));
  Evaluate(frame.view(), "document.getElementById('blank').click()");
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Two"; }));
  EXPECT_EQ(Evaluate(frame.view(), "String(window.open('index.htm'))"), "null") << "script opens no windows";
}


TEST_F(MainFrameTest, PreviewModeShowsTheProjectFolder) {
  dir.Write("project/book/start.html", "<html><head><title>Preview start</title></head><body>"
                                        "<img id=i src='pic.svg'></body></html>");
  dir.Write("project/book/pic.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='12' height='12'/>");
  std::string project = dir.Write("project/guide.BPJ",
                                  "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory>"
                                  "<start_page>start.html</start_page><ebook_bars menubar='yes'/></config></p>");
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(project));
  EXPECT_TRUE(frame.preview_mode());
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(frame.window())), "Previewed");
  EXPECT_EQ(Evaluate(frame.view(), "document.title"), "Preview start");
  EXPECT_EQ(std::string(webkit_web_view_get_uri(frame.view())), "file://" + dir.Join("project/book/start.html"));

  MessageBoxHandler previous = SetMessageBoxHandler(CountBox);
  g_boxes = 0;
  GtkMainFrame broken;
  std::string bad = dir.Write("bad.bpj", "<p><config>");
  EXPECT_FALSE(broken.Create(bad));
  // The parser's own line, column and description follow the file's name.
  EXPECT_EQ(g_last_box.rfind("Parse eBook project file failed!\n" + bad + ":1:", 0), 0u) << g_last_box;
  EXPECT_GT(g_last_box.size(), ("Parse eBook project file failed!\n" + bad + ":1:1: ").size()) << g_last_box;
  SetMessageBoxHandler(previous);
}

TEST_F(MainFrameTest, PageScriptReachesTheReaderThroughWindowExternal) {
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), SampleBook()));
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_EQ(Evaluate(frame.view(), "typeof window.external.exit"), "function");
  EXPECT_EQ(Evaluate(frame.view(), "window.external.reader === window.external.READER"), "true");
  EXPECT_EQ(Evaluate(frame.view(), "window.external.reader.getConfig('bookname')"), "Test Book");
  EXPECT_EQ(Evaluate(frame.view(), "window.external.reader.startPage"), "file://c:/datastore/index.htm");
  EXPECT_EQ(Evaluate(frame.view(), "try { window.external.extract(5); 'no error' } catch (e) { String(e.number) }"),
            std::to_string(int32_t(E_INVALIDARG)));
  Evaluate(frame.view(), "window.external.reader.set_textsize(4); 'ok'");
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 4);
  Evaluate(frame.view(), "window.external.EXIT(); 'ok'");
  EXPECT_TRUE(RunUntil([&] { return frame.window() == nullptr; })) << "exit closes the window, in any letter case";
}

TEST_F(MainFrameTest, ABookThatCannotOpenIsReported) {
  MessageBoxHandler previous = SetMessageBoxHandler(CountBox);
  g_boxes = 0;
  GtkMainFrame frame;
  std::string plain = dir.Write("not-a-book", "plain text");
  EXPECT_FALSE(frame.Create(plain));
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(g_last_box, "Open ebook file failed!\n" + plain + ": the file is too short to hold a book (10 bytes)");

  // The magic alone: one box, and it says why (no leftover "info" box before it).
  std::string magic = dir.Write("magic", std::string("ZPK\0", 4));
  g_boxes = 0;
  EXPECT_FALSE(GtkMainFrame().Create(magic));
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(g_last_box, "Open ebook file failed!\n" + magic + ": the file is too short to hold a book (4 bytes)");

  // Half a book: its directory lies past the end, and the window does not open on an empty book.
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("whole.ebk"), SampleBook()));
  std::string bytes = testing::ReadWholeFile(dir.Join("whole.ebk"));
  std::string half = dir.Write("half.ebk", bytes.substr(0, bytes.size() / 2));
  g_boxes = 0;
  GtkMainFrame cut;
  EXPECT_FALSE(cut.Create(half));
  EXPECT_EQ(cut.window(), nullptr);
  EXPECT_EQ(g_boxes, 1);
  EXPECT_NE(g_last_box.find(half + ": the directory at offset "), std::string::npos) << g_last_box;
  EXPECT_NE(g_last_box.find(" lies past the end of the file ("), std::string::npos) << g_last_box;
  SetMessageBoxHandler(previous);
}

}  // namespace
}  // namespace lectern

