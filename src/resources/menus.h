// The reader's menus and its accelerator table as data, with the resources' texts (an '&' marks
// the mnemonic letter). The window layer turns them into the platform's menus.
#pragma once

#include <span>

namespace lectern {

struct MenuEntry {
  enum class Kind { kItem, kSeparator, kSubmenu, kEnd };  // kEnd closes the last open submenu
  Kind kind;
  const char* text;
  int command;
};

// The main menu bar.
std::span<const MenuEntry> MainMenu();
// The Text Size button's drop-down menu: the items' commands are the text sizes, 4 to 0.
std::span<const MenuEntry> TextSizeMenu();
// The search bar's drop-down menu.
std::span<const MenuEntry> SearchBarDropDownMenu();

enum class AcceleratorKey { kLetter, kBackspace, kDelete, kInsert, kF6 };

struct Accelerator {
  AcceleratorKey key;
  char letter;  // for kLetter, upper case
  bool control;
  bool shift;
  bool alt;
  int command;
};

// The frame's accelerator table. None of its commands has an action of its own in the frame;
// keys reach the page view first.
std::span<const Accelerator> Accelerators();

}  // namespace lectern
