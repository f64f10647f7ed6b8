// The splash screen on a real display: its options, its picture, its tick and its closing rules.
#include "platform/gtk/picture/splash_dlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>

#include "archive/test_books.h"
#include "platform/gtk/picture/picture_test_support.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::PixelAt;
using testing::RunFor;
using testing::RunUntil;
using testing::TempDir;
using testing::TwoColourPng;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;

SettingReader Settings(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view key) {
    auto it = values.find(std::string(key));
    return it == values.end() ? std::string() : it->second;
  };
}

TEST(SplashOptionsTest, DelayAndFlagsFromTheSettings) {
  for (const char* value : {"", "0", "-4", "abc"}) {
    EXPECT_EQ(ReadSplashOptions(Settings({{"splash_delay_time", value}})).delay_seconds, 3) << value;
  }
  EXPECT_EQ(ReadSplashOptions(Settings({{"splash_delay_time", "1"}})).delay_seconds, 1);
  EXPECT_EQ(ReadSplashOptions(Settings({{"splash_delay_time", " 7s"}})).delay_seconds, 7);
  SplashOptions options = ReadSplashOptions(
      Settings({{"splash_close_by_key", "true"}, {"splash_close_by_mouse", "TRUE"}, {"splash_image", "img/s.png"}}));
  EXPECT_TRUE(options.close_by_key);
  EXPECT_FALSE(options.close_by_mouse);  // a flag is on only when it reads exactly "true"
  EXPECT_EQ(options.image_name, "img/s.png");
}

TEST(SplashOptionsTest, PicturesComeWholeFromTheBookOrFromDisk) {
  TempDir dir;
  std::vector<uint8_t> png = TwoColourPng(20, 10, kRed, kBlue);
  testing::TestBook book;
  book.files = {{"index.htm", "<html></html>"}, {"images/splash.png", std::string(png.begin(), png.end())}};
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("book.ebk"), book));
  CEbkManager* manager = CEbkManager::Create();
  ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("book.ebk")).c_str()), S_OK);

  EXPECT_EQ(ReadBookFileWhole(manager, "images/splash.png"), png);
  EXPECT_FALSE(ReadBookFileWhole(manager, "images/missing.png"));
  EXPECT_FALSE(ReadBookFileWhole(manager, ""));
  EXPECT_FALSE(ReadBookFileWhole(nullptr, "images/splash.png"));
  EXPECT_FALSE(ReadBookFileWhole(manager, "images/splash.png", png.size() - 1));
  PictureReader from_book = BookPictureReader(manager);
  manager->Release();  // the reader holds its own reference
  EXPECT_EQ(from_book("images/splash.png"), png);

  dir.Write("project/pics/splash.png", std::string(png.begin(), png.end()));
  PictureReader from_disk = DiskPictureReader(dir.Join("project"));
  EXPECT_EQ(from_disk("pics/splash.png"), png);
  EXPECT_EQ(from_disk(dir.Join("project/pics/splash.png")), png);
  EXPECT_FALSE(from_disk("pics/none.png"));
  EXPECT_FALSE(from_disk(""));
}

PictureReader Serve(std::vector<uint8_t> bytes) {
  return [bytes = std::move(bytes)](const std::string& name) -> std::optional<std::vector<uint8_t>> {
    if (name != "splash.png") return std::nullopt;
    return bytes;
  };
}

struct BoxLog {
  int count = 0;
  std::string text, caption;
  unsigned style = 0;
};
BoxLog g_boxes;
int RecordBox(void*, std::string_view text, std::string_view caption, unsigned style) {
  ++g_boxes.count;
  g_boxes.text = text;
  g_boxes.caption = caption;
  g_boxes.style = style;
  return kIdOk;
}

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes = {};
    previous_ = SetMessageBoxHandler(RecordBox);
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  std::unique_ptr<CSplashDlg> Make(SplashOptions options, PictureReader reader) {
    options.image_name = "splash.png";
    return std::make_unique<CSplashDlg>(options, std::move(reader), nullptr, [this] {
      ++closed_;
      closed_at_ = Clock::now();
    });
  }

  void SendKey(CSplashDlg& splash) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(splash.window())));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = GDK_KEY_Escape;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }

  void SendButton(CSplashDlg& splash, GdkEventType type, guint button) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(splash.picture().widget())));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.x = event->button.y = 5;
    event->button.button = button;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(event);
    gdk_event_free(event);
  }

  int closed_ = 0;
  Clock::time_point closed_at_;
  MessageBoxHandler previous_ = nullptr;
};

