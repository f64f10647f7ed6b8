#include "lectern-unpack/book_search.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "archive/book_identity.h"
#include "common/command_line.h"
#include "panes/search_engine.h"
#include "panes/search_index.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

int Trouble(const std::string& message, int status) {
  std::fprintf(stderr, "lectern-unpack: %s\n", message.c_str());
  return status;
}

// The book opened as the reader opens it, and where the reader keeps its index.
struct OpenedBook {
  CEbkManager* manager = nullptr;
  std::string index_path;
  ~OpenedBook() {
    if (manager) manager->Release();
  }
};

bool OpenBook(const std::string& path, OpenedBook& book, std::string& error) {
  book.manager = CEbkManager::Create();
  if (book.manager->Open(Utf8ToWide(path).c_str()) != S_OK) return error = path + ": not a book, or it is damaged", false;
  std::string guid;
  book.manager->book().settings().Get("guid", guid);
  std::string folder;
  if (!EbkRegistry::Instance().WorkingFolderOf(guid, IdentityHex(book.manager->book().identity()), folder))
    return error = "cannot make the working folder " + folder, false;
  book.index_path = SearchIndexPath(folder);
  return true;
}

}  // namespace

int SearchBookCommand(const std::string& path, const std::string& query, bool use_index) {
  OpenedBook book;
  std::string error;
  if (!OpenBook(path, book, error)) return Trouble(error, kSearchTrouble);
  std::unique_ptr<SearchIndex> index;
  // An index that is missing, stale or damaged is no reason to fail: the scan answers.
  if (use_index) index = SearchIndex::Open(book.index_path, book.manager, error);
  SearchOptions options;
  options.index = index.get();
  std::unique_ptr<CSearchResult> result = SearchBook(query, book.manager, nullptr, options);
  if (!result) return kSearchNoHit;
  for (const SearchHit& hit : result->hits)
    std::printf("%s\t%s\n", PrintableName(hit.path).c_str(), PrintableName(hit.title).c_str());
  if (std::fflush(stdout) != 0) return Trouble("cannot write the hits", kSearchTrouble);
  return result->hits.empty() ? kSearchNoHit : kSearchHits;
}

int BuildIndexCommand(const std::string& path) {
  OpenedBook book;
  std::string error;
  if (!OpenBook(path, book, error)) return Trouble(error, 1);
  IndexBuildResult built = BuildSearchIndex(book.manager, book.index_path);
  if (!built.ok) return Trouble(book.index_path + ": " + built.error, 1);
  std::printf("%s: %" PRIu32 " files, %" PRIu64 " bytes of text, index %" PRIu64 " bytes, built in %.2f s\n",
              book.index_path.c_str(), built.files, built.text_bytes, built.index_bytes, built.seconds);
  return 0;
}

int IndexStatsCommand(const std::string& path) {
  OpenedBook book;
  std::string error;
  if (!OpenBook(path, book, error)) return Trouble(error, 1);
  std::unique_ptr<SearchIndex> index = SearchIndex::Open(book.index_path, book.manager, error);
  std::printf("index:       %s\n", book.index_path.c_str());
  if (!index) {
    std::printf("state:       not complete (%s)\n", error.c_str());
    return 1;
  }
  std::printf("state:       complete\n");
  std::printf("files:       %" PRIu32 "\n", index->files());
  std::printf("size:        %" PRIu64 " bytes\n", index->file_bytes());
  std::printf("text:        %" PRIu64 " bytes\n", index->text_bytes());
  std::printf("build time:  %" PRIu32 " ms\n", index->build_ms());
  return 0;
}

}  // namespace lectern
