// The toolbar of the real window on packed books: the book's button options, prompts and
// tooltips, history buttons, the text-size drop-down, the logo and its link, and the side-bar
// buttons agreeing with the menu.
#include "platform/gtk/window/toolbar.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using namespace lectern::testing;

int CommandOf(gpointer object) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(object), "lectern-command")); }

// The commands of the bar's buttons, left to right.
std::vector<int> BarCommands(const CEbkToolBar& bar) {
  std::vector<int> commands;
  GtkToolbar* toolbar = GTK_TOOLBAR(bar.toolbar());
  for (int i = 0; i < gtk_toolbar_get_n_items(toolbar); ++i)
    if (int command = CommandOf(gtk_toolbar_get_nth_item(toolbar, i))) commands.push_back(command);
  return commands;
}

// Sensitive as the user meets it: the item and the button inside it.
bool Usable(GtkToolItem* item) {
  return item && gtk_widget_get_sensitive(GTK_WIDGET(item)) && gtk_widget_get_sensitive(gtk_bin_get_child(GTK_BIN(item)));
}

// The check menu item of a command in the menu bar.
GtkWidget* MenuItemOf(GtkWidget* shell, int command) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  GtkWidget* found = nullptr;
  for (GList* c = children; c && !found; c = c->next) {
    GtkWidget* item = GTK_WIDGET(c->data);
    if (CommandOf(item) == command && GTK_IS_MENU_ITEM(item)) found = item;
    else if (GTK_IS_MENU_ITEM(item) && gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
      found = MenuItemOf(gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)), command);
  }
  g_list_free(children);
  return found;
}

bool MenuChecked(GtkMainFrame& frame, int command) {
  GtkWidget* item = MenuItemOf(frame.menu_bar(), command);
  return item && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
}

// A widget's tooltip; a bar item keeps its own on the button inside it.
std::string TooltipOf(GtkWidget* widget) {
  if (GTK_IS_TOOL_ITEM(widget)) widget = gtk_bin_get_child(GTK_BIN(widget));
  gchar* text = gtk_widget_get_tooltip_text(widget);
  std::string tooltip = text ? text : "";
  g_free(text);
  return tooltip;
}

// A real click on a bar button: its button is pressed, as the pointer would.
void Click(GtkToolItem* item) { gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(item)))); }

void Cross(GtkWidget* widget, GdkEventType type) {
  GdkEvent* event = gdk_event_new(type);
  event->crossing.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->crossing.mode = GDK_CROSSING_NORMAL;
  gtk_widget_event(widget, event);
  gdk_event_free(event);
}

// A real PNG of `width` × `height`.
std::string PngBytes(int width, int height) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, 0x3366ccff);
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
  std::string bytes(buffer, size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

class ToolbarTest : public ::testing::Test {
 protected:
  static TestBook Book(std::map<std::string, std::string> extra = {}) {
    TestBook book;
    book.files = {
        {"index.htm", "<html><head><title>Start</title></head><body><a id=next href='two.htm'>next</a></body></html>"},
        {"two.htm", "<html><head><title>Two</title></head><body>second</body></html>"},
        {"images/logo.png", PngBytes(60, 20)},
        {"images/broken.png", "this is no picture"},
    };
    book.settings = {{"bookname", "Toolbar Book"},     {"enable_menubar", "true"}, {"enable_toolbar", "true"},
                     {"enable_statusbar", "true"},     {"enable_contenttree", "true"},
                     {"enable_print", "true"}};
    for (auto& [key, value] : extra) book.settings[key] = value;
    return book;
  }

  std::string Write(const TestBook& book) {
    std::string path = dir.Join("book" + std::to_string(++count_) + ".ebk");
    EXPECT_TRUE(testing::WriteTestBook(path, book));
    return path;
  }

  TempDir dir;
  int count_ = 0;
};

TEST_F(ToolbarTest, EachButtonOptionValue) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book({
      {"tbo_back", "0"},       // enabled at first
      {"tbo_stop", "1"},       // greyed
      {"tbo_refresh", "2"},    // left out
      {"tbo_home", "7"},       // kept as it is: enabled
      {"tbo_print", "abc"},    // no number: enabled
      {"tbo_textsize", " 2"},  // left out
      {"tbo_contents", "1"},   // greyed though the book has contents
      {"tbo_exit", "1"},
  }))));
  CEbkToolBar* bar = frame.toolbar();
  ASSERT_NE(bar->row(), nullptr);
  EXPECT_EQ(BarCommands(*bar), (std::vector<int>{3000, 3001, 3002, 3004, 3007, 3014, 3016, 3006, 57665}));
  EXPECT_TRUE(bar->IsButtonEnabled(CEbkToolBar::kBack)) << "tbo_back 0 starts enabled";
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kForward));
  EXPECT_FALSE(Usable(bar->ItemOf(3002)));
  EXPECT_TRUE(Usable(bar->ItemOf(3004)));
  EXPECT_TRUE(Usable(bar->ItemOf(3007)));
  EXPECT_FALSE(Usable(bar->ItemOf(57665))) << "Exit shown greyed";
  EXPECT_EQ(bar->ItemOf(3003), nullptr);
  EXPECT_EQ(bar->ItemOf(3008), nullptr);
  // The book's grey holds against the frame's states.
  frame.command_state().Enable(kCmdContentsPane, true);
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kContents));
  EXPECT_TRUE(bar->IsButtonEnabled(CEbkToolBar::kBookmarks));

  // The history then decides Back: the start page has none.
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_TRUE(RunUntil([&] { return !bar->IsButtonEnabled(CEbkToolBar::kBack); }));
  for (int command : {3000, 3004, 3014, 3016, 3006, 57665})
    EXPECT_EQ(TooltipOf(GTK_WIDGET(bar->ItemOf(command))), CommandTooltip(command)) << command;
}

