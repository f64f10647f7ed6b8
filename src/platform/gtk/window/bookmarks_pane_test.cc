// The bookmarks pane in the real window on packed books: adding through the naming dialog, the
// overwrite question, renaming in place, removing, opening, the Bookmark menu, and the bookmarks
// file in the book's working folder across runs, including files that are damaged or in the way.
#include "platform/gtk/window/bookmarks_pane.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/window/add_favorite_dlg.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"
#include "shell/ebk_registry.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

std::string Page(const std::string& title) {
  return "<html><head><title>" + title + "</title></head><body>" + title + " text</body></html>";
}

std::string UrlOf(const std::string& page) { return "file://c:/datastore/" + page; }

// Answers the next naming dialog once it is on the screen, from the main loop that runs it.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(CAddFavoriteDlg&)> act) : act_(std::move(act)) {
    source_ = g_timeout_add(20, &DialogDriver::Poll, this);
  }
  ~DialogDriver() {
    if (source_) g_source_remove(source_);
  }
  bool acted() const { return acted_; }
  const std::string& first_name() const { return first_name_; }
  const std::string& title() const { return title_; }

 private:
  static gboolean Poll(gpointer data) {
    auto* self = static_cast<DialogDriver*>(data);
    CAddFavoriteDlg* dialog = CAddFavoriteDlg::Running();
    if (!dialog || !gtk_widget_get_mapped(dialog->dialog())) return G_SOURCE_CONTINUE;
    self->first_name_ = gtk_entry_get_text(dialog->name_field());
    self->title_ = gtk_window_get_title(GTK_WINDOW(dialog->dialog()));
    self->source_ = 0;
    self->acted_ = true;
    self->act_(*dialog);
    return G_SOURCE_REMOVE;
  }
  std::function<void(CAddFavoriteDlg&)> act_;
  guint source_ = 0;
  bool acted_ = false;
  std::string first_name_;
  std::string title_;
};

// Fills the dialog's field with `name` and presses OK.
std::function<void(CAddFavoriteDlg&)> NameIt(std::string name) {
  return [name](CAddFavoriteDlg& dialog) {
    gtk_entry_set_text(dialog.name_field(), name.c_str());
    dialog.Respond(CAddFavoriteDlg::kResultOk);
  };
}

std::vector<std::string> Labels(const CEbkFavorites& pane) {
  std::vector<std::string> labels;
  for (size_t i = 0; i < pane.count(); ++i) labels.push_back(pane.LabelAt(i));
  return labels;
}

std::vector<std::string> MenuLabels(GtkWidget* menu) {
  std::vector<std::string> labels;
  GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* child = children; child; child = child->next) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(child->data)) labels.push_back("-");
    else labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(child->data)));
  }
  g_list_free(children);
  return labels;
}

GtkWidget* MenuItemAt(GtkWidget* menu, size_t place) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
  GtkWidget* item = GTK_WIDGET(g_list_nth_data(children, guint(place)));
  g_list_free(children);
  return item;
}

void SelectRow(CEbkFavorites& pane, int row) {
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(pane.tree()), path);
  gtk_tree_path_free(path);
}

// A key pressed while the pane's list has the focus, delivered as the window would.
void PressKey(GtkMainFrame& frame, CEbkFavorites& pane, guint key) {
  gtk_widget_grab_focus(GTK_WIDGET(pane.tree()));
  GdkEvent* event = KeyEvent(frame.window(), key, GdkModifierType(0));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

// A key pressed in the field of the edit in progress.
void PressFieldKey(GtkMainFrame& frame, CEbkFavorites& pane, guint key) {
  GdkEvent* event = KeyEvent(frame.window(), key, GdkModifierType(0));
  gtk_widget_event(GTK_WIDGET(pane.rename_field()), event);
  gdk_event_free(event);
}

// A click of the primary button on a row of the list, where the pointer would release it.
void ClickRow(CEbkFavorites& pane, int row) {
  GtkTreeView* tree = pane.tree();
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  GdkRectangle area{};
  gtk_tree_view_get_background_area(tree, path, nullptr, &area);
  gtk_tree_path_free(path);
  GdkEvent* event = gdk_event_new(GDK_BUTTON_RELEASE);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_tree_view_get_bin_window(tree)));
  event->button.button = GDK_BUTTON_PRIMARY;
  event->button.x = area.x + 40;
  event->button.y = area.y + area.height / 2.0;
  event->button.time = GDK_CURRENT_TIME;
  gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(GTK_WIDGET(tree), event);
  gdk_event_free(event);
}

