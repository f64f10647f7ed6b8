// The reader's dialogs on real books: the book information dialog and the book's own about page,
// the program's about box, and extraction of stored files, from the menu and from page script.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/test_books.h"
#include "platform/gtk/picture/picture_resources.h"
#include "platform/gtk/window/about_dlg.h"
#include "platform/gtk/window/extract_dlg.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/html_dlg.h"
#include "platform/gtk/window/info_dlg.h"
#include "platform/gtk/window/main_frame.h"
#include "resources/string_table.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

// Plays `steps` on the dialog of type D while its modal loop runs, one step per tick once the
// dialog is on screen, standing in for the user.
template <class D>
class DialogDriver {
 public:
  explicit DialogDriver(std::vector<std::function<void(D&)>> steps) : steps_(std::move(steps)) {
    source_ = g_timeout_add(40, &DialogDriver::Tick, this);
  }
  ~DialogDriver() {
    if (source_) g_source_remove(source_);
  }
  size_t steps_done() const { return next_; }

 private:
  static gboolean Tick(gpointer data) {
    auto* self = static_cast<DialogDriver*>(data);
    // A dialog other than the one expected, or one that never ends, fails the test instead of
    // leaving it waiting for a user.
    if (++self->ticks_ > 25 * 20) {
      ADD_FAILURE() << "the dialog did not come or did not end";
      GList* windows = gtk_window_list_toplevels();
      for (GList* window = windows; window; window = window->next) {
        if (GTK_IS_DIALOG(window->data) && gtk_widget_get_mapped(GTK_WIDGET(window->data)))
          gtk_dialog_response(GTK_DIALOG(window->data), GTK_RESPONSE_DELETE_EVENT);
      }
      g_list_free(windows);
      self->source_ = 0;
      return G_SOURCE_REMOVE;
    }
    D* dialog = D::Active();
    if (!dialog || !dialog->dialog() || !gtk_widget_get_mapped(dialog->dialog())) return G_SOURCE_CONTINUE;
    if (self->next_ >= self->steps_.size()) {
      self->source_ = 0;
      return G_SOURCE_REMOVE;
    }
    self->steps_[self->next_++](*dialog);
    return G_SOURCE_CONTINUE;
  }
  std::vector<std::function<void(D&)>> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
  guint source_ = 0;
};

template <class D>
void Close(D& dialog) {
  gtk_dialog_response(GTK_DIALOG(dialog.dialog()), GTK_RESPONSE_DELETE_EVENT);
}

