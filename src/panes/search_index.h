// A book's search index. For every file the search reads, in walk order, it keeps the exact text
// the page matcher compares (folded, and folded again as a declared code page reads it) and the
// title a hit shows, and for every three-byte sequence of those texts the groups of neighbouring
// files it occurs in. A query takes the files of the groups holding every three-byte sequence of
// its words as candidates and confirms each with the matcher's own comparison on the kept text, so
// its hits, titles and order are the scan's. Words shorter than three bytes once folded narrow
// nothing; a query without a longer word is left to the scan.
//
// The index is one file in the book's working folder. It names the book by identity, size and
// modification time and lists the files it covers; it appears only complete (written aside, then
// renamed over the old one) and carries a checksum of everything it holds. A file that is cut,
// damaged, of another book or of another edition of this one is refused, and built anew.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "archive/file_view.h"
#include "archive/format.h"
#include "panes/search_engine.h"

namespace lectern {

inline constexpr char kSearchIndexFileName[] = "search-index";
// Where a book's index lives: in its working folder, for the reader and the tools alike.
inline std::string SearchIndexPath(std::string_view working_folder) {
  return std::string(working_folder) + "/" + kSearchIndexFileName;
}

// What ties an index to one edition of a book.
struct BookStamp {
  BookIdentity identity{};
  uint64_t size = 0;
  int64_t modified_ns = 0;
  bool operator==(const BookStamp&) const = default;
};
// The stamp of the book file `manager` has open; false when none is.
bool StampOfOpenBook(CEbkManager* manager, BookStamp& stamp);

struct IndexBuildResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;  // what failed, naming the file
  uint32_t files = 0;
  uint64_t text_bytes = 0;   // the searchable files' content, as read from the book
  uint64_t index_bytes = 0;  // the index file
  double seconds = 0;
};

// Builds the index of the book `manager` has open into `index_path`, replacing any file there
// only once the new one is complete. Cancelling leaves the old file as it was.
IndexBuildResult BuildSearchIndex(CEbkManager* manager, const std::string& index_path,
                                  const SearchCancel* cancel = nullptr);

// Gives the index file `file` the stamp of another book file (with its size and checksum to match)
// and clears its build time: for fuzzing and seed files, whose books differ from run to run.
void SealSearchIndex(std::string& file, const BookStamp& stamp);

class SearchIndex {
 public:
  // The index at `path` when it is whole and belongs to the book `manager` has open now; null with
  // `error` saying why not ("no index", "made for another book", "damaged: ...").
  static std::unique_ptr<SearchIndex> Open(const std::string& path, CEbkManager* manager, std::string& error);
  ~SearchIndex();
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  enum class Answer { kAnswered, kLeftToScan, kCancelled, kOverBudget };
  // Appends the hits of `folded_words` (as PageMatcher folds them) in walk order. kLeftToScan, with
  // nothing appended, when no word narrows the search or the file can no longer be read;
  // kCancelled with the hits of the candidates confirmed so far; kOverBudget, with nothing read or
  // appended, when the candidates hold more than `max_text_bytes` of text to compare (known from
  // the postings alone).
  Answer Search(const std::vector<std::string>& folded_words, std::vector<SearchHit>& hits,
                const SearchCancel* cancel = nullptr, uint64_t max_text_bytes = UINT64_MAX) const;

  uint32_t files() const { return uint32_t(records_.size()); }
  uint64_t file_bytes() const { return file_bytes_; }
  uint64_t text_bytes() const { return text_bytes_; }
  uint32_t build_ms() const { return build_ms_; }

 private:
  SearchIndex() = default;
  struct Record {
    std::string path;
    std::string title;
    uint64_t text_offset = 0;
    uint32_t text_length = 0;
    uint32_t alternative_length = 0;
    uint32_t flags = 0;
  };
  // The groups of files holding every three-byte sequence of the words, ascending; false when the
  // postings can't be read or make no sense.
  bool Candidates(const std::vector<std::string>& words, std::vector<uint32_t>& out) const;

  int fd_ = -1;
  FileView view_;
  uint32_t bucket_bits_ = 0;
  uint64_t texts_at_ = 0;
  uint64_t postings_at_ = 0;
  uint64_t postings_size_ = 0;
  std::vector<uint32_t> bucket_starts_;  // 2^bits + 1 offsets into the postings
  std::vector<Record> records_;
  uint64_t file_bytes_ = 0;
  uint64_t text_bytes_ = 0;
  uint32_t build_ms_ = 0;
};

// Keeps one open book's index: takes the one in `index_path` when it is whole and the book's,
// else builds it on a worker thread at low priority, and hands it out only once complete.
class SearchIndexKeeper {
 public:
  SearchIndexKeeper(CEbkManager* manager, std::string index_path);
  // Stops a build in progress; the partial file is dropped.
  ~SearchIndexKeeper();
  SearchIndexKeeper(const SearchIndexKeeper&) = delete;
  SearchIndexKeeper& operator=(const SearchIndexKeeper&) = delete;

  // The complete index, or null while there is none yet (or it could not be made).
  std::shared_ptr<const SearchIndex> ready() const;
  // Waits until the worker has taken or built the index, or given up.
  void Wait();

 private:
  void Work(CEbkManager* manager);

  std::string index_path_;
  SearchCancel cancel_;
  mutable std::mutex mutex_;
  std::shared_ptr<const SearchIndex> index_;
  std::thread worker_;
};

}  // namespace lectern