class BookmarksPaneTest : public ::testing::Test {
 protected:
  // A book of `pages` pages p1.htm.. with titles "Page 1".., under an identity of this test's own,
  // so each test has a working folder of its own.
  std::string WriteBook(int pages = 3) {
    TestBook book;
    book.files["index.htm"] = Page("Start");
    for (int i = 1; i <= pages; ++i) {
      const std::string number = std::to_string(i);
      book.files["p" + number + ".htm"] = Page("Page " + number);
    }
    book.settings = {{"bookname", "Marks Book"}, {"enable_menubar", "true"}, {"enable_toolbar", "true"},
                     {"enable_statusbar", "true"}, {"enable_contenttree", "true"}, {"guid", Identity()}};
    std::string path = dir.Join("marks.ebk");
    EXPECT_TRUE(WriteTestBook(path, book));
    return path;
  }

  static std::string Identity() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("marks-") + info->name();
  }

  // Where the frame keeps this book's bookmarks, made as the frame makes it.
  std::string FavoritesFile() {
    EbkRegistry& registry = EbkRegistry::Instance();
    registry.Initialise(Identity());
    std::string folder;
    EXPECT_TRUE(registry.WorkingFolder(folder));
    return folder + "/favorites.dat";
  }

  std::unique_ptr<GtkMainFrame> OpenFrame(const std::string& book) {
    auto frame = std::make_unique<GtkMainFrame>();
    if (!frame->Create(book)) return nullptr;
    frame->Show();
    if (!WaitForLoad(frame->view())) return nullptr;
    // The view tells its title a little after the load ends.
    if (!RunUntil([&] { return !frame->CurrentTitle().empty(); })) return nullptr;
    return frame;
  }

  void Go(GtkMainFrame& frame, const std::string& page) {
    frame.Navigate(UrlOf(page));
    ASSERT_TRUE(RunUntil([&] { return frame.CurrentUrl() == UrlOf(page); }));
    ASSERT_TRUE(WaitForLoad(frame.view()));
    ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == frame.CurrentTitle(); }));
  }

  TempDir dir;
};

