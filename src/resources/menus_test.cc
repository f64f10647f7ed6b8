#include "resources/menus.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "resources/string_table.h"

namespace lectern {
namespace {

TEST(MenusTest, MainMenuIsBalancedAndEveryCommandHasAPrompt) {
  int depth = 0;
  std::set<int> commands;
  for (const MenuEntry& entry : MainMenu()) {
    if (entry.kind == MenuEntry::Kind::kSubmenu) ++depth;
    if (entry.kind == MenuEntry::Kind::kEnd) {
      ASSERT_GT(depth--, 0) << "an end without its submenu";
    }
    if (entry.kind != MenuEntry::Kind::kItem) continue;
    EXPECT_TRUE(commands.insert(entry.command).second) << entry.command << " twice";
    EXPECT_FALSE(CommandPrompt(entry.command).empty()) << entry.text;
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(commands, (std::set<int>{3007, 32803, 57665, 3016, 3006, 3005, 32789, 3000, 3001, 3004, 3002, 3003, 3014,
                                     32796, 32820, 32777, 57664}));
}

TEST(MenusTest, PopupMenusAndAccelerators) {
  ASSERT_EQ(TextSizeMenu().size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(TextSizeMenu()[i].command, int(4 - i)) << "largest first";
  ASSERT_EQ(SearchBarDropDownMenu().size(), 4u);
  EXPECT_EQ(SearchBarDropDownMenu()[1].kind, MenuEntry::Kind::kSeparator);
  EXPECT_EQ(Accelerators().size(), 14u);
  std::set<std::tuple<int, char, bool, bool, bool>> keys;
  for (const Accelerator& a : Accelerators())
    EXPECT_TRUE(keys.insert({int(a.key), a.letter, a.control, a.shift, a.alt}).second) << a.command << ": key used twice";
}

}  // namespace
}  // namespace lectern
