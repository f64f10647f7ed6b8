// The picture control on a real display: what lands on its canvas and when.
#include "platform/gtk/picture/picture_ex_wnd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "frame/gif_frames.h"
#include "frame/gif_test_builder.h"
#include "platform/gtk/picture/picture_test_support.h"
#include "tests/support/fetched_data.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::BuildGif;
using testing::FetchedData;
using testing::MissingDataMessage;
using testing::PixelAt;
using testing::RunFor;
using testing::RunUntil;
using testing::SolidImage;
using testing::TempDir;
using testing::TestGif;
using testing::TestGifImage;
using testing::ToBytes;
using testing::TwoColourPng;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

// A toplevel holding the control, so it is realized and drawn as on screen.
struct ShownIn {
  explicit ShownIn(GtkWidget* child) {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), child);
    gtk_widget_show_all(window);
    RunUntil([&] { return gtk_widget_get_mapped(child); }, 3000);
  }
  ~ShownIn() {
    if (window) gtk_widget_destroy(window);
  }
  GtkWidget* window = nullptr;
};

// What the widget itself paints, through its draw handler.
cairo_surface_t* RenderWidget(GtkWidget* widget, int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  gtk_widget_draw(widget, cr);
  cairo_destroy(cr);
  return surface;
}

TEST(PictureExWndTest, AStillPictureIsDrawnOnceAtItsSize) {
  CPictureExWnd picture;
  picture.SetBackgroundColor(kGrey);
  std::vector<uint8_t> png = TwoColourPng(30, 20, kRed, kBlue);
  ASSERT_TRUE(picture.LoadFromMemory(png));
  int width = 0, height = 0;
  picture.GetSize(width, height);
  EXPECT_EQ(width, 30);
  EXPECT_EQ(height, 20);
  int request_w = 0, request_h = 0;
  gtk_widget_get_size_request(picture.widget(), &request_w, &request_h);
  EXPECT_EQ(request_w, 30);
  EXPECT_EQ(request_h, 20);
  // Loaded but not started: the canvas holds only the background.
  EXPECT_EQ(PixelAt(picture.canvas(), 3, 3), kGrey);

  ASSERT_TRUE(picture.Start());
  EXPECT_FALSE(picture.animated());
  EXPECT_FALSE(picture.animating());
  EXPECT_EQ(PixelAt(picture.canvas(), 3, 3), kRed);
  EXPECT_EQ(PixelAt(picture.canvas(), 26, 17), kBlue);

  ShownIn shown(picture.widget());
  cairo_surface_t* painted = RenderWidget(picture.widget(), 40, 30);
  EXPECT_EQ(PixelAt(painted, 2, 2), kRed);
  EXPECT_EQ(PixelAt(painted, 29, 19), kBlue);
  EXPECT_EQ(PixelAt(painted, 35, 25), 0u);  // nothing is painted beyond the picture
  cairo_surface_destroy(painted);
}

TEST(PictureExWndTest, TheSizeFlagDecidesWhetherTheWidgetFollowsThePicture) {
  CPictureExWnd picture;
  picture.SetSizeFlag(false);
  ASSERT_TRUE(picture.LoadFromMemory(TwoColourPng(30, 20, kRed, kBlue)));
  int request_w = 0, request_h = 0;
  gtk_widget_get_size_request(picture.widget(), &request_w, &request_h);
  EXPECT_EQ(request_w, -1);
  EXPECT_EQ(request_h, -1);
}

TEST(PictureExWndTest, LoadsFilesAndTheBuiltInLogo) {
  TempDir dir;
  std::vector<uint8_t> png = TwoColourPng(12, 8, kGreen, kGreen);
  std::string path = dir.Write("pic.png", std::string(png.begin(), png.end()));
  CPictureExWnd picture;
  EXPECT_TRUE(picture.LoadFromFile(path));
  EXPECT_TRUE(picture.loaded());
  EXPECT_FALSE(picture.LoadFromFile(dir.Join("missing.png")));
  EXPECT_FALSE(picture.loaded());  // a failed load leaves the control empty
  EXPECT_FALSE(picture.LoadFromFile(dir.path()));
  EXPECT_FALSE(picture.LoadFromFile(dir.Write("text.png", "not a picture at all")));

  ASSERT_TRUE(picture.LoadFromResource("VELLUM_LOGO_BITMAP", "BMP"));
  int width = 0, height = 0;
  picture.GetSize(width, height);
  EXPECT_EQ(width, 112);
  EXPECT_EQ(height, 32);
  picture.Start();
  EXPECT_NE(PixelAt(picture.canvas(), 60, 2), PixelAt(picture.canvas(), 50, 20));  // something is drawn
  EXPECT_TRUE(picture.LoadFromResource("vellum_logo_bitmap", "bmp"));
  EXPECT_FALSE(picture.LoadFromResource("VELLUM_LOGO_BITMAP", "GIF"));
  EXPECT_FALSE(picture.LoadFromResource("NO_SUCH_PICTURE", "BMP"));
  picture.GetSize(width, height);
  EXPECT_EQ(width, 0);
}