TEST_F(BookmarksPaneTest, AddThroughTheNamingDialogAndTheOverwriteQuestion) {
  std::string book = WriteBook();
  std::string file = FavoritesFile();
  auto frame = OpenFrame(book);
  ASSERT_TRUE(frame);
  CEbkFavorites& pane = *frame->bookmarks_pane();
  EXPECT_EQ(pane.file_path(), file);
  EXPECT_EQ(pane.count(), 0u);
  EXPECT_EQ(pane.load_result(), FavoritesStore::LoadResult::kNoFile);
  frame->OnCommand(kCmdBookmarksPane);
  EXPECT_EQ(frame->side_bar()->caption(), "Bookmarks");

  {
    // The dialog starts with the page's title; its picture goes with the artefacts.
    DialogDriver driver([&](CAddFavoriteDlg& dialog) {
      SaveWindowSnapshot(dialog.dialog(), ArtefactPath("bookmarks_naming_dialog.png"));
      NameIt("My start")(dialog);
    });
    frame->OnCommand(kCmdAddBookmark);
    ASSERT_TRUE(driver.acted());
    EXPECT_EQ(driver.title(), "Add Bookmark");
    EXPECT_EQ(driver.first_name(), "Start");
  }
  ASSERT_EQ(pane.count(), 1u);
  EXPECT_EQ(pane.store().at(0).name, "My start");
  EXPECT_EQ(pane.store().at(0).url, UrlOf("index.htm"));
  EXPECT_EQ(pane.LabelAt(0), "My start");
  EXPECT_EQ(pane.ImageAt(0), 6);
  EXPECT_EQ(ReadWholeFile(file), "My start\x01" + UrlOf("index.htm") + "\x02");

  // The same page again: asked, and No keeps the bookmark as it was.
  MessageBoxRecorder boxes(kIdNo);
  {
    DialogDriver driver(NameIt("Other name"));
    frame->OnCommand(kCmdAddBookmark);
    ASSERT_TRUE(driver.acted());
  }
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Bookmark Conflicts");
  EXPECT_EQ(boxes.boxes()[0].text, "This bookmark already exists, overwrite it?");
  EXPECT_EQ(boxes.boxes()[0].style & 0x0F, unsigned(kMbYesNo));
  EXPECT_EQ(Labels(pane), (std::vector<std::string>{"My start"}));

  // Another page goes at the end; then Yes renames the first without moving it.
  Go(*frame, "p2.htm");
  {
    DialogDriver driver([](CAddFavoriteDlg& dialog) { dialog.Respond(CAddFavoriteDlg::kResultOk); });
    frame->OnCommand(kCmdAddBookmark);
    EXPECT_EQ(driver.first_name(), "Page 2");
  }
  Go(*frame, "index.htm");
  boxes.set_answer(kIdYes);
  {
    DialogDriver driver(NameIt("Renamed start"));
    frame->OnCommand(kCmdAddBookmark);
  }
  EXPECT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(Labels(pane), (std::vector<std::string>{"Renamed start", "Page 2"}));
  EXPECT_EQ(pane.store().at(0).url, UrlOf("index.htm"));

  // Cancel, and an emptied field, add nothing and ask nothing.
  Go(*frame, "p3.htm");
  {
    DialogDriver driver([](CAddFavoriteDlg& dialog) { dialog.Respond(CAddFavoriteDlg::kResultCancel); });
    frame->OnCommand(kCmdAddBookmark);
    EXPECT_TRUE(driver.acted());
  }
  {
    DialogDriver driver(NameIt(""));
    frame->OnCommand(kCmdAddBookmark);
    EXPECT_TRUE(driver.acted());
  }
  EXPECT_EQ(pane.count(), 2u);
  EXPECT_EQ(boxes.boxes().size(), 2u);

  // The pane's own Add... button runs the same dialog; the field holds at most 511 characters.
  GtkWidget* add = pane.ButtonOf(CEbkFavorites::kCmdAdd);
  ASSERT_NE(add, nullptr);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(add)), "Add...");
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(pane.ButtonOf(CEbkFavorites::kCmdRemove))), "Remove");
  // Both buttons fit the pane at the side bar's width.
  GtkAllocation add_box{}, remove_box{};
  gtk_widget_get_allocation(add, &add_box);
  gtk_widget_get_allocation(pane.ButtonOf(CEbkFavorites::kCmdRemove), &remove_box);
  EXPECT_TRUE(gtk_widget_get_mapped(pane.ButtonOf(CEbkFavorites::kCmdRemove)));
  EXPECT_LE(remove_box.x + remove_box.width, 180);
  std::string long_name;
  for (int i = 0; i < 300; ++i) long_name += "é";
  long_name += std::string(300, 'x');
  {
    DialogDriver driver(NameIt(long_name));
    gtk_button_clicked(GTK_BUTTON(add));
    EXPECT_TRUE(driver.acted());
  }
  ASSERT_EQ(pane.count(), 3u);
  const std::string& kept = pane.store().at(2).name;
  EXPECT_EQ(g_utf8_strlen(kept.c_str(), -1), CAddFavoriteDlg::kMaxNameLength);
  EXPECT_EQ(kept.substr(0, 4), "éé");
  SaveWindowSnapshot(frame->window(), ArtefactPath("bookmarks_pane.png"));
}

