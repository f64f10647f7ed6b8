#include "book/book_settings.h"

#include <cctype>
#include <climits>
#include <ctime>

#include "archive/file_system.h"

namespace lectern {
namespace {

using F = SettingForm;

// Flags whose source is a whole element's text compare it with the word that turns them on;
// attribute flags use "yes" or "true" as the compiler's project files write them.
constexpr SettingSource kSources[] = {
    {"bookname", F::kText, "title", "", ""},
    {"bookdir", F::kText, "ebook_directory", "", ""},
    {"start_page", F::kText, "start_page", "", ""},
    {"guid", F::kText, "guid", "", ""},
    {"publisher", F::kText, "author", "", ""},
    {"homepage", F::kText, "homepage", "", ""},
    {"email", F::kText, "email", "", ""},
    {"copyright", F::kText, "copyright", "", ""},
    {"other_info", F::kText, "comments", "", ""},
    {"creationdate", F::kText, "", "", ""},
    {"default_about_dialog_background_image", F::kText, "about_dialog", "defdlg_background_image", ""},
    {"about_dlg_sys", F::kFlag, "about_dialog", "sys", "true"},
    {"about_dlg_contentfile", F::kText, "about_dialog", "content_file", ""},
    {"about_dlg_cx", F::kInteger, "about_dialog", "cx", ""},
    {"about_dlg_cy", F::kInteger, "about_dialog", "cy", ""},
    {"fullscreen", F::kFlag, "window_size", "", "fullscreen"},
    {"window_maximize", F::kFlag, "window_size", "", "maximize"},
    {"customize", F::kFlag, "window_size", "", "customize"},
    {"window_size_cx", F::kInteger, "window_size", "cx", ""},
    {"window_size_cy", F::kInteger, "window_size", "cy", ""},
    {"window_pos", F::kChoice, "window_pos", "", ""},
    {"window_left", F::kInteger, "window_pos", "left", ""},
    {"window_top", F::kInteger, "window_pos", "top", ""},
    {"topmost", F::kFlag, "window_pos", "topmost", "true"},
    {"border_style", F::kChoice, "border_style", "", ""},
    {"border_icon_close", F::kFlag, "border_icon", "close", "true"},
    {"border_icon_min", F::kFlag, "border_icon", "minimize", "true"},
    {"border_icon_max", F::kFlag, "border_icon", "maximize", "true"},
    {"enable_menubar", F::kFlag, "ebook_bars", "menubar", "yes"},
    {"enable_toolbar", F::kFlag, "ebook_bars", "toolbar", "yes"},
    {"enable_searchbar", F::kFlag, "ebook_bars", "searchbar", "yes"},
    {"enable_statusbar", F::kFlag, "ebook_bars", "statusbar", "yes"},
    {"enable_contenttree", F::kFlag, "enable_toc", "", "yes"},
    {"show_toc_at_startup", F::kFlag, "enable_toc", "show_at_startup", "yes"},
    {"show_directory_tree", F::kFlag, "show_ebk_source_tree", "", "yes"},
    {"enable_copy", F::kFlag, "ebook_browser_security", "enable_copy", "true"},
    {"enable_print", F::kFlag, "ebook_browser_security", "enable_print", "true"},
    {"enable_viewsourcecode", F::kFlag, "ebook_browser_security", "enable_view_source", "true"},
    {"enable_contextmenu", F::kFlag, "ebook_browser_security", "enable_context_menu", "true"},
    // Preview Mode has answered the context-menu flag under this spelling; both are served.
    {"enable_context_menu", F::kFlag, "ebook_browser_security", "enable_context_menu", "true"},
    {"show_splash", F::kFlag, "show_splash", "", "yes"},
    {"splash_image", F::kText, "splash_image", "", ""},
    {"splash_delay_time", F::kInteger, "show_splash", "delay_time", ""},
    {"splash_close_by_mouse", F::kFlag, "show_splash", "close_by_mouse", "yes"},
    {"splash_close_by_key", F::kFlag, "show_splash", "close_by_key", "yes"},
    {"customized_logo", F::kFlag, "customized_logo", "", "yes"},
    {"logo_image", F::kText, "logo_image", "", ""},
    {"logo_url", F::kText, "logo_url", "", ""},
    {"logo_tooltip", F::kText, "logo_tooltip", "", ""},
    {"tbo_back", F::kInteger, "toolbar_button_options", "back", ""},
    {"tbo_forward", F::kInteger, "toolbar_button_options", "forward", ""},
    {"tbo_stop", F::kInteger, "toolbar_button_options", "stop", ""},
    {"tbo_refresh", F::kInteger, "toolbar_button_options", "refresh", ""},
    {"tbo_home", F::kInteger, "toolbar_button_options", "home", ""},
    {"tbo_print", F::kInteger, "toolbar_button_options", "print", ""},
    {"tbo_textsize", F::kInteger, "toolbar_button_options", "textsize", ""},
    {"tbo_fullscreen", F::kInteger, "toolbar_button_options", "fullscreen", ""},
    {"tbo_contents", F::kInteger, "toolbar_button_options", "contents", ""},
    {"tbo_bookmarks", F::kInteger, "toolbar_button_options", "bookmarks", ""},
    {"tbo_exit", F::kInteger, "toolbar_button_options", "exit", ""},
};

std::mutex g_published_mutex;
const SettingsLookup* g_published = nullptr;

std::string TodayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

}  // namespace

int32_t ParseSettingInteger(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  int64_t n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > int64_t(INT32_MAX) + 1) n = int64_t(INT32_MAX) + 1;
  }
  if (negative) n = -n;
  if (n > INT32_MAX) n = INT32_MAX;
  return int32_t(n);
}

