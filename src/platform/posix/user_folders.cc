#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace lectern {
namespace {

// Relative values are not valid folder settings and are ignored, as the desktop conventions ask.
std::string AbsoluteFolder(const char* value) {
  if (!value || value[0] != '/') return {};
  std::string path = value;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Join(const std::string& base, std::string_view name) {
  if (base.empty()) return {};
  return (base == "/" ? base : base + "/") + std::string(name);
}

std::string HomeFolder() {
  if (std::string home = AbsoluteFolder(std::getenv("HOME")); !home.empty()) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
  return AbsoluteFolder(found->pw_dir);
}

// The folder the variable names, else `home_relative` under the home folder; "" when neither exists.
std::string ReaderFolderIn(const char* variable, std::string_view home_relative) {
  std::string base = AbsoluteFolder(std::getenv(variable));
  if (base.empty()) base = Join(HomeFolder(), home_relative);
  return Join(base, "lectern");
}

}  // namespace

std::string UserDataFolder() { return ReaderFolderIn("XDG_DATA_HOME", ".local/share"); }

std::string UserConfigFolder() { return ReaderFolderIn("XDG_CONFIG_HOME", ".config"); }

std::string TemporaryFolder() {
  std::string tmp = AbsoluteFolder(std::getenv("TMPDIR"));
  return tmp.empty() ? "/tmp" : tmp;
}

}  // namespace lectern