TEST_F(BookmarksPaneTest, RenameInPlace) {
  auto frame = OpenFrame(WriteBook());
  ASSERT_TRUE(frame);
  CEbkFavorites& pane = *frame->bookmarks_pane();
  pane.AddRecord(UrlOf("p1.htm"), "First");
  pane.AddRecord(UrlOf("p2.htm"), "Second");
  frame->OnCommand(kCmdBookmarksPane);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(pane.tree())); }));

  // F2 edits the selected row; Enter ends the edit and keeps the text.
  SelectRow(pane, 1);
  PressKey(*frame, pane, GDK_KEY_F2);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() != nullptr; }, 5));
  EXPECT_STREQ(gtk_entry_get_text(pane.rename_field()), "Second");
  gtk_entry_set_text(pane.rename_field(), "Second, renamed");
  PressFieldKey(*frame, pane, GDK_KEY_Return);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() == nullptr; }, 5));
  EXPECT_EQ(Labels(pane), (std::vector<std::string>{"First", "Second, renamed"}));
  EXPECT_EQ(pane.store().at(1).name, "Second, renamed");
  EXPECT_EQ(pane.store().at(1).url, UrlOf("p2.htm"));
  EXPECT_EQ(ReadWholeFile(pane.file_path()),
            "First\x01" + UrlOf("p1.htm") + "\x02Second, renamed\x01" + UrlOf("p2.htm") + "\x02");

  // An emptied label is refused, and Escape gives up the edit: the name stays.
  pane.StartRename(0);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() != nullptr; }, 5));
  gtk_entry_set_text(pane.rename_field(), "");
  g_signal_emit_by_name(pane.rename_field(), "activate");
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() == nullptr; }, 5));
  EXPECT_EQ(pane.LabelAt(0), "First");
  EXPECT_EQ(pane.store().at(0).name, "First");

  pane.StartRename(0);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() != nullptr; }, 5));
  gtk_entry_set_text(pane.rename_field(), "Never kept");
  gtk_cell_editable_editing_done(GTK_CELL_EDITABLE(pane.rename_field()));
  EXPECT_EQ(pane.store().at(0).name, "Never kept") << "ending the edit keeps the text";
  pane.StartRename(0);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() != nullptr; }, 5));
  gtk_entry_set_text(pane.rename_field(), "Thrown away");
  PressFieldKey(*frame, pane, GDK_KEY_Escape);
  ASSERT_TRUE(RunUntil([&] { return pane.rename_field() == nullptr; }, 5));
  EXPECT_EQ(pane.store().at(0).name, "Never kept");
}

TEST_F(BookmarksPaneTest, RemoveAsksFirst) {
  auto frame = OpenFrame(WriteBook());
  ASSERT_TRUE(frame);
  CEbkFavorites& pane = *frame->bookmarks_pane();
  pane.AddRecord(UrlOf("p1.htm"), "First");
  pane.AddRecord(UrlOf("p2.htm"), "Second");
  frame->OnCommand(kCmdBookmarksPane);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(pane.tree())); }));
  MessageBoxRecorder boxes(kIdNo);

  // Without a selection there is nothing to ask about (the list's focus would select a row).
  gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(pane.tree()));
  pane.RemoveSelected();
  EXPECT_TRUE(boxes.boxes().empty());

  SelectRow(pane, 0);
  PressKey(*frame, pane, GDK_KEY_Delete);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Remove Bookmark");
  EXPECT_EQ(boxes.boxes()[0].text, "Are you sure to remove this bookmark?");
  EXPECT_EQ(boxes.boxes()[0].style, unsigned(kMbYesNo | kMbIconQuestion));
  EXPECT_EQ(pane.count(), 2u);

  boxes.set_answer(kIdYes);
  SelectRow(pane, 0);
  gtk_button_clicked(GTK_BUTTON(pane.ButtonOf(CEbkFavorites::kCmdRemove)));
  EXPECT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(Labels(pane), (std::vector<std::string>{"Second"}));
  EXPECT_EQ(ReadWholeFile(pane.file_path()), "Second\x01" + UrlOf("p2.htm") + "\x02");
}

