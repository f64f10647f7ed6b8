#include "lectern-pack/folder_book.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "archive/book_identity.h"
#include "archive/file_system.h"
#include "archive/pack_folder.h"
#include "book/book_settings.h"
#include "book/xml/node.h"
#include "platform/com.h"
#include "platform/text_encoding.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;

// A title sits in a page's head; a page's body never needs reading for it.
constexpr size_t kTitleSniffBytes = 64 * 1024;

constexpr std::string_view kIndexNames[] = {"index.html", "index.htm", "default.html", "default.htm"};

struct Page {
  std::string name;
  std::string path;  // book path
  std::string title;
};

struct Folder {
  std::string name;
  std::vector<Page> pages;  // name order
  std::vector<Folder> folders;
};

bool IsPageName(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string_view extension = name.substr(dot);
  return EqualsIgnoringAsciiCase(extension, ".html") || EqualsIgnoringAsciiCase(extension, ".htm") ||
         EqualsIgnoringAsciiCase(extension, ".xhtml");
}

// The few references a title carries; others stay as written.
std::string DecodeReferences(std::string_view text) {
  static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
      {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
      out += text[i];
      continue;
    }
    std::string_view name = text.substr(i + 1, semicolon - i - 1);
    std::string replacement;
    for (const auto& [entity, value] : kNamed)
      if (name == entity) replacement = value;
    if (name.size() > 1 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      uint32_t cp = 0;
      bool ok = name.size() > (hex ? 2u : 1u);
      for (char c : name.substr(hex ? 2 : 1)) {
        int digit = (c >= '0' && c <= '9') ? c - '0' : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        ok = ok && digit >= 0 && cp < 0x110000;
        if (ok) cp = cp * (hex ? 16 : 10) + uint32_t(digit);
      }
      if (ok && cp >= 0x20 && cp < 0x110000 && !(cp >= 0xD800 && cp <= 0xDFFF)) {
        WideString units;
        if (cp >= 0x10000) {
          units.push_back(OLECHAR(0xD800 + ((cp - 0x10000) >> 10)));
          units.push_back(OLECHAR(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
          units.push_back(OLECHAR(cp));
        }
        replacement = WideToUtf8(units);
      }
    }
    if (replacement.empty()) {
      out += text[i];
      continue;
    }
    out += replacement;
    i = semicolon;
  }
  return out;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

size_t FindIgnoringCase(std::string_view text, std::string_view lower_needle, size_t from) {
  for (size_t i = from; i + lower_needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < lower_needle.size() && Lower(text[i + k]) == lower_needle[k]) ++k;
    if (k == lower_needle.size()) return i;
  }
  return std::string_view::npos;
}

// The text of the page's <title> element in any letter case and with attributes, which generated
// pages often carry ("<title xmlns:d=...>"); "" without one.
std::string RawTitle(std::string_view head) {
  for (size_t at = FindIgnoringCase(head, "<title", 0); at != std::string_view::npos;
       at = FindIgnoringCase(head, "<title", at + 6)) {
    char after = at + 6 < head.size() ? head[at + 6] : '\0';
    if (after != '>' && after != ' ' && after != '\t' && after != '\n' && after != '\r') continue;
    size_t open_end = head.find('>', at);
    if (open_end == std::string_view::npos) return {};
    size_t close = FindIgnoringCase(head, "</title", open_end + 1);
    if (close == std::string_view::npos) return {};
    return std::string(head.substr(open_end + 1, close - open_end - 1));
  }
  return {};
}

// A label for the contents pane: references decoded, white space and control characters folded
// to single spaces. Empty when the page has no title or one in another encoding than UTF-8, which
// the label could only garble.
std::string PageTitle(const std::string& disk_path) {
  std::ifstream in(disk_path, std::ios::binary);
  std::string head(kTitleSniffBytes, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  std::string raw = RawTitle(head);
  if (raw.empty() || !IsValidUtf8(raw)) return {};
  std::string title;
  for (char c : DecodeReferences(raw)) {
    bool space = uint8_t(c) < 0x20 || c == ' ';
    if (space && (title.empty() || title.back() == ' ')) continue;
    title += space ? ' ' : c;
  }
  while (!title.empty() && title.back() == ' ') title.pop_back();
  return title;
}

bool Scan(const std::string& disk, const std::string& book_path, Folder& folder, std::string& error) {
  std::error_code code;
  std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
  for (fs::directory_iterator it(disk, code), end; !code && it != end; it.increment(code)) {
    std::string name = it->path().filename().string();
    std::error_code kind_error;
    // Links to folders are not packed, so their pages are no part of the book.
    if (it->is_directory(kind_error) && !it->is_symlink(kind_error)) {
      entries.emplace_back(name, true);
    } else if (it->is_regular_file(kind_error) && IsPageName(name)) {
      entries.emplace_back(name, false);
    }
  }
  if (code) return error = disk + ": cannot read the folder: " + code.message(), false;
  // Byte order, as the book is packed.
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, is_folder] : entries) {
    std::string child_path = book_path.empty() ? name : book_path + "/" + name;
    if (is_folder) {
      Folder child;
      child.name = name;
      if (!Scan(disk + "/" + name, child_path, child, error)) return false;
      folder.folders.push_back(std::move(child));
    } else {
      folder.pages.push_back({name, child_path, PageTitle(disk + "/" + name)});
    }
  }
  return true;
}

