// lectern-unpack BOOK: lists, extracts, prints or describes what a book holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/zpk.h"
#include "common/command_line.h"
#include "lectern-unpack/book_contents.h"
#ifdef LECTERN_UNPACK_SEARCH
#include "lectern-unpack/book_search.h"
#endif
#include "platform/message_box.h"

namespace lectern {
namespace {

constexpr char kUsage[] =
    "usage: lectern-unpack BOOK [--list | --extract DIR | --cat PATH | --info | --settings | --config]\n"
    "Shows what the book BOOK holds (a bare archive or an executable with one appended).\n"
    "\n"
    "  --list           every file and folder with its size, stored size and method (the default)\n"
    "  --extract DIR    write every file and folder under DIR (made when missing)\n"
    "  --max-bytes N    stop extracting before more than N bytes are written (default 4G; K, M, G)\n"
    "  --cat PATH       one stored file's content to standard output\n"
    "  --info           format version, identity, archive base and section offsets\n"
    "  --settings       the book's settings, one key=value per line, in key order\n"
    "  --config         the book's configuration document (its contents tree)\n"
#ifdef LECTERN_UNPACK_SEARCH
    "  --search QUERY   the reader's search: one hit per line, PATH<TAB>TITLE, in the reader's order;\n"
    "                   exit 0 with hits, 1 with none, 2 when the book can't be searched\n"
    "  --no-index       with --search: scan the book even when its index is complete\n"
    "  --build-index    build the book's search index (the one the reader uses) and wait for it\n"
    "  --index-stats    the index's state (complete or not), size and build time\n"
#endif
    "  -h, --help       this text\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Failure(const std::string& message, int status = kExitFailure) {
  std::fprintf(stderr, "lectern-unpack: %s\n", message.c_str());
  return status;
}

// Nothing below should show a message; should one come, the tool still speaks for itself.
int SilentMessageBox(void*, std::string_view, std::string_view, unsigned) { return kIdOk; }

enum class Action { kList, kExtract, kCat, kInfo, kSettings, kConfig, kSearch, kBuildIndex, kIndexStats };

struct UnpackArguments {
  std::string book;
  Action action = Action::kList;
  std::string operand;  // DIR, PATH or QUERY
  uint64_t max_bytes = kDefaultMaxExtractBytes;
  bool help = false;
  bool no_index = false;
};

bool ParseArguments(int argc, char** argv, UnpackArguments& out, std::string& error) {
  ArgumentReader args(argc, argv);
  bool action_given = false;
  while (!args.done()) {
    std::optional<std::string> option = args.TakeOption();
    if (!option) {
      if (args.done()) break;
      if (!out.book.empty()) return error = "more than one book given", false;
      out.book = args.TakeOperand();
      continue;
    }
    if (*option == "-h" || *option == "--help") {
      out.help = true;
      return true;
    }
    if (*option == "--max-bytes") {
      std::optional<std::string> value = args.TakeValue();
      std::optional<uint64_t> bytes = value ? ParseByteCount(*value) : std::nullopt;
      if (!bytes) return error = "--max-bytes needs a number of bytes (a K, M or G after it multiplies by 1024's)", false;
      out.max_bytes = *bytes;
      continue;
    }
    Action action;
    bool needs_value = false;
    if (*option == "--list") {
      action = Action::kList;
    } else if (*option == "--info") {
      action = Action::kInfo;
    } else if (*option == "--settings") {
      action = Action::kSettings;
    } else if (*option == "--config") {
      action = Action::kConfig;
    } else if (*option == "--extract") {
      action = Action::kExtract;
      needs_value = true;
    } else if (*option == "--cat") {
      action = Action::kCat;
      needs_value = true;
#ifdef LECTERN_UNPACK_SEARCH
    } else if (*option == "--search") {
      action = Action::kSearch;
      needs_value = true;
    } else if (*option == "--build-index") {
      action = Action::kBuildIndex;
    } else if (*option == "--index-stats") {
      action = Action::kIndexStats;
    } else if (*option == "--no-index") {
      out.no_index = true;
      continue;
#endif
    } else {
      return error = "unknown option " + *option, false;
    }
    if (action_given) return error = "one of the actions at a time (see --help)", false;
    action_given = true;
    out.action = action;
    if (needs_value) {
      std::optional<std::string> value = args.TakeValue();
      if (!value || value->empty()) return error = *option + " needs a value", false;
      out.operand = *value;
    }
  }
  if (out.book.empty()) return error = "no book given (try --help)", false;
  if (out.no_index && out.action != Action::kSearch) return error = "--no-index goes with --search", false;
  return true;
}

const char* MethodOf(const BookEntry& e) {
  if (e.folder) return "dir";
  if (!e.intact) return "bad";
  return e.raw ? "raw" : "lzo";
}

int List(const ZPK& zpk) {
  uint64_t content = 0, stored = 0;
  size_t files = 0, folders = 0, damaged = 0;
  std::printf("%10s  %10s  %-6s  %s\n", "Length", "Stored", "Method", "Name");
  std::printf("%10s  %10s  %-6s  %s\n", "----------", "----------", "------", "----");
  VisitBookEntries(zpk, [&](const BookEntry& e) {
    std::string name = PrintableName(e.path);
    if (e.folder) name.push_back('/');
    std::printf("%10" PRIu32 "  %10" PRIu32 "  %-6s  %s\n", e.content_size, e.stored_size, MethodOf(e), name.c_str());
    if (e.folder) {
      ++folders;
      return true;
    }
    ++files;
    if (!e.intact) ++damaged;
    content += e.content_size;
    stored += e.stored_size;
    return true;
  });
  std::printf("%10s  %10s  %-6s  %s\n", "----------", "----------", "", "-------");
  std::printf("%10" PRIu64 "  %10" PRIu64 "  %-6s  %zu files, %zu folders\n", content, stored, "", files, folders);
  if (std::fflush(stdout) != 0) return Failure("cannot write the listing");
  if (damaged) return Failure(std::to_string(damaged) + " damaged entries");
  return 0;
}

int Info(const ZPK& zpk) {
  size_t files = 0, raw = 0, folders = 0;
  VisitBookEntries(zpk, [&](const BookEntry& e) {
    if (e.folder) {
      ++folders;
    } else {
      ++files;
      raw += e.raw;
    }
    return true;
  });
  auto offset = [&](ZPK::Section s) {
    uint32_t at = zpk.section_offset(s);
    return at ? std::to_string(at) : std::string("0 (none)");
  };
  std::printf("format version:   %" PRIu32 "\n", zpk.format_version());
  std::printf("identity:         %s\n", IdentityHex(zpk.identity()).c_str());
  std::printf("compressor:       0x%08" PRIx32 "\n", zpk.compressor_id());
  std::printf("archive base:     %" PRIu32 "%s\n", zpk.archive_base(), zpk.archive_base() ? " (appended)" : " (bare)");
  std::printf("file size:        %" PRId64 "\n", zpk.file_size());
  std::printf("directory:        %s\n", offset(ZPK::kDirectorySection).c_str());
  std::printf("config document:  %s\n", offset(ZPK::kConfigDocumentSection).c_str());
  std::printf("settings:         %s\n", offset(ZPK::kSettingsSection).c_str());
  std::printf("indirection:      %s\n", offset(ZPK::kIndirectionSection).c_str());
  std::printf("entries:          %zu files (%zu raw), %zu folders\n", files, raw, folders);
  std::printf("settings values:  %zu\n", zpk.settings().map().size());
  if (std::fflush(stdout) != 0) return Failure("cannot write the information");
  return 0;
}

int Cat(ZPK& zpk, const std::string& path) {
  BookEntry entry;
  bool is_folder = false;
  if (!ResolveBookFile(zpk, path, entry, &is_folder))
    return Failure(PrintableName(path) + (is_folder ? ": is a folder" : ": no such file in the book"));
  std::string error;
  auto to_stdout = [](std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes = bytes.subspan(size_t(n));
    }
    return true;
  };
  if (!ReadBookEntry(zpk, entry, to_stdout, error)) return Failure(PrintableName(entry.path) + ": " + error);
  return 0;
}

