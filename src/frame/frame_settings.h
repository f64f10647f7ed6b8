// What the main window takes from the book settings when it is built, decided once and without a
// toolkit, so the window layer only applies it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lectern {

enum class ShowMode { kNormal = 0, kCustomSize = 1, kMaximized = 2, kFullScreen = -1 };
enum class WindowPlacement { kSystem, kScreenCenter, kCustom };
enum class BorderStyle { kUnchanged, kNone, kThin, kSizeable, kToolWindow, kSizeableToolWindow };

struct FrameSettings {
  std::string caption;
  ShowMode show_mode = ShowMode::kNormal;
  bool menu_bar = false, tool_bar = false, status_bar = false, search_bar = false;
  bool context_menu = false, contents = false, show_contents_at_start = false, directory_tree = false;
  bool copy = false, print = false, view_source = false;
  std::string home_url;
  BorderStyle border = BorderStyle::kUnchanged;
  bool bordered = true;
  bool close_button = false, minimize_button = false, maximize_button = false;
  int width = 0, height = 0;  // applied only when both are above 0
  WindowPlacement placement = WindowPlacement::kSystem;
  int left = 0, top = 0;  // never negative
  bool topmost = false;
  bool splash = false;
  bool customized_logo = false;

  bool size_applies() const { return width > 0 && height > 0; }
};

using SettingReader = std::function<std::string(std::string_view key)>;

// `datastore_url` turns a book path into the page URL the view loads. In Preview Mode the home page
// is a file under `project_folder` and the caption falls back to `preview_caption`.
FrameSettings ReadFrameSettings(const SettingReader& setting, bool preview_mode,
                                const std::function<std::string(std::string_view)>& datastore_url,
                                std::string_view project_folder = {});

// True for text that already is a URL: a scheme of two or more letters, then ':'.
bool LooksLikeUrl(std::string_view text);

// The status bar's text for a page status: "Ready" for nothing or "done".
std::string StatusBarText(std::string_view status);

}  // namespace lectern