const Page* IndexPage(const Folder& folder) {
  for (std::string_view index : kIndexNames)
    for (const Page& page : folder.pages)
      if (EqualsIgnoringAsciiCase(page.name, index)) return &page;
  return nullptr;
}

const Page* StartPageIn(const Folder& folder) {
  if (const Page* index = IndexPage(folder)) return index;
  if (!folder.pages.empty()) return &folder.pages.front();
  for (const Folder& child : folder.folders)
    if (const Page* page = StartPageIn(child)) return page;
  return nullptr;
}

const Page* FindPage(const Folder& folder, std::string_view path) {
  for (const Page& page : folder.pages)
    if (page.path == path) return &page;
  for (const Folder& child : folder.folders)
    if (const Page* page = FindPage(child, path)) return page;
  return nullptr;
}

ContentsItem ItemOf(const Page& page) { return {page.title.empty() ? page.name : page.title, page.path, {}}; }

// The items of `folder`'s pages and sections, leaving out the page its caller already shows.
std::vector<ContentsItem> ItemsOf(const Folder& folder, const Page* shown) {
  std::vector<ContentsItem> items;
  for (const Page& page : folder.pages)
    if (&page != shown) items.push_back(ItemOf(page));
  for (const Folder& child : folder.folders) {
    const Page* index = IndexPage(child);
    ContentsItem section{child.name, index ? index->path : std::string(), ItemsOf(child, index)};
    if (!section.url.empty() || !section.children.empty()) items.push_back(std::move(section));
  }
  return items;
}

void AppendItems(std::string& out, const std::vector<ContentsItem>& items, int depth) {
  for (const ContentsItem& item : items) {
    out.append(size_t(depth) * 2, ' ');
    out += "<item text=\"";
    AdvXMLParser::AppendEscaped(out, item.text, true);
    out += '"';
    if (!item.url.empty()) {
      out += " url=\"";
      AdvXMLParser::AppendEscaped(out, item.url, true);
      out += '"';
    }
    if (item.children.empty()) {
      out += "/>\n";
      continue;
    }
    out += ">\n";
    AppendItems(out, item.children, depth + 1);
    out.append(size_t(depth) * 2, ' ');
    out += "</item>\n";
  }
}

std::string ContentsXml(const std::vector<ContentsItem>& contents, int depth) {
  std::string out(size_t(depth) * 2, ' ');
  out += "<toc>\n";
  AppendItems(out, contents, depth + 1);
  out.append(size_t(depth) * 2, ' ');
  out += "</toc>\n";
  return out;
}

std::string FolderName(const std::string& folder) {
  std::error_code code;
  fs::path path = fs::weakly_canonical(fs::path(folder), code);
  if (code) path = fs::path(folder);
  std::string name = path.filename().string();
  if (name.empty()) name = path.parent_path().filename().string();
  return name;
}

}  // namespace

bool ParseSettingAssignment(std::string_view text, std::pair<std::string, std::string>& assignment,
                            std::string& error) {
  size_t equals = text.find('=');
  std::string key(text.substr(0, equals));
  if (equals == std::string_view::npos) return error = "--set " + std::string(text) + ": KEY=VALUE expected", false;
  std::string value(text.substr(equals + 1));
  if (!IsArchiveSettingKey(key)) {
    const SettingSource* known = FindSettingSource(key);
    if (known && IsArchiveSettingKey(known->key))
      return error = "--set: unknown setting \"" + key + "\" (did you mean \"" + std::string(known->key) + "\"?)", false;
    return error = "--set: unknown setting \"" + key + "\"", false;
  }
  const SettingSource* source = FindSettingSource(key);
  if (source->form == SettingForm::kFlag) {
    if (value != "true" && value != "false" && !value.empty())
      return error = "--set: " + key + " is a flag: true or false, not \"" + value + "\"", false;
    if (value == "false") value.clear();
  } else if (source->form == SettingForm::kInteger && !value.empty()) {
    size_t digits = value[0] == '-' || value[0] == '+' ? 1 : 0;
    if (digits == value.size() || value.find_first_not_of("0123456789", digits) != std::string::npos)
      return error = "--set: " + key + " is a number, not \"" + value + "\"", false;
  }
  assignment = {std::move(key), std::move(value)};
  return true;
}

