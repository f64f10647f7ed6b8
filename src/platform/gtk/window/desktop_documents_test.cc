// Book documents the page view cannot show leave it for the desktop's opener, as a private copy:
// a recording stand-in for xdg-open on PATH tells what the desktop was asked to open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "platform/user_folders.h"
#include "tests/support/environment.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

class DesktopDocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string fake = bin.Write("xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + bin.Join("opened") + "'\n");
    chmod(fake.c_str(), 0755);
    env.Set("PATH", (bin.path() + ":" + std::getenv("PATH")).c_str());
    env.Set("XDG_RUNTIME_DIR", runtime.path().c_str());
    TestBook book;
    book.files = {{"index.htm", "<html><head><title>Start</title></head><body>"
                                "<a id=docx href='docs/Report.docx'>report</a>"
                                "<a id=epub href='docs/novel.epub'>novel</a>"
                                "<a id=odt href='c:\\datastore\\docs\\letter.odt'>letter</a>"
                                "<a id=page href='next.htm'>next</a></body></html>"},
                  {"next.htm", "<html><head><title>Next</title></head><body>next</body></html>"},
                  {"docs/Report.docx", std::string("PK\x03\x04 report", 12)},
                  {"docs/novel.epub", std::string("PK\x03\x04 novel", 11)},
                  {"docs/letter.odt", std::string("PK\x03\x04 letter", 12)}};
    book.settings = {{"bookname", "Documents"}, {"guid", "00FF00FF00FF00FF00FF00FF00FF00FF"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("docs.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("docs.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  // The paths the desktop was asked to open, one a line.
  std::string Opened() { return ReadWholeFile(bin.Join("opened")); }

  TempDir dir, bin, runtime;
  ScopedEnvironment env;
  GtkMainFrame frame;
};

TEST_F(DesktopDocumentsTest, DocumentsTheViewCannotShowReachTheDesktop) {
  Run("document.getElementById('docx').click(); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return !Opened().empty(); }, 10));
  std::string path = Opened().substr(0, Opened().find('\n'));
  EXPECT_EQ(path.rfind(PrivateFilesFolder() + "/", 0), 0u) << path << " is a private copy";
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "report.docx");
  EXPECT_EQ(ReadWholeFile(path), std::string("PK\x03\x04 report", 12));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u) << "only the user reads it";
  EXPECT_EQ(Run("document.title"), "Start") << "the view stays on its page";

  Run("document.getElementById('epub').click(); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Opened().find("novel.epub") != std::string::npos; }, 10));
  Run("document.getElementById('odt').click(); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Opened().find("letter.odt") != std::string::npos; }, 10));
  EXPECT_EQ(Run("document.title"), "Start");

  // Pages still open in the view.
  Run("document.getElementById('page').click(); 'ok'");
  EXPECT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) && Run("document.title") == "Next"; }));
}

TEST_F(DesktopDocumentsTest, AFolderOfOursThatOthersMayEnterIsClosedBeforeACopyGoesIn) {
  std::string folder = runtime.Join("lectern");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  Run("document.getElementById('docx').click(); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Opened().find("report.docx") != std::string::npos; }, 10));
  struct stat info;
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u) << "closed to others before the copy went in";
  EXPECT_EQ(Opened().rfind(folder + "/", 0), 0u) << Opened();
}

}  // namespace
}  // namespace lectern