TEST_F(SplashTest, ShowsThePictureCentredAndEndsAfterTheDelay) {
  SplashOptions options = ReadSplashOptions(Settings({}));  // no delay given: three seconds
  ASSERT_EQ(options.delay_seconds, 3);
  auto splash = Make(options, Serve(TwoColourPng(240, 120, kRed, kBlue)));
  Clock::time_point opened = Clock::now();
  ASSERT_TRUE(splash->Open());
  ASSERT_TRUE(splash->is_open());
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(splash->window())));
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(splash->window())));
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(splash->window()); }));
  RunFor(200);

  GdkWindow* window = gtk_widget_get_window(splash->window());
  EXPECT_EQ(gdk_window_get_width(window), 240);
  EXPECT_EQ(gdk_window_get_height(window), 120);
  GdkRectangle screen;
  gdk_monitor_get_geometry(gdk_display_get_monitor_at_window(gdk_display_get_default(), window), &screen);
  int x = 0, y = 0;
  gdk_window_get_origin(window, &x, &y);
  EXPECT_NEAR(x, screen.x + (screen.width - 240) / 2, 2);
  EXPECT_NEAR(y, screen.y + (screen.height - 120) / 2, 2);

  // What the display shows, kept beside the build as an artefact.
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, 0, 0, 240, 120);
  ASSERT_NE(shot, nullptr);
  const char* build = std::getenv("LECTERN_BINARY_DIR");
  EXPECT_TRUE(gdk_pixbuf_save(shot, (std::string(build ? build : ".") + "/splash.png").c_str(), "png", nullptr, nullptr));
  const guchar* pixels = gdk_pixbuf_get_pixels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
  auto rgb = [&](int px, int py) {
    const guchar* p = pixels + py * stride + px * channels;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  };
  EXPECT_EQ(rgb(10, 60), kRed);
  EXPECT_EQ(rgb(230, 60), kBlue);
  g_object_unref(shot);

  ASSERT_TRUE(RunUntil([&] { return closed_ > 0; }, 6000));
  EXPECT_EQ(splash->elapsed(), 3);
  EXPECT_FALSE(splash->is_open());
  auto lasted = std::chrono::duration_cast<std::chrono::milliseconds>(closed_at_ - opened).count();
  EXPECT_GE(lasted, 3000);
  RunFor(100);
  EXPECT_EQ(closed_, 1);
  EXPECT_EQ(g_boxes.count, 0);
}

TEST_F(SplashTest, AKeyClosesAtTheNextTickWhenAllowed) {
  SplashOptions options;
  options.delay_seconds = 30;
  options.close_by_key = true;
  auto splash = Make(options, Serve(TwoColourPng(60, 40, kRed, kBlue)));
  ASSERT_TRUE(splash->Open());
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(splash->window()); }));
  SendKey(*splash);
  EXPECT_TRUE(splash->close_requested());
  RunFor(50);
  EXPECT_TRUE(splash->is_open());  // the request waits for the tick
  EXPECT_EQ(closed_, 0);
  ASSERT_TRUE(RunUntil([&] { return closed_ > 0; }, 2500));
  EXPECT_EQ(splash->elapsed(), 1);
  EXPECT_FALSE(splash->is_open());
}

TEST_F(SplashTest, KeysAndClicksDoNothingUnlessTheBookAllowsThem) {
  SplashOptions options;
  options.delay_seconds = 30;
  options.close_by_mouse = true;  // keys not allowed
  auto splash = Make(options, Serve(TwoColourPng(60, 40, kRed, kBlue)));
  ASSERT_TRUE(splash->Open());
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(splash->window()); }));
  SendKey(*splash);
  SendButton(*splash, GDK_BUTTON_PRESS, 2);  // the middle button is no close
  EXPECT_FALSE(splash->close_requested());
  ASSERT_TRUE(RunUntil([&] { return splash->elapsed() >= 2; }, 4000));
  EXPECT_TRUE(splash->is_open());
  EXPECT_EQ(closed_, 0);
  SendButton(*splash, GDK_2BUTTON_PRESS, 3);
  EXPECT_TRUE(splash->close_requested());
  ASSERT_TRUE(RunUntil([&] { return closed_ > 0; }, 2500));
  EXPECT_EQ(splash->elapsed(), 3);

  options.close_by_mouse = false;
  options.close_by_key = true;
  auto second = Make(options, Serve(TwoColourPng(60, 40, kRed, kBlue)));
  ASSERT_TRUE(second->Open());
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(second->window()); }));
  SendButton(*second, GDK_BUTTON_PRESS, 1);
  EXPECT_FALSE(second->close_requested());
  SendButton(*second, GDK_BUTTON_PRESS, 1);
  SendKey(*second);
  EXPECT_TRUE(second->close_requested());
}

TEST_F(SplashTest, APictureThatCannotBeLoadedIsReportedAndTheFrameShownAtOnce) {
  for (PictureReader reader : {Serve({}), Serve(testing::ToBytes("no picture here")), PictureReader()}) {
    g_boxes = {};
    closed_ = 0;
    auto splash = Make(SplashOptions{}, reader);
    EXPECT_FALSE(splash->Open());
    EXPECT_EQ(g_boxes.count, 1);
    EXPECT_EQ(g_boxes.text, "Cannot load splash image!");
    EXPECT_EQ(g_boxes.caption, "Error");
    EXPECT_EQ(g_boxes.style, unsigned(kMbIconInformation));
    EXPECT_FALSE(splash->is_open());
    EXPECT_EQ(closed_, 0);  // never from inside Open: the frame is still being built
    ASSERT_TRUE(RunUntil([&] { return closed_ > 0; }, 1000));
    RunFor(50);
    EXPECT_EQ(closed_, 1);
  }
}

TEST_F(SplashTest, TheFrameStartsOneSplashAndItStaysPublished) {
  EXPECT_EQ(CurrentSplashDialog(), nullptr);
  std::vector<uint8_t> png = TwoColourPng(50, 30, kRed, kBlue);
  int shown = 0;
  CSplashDlg* splash = StartSplashScreen(
      Settings({{"splash_delay_time", "1"}, {"splash_close_by_key", "true"}, {"splash_image", "splash.png"}}),
      Serve(png), nullptr, [&] { ++shown; });
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(CurrentSplashDialog(), splash);
  EXPECT_EQ(splash->options().delay_seconds, 1);
  EXPECT_TRUE(splash->options().close_by_key);
  EXPECT_TRUE(splash->is_open());
  EXPECT_TRUE(splash->picture().loaded());
  ASSERT_TRUE(RunUntil([&] { return shown > 0; }, 3000));
  EXPECT_EQ(CurrentSplashDialog(), splash);  // still there after it closed
  EXPECT_FALSE(splash->is_open());
}

}  // namespace
}  // namespace lectern
