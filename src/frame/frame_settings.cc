#include "frame/frame_settings.h"

#include <cctype>

#include "archive/file_system.h"
#include "book/book_settings.h"

namespace lectern {

bool LooksLikeUrl(std::string_view text) {
  size_t colon = text.find(':');
  // One letter before the colon is a drive, not a scheme.
  if (colon == std::string_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
  }
  return std::isalpha(static_cast<unsigned char>(text[0]));
}

std::string StatusBarText(std::string_view status) {
  if (status.empty() || EqualsIgnoringAsciiCase(status, "done")) return "Ready";
  return std::string(status);
}

FrameSettings ReadFrameSettings(const SettingReader& setting, bool preview_mode,
                                const std::function<std::string(std::string_view)>& datastore_url,
                                std::string_view project_folder) {
  FrameSettings f;
  auto on = [&](std::string_view key) { return IsSettingOn(setting(key)); };
  auto integer = [&](std::string_view key) { return ParseSettingInteger(setting(key)); };

  f.caption = setting("bookname");
  if (f.caption.empty()) f.caption = preview_mode ? "Welcome!" : "Lectern";

  if (on("fullscreen")) f.show_mode = ShowMode::kFullScreen;
  if (on("window_maximize")) f.show_mode = ShowMode::kMaximized;
  if (on("customize")) f.show_mode = ShowMode::kCustomSize;

  f.menu_bar = on("enable_menubar");
  f.tool_bar = on("enable_toolbar");
  f.status_bar = on("enable_statusbar");
  f.search_bar = on("enable_searchbar");
  f.context_menu = on("enable_contextmenu");
  f.contents = on("enable_contenttree");
  f.show_contents_at_start = f.contents && on("show_toc_at_startup");
  f.directory_tree = on("show_directory_tree");
  f.copy = on("enable_copy");
  f.print = on("enable_print");
  f.view_source = on("enable_viewsourcecode");
  f.splash = on("show_splash");
  f.customized_logo = on("customized_logo");
  f.topmost = on("topmost");

  std::string start = setting("start_page");
  if (start.empty()) start = "index.htm";
  if (LooksLikeUrl(start)) {
    f.home_url = start;
  } else if (preview_mode) {
    std::string path = start;
    if (!project_folder.empty() && path[0] != '/') path = std::string(project_folder) + "/" + path;
    f.home_url = "file://" + path;
  } else {
    f.home_url = datastore_url(start);
  }

  std::string border = setting("border_style");
  if (border == "none") {
    f.border = BorderStyle::kNone;
    f.bordered = false;
  } else if (border == "thin") {
    f.border = BorderStyle::kThin;
  } else if (border == "sizeable") {
    f.border = BorderStyle::kSizeable;
  } else if (border == "toolwindow") {
    f.border = BorderStyle::kToolWindow;
  } else if (border == "sizeable_toolwindow") {
    f.border = BorderStyle::kSizeableToolWindow;
  }
  f.close_button = on("border_icon_close");
  f.minimize_button = on("border_icon_min");
  f.maximize_button = on("border_icon_max");

  // Preview Mode applies the size only for a customised window.
  if (!preview_mode || f.show_mode == ShowMode::kCustomSize) {
    f.width = integer("window_size_cx");
    f.height = integer("window_size_cy");
  }
  std::string pos = setting("window_pos");
  if (pos == "default") {
    f.placement = WindowPlacement::kSystem;
  } else if (pos == "screen_center") {
    f.placement = WindowPlacement::kScreenCenter;
  } else {
    f.placement = WindowPlacement::kCustom;
    f.left = std::max(0, integer("window_left"));
    f.top = std::max(0, integer("window_top"));
  }
  return f;
}

}  // namespace lectern