// The Esc key, as the user presses it in the dialog.
template <class D>
void PressEscape(D& dialog) {
  GdkEvent* event = KeyEvent(dialog.dialog(), GDK_KEY_Escape, GdkModifierType(0));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

std::string PngBytes(int width, int height, uint32_t rgb) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xFF);
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
  std::string bytes(buffer, size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

// Stored bytes with every byte value, so a text-mode or truncated copy shows.
std::string DataBytes() {
  std::string bytes;
  for (int round = 0; round < 40; ++round)
    for (int value = 0; value < 256; ++value) bytes.push_back(char(value));
  return bytes;
}

TestBook DialogBook() {
  TestBook book;
  book.files = {
      {"index.htm", "<html><head><title>Start</title></head><body>start page</body></html>"},
      {"about.htm", "<html><head><title>About This Book</title></head><body>"
                    "<p id=text>Written for the tests</p></body></html>"},
      {"data.bin", DataBytes()},
      {"pics/banner.png", PngBytes(60, 30, 0xC02020)},
  };
  book.settings = {{"bookname", "Dialog Book"}, {"enable_menubar", "true"}};
  return book;
}

class DialogsTest : public ::testing::Test {
 protected:
  bool Open(GtkMainFrame& frame, const TestBook& book) {
    if (!WriteTestBook(dir.Join("book.ebk"), book) || !frame.Create(dir.Join("book.ebk"))) return false;
    frame.Show();
    return WaitForLoad(frame.view());
  }
  TempDir dir;
};

uint32_t LabelColour(GtkWidget* label) {
  PangoAttrList* attributes = gtk_label_get_attributes(GTK_LABEL(label));
  PangoAttrIterator* it = pango_attr_list_get_iterator(attributes);
  auto* colour = reinterpret_cast<PangoAttrColor*>(pango_attr_iterator_get(it, PANGO_ATTR_FOREGROUND));
  uint32_t rgb = colour ? uint32_t((colour->color.red >> 8) << 16 | (colour->color.green >> 8) << 8 |
                                   (colour->color.blue >> 8))
                        : 0xFFFFFFFF;
  pango_attr_iterator_destroy(it);
  return rgb;
}

TEST_F(DialogsTest, InformationDialogShowsEverySettingOfTheBook) {
  TestBook book = DialogBook();
  book.settings.insert({{"about_dlg_sys", "true"}, {"guid", "00112233445566778899AABBCCDDEEFF"},
                        {"publisher", "Vellum Press"}, {"homepage", "www.example.org/books"},
                        {"email", "MailTo:editor@example.org"}, {"creationdate", "2026-12-01"},
                        {"other_info", "First line\nSecond line"}, {"copyright", "(c) Vellum Press"},
                        {"default_about_dialog_background_image", "pics/banner.png"}});
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  bool seen = false;
  DialogDriver<CEbkInfoDlg> driver({[&](CEbkInfoDlg& dialog) {
    seen = true;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog.dialog())), "About");
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog.dialog())), GTK_WINDOW(frame.window()));
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kName), gtk_window_get_title(GTK_WINDOW(frame.window())));
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kName), "Dialog Book");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kId), "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kAuthor), "Vellum Press");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kHome), "http://www.example.org/books");
    EXPECT_EQ(dialog.LinkTarget(CEbkInfoDlg::kHome), "http://www.example.org/books");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kEmail), "MailTo:editor@example.org") << "kept as the book wrote it";
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kDate), "2026-12-01");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kOtherInfo), "First line\nSecond line");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kCopyright), "(c) Vellum Press");
    std::vector<std::pair<int, std::string>> names = {
        {CEbkInfoDlg::kNameLabel, "Name:"}, {CEbkInfoDlg::kIdLabel, "ID:"}, {CEbkInfoDlg::kAuthorLabel, "Author:"},
        {CEbkInfoDlg::kHomeLabel, "Home:"}, {CEbkInfoDlg::kEmailLabel, "Email:"}, {CEbkInfoDlg::kDateLabel, "Date:"}};
    for (const auto& [id, text] : names) {
      CLabel* label = dialog.FieldLabel(id);
      ASSERT_NE(label, nullptr) << text;
      EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label->widget())), text.c_str());
      EXPECT_EQ(LabelColour(label->widget()), 0x004080u) << text;
      EXPECT_EQ(label->font_weight(), 700) << text;
      EXPECT_EQ(label->font_name(), "tahoma") << text;
    }
    // The book's own banner, not the built-in one.
    int width = 0, height = 0;
    dialog.banner()->GetSize(width, height);
    EXPECT_EQ(width, 60);
    EXPECT_EQ(height, 30);
    EXPECT_TRUE(gtk_widget_get_mapped(dialog.Control(CEbkInfoDlg::kPicture)));
    GtkWidget* text_view = gtk_bin_get_child(GTK_BIN(dialog.Control(CEbkInfoDlg::kOtherInfo)));
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(text_view)));
    SaveWindowSnapshot(dialog.dialog(), ArtefactPath("dialogs_info_full.png"));
    Close(dialog);
  }});
  frame.OnCommand(kCmdBookInformation);
  EXPECT_TRUE(seen);
  EXPECT_EQ(CEbkInfoDlg::Active(), nullptr);
}

