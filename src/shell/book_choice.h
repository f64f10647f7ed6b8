// Which book a run shows: the first argument, else the program's own file when it carries a book,
// else one the user picks.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lectern {

// True for a project file (".bpj", any letter case), which runs in Preview Mode.
bool IsProjectPath(std::string_view path);

// `ask_user` shows the Open dialog and gives the chosen file, or nullopt when the user cancels
// (then the run ends without a window). The chosen file is not tested again: one without a book
// fails when it is opened.
std::optional<std::string> ChooseBookPath(int argc, const char* const* argv, const std::string& own_executable,
                                          const std::function<std::optional<std::string>()>& ask_user);

}  // namespace lectern
