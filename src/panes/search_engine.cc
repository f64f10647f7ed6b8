#include "panes/search_engine.h"

#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "datastore/datastore_path.h"
#include "panes/case_fold.h"
#include "panes/page_charset.h"
#include "panes/query_words.h"
#include "panes/search_index.h"
#include "panes/thread_pool.h"

namespace lectern {
namespace {

constexpr std::string_view kSkippedExtensions[] = {".gif", ".jpg", ".bmp", ".png", ".swf", ".exe",
                                                   ".dll", ".zip", ".rar", ".pdf", ".idx", ".jar",
                                                   ".class", ".js", ".vbs", ".css", ".ocx"};
constexpr size_t kProgressTextLimit = 259;

// The extension of the last path element, from its last '.'; empty without one.
std::string_view ExtensionOf(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == path.npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == name.npos ? std::string_view() : name.substr(dot);
}

std::string_view UpToZero(std::string_view text) {
  if (text.empty()) return text;  // an empty page may have no bytes to point at
  const void* zero = std::memchr(text.data(), 0, text.size());
  return zero ? text.substr(0, size_t(static_cast<const char*>(zero) - text.data())) : text;
}

WideStringView UpToZero(WideStringView text) {
  size_t zero = text.find(WideStringView::value_type(0));
  return zero == text.npos ? text : text.substr(0, zero);
}

// The progress text: the path without its extension, cut to the limit on a character boundary.
std::string ProgressText(std::string_view path) {
  std::string_view text = path.substr(0, path.size() - ExtensionOf(path).size());
  if (text.size() > kProgressTextLimit) {
    size_t cut = kProgressTextLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
  }
  return std::string(text);
}

// Little-endian units up to the first zero unit; an odd last byte pairs with a zero byte.
void Utf16Units(std::string_view content, std::u16string& wide) {
  wide.clear();
  const auto* b = reinterpret_cast<const uint8_t*>(content.data());
  for (size_t i = 0; i < content.size(); i += 2) {
    char16_t unit = char16_t(b[i] | (i + 1 < content.size() ? b[i + 1] << 8 : 0));
    if (unit == 0) break;
    wide.push_back(unit);
  }
}

// The title a hit shows: in the declared code page's reading when there is one that converts.
void PageTitle(std::string_view text, std::string_view charset, std::string& title) {
  std::string raw_title;
  ExtractHtmlTitle(text, raw_title);
  if (charset.empty() || raw_title.empty() || !ConvertToUtf8(raw_title, charset, title)) title = std::move(raw_title);
}

// A growable buffer that is never zero-filled: each file overwrites what it needs.
class ContentBuffer {
 public:
  uint8_t* Reserve(size_t size) {
    if (size > capacity_) {
      data_.reset(new uint8_t[size]);
      capacity_ = size;
    }
    return data_.get();
  }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
};

struct FileOutcome {
  bool done = false;
  bool hit = false;
  std::string title;
};

class SearchRun {
 public:
  SearchRun(IEbkManager* manager, const std::vector<const FsNode*>& files, const CSearchResult& result,
            const SearchCancel* cancel)
      : manager_(manager), files_(files), words_(result.words), sink_(result.progress_sink), cancel_(cancel),
        outcomes_(files.size()) {}

  void Run(unsigned threads) {
    ThreadPool::Shared().Run(threads - 1, [this] { Work(); });
  }

  // Appends the hits of the files searched without a gap from the first; true when that is all.
  bool Merge(std::vector<SearchHit>& hits) {
    for (size_t i = 0; i < files_.size(); ++i) {
      FileOutcome& outcome = outcomes_[i];
      if (!outcome.done) return false;
      if (outcome.hit) hits.push_back({SearchPathOf(*files_[i]), std::move(outcome.title)});
    }
    return true;
  }

 private:
  // The next file to search, or npos when the work is over or called off.
  size_t Take() {
    if (cancel_ && cancel_->cancelled()) return std::string::npos;
    if (!sink_) {
      size_t i = next_.fetch_add(1, std::memory_order_relaxed);
      return i < files_.size() ? i : std::string::npos;
    }
    // Taking the index and telling the sink under one lock keeps the sink's calls in walk order.
    std::lock_guard lock(sink_mutex_);
    size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= files_.size()) return std::string::npos;
    sink_->SetProgress(ProgressText(SearchPathOf(*files_[i])), 0);
    return i;
  }

  void Work() {
    PageMatcher matcher(words_);
    ContentBuffer buffer;
    for (size_t i = Take(); i != std::string::npos; i = Take()) {
      SearchOne(SearchPathOf(*files_[i]), matcher, buffer, outcomes_[i]);
      outcomes_[i].done = true;
    }
  }

  void SearchOne(const std::string& path, PageMatcher& matcher, ContentBuffer& buffer, FileOutcome& outcome) {
    WideString wide = Utf8ToWide(path);
    uint32_t size = 0;
    if (manager_->ReadFile(wide.c_str(), nullptr, &size) != S_OK || size == 0) return;
    // Two zero bytes after the content end it as 8-bit and as UTF-16 text alike.
    uint8_t* bytes = buffer.Reserve(size_t(size) + 2);
    uint32_t length = size;
    if (manager_->ReadFile(wide.c_str(), bytes, &length) != S_OK || length == 0 || length > size) return;
    bytes[length] = 0;
    bytes[length + 1] = 0;
    outcome.hit = matcher.Match(std::string_view(reinterpret_cast<const char*>(bytes), length), outcome.title);
  }

  IEbkManager* manager_;
  const std::vector<const FsNode*>& files_;
  const std::vector<std::string>& words_;
  IProgressSink* sink_;
  const SearchCancel* cancel_;
  std::vector<FileOutcome> outcomes_;
  std::atomic<size_t> next_{0};
  std::mutex sink_mutex_;
};

}  // namespace

