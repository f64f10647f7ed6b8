// Pages from elsewhere in the reader's view: a remote page, opened by itself or framed inside a
// book page, gets none of the host's members; the book's own page beside it keeps them all.
#include <gtest/gtest.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/local_http_server.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

// Which of the host's members a page finds on `window.external` (the engine has none of its own).
constexpr const char kProbe[] =
    "(function () { var e = window.external || {};"
    " return '[' + ['reader', 'shellopen', 'extract', 'exit', 'newwindow'].filter(function (n) {"
    " try { return typeof e[n] !== 'undefined'; } catch (x) { return true; } }).join(',') + ']'; })()";

constexpr const char kNothing[] = "[]";

std::string RemotePage() {
  // Tells the page that frames it what it found; alone, it keeps the answer in its title. Its own
  // empty frame shares its origin, and so its lack of members.
  return std::string("<html><head><title>remote</title></head><body>remote page<iframe id=inner></iframe>"
                     "<script>var found = ") +
         kProbe + "; var inner = document.getElementById('inner').contentWindow; var e = inner.external || {};"
                  " if (typeof e.shellopen !== 'undefined' || typeof e.reader !== 'undefined') found += ' inner';"
                  " document.title = found; if (parent !== window) parent.postMessage(found, '*');</script>"
                  "</body></html>";
}

class RemotePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listening());
    TestBook book;
    book.files = {
        {"index.htm", "<html><head><title>Start</title></head><body>start</body></html>"},
        {"framed.htm", "<html><head><title>Framed</title><script>window.heard = '';"
                       "addEventListener('message', function (m) { window.heard = String(m.data); });</script>"
                       "</head><body><iframe id=remote src='" + server.Url("/remote.htm") +
                           "'></iframe></body></html>"},
    };
    book.settings = {{"bookname", "Trust"}, {"guid", "00112233445566778899AABBCCDDEEFF"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("book.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("book.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const char* script) { return Evaluate(frame.view(), script); }

  LocalHttpServer server{{{"/remote.htm", RemotePage()}}};
  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(RemotePagesTest, ARemotePageOpenedInTheViewFindsNoHostMembers) {
  EXPECT_EQ(Run(kProbe), "[reader,shellopen,extract,exit,newwindow]") << "the book's page has them";
  frame.Navigate(server.Url("/remote.htm"));
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") != "Start"; }));
  EXPECT_EQ(Run("location.host"), server.Url("").substr(7));
  EXPECT_EQ(Run("document.title"), kNothing);
  EXPECT_EQ(Run(kProbe), kNothing);
  SaveSnapshot(frame.view(), ArtefactPath("remote_page_alone.png"));
  // Book pages' scripts may go to the datastore's URLs; this page's may not.
  Run("window.stayed = 'yes'; location.href = 'file://c:/datastore/index.htm'; 'ok'");
  EXPECT_FALSE(RunUntil([&] { return Run("String(window.stayed)") != "yes"; }, 3));
  EXPECT_EQ(Run("location.host"), server.Url("").substr(7));

  // Back in the book, the host's members are there again.
  frame.Navigate("file://c:/datastore/index.htm");
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") == "Start"; }));
  EXPECT_EQ(Run("typeof window.external.shellopen + ',' + typeof window.external.reader"), "function,object");
}

TEST_F(RemotePagesTest, ARemotePageFramedInABookPageFindsNoHostMembers) {
  frame.Navigate("file://c:/datastore/framed.htm");
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") == "Framed"; }));
  ASSERT_TRUE(RunUntil([&] { return Run("window.heard") != ""; })) << "the framed page never reported";
  EXPECT_EQ(Run("window.heard"), kNothing);
  EXPECT_GE(server.requests(), 1);
  EXPECT_EQ(Run("typeof window.external.shellopen + ',' + typeof window.external.reader.id"), "function,string");
  SaveSnapshot(frame.view(), ArtefactPath("remote_page_framed.png"));
}

TEST(PreviewPagesTest, OnlyTheBookFoldersFilesFindTheHostMembers) {
  TempDir dir;
  dir.Write("project/book/start.html", "<html><head><title>Preview start</title></head><body></body></html>");
  std::string outside = dir.Write("project/beside.html", "<html><head><title>Beside</title></head></html>");
  std::string project = dir.Write("project/guide.bpj",
                                  "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory>"
                                  "<start_page>start.html</start_page></config></p>");
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(project));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_EQ(Evaluate(frame.view(), kProbe), "[reader,shellopen,extract,exit,newwindow]");
  frame.Navigate("file://" + outside);
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Beside"; }));
  EXPECT_EQ(Evaluate(frame.view(), kProbe), kNothing);
}

}  // namespace
}  // namespace lectern
