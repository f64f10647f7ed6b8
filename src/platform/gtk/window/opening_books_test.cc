// Books as people make them, in the real window: a folder packed with no options, books without a
// guid side by side, and configuration documents written in other encodings.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "archive/book_identity.h"
#include "archive/pack_folder.h"
#include "archive/test_books.h"
#include "lectern-pack/folder_book.h"
#include "platform/gtk/window/contents_tree.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/fetched_data.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

// Packs `folder` as lectern-pack does with no options.
bool PackFolderBook(const std::string& folder, const std::string& book_path, std::string& error) {
  ZpkWriterOptions options;
  options.identity = RandomBookIdentity();
  options.compress_level = LzoCompressor::kLevelFast;
  FolderBook book;
  if (!PlanFolderBook(folder, options.identity, {}, book, error)) return false;
  ZpkWriter writer;
  if (!writer.Begin(book_path, "", options)) return error = writer.error(), false;
  PackFolderResult packed = PackFolder(folder, writer);
  if (!packed.ok) return error = packed.error, false;
  writer.SetConfigDocument(FolderBookConfigDocument(book));
  if (!writer.SetSettings(book.settings) || !writer.Finish()) return error = writer.error(), false;
  return true;
}

class OpeningBooksTest : public ::testing::Test {
 protected:
  std::unique_ptr<GtkMainFrame> Open(const std::string& path) {
    auto frame = std::make_unique<GtkMainFrame>();
    if (!frame->Create(path)) return nullptr;
    frame->Show();
    if (!WaitForLoad(frame->view())) return nullptr;
    return frame;
  }

  TempDir dir;
};

TEST_F(OpeningBooksTest, AFolderPackedWithNoOptionsIsReadyToRead) {
  dir.Write("site/index.html", "<html><head><title>Field Notes</title></head><body>Start</body></html>");
  dir.Write("site/birds/index.html", "<title>Birds</title>");
  dir.Write("site/birds/owls.html", "<title>Owls at night</title>");
  dir.Write("site/trees/oak.html", "<title>The oak</title>");
  dir.Write("site/style/site.css", "body{}");
  std::string error, book = dir.Join("notes.ebk");
  ASSERT_TRUE(PackFolderBook(dir.Join("site"), book, error)) << error;

  auto frame = Open(book);
  ASSERT_TRUE(frame);
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame->view(), "document.body.textContent") == "Start"; }));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(frame->window())), "Field Notes");
  EXPECT_NE(frame->menu_bar(), nullptr);
  EXPECT_NE(frame->status_bar(), nullptr);
  EXPECT_NE(frame->search_bar(), nullptr);
  EXPECT_NE(frame->toolbar()->row(), nullptr);
  EXPECT_TRUE(gtk_window_get_deletable(GTK_WINDOW(frame->window())));
  EXPECT_TRUE(frame->side_bar_visible()) << "the contents are open at start";
  EXPECT_EQ(Outline(*frame->contents_pane(), 8),
            "Field Notes\n"
            "birds\n"
            "  Owls at night\n"
            "trees\n"
            "  The oak\n");
  RunFor(300);
  SaveWindowSnapshot(frame->window(), ArtefactPath("opening_books_folder.png"));
}

TEST_F(OpeningBooksTest, TheHandbooksEnglishTreeOpensAtItsTitleWithItsChapters) {
  std::filesystem::path html =
      FetchedData("debian-handbook") / "usr/share/doc/debian-handbook/html/en-US";
  if (!std::filesystem::exists(html)) FAIL() << MissingDataMessage("debian-handbook");
  std::string error, book = dir.Join("handbook.ebk");
  ASSERT_TRUE(PackFolderBook(html.string(), book, error)) << error;
  auto frame = Open(book);
  ASSERT_TRUE(frame);
  std::string caption = gtk_window_get_title(GTK_WINDOW(frame->window()));
  EXPECT_NE(caption.find("Debian Administrator"), std::string::npos) << caption;
  std::string outline = Outline(*frame->contents_pane(), 0);
  EXPECT_EQ(outline.rfind(caption + "\n", 0), 0u) << outline;
  EXPECT_NE(outline.find("Maintenance and Updates: The APT Tools\n"), std::string::npos) << outline;
  RunFor(300);
  SaveWindowSnapshot(frame->window(), ArtefactPath("opening_books_handbook.png"));
}

TEST_F(OpeningBooksTest, BooksWithoutAGuidKeepTheirBookmarksApart) {
  TestBook plain;
  plain.files = {{"index.htm", "<title>One</title>"}};
  plain.settings = {{"bookname", "No guid"}, {"enable_contenttree", "true"}};
  std::string first = dir.Join("first.ebk"), second = dir.Join("second.ebk");
  ASSERT_TRUE(WriteTestBook(first, plain));
  ASSERT_TRUE(WriteTestBook(second, plain));

  std::string first_folder;
  {
    auto frame = Open(first);
    ASSERT_TRUE(frame);
    first_folder = frame->working_folder();
    frame->bookmarks_pane()->AddRecord("file://c:/datastore/index.htm", "Only in the first");
    EXPECT_EQ(frame->PlaceIdentity().size(), 32u);
  }
  {
    auto frame = Open(second);
    ASSERT_TRUE(frame);
    EXPECT_NE(frame->working_folder(), first_folder);
    EXPECT_EQ(frame->bookmarks_pane()->count(), 0u) << "a bookmark of another book";
  }
  {
    auto frame = Open(first);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->working_folder(), first_folder) << "the same book finds its folder again";
    ASSERT_EQ(frame->bookmarks_pane()->count(), 1u);
    EXPECT_EQ(frame->bookmarks_pane()->LabelAt(0), "Only in the first");
  }
}

TEST_F(OpeningBooksTest, ContentsInOtherEncodingsShowTheirTitles) {
  struct Case {
    const char* name;
    std::string document;
    std::string expected;
  };
  const Case cases[] = {
      {"windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><book><toc>"
       "<item text=\"Caf\xE9 \x96 \x80 prices\" url=\"index.htm\"/></toc></book>",
       "Caf\xC3\xA9 \xE2\x80\x93 \xE2\x82\xAC prices"},
      {"Shift_JIS",
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><book><toc>"
       "<item text=\"\x83\x65\x83\x4C\x83\x58\x83\x67\" url=\"index.htm\"/></toc></book>",
       "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestBook book;
    book.files = {{"index.htm", "<title>Start</title>"}};
    book.settings = {{"bookname", c.name}, {"enable_contenttree", "true"}, {"show_toc_at_startup", "true"}};
    book.config_document = c.document;
    std::string path = dir.Join(std::string(c.name) + ".ebk");
    ASSERT_TRUE(WriteTestBook(path, book));
    auto frame = Open(path);
    ASSERT_TRUE(frame);
    EXPECT_EQ(Outline(*frame->contents_pane(), 8), c.expected + "\n");
    RunFor(200);
    SaveWindowSnapshot(frame->window(), ArtefactPath(std::string("opening_books_") + c.name + ".png"));
  }
}

}  // namespace
}  // namespace lectern