TEST_F(DialogsTest, InformationDialogOfABookWithoutSettingsShowsTheBuiltInBannerAndVersion) {
  TestBook book = DialogBook();
  book.settings = {{"about_dlg_sys", "true"}};
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  bool seen = false;
  DialogDriver<CEbkInfoDlg> driver({[&](CEbkInfoDlg& dialog) {
    seen = true;
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kName), "Lectern") << "the window's own caption";
    for (int id : {CEbkInfoDlg::kId, CEbkInfoDlg::kAuthor, CEbkInfoDlg::kHome, CEbkInfoDlg::kEmail,
                   CEbkInfoDlg::kDate, CEbkInfoDlg::kOtherInfo})
      EXPECT_EQ(dialog.ControlText(id), "") << id;
    EXPECT_EQ(dialog.LinkTarget(CEbkInfoDlg::kHome), "");
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kCopyright), "Version 1.75");
    // The built-in banner is our animated GIF across the top.
    ASSERT_TRUE(dialog.banner()->loaded());
    int width = 0, height = 0;
    dialog.banner()->GetSize(width, height);
    EXPECT_EQ(width, 550);
    EXPECT_EQ(height, 96);
    EXPECT_TRUE(dialog.banner()->animated());
    EXPECT_EQ(dialog.banner()->frame_count(), 8u);
    EXPECT_TRUE(dialog.banner()->animating());
    SaveWindowSnapshot(dialog.dialog(), ArtefactPath("dialogs_info_empty.png"));
    Close(dialog);
  }});
  frame.OnCommand(kCmdBookInformation);
  EXPECT_TRUE(seen);
}

// What a label's attributes draw: the first attribute of `type`, or null.
const PangoAttribute* LabelAttribute(GtkWidget* label, PangoAttrType type) {
  PangoAttrList* attributes = gtk_label_get_attributes(GTK_LABEL(label));
  if (!attributes) return nullptr;
  PangoAttrIterator* it = pango_attr_list_get_iterator(attributes);
  const PangoAttribute* found = pango_attr_iterator_get(it, type);
  pango_attr_iterator_destroy(it);
  return found;
}

TEST(LabelTest, EveryChangeAppliesAtOnceAndKeepsTheOthers) {
  CLabel label("Field:");
  EXPECT_EQ(LabelAttribute(label.widget(), PANGO_ATTR_BACKGROUND), nullptr) << "transparent at first";
  label.SetTextColor(0x123456);
  label.SetFontName("tahoma");
  label.SetFontSize(9);
  label.SetBackgroundColor(0xFFEEDD);
  label.SetFontBold(true);
  EXPECT_EQ(LabelColour(label.widget()), 0x123456u);
  auto* background = reinterpret_cast<const PangoAttrColor*>(LabelAttribute(label.widget(), PANGO_ATTR_BACKGROUND));
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->color.red >> 8, 0xFF);
  EXPECT_EQ(background->color.blue >> 8, 0xDD);
  auto* size = reinterpret_cast<const PangoAttrInt*>(LabelAttribute(label.widget(), PANGO_ATTR_SIZE));
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->value, 9 * PANGO_SCALE);
  auto* weight = reinterpret_cast<const PangoAttrInt*>(LabelAttribute(label.widget(), PANGO_ATTR_WEIGHT));
  ASSERT_NE(weight, nullptr);
  EXPECT_EQ(weight->value, 700);
  auto* family = reinterpret_cast<const PangoAttrString*>(LabelAttribute(label.widget(), PANGO_ATTR_FAMILY));
  ASSERT_NE(family, nullptr);
  EXPECT_STREQ(family->value, "tahoma");
  label.SetTransparent(true);
  label.SetFontBold(false);
  EXPECT_EQ(LabelAttribute(label.widget(), PANGO_ATTR_BACKGROUND), nullptr);
  EXPECT_EQ(reinterpret_cast<const PangoAttrInt*>(LabelAttribute(label.widget(), PANGO_ATTR_WEIGHT))->value, 400);
  EXPECT_EQ(LabelColour(label.widget()), 0x123456u) << "the colour stays";
}

// The first image of the built-in banner, through the platform's own GIF decoder: the bytes our
// drawing script coded are the picture it drew.
TEST(BuiltInBannerTest, DecodesToThePictureDrawn) {
  std::span<const uint8_t> gif = FindPictureResource("251", "gif");
  ASSERT_FALSE(gif.empty());
  GdkPixbuf* pixbuf = DecodePicture(gif);
  ASSERT_NE(pixbuf, nullptr);
  ASSERT_EQ(gdk_pixbuf_get_width(pixbuf), 550);
  ASSERT_EQ(gdk_pixbuf_get_height(pixbuf), 96);
  auto pixel = [&](int x, int y) {
    const guchar* p = gdk_pixbuf_read_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                      x * gdk_pixbuf_get_n_channels(pixbuf);
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  };
  EXPECT_EQ(pixel(5, 2), 0x002963u);
  EXPECT_EQ(pixel(309, 50), 0x5c1d14u) << "a book spine";
  EXPECT_EQ(pixel(549, 95), 0x003377u) << "the last pixel, after every code of the stream";
  g_object_unref(pixbuf);
}

