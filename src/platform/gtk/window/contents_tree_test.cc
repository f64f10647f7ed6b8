// The contents pane in the real window: what it lists in contents and directory mode, for a packed
// book and a project, and which page a click, Enter or a selection opens in the view.
#include "platform/gtk/window/contents_tree.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

std::string Page(const std::string& title) {
  return "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>";
}

int Find(CEbkTreeView& pane, std::string_view label) {
  const auto& items = pane.model().items();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].label == label) return int(i);
  return ContentsTreeModel::kNone;
}

// A pointer click on the row of item `index`, where the pane's window receives it.
void ClickRow(CEbkTreeView& pane, int index) {
  // Events reach only a window the display server has shown.
  ASSERT_TRUE(RunUntil([&] {
    GdkWindow* bin = gtk_tree_view_get_bin_window(pane.tree());
    return bin && gdk_window_is_viewable(bin);
  }, 5)) << "the pane is on screen";
  GtkTreePath* path = pane.PathOf(index);
  ASSERT_NE(path, nullptr);
  // The row's place once the rows above it are laid out.
  gtk_tree_view_expand_to_path(pane.tree(), path);
  RunFor(100);
  GdkRectangle cell;
  gtk_tree_view_get_cell_area(pane.tree(), path, gtk_tree_view_get_column(pane.tree(), 0), &cell);
  gtk_tree_path_free(path);
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_tree_view_get_bin_window(pane.tree())));
    event->button.button = GDK_BUTTON_PRIMARY;
    event->button.x = cell.x + cell.width / 2.0;
    event->button.y = cell.y + cell.height / 2.0;
    event->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(GTK_WIDGET(pane.tree()), event);
    gdk_event_free(event);
  }
}

void Select(CEbkTreeView& pane, int index) {
  GtkTreePath* path = pane.PathOf(index);
  ASSERT_NE(path, nullptr);
  gtk_tree_view_expand_to_path(pane.tree(), path);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(pane.tree()), path);
  gtk_tree_path_free(path);
}

std::string SelectedLabel(CEbkTreeView& pane) {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(pane.tree()), &model, &iter)) return "";
  gchar* label = nullptr;
  gtk_tree_model_get(model, &iter, 1, &label, -1);
  std::string text = label ? label : "";
  g_free(label);
  return text;
}

// A key pressed and released while the tree has the focus.
void PressKey(CEbkTreeView& pane, guint key) {
  // The tree moves its cursor only while its window has the keyboard focus, which no window
  // manager gives here.
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(pane.tree()));
  GdkEvent* focus = gdk_event_new(GDK_FOCUS_CHANGE);
  focus->focus_change.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
  focus->focus_change.in = TRUE;
  gtk_widget_send_focus_change(top, focus);
  gdk_event_free(focus);
  gtk_widget_grab_focus(GTK_WIDGET(pane.tree()));
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = KeyEvent(GTK_WIDGET(pane.tree()), key, GdkModifierType(0));
    event->key.type = type;
    gtk_widget_event(GTK_WIDGET(pane.tree()), event);
    gdk_event_free(event);
  }
}

void PressEnter(CEbkTreeView& pane) {
  GdkEvent* event = KeyEvent(GTK_WIDGET(pane.tree()), GDK_KEY_Return, GdkModifierType(0));
  event->key.type = GDK_KEY_RELEASE;
  gtk_widget_event(GTK_WIDGET(pane.tree()), event);
  gdk_event_free(event);
}

class ContentsTreeTest : public ::testing::Test {
 protected:
  static TestBook Book() {
    TestBook book;
    book.files = {{"index.htm", Page("Start")},
                  {"intro.htm", Page("Intro")},
                  {"part/one.htm", Page("One")},
                  {"part/deep/two.htm", Page("Two")},
                  {"part/deep/three.htm", Page("Three")}};
    book.settings = {{"bookname", "Tree Book"}, {"enable_menubar", "true"}, {"enable_toolbar", "true"},
                     {"enable_statusbar", "true"}, {"enable_contenttree", "true"}};
    book.config_document =
        "<ebook><toc>"
        "<item text='Introduction' url='intro.htm'>"
        "  <item text='Part one' url='part\\one.htm'>"
        "    <item text='Deeper' url='/part/deep/two.htm'/>"
        "    <item text='No page here'/>"
        "  </item>"
        "</item>"
        "<item text='Section without page'><item text='Three' url='part/deep/three.htm'/></item>"
        "</toc></ebook>";
    return book;
  }