TEST(PictureExWndTest, RefusesBrokenAndOversizedPictures) {
  CPictureExWnd picture;
  std::vector<uint8_t> png = TwoColourPng(30, 20, kRed, kBlue);
  EXPECT_FALSE(picture.LoadFromMemory({}));
  EXPECT_FALSE(picture.LoadFromMemory(std::span(png).first(png.size() / 2)));
  // A PNG whose header claims 100000 × 100000 pixels.
  std::vector<uint8_t> huge = png;
  const uint8_t side[4] = {0x00, 0x01, 0x86, 0xA0};
  std::copy(side, side + 4, huge.begin() + 16);
  std::copy(side, side + 4, huge.begin() + 20);
  EXPECT_FALSE(picture.LoadFromMemory(huge));
  EXPECT_EQ(DecodePicture(huge), nullptr);
  // GIFs without a screen or without a whole image.
  EXPECT_FALSE(picture.LoadFromMemory(ToBytes(std::string("GIF89a\0\0\0\0\0\0\0;", 14))));
  TestGif gif;
  gif.width = gif.height = 4;
  gif.palette = {kRed, kGreen};
  gif.images = {SolidImage(0, 0, 4, 4, 0), SolidImage(0, 0, 4, 4, 1)};
  std::string stream = BuildGif(gif);
  EXPECT_FALSE(picture.LoadFromMemory(ToBytes(stream.substr(0, 40))));
  EXPECT_FALSE(picture.loaded());
}

// Four frames on a 4 × 4 screen, each with its own delay and disposal; the second is partly
// transparent.
TestGif DisposalGif() {
  TestGif gif;
  gif.width = gif.height = 4;
  gif.palette = {kRed, kGreen, kBlue, 0x000000};
  TestGifImage f0 = SolidImage(0, 0, 2, 2, 0);
  f0.delay = 4;  // below five: 100 ms
  f0.disposal = 2;
  TestGifImage f1 = SolidImage(2, 2, 2, 2, 1);
  f1.pixels = {1, 3, 3, 1};
  f1.transparent_index = 3;
  f1.delay = 5;
  f1.disposal = 1;
  TestGifImage f2 = SolidImage(1, 1, 2, 2, 2);
  f2.delay = 20;
  f2.disposal = 3;
  TestGifImage f3 = SolidImage(3, 0, 1, 1, 0);
  f3.delay = 7;
  gif.images = {f0, f1, f2, f3};
  return gif;
}

struct Observation {
  size_t frame;
  Clock::time_point at;
  int delay_ms;
  std::map<std::pair<int, int>, uint32_t> pixels;
};