TEST_F(DialogsTest, MissingBannerLeavesTheBannerEmptyAndLinksOpenTheirTargets) {
  BookInfoTexts texts;
  texts.name = "Linked";
  texts.home = HomeLink("HTTP://Example.org/");
  texts.email = MailLink("reader@example.org");
  texts.copyright = "c";
  texts.banner_image = "missing.gif";
  std::vector<std::string> opened;
  CEbkInfoDlg dialog(texts, [](const std::string&) { return std::nullopt; },
                     [&](const std::string& link) { opened.push_back(link); });
  DialogDriver<CEbkInfoDlg> driver({[&](CEbkInfoDlg& shown) {
    EXPECT_FALSE(shown.banner()->loaded());
    EXPECT_EQ(shown.ControlText(CEbkInfoDlg::kHome), "HTTP://Example.org/") << "any letter case counts";
    for (int id : {CEbkInfoDlg::kHome, CEbkInfoDlg::kEmail}) {
      GtkWidget* link = shown.Control(id);
      gtk_widget_grab_focus(link);
      g_signal_emit_by_name(link, "activate-current-link");
    }
    PressEscape(shown);
  }});
  EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
  EXPECT_EQ(opened, (std::vector<std::string>{"HTTP://Example.org/", "mailto:reader@example.org"}));
}

// Right-clicks `view`: whether the page engine offered a menu to show.
bool ContextMenuOffered(WebKitWebView* view) {
  bool offered = false;
  gulong handler = g_signal_connect_after(
      view, "context-menu", G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                           gpointer data) {
        *static_cast<bool*>(data) = true;
        return TRUE;
      }),
      &offered);
  GtkWidget* widget = GTK_WIDGET(view);
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.button = 3;
    event->button.x = 30;
    event->button.y = 30;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(widget, event);
    gdk_event_free(event);
  }
  RunUntil([&] { return offered; }, 2);
  g_signal_handler_disconnect(view, handler);
  return offered;
}

TEST_F(DialogsTest, ABookWithoutAnAboutPageShowsItsInformationAndHelpNamesTheProgram) {
  TestBook book = DialogBook();
  book.settings.insert({{"publisher", "Someone"}});  // neither about_dlg_sys nor a page
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  bool informed = false;
  DialogDriver<CEbkInfoDlg> info({[&](CEbkInfoDlg& dialog) {
    informed = true;
    EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kAuthor), "Someone");
    Close(dialog);
  }});
  frame.OnCommand(kCmdBookInformation);
  EXPECT_TRUE(informed) << "no blank page dialog";

  GtkWidget* item = FindMenuItem(frame.menu_bar(), kCmdAbout);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(item)), "About _Lectern");
  bool about = false;
  DialogDriver<CAboutDlg> driver({[&](CAboutDlg& dialog) {
    about = true;
    gtk_button_clicked(GTK_BUTTON(dialog.Control(CAboutDlg::kOkButton)));
  }});
  gtk_menu_item_activate(GTK_MENU_ITEM(item));
  EXPECT_TRUE(about);
}

