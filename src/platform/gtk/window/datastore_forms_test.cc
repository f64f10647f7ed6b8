// Books written for the reader name their files by absolute datastore URLs and paths; each form
// must load from the book wherever a page uses it, in the real view.
#include <gtest/gtest.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

// A black 2 x 3 GIF as an encoder writes it: its size shows it loaded.
constexpr char kGifBytes[] =
    "GIF89a\x02\x00\x03\x00\xf0\x00\x00\x00\x00\x00\x00\x00\x00\x21\xf9\x04\x00\x00\x00\x00\x00\x2c\x00\x00"
    "\x00\x00\x02\x00\x03\x00\x00\x02\x02\x84\x5f\x00\x3b";
// The picture's own length, not a count by hand: the literal holds NULs.
const std::string kGif(kGifBytes, sizeof kGifBytes - 1);

constexpr char kForms[] = R"(<html><head><title>Forms</title>
<link rel=stylesheet href="file:///c:/datastore/style/a.css">
<link rel=stylesheet href="c:\datastore\style\b.css">
<script src="file://c:/datastore/script/one.js"></script>
<script src="c:\datastore\script\two.js"></script>
<script src="C:/DataStore/script/three.js"></script>
</head><body>
<img id=url2 src="file://c:/datastore/pic.gif">
<img id=url3 src="file:///c:/datastore/pic.gif">
<img id=back src="c:\datastore\pic.gif">
<img id=fore src="c:/datastore/pic.gif">
<iframe id=frame2 src="file://c:/datastore/inner.htm"></iframe>
<iframe id=frameback src="c:\datastore\inner.htm"></iframe>
<iframe id=plain src="inner.htm"></iframe>
<a id=link href="file:///c:/datastore/next.htm">next</a>
<a id=pathlink href="c:\datastore\next.htm">next</a>
</body></html>)";

class DatastoreFormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestBook book;
    book.files = {{"index.htm", "<html><head><title>Start</title></head><body>start</body></html>"},
                  {"forms.htm", kForms},
                  {"pic.gif", kGif},
                  {"style/a.css", "body { margin-left: 17px; }"},
                  {"style/b.css", "body { margin-top: 23px; }"},
                  {"script/one.js", "window.ran = (window.ran || '') + '1';"},
                  {"script/two.js", "window.ran = (window.ran || '') + '2';"},
                  {"script/three.js", "window.ran = (window.ran || '') + '3';"},
                  {"inner.htm", "<html><head><title>Inner</title></head><body>inner</body></html>"},
                  {"data.txt", "from the book"},
                  {"next.htm", "<html><head><title>Next</title></head><body>next</body></html>"},
                  {"go.htm", "<html><head><title>Go</title></head><body>go</body></html>"}};
    book.settings = {{"bookname", "Forms"}, {"guid", "1234567890ABCDEF1234567890ABCDEF"}, {"start_page", "index.htm"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("forms.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("forms.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  bool TitleBecomes(const std::string& title) {
    return RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") == title; }, 10);
  }
  void OpenForms() {
    frame.Navigate("file://c:/datastore/forms.htm");
    ASSERT_TRUE(TitleBecomes("Forms"));
    ASSERT_TRUE(RunUntil([&] { return Run("document.readyState") == "complete"; }));
  }

  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(DatastoreFormsTest, SubresourcesAndFramesLoadFromTheBook) {
  OpenForms();
  for (std::string id : {"url2", "url3", "back", "fore"}) {
    std::string size = Run("(i => i.naturalWidth + 'x' + i.naturalHeight)(document.getElementById('" + id + "'))");
    EXPECT_EQ(size, "2x3") << id;
  }
  EXPECT_EQ(Run("window.ran"), "123") << "every script form ran, in order";
  EXPECT_EQ(Run("getComputedStyle(document.body).marginLeft"), "17px");
  EXPECT_EQ(Run("getComputedStyle(document.body).marginTop"), "23px");
  for (std::string id : {"plain", "frame2", "frameback"}) {
    EXPECT_EQ(Run("document.getElementById('" + id + "').contentDocument.title"), "Inner") << id;
  }
}

TEST_F(DatastoreFormsTest, NoOtherLocalFileIsRead) {
  std::string outside = dir.Write("outside.js", "window.leaked = 'yes';");
  Run("window.got = null; fetch('file://" + outside + "').then(r => r.text()).then(t => { window.got = t; },"
      " () => { window.got = 'refused'; }); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.got)") != "null"; }));
  EXPECT_EQ(Run("window.got"), "refused");
  Run("const s = document.createElement('script'); s.src = 'file://" + outside + "';"
      "s.onerror = () => { window.scriptState = 'refused'; }; s.onload = () => { window.scriptState = 'ran'; };"
      "document.head.appendChild(s); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.scriptState)") != "undefined"; }));
  EXPECT_EQ(Run("window.scriptState"), "refused");
  EXPECT_EQ(Run("String(window.leaked)"), "undefined");
}