TEST(PictureExWndTest, AnimatedGifFramesFollowTheirDelaysAndDisposals) {
  CPictureExWnd picture;
  picture.SetBackgroundColor(kWhite);
  ASSERT_TRUE(picture.LoadFromMemory(ToBytes(BuildGif(DisposalGif()))));
  ASSERT_EQ(picture.frame_count(), 4u);
  EXPECT_TRUE(picture.animated());
  ShownIn shown(picture.widget());

  std::vector<Observation> seen;
  picture.SetFrameObserver([&](size_t frame) {
    Observation o{frame, Clock::now(), picture.current_delay_ms(), {}};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) o.pixels[{x, y}] = PixelAt(picture.canvas(), x, y);
    seen.push_back(o);
  });
  ASSERT_TRUE(picture.Start());
  EXPECT_TRUE(picture.animating());
  ASSERT_TRUE(RunUntil([&] { return seen.size() >= 6; }));
  picture.Stop();
  EXPECT_FALSE(picture.animating());

  std::vector<size_t> order;
  for (const Observation& o : seen) order.push_back(o.frame);
  EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 0, 1}));
  const int expected_delay[] = {100, 50, 200, 70};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].delay_ms, expected_delay[seen[i].frame]) << "observation " << i;
    if (i == 0) continue;
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(seen[i].at - seen[i - 1].at).count();
    EXPECT_GE(waited, expected_delay[seen[i - 1].frame] - 2) << "before observation " << i;
  }
  auto px = [&](size_t i, int x, int y) { return seen[i].pixels.at({x, y}); };
  // Frame 0 on the cleared canvas.
  EXPECT_EQ(px(0, 0, 0), kRed);
  EXPECT_EQ(px(0, 2, 2), kWhite);
  // Frame 0 was restored to the background; frame 1's transparent pixels show the canvas under them.
  EXPECT_EQ(px(1, 0, 0), kWhite);
  EXPECT_EQ(px(1, 2, 2), kGreen);
  EXPECT_EQ(px(1, 3, 2), kWhite);
  EXPECT_EQ(px(1, 3, 3), kGreen);
  // Frame 1 stays; frame 2 covers part of it.
  EXPECT_EQ(px(2, 1, 1), kBlue);
  EXPECT_EQ(px(2, 2, 2), kBlue);
  EXPECT_EQ(px(2, 3, 3), kGreen);
  // Frame 2 put back what it covered.
  EXPECT_EQ(px(3, 1, 1), kWhite);
  EXPECT_EQ(px(3, 2, 2), kGreen);
  EXPECT_EQ(px(3, 3, 0), kRed);
  // Before frame 0 comes round again the whole canvas is cleared.
  EXPECT_EQ(px(4, 0, 0), kRed);
  EXPECT_EQ(px(4, 2, 2), kWhite);
  EXPECT_EQ(px(4, 3, 3), kWhite);
  EXPECT_EQ(px(4, 3, 0), kWhite);
}

TEST(PictureExWndTest, AGifOfOneFrameIsAStill) {
  TestGif gif;
  gif.width = 6;
  gif.height = 4;
  gif.palette = {kRed, kGreen};
  TestGifImage only = SolidImage(0, 0, 6, 4, 1);
  only.delay = 10;
  gif.images = {only};
  CPictureExWnd picture;
  ASSERT_TRUE(picture.LoadFromMemory(ToBytes(BuildGif(gif))));
  EXPECT_FALSE(picture.animated());
  EXPECT_EQ(picture.frame_count(), 0u);
  int draws = 0;
  picture.SetFrameObserver([&](size_t) { ++draws; });
  ASSERT_TRUE(picture.Start());
  EXPECT_FALSE(picture.animating());
  EXPECT_EQ(PixelAt(picture.canvas(), 5, 3), kGreen);
  RunFor(250);
  EXPECT_EQ(draws, 1);

  // Two images of which one lies off the screen: the survivor is drawn once, at its place.
  gif.images = {SolidImage(9, 9, 2, 2, 0), SolidImage(2, 1, 2, 2, 0)};
  picture.SetBackgroundColor(kWhite);
  ASSERT_TRUE(picture.LoadFromMemory(ToBytes(BuildGif(gif))));
  EXPECT_EQ(picture.frame_count(), 1u);
  EXPECT_FALSE(picture.animated());
  draws = 0;
  ASSERT_TRUE(picture.Start());
  EXPECT_FALSE(picture.animating());
  EXPECT_EQ(PixelAt(picture.canvas(), 2, 1), kRed);
  EXPECT_EQ(PixelAt(picture.canvas(), 0, 0), kWhite);
  RunFor(250);
  EXPECT_EQ(draws, 1);
}

TEST(PictureExWndTest, AFrameTheDecoderRefusesIsLeftOut) {
  TestGif gif = DisposalGif();
  std::string stream = BuildGif(gif);
  GifSplit split = SplitGif(std::span(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()));
  ASSERT_EQ(split.frames.size(), 4u);
  // Give the third image an LZW code size no decoder accepts.
  const GifFrame& third = split.frames[2];
  size_t descriptor = stream.find(',', third.source_offset);
  ASSERT_NE(descriptor, std::string::npos);
  stream[descriptor + 10] = char(15);
  CPictureExWnd picture;
  ASSERT_TRUE(picture.LoadFromMemory(ToBytes(stream)));
  EXPECT_EQ(picture.frame_count(), 3u);
}