TEST_F(BookmarksPaneTest, ClickAndEnterOpenButNeverReloadThePageShownNow) {
  auto frame = OpenFrame(WriteBook());
  ASSERT_TRUE(frame);
  CEbkFavorites& pane = *frame->bookmarks_pane();
  pane.AddRecord(UrlOf("index.htm"), "Start");
  pane.AddRecord(UrlOf("p1.htm"), "One");
  pane.AddRecord(UrlOf("p2.htm"), "Two");
  frame->OnCommand(kCmdBookmarksPane);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(pane.tree())); }));
  RunFor(100);

  // The page shown now keeps its state: it is not loaded again.
  Evaluate(frame->view(), "window.marker = 'still here'; 1");
  ClickRow(pane, 0);
  RunFor(300);
  EXPECT_EQ(Evaluate(frame->view(), "String(window.marker)"), "still here");

  ClickRow(pane, 1);
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame->view(), "document.title") == "Page 1"; }));

  SelectRow(pane, 2);
  PressKey(*frame, pane, GDK_KEY_Return);
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame->view(), "document.title") == "Page 2"; }));
  EXPECT_EQ(pane.rename_field(), nullptr) << "Enter opens; it starts no edit";
}

TEST_F(BookmarksPaneTest, PreviewModeOpensNothing) {
  dir.Write("project/book/index.html", Page("Previewed"));
  dir.Write("project/book/other.html", Page("Other"));
  std::string project = dir.Write(
      "project/p.bpj",
      "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory><start_page>index.html</start_page>"
      "<ebook_bars menubar='yes' toolbar='yes' statusbar='yes'/></config></p>");
  auto frame = OpenFrame(project);
  ASSERT_TRUE(frame);
  ASSERT_TRUE(frame->preview_mode());
  CEbkFavorites& pane = *frame->bookmarks_pane();
  pane.AddRecord(frame->CurrentUrl() + "?elsewhere", "Elsewhere");
  frame->OnCommand(kCmdBookmarksPane);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(pane.tree())); }));
  RunFor(100);
  Evaluate(frame->view(), "window.marker = 'still here'; 1");

  MessageBoxRecorder boxes;
  ClickRow(pane, 0);
  frame->OnCommand(kCmdFirstBookmark);
  RunFor(300);
  ASSERT_EQ(boxes.boxes().size(), 2u) << "the click, then the menu entry";
  for (const MessageBoxRecorder::Box& box : boxes.boxes()) {
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.text, "This functionality is not available in Preview Mode.");
    EXPECT_EQ(box.style, unsigned(kMbIconInformation));
  }
  EXPECT_EQ(Evaluate(frame->view(), "String(window.marker)"), "still here");
}

