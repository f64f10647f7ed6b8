// Marking the search words in the real page view, find-next through a page and its frames, and the
// rules that reset both: a new text, the reset command, another frame clicked, a new page.
#include "platform/gtk/window/highlight.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/test_books.h"
#include "datastore/datastore_path.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

TEST(HighlightWordsTest, BlanksTabsAndLineFeedsCutAndPhraseQuotesGo) {
  EXPECT_EQ(HighlightWords("cat dog"), (std::vector<std::string>{"cat", "dog"}));
  EXPECT_EQ(HighlightWords("  cat\t\tdog\nbird  "), (std::vector<std::string>{"cat", "dog", "bird"}));
  EXPECT_EQ(HighlightWords("fox \"brown dog\""), (std::vector<std::string>{"fox", "brown", "dog"}));
  EXPECT_EQ(HighlightWords("\"\" cat"), (std::vector<std::string>{"cat"}));
  EXPECT_EQ(HighlightWords("say\"so\"x"), (std::vector<std::string>{"say\"so\"x"})) << "inner quotes stay";
  EXPECT_TRUE(HighlightWords("").empty());
  EXPECT_TRUE(HighlightWords(" \t\n").empty());
}

constexpr const char* kPage =
    "<html><head><title>Marks</title></head><body>"
    "<p>The <span id=c1>cat</span> met a Dog.</p>"
    "<p>A <span id=c2>CAT</span> and a <b>dOg</b>; another <span id=c3>Cat</span>.</p>"
    "<p id=e>An e-book (1.5*2) costs $3? [yes] #1 \\o/</p>"
    "<script>var cat = 'dog';</script>"
    "<iframe id=inner src='inner.htm' width=300 height=80></iframe>"
    "</body></html>";
constexpr const char* kInner =
    "<html><body><span id=i1>cat</span> in a frame, <span id=i2>cat</span> again</body></html>";

class HighlightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestBook book;
    book.files = {{"index.htm", kPage},
                  {"inner.htm", kInner},
                  {"other.htm", "<html><head><title>Other</title></head><body>cat</body></html>"}};
    book.settings = {{"bookname", "Marks"}, {"enable_toolbar", "true"}, {"enable_searchbar", "true"},
                     {"enable_statusbar", "true"}};
    std::string path = dir.Join("marks.ebk");
    ASSERT_TRUE(WriteTestBook(path, book));
    ASSERT_TRUE(frame.Create(path));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
    ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "frames[0].document.readyState") == "complete"; }));
  }

  // The marks in the top page: their texts, in document order.
  std::string Marks() {
    return Evaluate(frame.view(),
                    "Array.from(document.querySelectorAll('font')).map(f => f.textContent).join(',')");
  }

  int Highlight(const std::string& text) {
    int marks = -2;
    frame.highlighter()->HighlightSearchHits(text, [&](int made) { marks = made; });
    EXPECT_TRUE(RunUntil([&] { return marks != -2; }));
    return marks;
  }

  // The id of the element holding the selection of `window` (a script expression), "" for none.
  std::string FindNext(const std::string& text, const char* window = "window") {
    int answer = -1;
    frame.highlighter()->FindNext(text, [&](bool found) { answer = found; });
    EXPECT_TRUE(RunUntil([&] { return answer != -1; }));
    if (!answer) return "";
    std::string script = std::string("(function(){ const s = ") + window +
                         ".getSelection(); return s.rangeCount ? s.anchorNode.parentElement.id + ':' + s.toString() "
                         ": 'none'; })()";
    return Evaluate(frame.view(), script.c_str());
  }

  void Reload() {
    webkit_web_view_reload(frame.view());
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }

  // A press of the mouse in a window of the page, as the user's click begins.
  void PressIn(const char* window) {
    std::string script = std::string(window) +
                         ".document.body.dispatchEvent(new MouseEvent('mousedown', {bubbles: true})); 'pressed'";
    ASSERT_EQ(Evaluate(frame.view(), script.c_str()), "pressed");
  }

  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(HighlightTest, MarksEveryWordInThePagesOwnSpelling) {
  EXPECT_EQ(Highlight("cat dog"), 5);
  EXPECT_EQ(Marks(), "cat,Dog,CAT,dOg,Cat");
  EXPECT_TRUE(frame.highlighter()->highlighted());
  EXPECT_EQ(Evaluate(frame.view(), "document.querySelector('font').getAttribute('style')"), "BACKGROUND-COLOR: darkblue");
  EXPECT_EQ(Evaluate(frame.view(), "document.querySelector('font').getAttribute('color')"), "white");
  EXPECT_EQ(Evaluate(frame.view(), "document.querySelector('script').textContent"), "var cat = 'dog';")
      << "script text is no page text";
  EXPECT_EQ(Evaluate(frame.view(), "document.body.innerText.includes('The cat met a Dog.')"), "true");
  EXPECT_EQ(Evaluate(frame.view(), "getComputedStyle(document.querySelector('font')).backgroundColor"), "rgb(0, 0, 139)");
  EXPECT_EQ(Evaluate(frame.view(), "getComputedStyle(document.querySelector('font')).color"), "rgb(255, 255, 255)");
  SaveSnapshot(frame.view(), ArtefactPath("highlight-marks-page.png"));
  SaveWindowSnapshot(frame.window(), ArtefactPath("highlight-marks.png"));

  // Again without the toggle: marks inside the marks.
  EXPECT_EQ(Highlight("cat dog"), 5);
  EXPECT_EQ(Evaluate(frame.view(), "String(document.querySelectorAll('font font').length)"), "5");

  // The toggle on a highlighted page loads it clean instead.
  frame.OnCommand(kCmdToggleHighlight);
  EXPECT_FALSE(frame.highlighter()->highlighted());
  ASSERT_TRUE(WaitForLoad(frame.view()));
  ASSERT_TRUE(RunUntil([&] { return Marks().empty(); }));
  // Off: it marks the search bar's text.
  frame.search_bar()->SetQueryText("\"met\" another");
  frame.OnCommand(kCmdToggleHighlight);
  ASSERT_TRUE(RunUntil([&] { return frame.highlighter()->highlighted(); }));
  EXPECT_EQ(Marks(), "met,another");
  // An empty bar leaves the page alone.
  frame.OnCommand(kCmdToggleHighlight);
  ASSERT_TRUE(WaitForLoad(frame.view()));
  frame.search_bar()->SetQueryText("");
  frame.OnCommand(kCmdToggleHighlight);
  RunFor(300);
  EXPECT_FALSE(frame.highlighter()->highlighted());
  EXPECT_EQ(Marks(), "");

  // A new page carries no marks.
  EXPECT_EQ(Highlight("cat"), 3);
  frame.Navigate(DatastoreUrl("other.htm"));
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_FALSE(frame.highlighter()->highlighted());

  // Asked for while a page still loads, the marks come once it has loaded, and stay.
  frame.search_bar()->SetQueryText("cat");
  frame.Navigate(DatastoreUrl("index.htm"));
  ASSERT_TRUE(webkit_web_view_is_loading(frame.view()));
  frame.OnCommand(kCmdToggleHighlight);
  ASSERT_TRUE(WaitForLoad(frame.view()));
  ASSERT_TRUE(RunUntil([&] { return frame.highlighter()->highlighted(); }));
  EXPECT_EQ(Marks(), "cat,CAT,Cat");
}

