#include "resources/string_table.h"

#include <algorithm>
#include <iterator>

namespace lectern {
namespace {

struct Entry {
  int id;
  std::string_view text;
};

// Sorted by id.
constexpr Entry kStrings[] = {
    {100, "Welcome!"},
    {3000, "Goto Previous Page\nGo Back"},
    {3001, "Go Forward\nForward"},
    {3002, "Stop\nStop"},
    {3003, "Refresh\nRefresh"},
    {3004, "Goto HomePage\nHome"},
    {3005, "Show Search Results\nSearch Results"},
    {3006, "Show bookmark list\nBookmarks"},
    {3007, "Print Current Page\nPrint"},
    {3008, "Change Font Size\nFont"},
    {3014, "Switch to Fullscreen Mode or back\nFull Screen"},
    {3016, "Show Table Of Content\nContent Tree"},
    {3017, "Search Keywords In This Book\nSearch In This Book"},
    {32777, "Show the information of this e-book.\nAbout eBook"},
    {32778, "Goto the homepage of Quillpress.\nHomepage"},
    {32789, "Show/Hide status bar\nToggle Status Bar"},
    {32796, "Add current page to favorites\nAdd Bookmark"},
    {32803, "Print Preview Current Page\nPrint Preview"},
    {32820, "List the keys that work the reader\nKeyboard Shortcuts"},
    {57345, "Ready"},
    {57600, "Create a new document\nNew"},
    {57664, "Display program information, version number and copyright\nAbout"},
    {57665, "Quit the application\nExit"},
    {59392, "Show or hide the toolbar\nToggle ToolBar"},
    {61411, "eBook Files (*.ebk, *.exe)|*.ebk;*.exe|All Files (*.*)|*.*|"},
    {61413, "Error"},
    {61414, "Open %s failed!"},
    {61416, "All Files (*.*)|*.*|"},
    {61418, "Create file %s failed!"},
    {61432, "Please visit %s"},
    {61434, "Please enter target file name!"},
    {61435, "%s already exists, overwrite it?"},
    {61436, "Overwrite File"},
    {61441, "Cannot load splash image!"},
    {61442, "About eBook..."},
    {61444, "More Bookmarks..."},
    {61445, "Open ebook file failed!"},
    {61446, "Create working folder %s failed!"},
    {61448, "Parse eBook project file failed!"},
    {61449, "Invalid Project File"},
    {61457, "Version 1.75"},
    {62000, "Information"},
    {62001, "This functionality is not available in Preview Mode."},
    {62002, "Bookmark Conflicts"},
    {62003, "Remove Bookmark"},
    {62004, "Invalid Argument!"},
    {62005, "File %s doesn't exist!"},
    {62006, "Read file %s failed!"},
    {62007, "Lectern"},
    {62008, "https://vellum-software.example/lectern"},
    {62009, "View Source"},
    {62010, "Print..."},
    {62200, "Searching..."},
    {62201, "Click cancel to stop the search."},
    {62202, "Cancel"},
    {62203, "%d Item(s)"},
    {62204, "Search"},
    {62205, "FOOFOOFOOFOOFOOFOOFOO"},
    {62300, "Bookmarks"},
    {62301, "Add Bookmark"},
    {62302, "&Name:"},
    {62303, "OK"},
    {62305, "Add..."},
    {62306, "Remove"},
    {62307, "Are you sure to remove this bookmark?"},
    {62308, "This bookmark already exists, overwrite it?"},
    {62400, "About"},
    {62401, "Name:"},
    {62402, "ID:"},
    {62403, "Author:"},
    {62404, "Home:"},
    {62405, "Email:"},
    {62406, "Date:"},
    {62407, "Extract File To..."},
    {62408, "Source File: "},
    {62409, "Extract &To:"},
    {62410, "..."},
    {62411, "&Extract"},
    {62412, "&Cancel"},
    {62413, "About %s"},
    {62414, "Copyright \u00a9 2026 Vellum Software"},
    {62416, "A reader for books of HTML pages packed into one file."},
    {62500, "%s: no such file"},
    {62501, "%s: not a book (no archive trailer or header)"},
    {62502, "%s: damaged: "},
    {62700, "Keyboard Shortcuts"},
    {62701, "Pages"},
    {62702, "Go back"},
    {62703, "Go forward"},
    {62704, "Go to the home page"},
    {62705, "Reload the page"},
    {62706, "Add a bookmark for the page"},
    {62707, "Window"},
    {62708, "Full screen on or off"},
    {62709, "Leave full screen"},
    {62710, "Text"},
    {62711, "Larger text"},
    {62712, "Smaller text"},
    {62713, "Medium text"},
    {62714, "Search"},
    {62715, "Go to the search field"},
    {62716, "Next occurrence of the search text"},
    {62717, "Previous occurrence of the search text"},
    {62722, "&Print..."},
    {62723, "&Close"},
};

}  // namespace

std::string_view LoadString(int id) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const Entry& e, int wanted) { return e.id < wanted; });
  return it != std::end(kStrings) && it->id == id ? it->text : std::string_view();
}

std::string_view CommandPrompt(int id) {
  std::string_view text = LoadString(id);
  return text.substr(0, text.find('\n'));
}

std::string_view CommandTooltip(int id) {
  std::string_view text = LoadString(id);
  size_t line_break = text.find('\n');
  return line_break == std::string_view::npos ? std::string_view() : text.substr(line_break + 1);
}

std::string FormatString(std::string_view format, std::string_view value) {
  size_t at = format.find("%s");
  if (at == std::string_view::npos) at = format.find("%d");
  if (at == std::string_view::npos) return std::string(format);
  return std::string(format.substr(0, at)) + std::string(value) + std::string(format.substr(at + 2));
}

}  // namespace lectern