int Settings(const ZPK& zpk) {
  for (const auto& [key, value] : zpk.settings().map())
    std::printf("%s=%s\n", PrintableName(key).c_str(), PrintableName(value).c_str());
  return 0;
}

int Config(const ZPK& zpk) {
  const std::string& text = zpk.config_document_text();
  if (text.empty()) return Failure("the book has no configuration document");
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (text.back() != '\n') std::fputc('\n', stdout);
  return 0;
}

int Extract(ZPK& zpk, const std::string& dir, uint64_t max_bytes) {
  ExtractResult result = ExtractBook(zpk, dir, max_bytes);
  // A stop is what the user must hear of first; otherwise the first entry that went wrong.
  std::string first = result.stopped ? result.problems.back() : result.problems.empty() ? "" : result.problems.front();
  if (result.problem_count == 1) return Failure(first);
  if (result.problem_count > 1) {
    return Failure(first + " (and " + std::to_string(result.problem_count - 1) + " more entries not extracted)");
  }
  std::printf("%s: %zu files, %zu folders\n", dir.c_str(), result.files, result.folders);
  return 0;
}

int Run(int argc, char** argv) {
  UnpackArguments arguments;
  std::string error;
  if (!ParseArguments(argc, argv, arguments, error)) return Failure(error, kExitUsage);
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  SetMessageBoxHandler(&SilentMessageBox);
  // A search that can't run must not read as "no hit".
  int trouble = arguments.action == Action::kSearch ? 2 : kExitFailure;
  struct stat st;
  if (::stat(arguments.book.c_str(), &st) != 0) return Failure(arguments.book + ": " + std::strerror(errno), trouble);
  if (!S_ISREG(st.st_mode)) return Failure(arguments.book + ": not a file", trouble);
#ifdef LECTERN_UNPACK_SEARCH
  switch (arguments.action) {
    case Action::kSearch:
      return SearchBookCommand(arguments.book, arguments.operand, !arguments.no_index);
    case Action::kBuildIndex:
      return BuildIndexCommand(arguments.book);
    case Action::kIndexStats:
      return IndexStatsCommand(arguments.book);
    default:
      break;
  }
#endif
  ZPK zpk;
  if (!zpk.Open(arguments.book)) return Failure(arguments.book + ": " + zpk.open_error().description);
  switch (arguments.action) {
    case Action::kList:
      return List(zpk);
    case Action::kInfo:
      return Info(zpk);
    case Action::kSettings:
      return Settings(zpk);
    case Action::kConfig:
      return Config(zpk);
    case Action::kCat:
      return Cat(zpk, arguments.operand);
    case Action::kExtract:
      return Extract(zpk, arguments.operand, arguments.max_bytes);
    case Action::kSearch:
    case Action::kBuildIndex:
    case Action::kIndexStats:
      break;  // answered above, where the search is built
  }
  return kExitFailure;
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