bool IsSearchableExtension(std::string_view path) {
  std::string_view extension = ExtensionOf(path);
  for (std::string_view skipped : kSkippedExtensions)
    if (EqualsIgnoringAsciiCase(extension, skipped)) return false;
  return true;
}

std::vector<const FsNode*> SearchableFiles(const FileSystem& tree) {
  std::vector<const FsNode*> files;
  const FsNode* root = tree.root();
  if (!root) return files;
  // Depth-first without recursion: hostile nesting must not exhaust the stack.
  struct Level {
    const FsNode* folder;
    size_t next_child;
  };
  std::vector<Level> stack{{root, 0}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next_child >= level.folder->children.size()) {
      stack.pop_back();
      continue;
    }
    const FsNode* child = level.folder->children[level.next_child++].get();
    if (child->is_directory()) {
      stack.push_back({child, 0});
      continue;
    }
    if (!child->name.empty() && child->name.back() == ':') continue;  // raw companion data
    if (IsSearchableExtension(child->name)) files.push_back(child);
  }
  return files;
}

std::string SearchPathOf(const FsNode& node) {
  size_t length = 0;
  for (const FsNode* n = &node; n->parent; n = n->parent) length += 1 + n->name.size();
  std::string path(length, '/');
  for (const FsNode* n = &node; n->parent; n = n->parent) {
    length -= n->name.size();
    path.replace(length, n->name.size(), n->name);
    --length;
  }
  return path;
}

PageMatcher::PageMatcher(const std::vector<std::string>& words) {
  folded_words_.reserve(words.size());
  for (const std::string& word : words)
    if (!word.empty()) folded_words_.push_back(FoldUtf8(word));
}

bool PageMatcher::Match(std::string_view content, std::string& title) {
  title.clear();
  if (content.size() > 2 && uint8_t(content[0]) == 0xFF && uint8_t(content[1]) == 0xFE) return MatchUtf16(content, title);

  std::string_view text = UpToZero(content);
  FoldUtf8(text, folded_);
  std::string_view charset;
  bool charset_known = false;
  std::string_view converted;
  // Not in the stored bytes: the page as its declared code page reads it, worked out only then.
  auto alternative = [&]() -> const std::string_view* {
    charset = DeclaredLegacyCharset(text);
    charset_known = true;
    if (charset.empty() || !ConvertToUtf8(text, charset, converted_)) return nullptr;
    FoldUtf8(converted_, folded_converted_);
    converted = folded_converted_;
    return &converted;
  };
  if (!AllWordsOccur(folded_words_, folded_, alternative)) return false;
  if (!charset_known) charset = DeclaredLegacyCharset(text);
  PageTitle(text, charset, title);
  return true;
}

bool PageMatcher::MatchUtf16(std::string_view content, std::string& title) {
  Utf16Units(content, wide_);
  FoldUtf8(WideToUtf8(wide_), folded_);
  if (!AllWordsOccur(folded_words_, folded_, [] { return static_cast<const std::string_view*>(nullptr); }))
    return false;
  ExtractHtmlTitle(UpToZero(WideStringView(wide_)), title);
  return true;
}

void PreparePageText(std::string_view content, PageText& page) {
  page.has_alternative = false;
  page.folded_alternative.clear();
  page.title.clear();
  if (content.size() > 2 && uint8_t(content[0]) == 0xFF && uint8_t(content[1]) == 0xFE) {
    std::u16string wide;
    Utf16Units(content, wide);
    FoldUtf8(WideToUtf8(wide), page.folded);
    ExtractHtmlTitle(UpToZero(WideStringView(wide)), page.title);
    return;
  }
  std::string_view text = UpToZero(content);
  FoldUtf8(text, page.folded);
  std::string_view charset = DeclaredLegacyCharset(text);
  std::string converted;
  if (!charset.empty() && ConvertToUtf8(text, charset, converted)) {
    FoldUtf8(converted, page.folded_alternative);
    page.has_alternative = true;
  }
  PageTitle(text, charset, page.title);
}

bool SearchFiles(IEbkManager* manager, const FileSystem* tree, CSearchResult& result, const SearchOptions& options) {
  if (!manager || !tree) return false;
  std::vector<const FsNode*> files = SearchableFiles(*tree);
  unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  if (threads > files.size()) threads = unsigned(std::max<size_t>(1, files.size()));
  SearchRun run(manager, files, result, options.cancel);
  run.Run(threads);
  return run.Merge(result.hits);
}

std::unique_ptr<CSearchResult> SearchBook(std::string_view query, CEbkManager* manager, IProgressSink* sink,
                                          const SearchOptions& options) {
  if (query.empty()) return nullptr;
  auto result = std::make_unique<CSearchResult>(sink);
  for (std::string& word : SearchWords(query)) result->words.push_back(std::move(word));
  if (!manager) return result;
  if (options.index) {
    PageMatcher matcher(result->words);
    if (options.index->Search(matcher.folded_words(), result->hits, options.cancel) != SearchIndex::Answer::kLeftToScan)
      return result;
  }
  SearchFiles(manager, &manager->book().directory(), *result, options);
  return result;
}

std::unique_ptr<CSearchResult> SearchIndexWithin(std::string_view query, const SearchIndex& index,
                                                 uint64_t max_text_bytes) {
  if (query.empty()) return nullptr;
  auto result = std::make_unique<CSearchResult>();
  for (std::string& word : SearchWords(query)) result->words.push_back(std::move(word));
  PageMatcher matcher(result->words);
  if (index.Search(matcher.folded_words(), result->hits, nullptr, max_text_bytes) != SearchIndex::Answer::kAnswered)
    return nullptr;
  return result;
}

}  // namespace lectern