  GtkMainFrame* Open(const std::string& path) {
    frame_ = std::make_unique<GtkMainFrame>();
    if (!frame_->Create(path)) return nullptr;
    frame_->Show();
    if (!WaitForLoad(frame_->view())) return nullptr;
    return frame_.get();
  }

  // Waits for the view to show `url` (in the book's URL forms) with the page's title.
  bool Shows(const std::string& url, const std::string& title) {
    return RunUntil([&] { return frame_->CurrentUrl() == url && Evaluate(frame_->view(), "document.title") == title; });
  }

  TempDir dir;
  std::unique_ptr<GtkMainFrame> frame_;
};

TEST_F(ContentsTreeTest, ContentsModeListsTheTocAndOpensPagesAsTheUserPicksThem) {
  std::string path = dir.Join("tree.ebk");
  ASSERT_TRUE(testing::WriteTestBook(path, Book()));
  GtkMainFrame* frame = Open(path);
  ASSERT_NE(frame, nullptr);
  frame->OnCommand(kCmdContentsPane);
  ASSERT_TRUE(frame->side_bar_visible());
  EXPECT_EQ(frame->side_bar()->caption(), "Contents");
  CEbkTreeView& pane = *frame->contents_pane();
  EXPECT_EQ(Outline(pane),
            "Introduction\n"
            "  Part one\n"
            "    Deeper\n"
            "    No page here\n"
            "Section without page\n"
            "  Three\n");

  // The tree taking the focus selects a first row itself; that opens nothing.
  gtk_widget_grab_focus(GTK_WIDGET(pane.tree()));
  RunFor(300);
  EXPECT_EQ(frame->CurrentUrl(), "file://c:/datastore/index.htm");
  // A leaf opens on a click, with the book's own URL form whatever separators the toc used, and
  // the tree shows the page's row.
  ClickRow(pane, Find(pane, "Deeper"));
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/two.htm", "Two"));
  EXPECT_EQ(SelectedLabel(pane), "Deeper");
  // A section opens on a click too.
  ClickRow(pane, Find(pane, "Part one"));
  EXPECT_TRUE(Shows("file://c:/datastore/part/one.htm", "One"));
  // A selection not made by the user opens nothing; Enter then opens it.
  Select(pane, Find(pane, "Three"));
  RunFor(300);
  EXPECT_EQ(frame->CurrentUrl(), "file://c:/datastore/part/one.htm");
  PressEnter(pane);
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/three.htm", "Three"));
  // Moving up with the keys passes leaves and a section without a page, and opens the section.
  for (int i = 0; i < 3; ++i) PressKey(pane, GDK_KEY_Up);
  RunFor(300);
  EXPECT_EQ(SelectedLabel(pane), "Deeper");
  EXPECT_EQ(frame->CurrentUrl(), "file://c:/datastore/part/deep/three.htm");
  PressKey(pane, GDK_KEY_Up);
  EXPECT_TRUE(Shows("file://c:/datastore/part/one.htm", "One"));

  // Back and Forward move the tree's selection with the page, and navigate nothing more.
  frame->OnCommand(kCmdBack);
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/three.htm", "Three"));
  EXPECT_EQ(SelectedLabel(pane), "Three");
  frame->OnCommand(kCmdBack);
  EXPECT_TRUE(Shows("file://c:/datastore/part/one.htm", "One"));
  EXPECT_EQ(SelectedLabel(pane), "Part one");
  frame->OnCommand(kCmdForward);
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/three.htm", "Three"));
  EXPECT_EQ(SelectedLabel(pane), "Three");
  frame->OnCommand(kCmdBack);
  EXPECT_TRUE(Shows("file://c:/datastore/part/one.htm", "One"));
  frame->OnCommand(kCmdBack);
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/two.htm", "Two"));
  EXPECT_EQ(SelectedLabel(pane), "Deeper");
  frame->OnCommand(kCmdForward);
  EXPECT_TRUE(Shows("file://c:/datastore/part/one.htm", "One"));
  frame->OnCommand(kCmdForward);
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/three.htm", "Three"));
  // Items without a page stay where the reader is.
  ClickRow(pane, Find(pane, "No page here"));
  Select(pane, Find(pane, "Section without page"));
  RunFor(300);
  EXPECT_EQ(frame->CurrentUrl(), "file://c:/datastore/part/deep/three.htm");

  // A section shows the open folder while expanded, the closed one when collapsed.
  int section = Find(pane, "Introduction");
  GtkTreePath* row = pane.PathOf(section);
  gtk_tree_view_collapse_row(pane.tree(), row);
  EXPECT_EQ(pane.ImageOf(section), kImageClosedFolder);
  gtk_tree_view_expand_row(pane.tree(), row, FALSE);
  EXPECT_EQ(pane.ImageOf(section), kImageOpenFolder);
  gtk_tree_path_free(row);
  EXPECT_EQ(pane.ImageOf(Find(pane, "Deeper")), kImagePage);

  gtk_tree_view_expand_all(pane.tree());
  RunFor(200);
  SaveWindowSnapshot(frame->window(), ArtefactPath("contents-pane.png"));
}