TEST_F(BookmarksPaneTest, BookmarkMenuWithTenAndElevenBookmarks) {
  std::string book = WriteBook(11);
  // The bookmarks of an earlier run, read when the pane is made.
  std::string bytes;
  for (int i = 1; i <= 10; ++i) {
    const std::string number = std::to_string(i);
    bytes += "Page " + number + "\x01" + UrlOf("p" + number + ".htm") + "\x02";
  }
  WriteWholeFile(FavoritesFile(), bytes);
  auto frame = OpenFrame(book);
  ASSERT_TRUE(frame);
  CEbkFavorites& pane = *frame->bookmarks_pane();
  EXPECT_EQ(pane.load_result(), FavoritesStore::LoadResult::kLoaded);
  ASSERT_EQ(pane.count(), 10u);

  GtkWidget* menu = frame->bookmark_menu();
  ASSERT_NE(menu, nullptr);
  frame->FillBookmarkMenu();  // as when it opens
  std::vector<std::string> labels = MenuLabels(menu);
  ASSERT_EQ(labels.size(), 12u);
  EXPECT_EQ(labels[0], "_Add Bookmark...");
  EXPECT_EQ(labels[1], "-");
  EXPECT_EQ(labels[2], "_1 Page 1");
  EXPECT_EQ(labels[11], "_10 Page 10");

  pane.AddRecord(UrlOf("p11.htm"), "Page 11");
  frame->FillBookmarkMenu();
  labels = MenuLabels(menu);
  ASSERT_EQ(labels.size(), 14u) << "ten entries, a separator and More Bookmarks...";
  EXPECT_EQ(labels[11], "_10 Page 10");
  EXPECT_EQ(labels[12], "-");
  EXPECT_EQ(labels[13], "More Bookmarks...");

  // Its first item names the page shown now.
  {
    DialogDriver driver([](CAddFavoriteDlg& dialog) { dialog.Respond(CAddFavoriteDlg::kResultCancel); });
    gtk_menu_item_activate(GTK_MENU_ITEM(MenuItemAt(menu, 0)));
    EXPECT_TRUE(driver.acted());
    EXPECT_EQ(driver.first_name(), "Start");
  }

  // Choosing an entry opens its page; More Bookmarks... opens the pane.
  gtk_menu_item_activate(GTK_MENU_ITEM(MenuItemAt(menu, 4)));
  EXPECT_TRUE(RunUntil([&] { return Evaluate(frame->view(), "document.title") == "Page 3"; }));
  EXPECT_FALSE(frame->side_bar_visible());
  gtk_menu_item_activate(GTK_MENU_ITEM(MenuItemAt(menu, 13)));
  EXPECT_TRUE(frame->side_bar_visible());
  EXPECT_EQ(frame->side_bar()->caption(), "Bookmarks");

  // Removing brings the menu back to ten entries.
  MessageBoxRecorder boxes(kIdYes);
  SelectRow(pane, 0);
  pane.RemoveSelected();
  frame->FillBookmarkMenu();
  labels = MenuLabels(menu);
  EXPECT_EQ(labels.size(), 12u);
  EXPECT_EQ(labels[2], "_1 Page 2");
}

TEST_F(BookmarksPaneTest, BookmarksSurviveEveryWayTheRunEnds) {
  std::string book = WriteBook();
  std::string file = FavoritesFile();
  // A record longer than any fixed buffer, and names with bytes the list cannot show as they are.
  std::string long_url = UrlOf("p1.htm?") + std::string(3000, 'q');
  {
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    CEbkFavorites& pane = *frame->bookmarks_pane();
    pane.AddRecord(long_url, "Long one");
    pane.AddRecord(UrlOf("p2.htm"), "Caf\xe9");
    pane.AddRecord(UrlOf("p3.htm"), "Third");
    // Destroying the frame writes the list, whatever the file held meanwhile.
    WriteWholeFile(file, "stale");
  }
  std::string expected = "Long one\x01" + long_url + "\x02" + "Caf\xe9\x01" + UrlOf("p2.htm") + "\x02" + "Third\x01" +
                         UrlOf("p3.htm") + "\x02";
  EXPECT_EQ(ReadWholeFile(file), expected);

  {
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    CEbkFavorites& pane = *frame->bookmarks_pane();
    ASSERT_EQ(pane.count(), 3u);
    EXPECT_EQ(pane.store().at(0).url, long_url);
    EXPECT_EQ(pane.store().at(1).name, "Caf\xe9") << "the stored bytes, not what the list shows";
    EXPECT_EQ(Labels(pane), (std::vector<std::string>{"Long one", "Caf\xef\xbf\xbd", "Third"}));
    // Opening the long one reaches its page.
    pane.OpenAt(0);
    EXPECT_TRUE(RunUntil([&] { return Evaluate(frame->view(), "document.title") == "Page 1"; }));

    // The reader's Exit closes the window, and the list is written as it goes.
    WriteWholeFile(file, "stale");
    frame->OnCommand(kCmdExit);
    EXPECT_TRUE(RunUntil([&] { return frame->window() == nullptr; }, 5));
    EXPECT_EQ(ReadWholeFile(file), expected);
  }

  {
    // Page script's quit ends the run the same way.
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    frame->bookmarks_pane()->AddRecord(UrlOf("index.htm"), "Start");
    WriteWholeFile(file, "stale");
    Evaluate(frame->view(), "window.external.reader.quit(); 'ok'");
    EXPECT_TRUE(RunUntil([&] { return frame->window() == nullptr; }, 5));
    EXPECT_EQ(ReadWholeFile(file), expected + "Start\x01" + UrlOf("index.htm") + "\x02");
  }
}