TEST_F(HighlightTest, FindNextCyclesAndRestartsAtTheTop) {
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  EXPECT_EQ(FindNext("cat"), "c2:CAT");
  EXPECT_EQ(FindNext("cat"), "c3:Cat");
  EXPECT_EQ(FindNext("cat"), "") << "after the last one, nothing";
  EXPECT_EQ(FindNext("cat"), "c1:cat") << "then the first again";
  EXPECT_EQ(FindNext("cat"), "c2:CAT");
  // Another text starts at the top.
  EXPECT_EQ(FindNext("dog"), ":Dog");
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  EXPECT_EQ(FindNext("cat"), "c2:CAT");
  // The reset command too.
  frame.OnCommand(kCmdResetSearchPosition);
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  // A phrase matches across blanks and elements of the page.
  EXPECT_EQ(FindNext("another   cat"), ":another Cat");
  EXPECT_EQ(FindNext(""), "");
  EXPECT_EQ(FindNext("zebra"), "");
  // The page's text is matched as it stands, whatever signs the word holds.
  for (const char* text : {"E-BOOK", "(1.5*2)", "$3?", "[yes]", "#1", "\\o/"})
    EXPECT_EQ(FindNext(text), std::string("e:") + (std::string(text) == "E-BOOK" ? "e-book" : text)) << text;
  EXPECT_EQ(FindNext("1.5.2"), "") << "a dot is a dot";

  // Marks do not disturb the walk: a highlighted page is found through in the same order.
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  EXPECT_EQ(Highlight("cat"), 3);
  EXPECT_EQ(FindNext("cat"), ":CAT");
  EXPECT_EQ(FindNext("cat"), ":Cat");
  EXPECT_EQ(FindNext("cat"), "");

  // A reload is a completed navigation: the next find starts at the top.
  Reload();
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  EXPECT_EQ(FindNext("cat"), "c2:CAT");
  Reload();
  EXPECT_EQ(FindNext("cat"), "c1:cat");
}

TEST_F(HighlightTest, TheFrameLastClickedIsSearchedFromItsTop) {
  EXPECT_EQ(FindNext("cat"), "c1:cat");
  EXPECT_EQ(FindNext("cat"), "c2:CAT");
  PressIn("frames[0]");
  EXPECT_EQ(FindNext("cat", "frames[0]"), "i1:cat");
  EXPECT_EQ(FindNext("cat", "frames[0]"), "i2:cat");
  // Another press in the same frame keeps the place.
  PressIn("frames[0]");
  EXPECT_EQ(FindNext("cat", "frames[0]"), "");
  EXPECT_EQ(FindNext("cat", "frames[0]"), "i1:cat");
  EXPECT_EQ(Highlight("frame"), 1);
  EXPECT_EQ(Evaluate(frame.view(), "frames[0].document.querySelectorAll('font').length + ''"), "1");
  EXPECT_EQ(Marks(), "") << "the top page is not the active frame";
  // Back in the top page: its top again.
  PressIn("window");
  EXPECT_EQ(FindNext("cat"), "c1:cat");
}

}  // namespace
}  // namespace lectern
