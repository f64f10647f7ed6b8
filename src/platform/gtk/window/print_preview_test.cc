// Print Preview in the real window: the page printed to a private PDF, shown page by page in a
// window of its own, within the book's print permission.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/lectern_view.h"
#include "platform/gtk/window/main_frame.h"
#include "platform/gtk/window/print_preview.h"
#include "tests/support/environment.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

class PrintPreviewTest : public ::testing::Test {
 protected:
  void Open(bool print_allowed) {
    env.Set("XDG_RUNTIME_DIR", runtime.path().c_str());
    TestBook book;
    std::string body;
    for (int i = 0; i < 150; ++i) body += "<p>Line " + std::to_string(i) + " of a page long enough for three sheets</p>";
    book.files = {{"index.htm", "<html><head><title>Long</title></head><body>" + body + "</body></html>"}};
    book.settings = {{"bookname", "Print"}, {"enable_menubar", "true"},
                     {"enable_print", print_allowed ? "true" : "false"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("print.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("print.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string InPreview(const char* script) { return Evaluate(Preview()->pages(), script); }
  PrintPreviewWindow* Preview() { return frame.lectern_view()->print_preview(); }

  TempDir dir, runtime;
  ScopedEnvironment env;
  GtkMainFrame frame;
};

TEST_F(PrintPreviewTest, ShowsThePagesAsTheyWillPrint) {
  Open(true);
  frame.OnCommand(kCmdPrintPreview);
  ASSERT_NE(Preview(), nullptr);
  ASSERT_TRUE(RunUntil([&] { return Preview()->window() && gtk_widget_get_mapped(Preview()->window()); }, 30));
  EXPECT_NE(Preview()->window(), frame.window()) << "a window of its own";
  std::string pdf = Preview()->pdf_path();
  EXPECT_EQ(ReadWholeFile(pdf).substr(0, 5), "%PDF-");
  struct stat info;
  ASSERT_EQ(stat(pdf.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);
  EXPECT_EQ(pdf.rfind(runtime.Join("lectern") + "/", 0), 0u) << pdf;

  // Each sheet is one page object of the PDF.
  std::string bytes = ReadWholeFile(pdf);
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_GE(count("/Type /Page") - count("/Type /Pages"), 2u) << "a long page prints on several sheets";
  // The engine's viewer shows them, with its own steps from page to page.
  EXPECT_TRUE(RunUntil([&] { return InPreview("String(document.querySelector('iframe') !== null)") == "true"; }, 10));
  RunFor(1000);
  SaveWindowSnapshot(Preview()->window(), ArtefactPath("print-preview.png"));

  gtk_button_clicked(GTK_BUTTON(Preview()->close_button()));
  EXPECT_TRUE(Preview()->closed());
  EXPECT_EQ(Preview()->window(), nullptr);
  EXPECT_NE(stat(pdf.c_str(), &info), 0) << "the PDF goes with the window";
}

TEST_F(PrintPreviewTest, NotWhenTheBookForbidsPrinting) {
  Open(false);
  frame.OnCommand(kCmdPrintPreview);
  RunFor(500);
  EXPECT_EQ(Preview(), nullptr);
}

}  // namespace
}  // namespace lectern
