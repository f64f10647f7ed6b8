// lectern-pack FOLDER -o BOOK: packs a folder tree into a book a reader can use at once, bare or
// appended to an executable; PROJECT.bpj compiles a project; --init FOLDER writes a project.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "archive/file_system.h"
#include "archive/pack_folder.h"
#include "archive/zpk_writer.h"
#include "book/book_compiler.h"
#include "common/command_line.h"
#include "lectern-pack/folder_book.h"

namespace lectern {
namespace {

constexpr char kUsage[] =
    "usage: lectern-pack FOLDER -o BOOK [options]\n"
    "       lectern-pack PROJECT.bpj [-o BOOK] [options]\n"
    "       lectern-pack --init FOLDER [-o PROJECT.bpj]\n"
    "Packs every file and folder under FOLDER into the book BOOK, with the settings and contents\n"
    "tree a reader needs: the start page's title, the first index page, the bars and the contents\n"
    "pane on, every folder a section and every page under its title. With a project file, compiles\n"
    "the project: its book folder, settings and contents tree, to where the project says (or BOOK);\n"
    "a project asking for self_executable is appended to the reader (--stub, else the reader\n"
    "installed beside this tool). --init writes the project a folder would be packed as, for an\n"
    "author to edit and compile (beside FOLDER as FOLDER.bpj unless -o names it).\n"
    "\n"
    "  -o, --output BOOK      the book to write (replaced only once it is complete)\n"
    "  --title TEXT           the book's title (default: the start page's title, else the\n"
    "                         folder's name)\n"
    "  --start PAGE           the start page (default: index.html, index.htm, default.html or\n"
    "                         default.htm, else the first page in name order)\n"
    "  --set KEY=VALUE        any book setting, again for each; an empty VALUE removes it\n"
    "  --no-settings          a bare archive of the folder: no settings, no contents tree\n"
    "  --level fast|best      compression level (default best; a project's compress_option wins)\n"
    "  --stub EXE             append the archive to a copy of EXE (a self-contained book);\n"
    "                         without it the book is a bare archive\n"
    "  --raw-ext .a,.b        extensions stored raw for in-place reading, replacing the default\n"
    "                         set of audio and video types; an empty list stores nothing raw\n"
    "  --identity HEX32       the book identity as 32 hex digits (default: random); a book\n"
    "                         without a guid setting takes it as its guid\n"
    "  --format-version N     archive format version, 10 to 12 (default 12)\n"
    "  -h, --help             this text\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool IsProjectFile(const std::string& path) {
  return path.size() > 4 && EqualsIgnoringAsciiCase(std::string_view(path).substr(path.size() - 4), ".bpj");
}

int Failure(const std::string& message, int status = kExitFailure) {
  std::fprintf(stderr, "lectern-pack: %s\n", message.c_str());
  return status;
}

struct PackArguments {
  std::string folder;
  std::string book;
  std::string stub;
  ZpkWriterOptions writer;
  PackFolderOptions pack;
  FolderBookOptions settings;
  bool no_settings = false;
  bool init = false;
  // Options that only some modes take, for telling the user which one does not.
  std::vector<std::string> folder_options, build_options;
  bool help = false;
};

bool ParseArguments(int argc, char** argv, PackArguments& out, std::string& error) {
  ArgumentReader args(argc, argv);
  while (!args.done()) {
    std::optional<std::string> option = args.TakeOption();
    if (!option) {
      if (args.done()) break;
      if (!out.folder.empty()) return error = "more than one folder given", false;
      out.folder = args.TakeOperand();
      continue;
    }
    if (*option == "-h" || *option == "--help") {
      out.help = true;
      return true;
    }
    if (*option == "--no-settings" || *option == "--init") {
      if (*option == "--no-settings") out.no_settings = true;
      else out.init = true;
      (*option == "--init" ? out.build_options : out.folder_options).push_back(*option);
      continue;
    }
    std::optional<std::string> value = args.TakeValue();
    if (!value) return error = *option + " needs a value", false;
    if (*option == "--title" || *option == "--start" || *option == "--set") out.folder_options.push_back(*option);
    if (*option == "--level" || *option == "--stub" || *option == "--raw-ext" || *option == "--format-version")
      out.build_options.push_back(*option);
    if (*option == "-o" || *option == "--output") {
      out.book = *value;
    } else if (*option == "--title") {
      if (value->empty()) return error = "--title needs a text", false;
      out.settings.title = *value;
    } else if (*option == "--start") {
      if (value->empty()) return error = "--start needs a page", false;
      out.settings.start_page = *value;
    } else if (*option == "--set") {
      std::pair<std::string, std::string> assignment;
      if (!ParseSettingAssignment(*value, assignment, error)) return false;
      out.settings.overrides.push_back(std::move(assignment));
    } else if (*option == "--level") {
      if (*value == "fast") {
        out.writer.compress_level = LzoCompressor::kLevelFast;
      } else if (*value == "best") {
        out.writer.compress_level = LzoCompressor::kLevelBest;
      } else {
        return error = "--level must be fast or best, not \"" + *value + "\"", false;
      }
    } else if (*option == "--stub") {
      out.stub = *value;
      if (out.stub.empty()) return error = "--stub needs an executable", false;
    } else if (*option == "--raw-ext") {
      if (!ParseRawExtensions(*value, out.pack.raw_extensions, error)) return error = "--raw-ext: " + error, false;
    } else if (*option == "--identity") {
      if (!ParseIdentityHex(*value, out.writer.identity))
        return error = "--identity must be 32 hexadecimal digits, not \"" + *value + "\"", false;
      // The writer reads all zeros as "make one up", which would quietly break the promise of a
      // fixed identity.
      if (out.writer.identity == BookIdentity{}) return error = "--identity must not be all zeros", false;
    } else if (*option == "--format-version") {
      unsigned version = 0;
      auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), version);
      // Only the layouts this reader and writer agree on: sections enciphered from 10 on.
      if (ec != std::errc() || end != value->data() + value->size() || version < 10 || version > 12)
        return error = "--format-version must be 10, 11 or 12, not \"" + *value + "\"", false;
      out.writer.format_version = version;
    } else {
      return error = "unknown option " + *option, false;
    }
  }
  if (out.folder.empty()) return error = "no folder given (try --help)", false;
  bool project = IsProjectFile(out.folder);
  if (out.init) {
    if (project) return error = "--init takes a folder, not a project", false;
    for (const std::string& option : out.build_options)
      if (option != "--init") return error = option + " applies when the project is compiled, not to --init", false;
    if (out.no_settings) return error = "--no-settings leaves nothing for --init to write", false;
    return true;
  }
  if (project && !out.folder_options.empty())
    return error = out.folder_options.front() + " is for folders; a project sets it in its file", false;
  if (out.no_settings && out.folder_options.size() > 1)
    return error = "--no-settings leaves no settings for " + out.folder_options[out.folder_options[0] == "--no-settings" ? 1 : 0], false;
  if (out.book.empty() && !project) return error = "no book given: -o BOOK", false;
  return true;
}

