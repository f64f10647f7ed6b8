// The toolbar's fixed button table and how a book's `tbo_` settings change it: each button shown,
// shown greyed or left out. Decided here without a toolkit; the window layer builds the bar from it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "frame/frame_settings.h"

namespace lectern {

struct ToolbarButton {
  std::string_view setting_key;  // the `tbo_` setting that decides the button
  int command;
  int image;  // index into the bar's picture strip
  bool enabled;
  bool hidden = false;
  // Greyed by the book ("1"): stays so whatever the frame later asks of the button. Back and
  // Forward are never locked: the history decides them once the view has one.
  bool locked = false;
  bool drop_down = false;  // a button with an arrow of its own (Text Size)
  bool toggle = false;     // keeps a check mark (Contents, Bookmarks, Full Screen)
};

inline constexpr size_t kToolbarButtonCount = 11;

// The table before any book setting: in bar order, Back and Forward starting disabled.
std::array<ToolbarButton, kToolbarButtonCount> DefaultToolbarButtons();

// One `tbo_` value applied to a button: "0" enables, "1" disables, "2" hides, any other number keeps
// the button as it is, text that is no number counts as "0", and an empty value changes nothing.
void ApplyToolbarOption(ToolbarButton& button, std::string_view value);

// The buttons the bar shows, in order, after the book's settings: hidden ones are left out. Empty
// when the book hides every one (there is then no bar at all).
std::vector<ToolbarButton> BookToolbarButtons(const SettingReader& setting);

// The logo's tooltip: empty without a link; the book's own text, else "Please visit <link>".
std::string LogoTooltip(std::string_view link, std::string_view tooltip);

}  // namespace lectern