TEST_F(ToolbarTest, GreyedBackAndForwardFollowTheHistory) {
  TestBook book = Book({{"tbo_back", "1"}, {"tbo_forward", "1"}});
  book.files["index.htm"] += "<a id=on href='on.htm'>on</a>";
  book.files["on.htm"] = "<html><head><title>On</title></head><body>on</body></html>";
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(book)));
  CEbkToolBar* bar = frame.toolbar();
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kBack)) << "greyed at first";
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  Evaluate(frame.view(), "document.getElementById('on').click(); 'ok'");
  EXPECT_TRUE(RunUntil([&] { return bar->IsButtonEnabled(CEbkToolBar::kBack); })) << "the history allows Back";
  frame.OnCommand(kCmdBack);
  EXPECT_TRUE(RunUntil([&] { return bar->IsButtonEnabled(CEbkToolBar::kForward); })) << "and then Forward";
}

TEST_F(ToolbarTest, EveryButtonHiddenMakesNoRow) {
  std::map<std::string, std::string> hidden;
  for (const ToolbarButton& button : DefaultToolbarButtons()) hidden.emplace(button.setting_key, "2");
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book(hidden))));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_EQ(frame.toolbar()->row(), nullptr);
  EXPECT_EQ(frame.toolbar()->toolbar(), nullptr);
  EXPECT_FALSE(frame.command_state().IsEnabled(kCmdToolbarBand));
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(frame.window()));
  GList* rows = gtk_container_get_children(GTK_CONTAINER(box));
  for (GList* r = rows; r; r = r->next) EXPECT_FALSE(GTK_IS_TOOLBAR(r->data));
  g_list_free(rows);
  // Nothing reads a bar that is not there.
  frame.toolbar()->EnableButton(CEbkToolBar::kBack, true);
  EXPECT_FALSE(frame.toolbar()->IsButtonEnabled(CEbkToolBar::kBack));
  EXPECT_FALSE(frame.toolbar()->IsButtonChecked(3016));
  // Without the bar the contents command always opens the side bar.
  frame.OnCommand(kCmdContentsPane);
  frame.OnCommand(kCmdContentsPane);
  EXPECT_TRUE(frame.side_bar_visible());
}

TEST_F(ToolbarTest, TheBookTurnsButtonsOff) {
  GtkMainFrame frame;
  TestBook book = Book();
  book.settings.erase("enable_print");
  book.settings.erase("enable_contenttree");
  ASSERT_TRUE(frame.Create(Write(book)));
  EXPECT_FALSE(frame.toolbar()->IsButtonEnabled(CEbkToolBar::kPrint));
  EXPECT_FALSE(frame.toolbar()->IsButtonEnabled(CEbkToolBar::kContents));
  EXPECT_TRUE(frame.toolbar()->IsButtonEnabled(CEbkToolBar::kBookmarks));

  // The toolbar command hides and shows the row.
  frame.Show();
  ASSERT_TRUE(frame.command_state().IsChecked(kCmdToolbarBand));
  frame.OnCommand(kCmdToolbarBand);
  EXPECT_FALSE(gtk_widget_get_visible(frame.toolbar()->row()));
  EXPECT_FALSE(frame.command_state().IsChecked(kCmdToolbarBand));
  frame.OnCommand(kCmdToolbarBand);
  EXPECT_TRUE(gtk_widget_get_visible(frame.toolbar()->row()));
}

