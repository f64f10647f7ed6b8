// What a folder of pages needs to open as a book a reader can use at once: a title, a start page,
// an identity, the bars and the contents pane, and a contents tree made from the folder itself;
// and the same as a project file an author can go on editing.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/format.h"

namespace lectern {

struct FolderBookOptions {
  std::string title;       // empty: the start page's <title>, else the folder's name
  std::string start_page;  // empty: found by FindStartPage
  // KEY=VALUE settings in the order given, applied last; an empty value removes the key.
  std::vector<std::pair<std::string, std::string>> overrides;
};

// One "KEY=VALUE" of --set. KEY must be a setting a book carries, spelt as the reader reads it;
// a flag takes "true" or "false" (which removes it: a missing flag is off), an integer decimal
// digits. False with `error` naming the key and what is wrong.
bool ParseSettingAssignment(std::string_view text, std::pair<std::string, std::string>& assignment,
                            std::string& error);

// One item of the contents tree: its label and the page it opens ("" for a section without one).
struct ContentsItem {
  std::string text;
  std::string url;
  std::vector<ContentsItem> children;
};

struct FolderBook {
  std::map<std::string, std::string> settings;
  std::vector<ContentsItem> contents;
};

// Reads the pages under `folder` (their titles only) and plans the book:
// - `start_page`: the first of index.html, index.htm, default.html, default.htm (any letter case)
//   at the top, else the first page at the top in name order, else the same in each sub-folder in
//   name order; none when the folder holds no page;
// - `bookname`: the start page's <title>, else the folder's name; `guid`: the identity as 32
//   hexadecimal digits; the bars, the contents pane and the caption buttons on;
// - the contents tree: the start page first, then in each folder its pages in name order under
//   their titles and its sub-folders as sections in name order; a section opens its folder's
//   index page, and folders without pages are left out.
// False with `error` naming the fault (a --start page that is not there, an unreadable folder).
bool PlanFolderBook(const std::string& folder, const BookIdentity& identity, const FolderBookOptions& options,
                    FolderBook& book, std::string& error);

// The book's configuration document: its contents tree as the contents pane reads it.
std::string FolderBookConfigDocument(const FolderBook& book);

// A project file with the same settings and contents tree, whose book folder is
// `book_directory` (relative to the project file's folder, or absolute).
std::string FolderBookProject(const FolderBook& book, std::string_view book_directory);

}  // namespace lectern