TEST_F(ContentsTreeTest, DirectoryModeListsTheArchiveUnderTheBooksName) {
  TestBook book = Book();
  book.settings["show_directory_tree"] = "true";
  std::string path = dir.Join("folders.ebk");
  ASSERT_TRUE(testing::WriteTestBook(path, book));
  GtkMainFrame* frame = Open(path);
  ASSERT_NE(frame, nullptr);
  CEbkTreeView& pane = *frame->contents_pane();
  ASSERT_EQ(pane.model().mode(), TreeMode::kDirectory);
  // Everything hangs from the book's root item; folders and files in their stored order.
  std::string outline = Outline(pane);
  EXPECT_EQ(outline.rfind("Tree Book\n", 0), 0u) << outline;
  for (const char* line : {"  index.htm\n", "  part\n", "    one.htm\n", "    deep\n", "      two.htm\n"})
    EXPECT_NE(outline.find(line), std::string::npos) << line << " in\n" << outline;
  EXPECT_EQ(pane.ImageOf(Find(pane, "part")), kImageClosedFolder);

  frame->OnCommand(kCmdContentsPane);
  ClickRow(pane, Find(pane, "two.htm"));
  EXPECT_TRUE(Shows("file://c:/datastore/part/deep/two.htm", "Two"));
  ClickRow(pane, Find(pane, "intro.htm"));
  EXPECT_TRUE(Shows("file://c:/datastore/intro.htm", "Intro"));
  gtk_tree_view_expand_all(pane.tree());
  RunFor(200);
  SaveWindowSnapshot(frame->window(), ArtefactPath("contents-pane-directory.png"));

  // A book without a name still has a root to hang from.
  book.settings.erase("bookname");
  std::string nameless = dir.Join("nameless.ebk");
  ASSERT_TRUE(testing::WriteTestBook(nameless, book));
  frame_.reset();
  ASSERT_NE(Open(nameless), nullptr);
  EXPECT_EQ(Outline(*frame_->contents_pane()).rfind("E-Book\n", 0), 0u);
}

TEST_F(ContentsTreeTest, AProjectOpensItsFilesFromDisk) {
  dir.Write("project/book/start.html", Page("Start"));
  dir.Write("project/book/chapter/page.html", Page("Chapter page"));
  auto project = [&](const std::string& name, bool folders) {
    return dir.Write("project/" + name,
                     "<p><config><title>Tree project</title><ebook_directory>book</ebook_directory>"
                     "<start_page>start.html</start_page><enable_toc>yes</enable_toc>"
                     "<show_ebk_source_tree>" + std::string(folders ? "yes" : "no") + "</show_ebk_source_tree>"
                     "</config><toc><item text='Chapter' url='chapter/page.html'/></toc></p>");
  };
  std::string book_folder = dir.Join("project/book");

  // Contents mode: toc paths join the project's book folder.
  GtkMainFrame* frame = Open(project("toc.bpj", false));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(Outline(*frame->contents_pane()), "Chapter\n");
  frame->OnCommand(kCmdContentsPane);
  ClickRow(*frame->contents_pane(), Find(*frame->contents_pane(), "Chapter"));
  EXPECT_TRUE(Shows("file://" + book_folder + "/chapter/page.html", "Chapter page"));

  // Directory mode: the folder on disk, its files opened as file URLs.
  frame_.reset();
  frame = Open(project("folders.bpj", true));
  ASSERT_NE(frame, nullptr);
  CEbkTreeView& pane = *frame->contents_pane();
  std::string outline = Outline(pane);
  EXPECT_NE(outline.find("  chapter\n    page.html\n"), std::string::npos) << outline;
  frame->OnCommand(kCmdContentsPane);
  ClickRow(pane, Find(pane, "page.html"));
  EXPECT_TRUE(Shows("file://" + book_folder + "/chapter/page.html", "Chapter page"));
}

}  // namespace
}  // namespace lectern