TEST_F(DialogsTest, BookInformationShowsTheBooksAboutPageUnlessTheBookAsksForTheBuiltInDialog) {
  TestBook book = DialogBook();
  // Only the exact "true" selects the built-in dialog.
  book.settings.insert({{"about_dlg_sys", "TRUE"}, {"about_dlg_contentfile", "about.htm"},
                        {"about_dlg_cx", "320"}, {"about_dlg_cy", "240"}});
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, book));
  bool seen = false;
  DialogDriver<CHTMLDlg> driver({[&](CHTMLDlg& dialog) {
    seen = true;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog.dialog())), "About eBook...");
    EXPECT_EQ(dialog.url(), "file://c:/datastore/about.htm");
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(dialog.dialog()), &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    ASSERT_TRUE(WaitForLoad(dialog.web_view()));
    RunUntil([&] { return Evaluate(dialog.web_view(), "document.title") == "About This Book"; }, 10);
    EXPECT_EQ(Evaluate(dialog.web_view(), "document.title"), "About This Book");
    EXPECT_EQ(Evaluate(dialog.web_view(), "document.getElementById('text').textContent"), "Written for the tests");
    // window.external is there, and its members reach nothing.
    EXPECT_EQ(Evaluate(dialog.web_view(), "String(window.external.extract('data.bin'))"), "undefined");
    EXPECT_EQ(Evaluate(dialog.web_view(), "typeof window.external.reader"), "function");
    EXPECT_EQ(CExtractFileDlg::Active(), nullptr);
    Evaluate(dialog.web_view(), "document.addEventListener('contextmenu', () => document.title = 'clicked'); 1");
    EXPECT_FALSE(ContextMenuOffered(dialog.web_view()));
    EXPECT_TRUE(RunUntil([&] { return Evaluate(dialog.web_view(), "document.title") == "clicked"; }, 5))
        << "the right click reached the page";
    SaveWindowSnapshot(dialog.dialog(), ArtefactPath("dialogs_about_page.png"));
    gtk_dialog_response(GTK_DIALOG(dialog.dialog()), GTK_RESPONSE_OK);
  }});
  frame.OnCommand(kCmdBookInformation);
  EXPECT_TRUE(seen);
  EXPECT_EQ(CEbkInfoDlg::Active(), nullptr);
}

TEST_F(DialogsTest, PreviewModeTakesTheAboutPageAndTheBannerFromTheProjectFolder) {
  dir.Write("project/book/index.html", "<html><head><title>P</title></head><body>p</body></html>");
  dir.Write("project/book/about.htm", "<html><head><title>Previewed About</title></head><body>a</body></html>");
  dir.Write("project/book/art/banner.png", PngBytes(44, 22, 0x20A020));
  std::string head = "<p><config><title>Previewed</title><ebook_directory>book</ebook_directory>"
                     "<start_page>index.html</start_page><ebook_bars menubar='yes'/>";
  {
    std::string project = dir.Write(
        "project/page.bpj", head + "<about_dialog sys='no' content_file='about.htm' cx='280' cy='210'/></config></p>");
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(project));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
    bool seen = false;
    DialogDriver<CHTMLDlg> driver({[&](CHTMLDlg& dialog) {
      seen = true;
      EXPECT_EQ(dialog.url(), "file://" + dir.Join("project/book/about.htm"));
      int width = 0, height = 0;
      gtk_window_get_size(GTK_WINDOW(dialog.dialog()), &width, &height);
      EXPECT_EQ(width, 280);
      EXPECT_EQ(height, 210);
      WaitForLoad(dialog.web_view());
      EXPECT_TRUE(RunUntil([&] { return Evaluate(dialog.web_view(), "document.title") == "Previewed About"; }, 10));
      Close(dialog);
    }});
    frame.OnCommand(kCmdBookInformation);
    EXPECT_TRUE(seen);
  }
  {
    std::string project = dir.Write(
        "project/info.bpj", head + "<author>Preview Author</author>"
                                   "<about_dialog sys='true' defdlg_background_image='art/banner.png'/></config></p>");
    GtkMainFrame frame;
    ASSERT_TRUE(frame.Create(project));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
    bool seen = false;
    DialogDriver<CEbkInfoDlg> driver({[&](CEbkInfoDlg& dialog) {
      seen = true;
      EXPECT_EQ(dialog.ControlText(CEbkInfoDlg::kAuthor), "Preview Author");
      int width = 0, height = 0;
      dialog.banner()->GetSize(width, height);
      EXPECT_EQ(width, 44);
      EXPECT_EQ(height, 22);
      Close(dialog);
    }});
    frame.OnCommand(kCmdBookInformation);
    EXPECT_TRUE(seen);
  }
}

