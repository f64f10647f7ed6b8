#include "platform/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include <cerrno>
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

// Makes `path` when missing and answers whether it is now a folder of ours that nobody else can
// enter; one of ours with looser bits is tightened, anything else is left alone and refused.
bool EnsurePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            ((st.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
  ::close(fd);
  return ok;
}

std::mutex g_private_mutex;
std::string g_private_fallback;

}  // namespace

std::string PrivateFilesFolder() {
  std::string runtime = AbsoluteFolder(std::getenv("XDG_RUNTIME_DIR"));
  std::string fallback;
  {
    std::lock_guard lock(g_private_mutex);
    fallback = g_private_fallback;
  }
  for (const std::string& candidate : {Join(runtime, "lectern"), Join(fallback, "private")})
    if (!candidate.empty() && EnsurePrivateFolder(candidate)) return candidate;
  return {};
}

void SetPrivateFilesFallback(const std::string& folder) {
  std::lock_guard lock(g_private_mutex);
  g_private_fallback = folder;
}

bool IsOwnRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

std::string UserDataFolder() { return ReaderFolderIn("XDG_DATA_HOME", ".local/share"); }

std::string UserConfigFolder() { return ReaderFolderIn("XDG_CONFIG_HOME", ".config"); }

std::string TemporaryFolder() {
  std::string tmp = AbsoluteFolder(std::getenv("TMPDIR"));
  return tmp.empty() ? "/tmp" : tmp;
}

}  // namespace lectern
