#include "frame/frame_settings.h"

#include <gtest/gtest.h>

#include <map>

namespace lectern {
namespace {

FrameSettings Read(std::map<std::string, std::string> values, bool preview = false) {
  auto setting = [&](std::string_view key) {
    auto it = values.find(std::string(key));
    return it == values.end() ? std::string() : it->second;
  };
  auto url = [](std::string_view path) { return "datastore:" + std::string(path); };
  return ReadFrameSettings(setting, preview, url, "/books/guide");
}

TEST(FrameSettingsTest, DefaultsOfAnEmptyBook) {
  FrameSettings f = Read({});
  EXPECT_EQ(f.caption, "Lectern");
  EXPECT_EQ(f.home_url, "datastore:index.htm");
  EXPECT_EQ(f.show_mode, ShowMode::kNormal);
  EXPECT_FALSE(f.menu_bar) << "a missing flag is off";
  EXPECT_FALSE(f.size_applies());
  EXPECT_EQ(f.placement, WindowPlacement::kCustom) << "anything but the two words is a custom place";
  EXPECT_TRUE(f.bordered);
  EXPECT_EQ(Read({}, true).caption, "Welcome!");
}

TEST(FrameSettingsTest, LastShowModeThatIsOnWins) {
  EXPECT_EQ(Read({{"fullscreen", "true"}, {"window_maximize", "true"}, {"customize", "true"}}).show_mode,
            ShowMode::kCustomSize);
  EXPECT_EQ(Read({{"fullscreen", "true"}, {"window_maximize", "true"}}).show_mode, ShowMode::kMaximized);
  EXPECT_EQ(Read({{"fullscreen", "true"}, {"customize", "True"}}).show_mode, ShowMode::kFullScreen);
}

TEST(FrameSettingsTest, SizeAndPlace) {
  EXPECT_FALSE(Read({{"window_size_cx", "800"}, {"window_size_cy", "0"}}).size_applies());
  EXPECT_FALSE(Read({{"window_size_cx", "-800"}, {"window_size_cy", "600"}}).size_applies());
  FrameSettings f = Read({{"window_size_cx", "800"}, {"window_size_cy", "600"}, {"window_pos", "12"},
                          {"window_left", "-40"}, {"window_top", "30"}});
  EXPECT_TRUE(f.size_applies());
  EXPECT_EQ(f.left, 0);
  EXPECT_EQ(f.top, 30);
  EXPECT_EQ(Read({{"window_pos", "screen_center"}}).placement, WindowPlacement::kScreenCenter);
  EXPECT_EQ(Read({{"window_pos", "default"}}).placement, WindowPlacement::kSystem);
  EXPECT_FALSE(Read({{"window_size_cx", "800"}, {"window_size_cy", "600"}}, true).size_applies())
      << "Preview Mode sizes only a customised window";
}

TEST(FrameSettingsTest, HomePageForms) {
  EXPECT_EQ(Read({{"start_page", "docs/a.htm"}}).home_url, "datastore:docs/a.htm");
  EXPECT_EQ(Read({{"start_page", "https://example.org/"}}).home_url, "https://example.org/");
  EXPECT_EQ(Read({{"start_page", "c:\\x.htm"}}).home_url, "datastore:c:\\x.htm") << "a drive is no scheme";
  EXPECT_EQ(Read({{"start_page", "docs/a.htm"}}, true).home_url, "file:///books/guide/docs/a.htm");
  EXPECT_EQ(Read({}, true).home_url, "file:///books/guide/index.htm");
}

TEST(FrameSettingsTest, BorderAndStatus) {
  FrameSettings none = Read({{"border_style", "none"}, {"border_icon_close", "true"}});
  EXPECT_EQ(none.border, BorderStyle::kNone);
  EXPECT_FALSE(none.bordered);
  EXPECT_TRUE(none.close_button);
  EXPECT_FALSE(none.maximize_button);
  EXPECT_EQ(Read({{"border_style", "fancy"}}).border, BorderStyle::kUnchanged);
  EXPECT_EQ(StatusBarText(""), "Ready");
  EXPECT_EQ(StatusBarText("Done"), "Ready");
  EXPECT_EQ(StatusBarText("/toc.htm"), "/toc.htm");
}

}  // namespace
}  // namespace lectern
