#include "shell/book_choice.h"

#include <sys/stat.h>

#include <cstdio>

#include "archive/file_system.h"
#include "archive/zpk.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {

bool IsProjectPath(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot != std::string_view::npos && EqualsIgnoringAsciiCase(name.substr(dot), ".bpj");
}

bool IsBareArchive(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char magic[4] = {};
  bool read = std::fread(magic, 1, 4, file) == 4;
  std::fclose(file);
  return read && EqualsIgnoringAsciiCase(std::string_view(magic, 3), "ZPK") && magic[3] == 0;
}

bool LooksLikeBook(const std::string& path) { return HasArchiveTrailer(path) || IsBareArchive(path); }

BookCheck CheckBookPath(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {BookCheck::Problem::kNoSuchFile, {}};
  if (IsProjectPath(path)) return {};
  if (!LooksLikeBook(path)) return {BookCheck::Problem::kNotABook, {}};
  ZPK archive;
  if (!archive.Open(path)) return {BookCheck::Problem::kDamaged, archive.open_error().description};
  return {};
}

std::string StartupProblemText(const std::string& path, const BookCheck& check) {
  switch (check.problem) {
    case BookCheck::Problem::kNone: return {};
    case BookCheck::Problem::kNoSuchFile: return FormatString(LoadString(kStrNoSuchFile), path);
    case BookCheck::Problem::kNotABook: return FormatString(LoadString(kStrNotABook), path);
    case BookCheck::Problem::kDamaged: return FormatString(LoadString(kStrDamagedBook), path) + check.reason;
  }
  return {};
}

std::optional<std::string> ChooseBookPath(int argc, const char* const* argv, const std::string& own_executable,
                                          const std::function<std::optional<std::string>()>& ask_user) {
  bool named = argc >= 2 && argv[1];
  std::optional<std::string> path = named ? std::string(argv[1]) : own_executable;
  // The program on its own, without a book inside: nothing to complain about, only a book to pick.
  if (!named && !LooksLikeBook(*path)) path = ask_user();
  while (path) {
    BookCheck check = CheckBookPath(*path);
    if (check.ok()) return path;
    ShowMessageBox(nullptr, StartupProblemText(*path, check), LoadString(kStrError), kMbIconError);
    path = ask_user();
  }
  return std::nullopt;
}

}  // namespace lectern
