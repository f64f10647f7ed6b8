// The full-text search of an open book: every stored file whose text holds all the words of a
// query, found by scanning the files at the time of the query (there is no index).
//
// Files are taken depth-first from the root in each folder's stored order; images, archives,
// style sheets, scripts and programs are skipped by extension, and so are raw companions (names
// ending in ':'). A file beginning FF FE is UTF-16 text, anything else 8-bit text (UTF-8 for this
// reader). Every word must occur as a substring, markup included, letter case ignored by simple
// Unicode case folding; text after the first zero character is not searched. A page that declares
// a legacy code page in a <meta> tag is searched in its bytes and, for a word not found there, in
// its text as the code page reads it; its title is shown in that reading too.
//
// The scan runs on a small pool of threads, one per core; hits are merged back in walk order, so
// the list is the one a single-threaded scan gives.
#pragma once

#include <string.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_system.h"
#include "book/ebk_manager.h"

namespace lectern {

class IProgressSink {
 public:
  // Told the path of each file (without its extension, at most 259 bytes) as it is searched, with 0.
  // Called from the search's threads, one call at a time, in walk order.
  virtual void SetProgress(std::string_view text, int32_t number) = 0;
  // Not used by the search.
  virtual void SetPosition(int32_t position) = 0;

 protected:
  ~IProgressSink() = default;
};

// A sink that ignores everything.
class IProgressSinkImpl : public IProgressSink {
 public:
  virtual ~IProgressSinkImpl() = default;
  void SetProgress(std::string_view, int32_t) override {}
  void SetPosition(int32_t) override {}
};

struct SearchHit {
  std::string path;   // from the book's root: "/" + folders + name, '/' between
  std::string title;  // possibly empty
};

class CSearchResult {
 public:
  // `progress_sink` is not owned and may be null.
  explicit CSearchResult(IProgressSink* sink = nullptr) : progress_sink(sink) { words.reserve(16); }
  virtual ~CSearchResult() = default;

  std::vector<std::string> words;
  std::vector<SearchHit> hits;  // in the order found
  IProgressSink* progress_sink = nullptr;
};

// Raised from any thread to stop a running search between files.
class SearchCancel {
 public:
  void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

class SearchIndex;

struct SearchOptions {
  unsigned threads = 0;  // 0: one per core
  const SearchCancel* cancel = nullptr;
  // A complete index of the book, which answers the queries it can; the rest are scanned.
  const SearchIndex* index = nullptr;
};

// Whether a file of that path is read by the search at all (the extension filter).
bool IsSearchableExtension(std::string_view path);
// The files the search reads, in walk order. Nodes, not paths: each path is made only while its
// file is searched, so a tree of long folder names over many files never holds them all at once.
std::vector<const FsNode*> SearchableFiles(const FileSystem& tree);
// "/folder/page.htm": the node's path from the root, as the search asks the book for it.
std::string SearchPathOf(const FsNode& node);

// Whether every one of `folded_words` occurs in `text` or, failing that, in the text `alternative()`
// points at (null when the page has no other reading). The one comparison of the search, whether
// the text comes from the book or from its index.
template <typename Alternative>
bool AllWordsOccur(const std::vector<std::string>& folded_words, std::string_view text, Alternative&& alternative) {
  const std::string_view* other = nullptr;
  bool asked = false;
  for (const std::string& word : folded_words) {
    if (memmem(text.data(), text.size(), word.data(), word.size())) continue;
    if (!asked) {
      other = alternative();
      asked = true;
    }
    if (!other || !memmem(other->data(), other->size(), word.data(), word.size())) return false;
  }
  return true;
}

// Everything the matcher compares a page by, worked out at once: its folded text, its folded
// reading in the code page it declares (when it declares one that converts), and its title.
struct PageText {
  std::string folded;
  bool has_alternative = false;
  std::string folded_alternative;
  std::string title;
};
void PreparePageText(std::string_view content, PageText& page);

// Decides, for one file's bytes, whether every word occurs. One per thread: it keeps scratch space.
class PageMatcher {
 public:
  explicit PageMatcher(const std::vector<std::string>& words);
  // `content` is the whole file. On a hit, `title` receives the page title (UTF-8).
  bool Match(std::string_view content, std::string& title);
  // The words as the page text is compared: folded, empty ones left out.
  const std::vector<std::string>& folded_words() const { return folded_words_; }

 private:
  bool MatchUtf16(std::string_view content, std::string& title);
  std::vector<std::string> folded_words_;
  std::string folded_;
  std::string converted_;
  std::string folded_converted_;
  std::u16string wide_;
};

// Searches the book for `result.words`, appending hits in walk order. False when the search was
// cancelled (the hits of the files searched up to then stand, in order) or there is no book.
bool SearchFiles(IEbkManager* manager, const FileSystem* tree, CSearchResult& result, const SearchOptions& options = {});

// The frame's search operation: null, with nothing searched, for an empty query; otherwise the
// result with the query's words and the hits.
std::unique_ptr<CSearchResult> SearchBook(std::string_view query, CEbkManager* manager, IProgressSink* sink,
                                          const SearchOptions& options = {});

// The query answered by `index` alone when that compares at most `max_text_bytes` of kept text
// (known from the postings before any is read); null when the index leaves the query to the scan
// or would compare more.
std::unique_ptr<CSearchResult> SearchIndexWithin(std::string_view query, const SearchIndex& index,
                                                 uint64_t max_text_bytes);

}  // namespace lectern
