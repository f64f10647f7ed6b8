// lectern-pack FOLDER -o BOOK: packs a folder tree into a book, bare or appended to an executable.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "archive/file_system.h"
#include "archive/pack_folder.h"
#include "book/book_compiler.h"
#include "archive/zpk_writer.h"
#include "common/command_line.h"

namespace lectern {
namespace {

constexpr char kUsage[] =
    "usage: lectern-pack FOLDER -o BOOK [options]\n"
    "       lectern-pack PROJECT.bpj [-o BOOK] [options]\n"
    "Packs every file and folder under FOLDER into the book BOOK. With a project file, compiles\n"
    "the project: its book folder, settings and contents tree, to where the project says (or BOOK);\n"
    "a project asking for self_executable is appended to the reader (--stub, else the reader\n"
    "installed beside this tool).\n"
    "\n"
    "  -o, --output BOOK      the book to write (replaced only once it is complete)\n"
    "  --level fast|best      compression level (default best)\n"
    "  --stub EXE             append the archive to a copy of EXE (a self-contained book);\n"
    "                         without it the book is a bare archive\n"
    "  --raw-ext .a,.b        extensions stored raw for in-place reading, replacing the default\n"
    "                         set of audio and video types; an empty list stores nothing raw\n"
    "  --identity HEX32       the book identity as 32 hex digits (default: random)\n"
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
    std::optional<std::string> value = args.TakeValue();
    if (!value) return error = *option + " needs a value", false;
    if (*option == "-o" || *option == "--output") {
      out.book = *value;
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
  if (out.book.empty() && !IsProjectFile(out.folder)) return error = "no book given: -o BOOK", false;
  return true;
}

std::string RealPathOf(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string out(resolved);
  std::free(resolved);
  return out;
}

// The book's own unfinished file would appear in the tree while it is packed.
bool BookLiesInsideFolder(const std::string& folder, const std::string& book) {
  std::string root = RealPathOf(folder);
  size_t slash = book.rfind('/');
  std::string parent = RealPathOf(slash == std::string::npos ? "." : (slash == 0 ? "/" : book.substr(0, slash)));
  if (root.empty() || parent.empty()) return false;
  return parent == root || root == "/" || (parent.size() > root.size() && parent.compare(0, root.size(), root) == 0 &&
                                           parent[root.size()] == '/');
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
              (unsigned long long)result.packed.content_bytes, project.settings().ToArchiveSettings().size());
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
  if (IsProjectFile(arguments.folder)) return CompileProjectFile(arguments);
  struct stat st;
  if (::stat(arguments.folder.c_str(), &st) != 0) return Failure(arguments.folder + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return Failure(arguments.folder + ": not a folder");
  if (BookLiesInsideFolder(arguments.folder, arguments.book))
    return Failure(arguments.book + ": the book can't be written inside the folder it packs");

  ZpkWriter writer;
  if (!writer.Begin(arguments.book, arguments.stub, arguments.writer)) return Failure(writer.error());
  PackFolderResult result = PackFolder(arguments.folder, writer, arguments.pack);
  if (!result.ok) return Failure(result.error);
  if (!writer.Finish()) return Failure(writer.error());

  struct stat book;
  long long book_size = ::stat(arguments.book.c_str(), &book) == 0 ? (long long)book.st_size : -1;
  std::printf("%s: %zu files (%zu raw), %zu folders, %llu bytes packed into %lld\n", arguments.book.c_str(),
              result.files, result.raw_files, result.folders, (unsigned long long)result.content_bytes, book_size);
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