TEST_F(ToolbarTest, PromptsWhileThePointerIsOverAButton) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book())));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  RunFor(100);
  const std::map<int, std::string> prompts = {
      {3000, "Goto Previous Page"}, {3001, "Go Forward"}, {3002, "Stop"}, {3003, "Refresh"},
      {3004, "Goto HomePage"}, {3007, "Print Current Page"}, {3008, "Change Font Size"},
      {3014, "Switch to Fullscreen Mode or back"}, {3016, "Show Table Of Content"}, {3006, "Show bookmark list"},
      {57665, "Quit the application"}};
  for (const auto& [command, prompt] : prompts) {
    GtkToolItem* item = frame.toolbar()->ItemOf(command);
    ASSERT_NE(item, nullptr) << command;
    GtkWidget* button = gtk_bin_get_child(GTK_BIN(item));
    if (GTK_IS_BOX(button)) {  // a button with an arrow: its first part
      GList* parts = gtk_container_get_children(GTK_CONTAINER(button));
      button = GTK_WIDGET(parts->data);
      g_list_free(parts);
    }
    Cross(button, GDK_ENTER_NOTIFY);
    EXPECT_EQ(frame.status_text(), prompt) << command;
    Cross(button, GDK_LEAVE_NOTIFY);
    EXPECT_EQ(frame.status_text(), "Ready");
  }
}

TEST_F(ToolbarTest, BackAndForwardFollowTheHistory) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book())));
  CEbkToolBar* bar = frame.toolbar();
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kBack));
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kForward));
  Evaluate(frame.view(), "document.getElementById('next').click()");
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Two"; }));
  EXPECT_TRUE(RunUntil([&] { return bar->IsButtonEnabled(CEbkToolBar::kBack); }));
  EXPECT_FALSE(bar->IsButtonEnabled(CEbkToolBar::kForward));

  Click(bar->ItemOf(3000));
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Start"; }));
  EXPECT_TRUE(RunUntil([&] {
    return bar->IsButtonEnabled(CEbkToolBar::kForward) && !bar->IsButtonEnabled(CEbkToolBar::kBack);
  }));
  Click(bar->ItemOf(3001));
  ASSERT_TRUE(RunUntil([&] { return Evaluate(frame.view(), "document.title") == "Two"; }));
  EXPECT_TRUE(RunUntil([&] { return !bar->IsButtonEnabled(CEbkToolBar::kForward); }));
}

TEST_F(ToolbarTest, TextSizeButtonAndItsDropDown) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book())));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  GtkToolItem* item = frame.toolbar()->ItemOf(3008);
  ASSERT_TRUE(GTK_IS_MENU_TOOL_BUTTON(item));
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 2);
  // The button steps to the next size.
  GList* parts = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(item))));
  ASSERT_EQ(g_list_length(parts), 2u);
  GtkWidget* main_part = GTK_WIDGET(parts->data);
  GtkWidget* arrow = GTK_WIDGET(parts->next->data);
  g_list_free(parts);
  gtk_button_clicked(GTK_BUTTON(main_part));
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 3);

  // The arrow opens the five sizes with the current one checked; choosing one sets it.
  gtk_button_clicked(GTK_BUTTON(arrow));
  GtkWidget* menu = frame.toolbar()->text_size_menu();
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_visible(menu); }, 5));
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  std::vector<std::string> labels;
  std::vector<int> checked;
  GtkWidget* smallest = nullptr;
  for (GList* i = items; i; i = i->next) {
    labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(i->data)));
    if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(i->data))) checked.push_back(CommandOf(i->data));
    if (labels.back() == "Smallest") smallest = GTK_WIDGET(i->data);
  }
  g_list_free(items);
  EXPECT_EQ(labels, (std::vector<std::string>{"Largest", "Larger", "Medium", "Smaller", "Smallest"}));
  EXPECT_EQ(checked, std::vector<int>{3});
  SaveWindowSnapshot(frame.window(), ArtefactPath("toolbar-text-size.png"));
  ASSERT_NE(smallest, nullptr);
  gtk_menu_item_activate(GTK_MENU_ITEM(smallest));
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(menu));
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 0);

  // Largest is followed by Smallest.
  frame.SetTextSize(4);
  gtk_button_clicked(GTK_BUTTON(main_part));
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 0);
}

