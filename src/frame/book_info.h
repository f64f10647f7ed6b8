// What the book information command shows, decided without a toolkit: which texts fill which field
// of the built-in dialog, how the home and mail links are made, and which page the book's own
// about page is when it asks for one instead.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "frame/frame_settings.h"

namespace lectern {

struct BookInfoTexts {
  std::string name;    // the main window's caption
  std::string id;      // guid
  std::string author;  // publisher
  std::string home;    // a link, "" when the book names no home page
  std::string email;   // a link, "" when the book names no address
  std::string date;    // creationdate
  std::string other_info;
  std::string copyright;     // never empty: the version line stands in
  std::string banner_image;  // default_about_dialog_background_image, "" for the built-in banner
};

// `caption` is the main window's caption (the book name, or the fallback the frame chose).
BookInfoTexts ReadBookInfo(const SettingReader& setting, std::string_view caption);

// "http://" in front unless the text already begins with it (any letter case); "" stays "".
std::string HomeLink(std::string_view homepage);
// "mailto:" likewise.
std::string MailLink(std::string_view email);

// The built-in dialog when `about_dlg_sys` is exactly "true", and also when the book names no about
// page (`about_dlg_contentfile` empty): a blank page would tell the reader nothing.
bool UsesBuiltInInfoDialog(const SettingReader& setting);

struct AboutPage {
  std::string url;
  int width = 0;   // as the book gives them; the dialog applies its own defaults below 1
  int height = 0;
};

// `about_dlg_contentfile` as the dialog loads it: a URL as it is; else the book's datastore URL
// (`datastore_url`), or in Preview Mode a file URL under `project_folder`, as the frame's own
// start page is found. An empty name stays empty (the frame then shows the built-in dialog).
AboutPage ReadAboutPage(const SettingReader& setting, bool preview_mode,
                        const std::function<std::string(std::string_view)>& datastore_url,
                        std::string_view project_folder = {});

}  // namespace lectern