std::string RealPathOf(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string out(resolved);
  std::free(resolved);
  return out;
}

// The reader a self-contained book starts with: installed beside this tool, or in the build tree.
std::string FindReaderExecutable() {
  std::string self = RealPathOf("/proc/self/exe");
  size_t slash = self.rfind('/');
  if (slash == std::string::npos) return {};
  std::string here = self.substr(0, slash);
  for (const std::string& candidate : {here + "/lectern", here + "/../../src/platform/gtk/window/lectern"}) {
    if (::access(candidate.c_str(), X_OK) == 0) return RealPathOf(candidate);
  }
  return {};
}

int CompileProjectFile(const PackArguments& arguments) {
  Project project;
  if (!project.Load(arguments.folder)) return Failure(project.error());
  CompileOptions options;
  options.output_path = arguments.book;
  options.pack = arguments.pack;
  options.writer = arguments.writer;
  options.force_executable = !arguments.stub.empty();
  options.reader_executable = arguments.stub.empty() ? FindReaderExecutable() : arguments.stub;
  CompileResult result = CompileProject(project, options);
  if (!result.ok) return Failure(result.error);
  std::printf("%s: %zu files (%zu raw), %zu folders, %llu bytes, %zu settings\n", result.book_path.c_str(),
              result.packed.files, result.packed.raw_files, result.packed.folders,
              (unsigned long long)result.packed.content_bytes, result.settings.size());
  if (result.guid_from_identity)
    std::printf("%s has no <guid>: the book's guid is its identity %s (add it to the project to keep it)\n",
                arguments.folder.c_str(), result.settings.at("guid").c_str());
  return 0;
}