TEST_F(ToolbarTest, TheBuiltInLogoHasNoLink) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book({{"logo_url", "https://example.org/"}}))));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  CEbkToolBar* bar = frame.toolbar();
  EXPECT_FALSE(bar->customized_logo());
  EXPECT_TRUE(bar->logo().loaded());
  int width = 0, height = 0;
  bar->logo().GetSize(width, height);
  EXPECT_EQ(width, 112);
  EXPECT_EQ(height, 32);
  EXPECT_EQ(bar->logo_link(), "");
  EXPECT_EQ(TooltipOf(bar->logo_widget()), "");
  EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(bar->logo_widget())), nullptr) << "the arrow stays";
  std::vector<std::string> launched;
  bar->SetLinkLauncher([&](const std::string& uri) { launched.push_back(uri); });
  GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
  press->button.button = 1;
  press->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(bar->logo_widget())));
  gtk_widget_event(bar->logo_widget(), press);
  gdk_event_free(press);
  EXPECT_TRUE(launched.empty());

  // At the right end of the bar.
  GtkAllocation logo, row;
  gtk_widget_get_allocation(bar->logo_widget(), &logo);
  gtk_widget_get_allocation(bar->row(), &row);
  EXPECT_GT(logo.x + logo.width, row.x + row.width - 24);
  SaveWindowSnapshot(frame.window(), ArtefactPath("toolbar.png"));
}

TEST_F(ToolbarTest, TheBooksLogoWithItsLink) {
  struct Case {
    std::map<std::string, std::string> settings;
    bool customized;
    std::string link;
    std::string tooltip;
  };
  const Case cases[] = {
      {{{"customized_logo", "true"}, {"logo_image", "images/logo.png"}, {"logo_url", "https://example.org/"}},
       true, "https://example.org/", "Please visit https://example.org/"},
      {{{"customized_logo", "true"}, {"logo_image", "images/logo.png"}, {"logo_url", "https://example.org/"},
        {"logo_tooltip", "Our site"}},
       true, "https://example.org/", "Our site"},
      {{{"customized_logo", "true"}, {"logo_image", "images/logo.png"}}, true, "", ""},
      // Missing, not a picture, or not asked for: the built-in logo, without a link.
      {{{"customized_logo", "true"}, {"logo_image", "images/none.png"}, {"logo_url", "https://example.org/"}},
       false, "", ""},
      {{{"customized_logo", "true"}, {"logo_image", "images/broken.png"}, {"logo_url", "https://example.org/"}},
       false, "", ""},
      {{{"customized_logo", "yes"}, {"logo_image", "images/logo.png"}, {"logo_url", "https://example.org/"}},
       false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings.at("logo_image") + " " + c.tooltip);
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(Write(Book(c.settings))));
    frame.Show();
    RunFor(50);
    CEbkToolBar* bar = frame.toolbar();
    EXPECT_EQ(bar->customized_logo(), c.customized);
    int width = 0, height = 0;
    bar->logo().GetSize(width, height);
    EXPECT_EQ(width, c.customized ? 60 : 112);
    EXPECT_EQ(bar->logo_link(), c.link);
    EXPECT_EQ(TooltipOf(bar->logo_widget()), c.tooltip);
    GdkCursor* cursor = gdk_window_get_cursor(gtk_widget_get_window(bar->logo_widget()));
    EXPECT_EQ(cursor != nullptr, !c.link.empty()) << "a hand over a logo with a link";

    std::vector<std::string> launched;
    bar->SetLinkLauncher([&](const std::string& uri) { launched.push_back(uri); });
    GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
    press->button.button = 1;
    press->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(bar->logo_widget())));
    gtk_widget_event(bar->logo_widget(), press);
    gdk_event_free(press);
    EXPECT_EQ(launched, c.link.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.link});
    if (c.customized && !c.link.empty() && c.tooltip.starts_with("Please"))
      SaveWindowSnapshot(frame.window(), ArtefactPath("toolbar-book-logo.png"));
  }
}