TEST(PictureExWndTest, StopKeepsTheCanvasAndStartBeginsAgain) {
  CPictureExWnd picture;
  picture.SetBackgroundColor(kWhite);
  ASSERT_TRUE(picture.LoadFromMemory(ToBytes(BuildGif(DisposalGif()))));
  std::vector<size_t> order;
  picture.SetFrameObserver([&](size_t frame) { order.push_back(frame); });
  picture.Start();
  ASSERT_TRUE(RunUntil([&] { return order.size() >= 3; }));
  picture.Stop();
  uint32_t shown = PixelAt(picture.canvas(), 1, 1);
  RunFor(400);
  EXPECT_EQ(order.size(), 3u);
  EXPECT_EQ(PixelAt(picture.canvas(), 1, 1), shown);
  order.clear();
  picture.Start();
  EXPECT_EQ(order, std::vector<size_t>{0});
  EXPECT_EQ(PixelAt(picture.canvas(), 1, 1), kRed);
  EXPECT_EQ(PixelAt(picture.canvas(), 2, 2), kWhite);
  // Loading another picture ends the animation.
  ASSERT_TRUE(picture.LoadFromMemory(TwoColourPng(8, 8, kRed, kRed)));
  EXPECT_FALSE(picture.animating());
  RunFor(250);
  EXPECT_EQ(order.size(), 1u);
}

TEST(PictureExWndTest, TheAnimationNeverOutlivesItsWindowOrItsControl) {
  auto picture = std::make_unique<CPictureExWnd>();
  ASSERT_TRUE(picture->LoadFromMemory(ToBytes(BuildGif(DisposalGif()))));
  int draws = 0;
  picture->SetFrameObserver([&](size_t) { ++draws; });
  {
    ShownIn shown(picture->widget());
    picture->Start();
    ASSERT_TRUE(RunUntil([&] { return draws >= 2; }));
  }
  EXPECT_FALSE(picture->animating());
  int after_window = draws;
  RunFor(300);
  EXPECT_EQ(draws, after_window);

  // The control going away first ends its animation as well; the loop then runs on unharmed.
  picture->Start();
  EXPECT_TRUE(picture->animating());
  picture.reset();
  RunFor(300);
}

// Animated GIFs made by others, from the distribution's packages.
void CheckRealAnimation(const std::string& package, const std::string& path, size_t frames) {
  std::string file = (FetchedData(package) / path).string();
  ASSERT_TRUE(std::filesystem::exists(file)) << MissingDataMessage(package);
  CPictureExWnd picture;
  ASSERT_TRUE(picture.LoadFromFile(file));
  ASSERT_EQ(picture.frame_count(), frames);
  std::optional<std::vector<uint8_t>> bytes = ReadDiskFileWhole(file);
  ASSERT_TRUE(bytes);
  GifSplit split = SplitGif(*bytes);
  int width = 0, height = 0;
  picture.GetSize(width, height);
  EXPECT_EQ(width, split.width);
  EXPECT_EQ(height, split.height);
  ShownIn shown(picture.widget());

  std::vector<size_t> order;
  std::vector<int> delays;
  picture.SetFrameObserver([&](size_t frame) {
    order.push_back(frame);
    delays.push_back(picture.current_delay_ms());
  });
  picture.Start();
  ASSERT_TRUE(RunUntil([&] { return order.size() >= frames + 2; }, 20000));
  picture.Stop();
  for (size_t i = 0; i < order.size(); ++i) {
    ASSERT_EQ(order[i], i % frames);
    EXPECT_EQ(delays[i], GifFrameDelayMs(split.frames[order[i]].delay));
  }
  // The canvas holds more than the background.
  bool drawn = false;
  for (int y = 0; y < height && !drawn; ++y)
    for (int x = 0; x < width && !drawn; ++x) drawn = PixelAt(picture.canvas(), x, y) != picture.background_color();
  EXPECT_TRUE(drawn);
}

TEST(PictureExWndTest, RealAnimationOfThirtyOneFrames) {
  CheckRealAnimation("libjs-jquery-colorbox", "usr/share/doc/libjs-jquery-colorbox/examples/example1/images/loading.gif",
                     31);
}

TEST(PictureExWndTest, RealAnimationOfTwelveFrames) {
  CheckRealAnimation("libjs-jquery-jstree", "usr/share/javascript/jstree/themes/default/throbber.gif", 12);
}

}  // namespace
}  // namespace lectern
