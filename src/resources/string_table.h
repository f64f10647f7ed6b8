// Every text the user sees, by id. A command's string holds its status-bar prompt and, after a line
// break, its tooltip.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

enum StringId : int {
  kStrWelcome = 100,
  kStrReady = 57345,
  kStrBookFilter = 61411,
  kStrError = 61413,
  kStrOpenFailed = 61414,
  kStrAllFilesFilter = 61416,
  kStrCreateFileFailed = 61418,
  kStrPleaseVisit = 61432,
  kStrEnterTargetName = 61434,
  kStrOverwriteQuestion = 61435,
  kStrOverwriteFile = 61436,
  kStrCannotLoadSplash = 61441,
  kStrAboutEbook = 61442,
  kStrMoreBookmarks = 61444,
  kStrOpenBookFailed = 61445,
  kStrCreateWorkingFolderFailed = 61446,
  kStrParseProjectFailed = 61448,
  kStrInvalidProjectFile = 61449,
  kStrVersion = 61457,
  // Texts the reader shows that carry no number of their own elsewhere.
  kStrInformation = 62000,
  kStrNotInPreviewMode = 62001,
  kStrBookmarkConflicts = 62002,
  kStrRemoveBookmark = 62003,
  kStrInvalidArgument = 62004,
  kStrFileDoesNotExist = 62005,
  kStrReadFileFailed = 62006,
  kStrProgramName = 62007,
  kStrMakerSite = 62008,
  kStrViewSource = 62009,
  kStrPrintPage = 62010,
  // The search bar, the search pane and the progress window.
  kStrSearching = 62200,
  kStrClickCancelToStop = 62201,
  kStrCancel = 62202,
  kStrItemCount = 62203,
  kStrSearchPaneTitle = 62204,
  kStrQueryFieldRoom = 62205,
  // The bookmarks pane and its naming dialog.
  kStrBookmarksPane = 62300,
  kStrAddBookmarkTitle = 62301,
  kStrBookmarkNameLabel = 62302,
  kStrOk = 62303,
  kStrAddBookmarkButton = 62305,
  kStrRemoveBookmarkButton = 62306,
  kStrRemoveBookmarkQuestion = 62307,
  kStrBookmarkExists = 62308,
  // The dialogs' own texts.
  kStrInfoDialogTitle = 62400,
  kStrInfoName = 62401,
  kStrInfoId = 62402,
  kStrInfoAuthor = 62403,
  kStrInfoHome = 62404,
  kStrInfoEmail = 62405,
  kStrInfoDate = 62406,
  kStrExtractTitle = 62407,
  kStrExtractSource = 62408,
  kStrExtractTarget = 62409,
  kStrExtractBrowse = 62410,
  kStrExtractButton = 62411,
  kStrCancelButton = 62412,
  kStrAboutProgramTitle = 62413,
  kStrAboutCopyright = 62414,
  kStrAboutDescription = 62416,
  // Start-up's reports on the book it was given; the damaged book's reason follows its text.
  kStrNoSuchFile = 62500,
  kStrNotABook = 62501,
  kStrDamagedBook = 62502,
  // The keyboard shortcuts window: its title, then group titles and each key's meaning.
  kStrShortcutsTitle = 62700,
  kStrShortcutsPages = 62701,
  kStrShortcutBack = 62702,
  kStrShortcutForward = 62703,
  kStrShortcutHome = 62704,
  kStrShortcutRefresh = 62705,
  kStrShortcutAddBookmark = 62706,
  kStrShortcutsWindow = 62707,
  kStrShortcutFullScreen = 62708,
  kStrShortcutLeaveFullScreen = 62709,
  kStrShortcutsText = 62710,
  kStrShortcutLarger = 62711,
  kStrShortcutSmaller = 62712,
  kStrShortcutMedium = 62713,
  kStrShortcutsSearch = 62714,
  kStrShortcutSearchField = 62715,
  kStrShortcutFindNext = 62716,
  kStrShortcutFindPrevious = 62717,
  // The Print Preview window's buttons.
  kStrPreviewPrint = 62722,
  kStrPreviewClose = 62723,
};

// The text of `id`, empty for an unknown id.
std::string_view LoadString(int id);
// The halves of a command's string: before and after its line break.
std::string_view CommandPrompt(int id);
std::string_view CommandTooltip(int id);
// `format` with its one "%s" (or "%d") replaced by `value`.
std::string FormatString(std::string_view format, std::string_view value);

}  // namespace lectern
