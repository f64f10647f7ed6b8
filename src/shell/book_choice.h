// Which book a run shows: the first argument, else the program's own file when it carries a book,
// else one the user picks. A named file that is no book is reported, by name and why, before the
// user is asked for another.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lectern {

// True for a project file (".bpj", any letter case), which runs in Preview Mode.
bool IsProjectPath(std::string_view path);

// True for a book kept as a bare archive (the magic at its start): such books open by name too.
bool IsBareArchive(const std::string& path);

// True for a file whose content makes it a book: the archive trailer at its end or the archive
// header at its start, whatever its name. The Open dialog lists files by this.
bool LooksLikeBook(const std::string& path);

// What start-up finds wrong with a book path.
struct BookCheck {
  enum class Problem { kNone, kNoSuchFile, kNotABook, kDamaged };
  Problem problem = Problem::kNone;
  std::string reason;  // kDamaged: why the archive would not open, as the archive words it
  bool ok() const { return problem == Problem::kNone; }
};

// A project file must exist; any other file must look like a book and its archive must open.
BookCheck CheckBookPath(const std::string& path);

// The one line start-up shows for a problem: "PATH: no such file", "PATH: not a book (no archive
// trailer or header)" or "PATH: damaged: REASON"; "" for none.
std::string StartupProblemText(const std::string& path, const BookCheck& check);

// `ask_user` shows the Open dialog and gives the chosen file, or nullopt when the user cancels
// (then the run ends without a window). A path named on the command line, and every file chosen,
// is checked first; a bad one is reported in a message box (caption "Error") and the user is
// asked again. The program's own file without a book goes to the dialog without a word: that is
// the reader started on its own.
std::optional<std::string> ChooseBookPath(int argc, const char* const* argv, const std::string& own_executable,
                                          const std::function<std::optional<std::string>()>& ask_user);

}  // namespace lectern