bool PlanFolderBook(const std::string& folder, const BookIdentity& identity, const FolderBookOptions& options,
                    FolderBook& book, std::string& error) {
  Folder root;
  if (!Scan(folder, "", root, error)) return false;

  std::string start_path;
  const Page* start = nullptr;
  if (!options.start_page.empty()) {
    std::string found = FindFileIgnoringCase(folder, options.start_page);
    if (found.empty()) return error = "--start: " + options.start_page + " is not in " + folder, false;
    // As the folder spells it, which is how the book will store it.
    start_path = found.substr(folder.size() + 1);
    start = FindPage(root, start_path);
  } else if ((start = StartPageIn(root)) != nullptr) {
    start_path = start->path;
  }

  std::map<std::string, std::string>& s = book.settings;
  s.clear();
  s["bookname"] = !options.title.empty() ? options.title : start && !start->title.empty() ? start->title : FolderName(folder);
  if (!start_path.empty()) s["start_page"] = start_path;
  s["guid"] = IdentityHex(identity);
  for (const char* on : {"enable_menubar", "enable_toolbar", "enable_searchbar", "enable_statusbar",
                         "enable_contenttree", "show_toc_at_startup", "border_icon_close", "border_icon_min",
                         "border_icon_max", "enable_copy", "enable_print", "enable_contextmenu", "customize",
                         "about_dlg_sys"})
    s[on] = "true";
  s["border_style"] = "sizeable";
  s["window_pos"] = "screen_center";
  s["window_size_cx"] = "1000";
  s["window_size_cy"] = "720";
  for (const auto& [key, value] : options.overrides) {
    if (value.empty()) s.erase(key);
    else s[key] = value;
  }

  // The start page opens the contents; the rest follows the folder.
  book.contents.clear();
  const Page* start_in_root = nullptr;
  for (const Page& page : root.pages)
    if (&page == start) start_in_root = &page;
  if (start_in_root) book.contents.push_back(ItemOf(*start_in_root));
  for (ContentsItem& item : ItemsOf(root, start_in_root)) book.contents.push_back(std::move(item));
  return true;
}

std::string FolderBookConfigDocument(const FolderBook& book) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book>\n" + ContentsXml(book.contents, 0) + "</book>\n";
}

std::string FolderBookProject(const FolderBook& book, std::string_view book_directory) {
  struct ElementText {
    std::string name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> attributes;
  };
  std::map<std::string, std::string> settings = book.settings;
  settings["bookdir"] = std::string(book_directory);
  std::vector<ElementText> elements;
  for (const SettingSource& source : SettingSources()) {
    auto value = settings.find(std::string(source.key));
    // The second spelling of the context-menu flag writes the same attribute as the first.
    if (source.element.empty() || source.key == "enable_context_menu" || value == settings.end()) continue;
    std::string text = value->second;
    if (source.form == SettingForm::kFlag) {
      if (!IsSettingOn(text)) continue;
      text = std::string(source.on_word);
    }
    auto element = std::find_if(elements.begin(), elements.end(), [&](const ElementText& e) { return e.name == source.element; });
    if (element == elements.end()) element = elements.insert(elements.end(), {std::string(source.element), {}, {}});
    if (source.attribute.empty()) element->text = text;
    else element->attributes.emplace_back(std::string(source.attribute), text);
  }
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- A book project: lectern-pack PROJECT.bpj compiles it; the reader shows it as it is. -->\n"
      "<ebook_project>\n  <config>\n";
  for (const ElementText& e : elements) {
    out += "    <" + e.name;
    for (const auto& [name, value] : e.attributes) {
      out += " " + name + "=\"";
      AdvXMLParser::AppendEscaped(out, value, true);
      out += '"';
    }
    if (e.text.empty()) {
      out += "/>\n";
      continue;
    }
    out += ">";
    AdvXMLParser::AppendEscaped(out, e.text, false);
    out += "</" + e.name + ">\n";
  }
  out += "  </config>\n" + ContentsXml(book.contents, 1) + "</ebook_project>\n";
  return out;
}

}  // namespace lectern
