#include "frame/book_info.h"

#include "book/book_settings.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

bool StartsWithFolded(std::string_view text, std::string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (size_t i = 0; i < lower_prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

std::string WithScheme(std::string_view text, std::string_view scheme) {
  if (text.empty()) return {};
  if (StartsWithFolded(text, scheme)) return std::string(text);
  return std::string(scheme) + std::string(text);
}

}  // namespace

std::string HomeLink(std::string_view homepage) {
  // A secure address is as complete as a plain one; prefixing it would break the link.
  if (StartsWithFolded(homepage, "https://")) return std::string(homepage);
  return WithScheme(homepage, "http://");
}

std::string MailLink(std::string_view email) { return WithScheme(email, "mailto:"); }

BookInfoTexts ReadBookInfo(const SettingReader& setting, std::string_view caption) {
  BookInfoTexts texts;
  texts.name = std::string(caption);
  texts.id = setting("guid");
  texts.author = setting("publisher");
  texts.home = HomeLink(setting("homepage"));
  texts.email = MailLink(setting("email"));
  texts.date = setting("creationdate");
  texts.other_info = setting("other_info");
  texts.copyright = setting("copyright");
  if (texts.copyright.empty()) texts.copyright = std::string(LoadString(kStrVersion));
  texts.banner_image = setting("default_about_dialog_background_image");
  return texts;
}

bool UsesBuiltInInfoDialog(const SettingReader& setting) {
  return IsSettingOn(setting("about_dlg_sys")) || setting("about_dlg_contentfile").empty();
}

AboutPage ReadAboutPage(const SettingReader& setting, bool preview_mode,
                        const std::function<std::string(std::string_view)>& datastore_url,
                        std::string_view project_folder) {
  AboutPage page;
  page.width = ParseSettingInteger(setting("about_dlg_cx"));
  page.height = ParseSettingInteger(setting("about_dlg_cy"));
  std::string name = setting("about_dlg_contentfile");
  if (name.empty()) return page;
  if (LooksLikeUrl(name)) {
    page.url = name;
  } else if (preview_mode) {
    if (!project_folder.empty() && name[0] != '/') name = std::string(project_folder) + "/" + name;
    page.url = "file://" + name;
  } else {
    page.url = datastore_url(name);
  }
  return page;
}

}  // namespace lectern
