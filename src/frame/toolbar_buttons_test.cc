#include "frame/toolbar_buttons.h"

#include <gtest/gtest.h>

#include <map>

namespace lectern {
namespace {

SettingReader From(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view key) {
    auto found = values.find(std::string(key));
    return found == values.end() ? std::string() : found->second;
  };
}

TEST(ToolbarButtonsTest, TheTableWithoutSettings) {
  std::vector<ToolbarButton> buttons = BookToolbarButtons(From({}));
  ASSERT_EQ(buttons.size(), kToolbarButtonCount);
  std::vector<int> commands, images;
  for (const ToolbarButton& b : buttons) {
    commands.push_back(b.command);
    images.push_back(b.image);
  }
  EXPECT_EQ(commands, (std::vector<int>{3000, 3001, 3002, 3003, 3004, 3007, 3008, 3014, 3016, 3006, 57665}));
  EXPECT_EQ(images, (std::vector<int>{0, 1, 2, 3, 4, 7, 8, 9, 10, 6, 11}));
  EXPECT_FALSE(buttons[0].enabled);
  EXPECT_FALSE(buttons[1].enabled);
  for (size_t i = 2; i < buttons.size(); ++i) EXPECT_TRUE(buttons[i].enabled) << i;
  EXPECT_TRUE(buttons[6].drop_down);
  EXPECT_TRUE(buttons[7].toggle && buttons[8].toggle && buttons[9].toggle);
  EXPECT_FALSE(buttons[0].toggle || buttons[6].toggle || buttons[10].toggle);
}

TEST(ToolbarButtonsTest, EachValueOfAnOption) {
  struct Case {
    std::string value;
    bool start_enabled;
    bool enabled;
    bool hidden;
  };
  const Case cases[] = {
      {"0", false, true, false},    {"1", true, false, false},   {"2", true, true, true},
      {"3", false, false, false},   {"3", true, true, false},    {"-1", true, true, false},
      {"", false, false, false},    {"", true, true, false},     {"abc", false, true, false},
      {" 1", true, false, false},   {"2x", true, true, true},    {"99999999999", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("value '" + c.value + "'");
    ToolbarButton button{"tbo_x", 1, 0, c.start_enabled};
    ApplyToolbarOption(button, c.value);
    EXPECT_EQ(button.enabled, c.enabled);
    EXPECT_EQ(button.hidden, c.hidden);
    EXPECT_EQ(button.locked, c.value == "1" || c.value == " 1");
  }
  for (int command : {3000, 3001}) {
    ToolbarButton history{"tbo_back", command, 0, true};
    ApplyToolbarOption(history, "1");
    EXPECT_FALSE(history.enabled) << "starts greyed";
    EXPECT_FALSE(history.locked) << "and follows the history afterwards";
  }
}

TEST(ToolbarButtonsTest, HiddenButtonsAreLeftOutInOrder) {
  std::vector<ToolbarButton> buttons =
      BookToolbarButtons(From({{"tbo_stop", "2"}, {"tbo_print", "2"}, {"tbo_back", "0"}, {"tbo_exit", "1"}}));
  ASSERT_EQ(buttons.size(), 9u);
  EXPECT_EQ(buttons[0].command, 3000);
  EXPECT_TRUE(buttons[0].enabled);
  EXPECT_EQ(buttons[2].command, 3003);
  EXPECT_EQ(buttons[4].command, 3008);
  EXPECT_EQ(buttons.back().command, 57665);
  EXPECT_FALSE(buttons.back().enabled);

  std::map<std::string, std::string> all;
  for (const ToolbarButton& b : DefaultToolbarButtons()) all.emplace(b.setting_key, "2");
  EXPECT_TRUE(BookToolbarButtons(From(all)).empty());
}

TEST(ToolbarButtonsTest, LogoTooltip) {
  EXPECT_EQ(LogoTooltip("", "ignored without a link"), "");
  EXPECT_EQ(LogoTooltip("https://example.org/", ""), "Please visit https://example.org/");
  EXPECT_EQ(LogoTooltip("https://example.org/", "Our site"), "Our site");
  EXPECT_EQ(LogoTooltip("https://example.org/%d%s", ""), "Please visit https://example.org/%d%s");
}

}  // namespace
}  // namespace lectern
