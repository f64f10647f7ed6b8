// The reader's per-user memory outside the book: the main window's last rectangle under one
// registry key shared by all books, and the rule that names a book's working folder (where its
// bookmarks live).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace lectern {

inline constexpr char kLecternKeyPath[] = "Software\\Vellum Software\\Lectern";  // under HKEY_CURRENT_USER
inline constexpr char kWindowPositionValue[] = "window position";

struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

struct ScreenSize {
  int32_t width = 0;
  int32_t height = 0;
};

// What the registry object asks of its surroundings. An empty function takes the default: a
// 1024 x 768 screen until the window layer supplies the real one; the user's data folder and
// the temporary folder of this platform.
struct EbkRegistryEnvironment {
  std::function<ScreenSize()> screen_size;
  std::function<std::string()> data_folder;
  std::function<std::string()> temp_folder;
};

// The "window position" text: tokens cut at every space and comma; the first four read as
// decimal integers the way atoi does (a non-number reads as 0; out-of-range values are held at
// the 32-bit limits). False, with `rect` untouched, when there are fewer than four tokens.
bool ParseWindowPosition(std::string_view text, WindowRect* rect);
// "left,top,right,bottom".
std::string FormatWindowPosition(const WindowRect& rect);

// The last level of a book's working folder, from its `guid` setting. Identities written the way
// GUIDs are (hexadecimal digits, braces and dashes) keep their text, so folders of earlier runs
// are found again; any other text, which could climb out of the folder or clash with another
// book, becomes "id-" and the SHA-1 of the text in hexadecimal; an empty identity is
// "no-identity". The three forms never coincide.
std::string WorkingFolderName(std::string_view book_identity);

// The identity that names a book's per-user places (its working folder, and the registry root that
// page script stores under): the book's `guid` setting when it has one, so such books keep their
// places as they were; else `fallback`, which the caller derives from the book itself (the archive
// identity of the header, or ProjectPathIdentity in Preview Mode). Two books without a `guid` thus
// never share bookmarks.
std::string BookPlaceIdentity(std::string_view guid, std::string_view fallback);
// Preview Mode's stand-in for a missing `guid`: the first 32 hexadecimal digits of the SHA-1 of
// the project file's absolute path (links resolved where the file exists), so the same project
// keeps its places from run to run and two projects never share them.
std::string ProjectPathIdentity(std::string_view project_path);

class EbkRegistry {
 public:
  // The one process-wide object.
  static EbkRegistry& Instance();

  explicit EbkRegistry(EbkRegistryEnvironment environment = {});

  // For the window layer, once it knows the screen.
  void SetScreenSizeSource(std::function<ScreenSize()> screen_size);

  // Creates (or opens) the key; whether that succeeded.
  bool EnsureKey();
  // Keeps the book's place identity (BookPlaceIdentity of `guid` and `fallback`), loads the
  // remembered rectangle (or the default) and derives the working folder. Always true.
  bool Initialise(std::string_view guid, std::string_view fallback = {});
  // Derives the working folder from the kept identity, makes it with every missing parent, and
  // hands out its path. True when the folder exists afterwards; on false `folder` still names the
  // path that could not be made, for the message.
  bool WorkingFolder(std::string& folder);
  // The working folder of the book with `guid` and `fallback` (as Initialise takes them), made with
  // every missing parent, for the tools: keeps that identity but reads and writes no registry value.
  bool WorkingFolderOf(std::string_view guid, std::string_view fallback, std::string& folder);
  // Writes "window position". False when `rect` is null or the key cannot be opened or written.
  bool SaveWindowRect(const WindowRect* rect);

  const WindowRect& window_rect() const { return rect_; }
  // The identity the working folder is named after (see BookPlaceIdentity).
  const std::string& book_identity() const { return book_identity_; }
  const std::string& working_folder() const { return working_folder_; }
  // 640 x 480, centred in the screen.
  WindowRect DefaultWindowRect() const;

 private:
  std::string DeriveWorkingFolder() const;
  void LoadWindowRect(HKEY key);

  EbkRegistryEnvironment environment_;
  WindowRect rect_;
  std::string working_folder_;
  std::string book_identity_;
};

}  // namespace lectern