// The project a folder would be packed as, beside the folder unless the arguments name it; an
// existing file is never replaced, since an author may have edited it.
int WriteProjectFile(PackArguments& arguments) {
  std::string folder = arguments.folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::error_code code;
  std::filesystem::path folder_path = std::filesystem::weakly_canonical(folder, code);
  if (code || !std::filesystem::is_directory(folder_path, code)) return Failure(folder + ": not a folder");
  std::filesystem::path project = arguments.book.empty()
                                      ? folder_path.parent_path() / (folder_path.filename().string() + ".bpj")
                                      : std::filesystem::path(arguments.book);
  if (!IsProjectFile(project.string())) return Failure(project.string() + ": a project file ends in .bpj", kExitUsage);
  if (std::filesystem::exists(project, code)) return Failure(project.string() + ": exists; not replaced");
  std::filesystem::path project_folder = std::filesystem::weakly_canonical(std::filesystem::absolute(project).parent_path(), code);
  // Relative when the folder lies below the project, so the two can move together.
  std::string relative = folder_path.lexically_relative(project_folder).generic_string();
  bool below = !relative.empty() && relative != ".." && relative.rfind("../", 0) != 0;
  std::string book_directory = below ? relative : folder_path.generic_string();
  if (book_directory == ".") book_directory.clear();

  if (arguments.writer.identity == BookIdentity{}) arguments.writer.identity = RandomBookIdentity();
  FolderBook book;
  std::string error;
  if (!PlanFolderBook(folder, arguments.writer.identity, arguments.settings, book, error)) return Failure(error);
  std::string temp = project.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << FolderBookProject(book, book_directory);
    if (!out.flush()) {
      std::filesystem::remove(temp, code);
      return Failure(project.string() + ": cannot write");
    }
  }
  if (::rename(temp.c_str(), project.string().c_str()) != 0) {
    std::filesystem::remove(temp, code);
    return Failure(project.string() + ": cannot write: " + std::strerror(errno));
  }
  std::printf("%s: project of %s, \"%s\", starting at %s\n", project.string().c_str(), folder.c_str(),
              book.settings["bookname"].c_str(),
              book.settings.count("start_page") ? book.settings["start_page"].c_str() : "(no page)");
  return 0;
}

int Run(int argc, char** argv) {
  PackArguments arguments;
  std::string error;
  if (!ParseArguments(argc, argv, arguments, error)) return Failure(error, kExitUsage);
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (arguments.init) return WriteProjectFile(arguments);
  if (IsProjectFile(arguments.folder)) return CompileProjectFile(arguments);
  struct stat st;
  if (::stat(arguments.folder.c_str(), &st) != 0) return Failure(arguments.folder + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return Failure(arguments.folder + ": not a folder");

  // Chosen here, so that the book's guid can be its identity.
  if (arguments.writer.identity == BookIdentity{}) arguments.writer.identity = RandomBookIdentity();
  FolderBook book;
  if (!arguments.no_settings &&
      !PlanFolderBook(arguments.folder, arguments.writer.identity, arguments.settings, book, error))
    return Failure(error);

  ZpkWriter writer;
  if (!writer.Begin(arguments.book, arguments.stub, arguments.writer)) return Failure(writer.error());
  PackFolderResult result = PackFolder(arguments.folder, writer, arguments.pack);
  if (!result.ok) return Failure(result.error);
  if (!arguments.no_settings) {
    writer.SetConfigDocument(FolderBookConfigDocument(book));
    if (!writer.SetSettings(book.settings)) return Failure(writer.error());
  }
  if (!writer.Finish()) return Failure(writer.error());

  struct stat book_stat;
  long long book_size = ::stat(arguments.book.c_str(), &book_stat) == 0 ? (long long)book_stat.st_size : -1;
  std::printf("%s: %zu files (%zu raw), %zu folders, %llu bytes packed into %lld\n", arguments.book.c_str(),
              result.files, result.raw_files, result.folders, (unsigned long long)result.content_bytes, book_size);
  if (!arguments.no_settings) {
    auto start = book.settings.find("start_page");
    std::printf("\"%s\", starting at %s\n", book.settings["bookname"].c_str(),
                start == book.settings.end() ? "no page (the folder has no HTML page)" : start->second.c_str());
  }
  return 0;
}

}  // namespace
}  // namespace lectern

int main(int argc, char** argv) {
#ifdef _WIN32
  // Output is bytes as written, stored content included: no line ends turned into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return lectern::Run(argc, argv);
}