TEST_F(BookmarksPaneTest, DamagedFileKeepsWhatItCan) {
  std::string book = WriteBook();
  std::string file = FavoritesFile();
  // Doubled separators, a repeated URL (asked about while reading), and a last name without URL.
  WriteWholeFile(file, "One\x01\x01" + UrlOf("p1.htm") + "\x02\x02" + "Two\x01" + UrlOf("p2.htm") + "\x02" +
                           "Again\x01" "FILE://C:/DATASTORE/P1.HTM\x02" + "Dangling");
  MessageBoxRecorder boxes(kIdNo);
  {
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    CEbkFavorites& pane = *frame->bookmarks_pane();
    EXPECT_EQ(pane.load_result(), FavoritesStore::LoadResult::kLoaded);
    EXPECT_EQ(Labels(pane), (std::vector<std::string>{"One", "Two"}));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].caption, "Bookmark Conflicts");
  }
  // The next write keeps the two whole records and nothing of the damage.
  EXPECT_EQ(ReadWholeFile(file), "One\x01" + UrlOf("p1.htm") + "\x02Two\x01" + UrlOf("p2.htm") + "\x02");
}

TEST_F(BookmarksPaneTest, AReadOnlyFileLosesNothing) {
  std::string book = WriteBook();
  std::string file = FavoritesFile();
  std::string earlier = "One\x01" + UrlOf("p1.htm") + "\x02";
  WriteWholeFile(file, earlier);
  ASSERT_EQ(::chmod(file.c_str(), 0400), 0);
  {
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    CEbkFavorites& pane = *frame->bookmarks_pane();
    EXPECT_EQ(pane.load_result(), FavoritesStore::LoadResult::kLoaded);
    EXPECT_EQ(Labels(pane), (std::vector<std::string>{"One"}));
    pane.AddRecord(UrlOf("p2.htm"), "Two");
  }
  // The file stays as the user froze it.
  EXPECT_EQ(ReadWholeFile(file), earlier);
}

TEST_F(BookmarksPaneTest, AFileThatCannotBeReadIsNeverReplaced) {
  std::string book = WriteBook();
  std::string file = FavoritesFile();
  // Something that is not a readable file stands where the bookmarks belong.
  ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
  WriteWholeFile(file + "/keep", "precious");
  {
    auto frame = OpenFrame(book);
    ASSERT_TRUE(frame);
    CEbkFavorites& pane = *frame->bookmarks_pane();
    EXPECT_EQ(pane.load_result(), FavoritesStore::LoadResult::kUnreadable);
    EXPECT_EQ(pane.count(), 0u);
    // The reader may still bookmark for this run; nothing is written over what is there.
    EXPECT_EQ(pane.AddRecord(UrlOf("p1.htm"), "This run"), FavoritesStore::AddResult::kAdded);
    EXPECT_EQ(Labels(pane), (std::vector<std::string>{"This run"}));
    EXPECT_FALSE(pane.Save());
  }
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(ReadWholeFile(file + "/keep"), "precious");
}

}  // namespace
}  // namespace lectern