TEST_F(DialogsTest, PageDialogAppliesItsDefaultsAndAnswersOkOrCancel) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, DialogBook()));
  {
    CHTMLDlg dialog("Blank", "", 0, -5);
    DialogDriver<CHTMLDlg> driver({[&](CHTMLDlg& shown) {
      int width = 0, height = 0;
      gtk_window_get_size(GTK_WINDOW(shown.dialog()), &width, &height);
      EXPECT_EQ(width, 400);
      EXPECT_EQ(height, 300);
      WaitForLoad(shown.web_view());
      EXPECT_EQ(Evaluate(shown.web_view(), "location.href"), "about:blank");
      gtk_dialog_response(GTK_DIALOG(shown.dialog()), GTK_RESPONSE_OK);
    }});
    EXPECT_EQ(dialog.DoModal(GTK_WINDOW(frame.window())), kIdOk);
    EXPECT_EQ(dialog.url(), "about:blank");
  }
  {
    CHTMLDlg dialog("Closed", "file://c:/datastore/about.htm", 300, 200);
    DialogDriver<CHTMLDlg> driver({[&](CHTMLDlg& shown) { Close(shown); }});
    EXPECT_EQ(dialog.DoModal(GTK_WINDOW(frame.window())), kIdCancel);
  }
}

TEST_F(DialogsTest, ProgramAboutBoxNamesTheProgramAndEndsWithItsButtons) {
  GtkMainFrame frame;
  ASSERT_TRUE(Open(frame, DialogBook()));
  bool seen = false;
  DialogDriver<CAboutDlg> driver({[&](CAboutDlg& dialog) {
    seen = true;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog.dialog())), "About Lectern");
    std::vector<std::string> texts = dialog.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Lectern Version 1.75");
    EXPECT_EQ(texts[3], std::string(LoadString(kStrMakerSite)));
    SaveWindowSnapshot(dialog.dialog(), ArtefactPath("dialogs_about_box.png"));
    gtk_button_clicked(GTK_BUTTON(dialog.Control(CAboutDlg::kOkButton)));
  }});
  frame.OnCommand(kCmdAbout);
  EXPECT_TRUE(seen);

  std::vector<std::string> opened;
  CAboutDlg linked([&](const std::string& link) { opened.push_back(link); });
  DialogDriver<CAboutDlg> click({[&](CAboutDlg& dialog) {
    gtk_widget_grab_focus(dialog.Control(CAboutDlg::kMakerLink));
    g_signal_emit_by_name(dialog.Control(CAboutDlg::kMakerLink), "activate-current-link");
    gtk_button_clicked(GTK_BUTTON(dialog.Control(CAboutDlg::kOkButton)));
  }});
  EXPECT_EQ(linked.DoModal(GTK_WINDOW(frame.window())), kIdOk);
  EXPECT_EQ(opened, (std::vector<std::string>{std::string(LoadString(kStrMakerSite))}));

  CAboutDlg closed;
  DialogDriver<CAboutDlg> escape({[&](CAboutDlg& dialog) { PressEscape(dialog); }});
  EXPECT_EQ(closed.DoModal(GTK_WINDOW(frame.window())), kIdCancel);
}

// Steps for the extract dialog.
void TypeTarget(CExtractFileDlg& dialog, const std::string& target) {
  gtk_entry_set_text(GTK_ENTRY(dialog.Control(CExtractFileDlg::kTargetEdit)), target.c_str());
}
void PressExtract(CExtractFileDlg& dialog) {
  gtk_button_clicked(GTK_BUTTON(dialog.Control(CExtractFileDlg::kExtractButton)));
}
void PressCancel(CExtractFileDlg& dialog) {
  gtk_button_clicked(GTK_BUTTON(dialog.Control(CExtractFileDlg::kCancelButton)));
}

class ExtractDialogTest : public DialogsTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Open(frame, DialogBook())); }
  int Run(const std::string& source, std::vector<std::function<void(CExtractFileDlg&)>> steps) {
    CExtractFileDlg dialog(frame.BookManager());
    dialog.SetSourcePath(source);
    DialogDriver<CExtractFileDlg> driver(std::move(steps));
    return dialog.DoModal(GTK_WINDOW(frame.window()));
  }
  GtkMainFrame frame;
};

