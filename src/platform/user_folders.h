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

}  // namespace lectern