bool LooksLikeUrl(std::string_view text) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
  }
  return std::isalpha(static_cast<unsigned char>(text[0])) != 0;
}

std::span<const SettingSource> SettingSources() { return kSources; }

const SettingSource* FindSettingSource(std::string_view key) {
  for (const SettingSource& s : kSources)
    if (EqualsIgnoringAsciiCase(s.key, key)) return &s;
  return nullptr;
}

bool IsArchiveSettingKey(std::string_view key) {
  if (key == "bookdir" || key == "enable_context_menu") return false;
  for (const SettingSource& s : kSources)
    if (s.key == key) return true;
  return false;
}

void ProjectSettings::Load(std::span<const ProjectElement> elements) {
  elements_.assign(elements.begin(), elements.end());
}

const ProjectElement* ProjectSettings::FindElement(std::string_view name) const {
  for (const ProjectElement& e : elements_)
    if (e.name == name) return &e;
  return nullptr;
}

std::string ProjectSettings::CompilerValue(std::string_view element) const {
  const ProjectElement* e = FindElement(element);
  return e ? e->text : std::string();
}

std::optional<std::string> ProjectSettings::Answer(std::string_view key) const {
  const SettingSource* source = FindSettingSource(key);
  if (!source) return std::nullopt;
  if (source->key == "creationdate") return TodayText();
  std::string raw;
  if (const ProjectElement* e = FindElement(source->element)) {
    if (source->attribute.empty()) {
      raw = e->text;
    } else {
      // The first attribute of exactly that name, as attribute lookup goes.
      for (const auto& [name, value] : e->attributes) {
        if (name == source->attribute) {
          raw = value;
          break;
        }
      }
    }
  }
  switch (source->form) {
    case SettingForm::kFlag:
      return std::string(raw == source->on_word ? "true" : "false");
    case SettingForm::kInteger:
      return std::to_string(ParseSettingInteger(raw));
    case SettingForm::kText:
    case SettingForm::kChoice:
      return raw;
  }
  return raw;
}

std::map<std::string, std::string> ProjectSettings::ToArchiveSettings() const {
  std::map<std::string, std::string> out;
  for (const SettingSource& s : kSources) {
    if (!IsArchiveSettingKey(s.key)) continue;
    std::optional<std::string> value = Answer(s.key);
    if (value && !value->empty()) out[std::string(s.key)] = *value;
  }
  return out;
}

void SettingsLookup::UseArchive(const ZPKConf* settings) {
  std::lock_guard lock(lock_);
  archive_ = settings;
  project_ = nullptr;
}

void SettingsLookup::UseProject(const ProjectSettings* project) {
  std::lock_guard lock(lock_);
  project_ = project;
  archive_ = nullptr;
}

bool SettingsLookup::GetSetting(std::string_view key, std::string& value) const {
  std::lock_guard lock(lock_);
  value.clear();
  if (project_) {
    value = project_->Answer(key).value_or(std::string());
  } else if (archive_) {
    archive_->Get(key, value);
  }
  return !value.empty();
}

void PublishSettingsLookup(const SettingsLookup* lookup) {
  std::lock_guard lock(g_published_mutex);
  g_published = lookup;
}

bool GetSetting(std::string_view key, std::string& value) {
  std::lock_guard lock(g_published_mutex);
  value.clear();
  return g_published && g_published->GetSetting(key, value);
}

}  // namespace lectern