TEST_F(ExtractDialogTest, ExtractsANewFileWhole) {
  MessageBoxRecorder boxes;
  std::string target = dir.Join("out/copy.bin");
  ASSERT_EQ(::mkdir(dir.Join("out").c_str(), 0755), 0);
  int result = Run("data.bin", {[&](CExtractFileDlg& dialog) {
                     EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog.dialog())), "Extract File To...");
                     EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(dialog.Control(CExtractFileDlg::kSourceText))),
                                  "data.bin");
                     EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(dialog.Control(CExtractFileDlg::kExtractButton))),
                                  "_Extract");
                     TypeTarget(dialog, target);
                     SaveWindowSnapshot(dialog.dialog(), ArtefactPath("dialogs_extract.png"));
                     PressExtract(dialog);
                   }});
  EXPECT_EQ(result, kIdOk);
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.last_text();
  EXPECT_EQ(ReadWholeFile(target), DataBytes());
}

TEST_F(ExtractDialogTest, EmptyTargetAsksForANameAndWritesNothing) {
  MessageBoxRecorder boxes;
  bool still_open = false;
  int result = Run("data.bin", {PressExtract, [&](CExtractFileDlg&) { still_open = true; },
                                PressEscape<CExtractFileDlg>});
  EXPECT_EQ(result, kIdCancel);
  EXPECT_TRUE(still_open);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Please enter target file name!");
  EXPECT_EQ(boxes.boxes()[0].caption, "Error");
  EXPECT_EQ(boxes.boxes()[0].style, unsigned(kMbIconInformation));
}

TEST_F(ExtractDialogTest, ExistingTargetIsReplacedOnlyWhenTheUserAgrees) {
  std::string target = dir.Write("existing.bin", "old contents");
  {
    MessageBoxRecorder boxes(kIdNo);
    bool still_open = false;
    int result = Run("data.bin", {[&](CExtractFileDlg& dialog) { TypeTarget(dialog, target); }, PressExtract,
                                  [&](CExtractFileDlg&) { still_open = true; }, PressCancel});
    EXPECT_EQ(result, kIdCancel);
    EXPECT_TRUE(still_open);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, target + " already exists, overwrite it?");
    EXPECT_EQ(boxes.boxes()[0].caption, "Overwrite File");
    EXPECT_EQ(boxes.boxes()[0].style, unsigned(kMbYesNo | kMbIconInformation));
    EXPECT_EQ(ReadWholeFile(target), "old contents");
  }
  {
    MessageBoxRecorder boxes(kIdYes);
    int result = Run("data.bin", {[&](CExtractFileDlg& dialog) { TypeTarget(dialog, target); }, PressExtract});
    EXPECT_EQ(result, kIdOk);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].caption, "Overwrite File");
    EXPECT_EQ(ReadWholeFile(target), DataBytes());
  }
}