TEST_F(DatastoreFormsTest, FetchAndNavigationReachTheBook) {
  OpenForms();
  Run("window.got = null; Promise.all(['file://c:/datastore/data.txt', 'c:\\\\datastore\\\\data.txt'].map("
      "u => fetch(u).then(r => r.text()))).then(t => { window.got = t.join('|'); }, e => { window.got = 'error ' + e; });"
      "'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.got)") != "null"; }));
  EXPECT_EQ(Run("window.got"), "from the book|from the book");
  // A frame's own navigation, asked for by the page around it.
  Run("document.getElementById('plain').contentWindow.location.href = 'file://c:/datastore/go.htm'; 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("document.getElementById('plain').contentDocument.title") == "Go"; }));

  Run("document.getElementById('link').click(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));
  EXPECT_EQ(frame.CurrentUrl(), "file://c:/datastore/next.htm");
  frame.OnCommand(kCmdBack);
  ASSERT_TRUE(TitleBecomes("Forms"));
  Run("document.getElementById('pathlink').click(); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));

  Run("location.href = 'c:\\\\datastore\\\\go.htm'; 'ok'");
  ASSERT_TRUE(TitleBecomes("Go"));
  Run("location.href = 'C:/DataStore/index.htm'; 'ok'");
  ASSERT_TRUE(TitleBecomes("Start"));
  EXPECT_EQ(frame.CurrentUrl(), "file://c:/datastore/index.htm");

  // The file forms, which the engine never lets a page navigate to by itself.
  Run("location.href = 'file://c:/datastore/go.htm'; 'ok'");
  ASSERT_TRUE(TitleBecomes("Go"));
  EXPECT_EQ(frame.CurrentUrl(), "file://c:/datastore/go.htm");
  Run("location.replace('file://c:/datastore/next.htm'); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));
  frame.OnCommand(kCmdBack);
  ASSERT_TRUE(TitleBecomes("Start")) << "a replaced page leaves no history entry";
  Run("location.href = 'file:///c:/datastore/go.htm'; 'ok'");
  ASSERT_TRUE(TitleBecomes("Go"));
  Run("location.assign('FILE://C:/DataStore/next.htm'); 'ok'");
  ASSERT_TRUE(TitleBecomes("Next"));
  frame.OnCommand(kCmdBack);
  ASSERT_TRUE(TitleBecomes("Go")) << "an assigned page is one more history entry";
  // How books go home.
  Run("location.href = external.reader.startPage; 'ok'");
  ASSERT_TRUE(TitleBecomes("Start"));
  EXPECT_EQ(frame.CurrentUrl(), "file://c:/datastore/index.htm");
}

TEST_F(DatastoreFormsTest, NoOtherLocalFileIsShown) {
  // Were it ever shown, the page's script would tell the book page that framed it.
  std::string outside = dir.Write("outside.htm",
                                  "<html><head><title>Outside</title></head><body>outside"
                                  "<script>parent.postMessage('outside shown', '*');</script></body></html>");
  OpenForms();
  Run("window.marker = 'forms'; window.told = [];"
      "addEventListener('message', e => window.told.push(String(e.data))); 'ok'");
  for (const std::string& file : {std::string("/etc/passwd"), outside}) {
    Run("{ const f = document.createElement('iframe'); f.src = 'file://" + file + "'; document.body.append(f);"
        "const b = document.createElement('iframe'); b.src = 'file:///c:/datastore/inner.htm'; b.id = 'after';"
        "document.body.append(b); } 'ok'");
    // A book frame asked for afterwards has loaded, so the local one has had its chance.
    ASSERT_TRUE(RunUntil([&] { return Run("document.getElementById('after').contentDocument.title") == "Inner"; }));
    Run("document.getElementById('after').remove(); 'ok'");
    Run("location.href = 'file://" + file + "'; 'ok'");
    bool shown =
        RunUntil([&] { return Run("String(window.marker)") != "forms" || Run("window.told.join()") != ""; }, 3);
    EXPECT_FALSE(shown) << file;
    EXPECT_EQ(frame.CurrentUrl(), "file://c:/datastore/forms.htm") << file;
  }
  EXPECT_EQ(Run("Array.from(frames).map(w => { try { return w.document.body.innerText; } catch (e) { return ''; } })"
                ".join().includes('root:')"),
            "false");
}

}  // namespace
}  // namespace lectern
