#include "shell/book_choice.h"

#include "archive/file_system.h"
#include "archive/zpk.h"

namespace lectern {

bool IsProjectPath(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot != std::string_view::npos && EqualsIgnoringAsciiCase(name.substr(dot), ".bpj");
}

std::optional<std::string> ChooseBookPath(int argc, const char* const* argv, const std::string& own_executable,
                                          const std::function<std::optional<std::string>()>& ask_user) {
  std::string path = argc >= 2 && argv[1] ? std::string(argv[1]) : own_executable;
  if (IsProjectPath(path) || HasArchiveTrailer(path)) return path;
  return ask_user();
}

}  // namespace lectern