TEST_F(ExtractDialogTest, WrongSourceNamesTheSourceAndLeavesTheTargetAsItWas) {
  std::string existing = dir.Write("keep.bin", "keep me");
  std::string fresh = dir.Join("fresh.bin");
  MessageBoxRecorder boxes(kIdYes);
  int result = Run("missing.bin", {[&](CExtractFileDlg& dialog) { TypeTarget(dialog, existing); }, PressExtract,
                                   [&](CExtractFileDlg& dialog) { TypeTarget(dialog, fresh); }, PressExtract,
                                   PressCancel});
  EXPECT_EQ(result, kIdCancel);
  ASSERT_EQ(boxes.boxes().size(), 3u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Overwrite File");
  EXPECT_EQ(boxes.boxes()[1].text, "Open missing.bin failed!");
  EXPECT_EQ(boxes.boxes()[1].caption, "Error");
  EXPECT_EQ(boxes.boxes()[2].text, "Open missing.bin failed!");
  // The existing file is whole, and no empty file stands where the user asked for one.
  EXPECT_EQ(ReadWholeFile(existing), "keep me");
  struct stat info;
  EXPECT_NE(::stat(fresh.c_str(), &info), 0);
}

TEST_F(ExtractDialogTest, UncreatableTargetIsToldAndTheDialogStays) {
  MessageBoxRecorder boxes;
  std::string target = dir.Join("no/such/folder/out.bin");
  bool still_open = false;
  int result = Run("data.bin", {[&](CExtractFileDlg& dialog) { TypeTarget(dialog, target); }, PressExtract,
                                [&](CExtractFileDlg&) { still_open = true; }, PressCancel});
  EXPECT_EQ(result, kIdCancel);
  EXPECT_TRUE(still_open);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Create file " + target + " failed!");
  EXPECT_EQ(boxes.boxes()[0].caption, "Error");
}

// The file chooser runs a loop of its own; it is answered from ticks of that loop. It takes the
// folder and name at once but may refuse a response while it still reads the folder, so the
// answer is repeated until the chooser has gone (or given up on, so the test never hangs).
struct ChooserAnswer {
  CExtractFileDlg* dialog = nullptr;
  std::string target;
  std::string filter_name;
  guint filters = 0;
  bool named = false;
  int ticks = 0;
  guint source = 0;
};

gboolean AnswerChooser(gpointer data) {
  auto* answer = static_cast<ChooserAnswer*>(data);
  GtkWidget* widget = answer->dialog->chooser();
  if (!widget) {
    if (!answer->named) return G_SOURCE_CONTINUE;
    answer->source = 0;
    return G_SOURCE_REMOVE;
  }
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(widget);
  if (++answer->ticks > 150) {
    ADD_FAILURE() << "the file chooser did not show or did not take the answer";
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
    return G_SOURCE_CONTINUE;
  }
  if (!gtk_widget_get_mapped(widget)) return G_SOURCE_CONTINUE;
  if (!answer->named) {
    answer->named = true;
    GSList* filters = gtk_file_chooser_list_filters(chooser);
    answer->filters = g_slist_length(filters);
    if (filters) answer->filter_name = gtk_file_filter_get_name(GTK_FILE_FILTER(filters->data));
    g_slist_free(filters);
    gchar* folder = g_path_get_dirname(answer->target.c_str());
    gchar* name = g_path_get_basename(answer->target.c_str());
    gtk_file_chooser_set_current_folder(chooser, folder);
    gtk_file_chooser_set_current_name(chooser, name);
    g_free(folder);
    g_free(name);
    return G_SOURCE_CONTINUE;
  }
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  return G_SOURCE_CONTINUE;
}

TEST_F(ExtractDialogTest, BrowseButtonPutsTheChosenPathIntoTheTarget) {
  MessageBoxRecorder boxes;
  ChooserAnswer answer;
  answer.target = dir.Join("chosen.bin");
  std::string shown;
  int result = Run("data.bin", {[&](CExtractFileDlg& dialog) {
                                  answer.dialog = &dialog;
                                  answer.source = g_timeout_add(100, AnswerChooser, &answer);
                                  gtk_button_clicked(GTK_BUTTON(dialog.Control(CExtractFileDlg::kBrowseButton)));
                                  shown = gtk_entry_get_text(GTK_ENTRY(dialog.Control(CExtractFileDlg::kTargetEdit)));
                                },
                                PressExtract});
  if (answer.source) g_source_remove(answer.source);
  EXPECT_EQ(answer.filters, 1u);
  EXPECT_EQ(answer.filter_name, "All Files (*.*)");
  EXPECT_EQ(shown, answer.target);
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(ReadWholeFile(answer.target), DataBytes());
}

TEST_F(ExtractDialogTest, PageScriptExtractWaitsForTheDialog) {
  MessageBoxRecorder boxes;
  std::string target = dir.Join("from-script.bin");
  bool dialog_seen = false;
  DialogDriver<CExtractFileDlg> driver({[&](CExtractFileDlg& dialog) {
                                          dialog_seen = true;
                                          EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(
                                                           dialog.Control(CExtractFileDlg::kSourceText))),
                                                       "data.bin");
                                          EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog.dialog())),
                                                    GTK_WINDOW(frame.window()));
                                          TypeTarget(dialog, target);
                                        },
                                        PressExtract});
  // The call returns only once the dialog has ended, so the file is there when the script goes on.
  EXPECT_EQ(Evaluate(frame.view(), "window.external.extract('data.bin'); 'returned'"), "returned");
  EXPECT_TRUE(dialog_seen);
  EXPECT_EQ(ReadWholeFile(target), DataBytes());
  EXPECT_EQ(CExtractFileDlg::Active(), nullptr);
}

}  // namespace
}  // namespace lectern
