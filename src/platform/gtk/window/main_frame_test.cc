// The real window and page engine, driven in-process under a virtual display.
#include "platform/gtk/window/main_frame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "archive/test_books.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;

bool RunUntil(const std::function<bool()>& done, int seconds = 20) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
  }
  return true;
}

std::string Evaluate(WebKitWebView* view, const char* script) {
  struct Outcome {
    bool done = false;
    std::string text;
  } outcome;
  webkit_web_view_evaluate_javascript(
      view, script, -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Outcome*>(data);
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value) {
          char* text = jsc_value_to_string(value);
          out->text = text;
          g_free(text);
          g_object_unref(value);
        } else {
          out->text = std::string("<error: ") + (error ? error->message : "?") + ">";
          g_clear_error(&error);
        }
        out->done = true;
      },
      &outcome);
  RunUntil([&] { return outcome.done; });
  return outcome.text;
}

bool WaitForLoad(WebKitWebView* view) {
  return RunUntil([&] { return !webkit_web_view_is_loading(view) && webkit_web_view_get_uri(view); });
}

void SaveSnapshot(WebKitWebView* view, const std::string& path) {
  struct Request {
    bool done = false;
    std::string path;
  } request{false, path};
  webkit_web_view_get_snapshot(
      view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* pending = static_cast<Request*>(data);
        if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          cairo_surface_write_to_png(surface, pending->path.c_str());
          cairo_surface_destroy(surface);
        }
        pending->done = true;
      },
      &request);
  RunUntil([&] { return request.done; });
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
  const char* artefacts = std::getenv("LECTERN_BINARY_DIR");
  SaveSnapshot(frame.view(), std::string(artefacts ? artefacts : ".") + "/start-page.png");

  Evaluate(frame.view(), "document.getElementById('next').click()");
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Two"; }));
  frame.OnCommand(kCmdBack);
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Start page"; }));
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

int g_boxes = 0;
std::string g_last_box;
int CountBox(void*, std::string_view text, std::string_view, unsigned) {
  ++g_boxes;
  g_last_box = text;
  return kIdOk;
}

TEST_F(MainFrameTest, ABookThatCannotOpenIsReported) {
  MessageBoxHandler previous = SetMessageBoxHandler(CountBox);
  GtkMainFrame frame;
  EXPECT_FALSE(frame.Create(dir.Write("not-a-book", "plain text")));
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(g_last_box, "Open ebook file failed!");
  SetMessageBoxHandler(previous);
}

}  // namespace
}  // namespace lectern

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  gtk_init(&argc, &argv);
  return RUN_ALL_TESTS();
}
