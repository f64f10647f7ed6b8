#include "frame/toolbar_buttons.h"

#include "book/book_settings.h"
#include "resources/string_table.h"

namespace lectern {

std::array<ToolbarButton, kToolbarButtonCount> DefaultToolbarButtons() {
  return {{
      {"tbo_back", 3000, 0, false},
      {"tbo_forward", 3001, 1, false},
      {"tbo_stop", 3002, 2, true},
      {"tbo_refresh", 3003, 3, true},
      {"tbo_home", 3004, 4, true},
      {"tbo_print", 3007, 7, true},
      {"tbo_textsize", 3008, 8, true, false, false, /*drop_down=*/true},
      {"tbo_fullscreen", 3014, 9, true, false, false, false, /*toggle=*/true},
      {"tbo_contents", 3016, 10, true, false, false, false, /*toggle=*/true},
      {"tbo_bookmarks", 3006, 6, true, false, false, false, /*toggle=*/true},
      {"tbo_exit", 57665, 11, true},
  }};
}

void ApplyToolbarOption(ToolbarButton& button, std::string_view value) {
  if (value.empty()) return;
  switch (ParseSettingInteger(value)) {
    case 0:
      button.enabled = true;
      button.locked = false;
      break;
    case 1:
      // Back and Forward start greyed and then follow the view's history like any other.
      button.enabled = false;
      button.locked = button.command != 3000 && button.command != 3001;
      break;
    case 2: button.hidden = true; break;
    default: break;
  }
}

std::vector<ToolbarButton> BookToolbarButtons(const SettingReader& setting) {
  std::vector<ToolbarButton> shown;
  for (ToolbarButton button : DefaultToolbarButtons()) {
    ApplyToolbarOption(button, setting(button.setting_key));
    if (!button.hidden) shown.push_back(button);
  }
  return shown;
}

std::string LogoTooltip(std::string_view link, std::string_view tooltip) {
  if (link.empty()) return {};
  if (!tooltip.empty()) return std::string(tooltip);
  return FormatString(LoadString(kStrPleaseVisit), link);
}

}  // namespace lectern
