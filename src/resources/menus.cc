#include "resources/menus.h"

namespace lectern {
namespace {

using K = MenuEntry::Kind;

constexpr MenuEntry kMainMenu[] = {
    {K::kSubmenu, "&File", 0},
    {K::kItem, "&Print...", 3007},
    {K::kItem, "Print Pre&view...", 32803},
    {K::kSeparator, nullptr, 0},
    {K::kItem, "E&xit", 57665},
    {K::kEnd, nullptr, 0},
    {K::kSubmenu, "&View", 0},
    {K::kSubmenu, "E-Book Bars", 0},
    {K::kItem, "Table of content", 3016},
    {K::kItem, "Bookmarks", 3006},
    {K::kItem, "Search Results", 3005},
    {K::kEnd, nullptr, 0},
    {K::kItem, "&Status Bar", 32789},
    {K::kSeparator, nullptr, 0},
    {K::kSubmenu, "&Go To", 0},
    {K::kItem, "&Back", 3000},
    {K::kItem, "&Forward", 3001},
    {K::kSeparator, nullptr, 0},
    {K::kItem, "&Home Page", 3004},
    {K::kEnd, nullptr, 0},
    {K::kItem, "&Stop", 3002},
    {K::kItem, "&Refresh", 3003},
    {K::kSeparator, nullptr, 0},
    {K::kItem, "&Full Screen", 3014},
    {K::kEnd, nullptr, 0},
    {K::kSubmenu, "&Bookmark", 0},
    {K::kItem, "&Add Bookmark...", 32796},
    {K::kEnd, nullptr, 0},
    {K::kSubmenu, "&Help", 0},
    {K::kItem, "&Keyboard Shortcuts", 32820},
    {K::kItem, "About &eBook...", 32777},
    {K::kItem, "About &Lectern", 57664},
    {K::kEnd, nullptr, 0},
};

constexpr MenuEntry kTextSizeMenu[] = {
    {K::kItem, "Largest", 4}, {K::kItem, "Larger", 3},   {K::kItem, "Medium", 2},
    {K::kItem, "Smaller", 1}, {K::kItem, "Smallest", 0},
};

constexpr MenuEntry kSearchBarDropDown[] = {
    {K::kItem, "&Clear Search History", 32782},
    {K::kSeparator, nullptr, 0},
    {K::kItem, "&Reset Search Position", 32783},
    {K::kItem, "&Toggle Keywords Highlight", 32784},
};

using A = AcceleratorKey;
constexpr Accelerator kAccelerators[] = {
    {A::kLetter, 'N', true, false, false, 57600},     {A::kLetter, 'O', true, false, false, 57601},
    {A::kLetter, 'S', true, false, false, 57603},     {A::kLetter, 'P', true, false, false, 57607},
    {A::kLetter, 'Z', true, false, false, 57643},     {A::kLetter, 'X', true, false, false, 57635},
    {A::kLetter, 'C', true, false, false, 57634},     {A::kLetter, 'V', true, false, false, 57637},
    {A::kBackspace, 0, false, false, true, 57643},    {A::kDelete, 0, false, true, false, 57635},
    {A::kInsert, 0, true, false, false, 57634},       {A::kInsert, 0, false, true, false, 57637},
    {A::kF6, 0, false, false, false, 57680},          {A::kF6, 0, false, true, false, 57681},
};

}  // namespace

std::span<const MenuEntry> MainMenu() { return kMainMenu; }
std::span<const MenuEntry> TextSizeMenu() { return kTextSizeMenu; }
std::span<const MenuEntry> SearchBarDropDownMenu() { return kSearchBarDropDown; }
std::span<const Accelerator> Accelerators() { return kAccelerators; }

}  // namespace lectern
