// The per-user folders the core keeps its state in. Each answer is an absolute path without a
// trailing separator, or "" when the platform gives none; nothing is created here.
#pragma once

#include <string>

namespace lectern {

// What joins a folder and a name in the paths these folders give.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Where the reader keeps data that must outlive a reboot (bookmarks): its own folder inside the
// user's data folder.
std::string UserDataFolder();
// Where the reader keeps its settings store: its own folder inside the user's configuration folder.
std::string UserConfigFolder();
// The system's temporary folder; never empty.
std::string TemporaryFolder();

// Where files made for page script and for the desktop go (extracted book files, copies of
// documents opened outside): a folder only this user can enter, never the shared temporary folder.
// "lectern" in the user's runtime folder, else "private" in the folder given to
// SetPrivateFilesFallback (the book's working folder). Made mode 0700 when missing, and refused
// when it is a link or another user's; "" when no such folder can be had.
std::string PrivateFilesFolder();
void SetPrivateFilesFallback(const std::string& folder);

// Whether `path` is a regular file (not a link) of this user: only such a file in the private
// folder may be handed on, or removed to make way for a new copy.
bool IsOwnRegularFile(const std::string& path);

}  // namespace lectern