TEST_F(ToolbarTest, PreviewModeTakesTheLogoFromDisk) {
  dir.Write("project/book/index.html", "<html><head><title>P</title></head><body>p</body></html>");
  dir.Write("project/book/art/logo.png", PngBytes(40, 24));
  std::string project = dir.Write(
      "project/p.bpj",
      "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory><start_page>index.html</start_page>"
      "<ebook_bars menubar='yes' toolbar='yes' statusbar='yes'/><customized_logo>yes</customized_logo>"
      "<logo_image>art/logo.png</logo_image><logo_url>https://example.org/p</logo_url>"
      "<toolbar_button_options exit='2' stop='1'/></config></p>");
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(project));
  CEbkToolBar* bar = frame.toolbar();
  EXPECT_TRUE(bar->customized_logo());
  int width = 0, height = 0;
  bar->logo().GetSize(width, height);
  EXPECT_EQ(width, 40);
  EXPECT_EQ(bar->logo_tooltip(), "Please visit https://example.org/p");
  EXPECT_EQ(bar->ItemOf(57665), nullptr);
  EXPECT_FALSE(Usable(bar->ItemOf(3002)));
}

TEST_F(ToolbarTest, SideBarButtonsAgreeWithTheMenu) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book())));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  CEbkToolBar* bar = frame.toolbar();
  auto marks = [&] {
    return std::vector<bool>{bar->IsButtonChecked(3016), bar->IsButtonChecked(3006), MenuChecked(frame, 3016),
                             MenuChecked(frame, 3006), MenuChecked(frame, 3005)};
  };
  EXPECT_FALSE(frame.side_bar_visible());
  EXPECT_EQ(marks(), (std::vector<bool>{false, false, false, false, false}));

  Click(bar->ItemOf(3016));
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Contents");
  EXPECT_EQ(marks(), (std::vector<bool>{true, false, true, false, false}));

  Click(bar->ItemOf(3006));
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(frame.side_bar()->caption(), "Bookmarks");
  EXPECT_EQ(marks(), (std::vector<bool>{false, true, false, true, false}));

  // The menu's Search Results moves the marks off both buttons.
  gtk_menu_item_activate(GTK_MENU_ITEM(MenuItemOf(frame.menu_bar(), 3005)));
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  EXPECT_EQ(marks(), (std::vector<bool>{false, false, false, false, true}));

  Click(bar->ItemOf(3006));
  Click(bar->ItemOf(3006));  // the same button again closes the side bar
  EXPECT_FALSE(frame.side_bar_visible());
  EXPECT_EQ(marks(), (std::vector<bool>{false, false, false, false, false}));

  // From the menu, closed by the side bar's own button.
  gtk_menu_item_activate(GTK_MENU_ITEM(MenuItemOf(frame.menu_bar(), 3016)));
  EXPECT_TRUE(frame.side_bar_visible());
  EXPECT_EQ(marks(), (std::vector<bool>{true, false, true, false, false}));
  gtk_button_clicked(GTK_BUTTON(frame.side_bar()->close_button()));
  EXPECT_FALSE(frame.side_bar_visible());
  EXPECT_EQ(marks(), (std::vector<bool>{false, false, false, false, false}));

  // Full screen, twice.
  Click(bar->ItemOf(3014));
  EXPECT_TRUE(frame.full_screen());
  EXPECT_TRUE(bar->IsButtonChecked(3014));
  EXPECT_TRUE(MenuChecked(frame, 3014));
  Click(bar->ItemOf(3014));
  EXPECT_FALSE(frame.full_screen());
  EXPECT_FALSE(bar->IsButtonChecked(3014));
  EXPECT_FALSE(MenuChecked(frame, 3014));
}

TEST_F(ToolbarTest, ExitButtonClosesTheWindow) {
  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(Write(Book())));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  Click(frame.toolbar()->ItemOf(kCmdExit));
  EXPECT_TRUE(RunUntil([&] { return frame.window() == nullptr; }));
  EXPECT_EQ(frame.toolbar()->row(), nullptr) << "the bar lets go of its row with the window";
}

}  // namespace
}  // namespace lectern
